#pragma once
// What the grids, the chart and the clipboard show, as plain functions: the main
// window, zarn26-cli and the tests all call these, so every text is computed once.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "data/process.h"

namespace zarn {

// ---- Table 1 (StringGrid1): 9 columns, two heading rows, a row per process.
inline constexpr int kSeriesColumns = 9;
using SeriesRow = std::array<QString, kSeriesColumns>;
// Heading row 0 or 1 as the layout writes it; cells it does not write are empty.
SeriesRow SeriesTableHeading(int row, int language, StrengthUnit unit);
// The data row of one process (language-independent).
void FillSeriesRow(const ProcessView& process, StrengthUnit unit, SeriesRow& out);
// Table 1's data rows as the window fills them, one call of `row` per process in
// directory order (the same SeriesRow is refilled for every call). Records are read in
// place; only one that runs past the end of the image is copied (and cut).
template <typename RowFn>
void ForEachSeriesRow(const uint8_t* paramBlock, const uint8_t* dataImage, uint32_t count,
                      StrengthUnit unit, RowFn&& row) {
  ProcessRecordBuffer copy;
  SeriesRow cells;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = ProcessInPlace(paramBlock, dataImage, count, i);
    if (!record) {
      CopyProcess(paramBlock, dataImage, count, i, copy.data());
      record = copy.data();
    }
    FillSeriesRow(ProcessView(record), unit, cells);
    row(static_cast<const SeriesRow&>(cells));
  }
}

// ---- Table 2 (StringGrid2): 9 rows; column 0 the labels, column b + 1 blow b.
inline constexpr int kImpactsRows = 9;
// "3-й удар" / "3-st impact".
QString ImpactHeading(int column, int language);
// Column 0: row 0 is the process's date and time (filled by ImpactsTable), rows 1..8
// the labels.
QStringList ImpactsLabels(int language, StrengthUnit unit);
// The whole table as shown: kImpactsRows rows of max(2, 1 + shownBlowCount) cells.
QList<QStringList> ImpactsTable(const ProcessView& process, int language, StrengthUnit unit);

// ---- Coefficient row (StringGridKoef): label, "a2=…", "a1=…", "a0=…", "Kf=…".
std::array<QString, 5> CoefficientRow(const ProcessView& process, int language);

// ---- Chart.
// The chart's colours (RGB): a blow's curve, a masked blow's (its blowMask bit is
// clear; drawn beneath the others) and the zero line.
inline constexpr uint32_t kChartBlowRgb = 0xFF0000;
inline constexpr uint32_t kChartMaskedRgb = 0x808080;
inline constexpr uint32_t kChartZeroRgb = 0x000000;
struct ChartPoint {
  double x;
  double y;
};
struct BlowCurve {
  int blow;   // 0-based blow index within the process
  bool gray;  // its blowMask bit is clear
  std::vector<ChartPoint> points;  // the origin and the 511 samples
};
// The 512 points of one blow: (0, 0), then the samples (times accumulated in single
// precision, values scaled so that the highest equals impactAmplitude).
std::vector<ChartPoint> BlowPoints(const ProcessView& process, int blow);
// The curves of the view `a`: 0 = all blows, gray ones first; a >= 1 = blow a alone.
// Element k goes into Series(k + 1).
std::vector<BlowCurve> ChartCurves(const ProcessView& process, int a);
// The chart title's lines: a = 0 one empty line; a >= 1 "a-й удар" / "a-st impact".
QStringList ChartTitle(int a, int language);
// Half the left axis span: the larger of the highest y and minus the lowest y over
// all curves, times 1.05. The axis runs from -m to m.
double LeftAxisHalfRange(std::span<const BlowCurve> curves);
// Where double-click trimming cuts a series (points from this index on are dropped).
int FindWaveCut(std::span<const ChartPoint> points);

// ---- Clipboard texts: TAB between cells, CRLF after every row.
QString TableText(const QList<QStringList>& rows);
// Appends one row of such a text: the cells with TAB between them, then CRLF.
void AppendTableRow(QString& text, std::span<const QString> cells);
// ---- CSV (RFC 4180) for spreadsheets.
// A spreadsheet reads a CSV file with the conventions of its locale, so the numbers
// follow them: English — a comma between fields and a decimal point; Russian — a
// semicolon between fields (the list separator of that locale) and a decimal comma,
// which then needs no quotes. The clipboard's tab-separated texts stay as shown.
struct CsvDialect {
  char16_t separator = u',';
  char16_t decimal = u'.';
  friend bool operator==(const CsvDialect&, const CsvDialect&) = default;
};
inline constexpr CsvDialect kCsvPoint{u',', u'.'};
inline constexpr CsvDialect kCsvComma{u';', u','};
CsvDialect CsvDialectFor(int language);

// The columns of a row that hold numbers (columns 0..63).
class NumberColumns {
 public:
  constexpr NumberColumns() = default;
  constexpr NumberColumns(std::initializer_list<int> columns) {
    for (int c : columns) Add(c);
  }
  static constexpr NumberColumns From(int first) {
    NumberColumns n;
    n.bits_ = first <= 0 ? ~uint64_t(0) : first < 64 ? ~uint64_t(0) << first : 0;
    return n;
  }
  constexpr void Add(int column) {
    if (column >= 0 && column < 64) bits_ |= uint64_t(1) << column;
  }
  constexpr bool Has(int column) const { return column >= 0 && column < 64 && (bits_ >> column & 1); }

 private:
  uint64_t bits_ = 0;
};
// Table 1's number columns: №, strength, variation, range, blows.
inline constexpr NumberColumns kSeriesNumberColumns{0, 3, 6, 7, 8};

// Whether `text` is a number as the program writes it: an optional minus, digits, an
// optional decimal comma with digits, an optional exponent ("1,234E-03").
bool IsNumberText(QStringView text);

// Appends one row: the cells with the dialect's separator between them, then CRLF. A
// cell of a number column that holds a number text is written as a number in the
// dialect's notation, never quoted; any other cell is a text, quoted (its quotes
// doubled) when it holds a comma, semicolon, quote or line break, or starts or ends
// with a blank. CsvBytes gives the UTF-8 bytes with a byte-order mark, which
// spreadsheet programs need to read the Cyrillic texts.
void AppendCsvRow(QString& text, std::span<const QString> cells, const CsvDialect& dialect,
                  NumberColumns numbers = {});
QByteArray CsvBytes(const QString& text);
// The chart-data text. `heading` and `row` are columns 0..5 of table 1's heading row 0
// and current row, `coefficients` the coefficient row, `title` the chart title's lines,
// `series` the points of Series1..Series15 as the chart holds them now (possibly
// zoomed or trimmed; empty series end the list).
QString ChartDataText(std::span<const QString> heading, std::span<const QString> row,
                      const std::array<QString, 5>& coefficients, const QStringList& title,
                      std::span<const std::vector<ChartPoint>> series, int language);

}  // namespace zarn
