#include "reportengine.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <memory>

namespace zarn {
namespace {

constexpr double kPointMm = 25.4 / 72;

class Preparation {
 public:
  Preparation(const ReportTemplate& layout, ReportRowSource& rows, const ReportFieldValue& value,
              const TextWidthMm& width)
      : t_(layout), rows_(rows), value_(value), width_(width) {
    report_.page = layout.page;
    report_.fontFamily = layout.fontFamily;
  }

  PreparedReport Run() {
    NewPage();
    rows_.RecNo = 0;
    if (rows_.first) rows_.first();
    int onPage = 0;  // master bands on the current page
    for (;;) {
      bool eof = false;
      if (rows_.checkEof) rows_.checkEof(eof);
      if (eof) break;
      // A band that does not fit goes to the next page; one that fits on no page at all
      // (a page set up too small) is placed anyway rather than asked for for ever.
      if (onPage > 0 && y_ + t_.masterData.height > Bottom() + 1e-9) {
        EndPage();
        NewPage();
        onPage = 0;
      }
      Place(BandKind::MasterData, t_.masterData, y_);
      y_ += t_.masterData.height;
      ++onPage;
      ++rows_.RecNo;
    }
    EndPage();
    return std::move(report_);
  }

 private:
  int PageNumber() const { return int(report_.pages.size()); }
  bool HasFooter() const { return PageNumber() >= 2 && !t_.pageFooter.cells.empty(); }
  double Bottom() const {
    return t_.page.height - t_.page.bottom - (HasFooter() ? t_.pageFooter.height : 0);
  }

  void NewPage() {
    report_.pages.emplace_back();
    report_.pages.back().cells.reserve(page1Cells_);
    y_ = t_.page.top;
    if (PageNumber() == 1 && !t_.title.cells.empty()) {
      Place(BandKind::Title, t_.title, y_);
      y_ += t_.title.height;
    }
    if (!t_.pageHeader.cells.empty()) {
      Place(BandKind::PageHeader, t_.pageHeader, y_);
      y_ += t_.pageHeader.height;
    }
  }

  void EndPage() {
    if (HasFooter()) {
      Place(BandKind::PageFooter, t_.pageFooter,
            t_.page.height - t_.page.bottom - t_.pageFooter.height);
    }
    page1Cells_ = std::max(page1Cells_, report_.pages.back().cells.size());
  }

  QString CellText(const ReportCellTemplate& cell) {
    if (!cell.field.isEmpty()) {
      QString value;
      if (value_) value_(cell.field, value);
      return value;
    }
    if (!cell.text.contains(u"[Page#]")) return cell.text;
    QString text = cell.text;
    text.replace(QStringLiteral("[Page#]"), QString::number(PageNumber()));
    return text;
  }

  void Place(BandKind kind, const ReportBandTemplate& band, double top) {
    PreparedPage& page = report_.pages.back();
    page.bands.push_back({kind, int(page.cells.size()), int(band.cells.size())});
    double x = t_.page.left;
    for (const ReportCellTemplate& cell : band.cells) {
      PreparedCell out;
      out.rect = QRectF(x, top, cell.width, band.height);
      out.text = CellText(cell);
      out.fontPt = float(FittedFontPt(out.text, cell.width, cell.fontPt, width_));
      out.frame = cell.frame;
      out.number = cell.number;
      out.align = cell.align;
      page.cells.push_back(std::move(out));
      x += cell.width;
    }
  }

  const ReportTemplate& t_;
  ReportRowSource& rows_;
  const ReportFieldValue& value_;
  const TextWidthMm& width_;
  PreparedReport report_;
  double y_ = 0;
  size_t page1Cells_ = 0;
};

}  // namespace

double FittedFontPt(const QString& text, double widthMm, double fontPt, const TextWidthMm& textWidth,
                    double minPt) {
  if (!textWidth || text.isEmpty()) return fontPt;
  const double room = widthMm - 2 * kCellPaddingMm;
  const double need = textWidth(text, fontPt);
  if (need <= room || need <= 0) return fontPt;
  // The largest size not above the template's at which the text fits, in quarter points.
  const double fitted = std::floor(fontPt * room / need * 4) / 4;
  return std::clamp(fitted, std::min(minPt, fontPt), fontPt);
}

PreparedReport PrepareReport(const ReportTemplate& layout, ReportRowSource& rows,
                             const ReportFieldValue& fieldValue, const TextWidthMm& textWidth) {
  return Preparation(layout, rows, fieldValue, textWidth).Run();
}

std::vector<ReportHit> FindInReport(const PreparedReport& report, const QString& text) {
  std::vector<ReportHit> hits;
  if (text.isEmpty()) return hits;
  for (size_t p = 0; p < report.pages.size(); ++p) {
    const std::vector<PreparedCell>& cells = report.pages[p].cells;
    for (size_t c = 0; c < cells.size(); ++c) {
      if (cells[c].text.contains(text, Qt::CaseInsensitive)) hits.push_back({int(p), int(c)});
    }
  }
  return hits;
}

TextWidthMm FontTextWidth(const QString& family) {
  // Measured once per text at a large pixel size without hinting, where advances grow
  // in proportion to the size; the width at any size follows by scaling.
  constexpr int kReferencePixels = 1000;
  struct Metrics {
    QFontMetricsF metrics;
    QHash<QString, double> perPoint;  // mm per point of font size
  };
  QFont font(family);
  font.setPixelSize(kReferencePixels);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(false);
  auto m = std::make_shared<Metrics>(Metrics{QFontMetricsF(font), {}});
  return [m](const QString& text, double fontPt) {
    auto it = m->perPoint.constFind(text);
    if (it == m->perPoint.constEnd())
      it = m->perPoint.insert(text, m->metrics.horizontalAdvance(text) / kReferencePixels * kPointMm);
    return *it * fontPt;
  };
}

}  // namespace zarn
