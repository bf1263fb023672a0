#include <gtest/gtest.h>

#include <cmath>

#include "common/texts.h"
#include "data/presenters.h"
#include "testdata.h"

using namespace zarn;
using zarn::test::Encode;
using zarn::test::TestBlow;
using zarn::test::TestProcess;
using namespace Qt::StringLiterals;

namespace {

SeriesRow Row(const TestProcess& t, StrengthUnit unit) {
  const ProcessRecordBuffer r = Encode(t);
  SeriesRow row;
  FillSeriesRow(ProcessView(r.data()), unit, row);
  return row;
}

QStringList AsList(const SeriesRow& row) { return QStringList(row.begin(), row.end()); }

// A blow whose curve is a flat line at its impact amplitude.
TestProcess FiveBlows() {
  TestProcess t;
  t.blowCount = 5;
  t.blowMask = 0x1B;  // blow 2 gray
  for (int b = 0; b < 5; ++b) {
    t.blows[size_t(b)].impactAmplitude = float(b + 1);
    t.blows[size_t(b)].direction = int8_t(b % 3);
  }
  return t;
}

std::vector<std::vector<ChartPoint>> SeriesOf(const std::vector<BlowCurve>& curves) {
  std::vector<std::vector<ChartPoint>> s;
  for (const BlowCurve& c : curves) s.push_back(c.points);
  return s;
}

QString ChartText(const TestProcess& t, int a, int language, StrengthUnit unit) {
  const ProcessRecordBuffer r = Encode(t);
  const ProcessView p(r.data());
  const SeriesRow heading = SeriesTableHeading(0, language, unit);
  SeriesRow row;
  FillSeriesRow(p, unit, row);
  const auto series = SeriesOf(ChartCurves(p, a));
  return ChartDataText(heading, row, CoefficientRow(p, language), ChartTitle(a, language),
                       series, language);
}

}  // namespace

// ---- Table 1

TEST(SeriesTable, HeadingRowsInBothLanguagesAndUnits) {
  EXPECT_EQ(AsList(SeriesTableHeading(0, kRussian, StrengthUnit::MPa)),
            QStringList({u"№"_s, u"Дата"_s, u"Время"_s, u"Прочность"_s, u"Материал"_s,
                         u"Объект"_s, u"К.вариации"_s, u"Размах"_s, u"Ударов"_s}));
  EXPECT_EQ(AsList(SeriesTableHeading(1, kRussian, StrengthUnit::MPa)),
            QStringList({u""_s, u"д.м.г"_s, u"ч:м:с"_s, u"МПа"_s, u""_s, u""_s, u"%"_s,
                         u"%"_s, u""_s}));
  EXPECT_EQ(SeriesTableHeading(1, kRussian, StrengthUnit::Kgf)[3], u"кгс/см2");
  EXPECT_EQ(AsList(SeriesTableHeading(0, kEnglish, StrengthUnit::Kgf)),
            QStringList({u"№"_s, u"Date"_s, u"Time"_s, u"Strength"_s, u"Material"_s,
                         u"Object"_s, u"Variation"_s, u"Sving"_s, u"Impacts"_s}));
  EXPECT_EQ(AsList(SeriesTableHeading(1, kEnglish, StrengthUnit::Kgf)),
            QStringList({u""_s, u"d:m:y"_s, u"h:m:s"_s, u"kgs/sm2"_s, u""_s, u""_s,
                         u"%"_s, u"%"_s, u""_s}));
  EXPECT_EQ(SeriesTableHeading(1, kEnglish, StrengthUnit::MPa)[3], u"MPa");
}

TEST(SeriesTable, RowInBothUnits) {
  const TestProcess t;
  EXPECT_EQ(AsList(Row(t, StrengthUnit::MPa)),
            QStringList({u"13"_s, u"07.03.12"_s, u"14:05:09"_s, u"25"_s, u"Бетон"_s,
                         u"Мост"_s, u"12,3"_s, u"12"_s, u"3"_s}));
  // 25 MPa is 254.70 kgf/cm2.
  EXPECT_EQ(Row(t, StrengthUnit::Kgf)[3], u"255");
}

TEST(SeriesTable, NumbersDatesAndRounding) {
  TestProcess t;
  t.number = 123456;
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[0], u"3456");
  t.number = 10000;
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[0], u"0");
  t.number = 0xFFFFFFFF;
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[0], u"7295");

  t.day = 31;
  t.month = 12;
  t.year = 0;
  t.hour = 0;
  t.minute = 0;
  t.second = 0;
  SeriesRow r = Row(t, StrengthUnit::MPa);
  EXPECT_EQ(r[1], u"31.12.00");
  EXPECT_EQ(r[2], u"00:00:00");
  t.year = 255;  // no date check: the bytes are shown as they are
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[1], u"31.12.255");

  t.strength = 25.25f;  // exact tie: away from zero
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[3], u"25,3");
  t.strength = 12.04f;
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[3], u"12");
  t.strength = 0.05f;  // slightly above 0.05 as a float
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[3], u"0,1");
  t.strength = -3.0f;
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[3], u"-3");
  EXPECT_EQ(Row(t, StrengthUnit::Kgf)[3], u"-31");

  t.variation = 120;
  t.range = 5;
  r = Row(t, StrengthUnit::Kgf);
  EXPECT_EQ(r[6], u"12");
  EXPECT_EQ(r[7], u"0,5");
  t.variation = 65535;
  EXPECT_EQ(Row(t, StrengthUnit::MPa)[6], u"6553,5");
}

TEST(SeriesTable, RowOfDamagedRecord) {
  TestProcess t;
  t.blowCount = 300;  // shown as stored
  t.material.clear();
  ProcessRecordBuffer r = Encode(t);
  r[32] = 0xFF;  // object name length out of range
  SeriesRow row;
  FillSeriesRow(ProcessView(r.data()), StrengthUnit::MPa, row);
  EXPECT_EQ(row[8], u"300");
  EXPECT_EQ(row[4], u"");
  EXPECT_EQ(row[5], u"");
}

TEST(SeriesTable, ReusedRowKeepsNothingOfThePreviousProcess) {
  TestProcess a;
  a.material = QStringLiteral("Кирпич силикатный");
  TestProcess b;
  b.material.clear();
  b.object.clear();
  b.number = 5;
  const ProcessRecordBuffer ra = Encode(a), rb = Encode(b);
  SeriesRow row;
  FillSeriesRow(ProcessView(ra.data()), StrengthUnit::MPa, row);
  FillSeriesRow(ProcessView(rb.data()), StrengthUnit::MPa, row);
  EXPECT_EQ(AsList(row), AsList(Row(b, StrengthUnit::MPa)));
  EXPECT_EQ(row[4], u"");
  EXPECT_EQ(row[0], u"5");
}

// ---- Table 2 and the coefficient row

TEST(ImpactsTable, RussianMPa) {
  const TestProcess t = FiveBlows();
  const ProcessRecordBuffer r = Encode(t);
  const QList<QStringList> table = ImpactsTable(ProcessView(r.data()), kRussian, StrengthUnit::MPa);
  ASSERT_EQ(table.size(), 9);
  for (const QStringList& row : table) ASSERT_EQ(row.size(), 6);
  EXPECT_EQ(table[0], QStringList({u"07.03.2012, 14:05:09"_s, u"1-й удар"_s, u"2-й удар"_s,
                                   u"3-й удар"_s, u"4-й удар"_s, u"5-й удар"_s}));
  EXPECT_EQ(table[1], QStringList({u"Направление"_s, u"Вверх"_s, u"В сторону"_s, u"Вниз"_s,
                                   u"Вверх"_s, u"В сторону"_s}));
  EXPECT_EQ(table[2][0], u"Амплитуда удара, В");
  EXPECT_EQ(table[2][1], u"1,0");
  EXPECT_EQ(table[2][5], u"5,0");
  EXPECT_EQ(table[3], QStringList({u"Амплитуда отскока, В"_s, u"1,3"_s, u"1,3"_s, u"1,3"_s,
                                   u"1,3"_s, u"1,3"_s}));
  EXPECT_EQ(table[4][0], u"Длительность удара, мкс");
  EXPECT_EQ(table[4][1], u"40,0");
  EXPECT_EQ(table[5][0], u"Длительность отскока, мкс");
  EXPECT_EQ(table[5][2], u"60,0");
  EXPECT_EQ(table[6][0], u"Энергия удара, В*мс");
  EXPECT_EQ(table[6][3], u"0,125");
  EXPECT_EQ(table[7][0], u"Энергия отскока, В*мс");
  EXPECT_EQ(table[7][4], u"0,063");
  EXPECT_EQ(table[8][0], u"Прочность, МПа");
  EXPECT_EQ(table[8][5], u"25,0");
}

TEST(ImpactsTable, EnglishKgf) {
  TestProcess t = FiveBlows();
  t.blows[1].strength = 30.0f;
  const ProcessRecordBuffer r = Encode(t);
  const QList<QStringList> table = ImpactsTable(ProcessView(r.data()), kEnglish, StrengthUnit::Kgf);
  EXPECT_EQ(table[0], QStringList({u"07.03.2012, 14:05:09"_s, u"1-st impact"_s,
                                   u"2-st impact"_s, u"3-st impact"_s, u"4-st impact"_s,
                                   u"5-st impact"_s}));
  EXPECT_EQ(table[1], QStringList({u"Direction"_s, u"Up"_s, u"Side"_s, u"Down"_s, u"Up"_s,
                                   u"Side"_s}));
  EXPECT_EQ(ImpactsLabels(kEnglish, StrengthUnit::Kgf),
            QStringList({u""_s, u"Direction"_s, u"Impacts amplitude, V"_s,
                         u"Recoils amplitude, V"_s, u"Impacts duration, mks"_s,
                         u"Recoil duration, mks"_s, u"Impacts energy, V*ms"_s,
                         u"Recoil energy, V*ms"_s, u"Strength, kgs/sm2"_s}));
  EXPECT_EQ(table[8][0], u"Strength, kgs/sm2");
  EXPECT_EQ(table[8][1], u"255");
  EXPECT_EQ(table[8][2], u"306");  // 30 * 10.1878... = 305.64
  EXPECT_EQ(ImpactsLabels(kRussian, StrengthUnit::Kgf)[8], u"Прочность, кгс/см2");
}

TEST(ImpactsTable, NoBlowsKeepsOneEmptyBlowColumn) {
  TestProcess t;
  t.blowCount = 0;
  const ProcessRecordBuffer r = Encode(t);
  const QList<QStringList> table = ImpactsTable(ProcessView(r.data()), kRussian, StrengthUnit::MPa);
  ASSERT_EQ(table.size(), 9);
  EXPECT_EQ(table[0], QStringList({u"07.03.2012, 14:05:09"_s, u""_s}));
  for (int row = 1; row < 9; ++row) {
    ASSERT_EQ(table[row].size(), 2);
    EXPECT_FALSE(table[row][0].isEmpty());
    EXPECT_EQ(table[row][1], u"");
  }
}

TEST(ImpactsTable, DamagedRecordStaysInsideRecordAndTexts) {
  TestProcess t;
  t.blowCount = 0xFFFF;
  for (auto& b : t.blows) b.direction = 3;
  t.blows[14].direction = -1;
  t.blows[0].direction = 2;
  t.blows[0].impactAmplitude = std::nanf("");
  t.blows[1].impactAmplitude = -INFINITY;
  const ProcessRecordBuffer r = Encode(t);
  const QList<QStringList> table = ImpactsTable(ProcessView(r.data()), kEnglish, StrengthUnit::MPa);
  for (const QStringList& row : table) ASSERT_EQ(row.size(), 16);
  EXPECT_EQ(table[0][15], u"15-st impact");
  EXPECT_EQ(table[1][1], u"Down");
  EXPECT_EQ(table[1][2], u"");
  EXPECT_EQ(table[1][15], u"");
  EXPECT_EQ(table[2][1], u"NAN");
  EXPECT_EQ(table[2][2], u"-INF");
}

TEST(CoefficientRow, ScientificPatternInBothLanguages) {
  const ProcessRecordBuffer r = Encode(TestProcess{});
  const auto ru = CoefficientRow(ProcessView(r.data()), kRussian);
  EXPECT_EQ(ru[0], u"Коэффициенты материала");
  EXPECT_EQ(ru[1], u"a2=1,230E-03");
  EXPECT_EQ(ru[2], u"a1=1,090E+00");
  EXPECT_EQ(ru[3], u"a0=-8,100E-01");
  EXPECT_EQ(ru[4], u"Kf=1,000E+00");
  EXPECT_EQ(CoefficientRow(ProcessView(r.data()), kEnglish)[0], u"Material coefficients");
}

// ---- Chart

TEST(BlowPoints, FlatLineAtTheImpactAmplitude) {
  TestProcess t;
  t.blows[0].impactAmplitude = 2.5f;
  t.blows[0].firstSample = 10;
  const ProcessRecordBuffer r = Encode(t);
  const auto pts = BlowPoints(ProcessView(r.data()), 0);
  ASSERT_EQ(pts.size(), 512u);
  EXPECT_EQ(pts[0].x, 0.0);
  EXPECT_EQ(pts[0].y, 0.0);
  for (size_t k = 1; k < pts.size(); ++k) ASSERT_DOUBLE_EQ(pts[k].y, 2.5) << k;
}

TEST(BlowPoints, RunningSumScaledToTheLargestValue) {
  TestProcess t;
  TestBlow& b = t.blows[1];
  b.impactAmplitude = 3.0f;
  b.firstSample = 0;
  b.deltas[0] = 5;
  b.deltas[1] = -10;
  const ProcessRecordBuffer r = Encode(t);
  const auto pts = BlowPoints(ProcessView(r.data()), 1);
  EXPECT_DOUBLE_EQ(pts[1].y, 0.0);
  EXPECT_DOUBLE_EQ(pts[2].y, 3.0);
  EXPECT_DOUBLE_EQ(pts[3].y, -3.0);
  EXPECT_DOUBLE_EQ(pts[511].y, -3.0);

  // No wrap-around: 127 + 127 + ... keeps growing past the range of a byte.
  b.firstSample = 127;
  b.deltas.fill(127);
  b.impactAmplitude = 1.0f;
  const ProcessRecordBuffer r2 = Encode(t);
  const auto up = BlowPoints(ProcessView(r2.data()), 1);
  EXPECT_DOUBLE_EQ(up[511].y, 1.0);
  EXPECT_DOUBLE_EQ(up[1].y, 1.0 / 511);
}

TEST(BlowPoints, CurveThatNeverRisesIsDrawnRaw) {
  TestProcess t;
  t.blows[0].firstSample = -3;
  t.blows[0].impactAmplitude = 2.0f;
  const ProcessRecordBuffer r = Encode(t);
  const auto pts = BlowPoints(ProcessView(r.data()), 0);
  EXPECT_EQ(pts[1].y, -3.0);
  EXPECT_EQ(pts[511].y, -3.0);
  t.blows[0].firstSample = 0;  // largest value 0: no division by zero either
  const ProcessRecordBuffer r0 = Encode(t);
  for (const ChartPoint& p : BlowPoints(ProcessView(r0.data()), 0)) {
    ASSERT_EQ(p.y, 0.0);
    ASSERT_FALSE(std::isnan(p.x));
  }
}

TEST(BlowPoints, TimesAccumulateInSinglePrecision) {
  TestProcess t;
  t.timeStep = 0.1f;
  t.blows[0].waveStart = 0.3f;
  t.blows[1].waveStart = 0.3f;
  t.blows[1].stepMode = 1;
  t.blows[2].stepMode = 2;  // only 1 doubles the spacing
  const ProcessRecordBuffer r = Encode(t);
  const ProcessView p(r.data());
  const auto a = BlowPoints(p, 0);
  const auto b = BlowPoints(p, 1);
  const auto c = BlowPoints(p, 2);
  float x = 0.3f, x2 = 0.3f;
  EXPECT_EQ(a[1].x, double(0.3f));
  for (size_t k = 2; k < 512; ++k) {
    x += 0.1f;
    x2 += 0.2f;
    ASSERT_EQ(a[k].x, double(x)) << k;
    ASSERT_EQ(b[k].x, double(x2)) << k;
  }
  // The single-precision sum drifts from the exact multiple, and the drift is kept.
  EXPECT_NE(a[511].x, double(0.3f) + 510 * double(0.1f));
  EXPECT_NEAR(b[511].x - 0.3, 2 * (a[511].x - 0.3), 1e-2);
  EXPECT_NEAR(c[511].x, 51.0, 1e-2);
}

TEST(BlowPoints, PointsStayInAscendingTimeWhenTheWaveStartsBeforeZero) {
  TestProcess t;
  t.timeStep = 0.125f;
  t.blows[0].waveStart = -0.25f;  // samples at -0.25, -0.125, 0, 0.125, ...
  t.blows[0].firstSample = 1;
  t.blows[0].deltas[0] = 1;
  t.blows[0].impactAmplitude = 2.0f;
  const ProcessRecordBuffer r = Encode(t);
  const auto pts = BlowPoints(ProcessView(r.data()), 0);
  ASSERT_EQ(pts.size(), 512u);
  EXPECT_EQ(pts[0].x, -0.25);
  EXPECT_EQ(pts[0].y, 1.0);
  EXPECT_EQ(pts[1].x, -0.125);
  // Each point goes after those already there with the same time: the origin, added
  // first, comes before the sample at 0.
  EXPECT_EQ(pts[2].x, 0.0);
  EXPECT_EQ(pts[2].y, 0.0);
  EXPECT_EQ(pts[3].x, 0.0);
  EXPECT_EQ(pts[3].y, 2.0);
  for (size_t k = 1; k < pts.size(); ++k) ASSERT_LE(pts[k - 1].x, pts[k].x) << k;
}

TEST(ChartCurves, GrayBlowsFirstThenTheOthers) {
  const ProcessRecordBuffer r = Encode(FiveBlows());
  const ProcessView p(r.data());
  const auto curves = ChartCurves(p, 0);
  ASSERT_EQ(curves.size(), 5u);
  const int order[] = {2, 0, 1, 3, 4};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(curves[k].blow, order[k]);
    EXPECT_EQ(curves[k].gray, k == 0);
    ASSERT_EQ(curves[k].points.size(), 512u);
    EXPECT_DOUBLE_EQ(curves[k].points[1].y, order[k] + 1.0);  // amplitude b + 1
  }
  const auto one = ChartCurves(p, 3);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].blow, 2);
  EXPECT_TRUE(one[0].gray);
  const auto fifth = ChartCurves(p, 5);
  ASSERT_EQ(fifth.size(), 1u);
  EXPECT_FALSE(fifth[0].gray);
  EXPECT_TRUE(ChartCurves(p, 6).empty());   // no such blow
  EXPECT_TRUE(ChartCurves(p, 16).empty());  // beyond the record

  TestProcess none;
  none.blowCount = 0;
  const ProcessRecordBuffer rn = Encode(none);
  EXPECT_TRUE(ChartCurves(ProcessView(rn.data()), 0).empty());
  EXPECT_TRUE(ChartCurves(ProcessView(rn.data()), 1).empty());
}

TEST(ChartCurves, TitleAndLeftAxis) {
  EXPECT_EQ(ChartTitle(0, kRussian), QStringList({QString()}));
  EXPECT_EQ(ChartTitle(3, kRussian), QStringList({u"3-й удар"_s}));
  EXPECT_EQ(ChartTitle(3, kEnglish), QStringList({u"3-st impact"_s}));

  std::vector<BlowCurve> curves(2);
  curves[0].points = {{0, 0}, {1, 2.0}, {2, -1.0}};
  curves[1].points = {{0, 0}, {1, 1.0}, {2, -3.0}};
  EXPECT_DOUBLE_EQ(LeftAxisHalfRange(curves), 3.15);
  curves[1].points = {{0, 0}, {1, 1.0}};
  EXPECT_DOUBLE_EQ(LeftAxisHalfRange(curves), 2.1);
  // The zero line keeps 0 inside the range of a curve that lies wholly above it.
  curves = {BlowCurve{0, false, {{1, 5.0}, {2, 4.0}}}};
  EXPECT_DOUBLE_EQ(LeftAxisHalfRange(curves), 5.25);
  EXPECT_EQ(LeftAxisHalfRange({}), 0.0);
}

TEST(FindWaveCut, Cases) {
  auto curve = [](int n, int negFrom, int negTo) {
    std::vector<ChartPoint> pts(size_t(n), ChartPoint{0, 1.0});
    for (int k = negFrom; k < negTo && k < n; ++k) pts[size_t(k)].y = -1.0;
    return pts;
  };
  EXPECT_EQ(FindWaveCut(curve(512, 0, 0)), 512);      // never negative
  EXPECT_EQ(FindWaveCut(curve(512, 40, 60)), 60);     // negative 40..59, keeps 0..59
  EXPECT_EQ(FindWaveCut(curve(512, 40, 42)), 45);     // at least five points after
  EXPECT_EQ(FindWaveCut(curve(512, 40, 512)), 512);   // never back to zero
  EXPECT_EQ(FindWaveCut(curve(512, 0, 5)), 512);      // negatives before point 5 are ignored
  EXPECT_EQ(FindWaveCut(curve(512, 3, 7)), 10);       // first negative at or after 5 is 5
  EXPECT_EQ(FindWaveCut(curve(4, 0, 4)), 4);
  EXPECT_EQ(FindWaveCut(curve(0, 0, 0)), 0);
  EXPECT_EQ(FindWaveCut(curve(48, 40, 42)), 45);
  EXPECT_EQ(FindWaveCut(curve(44, 40, 42)), 44);      // cut would lie past the end
  auto zero = curve(100, 40, 41);
  zero[45].y = 0.0;  // zero counts as "back"
  zero[44].y = 0.0;
  EXPECT_EQ(FindWaveCut(zero), 45);
}

// ---- Clipboard texts

TEST(TableText, TabsBetweenCellsAndCrLfAfterEveryRow) {
  EXPECT_EQ(TableText({{u"a"_s, u""_s, u"c"_s}, {u""_s}, {}}), u"a\t\tc\r\n\r\n\r\n");
  QList<QStringList> rows;
  for (int h = 0; h < 2; ++h) rows.append(AsList(SeriesTableHeading(h, kRussian, StrengthUnit::MPa)));
  for (int i = 0; i < 3; ++i) rows.append(AsList(Row(TestProcess{}, StrengthUnit::MPa)));
  const QString text = TableText(rows);
  const QStringList lines = text.split(u"\r\n"_s);
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[5], u"");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(lines[i].count(u'\t'), 8) << i;
  EXPECT_EQ(lines[0], u"№\tДата\tВремя\tПрочность\tМатериал\tОбъект\tК.вариации\tРазмах\tУдаров");
  EXPECT_EQ(lines[1], u"\tд.м.г\tч:м:с\tМПа\t\t\t%\t%\t");
  EXPECT_EQ(lines[2], u"13\t07.03.12\t14:05:09\t25\tБетон\tМост\t12,3\t12\t3");
  EXPECT_EQ(text.count(u'\n'), 5);
  EXPECT_EQ(text.count(u'\r'), 5);
}

TEST(Csv, NumbersInTheLanguagesNotationTextsQuotedWhereNeeded) {
  const std::vector<QString> cells{u"13"_s, u"07.03.12"_s, u"25,3"_s, u"Раствор \"М1\", сух"_s,
                                   u"-1,230E-03"_s, u" Мост"_s, u"12,3"_s, u"a;b"_s, u"1,5"_s, {}};
  // Columns 0, 2, 4, 6 and 9 hold numbers; column 8 ("1,5", an object's name) does not.
  const NumberColumns numbers{0, 2, 4, 6, 9};
  const struct {
    CsvDialect dialect;
    QString line;
  } cases[] = {
      {kCsvPoint, uR"(13,07.03.12,25.3,"Раствор ""М1"", сух",-1.230E-03," Мост",12.3,"a;b","1,5",)"_s},
      {kCsvComma, uR"(13;07.03.12;25,3;"Раствор ""М1"", сух";-1,230E-03;" Мост";12,3;"a;b";"1,5";)"_s},
  };
  for (const auto& c : cases) {
    QString text;
    AppendCsvRow(text, cells, c.dialect, numbers);
    EXPECT_EQ(text, c.line + u"\r\n"_s);
  }
  EXPECT_EQ(CsvDialectFor(kEnglish), kCsvPoint);
  EXPECT_EQ(CsvDialectFor(kRussian), kCsvComma);
  // What counts as a number text: the formatter's output, nothing else.
  for (const QString& yes : {u"0"_s, u"-12"_s, u"0,108"_s, u"1,230E-03"_s, u"2E+18"_s})
    EXPECT_TRUE(IsNumberText(yes)) << yes.toStdString();
  for (const QString& no : {QString(), u"-"_s, u"1,"_s, u",5"_s, u"1.5"_s, u" 1"_s, u"1E"_s, u"NAN"_s,
                            u"07.03.12"_s, u"14:05:09"_s, u"a2=1,0E+00"_s})
    EXPECT_FALSE(IsNumberText(no)) << no.toStdString();
  EXPECT_TRUE(NumberColumns::From(1).Has(63));
  EXPECT_FALSE(NumberColumns::From(1).Has(0));
  EXPECT_FALSE(NumberColumns{}.Has(0));
}

TEST(ChartDataText, AllBlowsView) {
  TestProcess t = FiveBlows();
  t.timeStep = 0.5f;
  const QString text = ChartText(t, 0, kRussian, StrengthUnit::MPa);
  const QStringList lines = text.split(u"\r\n"_s);
  ASSERT_EQ(lines.size(), 6 + 512 + 1);
  EXPECT_EQ(lines[0], u"№\tДата\tВремя\tПрочность\tМатериал\tОбъект");
  EXPECT_EQ(lines[1], u"13\t07.03.12\t14:05:09\t25\tБетон\tМост");
  EXPECT_EQ(lines[2],
            u"Коэффициенты материала: a2=1,230E-03, a1=1,090E+00, a0=-8,100E-01, Kf=1,000E+00");
  EXPECT_EQ(lines[3], u"");
  EXPECT_EQ(lines[4], u"1-й удар\t\t2-й удар\t\t3-й удар\t\t4-й удар\t\t5-й удар");
  EXPECT_EQ(lines[5], u"t1\tU1\tt2\tU2\tt3\tU3\tt4\tU4\tt5\tU5");
  EXPECT_EQ(lines[6], u"0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00");
  // Series order: the gray blow 2 (amplitude 3) first, then blows 0, 1, 3, 4.
  EXPECT_EQ(lines[7], u"0,00\t3,00\t0,00\t1,00\t0,00\t2,00\t0,00\t4,00\t0,00\t5,00");
  EXPECT_EQ(lines[8], u"0,50\t3,00\t0,50\t1,00\t0,50\t2,00\t0,50\t4,00\t0,50\t5,00");
  EXPECT_EQ(lines[517].split(u'\t').size(), 10);
  EXPECT_TRUE(lines[517].startsWith(u"255,00\t3,00"));
  EXPECT_EQ(lines[518], u"");
  EXPECT_TRUE(text.endsWith(u"\r\n"));

  const QString kgf = ChartText(t, 0, kEnglish, StrengthUnit::Kgf);
  EXPECT_TRUE(kgf.startsWith(
      u"№\tDate\tTime\tStrength\tMaterial\tObject\r\n13\t07.03.12\t14:05:09\t255\tБетон\tМост\r\n"
      "Material coefficients: a2=1,230E-03, a1=1,090E+00, a0=-8,100E-01, Kf=1,000E+00\r\n\r\n"
      "1-st impact\t\t2-st impact\t\t3-st impact\t\t4-st impact\t\t5-st impact\r\n"
      "t1\tU1\tt2\tU2\tt3\tU3\tt4\tU4\tt5\tU5\r\n"));
}

TEST(ChartDataText, OneBlowViewHasItsTitleAndAnEmptyLine) {
  const TestProcess t = FiveBlows();
  const QString text = ChartText(t, 2, kRussian, StrengthUnit::MPa);
  const QStringList lines = text.split(u"\r\n"_s);
  ASSERT_EQ(lines.size(), 7 + 512 + 1);
  EXPECT_EQ(lines[4], u"2-й удар");
  EXPECT_EQ(lines[5], u"");
  EXPECT_EQ(lines[6], u"t1\tU1");
  EXPECT_EQ(lines[7], u"0,00\t0,00");
  EXPECT_EQ(lines[8], u"0,00\t2,00");
  EXPECT_EQ(ChartText(t, 1, kEnglish, StrengthUnit::MPa).split(u"\r\n"_s)[4], u"1-st impact");
}

TEST(ChartDataText, TrimmedSeriesGiveEmptyFieldsAndEmptyChartGivesNothing) {
  const ProcessRecordBuffer r = Encode(FiveBlows());
  const ProcessView p(r.data());
  auto series = SeriesOf(ChartCurves(p, 0));
  series[1].resize(3);
  series[4].resize(2);
  series.resize(15);  // Series6..Series15 empty
  SeriesRow heading = SeriesTableHeading(0, kRussian, StrengthUnit::MPa);
  SeriesRow row;
  FillSeriesRow(p, StrengthUnit::MPa, row);
  const auto coef = CoefficientRow(p, kRussian);
  const QString text = ChartDataText(heading, row, coef, ChartTitle(0, kRussian), series, kRussian);
  const QStringList lines = text.split(u"\r\n"_s);
  ASSERT_EQ(lines.size(), 6 + 512 + 1);
  EXPECT_EQ(lines[8], u"0,50\t3,00\t0,50\t1,00\t0,50\t2,00\t0,50\t4,00\t\t");
  EXPECT_EQ(lines[9], u"1,00\t3,00\t\t\t1,00\t2,00\t1,00\t4,00\t\t");

  // Series1 shorter than the others: the lines run over Series1's points only.
  series[0].resize(4);
  EXPECT_EQ(ChartDataText(heading, row, coef, ChartTitle(0, kRussian), series, kRussian)
                .count(u"\r\n"_s),
            6 + 4);

  // An empty Series2 ends the list even when later series hold points.
  series[0] = series[2];
  series[1].clear();
  const QString first = ChartDataText(heading, row, coef, ChartTitle(0, kRussian), series, kRussian);
  EXPECT_EQ(first.split(u"\r\n"_s)[5], u"t1\tU1");

  series[0].clear();
  EXPECT_TRUE(ChartDataText(heading, row, coef, ChartTitle(0, kRussian), series, kRussian).isEmpty());
  EXPECT_TRUE(ChartDataText(heading, row, coef, ChartTitle(0, kRussian), {}, kRussian).isEmpty());
}
