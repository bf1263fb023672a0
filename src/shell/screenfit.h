#pragma once
// Every window of the program on a screen: the rule (plain functions over rectangles)
// and the watcher that applies it to a window whenever it is shown.
//
// A window's place is its client geometry (what QWidget::geometry() gives) and the frame
// the window manager puts around it. The frame is known only once the window manager has
// framed the window, so a window is fitted twice: as it is shown, with the frame of the
// program's other windows as the estimate, and once more when its own frame has come, if
// that frame does not fit.

#include <QList>
#include <QMargins>
#include <QRect>
#include <functional>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace zarn {

// The available area (work area) of the screen a window belongs on: of `screens`, the one
// holding the largest part of `frame`; for a frame on none of them, the one nearest to
// the frame's centre. No screens: `frame` itself.
QRect ScreenAreaFor(const QRect& frame, const QList<QRect>& screens);

// `client` with its frame `margins` made to fit `area`: a resizable window larger than the
// area is made smaller to the area's size, frame included; then the window is moved so
// that its frame lies within the area, or, when it is larger still (a fixed size), so
// that its top left corner with the title bar is in it. Returns the client geometry.
QRect FitOnScreen(const QRect& client, const QMargins& margins, const QRect& area, bool resizable);

// The available areas of the desktop's screens.
QList<QRect> DesktopScreenAreas();

// Keeps `window` (a top-level widget) on a screen from now on: fitted each time it is
// shown, and again once the window manager has framed it. `screens` gives the available
// areas (empty: DesktopScreenAreas). A maximised or full-screen window is left to the
// window manager.
void KeepOnScreen(QWidget* window, std::function<QList<QRect>()> screens = {});

// Fits `window` now with the frame it has (or, before it has one, the estimate).
void FitWindowOnScreen(QWidget* window, const QList<QRect>& screens);

}  // namespace zarn
