// Series sheets: what a sheet holds (header, table 2, coefficients, chart, foot) for
// generated series in both languages, the chart's curves against the records, the
// curve simplification's bound, the --series lists, and every export of the sheets.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/texts.h"
#include "data/presenters.h"
#include "report/reportexport.h"
#include "report/seriessheets.h"
#include "samplegen.h"
#include "testing/reportapp.h"

using namespace zarn;
using namespace Qt::StringLiterals;
using zarn::testing::ReportApp;

namespace {

std::vector<ProcessRecordBuffer> Records(int count, uint64_t seed) {
  auto images = std::make_unique<DeviceImages>();
  sim::GenerateSample(*images, count, seed);
  std::vector<ProcessRecordBuffer> out(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) EXPECT_TRUE(CopyProcess(*images, uint32_t(count), uint32_t(i), out[size_t(i)].data()));
  return out;
}

SheetSource Source(const QString& file, const QString& instrument, const QString& origin = {}) {
  return {file, instrument, origin, u"1.5.3"_s, QDateTime(QDate(2026, 12, 11), QTime(3, 40))};
}
const SheetSource kFromFile = Source(u"site 12.zarn"_s, {});

// Distance from p to the segment a-b.
double SegmentDistance(PreparedLine::Point p, PreparedLine::Point a, PreparedLine::Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
  const double t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0.0;
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

}  // namespace

TEST(ReportSheets, EverySheetHoldsItsSeries) {
  ReportApp();
  const std::vector<ProcessRecordBuffer> records = Records(12, 11);
  const struct {
    int language;
    StrengthUnit unit;
    SheetSource source;
    QString title, strength, from, printed;
  } cases[] = {
      {kEnglish, StrengthUnit::MPa, kFromFile, u"Series sheet No. "_s, u"Strength, MPa"_s,
       u"Data file: site 12.zarn"_s, u"Printed: 11.12.2026 03:40"_s},
      {kRussian, StrengthUnit::Kgf, Source({}, u" Zarn-2.6 v3.14 sn 0001 "_s), u"Лист серии № "_s,
       u"Прочность, кгс/см2"_s, u"Прибор: Zarn-2.6 v3.14 sn 0001"_s, u"Напечатано: 11.12.2026 03:40"_s},
      {kEnglish, StrengthUnit::Kgf, Source({}, {}, u"Archive: 12 series"_s), u"Series sheet No. "_s,
       u"Strength, kgs/sm2"_s, u"Archive: 12 series"_s, u"Printed: 11.12.2026 03:40"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from.toStdString());
    const PreparedReport report = SeriesSheets(records, c.language, c.unit, c.source).Prepare();
    ASSERT_EQ(report.pages.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const ProcessView p(records[i].data());
      const PreparedPage& page = report.pages[i];
      SeriesRow row;
      FillSeriesRow(p, c.unit, row);
      QString title;
      QStringList body;  // every Body band's texts joined by '|', in order
      for (const PreparedBand& band : page.bands) {
        QStringList texts;
        for (int k = 0; k < band.count; ++k) texts.append(page.cells[size_t(band.first + k)].text);
        if (band.kind == BandKind::Title) title = texts.join(u'|');
        if (band.kind == BandKind::Body) body.append(texts.join(u'|'));
      }
      EXPECT_EQ(title, c.title + row[0]);
      // The header (five rows of two label-value pairs), table 2, the coefficients, the foot.
      ASSERT_EQ(body.size(), 5 + kImpactsRows + 1 + 1);
      const QString header = body.mid(0, 5).join(u'\n');
      for (int col = 1; col <= 8; ++col) EXPECT_TRUE(header.contains(u'|' + row[size_t(col)])) << header.toStdString();
      EXPECT_TRUE(header.contains(c.strength + u'|' + row[3])) << header.toStdString();
      const QList<QStringList> impacts = ImpactsTable(p, c.language, c.unit);
      EXPECT_TRUE(header.contains(impacts[1][1])) << "the direction";
      for (int r = 0; r < kImpactsRows; ++r) EXPECT_EQ(body[5 + r], impacts[r].join(u'|'));
      const auto coefficients = CoefficientRow(p, c.language);
      EXPECT_EQ(body[5 + kImpactsRows], QStringList(coefficients.begin(), coefficients.end()).join(u'|'));
      EXPECT_EQ(body.last(), c.from + u"|Zarn-2.5/2.6 1.5.3|"_s + c.printed);

      // The chart: a curve per blow in the chart's colours, gray ones first, every point
      // inside the plot, which lies between the coefficients and the foot.
      const std::vector<BlowCurve> curves = ChartCurves(p, 0);
      std::vector<QRgb> colours;
      for (const PreparedLine& line : page.lines) {
        if (line.widthMm == SeriesSheets::kCurveMm) colours.push_back(line.colour & 0xFFFFFF);
        for (const PreparedLine::Point& pt : line.points)
          EXPECT_TRUE(pt.x >= report.page.left && pt.x <= report.page.width - report.page.right && pt.y > 100 &&
                      pt.y < report.page.height - report.page.bottom - 6) << pt.x << ", " << pt.y;
      }
      ASSERT_EQ(colours.size(), curves.size());
      for (size_t k = 0; k < curves.size(); ++k) EXPECT_EQ(colours[k], curves[k].gray ? kChartMaskedRgb : kChartBlowRgb) << k;
    }
  }
}

TEST(ReportSheets, CurvesKeepEveryPointWithinTheirTolerance) {
  std::vector<PreparedLine::Point> straight, wave, spike;
  for (int i = 0; i <= 500; ++i) {
    straight.push_back({float(i * 0.3), float(50 + i * 0.1)});
    wave.push_back({float(i * 0.33), float(100 + 40 * std::sin(i / 20.0) * std::exp(-i / 150.0))});
    spike.push_back({float(i * 0.3), i == 250 ? 10.f : 90.f});
  }
  const struct {
    const char* name;
    const std::vector<PreparedLine::Point>& points;
    size_t mostKept;
  } cases[] = {{"straight", straight, 2}, {"damped wave", wave, 250}, {"one spike", spike, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto kept = SimplifiedCurve(c.points, SeriesSheets::kCurveToleranceMm);
    EXPECT_LE(kept.size(), c.mostKept);
    ASSERT_GE(kept.size(), 2u);  // the points are 0.3 mm apart: a lost end strays past the bound
    for (const PreparedLine::Point& p : c.points) {
      double nearest = 1e9;
      for (size_t k = 0; k + 1 < kept.size(); ++k) nearest = std::min(nearest, SegmentDistance(p, kept[k], kept[k + 1]));
      EXPECT_LE(nearest, SeriesSheets::kCurveToleranceMm + 1e-4);
    }
  }
}

TEST(ReportSheets, SeriesListsAndTheirErrors) {
  const struct {
    QString text;
    std::optional<SeriesRanges> ranges;  // nothing: refused, saying `error`
    QString error;
  } cases[] = {
      {u"5"_s, SeriesRanges{{5, 5}}, {}}, {u" 3 - 3 "_s, SeriesRanges{{3, 3}}, {}},
      {u"5,7-9, 12"_s, SeriesRanges{{5, 5}, {7, 9}, {12, 12}}, {}},
      {u""_s, {}, u"no series given"_s},
      {u"9-7"_s, {}, u"the range 9-7 runs backwards (write 7-9)"_s},
      {u"x"_s, {}, u"\"x\" is not a series number (0 to 9999)"_s},
      {u"1-2-3"_s, {}, u"\"1-2-3\" is not a range N-M"_s},
      {u"10000"_s, {}, u"\"10000\" is not a series number (0 to 9999)"_s},
      {u"5,,6"_s, {}, u"a number is missing"_s}, {u"-4"_s, {}, u"a number is missing"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    QString error;
    EXPECT_EQ(ParseSeriesList(c.text, error), c.ranges);
    EXPECT_EQ(error, c.error);
  }
}

// Every export takes the sheets, one of them of a record whose blows' floats are all
// 0xFF bytes (NaN times, strengths and amplitudes): no point of its chart is no number.
TEST(ReportSheets, EveryExportTakesTheSheetsEvenOfDamagedBlows) {
  ReportApp();
  std::vector<ProcessRecordBuffer> records = Records(3, 5);
  std::memset(records[2].data() + 92, 0xFF, records[2].size() - 92);
  const PreparedReport report = SeriesSheets(records, kRussian, StrengthUnit::MPa, kFromFile).Prepare();
  ASSERT_EQ(report.pages.size(), 3u);
  for (const PreparedLine& line : report.pages[2].lines)
    for (const PreparedLine::Point& p : line.points) ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
  for (const ReportExporter& e : ReportExporters()) {
    SCOPED_TRACE(e.name.toString().toStdString());
    QString error;
    EXPECT_FALSE(ReportBytes(report, e.format, {kRussian, {}, kFromFile.printed}, &error).isEmpty()) << error.toStdString();
  }
}
