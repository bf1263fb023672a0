#pragma once
// The series report: one line per series of table 1 under a title and column headings
// that repeat on every page, with the page number at the bottom of pages 2 onward.
// The line cells copy what table 1 shows at the moment of printing (language, unit and
// formatting included), so the window hands over its grid and zarn26-cli the same texts
// made by the table presenters: both give the same pages.

#include <QString>
#include <functional>
#include <vector>

#include "common/texts.h"
#include "data/presenters.h"
#include "data/process.h"
#include "report/reportengine.h"

namespace zarn {

// The variation's heading in the report and the series sheets: one of two fixed texts;
// its first letter is a Latin K.
inline constexpr TextPair kVariationHeading{u"K вариации, %", u"Variation, %"};

// What table 1 shows: RowCount() rows (two heading rows, then one per series) of
// kSeriesColumns cells.
class Table1Cells {
 public:
  virtual ~Table1Cells() = default;
  virtual int RowCount() const = 0;
  virtual QString Cells(int col, int row) const = 0;
};

// A copy of table 1's texts: taken from what the window's grid shows (`cells`), or made
// from a data file's images by the same presenters that fill the grid (zarn26-cli).
class Table1Snapshot final : public Table1Cells {
 public:
  Table1Snapshot(int rowCount, const std::function<QString(int col, int row)>& cells);
  Table1Snapshot(const uint8_t* paramBlock, const uint8_t* dataImage, uint32_t count,
                 int language, StrengthUnit unit);
  int RowCount() const override { return int(rows_.size()); }
  QString Cells(int col, int row) const override;

 private:
  std::vector<SeriesRow> rows_;
};

// The program's side of the report: the page template, the field values by name and
// the record source over table 1.
class SeriesReport {
 public:
  SeriesReport(const Table1Cells& table, int language, StrengthUnit unit);

  // Whether there is anything to print: table 1's first data row has a number.
  bool HasSeries() const;
  // The pages; the fonts are measured with `fontFamily` (empty: no shrinking).
  PreparedReport Prepare(const PageGeometry& page = {}) const;

  // The template with the page geometry `page` (A4 portrait with the report's margins
  // by default).
  static ReportTemplate Template(const PageGeometry& page = {});
  static QString FontFamily();

  // The record source's and the report's callbacks.
  void frxUserDataSet1First(ReportRowSource& rows) const;
  void frxUserDataSet1CheckEOF(const ReportRowSource& rows, bool& eof) const;
  void frxReport1GetValue(const ReportRowSource& rows, const QString& name, QString& value) const;

 private:
  const Table1Cells& table_;
  int language_;
  StrengthUnit unit_;
};

}  // namespace zarn
