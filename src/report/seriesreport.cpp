#include "seriesreport.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/texts.h"

namespace zarn {
namespace {

constexpr double kTitleHeight = 20;
constexpr double kHeaderHeight = 10;
constexpr double kRowHeight = 5;
constexpr double kFooterHeight = 9;
constexpr double kTitlePt = 14;
constexpr double kCellPt = 10;

struct Column {
  double width;          // mm
  const char16_t* heading;  // the fixed text or the heading field
  const char16_t* field;    // the row field
};
constexpr std::array<Column, kSeriesColumns> kColumns{{
    {11, u"№", u"№№"},
    {16, u"Дата0", u"Дата"},
    {14, u"Время0", u"Время"},
    {26, u"Прочность0", u"Прочность"},
    {36, u"Материал0", u"Материал"},
    {31, u"Объект0", u"Объект"},
    {23, u"K вариации0", u"K вариации"},
    {14, u"Размах0", u"Размах"},
    {14, u"Ударов0", u"Ударов"},
}};

}  // namespace

Table1Snapshot::Table1Snapshot(int rowCount, const std::function<QString(int, int)>& cells) {
  rows_.resize(size_t(std::max(0, rowCount)));
  for (int r = 0; r < rowCount; ++r) {
    for (int c = 0; c < kSeriesColumns; ++c) rows_[size_t(r)][size_t(c)] = cells(c, r);
  }
}

Table1Snapshot::Table1Snapshot(const uint8_t* paramBlock, const uint8_t* dataImage,
                               uint32_t count, int language, StrengthUnit unit) {
  rows_.reserve(size_t(count) + 3);
  rows_.push_back(SeriesTableHeading(0, language, unit));
  rows_.push_back(SeriesTableHeading(1, language, unit));
  ForEachSeriesRow(paramBlock, dataImage, count, unit,
                   [this](const SeriesRow& row) { rows_.push_back(row); });
  // Table 1 always has at least one row below its headings.
  if (count == 0) rows_.emplace_back();
}

QString Table1Snapshot::Cells(int col, int row) const {
  if (row < 0 || size_t(row) >= rows_.size() || col < 0 || col >= kSeriesColumns) return {};
  return rows_[size_t(row)][size_t(col)];
}

SeriesReport::SeriesReport(const Table1Cells& table, int language, StrengthUnit unit)
    : table_(table), language_(language), unit_(unit) {}

bool SeriesReport::HasSeries() const { return !table_.Cells(0, 2).isEmpty(); }

QString SeriesReport::FontFamily() { return QStringLiteral("Times New Roman"); }

ReportTemplate SeriesReport::Template(const PageGeometry& page) {
  ReportTemplate t;
  t.page = page;
  t.fontFamily = FontFamily();
  const double width = page.PrintableWidth();
  t.title.height = kTitleHeight;
  t.title.cells.push_back({width, {}, QStringLiteral("Заголовок"), kTitlePt, false});
  t.pageHeader.height = kHeaderHeight;
  t.masterData.height = kRowHeight;
  for (size_t i = 0; i < kColumns.size(); ++i) {
    const Column& c = kColumns[i];
    ReportCellTemplate heading{c.width, {}, {}, kCellPt, true};
    // Column 1's heading is the fixed text; the others are fields.
    if (i == 0) heading.text = QString::fromUtf16(c.heading);
    else heading.field = QString::fromUtf16(c.heading);
    t.pageHeader.cells.push_back(std::move(heading));
    ReportCellTemplate line{c.width, {}, QString::fromUtf16(c.field), kCellPt, true};
    line.number = kSeriesNumberColumns.Has(int(i));
    t.masterData.cells.push_back(std::move(line));
  }
  t.pageFooter.height = kFooterHeight;
  t.pageFooter.cells.push_back({width, QStringLiteral("- [Page#] -"), {}, kCellPt, false});
  return t;
}

void SeriesReport::frxUserDataSet1First(ReportRowSource& rows) const {
  rows.recordCount = table_.RowCount() - 2;
}

void SeriesReport::frxUserDataSet1CheckEOF(const ReportRowSource& rows, bool& eof) const {
  eof = eof || rows.RecNo >= table_.RowCount() - 2;
}

void SeriesReport::frxReport1GetValue(const ReportRowSource& rows, const QString& name,
                                      QString& value) const {
  const int n = rows.RecNo;
  const int l = language_;
  // Heading fields.
  if (name == u"Заголовок") value = txtReportTitle.Str(l);
  else if (name == u"Дата0") value = txtDate.Str(l);
  else if (name == u"Время0") value = txtTime.Str(l);
  else if (name == u"Прочность0")
    value = txtStrength.Str(l) + QStringLiteral(", ") + (unit_ == StrengthUnit::MPa ? txtUnitMPa : txtUnitKgf).Str(l);
  else if (name == u"Материал0") value = txtMaterial.Str(l);
  else if (name == u"Объект0") value = txtObject.Str(l);
  else if (name == u"K вариации0") value = kVariationHeading.Str(l);
  else if (name == u"Размах0") value = txtSwing.Str(l);
  else if (name == u"Ударов0") value = txtImpacts.Str(l);
  // Row fields: record n is table 1's row n + 2.
  else if (name == u"№№") value = QString::number(n + 1);
  else {
    for (int c = 1; c < kSeriesColumns; ++c) {
      if (name == QStringView(kColumns[size_t(c)].field)) {
        value = table_.Cells(c, n + 2);
        return;
      }
    }
  }
}

PreparedReport SeriesReport::Prepare(const PageGeometry& page) const {
  ReportRowSource rows;
  rows.first = [this, &rows] { frxUserDataSet1First(rows); };
  rows.checkEof = [this, &rows](bool& eof) { frxUserDataSet1CheckEOF(rows, eof); };
  const ReportFieldValue value = [this, &rows](const QString& name, QString& v) {
    frxReport1GetValue(rows, name, v);
  };
  return PrepareReport(Template(page), rows, value, FontTextWidth(FontFamily()));
}

}  // namespace zarn
