#pragma once
// Small controls of the main window: the status bar with its fixed panels, the round
// link lamp, and the splitter between the series table and the right-hand area.

#include <QColor>
#include <QStatusBar>
#include <QStringList>
#include <QWidget>
#include <vector>

namespace zarn {

// A status bar of panels laid side by side, each with its own width and text. Panels
// are drawn sunken; whatever is left at the right edge belongs to the last panel.
class TStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  static constexpr int kHeight = 20;

  explicit TStatusBar(int panelCount, QWidget* parent = nullptr);

  int PanelCount() const { return int(texts_.size()); }
  QString PanelText(int panel) const;
  void SetPanelText(int panel, const QString& text);
  int PanelWidth(int panel) const;
  void SetPanelWidth(int panel, int width);
  // The panel's rectangle within the bar.
  QRect PanelRect(int panel) const;
  // The text as the panel shows it: cut with "…" when it does not fit.
  QString ShownText(int panel) const;
  // What hovering over the panel shows: the whole text when the panel cuts it.
  QString PanelToolTip(int panel) const;
  // The panel under `position`, or -1.
  int PanelAt(QPoint position) const;

 signals:
  void MousePressed(QPoint position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QRect TextRect(int panel) const;
  std::vector<QString> texts_;
  std::vector<int> widths_;
};

// A circle of its brush colour with a black outline, as large as the smaller side of
// the control and centred in it.
class TShape : public QWidget {
  Q_OBJECT

 public:
  explicit TShape(QWidget* parent = nullptr);
  QColor BrushColor() const { return brush_; }
  void SetBrushColor(const QColor& colour);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor brush_;
};

// The keyboard focus made visible: a frame in the highlight colour around its owner
// (a table or the chart) while the owner has the focus, drawn over the owner's edge.
class TFocusFrame : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 2;
  explicit TFocusFrame(QWidget* owner);
  // Whether the frame shows now.
  bool Shown() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QWidget* owner_;
};

// A vertical bar the user drags sideways. It reports the position the drag asks for;
// the window decides where it really goes.
class TSplitter : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 4;
  explicit TSplitter(QWidget* parent = nullptr);

 signals:
  // The bar's left edge as the drag wants it, in the parent's coordinates.
  void Dragged(int left);
  // The drag ended (the user let go).
  void Moved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int grabOffset_ = -1;  // where in the bar the drag took hold; -1: no drag
};

}  // namespace zarn
