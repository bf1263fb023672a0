#include "reportpaint.h"

#include <QBuffer>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>
#include <map>

namespace zarn {
namespace {

constexpr double kPointMm = 25.4 / 72;
constexpr double kFrameMm = 0.26;  // a 1-pixel line on a 96-dpi screen at 100 %
const QColor kMark(255, 235, 80, 170);
const QColor kCurrentMark(255, 150, 30, 200);

QPageLayout PageLayoutOf(const PageGeometry& g) {
  const bool landscape = g.width > g.height;
  const QSizeF portrait = landscape ? QSizeF(g.height, g.width) : QSizeF(g.width, g.height);
  return QPageLayout(QPageSize(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch),
                     landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
}

}  // namespace

void PaintReportPage(QPainter& painter, const PreparedReport& report, int pageIndex,
                     double pxPerMm, QPointF origin, std::span<const CellMark> marks) {
  if (pageIndex < 0 || size_t(pageIndex) >= report.pages.size()) return;
  const PreparedPage& page = report.pages[size_t(pageIndex)];
  // Edges on whole device pixels: the shared edge of two cells falls on the same pixel
  // for both, so every frame line is equally thin on the screen.
  auto px = [&](const QRectF& mm) {
    auto at = [&](double v, double o) { return std::round(o + v * pxPerMm); };
    return QRectF(QPointF(at(mm.left(), origin.x()), at(mm.top(), origin.y())),
                  QPointF(at(mm.right(), origin.x()), at(mm.bottom(), origin.y())));
  };
  painter.save();
  for (const CellMark& m : marks) {
    if (m.cell >= 0 && size_t(m.cell) < page.cells.size())
      painter.fillRect(px(page.cells[size_t(m.cell)].rect), m.current ? kCurrentMark : kMark);
  }
  // Lines (a chart's curves and axes) beneath the frames and texts, with the
  // antialiasing the device allows.
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (const PreparedLine& line : page.lines) {
    if (line.points.size() < 2) continue;
    QPen pen{QColor::fromRgba(line.colour)};
    pen.setWidthF(std::max(0.5, line.widthMm * pxPerMm));
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    // A point that is no number (a damaged prepared file) breaks the line there.
    QPolygonF polygon;
    polygon.reserve(qsizetype(line.points.size()));
    auto draw = [&] {
      if (polygon.size() >= 2) painter.drawPolyline(polygon);
      polygon.clear();
    };
    for (const auto& pt : line.points) {
      if (std::isfinite(pt.x) && std::isfinite(pt.y)) polygon.append(origin + QPointF(pt.x, pt.y) * pxPerMm);
      else draw();
    }
    draw();
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  QPen frame(Qt::black);
  frame.setWidthF(std::max(1.0, std::round(kFrameMm * pxPerMm)));
  frame.setJoinStyle(Qt::MiterJoin);
  painter.setPen(frame);
  painter.setBrush(Qt::NoBrush);
  for (const PreparedCell& cell : page.cells) {
    if (cell.frame) painter.drawRect(px(cell.rect));
  }
  // A font per size; the point size is chosen so that the text gets its height in
  // millimetres whatever the device's resolution.
  const int dpi = painter.device() ? painter.device()->logicalDpiY() : 96;
  std::map<float, QFont> fonts;
  painter.setPen(Qt::black);
  const double padding = kCellPaddingMm * pxPerMm;
  for (const PreparedCell& cell : page.cells) {
    if (cell.text.isEmpty()) continue;
    auto it = fonts.find(cell.fontPt);
    if (it == fonts.end()) {
      QFont font(report.fontFamily);
      font.setPointSizeF(cell.fontPt * kPointMm * pxPerMm * 72 / dpi);
      it = fonts.emplace(cell.fontPt, font).first;
    }
    painter.setFont(it->second);
    // Centred both ways, kept inside the cell (clipped when even the smallest size
    // does not fit).
    const Qt::Alignment across = cell.align == CellAlign::Left    ? Qt::AlignLeft
                                 : cell.align == CellAlign::Right ? Qt::AlignRight
                                                                  : Qt::AlignHCenter;
    painter.drawText(px(cell.rect).adjusted(padding, 0, -padding, 0),
                     across | Qt::AlignVCenter | Qt::TextSingleLine, cell.text);
  }
  painter.restore();
}

bool RenderReport(QPagedPaintDevice& device, const PreparedReport& report, int first, int last) {
  if (report.pages.empty()) return false;
  first = std::max(first, 0);
  last = std::min(last, int(report.pages.size()) - 1);
  device.setPageLayout(PageLayoutOf(report.page));
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const double pxPerMm = device.logicalDpiX() / 25.4;
  for (int p = first; p <= last; ++p) {
    if (p > first && !device.newPage()) return false;
    PaintReportPage(painter, report, p, pxPerMm);
  }
  return painter.end();
}

bool WriteReportPdf(QIODevice& out, const PreparedReport& report, const QString& title) {
  QPdfWriter pdf(&out);
  pdf.setTitle(title);
  pdf.setCreator(QStringLiteral("Zarn-2.5/2.6"));
  pdf.setResolution(1200);
  return RenderReport(pdf, report, 0, int(report.pages.size()) - 1);
}

QByteArray ReportPdf(const PreparedReport& report, const QString& title) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!WriteReportPdf(buffer, report, title)) return {};
  return bytes;
}

}  // namespace zarn
