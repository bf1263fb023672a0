// The RTF export: the same pages as the PDF for word processors that take RTF. Every
// band is a table row of exact height and its cells' widths; a column-heading band
// repeats as its table's heading row; every page after the first begins with a page
// break; the page-number footer is the document's footer, left out on the first page
// when the PDF has none there. Free cells and lines (a series sheet's chart) are one
// picture placed on their page. Texts are written as Unicode escapes, so any text
// survives whatever code page the reader assumes.

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "report/exportformats.h"
#include "report/flowlayout.h"
#include "report/reportpaint.h"

namespace zarn {
namespace {

constexpr double kTwipsPerMm = 1440 / 25.4;
constexpr int kPaddingTwips = 11;  // 0.2 mm between a cell's frame and its text
constexpr int kFrameTwips = 15;    // 0.26 mm frame lines
constexpr int kPictureDpi = 300;
constexpr double kMaxPicturePixels = 40e6;  // A4 whole at 300 dpi is 8.7 million

bool Finite(const QRectF& r) {
  return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

int Twips(double mm) { return int(std::lround(mm * kTwipsPerMm)); }

// Font sizes in half points, rounded down so that a shrunk text still fits.
int HalfPoints(double pt) { return std::max(2, int(std::floor(pt * 2 + 1e-6))); }

void AppendText(QByteArray& out, const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c == u'\\' || c == u'{' || c == u'}') {
      out += '\\';
      out += char(c);
    } else if (c == u'\t') {
      out += "\\tab ";
    } else if (c == u'\n') {
      out += "\\line ";
    } else if (c == u'\r') {
      if (i + 1 < text.size() && text[i + 1] == u'\n') continue;
      out += "\\line ";
    } else if (c < 0x20) {
      out += ' ';
    } else if (c < 0x80) {
      out += char(c);
    } else {
      // \uN takes a signed 16-bit number; '?' is what a reader without Unicode shows.
      out += "\\u";
      out += QByteArray::number(int(int16_t(c)));
      out += '?';
    }
  }
}

QByteArray Alignment(CellAlign align) {
  switch (align) {
    case CellAlign::Left: return "\\ql";
    case CellAlign::Right: return "\\qr";
    case CellAlign::Centre: break;
  }
  return "\\qc";
}

class RtfWriter {
 public:
  RtfWriter(const PreparedReport& report, const ReportExportOptions& options)
      : r_(report), o_(options), flow_(FlowOf(report)) {}

  QByteArray Document() {
    const PageGeometry& g = r_.page;
    out_.reserve(qsizetype(r_.pages.size()) * 60000);
    out_ += "{\\rtf1\\ansi\\ansicpg1251\\deff0\\uc1\n";
    out_ += "{\\fonttbl{\\f0\\froman\\fcharset204\\fprq2 ";
    AppendText(out_, r_.fontFamily);
    out_ += ";}}\n{\\colortbl;\\red0\\green0\\blue0;}\n";
    const QDateTime created = o_.Created().toLocalTime();
    out_ += "{\\info{\\title ";
    AppendText(out_, ReportTitle(r_));
    out_ += "}{\\creatim\\yr" + QByteArray::number(created.date().year()) + "\\mo" +
            QByteArray::number(created.date().month()) + "\\dy" + QByteArray::number(created.date().day()) +
            "\\hr" + QByteArray::number(created.time().hour()) + "\\min" +
            QByteArray::number(created.time().minute()) + "}}\n";
    out_ += "\\paperw" + QByteArray::number(Twips(g.width)) + "\\paperh" + QByteArray::number(Twips(g.height)) +
            "\\margl" + QByteArray::number(Twips(g.left)) + "\\margr" + QByteArray::number(Twips(g.right)) +
            "\\margt" + QByteArray::number(Twips(g.top)) + "\\margb" + QByteArray::number(Twips(g.bottom));
    if (g.width > g.height) out_ += "\\landscape";
    out_ += "\\viewkind1\n\\sectd\\sbknone";
    if (flow_.pageNumberFooter) {
      // The footer ends at the bottom margin and is as high as the PDF's footer band,
      // the number centred in it.
      if (!flow_.footerOnFirstPage) out_ += "\\titlepg";
      out_ += "\\footery" + QByteArray::number(Twips(g.bottom));
      const int space = Twips(std::max(0.0, (flow_.footerHeight - LineHeightMm(flow_.footerPt)) / 2));
      out_ += "\n{\\footer\\pard\\plain\\qc\\sb" + QByteArray::number(space) + "\\sa" + QByteArray::number(space) +
              "\\f0\\fs" + QByteArray::number(HalfPoints(flow_.footerPt)) + ' ';
      AppendText(out_, flow_.footerBefore);
      out_ += "{\\field{\\*\\fldinst PAGE}{\\fldrslt 2}}";
      AppendText(out_, flow_.footerAfter);
      out_ += "\\par}";
    }
    out_ += '\n';
    for (size_t p = 0; p < flow_.pages.size(); ++p) Page(p);
    // The document ends in a paragraph of its own, as small as a line can be, so that
    // the word processor adds none of its normal size below a full last page.
    out_ += "\\pard\\plain\\sl-1\\slmult0\\f0\\fs2\\par\n}\n";
    return std::move(out_);
  }

 private:
  void Page(size_t p) {
    const FlowPage& page = flow_.pages[p];
    // The picture goes into the page's first paragraph.
    QByteArray picture = Picture(page, p);
    bool breakPage = p > 0;
    if (page.tables.empty()) Gap(0, breakPage, picture);
    for (const FlowTable& t : page.tables) {
      // The page break goes into the room above the table, or into a paragraph of a
      // single twip's height when the table starts at the top margin.
      if (t.gapBefore > 0.005 || breakPage || !picture.isEmpty()) Gap(t.gapBefore, breakPage, picture);
      breakPage = false;
      picture.clear();
      Table(*page.page, t);
    }
  }

  void Gap(double mm, bool breakPage, const QByteArray& content) {
    out_ += "\\pard\\plain";
    if (breakPage) out_ += "\\pagebb";
    out_ += "\\sl-" + QByteArray::number(std::max(1, Twips(mm))) + "\\slmult0\\f0\\fs2 ";
    out_ += content;
    out_ += "\\par\n";
  }

  void Table(const PreparedPage& page, const FlowTable& t) {
    for (size_t i = 0; i < t.rows.size(); ++i) {
      const PreparedBand& band = *t.rows[i];
      const PreparedCell& first = page.cells[size_t(band.first)];
      out_ += "\\trowd\\trgaph0\\trleft" + QByteArray::number(Twips(t.left - r_.page.left)) + "\\trrh-" +
              QByteArray::number(Twips(first.rect.height()));
      if (int(i) < t.headerRows) out_ += "\\trhdr";
      out_ += "\\trkeep";
      double right = t.left - r_.page.left;
      for (int c = 0; c < band.count; ++c) {
        const PreparedCell& cell = page.cells[size_t(band.first + c)];
        out_ += "\\clvertalc";
        if (cell.frame) {
          for (const char* side : {"t", "l", "b", "r"})
            out_ += "\\clbrdr" + QByteArray(side) + "\\brdrs\\brdrw" + QByteArray::number(kFrameTwips);
        }
        out_ += "\\clpadl" + QByteArray::number(kPaddingTwips) + "\\clpadfl3\\clpadr" +
                QByteArray::number(kPaddingTwips) + "\\clpadfr3";
        right += cell.rect.width();
        out_ += "\\cellx" + QByteArray::number(Twips(right));
      }
      out_ += '\n';
      for (int c = 0; c < band.count; ++c) {
        const PreparedCell& cell = page.cells[size_t(band.first + c)];
        out_ += "\\pard\\plain\\intbl" + Alignment(cell.align) + "\\f0\\fs" +
                QByteArray::number(HalfPoints(cell.fontPt)) + ' ';
        AppendText(out_, cell.text);
        out_ += "\\cell\n";
      }
      out_ += "\\row\n";
    }
  }

  // The page's free cells and lines as one picture, placed where they are on the page.
  QByteArray Picture(const FlowPage& page, size_t p) const {
    const PreparedPage& source = *page.page;
    if (source.lines.empty() && page.freeCells.empty()) return {};
    // What is on the paper, and only that: a prepared file may place points anywhere.
    QRectF box;
    for (const PreparedLine& line : source.lines) {
      for (const auto& pt : line.points)
        if (std::isfinite(pt.x) && std::isfinite(pt.y)) box |= QRectF(pt.x, pt.y, 0.001, 0.001);
    }
    for (const PreparedCell* cell : page.freeCells)
      if (Finite(cell->rect)) box |= cell->rect;
    box = box.adjusted(-0.5, -0.5, 0.5, 0.5).intersected(QRectF(0, 0, r_.page.width, r_.page.height));
    if (!(box.width() > 0 && box.height() > 0)) return {};
    PreparedReport part;
    part.page = r_.page;
    part.fontFamily = r_.fontFamily;
    PreparedPage only;
    only.lines = source.lines;
    for (const PreparedCell* cell : page.freeCells) only.cells.push_back(*cell);
    part.pages.push_back(std::move(only));
    // A page much larger than A4 gets a coarser picture rather than one of gigabytes.
    double pxPerMm = kPictureDpi / 25.4;
    const double pixels = box.width() * box.height() * pxPerMm * pxPerMm;
    if (pixels > kMaxPicturePixels) pxPerMm *= std::sqrt(kMaxPicturePixels / pixels);
    QImage image(QSize(int(std::ceil(box.width() * pxPerMm)), int(std::ceil(box.height() * pxPerMm))),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(int(std::lround(pxPerMm * 1000)));
    image.setDotsPerMeterY(int(std::lround(pxPerMm * 1000)));
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      PaintReportPage(painter, part, 0, pxPerMm, -box.topLeft() * pxPerMm);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QRect tw(QPoint(Twips(box.left()), Twips(box.top())), QPoint(Twips(box.right()), Twips(box.bottom())));
    return "{\\shp{\\*\\shpinst\\shpleft" + QByteArray::number(tw.left()) + "\\shptop" +
            QByteArray::number(tw.top()) + "\\shpright" + QByteArray::number(tw.right() + 1) + "\\shpbottom" +
            QByteArray::number(tw.bottom() + 1) + "\\shpfhdr0\\shpbxpage\\shpbxignore\\shpbypage\\shpbyignore"
            "\\shpwr3\\shpwrk0\\shpfblwtxt0\\shpz" + QByteArray::number(int(p)) +
            "{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn fLayoutInCell}{\\sv 0}}{\\sp{\\sn pib}{\\sv "
            "{\\pict\\pngblip\\picw" + QByteArray::number(image.width()) + "\\pich" +
            QByteArray::number(image.height()) + "\\picwgoal" + QByteArray::number(tw.width() + 1) +
            "\\pichgoal" + QByteArray::number(tw.height() + 1) + '\n' + png.toHex() + "}}}}}";
  }

  const PreparedReport& r_;
  const ReportExportOptions& o_;
  FlowDocument flow_;
  QByteArray out_;
};

}  // namespace

QByteArray RtfBytes(const PreparedReport& report, const ReportExportOptions& options) {
  return RtfWriter(report, options).Document();
}

}  // namespace zarn
