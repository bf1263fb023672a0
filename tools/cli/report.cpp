// zarn26-cli report: the series report of a data file written as PDF, XLSX, ODS, ODT,
// RTF, HTML, plain text, CSV or a prepared report, without a window: the same pages the
// program's preview shows. A prepared report given as FILE is written again as it is.

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

namespace zarn::cli {
namespace {

constexpr char kReportUsage[] =
    "usage: zarn26-cli report FILE [--lang ru|en] [--unit mpa|kgf] "
    "--format pdf|xlsx|ods|odt|rtf|html|txt|csv|prepared [--decimal point|comma] -o OUT\n";

constexpr char kReportHelp[] =
    "\n"
    "Writes the series report of the data file FILE: one line per series under the title\n"
    "and the column headings, as the program prints it. FILE may also be a prepared\n"
    "report (saved by the preview or by --format prepared): its pages are written as they\n"
    "are, in the language they were made in (--lang then sets the messages only).\n"
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
    "or damaged, 4 the file holds no series.\n";

struct Options {
  QString file;
  QString out;
  std::optional<int> language;
  std::optional<StrengthUnit> unit;
  std::optional<ReportFormat> format;
  std::optional<CsvDialect> decimal;
};

std::optional<int> Parse(const QStringList& args, Options& o) {
  CommandLine line({QStringLiteral("report"), QString::fromUtf8(kReportUsage),
                    QString::fromUtf8(kReportUsage) + QString::fromUtf8(kReportHelp)});
  // The formats are those the report's exports offer.
  QStringList formats;
  for (const ReportExporter& e : ReportExporters()) formats.append(e.name.toString());
  line.AddLanguage().AddUnit().AddFormat(formats).AddDecimal().AddOutput();
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
  return std::nullopt;
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
