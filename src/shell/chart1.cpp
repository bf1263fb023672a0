#include "chart1.h"

#include <QApplication>
#include <QCategoryAxis>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "data/chartticks.h"

namespace zarn {

namespace {

QList<QPointF> ToQt(const std::vector<ChartPoint>& points) {
  QList<QPointF> out;
  out.reserve(qsizetype(points.size()));
  for (const ChartPoint& p : points) out.append(QPointF(p.x, p.y));
  return out;
}

}  // namespace

// The smallest and largest finite x seen.
struct TChart::XSpan {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  void Add(double x) {
    if (!std::isfinite(x)) return;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  }
  bool Empty() const { return !(lo <= hi); }
};

TChart::TChart(QWidget* parent) : QChartView(new QChart, parent), chart_(chart()) {
  setObjectName(QStringLiteral("Chart1"));
  setFrameShape(QFrame::NoFrame);
  setRenderHint(QPainter::Antialiasing);
  // Our own rubber band: the view's built-in one would zoom on a mere click and zoom
  // out on every right click.
  setRubberBand(QChartView::NoRubberBand);
  viewport()->setCursor(Qt::CrossCursor);
  // Tab reaches the chart (Ctrl+C then copies it); files dropped on it go to the window.
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(false);
  band_ = new QRubberBand(QRubberBand::Rectangle, viewport());

  chart_->legend()->hide();
  chart_->setBackgroundRoundness(0);
  chart_->setBackgroundBrush(Qt::white);
  chart_->setMargins(QMargins(0, 0, 2, 0));
  chart_->layout()->setContentsMargins(0, 0, 0, 0);
  chart_->setAnimationOptions(QChart::NoAnimation);
  chart_->setAnimationDuration(kZoomMilliseconds);
  animationOff_.setSingleShot(true);
  animationOff_.setInterval(kZoomMilliseconds + 100);
  connect(&animationOff_, &QTimer::timeout, this, [this] { SetAnimated(false); });
  // Axis labels with the decimal comma, like every number the program shows.
  QLocale numbers(QLocale::Russian, QLocale::Russia);
  numbers.setNumberOptions(QLocale::OmitGroupSeparator);
  chart_->setLocale(numbers);
  chart_->setLocalizeNumbers(true);

  // Category axes with a label on every tick value: the labels are ours, so a tick at
  // zero reads 0 and never -0,0, which rounding of summed intervals would give.
  axisX_ = new QCategoryAxis(chart_);
  axisY_ = new QCategoryAxis(chart_);
  for (QCategoryAxis* axis : {axisX_, axisY_}) {
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setMinorTickCount(0);
  }
  axisX_->setObjectName(QStringLiteral("BottomAxis"));
  axisY_->setObjectName(QStringLiteral("LeftAxis"));
  chart_->addAxis(axisX_, Qt::AlignBottom);
  chart_->addAxis(axisY_, Qt::AlignLeft);

  for (int i = 0; i <= kBlowSeries; ++i) {
    auto* series = new QLineSeries(chart_);
    const bool zeroLine = i == kBlowSeries;
    series->setObjectName(QStringLiteral("Series%1").arg(i + 1));
    series->setName(zeroLine ? QStringLiteral("Ось X") : QString::number(i + 1));
    series->setPointsVisible(false);
    series->setPointLabelsVisible(false);
    QPen pen(QColor(zeroLine ? kBlack : kRed));
    pen.setWidthF(1.0);
    series->setPen(pen);
    chart_->addSeries(series);
    series->attachAxis(axisX_);
    series->attachAxis(axisY_);
    series_[size_t(i)] = series;
  }

  connect(axisX_, &QValueAxis::rangeChanged, this, &TChart::UpdateTicks);
  connect(axisY_, &QValueAxis::rangeChanged, this, &TChart::UpdateTicks);
  // Queued: new labels change the axes' room, and the chart lays itself out again
  // only for changes made outside its layout.
  connect(chart_, &QChart::plotAreaChanged, this, &TChart::UpdateTicks, Qt::QueuedConnection);
  ApplyProgramRanges();
  UpdateTicks();
}

TChart::~TChart() = default;

QLineSeries* TChart::Series(int number) const {
  return number >= 1 && number <= kBlowSeries + 1 ? series_[size_t(number - 1)] : nullptr;
}

QValueAxis* TChart::BottomAxis() const { return axisX_; }
QValueAxis* TChart::LeftAxis() const { return axisY_; }

void TChart::setPopupMenu(QMenu* menu) { popup_ = menu; }
QMenu* TChart::popupMenu() const { return popup_; }
void TChart::setZoomAnimated(bool on) { zoomAnimated_ = on; }

void TChart::SetAnimated(bool on) {
  const auto options = on ? QChart::AnimationOptions(QChart::SeriesAnimations |
                                                     QChart::GridAxisAnimations)
                          : QChart::AnimationOptions(QChart::NoAnimation);
  if (chart_->animationOptions() != options) chart_->setAnimationOptions(options);
  // Only the zoom itself moves: once it has run, resizing and new data are immediate.
  if (on)
    animationOff_.start();
  else
    animationOff_.stop();
}

void TChart::ClearBlowSeries() {
  for (int i = 0; i < kBlowSeries; ++i)
    if (series_[size_t(i)]->count() != 0) series_[size_t(i)]->clear();
}

void TChart::DrawProcessChart(const ProcessView& process, uint16_t a, int language) {
  // A redraw ends any zoom; only the zoom itself is animated, never new data.
  EndZoom();
  title_ = ChartTitle(a, language);
  ShowTitle();

  const std::vector<BlowCurve> curves = ChartCurves(process, a);
  // The old curves go first, so that the new ranges meet empty series, and every new
  // curve is laid out once, under its final ranges (laying out a curve of 512 points
  // is most of the cost of a redraw).
  ClearBlowSeries();
  XSpan span;
  for (const BlowCurve& curve : curves)
    for (const ChartPoint& p : curve.points) span.Add(p.x);
  const double zeroEnd = span.Empty() ? 0.0 : span.hi;
  series_[kBlowSeries]->replace(QList<QPointF>{QPointF(0, 0), QPointF(zeroEnd, 0)});
  span.Add(0.0);
  SetBottomRange(span);
  const double m = LeftAxisHalfRange(curves);
  // All-zero or unusable values would give an empty or undefined axis.
  yHalf_ = std::isfinite(m) && m > 0 ? m : 1.0;
  ApplyProgramRanges();

  for (size_t i = 0; i < curves.size() && i < size_t(kBlowSeries); ++i) {
    QLineSeries* series = series_[i];
    // One colour per series: every point of a blow has the same colour.
    const QColor colour(curves[i].gray ? kGray : kRed);
    if (series->color() != colour) series->setColor(colour);
    series->replace(ToQt(curves[i].points));
  }
}

void TChart::DrawZeroLine() {
  double maxX = -std::numeric_limits<double>::infinity();
  for (int i = 0; i < kBlowSeries; ++i)
    for (const QPointF& p : series_[size_t(i)]->points())
      if (std::isfinite(p.x())) maxX = std::max(maxX, p.x());
  if (!std::isfinite(maxX)) maxX = 0;
  series_[kBlowSeries]->replace(QList<QPointF>{QPointF(0, 0), QPointF(maxX, 0)});
}

int TChart::FindWaveCut(int index) const {
  if (index < 0 || index >= kBlowSeries) return 0;
  const QList<QPointF> points = series_[size_t(index)]->points();
  std::vector<ChartPoint> values;
  values.reserve(size_t(points.size()));
  for (const QPointF& p : points) values.push_back({p.x(), p.y()});
  return zarn::FindWaveCut(values);
}

QStringList TChart::TitleLines() const { return title_; }

std::vector<std::vector<ChartPoint>> TChart::SeriesPoints() const {
  std::vector<std::vector<ChartPoint>> out(kBlowSeries);
  for (int i = 0; i < kBlowSeries; ++i) {
    const QList<QPointF> points = series_[size_t(i)]->points();
    out[size_t(i)].reserve(size_t(points.size()));
    for (const QPointF& p : points) out[size_t(i)].push_back({p.x(), p.y()});
  }
  return out;
}

QImage TChart::ToImage() {
  // The chart lays itself out on the next turn of the event loop; a copy right after
  // a draw must show the new axes too.
  chart_->layout()->activate();
  const QPixmap picture = grab();
  QImage image(picture.size(), QImage::Format_RGB32);
  image.setDevicePixelRatio(picture.devicePixelRatio());
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.drawPixmap(0, 0, picture);
  return image;
}

void TChart::Chart1Click() {
  if (chart_->isZoomed()) {
    SetTicksFor(xMin_, xMax_, -yHalf_, yHalf_);
    SetAnimated(zoomAnimated_);
    chart_->zoomReset();
  }
  ApplyProgramRanges();
}

bool TChart::IsZoomed() const { return chart_->isZoomed(); }

bool TChart::LeaveZoom() {
  if (!chart_->isZoomed()) return false;
  Chart1Click();
  return true;
}

void TChart::keyPressEvent(QKeyEvent* event) {
  // The window decides what a key does (Ctrl+C copies the chart), as for the tables.
  // (Escape, leaving a zoom, is the window's shortcut.)
  emit KeyDown(event->key(), event->modifiers());
  // The view's own keys would scroll the scene: the chart shows what the program set.
  event->ignore();
}

void TChart::Chart1DblClick() {
  EndZoom();
  for (int i = 0; i < kBlowSeries; ++i) {
    const int cut = FindWaveCut(i);
    if (cut < 5) break;  // a series that holds no blow ends the curves
    QLineSeries* series = series_[size_t(i)];
    const int count = int(series->count());
    if (cut < count) series->removePoints(cut, count - cut);
  }
  DrawZeroLine();
  // The left axis keeps its range; the bottom one follows the trimmed curves.
  SetBottomRangeFromData();
  ApplyProgramRanges();
}

void TChart::Chart1MouseDown(Qt::MouseButton button, QPoint position) {
  pressAt_ = position;
  emit MousePressed(position);
  if (button == Qt::LeftButton) {
    leftDown_ = true;
    dragging_ = false;
  }
}

void TChart::Chart1MouseUp(Qt::MouseButton button, QPoint position) {
  if (button == Qt::LeftButton) {
    if (!leftDown_) return;  // the release that ends a double-click
    leftDown_ = false;
    if (dragging_) {
      dragging_ = false;
      band_->hide();
      ZoomTo(QRect(pressAt_, position).normalized());
    } else {
      Chart1Click();
    }
  } else if (button == Qt::RightButton) {
    // Only a right click that did not move opens the menu.
    if (position == pressAt_ && popup_) popup_->popup(PopupPosition(position));
  }
}

QPoint TChart::PopupPosition(QPoint position) const {
  return viewport()->mapToGlobal(position) + QPoint(3, 3);
}

void TChart::ZoomTo(const QRect& rect) {
  const QRectF inChart = chart_->mapFromScene(mapToScene(rect)).boundingRect();
  const QRectF area = inChart.intersected(chart_->plotArea());
  if (area.width() < 1 || area.height() < 1) return;
  SetAnimated(zoomAnimated_);
  chart_->zoomIn(area);
}

void TChart::mousePressEvent(QMouseEvent* event) {
  Chart1MouseDown(event->button(), event->position().toPoint());
  event->accept();
}

void TChart::mouseMoveEvent(QMouseEvent* event) {
  if (!leftDown_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint at = event->position().toPoint();
  if (!dragging_ && (at - pressAt_).manhattanLength() >= QApplication::startDragDistance()) {
    dragging_ = true;
    band_->show();
  }
  if (dragging_) band_->setGeometry(QRect(pressAt_, at).normalized());
  event->accept();
}

void TChart::mouseReleaseEvent(QMouseEvent* event) {
  Chart1MouseUp(event->button(), event->position().toPoint());
  event->accept();
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    leftDown_ = false;
    dragging_ = false;
    band_->hide();
    Chart1DblClick();
  }
  event->accept();
}

void TChart::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  UpdateTicks();
}

void TChart::SetBottomRangeFromData() {
  XSpan span;
  for (QLineSeries* series : series_)
    for (const QPointF& p : series->points()) span.Add(p.x());
  SetBottomRange(span);
}

void TChart::SetBottomRange(const XSpan& span) {
  xMin_ = span.Empty() ? 0.0 : span.lo;
  xMax_ = span.Empty() ? 0.0 : span.hi;
  if (xMax_ - xMin_ <= 0) xMax_ = xMin_ + 1;  // a single x still gets a usable axis
}

void TChart::ApplyProgramRanges() {
  // Ticks first: an axis whose old interval meets a much wider range would make
  // thousands of ticks for a moment.
  SetTicksFor(xMin_, xMax_, -yHalf_, yHalf_);
  axisX_->setRange(xMin_, xMax_);
  axisY_->setRange(-yHalf_, yHalf_);
}

void TChart::EndZoom() {
  SetAnimated(false);
  if (chart_->isZoomed()) chart_->zoomReset();
}

void TChart::UpdateTicks() {
  SetTicksFor(axisX_->min(), axisX_->max(), axisY_->min(), axisY_->max());
}

void TChart::SetTicksFor(double x0, double x1, double y0, double y1) {
  // Labels up the left axis keep about two text lines apart, labels across their
  // widest text and a gap; the time axis never ticks finer than 0,1. The room is the
  // plot area's once the chart is laid out (plotAreaChanged comes back here), the
  // view's before that.
  const QFontMetrics metrics(axisY_->labelsFont());
  const QRectF plot = chart_->plotArea();
  const int across = plot.width() > 1 ? int(plot.width()) : std::max(1, width() - 40);
  const int up = plot.height() > 1 ? int(plot.height()) : std::max(1, height() - 40);
  const int labelHeight = 2 * metrics.height();
  const int labelWidth = metrics.horizontalAdvance(QStringLiteral("000,0")) + 16;
  SetTicks(axisX_, ticksX_, x0, x1, TickStep(x0, x1, across, labelWidth, 2, 0.1));
  SetTicks(axisY_, ticksY_, y0, y1, TickStep(y0, y1, up, labelHeight, 3));

  // A label centred on a tick at the right end reaches past the plot by half its
  // width, one at the top by half its height (when no title line is above the plot):
  // the right margin (2 pixels otherwise) and the top one (0) make room for the widest
  // such label. They depend on the font alone: margins that followed the ticks would
  // move the plot and so the ticks again, without end.
  const int right = std::max(2, (metrics.horizontalAdvance(QStringLiteral("00,00")) + 1) / 2 + 1);
  const int top = chart_->title().isEmpty() ? (metrics.height() + 1) / 2 : 0;
  const QMargins margins(0, top, right, 0);
  if (chart_->margins() != margins) chart_->setMargins(margins);
}

void TChart::SetTicks(QCategoryAxis* axis, std::vector<double>& shown, double lo, double hi,
                      double interval) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(interval > 0)) return;
  // Every tick is a whole multiple of the interval, computed by one multiplication.
  std::vector<double> ticks = TickValues(lo, hi, interval);
  if (ticks == shown) return;
  shown = ticks;

  for (const QString& label : axis->categoriesLabels()) axis->remove(label);
  const int decimals = TickDecimals(interval);
  const QLocale locale = chart_->locale();
  // A category ends at each tick; the first one starts a tick below, off the axis.
  axis->setStartValue(ticks.empty() ? lo : ticks.front() - interval);
  for (double t : ticks) axis->append(locale.toString(t, 'f', decimals), t);
}

void TChart::ShowTitle() {
  // The all-blows title is one empty line; a blank keeps its line on the screen, so
  // the plot does not jump between the two views.
  QString shown = title_.join(QLatin1Char('\n'));
  if (!title_.isEmpty() && shown.trimmed().isEmpty()) shown = QStringLiteral(" ");
  chart_->setTitle(shown);
}

}  // namespace zarn
