// Chart1 on its own: what the series hold, the axes, the title, the mouse.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCategoryAxis>
#include <QFontMetrics>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QRubberBand>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>
#include <cmath>
#include <limits>
#include <memory>

#include "chart_testdata.h"
#include "common/texts.h"
#include "shell/chart1.h"

namespace zarn {
namespace {

using test::TestProcess;

class ChartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chart_ = std::make_unique<TChart>();
    chart_->setZoomAnimated(false);
    chart_->resize(640, 400);
    chart_->move(20, 30);
    chart_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chart_.get()));
  }

  void Draw(const TestProcess& process, uint16_t a, int language = kRussian) {
    record_ = test::Encode(process);
    chart_->DrawProcessChart(ProcessView(record_.data()), a, language);
  }
  ProcessView View() const { return ProcessView(record_.data()); }
  QWidget* Surface() const { return chart_->viewport(); }

  // Mouse events as the window system delivers them, buttons held during moves.
  void Press(Qt::MouseButton button, QPoint at) { QTest::mousePress(Surface(), button, {}, at); }
  void Release(Qt::MouseButton button, QPoint at) {
    QTest::mouseRelease(Surface(), button, {}, at);
  }
  void MoveHolding(Qt::MouseButton button, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), Surface()->mapToGlobal(QPointF(at)),
                     Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(Surface(), &move);
  }
  void Drag(QPoint from, QPoint to) {
    Press(Qt::LeftButton, from);
    MoveHolding(Qt::LeftButton, (from + to) / 2);
    MoveHolding(Qt::LeftButton, to);
    Release(Qt::LeftButton, to);
  }

  std::unique_ptr<TChart> chart_;
  ProcessRecordBuffer record_{};
};

void ExpectSeriesHolds(const QLineSeries* series, const std::vector<ChartPoint>& expected) {
  ASSERT_EQ(series->count(), qsizetype(expected.size())) << series->name().toStdString();
  const QList<QPointF> points = series->points();
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(points[qsizetype(i)].x(), expected[i].x) << "point " << i;
    ASSERT_EQ(points[qsizetype(i)].y(), expected[i].y) << "point " << i;
  }
}

double LastX(const QLineSeries* series) { return series->points().constLast().x(); }

TEST_F(ChartTest, StartsEmptyWithSixteenNamedSeriesAndNoLegend) {
  EXPECT_EQ(chart_->objectName(), u"Chart1");
  EXPECT_FALSE(chart_->chart()->legend()->isVisible());
  EXPECT_TRUE(chart_->chart()->title().isEmpty());
  EXPECT_TRUE(chart_->TitleLines().isEmpty());
  EXPECT_EQ(chart_->chart()->series().size(), 16);
  EXPECT_EQ(chart_->chart()->axes().size(), 2);  // bottom and left only
  for (int n = 1; n <= 16; ++n) {
    const QLineSeries* s = chart_->Series(n);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->objectName(), QStringLiteral("Series%1").arg(n));
    EXPECT_EQ(s->name(), n == 16 ? QStringLiteral("Ось X") : QString::number(n));
    EXPECT_FALSE(s->pointsVisible());
    EXPECT_FALSE(s->pointLabelsVisible());
    EXPECT_EQ(s->count(), 0);
    EXPECT_EQ(s->color().rgb() & 0xFFFFFF, n == 16 ? TChart::kBlack : TChart::kRed);
  }
  EXPECT_EQ(chart_->Series(0), nullptr);
  EXPECT_EQ(chart_->Series(17), nullptr);
  EXPECT_EQ(chart_->viewport()->cursor().shape(), Qt::CrossCursor);
  // Margins 0 but at the right half a time label ("00,00"), at the top of the untitled
  // chart half a label's height: a label on the last tick is not cut.
  const QMargins m = chart_->chart()->margins();
  EXPECT_EQ(QMargins(m.left(), 0, 0, m.bottom()), QMargins());
  const QFontMetrics metrics(chart_->BottomAxis()->labelsFont());
  EXPECT_EQ(m.right(), std::max(2, (metrics.horizontalAdvance(QStringLiteral("00,00")) + 1) / 2 + 1));
  EXPECT_EQ(m.top(), (metrics.height() + 1) / 2);
}

TEST_F(ChartTest, GrayBlowsTakeTheLowerSeriesAndTheRestAreRed) {
  TestProcess p = test::DistinctBlows(5);
  p.blowMask = 0x1B;  // blows 0, 1, 3, 4 set; blow 2 clear
  Draw(p, 0);
  const int order[] = {2, 0, 1, 3, 4};
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    const QLineSeries* s = chart_->Series(k + 1);
    ExpectSeriesHolds(s, BlowPoints(View(), order[k]));
    EXPECT_EQ(s->color().rgb() & 0xFFFFFF, k == 0 ? TChart::kGray : TChart::kRed);
  }
  for (int n = 6; n <= 15; ++n) EXPECT_EQ(chart_->Series(n)->count(), 0) << n;
  EXPECT_EQ(chart_->Series(1)->count(), 512);

  // The zero line runs from the origin to the largest x of all curves.
  const QLineSeries* zero = chart_->Series(16);
  ASSERT_EQ(zero->count(), 2);
  EXPECT_EQ(zero->at(0), QPointF(0, 0));
  double maxX = 0;
  for (int n = 1; n <= 5; ++n) maxX = std::max(maxX, LastX(chart_->Series(n)));
  EXPECT_EQ(zero->at(1), QPointF(maxX, 0));

  // A gray series turns red again when a later process draws a normal blow there.
  p.blowMask = 0x7FFF;
  Draw(p, 0);
  EXPECT_EQ(chart_->Series(1)->color().rgb() & 0xFFFFFF, TChart::kRed);
  ExpectSeriesHolds(chart_->Series(1), BlowPoints(View(), 0));
}

TEST_F(ChartTest, FewerBlowsLeaveNoStaleCurvesBehind) {
  Draw(test::DistinctBlows(7), 0);
  EXPECT_EQ(chart_->Series(7)->count(), 512);
  Draw(test::DistinctBlows(3), 0);
  for (int n = 4; n <= 15; ++n) EXPECT_EQ(chart_->Series(n)->count(), 0) << n;
  Draw(test::DistinctBlows(3), 2);  // one blow alone
  ExpectSeriesHolds(chart_->Series(1), BlowPoints(View(), 1));
  for (int n = 2; n <= 15; ++n) EXPECT_EQ(chart_->Series(n)->count(), 0) << n;
  chart_->ClearBlowSeries();
  for (int n = 1; n <= 15; ++n) EXPECT_EQ(chart_->Series(n)->count(), 0) << n;
}

TEST_F(ChartTest, DoubleStepBlowSpansTwiceTheTime) {
  TestProcess p = test::DistinctBlows(3);
  p.timeStep = 0.5f;
  p.blows[1].stepMode = 1;
  Draw(p, 0);
  const double single = LastX(chart_->Series(1)) - chart_->Series(1)->at(1).x();
  const double doubled = LastX(chart_->Series(2)) - chart_->Series(2)->at(1).x();
  EXPECT_DOUBLE_EQ(single, 510 * 0.5);
  EXPECT_DOUBLE_EQ(doubled, 2 * single);
  // The bottom axis follows the data: from the origin to the longest curve.
  EXPECT_DOUBLE_EQ(chart_->BottomAxis()->min(), 0.0);
  EXPECT_DOUBLE_EQ(chart_->BottomAxis()->max(), LastX(chart_->Series(2)));
}

TEST_F(ChartTest, LeftAxisIsSymmetricWithHeadroom) {
  // Running values 2, -3, -3, ...: scaled by 2.0 / 2 the curve spans -3 V .. 2 V.
  TestProcess p = test::DistinctBlows(1);
  p.blows[0].impactAmplitude = 2.0f;
  p.blows[0].firstSample = 2;
  p.blows[0].deltas.fill(0);
  p.blows[0].deltas[0] = -5;
  Draw(p, 0);
  EXPECT_NEAR(chart_->LeftAxis()->min(), -3.15, 1e-12);
  EXPECT_NEAR(chart_->LeftAxis()->max(), 3.15, 1e-12);
  // Labels on round values with the decimal comma; the zero tick reads 0, never -0.
  auto* left = qobject_cast<QCategoryAxis*>(chart_->LeftAxis());
  ASSERT_NE(left, nullptr);
  const QStringList labels = left->categoriesLabels();
  EXPECT_TRUE(labels.contains(QStringLiteral("0,0")) || labels.contains(QStringLiteral("0")))
      << labels.join(u' ').toStdString();
  EXPECT_TRUE(labels.contains(QStringLiteral("-1,0")) || labels.contains(QStringLiteral("-1")))
      << labels.join(u' ').toStdString();
  for (const QString& label : labels) {
    EXPECT_FALSE(QRegularExpression(QStringLiteral("^-0(,0+)?$")).match(label).hasMatch())
        << label.toStdString();
    EXPECT_FALSE(label.contains(u'.')) << label.toStdString();
  }

  // A flat zero curve and an empty process still get a usable, finite axis.
  TestProcess flat = test::DistinctBlows(1);
  flat.blows[0].firstSample = 0;
  flat.blows[0].deltas.fill(0);
  Draw(flat, 0);
  EXPECT_GT(chart_->LeftAxis()->max(), 0.0);
  EXPECT_EQ(chart_->LeftAxis()->min(), -chart_->LeftAxis()->max());
  TestProcess none = test::DistinctBlows(0);
  Draw(none, 0);
  EXPECT_GT(chart_->LeftAxis()->max(), 0.0);
  EXPECT_GT(chart_->BottomAxis()->max(), chart_->BottomAxis()->min());
}

TEST_F(ChartTest, UnusableNumbersInARecordKeepTheAxesFinite) {
  TestProcess p = test::DistinctBlows(2);
  p.blows[0].impactAmplitude = std::numeric_limits<float>::quiet_NaN();
  p.blows[1].impactAmplitude = std::numeric_limits<float>::infinity();
  p.timeStep = std::numeric_limits<float>::infinity();
  Draw(p, 0);
  for (const QValueAxis* axis : {chart_->BottomAxis(), chart_->LeftAxis()}) {
    EXPECT_TRUE(std::isfinite(axis->min()));
    EXPECT_TRUE(std::isfinite(axis->max()));
    EXPECT_LT(axis->min(), axis->max());
  }
  EXPECT_FALSE(chart_->ToImage().isNull());
  chart_->Chart1DblClick();  // trimming NaN curves must not misbehave either
  EXPECT_TRUE(std::isfinite(chart_->Series(16)->at(1).x()));
}

TEST_F(ChartTest, TitleNamesTheShownBlow) {
  Draw(test::DistinctBlows(5), 3, kRussian);
  EXPECT_EQ(chart_->TitleLines(), QStringList{QStringLiteral("3-й удар")});
  EXPECT_EQ(chart_->chart()->title(), u"3-й удар");
  Draw(test::DistinctBlows(5), 3, kEnglish);
  EXPECT_EQ(chart_->TitleLines(), QStringList{QStringLiteral("3-st impact")});
  // The label column shows all blows again, under one empty title line.
  Draw(test::DistinctBlows(5), 0, kEnglish);
  EXPECT_EQ(chart_->TitleLines(), QStringList{QString()});
  EXPECT_TRUE(chart_->chart()->title().trimmed().isEmpty());
}

TEST_F(ChartTest, DoubleClickTrimsEachCurveAtItsFirstNegativeSwing) {
  TestProcess p = test::DistinctBlows(3);
  test::NegativeSwing(p.blows[0], 40, 60);  // negative at points 40..59
  test::NegativeSwing(p.blows[1], 40, 42);  // negative at points 40..41 only
  test::Positive(p.blows[2]);
  Draw(p, 0);
  const double yMin = chart_->LeftAxis()->min();
  const double yMax = chart_->LeftAxis()->max();
  EXPECT_EQ(chart_->FindWaveCut(0), 60);
  EXPECT_EQ(chart_->FindWaveCut(1), 45);
  EXPECT_EQ(chart_->FindWaveCut(2), 512);

  QTest::mouseDClick(Surface(), Qt::LeftButton, {}, QPoint(200, 150));
  const std::vector<ChartPoint> full0 = BlowPoints(View(), 0);
  const std::vector<ChartPoint> full1 = BlowPoints(View(), 1);
  ExpectSeriesHolds(chart_->Series(1), {full0.begin(), full0.begin() + 60});
  ExpectSeriesHolds(chart_->Series(2), {full1.begin(), full1.begin() + 45});
  ExpectSeriesHolds(chart_->Series(3), BlowPoints(View(), 2));
  // The left axis keeps its range, the bottom axis and the zero line follow the curves.
  EXPECT_EQ(chart_->LeftAxis()->min(), yMin);
  EXPECT_EQ(chart_->LeftAxis()->max(), yMax);
  EXPECT_EQ(chart_->Series(16)->at(1).x(), LastX(chart_->Series(3)));
  EXPECT_EQ(chart_->BottomAxis()->max(), LastX(chart_->Series(3)));
  EXPECT_FALSE(chart_->chart()->isZoomed());

  // What the series hold now is what the chart-data copy reads.
  const auto now = chart_->SeriesPoints();
  ASSERT_EQ(now.size(), 15u);
  EXPECT_EQ(now[0].size(), 60u);
  EXPECT_EQ(now[1].size(), 45u);
  EXPECT_EQ(now[2].size(), 512u);
  EXPECT_TRUE(now[3].empty());

  // Trimming again changes nothing: the cut curves no longer hold a negative swing
  // that ends within them.
  chart_->Chart1DblClick();
  EXPECT_EQ(chart_->Series(1)->count(), 60);
  EXPECT_EQ(chart_->Series(2)->count(), 45);
}

TEST_F(ChartTest, TrimmingStopsAtTheFirstSeriesWithoutABlow) {
  Draw(test::DistinctBlows(0), 0);
  chart_->Chart1DblClick();
  for (int n = 1; n <= 15; ++n) EXPECT_EQ(chart_->Series(n)->count(), 0);
  ASSERT_EQ(chart_->Series(16)->count(), 2);
  EXPECT_EQ(chart_->Series(16)->at(1), QPointF(0, 0));

  // A fresh chart that never drew anything behaves the same.
  TChart fresh;
  fresh.Chart1DblClick();
  EXPECT_EQ(fresh.Series(16)->count(), 2);
  EXPECT_EQ(fresh.Series(1)->count(), 0);
}

TEST_F(ChartTest, DragZoomsClickUndoesAndRedrawEndsTheZoom) {
  Draw(test::DistinctBlows(4), 0);
  const double x0 = chart_->BottomAxis()->min(), x1 = chart_->BottomAxis()->max();
  const double y0 = chart_->LeftAxis()->min(), y1 = chart_->LeftAxis()->max();
  const QRectF plot = chart_->chart()->plotArea();
  const QPoint a = plot.topLeft().toPoint() + QPoint(40, 30);
  const QPoint b = plot.center().toPoint();

  // A click alone never zooms, not even when the hand shakes by a pixel.
  Press(Qt::LeftButton, a);
  MoveHolding(Qt::LeftButton, a + QPoint(1, 0));
  Release(Qt::LeftButton, a + QPoint(1, 0));
  EXPECT_FALSE(chart_->chart()->isZoomed());
  EXPECT_EQ(chart_->BottomAxis()->min(), x0);

  Drag(a, b);
  EXPECT_TRUE(chart_->chart()->isZoomed());
  EXPECT_GT(chart_->BottomAxis()->min(), x0);
  EXPECT_LT(chart_->BottomAxis()->max(), x1);
  EXPECT_LT(chart_->LeftAxis()->max(), y1);

  QTest::mouseClick(Surface(), Qt::LeftButton, {}, b);
  EXPECT_FALSE(chart_->chart()->isZoomed());
  EXPECT_EQ(chart_->BottomAxis()->min(), x0);
  EXPECT_EQ(chart_->BottomAxis()->max(), x1);
  EXPECT_EQ(chart_->LeftAxis()->min(), y0);
  EXPECT_EQ(chart_->LeftAxis()->max(), y1);

  // A drag backwards zooms the same rectangle.
  Drag(b, a);
  EXPECT_TRUE(chart_->chart()->isZoomed());
  // A new draw ends the zoom and sets the ranges of the new data.
  Draw(test::DistinctBlows(2), 0);
  EXPECT_FALSE(chart_->chart()->isZoomed());
  EXPECT_EQ(chart_->BottomAxis()->max(), chart_->Series(16)->at(1).x());

  // A double-click after a zoom leaves no zoom behind: the left axis is back at the
  // range of the draw.
  const double drawn = chart_->LeftAxis()->max();
  Drag(a, b);
  ASSERT_TRUE(chart_->chart()->isZoomed());
  QTest::mouseDClick(Surface(), Qt::LeftButton, {}, b);
  EXPECT_FALSE(chart_->chart()->isZoomed());
  EXPECT_EQ(chart_->LeftAxis()->max(), drawn);
  EXPECT_FALSE(chart_->findChild<QRubberBand*>()->isVisible());
}

TEST_F(ChartTest, AnimatedZoomEndsAtTheSameRangesAndStopsAnimating) {
  chart_->setZoomAnimated(true);
  Draw(test::DistinctBlows(3), 0);
  EXPECT_EQ(chart_->chart()->animationOptions(), QChart::NoAnimation);  // data is never animated
  const double x1 = chart_->BottomAxis()->max();
  const QRectF plot = chart_->chart()->plotArea();
  Drag(plot.topLeft().toPoint() + QPoint(30, 30), plot.center().toPoint());
  EXPECT_NE(chart_->chart()->animationOptions(), QChart::NoAnimation);
  EXPECT_LT(chart_->BottomAxis()->max(), x1);  // the ranges change at once, the picture follows
  EXPECT_TRUE(QTest::qWaitFor([&] { return chart_->chart()->animationOptions() == QChart::NoAnimation; }, 5000));
  QTest::mouseClick(Surface(), Qt::LeftButton, {}, plot.center().toPoint());
  EXPECT_EQ(chart_->BottomAxis()->max(), x1);
  // A redraw during the animation switches it off at once.
  Draw(test::DistinctBlows(2), 0);
  EXPECT_EQ(chart_->chart()->animationOptions(), QChart::NoAnimation);
}

TEST_F(ChartTest, RightClickOnTheSameSpotOpensThePopup) {
  QMenu menu;
  menu.addAction(QStringLiteral("Copy"));
  chart_->setPopupMenu(&menu);
  QSignalSpy pressed(chart_.get(), &TChart::MousePressed);

  const QPoint at(50, 40);
  Press(Qt::RightButton, at);
  ASSERT_EQ(pressed.size(), 1);
  EXPECT_EQ(pressed[0][0].toPoint(), at);
  Release(Qt::RightButton, at + QPoint(4, 0));
  EXPECT_FALSE(menu.isVisible());  // moved between press and release

  Press(Qt::RightButton, at);
  Release(Qt::RightButton, at);
  ASSERT_TRUE(menu.isVisible());
  EXPECT_EQ(menu.pos(), Surface()->mapToGlobal(at) + QPoint(3, 3));
  EXPECT_EQ(chart_->PopupPosition(at), Surface()->mapToGlobal(at) + QPoint(3, 3));
  menu.hide();

  // A left click records the press as well but opens nothing, and a right click
  // neither zooms out nor counts as a click.
  Draw(test::DistinctBlows(2), 0);
  QTest::mouseClick(Surface(), Qt::LeftButton, {}, at);
  EXPECT_EQ(pressed.size(), 3);
  EXPECT_EQ(pressed.last()[0].toPoint(), at);
  EXPECT_FALSE(menu.isVisible());

  // Without a menu a right click does nothing.
  chart_->setPopupMenu(nullptr);
  Press(Qt::RightButton, at);
  Release(Qt::RightButton, at);
}

TEST_F(ChartTest, PictureIsTheChartOnWhiteAtItsSize) {
  Draw(test::DistinctBlows(3), 0);
  const QImage image = chart_->ToImage();
  if (qEnvironmentVariableIsSet("CHART_SAVE")) image.save(qEnvironmentVariable("CHART_SAVE"));
  EXPECT_EQ(image.deviceIndependentSize().toSize(), chart_->size());
  EXPECT_FALSE(image.hasAlphaChannel());
  EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  int red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++red;
    }
  EXPECT_GT(red, 200);  // the curves
  // The zero line crosses the middle of the plot: a dark pixel within a pixel of y = 0
  // wherever no curve covers it.
  const QPointF zero = chart_->chart()->mapToPosition(QPointF(0, 0), chart_->Series(16));
  const int row = int(std::lround(chart_->mapFromScene(chart_->chart()->mapToScene(zero)).y()));
  int dark = 0;
  for (int x = 0; x < image.width(); ++x)
    for (int y = std::max(0, row - 1); y <= std::min(image.height() - 1, row + 1); ++y) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() < 160 && c.green() < 160 && c.blue() < 160) {
        ++dark;
        break;
      }
    }
  EXPECT_GT(dark, image.width() / 2);
}

}  // namespace
}  // namespace zarn

// The application lives in main, so that it is gone before the program's static objects
// are (an application object that outlives them crashes at exit).
int main(int argc, char** argv) {
  // Offscreen unless the caller chose a platform.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
