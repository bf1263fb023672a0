#pragma once
// Chart1: the waveforms of the blows of the process shown in table 2 (Qt Charts).
// Series1..Series15 hold one blow each, Series16 the zero line.
//
// The program sets the ranges itself: the bottom axis follows the data (from the
// smallest to the largest x of all series), the left axis is symmetric about zero with
// 5 % headroom, set after every draw. The user zooms by dragging a rectangle, undoes
// the zoom with a click, trims every curve to its first negative swing with a
// double-click and opens the chart's menu with a right click.

#include <QChartView>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>
#include <vector>

#include "data/presenters.h"

QT_BEGIN_NAMESPACE
class QLineSeries;
class QMenu;
class QRubberBand;
class QCategoryAxis;
class QValueAxis;
QT_END_NAMESPACE

namespace zarn {

class TChart : public QChartView {
  Q_OBJECT

 public:
  static constexpr int kBlowSeries = 15;  // Series1..Series15
  static constexpr QRgb kRed = kChartBlowRgb;
  static constexpr QRgb kGray = kChartMaskedRgb;  // blows whose blowMask bit is clear
  static constexpr QRgb kBlack = kChartZeroRgb;

  explicit TChart(QWidget* parent = nullptr);
  ~TChart() override;

  // Removes all points of Series1..Series15.
  void ClearBlowSeries();
  // Draws the view `a` of `process` (0 = all blows, gray ones first; a >= 1 = blow a
  // alone), sets the title in `language`, the zero line and the symmetric left axis.
  void DrawProcessChart(const ProcessView& process, uint16_t a, int language);
  // Resets Series16 to the zero line from x = 0 to the largest x of the chart.
  void DrawZeroLine();
  // Where the double-click trimming cuts Series(index + 1), index 0..14.
  int FindWaveCut(int index) const;

  // What the chart holds now (after any zoom or trimming), for the chart-data copy.
  QStringList TitleLines() const;
  std::vector<std::vector<ChartPoint>> SeriesPoints() const;  // Series1..Series15
  // The chart drawn on white at its current size (in device pixels on a HiDPI screen).
  QImage ToImage();

  // The menu a right click opens (PopupMenuChart); the chart does not own it.
  void setPopupMenu(QMenu* menu);
  QMenu* popupMenu() const;
  // Zooming is animated unless switched off (tests and screenshots switch it off).
  void setZoomAnimated(bool on);

  // The mouse events as the window sees them; also reachable from tests.
  void Chart1Click();     // undoes any zoom: back to the ranges the program set
  void Chart1DblClick();  // trims every blow curve at FindWaveCut
  void Chart1MouseDown(Qt::MouseButton button, QPoint position);
  void Chart1MouseUp(Qt::MouseButton button, QPoint position);
  // Escape: back from a zoom to the ranges the program set (nothing when not zoomed).
  bool LeaveZoom();
  bool IsZoomed() const;
  // Zooms into `rect`, given in the chart view's coordinates (what a drag selects).
  void ZoomTo(const QRect& rect);
  // Where a right click at `position` opens the menu, in screen coordinates.
  QPoint PopupPosition(QPoint position) const;

  // Series(1)..Series(16), for the window's tests and the benchmark.
  QLineSeries* Series(int number) const;
  QValueAxis* BottomAxis() const;
  QValueAxis* LeftAxis() const;

 signals:
  // The pointer position of a mouse press, in the chart's coordinates (LastMouseDown).
  void MousePressed(QPoint position);
  // A key pressed while the chart has the keyboard focus.
  void KeyDown(int key, Qt::KeyboardModifiers shift);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct XSpan;
  void SetBottomRangeFromData();
  void SetBottomRange(const XSpan& span);
  void ApplyProgramRanges();
  void EndZoom();
  void SetAnimated(bool on);
  void UpdateTicks();
  void SetTicksFor(double x0, double x1, double y0, double y1);
  void SetTicks(QCategoryAxis* axis, std::vector<double>& shown, double lo, double hi,
                double interval);
  void ShowTitle();

  QChart* chart_ = nullptr;  // owned by the view
  std::array<QLineSeries*, kBlowSeries + 1> series_{};
  QCategoryAxis* axisX_ = nullptr;
  QCategoryAxis* axisY_ = nullptr;
  std::vector<double> ticksX_, ticksY_;  // the tick values the axes show
  QStringList title_;
  // The ranges the program set last; a click returns to them.
  double xMin_ = 0, xMax_ = 1, yHalf_ = 1;
  bool zoomAnimated_ = true;
  static constexpr int kZoomMilliseconds = 250;
  QTimer animationOff_;

  QPointer<QMenu> popup_;
  QRubberBand* band_ = nullptr;  // child of the viewport
  QPoint pressAt_;               // LastMouseDown of the chart
  bool leftDown_ = false;
  bool dragging_ = false;
};

}  // namespace zarn
