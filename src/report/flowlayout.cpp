#include "flowlayout.h"

#include <cmath>

namespace zarn {
namespace {

constexpr double kEps = 1e-6;

QRectF BandRect(const PreparedPage& page, const PreparedBand& band) {
  QRectF r;
  for (int i = 0; i < band.count; ++i) r |= page.cells[size_t(band.first + i)].rect;
  return r;
}

std::vector<double> Widths(const PreparedPage& page, const PreparedBand& band) {
  std::vector<double> w;
  for (int i = 0; i < band.count; ++i) w.push_back(page.cells[size_t(band.first + i)].rect.width());
  return w;
}

bool SameColumns(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::abs(a[i] - b[i]) > kEps) return false;
  }
  return true;
}

// The footer's text with page p's number taken out: before and after it, when the
// footer is a single cell holding the number once.
bool SplitPageNumber(const QString& text, int p, QString& before, QString& after) {
  const QString number = QString::number(p);
  const qsizetype at = text.indexOf(number);
  if (at < 0 || text.indexOf(number, at + 1) >= 0) return false;
  before = text.left(at);
  after = text.mid(at + number.size());
  return true;
}

}  // namespace

double LineHeightMm(double fontPt) {
  // Ascent and descent of the report's serif face (Times New Roman and its stand-in
  // Liberation Serif share them): 0.891 + 0.216 of the size.
  return fontPt * 25.4 / 72 * 1.107;
}

FlowDocument FlowOf(const PreparedReport& report) {
  FlowDocument doc;
  // Page-number footers: every footer band a single cell, the same text around the
  // number of its page, from the first page with a footer on.
  bool any = false;
  bool pageNumbers = true;
  for (size_t p = 0; p < report.pages.size() && pageNumbers; ++p) {
    const PreparedPage& page = report.pages[p];
    bool found = false;
    for (const PreparedBand& band : page.bands) {
      if (band.kind != BandKind::PageFooter) continue;
      const PreparedCell& cell = page.cells[size_t(band.first)];
      QString before, after;
      if (band.count != 1 || found || !SplitPageNumber(cell.text, int(p) + 1, before, after) ||
          (any && (before != doc.footerBefore || after != doc.footerAfter ||
                   std::abs(cell.rect.height() - doc.footerHeight) > kEps)) ||
          std::abs(cell.rect.bottom() - (report.page.height - report.page.bottom)) > kEps) {
        pageNumbers = false;
        break;
      }
      if (!any) {
        doc.footerBefore = before;
        doc.footerAfter = after;
        doc.footerHeight = cell.rect.height();
        doc.footerPt = cell.fontPt;
        doc.footerOnFirstPage = p == 0;
      }
      found = any = true;
    }
    // Once footers start they are on every page.
    if (!found && any) pageNumbers = false;
  }
  doc.pageNumberFooter = any && pageNumbers;

  for (const PreparedPage& page : report.pages) {
    FlowPage out;
    out.page = &page;
    double y = report.page.top;
    std::vector<double> lastWidths;
    double lastLeft = 0;
    for (const PreparedBand& band : page.bands) {
      if (band.count <= 0) continue;
      if (band.kind == BandKind::Free) {
        for (int i = 0; i < band.count; ++i) out.freeCells.push_back(&page.cells[size_t(band.first + i)]);
        continue;
      }
      if (band.kind == BandKind::PageFooter && doc.pageNumberFooter) continue;
      const QRectF r = BandRect(page, band);
      std::vector<double> widths = Widths(page, band);
      const bool joins = !out.tables.empty() && band.kind != BandKind::PageHeader &&
                         band.kind != BandKind::Title && std::abs(r.top() - y) < kEps &&
                         std::abs(r.left() - lastLeft) < kEps && SameColumns(widths, lastWidths) &&
                         out.tables.back().rows.back()->kind != BandKind::Title;
      if (!joins) {
        FlowTable t;
        t.gapBefore = std::max(0.0, r.top() - y);
        t.left = r.left();
        t.widths = widths;
        out.tables.push_back(std::move(t));
      }
      FlowTable& t = out.tables.back();
      t.rows.push_back(&band);
      if (band.kind == BandKind::PageHeader && int(t.rows.size()) == t.headerRows + 1) ++t.headerRows;
      y = r.bottom();
      lastWidths = std::move(widths);
      lastLeft = r.left();
    }
    doc.pages.push_back(std::move(out));
  }
  return doc;
}

}  // namespace zarn
