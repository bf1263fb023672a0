#include "screenfit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <limits>

namespace zarn {

QRect ScreenAreaFor(const QRect& frame, const QList<QRect>& screens) {
  if (screens.isEmpty()) return frame;
  const QRect* best = nullptr;
  qint64 bestArea = 0;
  for (const QRect& s : screens) {
    const QRect common = s.intersected(frame);
    const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
    if (area > bestArea) {
      bestArea = area;
      best = &s;
    }
  }
  if (best) return *best;
  // On no screen: the nearest one (by the distance of the frame's centre from it).
  const QPoint centre = frame.center();
  qint64 bestDistance = std::numeric_limits<qint64>::max();
  for (const QRect& s : screens) {
    const qint64 dx = std::max({qint64(s.left()) - centre.x(), qint64(0), qint64(centre.x()) - s.right()});
    const qint64 dy = std::max({qint64(s.top()) - centre.y(), qint64(0), qint64(centre.y()) - s.bottom()});
    const qint64 distance = dx * dx + dy * dy;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = &s;
    }
  }
  return *best;
}

QRect FitOnScreen(const QRect& client, const QMargins& margins, const QRect& area, bool resizable) {
  QRect c = client;
  if (resizable) {
    const int width = area.width() - margins.left() - margins.right();
    const int height = area.height() - margins.top() - margins.bottom();
    c.setWidth(std::clamp(c.width(), 1, std::max(1, width)));
    c.setHeight(std::clamp(c.height(), 1, std::max(1, height)));
  }
  QRect frame = c.marginsAdded(margins);
  // The far edges first, so that a window larger than the area keeps its top left
  // corner, with the title bar, in it.
  int left = frame.left();
  int top = frame.top();
  if (frame.right() > area.right()) left = area.right() + 1 - frame.width();
  if (left < area.left()) left = area.left();
  if (frame.bottom() > area.bottom()) top = area.bottom() + 1 - frame.height();
  if (top < area.top()) top = area.top();
  frame.moveTo(left, top);
  return frame.marginsRemoved(margins);
}

QList<QRect> DesktopScreenAreas() {
  QList<QRect> areas;
  for (const QScreen* s : QGuiApplication::screens()) areas.append(s->availableGeometry());
  return areas;
}

namespace {

QMargins FrameOf(const QWidget* window) {
  const QRect f = window->frameGeometry();
  const QRect g = window->geometry();
  return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

// A frame the window manager gave (while a window is being mapped Qt may report none,
// or a geometry that is no frame at all).
bool Framed(const QMargins& m) {
  return !m.isNull() && m.left() >= 0 && m.top() >= 0 && m.right() >= 0 && m.bottom() >= 0;
}

// The frame a window will get: its own once it has one, else that of another window of
// the program (the window manager frames them alike), else none.
QMargins ExpectedFrame(const QWidget* window) {
  const QMargins own = FrameOf(window);
  if (Framed(own)) return own;
  for (const QWidget* w : QApplication::topLevelWidgets()) {
    if (w == window || !w->isVisible()) continue;
    const QMargins other = FrameOf(w);
    if (Framed(other)) return other;
  }
  return {};
}

bool Resizable(const QWidget* window) { return window->minimumSize() != window->maximumSize(); }

void Fit(QWidget* window, const QList<QRect>& screens, const QMargins& margins) {
  if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) return;
  const QRect client = window->geometry();
  // A window nobody placed yet goes where the window manager puts it; until then only
  // its size is made to fit.
  const bool placed = window->testAttribute(Qt::WA_Moved) || window->isVisible();
  const QRect area = ScreenAreaFor(client.marginsAdded(margins), screens);
  const QRect fitted = FitOnScreen(client, margins, area, Resizable(window));
  if (fitted == client) return;
  // A smaller screen than the window's minimum: the minimum gives way.
  const QSize minimum = window->minimumSize();
  if (minimum.width() > fitted.width() || minimum.height() > fitted.height())
    window->setMinimumSize(minimum.boundedTo(fitted.size()));
  // The client's geometry: until the window manager has framed the window, Qt knows no
  // frame and would put the client where the frame was meant to go.
  if (placed)
    window->setGeometry(fitted);
  else
    window->resize(fitted.size());
}

// Fits its window whenever it is shown, and once more when the window manager's frame
// has come (the first move or resize after the show whose frame differs from the
// estimate), within a few seconds of the show.
class ScreenKeeper : public QObject {
 public:
  ScreenKeeper(QWidget* window, std::function<QList<QRect>()> screens)
      : QObject(window), window_(window), screens_(std::move(screens)) {
    setObjectName(QString::fromLatin1(kName));
    window->installEventFilter(this);
  }

  static constexpr const char* kName = "ScreenKeeper";

  QList<QRect> Screens() const { return screens_ ? screens_() : DesktopScreenAreas(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    switch (event->type()) {
      case QEvent::Show:
        assumed_ = ExpectedFrame(window_);
        Fit(window_, Screens(), assumed_);
        settling_.start();
        break;
      case QEvent::Move:
      case QEvent::Resize:
        if (settling_.isValid()) {
          if (settling_.elapsed() > kSettleMs) {
            settling_.invalidate();
          } else if (const QMargins frame = FrameOf(window_); frame != assumed_ && Framed(frame)) {
            settling_.invalidate();
            Fit(window_, Screens(), frame);
          }
        }
        break;
      default:
        break;
    }
    return false;
  }

 private:
  static constexpr qint64 kSettleMs = 3000;
  QWidget* window_;
  std::function<QList<QRect>()> screens_;
  QMargins assumed_;
  QElapsedTimer settling_;
};

}  // namespace

void KeepOnScreen(QWidget* window, std::function<QList<QRect>()> screens) {
  if (!window ||
      window->findChild<QObject*>(QString::fromLatin1(ScreenKeeper::kName), Qt::FindDirectChildrenOnly))
    return;
  new ScreenKeeper(window, std::move(screens));
}

void FitWindowOnScreen(QWidget* window, const QList<QRect>& screens) {
  if (window) Fit(window, screens, ExpectedFrame(window));
}

}  // namespace zarn
