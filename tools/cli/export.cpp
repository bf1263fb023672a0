// zarn26-cli export: prints what the program's tables, chart data and parameter files
// hold for a data file, as the clipboard text (tsv), as CSV or as JSON.

#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "cli_common.h"
#include "commandline.h"
#include "commands.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "data/presenters.h"
#include "export_json.h"
#include "tableout.h"
#include "materials/materialsfile.h"
#include "objects/objectsfile.h"

namespace zarn::cli {
namespace {

constexpr char kExportHelp[] =
    "usage: zarn26-cli export FILE.zarn [--lang ru|en] [--unit mpa|kgf] [--format tsv|csv|json]\n"
    "                         [--decimal point|comma] WHAT\n"
    "\n"
    "WHAT:\n"
    "  series            table 1: its two heading rows and a row per process\n"
    "  impacts N         table 2 of process N (counted from 0)\n"
    "  coefficients N    the coefficient row of process N\n"
    "  chart N           the chart data of process N, all blows\n"
    "  chart N --blow B  the chart data of blow B (counted from 1) alone\n"
    "  materials         the text of a materials file (.mtzarn) made from the file\n"
    "  objects           the text of an objects file (.objzarn) made from the file\n"
    "\n"
    "--format tsv (default) prints exactly what the program copies to the clipboard, in\n"
    "UTF-8: cells separated by TAB, CRLF after every line. csv prints the same table as\n"
    "CSV for a spreadsheet of the language's locale: English a comma between fields and\n"
    "a decimal point, Russian a semicolon and a decimal comma; numbers unquoted, texts\n"
    "quoted where needed; UTF-8 with a byte-order mark, CRLF. --decimal point or comma\n"
    "chooses the first or the second of these notations whatever the language (for a\n"
    "spreadsheet set to another locale than the texts). json prints the records\n"
    "with their raw values; the language and unit do not apply to it:\n"
    "  series          {file, processCount, processes: [PROCESS...]}\n"
    "  impacts N       {file, process: PROCESS + blows: [BLOW...]}\n"
    "  coefficients N  {file, index, a2, a1, a0, Kf}\n"
    "  chart N         {file, index, blow, curves: [{series, blow, gray, points: [[x, y]...]}]}\n"
    "  PROCESS: index, number, year, month, day, hour, minute, second, material, object,\n"
    "           strengthMPa, variationTenths, rangeTenths, blowCount, blowMask,\n"
    "           a2, a1, a0, Kf, timeStep\n"
    "  BLOW:    blow, direction, impactAmplitude, recoilAmplitude, impactDuration,\n"
    "           recoilDuration, impactEnergy, recoilEnergy, waveStart, strengthMPa,\n"
    "           stepMode, samples (the 511 unscaled waveform values)\n"
    "materials and objects are printed as text only.\n"
    "\n"
    "The language and unit default to those of the program's settings file, else\n"
    "Russian and MPa.\n"
    "\n"
    "Exit codes: 0 done, 1 the output could not be written, 2 usage, 3 the file is not\n"
    "readable or damaged, 4 no such process or blow.\n";

enum class Format { Tsv, Csv, Json };
enum class What { Series, Impacts, Coefficients, Chart, Materials, Objects };

struct Options {
  QString file;
  std::optional<int> language;
  std::optional<StrengthUnit> unit;
  Format format = Format::Tsv;
  std::optional<CsvDialect> decimal;  // --decimal; nullopt: the language's notation
  What what = What::Series;
  QString index;  // N as typed
  QString blow;   // B as typed, empty when not given
};

constexpr char kExportUsage[] =
    "usage: zarn26-cli export FILE.zarn [--lang ru|en] [--unit mpa|kgf] "
    "[--format tsv|csv|json] [--decimal point|comma] WHAT\n"
    "       WHAT: series | impacts N | coefficients N | chart N [--blow B] | "
    "materials | objects\n"
    "       zarn26-cli export --help   for the details\n";

// Parses the arguments; returns an exit code when the command ends here.
std::optional<int> Parse(const QStringList& args, Options& o) {
  CommandLine line({QStringLiteral("export"), QString::fromUtf8(kExportUsage), QString::fromUtf8(kExportHelp)});
  line.AddLanguage().AddUnit().AddFormat({QStringLiteral("tsv"), QStringLiteral("csv"), QStringLiteral("json")}).AddDecimal();
  line.AddOption({QStringLiteral("blow")}, QStringLiteral("B"), QStringLiteral("--blow takes a blow number"));
  if (const auto done = line.Parse(args)) return done;
  o.language = line.Language();
  o.unit = line.Unit();
  const QString format = line.Format();
  o.format = format == u"csv" ? Format::Csv : format == u"json" ? Format::Json : Format::Tsv;
  o.blow = line.Value(QStringLiteral("blow"));
  o.decimal = line.Decimal();
  QStringList positional = line.Positional();
  auto usage = [&line](const QString& problem) { return std::optional<int>(line.Usage(problem)); };

  if (positional.isEmpty()) return usage(QStringLiteral("no data file given"));
  o.file = positional.takeFirst();
  if (positional.isEmpty()) return usage(QStringLiteral("nothing to export given"));
  const QString what = positional.takeFirst();
  bool needsIndex = false;
  if (what == u"series") o.what = What::Series;
  else if (what == u"materials") o.what = What::Materials;
  else if (what == u"objects") o.what = What::Objects;
  else if (what == u"impacts") o.what = What::Impacts, needsIndex = true;
  else if (what == u"coefficients") o.what = What::Coefficients, needsIndex = true;
  else if (what == u"chart") o.what = What::Chart, needsIndex = true;
  else return usage(QStringLiteral("unknown WHAT: %1").arg(what));
  if (needsIndex) {
    if (positional.isEmpty()) return usage(QStringLiteral("%1 needs a process number").arg(what));
    o.index = positional.takeFirst();
  }
  if (!positional.isEmpty()) return usage(QStringLiteral("unexpected argument %1").arg(positional[0]));
  if (!o.blow.isEmpty() && o.what != What::Chart)
    return usage(QStringLiteral("--blow goes with chart only"));
  if (o.decimal && o.format != Format::Csv) return usage(QStringLiteral("--decimal goes with --format csv only"));
  if ((o.what == What::Materials || o.what == What::Objects) && o.format != Format::Tsv)
    return usage(QStringLiteral("%1 is printed as text only").arg(what));
  auto isNumber = [](const QString& s) {
    if (s.isEmpty()) return false;
    for (QChar c : s) {
      if (c < u'0' || c > u'9') return false;
    }
    return true;
  };
  if (needsIndex && !isNumber(o.index))
    return usage(QStringLiteral("the process number must be a number from 0: %1").arg(o.index));
  if (!o.blow.isEmpty() && !isNumber(o.blow))
    return usage(QStringLiteral("the blow number must be a number from 1: %1").arg(o.blow));
  return std::nullopt;
}

// A decimal text as a number; texts too long for 32 bits give UINT64_MAX (no such process).
uint64_t ToIndex(const QString& digits) {
  bool ok = false;
  const qulonglong v = digits.toULongLong(&ok);
  return ok ? v : UINT64_MAX;
}

// The rows of a clipboard text (TAB between cells, CRLF after every row).
QList<QStringList> RowsOf(const QString& text) {
  QList<QStringList> rows;
  QStringList lines = text.split(QStringLiteral("\r\n"));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  for (const QString& line : lines) rows.append(line.split(u'\t'));
  return rows;
}

// Table 1 as the program shows it, row after row into `text`.
void SeriesTable(QString& text, const RowWriter& appendRow, const uint8_t* paramBlock,
                 const uint8_t* dataImage, uint32_t count, int language, StrengthUnit unit) {
  text.reserve(qsizetype(count) * 80 + 256);
  for (int h = 0; h < 2; ++h) appendRow(text, SeriesTableHeading(h, language, unit));
  ForEachSeriesRow(paramBlock, dataImage, count, unit,
                   [&](const SeriesRow& row) { appendRow(text, row, kSeriesNumberColumns); });
  // Table 1 always has at least one row below its headings.
  if (count == 0) appendRow(text, SeriesRow{});
}

}  // namespace

int RunExport(const QStringList& args) {
  Options o;
  if (const auto done = Parse(args, o)) return *done;
  ApplySettings(o.language, o.unit);
  const int language = *o.language;
  const StrengthUnit unit = *o.unit;
  const QString name = QFileInfo(o.file).fileName();

  DataFileView file;
  const QByteArray damaged =
      (txtFileDamaged.Str(language) + QStringLiteral(": ") + name + u'\n').toUtf8();
  if (file.Open(o.file) != DataFileStatus::Ok) {
    std::fputs(damaged.constData(), stderr);
    return kExitBadFile;
  }
  if (file.mapped()) CatchBusErrors(damaged);
  const uint8_t* paramBlock = file.ParamBlock();
  const uint8_t* dataImage = file.DataImage();
  const uint32_t count = CountProcesses(paramBlock);

  ProcessRecordBuffer record{};
  const ProcessView process(record.data());
  uint32_t index = 0;
  if (o.what == What::Impacts || o.what == What::Coefficients || o.what == What::Chart) {
    const uint64_t n = ToIndex(o.index);
    if (n >= count) {
      if (count == 0) {
        std::fprintf(stderr, "zarn26-cli export: no process %s: the file holds no processes\n",
                     qUtf8Printable(o.index));
      } else {
        std::fprintf(stderr, "zarn26-cli export: no process %s: the file holds %u (0 to %u)\n",
                     qUtf8Printable(o.index), count, count - 1);
      }
      return kExitNoProcess;
    }
    index = uint32_t(n);
    CopyProcess(paramBlock, dataImage, count, index, record.data());
  }

  RowWriter appendRow;
  if (o.format == Format::Csv) appendRow.csv = o.decimal.value_or(CsvDialectFor(language));
  QByteArray out;  // json
  QString text;    // tsv, or csv before its encoding
  switch (o.what) {
    case What::Series:
      if (o.format == Format::Json) out = SeriesJson(name, paramBlock, dataImage, count);
      else SeriesTable(text, appendRow, paramBlock, dataImage, count, language, unit);
      break;
    case What::Impacts:
      if (o.format == Format::Json) {
        out = ImpactsJson(name, index, process);
      } else {
        // Rows 2 on hold the blows' numbers; row 1 their directions.
        const QList<QStringList> rows = ImpactsTable(process, language, unit);
        for (qsizetype r = 0; r < rows.size(); ++r)
          appendRow(text, rows[r], r >= 2 ? NumberColumns::From(1) : NumberColumns{});
      }
      break;
    case What::Coefficients:
      if (o.format == Format::Json) out = CoefficientsJson(name, index, process);
      else appendRow(text, CoefficientRow(process, language));
      break;
    case What::Chart: {
      int a = 0;
      if (!o.blow.isEmpty()) {
        const uint64_t b = ToIndex(o.blow);
        if (b < 1 || b > uint64_t(process.shownBlowCount())) {
          std::fprintf(stderr, "zarn26-cli export: process %u has no blow %s (it has %d)\n", index,
                       qUtf8Printable(o.blow), process.shownBlowCount());
          return kExitNoProcess;
        }
        a = int(b);
      }
      const std::vector<BlowCurve> curves = ChartCurves(process, a);
      if (o.format == Format::Json) {
        out = ChartJson(name, index, a, curves);
        break;
      }
      std::vector<std::vector<ChartPoint>> series;
      series.reserve(curves.size());
      for (const BlowCurve& c : curves) series.push_back(c.points);
      const SeriesRow heading = SeriesTableHeading(0, language, unit);
      SeriesRow row;
      FillSeriesRow(process, unit, row);
      text = ChartDataText(heading, row, CoefficientRow(process, language),
                           ChartTitle(a, language), series, language);
      if (text.isEmpty()) {
        // As in the program, a chart without curves has no data to copy.
        std::fprintf(stderr, "zarn26-cli export: process %u has no blows: no chart data\n", index);
        return kExitOk;
      }
      if (o.format == Format::Csv) {
        // Line 2 is table 1's row (number and strength), lines 7 on the points.
        const QList<QStringList> rows = RowsOf(std::exchange(text, QString()));
        for (qsizetype r = 0; r < rows.size(); ++r) {
          appendRow(text, rows[r],
                    r == 1 ? NumberColumns{0, 3} : r >= 6 ? NumberColumns::From(0) : NumberColumns{});
        }
      }
      break;
    }
    case What::Materials:
      text = MaterialsFileText(file.MaterialsBlock());
      break;
    case What::Objects:
      text = ObjectsFileText(file.ObjectsBlock());
      break;
  }

  if (o.format != Format::Json) out = appendRow.Bytes(text);
  return WriteStdout(out, QStringLiteral("export"), language);
}

}  // namespace zarn::cli
