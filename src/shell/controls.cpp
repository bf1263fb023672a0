#include "controls.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

namespace zarn {

// ---- TStatusBar

TStatusBar::TStatusBar(int panelCount, QWidget* parent)
    : QStatusBar(parent), texts_(size_t(panelCount)), widths_(size_t(panelCount), 50) {
  setFixedHeight(kHeight);
  setSizeGripEnabled(true);
}

QString TStatusBar::PanelText(int panel) const {
  return panel >= 0 && panel < PanelCount() ? texts_[size_t(panel)] : QString();
}

void TStatusBar::SetPanelText(int panel, const QString& text) {
  if (panel < 0 || panel >= PanelCount() || texts_[size_t(panel)] == text) return;
  texts_[size_t(panel)] = text;
  update(PanelRect(panel));
}

int TStatusBar::PanelWidth(int panel) const {
  return panel >= 0 && panel < PanelCount() ? widths_[size_t(panel)] : 0;
}

void TStatusBar::SetPanelWidth(int panel, int width) {
  if (panel < 0 || panel >= PanelCount()) return;
  widths_[size_t(panel)] = std::max(0, width);
  update();
}

QRect TStatusBar::PanelRect(int panel) const {
  int x = 0;
  for (int i = 0; i < panel && i < PanelCount(); ++i) x += widths_[size_t(i)];
  const int w = panel == PanelCount() - 1 ? std::max(0, width() - x) : PanelWidth(panel);
  return QRect(x, 0, w, height());
}

void TStatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Window));
  painter.setFont(font());
  for (int i = 0; i < PanelCount(); ++i) {
    // Each panel is sunken by one pixel, with a two-pixel gap to the next.
    const QRect r = PanelRect(i).adjusted(0, 2, -2, 0);
    if (r.width() <= 2) continue;
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(pal.color(QPalette::Light));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    if (texts_[size_t(i)].isEmpty()) continue;
    painter.setPen(pal.color(QPalette::WindowText));
    painter.drawText(TextRect(i), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ShownText(i));
  }
}

QRect TStatusBar::TextRect(int panel) const { return PanelRect(panel).adjusted(3, 3, -4, -1); }

QString TStatusBar::ShownText(int panel) const {
  // A text longer than its panel ends in "…" where it is cut; its tooltip has it whole.
  return fontMetrics().elidedText(PanelText(panel), Qt::ElideRight, std::max(0, TextRect(panel).width()));
}

QString TStatusBar::PanelToolTip(int panel) const {
  return ShownText(panel) == PanelText(panel) ? QString() : PanelText(panel);
}

int TStatusBar::PanelAt(QPoint position) const {
  for (int i = 0; i < PanelCount(); ++i)
    if (PanelRect(i).contains(position)) return i;
  return -1;
}

bool TStatusBar::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int panel = PanelAt(help->pos());
    const QString tip = panel >= 0 ? PanelToolTip(panel) : QString();
    if (tip.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), tip, this, PanelRect(panel));
    return true;
  }
  return QStatusBar::event(event);
}

void TStatusBar::mousePressEvent(QMouseEvent* event) {
  emit MousePressed(event->position().toPoint());
  QStatusBar::mousePressEvent(event);
}

// ---- TShape

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(const QColor& colour) {
  if (colour == brush_) return;
  brush_ = colour;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int d = std::min(width(), height());
  if (d < 2) return;
  const QRect circle((width() - d) / 2, (height() - d) / 2, d - 1, d - 1);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(brush_);
  painter.drawEllipse(QRectF(circle).adjusted(0.5, 0.5, 0, 0));
}

// ---- TSplitter

TSplitter::TSplitter(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::SplitHCursor);
  setFixedWidth(kWidth);
}

void TSplitter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) grabOffset_ = int(event->position().x());
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (grabOffset_ < 0 || !parentWidget()) return;
  const QPoint inParent = mapToParent(event->position().toPoint());
  emit Dragged(inParent.x() - grabOffset_);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event) {
  if (grabOffset_ < 0 || event->button() != Qt::LeftButton) return;
  grabOffset_ = -1;
  emit Moved();
}


TFocusFrame::TFocusFrame(QWidget* owner) : QWidget(owner), owner_(owner) {
  setObjectName(QStringLiteral("FocusFrame"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  setGeometry(owner->rect());
  owner->installEventFilter(this);
  hide();
}

bool TFocusFrame::Shown() const { return isVisible(); }

bool TFocusFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == owner_) {
    switch (event->type()) {
      case QEvent::Resize:
        setGeometry(owner_->rect());
        break;
      case QEvent::FocusIn:
        setGeometry(owner_->rect());
        show();
        raise();  // over the parts the owner lays over its edges
        break;
      case QEvent::FocusOut:
        hide();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFocusFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QPen pen(palette().color(QPalette::Active, QPalette::Highlight));
  pen.setWidth(kWidth);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.drawRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
}

}  // namespace zarn
