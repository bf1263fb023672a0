// Series sheets: what a sheet holds (header, table 2, coefficients, chart, foot) for
// generated series in both languages, the chart's curves against the records, the
// curve simplification's bound, the --series lists, and every export of the sheets.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cmath>
#include <cstring>

#include "common/texts.h"
#include "data/presenters.h"
#include "report/fonts.h"
#include "report/reportexport.h"
#include "report/seriessheets.h"
#include "samplegen.h"

using namespace zarn;
using namespace Qt::StringLiterals;

namespace {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "report_tests";
  static char* argv[] = {name, nullptr};
  if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
  InstallFontSubstitutes();
}

std::vector<ProcessRecordBuffer> Records(int count, uint64_t seed) {
  auto images = std::make_unique<DeviceImages>();
  sim::GenerateSample(*images, count, seed);
  std::vector<ProcessRecordBuffer> out(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) EXPECT_TRUE(CopyProcess(*images, uint32_t(count), uint32_t(i), out[size_t(i)].data()));
  return out;
}

QStringList BandTexts(const PreparedPage& page, const PreparedBand& band) {
  QStringList texts;
  for (int i = 0; i < band.count; ++i) texts.append(page.cells[size_t(band.first + i)].text);
  return texts;
}

SheetSource Source(const QString& file, const QString& instrument, const QString& origin = {}) {
  SheetSource s;
  s.dataFile = file;
  s.instrument = instrument;
  s.origin = origin;
  s.programVersion = u"1.5.3"_s;
  s.printed = QDateTime(QDate(2026, 12, 11), QTime(3, 40));
  return s;
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
  EnsureApp();
  const std::vector<ProcessRecordBuffer> records = Records(12, 11);
  struct Case {
    int language;
    StrengthUnit unit;
    SheetSource source;
    QString title, strength, from, printed;
  };
  const SheetSource fromInstrument = Source({}, u" Zarn-2.6 v3.14 sn 0001 "_s);
  const SheetSource fromArchive = Source({}, {}, u"Archive: 12 series"_s);
  const Case cases[] = {
      {kEnglish, StrengthUnit::MPa, kFromFile, u"Series sheet No. "_s, u"Strength, MPa"_s,
       u"Data file: site 12.zarn"_s, u"Printed: 11.12.2026 03:40"_s},
      {kRussian, StrengthUnit::Kgf, fromInstrument, u"Лист серии № "_s, u"Прочность, кгс/см2"_s,
       u"Прибор: Zarn-2.6 v3.14 sn 0001"_s, u"Напечатано: 11.12.2026 03:40"_s},
      {kEnglish, StrengthUnit::Kgf, fromArchive, u"Series sheet No. "_s, u"Strength, kgs/sm2"_s,
       u"Archive: 12 series"_s, u"Printed: 11.12.2026 03:40"_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    const PreparedReport report = SeriesSheets(records, c.language, c.unit, c.source).Prepare();
    ASSERT_EQ(report.pages.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const ProcessView p(records[i].data());
      const PreparedPage& page = report.pages[i];
      SeriesRow row;
      FillSeriesRow(p, c.unit, row);
      QStringList body;  // every Body band's texts, in order
      QString title;
      for (const PreparedBand& band : page.bands) {
        if (band.kind == BandKind::Title) title = BandTexts(page, band).join(u'|');
        if (band.kind == BandKind::Body) body.append(BandTexts(page, band).join(u'|'));
      }
      EXPECT_EQ(title, c.title + row[0]);
      // The header: five rows of two label-value pairs, then table 2, the coefficients
      // and the foot.
      ASSERT_EQ(body.size(), 5 + kImpactsRows + 1 + 1);
      const QString header = body.mid(0, 5).join(u'\n');
      for (int col : {1, 2, 3, 4, 5, 6, 7, 8}) EXPECT_TRUE(header.contains(u'|' + row[size_t(col)])) << header.toStdString();
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
        for (const PreparedLine::Point& pt : line.points) {
          EXPECT_TRUE(pt.x >= report.page.left && pt.x <= report.page.width - report.page.right);
          EXPECT_TRUE(pt.y > 100 && pt.y < report.page.height - report.page.bottom - 6);
        }
      }
      ASSERT_EQ(colours.size(), curves.size());
      for (size_t k = 0; k < curves.size(); ++k)
        EXPECT_EQ(colours[k], curves[k].gray ? kChartMaskedRgb : kChartBlowRgb) << k;
    }
  }
}

TEST(ReportSheets, CurvesKeepEveryPointWithinTheirTolerance) {
  struct Case {
    const char* name;
    std::vector<PreparedLine::Point> points;
    size_t mostKept;
  };
  std::vector<PreparedLine::Point> straight, wave, spike;
  for (int i = 0; i <= 500; ++i) {
    straight.push_back({float(i * 0.3), float(50 + i * 0.1)});
    wave.push_back({float(i * 0.33), float(100 + 40 * std::sin(i / 20.0) * std::exp(-i / 150.0))});
    spike.push_back({float(i * 0.3), i == 250 ? 10.f : 90.f});
  }
  const Case cases[] = {{"straight", straight, 2}, {"damped wave", wave, 250}, {"one spike", spike, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto kept = SimplifiedCurve(c.points, SeriesSheets::kCurveToleranceMm);
    EXPECT_LE(kept.size(), c.mostKept);
    ASSERT_GE(kept.size(), 2u);
    EXPECT_EQ(kept.front().x, c.points.front().x);
    EXPECT_EQ(kept.back().x, c.points.back().x);
    for (const PreparedLine::Point& p : c.points) {
      double nearest = 1e9;
      for (size_t k = 0; k + 1 < kept.size(); ++k) nearest = std::min(nearest, SegmentDistance(p, kept[k], kept[k + 1]));
      EXPECT_LE(nearest, SeriesSheets::kCurveToleranceMm + 1e-4);
    }
  }
}

TEST(ReportSheets, DamagedWaveformsDrawNoNonFinitePoint) {
  EnsureApp();
  std::vector<ProcessRecordBuffer> records = Records(1, 3);
  // Every byte of the blows' floats set to 0xFF: NaN times, strengths and amplitudes.
  std::memset(records[0].data() + 92, 0xFF, records[0].size() - 92);
  const PreparedReport report = SeriesSheets(records, kEnglish, StrengthUnit::MPa, kFromFile).Prepare();
  ASSERT_EQ(report.pages.size(), 1u);
  for (const PreparedLine& line : report.pages[0].lines)
    for (const PreparedLine::Point& p : line.points) ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
}

TEST(ReportSheets, SeriesListsAndTheirErrors) {
  struct Case {
    QString text;
    SeriesRanges ranges;
    QString error;
  };
  const Case cases[] = {
      {u"5"_s, {{5, 5}}, {}},
      {u"5,7-9, 12"_s, {{5, 5}, {7, 9}, {12, 12}}, {}},
      {u" 3 - 3 "_s, {{3, 3}}, {}},
      {u""_s, {}, u"no series given"_s},
      {u"9-7"_s, {}, u"the range 9-7 runs backwards (write 7-9)"_s},
      {u"x"_s, {}, u"\"x\" is not a series number (0 to 9999)"_s},
      {u"1-2-3"_s, {}, u"\"1-2-3\" is not a range N-M"_s},
      {u"10000"_s, {}, u"\"10000\" is not a series number (0 to 9999)"_s},
      {u"5,,6"_s, {}, u"a number is missing"_s},
      {u"-4"_s, {}, u"a number is missing"_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    QString error;
    const auto ranges = ParseSeriesList(c.text, error);
    if (c.error.isEmpty()) {
      ASSERT_TRUE(ranges) << error.toStdString();
      EXPECT_EQ(*ranges, c.ranges);
    } else {
      EXPECT_FALSE(ranges);
      EXPECT_EQ(error, c.error);
    }
  }
  EXPECT_TRUE(InSeriesRanges({{5, 5}, {7, 9}}, 8));
  EXPECT_FALSE(InSeriesRanges({{5, 5}, {7, 9}}, 6));
}

TEST(ReportSheets, EveryExportTakesTheSheets) {
  EnsureApp();
  const PreparedReport report = SeriesSheets(Records(3, 5), kRussian, StrengthUnit::MPa, kFromFile).Prepare();
  for (const ReportExporter& e : ReportExporters()) {
    SCOPED_TRACE(e.name.toString().toStdString());
    QString error;
    const QByteArray bytes = ReportBytes(report, e.format, {kRussian, {}, kFromFile.printed}, &error);
    EXPECT_FALSE(bytes.isEmpty()) << error.toStdString();
  }
}
