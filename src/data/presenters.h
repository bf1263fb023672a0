#pragma once
// What the grids, the chart and the clipboard show, as plain functions: the main
// window, zarn26-cli and the tests all call these, so every text is computed once.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
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
// CSV (RFC 4180): cells separated by commas, CRLF after every row; a cell holding a
// quote, comma, semicolon or line break, or starting or ending with a blank, is quoted
// with its quotes doubled. CsvBytes gives the UTF-8 bytes with a byte-order mark, which
// spreadsheet programs need to read the Cyrillic texts.
void AppendCsvRow(QString& text, std::span<const QString> cells);
QByteArray CsvBytes(const QString& text);
// The chart-data text. `heading` and `row` are columns 0..5 of table 1's heading row 0
// and current row, `coefficients` the coefficient row, `title` the chart title's lines,
// `series` the points of Series1..Series15 as the chart holds them now (possibly
// zoomed or trimmed; empty series end the list).
QString ChartDataText(std::span<const QString> heading, std::span<const QString> row,
                      const std::array<QString, 5>& coefficients, const QStringList& title,
                      std::span<const std::vector<ChartPoint>> series, int language);

}  // namespace zarn
