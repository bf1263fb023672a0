// zarn26-cli report: the series report of a data file, or its series sheets, written as
// PDF, XLSX, ODS, ODT, RTF, HTML, plain text, CSV or a prepared report, without a
// window: the same pages the program's preview shows. A prepared report given as FILE
// is written again as it is.

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <optional>

#include "cli_common.h"
#include "commandline.h"
#include "commands.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "report/preparedfile.h"
#include "report/reportexport.h"
#include "report/seriesreport.h"
#include "report/seriessheets.h"

#ifndef ZARN_VERSION
#define ZARN_VERSION "0.0.0"
#endif

namespace zarn::cli {
namespace {

constexpr char kReportUsage[] =
    "usage: zarn26-cli report FILE [--kind report|sheets [--series N,M-K]] [--lang ru|en]\n"
    "         [--unit mpa|kgf] --format pdf|xlsx|ods|odt|rtf|html|txt|csv|prepared\n"
    "         [--decimal point|comma] -o OUT\n";

constexpr char kReportHelp[] =
    "\n"
    "Writes the series report of the data file FILE: one line per series under the title\n"
    "and the column headings, as the program prints it. FILE may also be a prepared\n"
    "report (saved by the preview or by --format prepared): its pages are written as they\n"
    "are, in the language they were made in (--lang then sets the messages only).\n"
    "  --kind report   the series report (the default)\n"
    "  --kind sheets   a series sheet per series: its header, table 2, the material\n"
    "        coefficients and the chart of its blows, and at the foot the data file's\n"
    "        name, the program's version and the date printed\n"
    "  --series LIST   with --kind sheets, only these series: numbers as table 1's\n"
    "        column No. shows them and ranges, e.g. 5,7-9,12 (default: every series)\n"
    "  pdf   the printed pages (A4), fonts embedded\n"
    "  txt   the pages as plain text (UTF-8), a form feed between pages\n"
    "  html  the pages as one web page\n"
    "  odt   a text document (ODF) of the same pages: a table per page, the headings\n"
    "        on every page, \"- N -\" from page 2, in Times New Roman\n"
    "  rtf   a Rich Text document of the same pages, as the odt\n"
    "  csv   the column headings and the lines (UTF-8 with a byte-order mark), for a\n"
    "        spreadsheet of the language's locale: English a comma between fields and a\n"
    "        decimal point, Russian a semicolon and a decimal comma; --decimal point or\n"
    "        comma chooses one of them whatever the language\n"
    "  xlsx  a workbook: the title, the headings and the lines, numbers as numbers\n"
    "  ods   the same sheet as an ODF spreadsheet\n"
    "  prepared  the laid-out pages, which the program's preview and this command open\n"
    "        again without the data file (suffix .repzarn)\n"
    "OUT is replaced whole or not at all. The language and unit default to those of the\n"
    "program's settings file, else Russian and MPa.\n"
    "\n"
    "Exit codes: 0 done, 1 OUT could not be written, 2 usage, 3 the file is not readable\n"
    "or damaged, 4 the file holds no series (or not every series --series names).\n";

struct Options {
  QString file;
  QString out;
  std::optional<int> language;
  std::optional<StrengthUnit> unit;
  std::optional<ReportFormat> format;
  std::optional<CsvDialect> decimal;
  bool sheets = false;
  std::optional<SeriesRanges> series;
  QString seriesText;
};

std::optional<int> Parse(const QStringList& args, Options& o) {
  CommandLine line({QStringLiteral("report"), QString::fromUtf8(kReportUsage),
                    QString::fromUtf8(kReportUsage) + QString::fromUtf8(kReportHelp)});
  // The formats are those the report's exports offer.
  QStringList formats;
  for (const ReportExporter& e : ReportExporters()) formats.append(e.name.toString());
  line.AddLanguage().AddUnit().AddFormat(formats).AddDecimal().AddOutput();
  line.AddOption({QStringLiteral("kind")}, QStringLiteral("report|sheets"),
                 QStringLiteral("--kind takes report or sheets"));
  line.AddOption({QStringLiteral("series")}, QStringLiteral("N,M-K"),
                 QStringLiteral("--series takes series numbers and ranges, e.g. 5,7-9"));
  if (const auto done = line.Parse(args)) return done;
  o.language = line.Language();
  o.unit = line.Unit();
  o.format = ReportFormatFromName(line.Format());
  o.out = line.Output();
  o.decimal = line.Decimal();
  const QStringList& positional = line.Positional();
  auto usage = [&line](const QString& problem) { return std::optional<int>(line.Usage(problem)); };
  if (positional.isEmpty()) return usage(QStringLiteral("no data file given"));
  if (positional.size() > 1) return usage(QStringLiteral("unexpected argument %1").arg(positional[1]));
  o.file = positional[0];
  if (!o.format) return usage(QStringLiteral("no --format given"));
  if (o.out.isEmpty()) return usage(QStringLiteral("no output file given (-o OUT)"));
  if (o.decimal && o.format != ReportFormat::Csv) return usage(QStringLiteral("--decimal goes with --format csv only"));
  if (line.IsSet(QStringLiteral("kind"))) {
    const QString kind = line.Value(QStringLiteral("kind"));
    if (kind != u"report" && kind != u"sheets")
      return usage(QStringLiteral("--kind takes report or sheets, not \"%1\"").arg(kind));
    o.sheets = kind == u"sheets";
  }
  if (line.IsSet(QStringLiteral("series"))) {
    if (!o.sheets) return usage(QStringLiteral("--series goes with --kind sheets only"));
    o.seriesText = line.Value(QStringLiteral("series"));
    QString problem;
    o.series = ParseSeriesList(o.seriesText, problem);
    if (!o.series) return usage(QStringLiteral("--series %1: %2").arg(o.seriesText, problem));
  }
  return std::nullopt;
}

// "7, 12-15": the numbers in `numbers`, runs written as ranges.
QString RangesText(const std::vector<uint32_t>& numbers) {
  QStringList parts;
  for (size_t i = 0; i < numbers.size();) {
    size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    parts.append(j == i ? QString::number(numbers[i])
                        : QStringLiteral("%1-%2").arg(numbers[i]).arg(numbers[j]));
    i = j + 1;
  }
  return parts.join(QStringLiteral(", "));
}

// The records of the series the sheets are for, in the file's order: every series, or
// those --series names (by the number table 1 shows). Not every series named in the
// file: the exit code, after saying which are missing; nothing is left out silently.
int ChosenRecords(const DataFileView& file, uint32_t count, const Options& o,
                  std::vector<ProcessRecordBuffer>& out) {
  if (count == 0) {
    std::fputs("zarn26-cli report: the file holds no series: nothing to report\n", stderr);
    return kExitNoProcess;
  }
  std::vector<bool> present(10000, false);
  out.reserve(o.series ? 16 : count);
  ProcessRecordBuffer record;
  for (uint32_t i = 0; i < count; ++i) {
    if (!CopyProcess(file.ParamBlock(), file.DataImage(), count, i, record.data())) continue;
    const uint32_t number = ProcessView(record.data()).number() % 10000;
    present[number] = true;
    if (!o.series || InSeriesRanges(*o.series, number)) out.push_back(record);
  }
  if (!o.series) return kExitOk;
  std::vector<uint32_t> missing, held;
  for (uint32_t n = 0; n < 10000; ++n) {
    if (InSeriesRanges(*o.series, n) && !present[n]) missing.push_back(n);
    if (present[n]) held.push_back(n);
  }
  if (missing.empty()) return kExitOk;
  std::fprintf(stderr, "zarn26-cli report: --series %s: the file holds no series %s (it holds %s)\n",
               qUtf8Printable(o.seriesText), qUtf8Printable(RangesText(missing)),
               qUtf8Printable(RangesText(held)));
  return kExitNoProcess;
}

}  // namespace

int RunReport(const QStringList& args) {
  Options o;
  if (const auto done = Parse(args, o)) return *done;
  ApplySettings(o.language, o.unit);
  const int language = *o.language;

  const QByteArray damaged = (txtFileDamaged.Str(language) + QStringLiteral(": ") +
                              QFileInfo(o.file).fileName() + u'\n')
                                 .toUtf8();
  ReportExportOptions options;
  options.language = language;
  options.csv = o.decimal;
  auto write = [&](const PreparedReport& pages) {
    const QString error = ExportReport(pages, *o.format, o.out, options);
    if (error.isEmpty()) return kExitOk;
    std::fprintf(stderr, "zarn26-cli report: %s\n", qUtf8Printable(error));
    return kExitWriteFailed;
  };

  // A prepared report: its own pages, in the language they were made in.
  if (QFile head(o.file); head.open(QIODevice::ReadOnly) && LooksLikePreparedReport(head.read(8))) {
    const std::optional<PreparedFile> prepared = ReadPreparedReport(o.file);
    if (!prepared) {
      std::fputs(damaged.constData(), stderr);
      return kExitBadFile;
    }
    if (o.sheets) {
      std::fputs("zarn26-cli report: a prepared report is written as it is; --kind goes with a data file\n", stderr);
      return kExitUsage;
    }
    options.language = prepared->language;
    return write(prepared->report);
  }

  DataFileView file;
  if (file.Open(o.file) != DataFileStatus::Ok) {
    std::fputs(damaged.constData(), stderr);
    return kExitBadFile;
  }
  if (file.mapped()) CatchBusErrors(damaged);
  const uint32_t count = CountProcesses(file.ParamBlock());
  if (o.sheets) {
    std::vector<ProcessRecordBuffer> records;
    if (const int failed = ChosenRecords(file, count, o, records)) return failed;
    SheetSource source;
    source.dataFile = QFileInfo(o.file).fileName();
    source.programVersion = QStringLiteral(ZARN_VERSION);
    return write(SeriesSheets(std::move(records), language, *o.unit, std::move(source)).Prepare());
  }
  const Table1Snapshot table(file.ParamBlock(), file.DataImage(), count, language, *o.unit);
  const SeriesReport report(table, language, *o.unit);
  if (!report.HasSeries()) {
    std::fputs("zarn26-cli report: the file holds no series: nothing to report\n", stderr);
    return kExitNoProcess;
  }
  return write(report.Prepare());
  return kExitOk;
}

}  // namespace zarn::cli
