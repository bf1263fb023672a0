// The ODT export: an ODF text document of the same pages as the PDF. Every band is a
// table row of its cells' widths and its height, fixed so that the word processor
// breaks the pages where the PDF does (a page break before the first table of every
// page after the first); a column-heading band is its table's heading row; the
// page-number footer is the page style's footer (page 1 has a page style without one
// when the PDF has none there); free cells and lines (a series sheet's chart) are
// shapes placed on their page. Styles are named in the order the document first uses
// them, so the same pages always give the same bytes.

#include <QXmlStreamWriter>
#include <cmath>
#include <map>
#include <tuple>

#include "report/exportformats.h"
#include "report/flowlayout.h"
#include "report/odf.h"

namespace zarn {
namespace {

using odf::Mm;

// The room the word processor leaves between a cell's frame and its text, across:
// less than the report's own padding, since the frame's width is taken from the cell.
constexpr double kOdtPaddingMm = 0.2;
constexpr double kFrameMm = 0.26;

int Micro(double mm) { return int(std::lround(mm * 1000)); }

// Styles of one family, named in the order of first use.
template <typename Key>
class Registry {
 public:
  explicit Registry(QString prefix) : prefix_(std::move(prefix)) {}
  QString Name(const Key& key) {
    auto [it, added] = index_.try_emplace(key, int(keys_.size()));
    if (added) keys_.push_back(key);
    return NameAt(it->second);
  }
  QString NameAt(int i) const { return prefix_ + QString::number(i + 1); }
  const std::vector<Key>& Keys() const { return keys_; }

 private:
  QString prefix_;
  std::map<Key, int> index_;
  std::vector<Key> keys_;
};

// Quarter points and alignment; a paragraph style per pair.
using ParagraphKey = std::tuple<int, int>;
// Width, left indent, page break before, the first page's page style.
using TableKey = std::tuple<int, int, bool, bool>;
// Height, page break before, the first page's page style.
using GapKey = std::tuple<int, bool, bool>;
using LineKey = std::tuple<unsigned, int>;

class OdtWriter {
 public:
  OdtWriter(const PreparedReport& report, const ReportExportOptions& options)
      : r_(report), o_(options), flow_(FlowOf(report)) {
    firstMaster_ = flow_.pageNumberFooter && !flow_.footerOnFirstPage;
  }

  QByteArray Content() {
    QByteArray body;
    {
      QXmlStreamWriter xml(&body);
      Shapes(xml);
      for (size_t p = 0; p < flow_.pages.size(); ++p) Page(xml, p);
      // The document ends in a paragraph of its own, as small as the word processor
      // allows, so that it adds none of its normal size below a full last page.
      xml.writeEmptyElement(QStringLiteral("text:p"));
      xml.writeAttribute(QStringLiteral("text:style-name"), QStringLiteral("End"));
      xml.writeEndDocument();  // ends the last element
    }
    QByteArray out;
    QXmlStreamWriter xml(&out);
    odf::StartPart(xml, QStringLiteral("office:document-content"));
    odf::FontFaces(xml, r_.fontFamily);
    AutomaticStyles(xml);
    xml.writeStartElement(QStringLiteral("office:body"));
    xml.writeStartElement(QStringLiteral("office:text"));
    xml.writeCharacters(QString());  // closes the start tag before the body is put in
    const QByteArray tail = QByteArrayLiteral("</office:text></office:body></office:document-content>\n");
    return out + body + tail;
  }

  QByteArray Styles() const {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    odf::StartPart(xml, QStringLiteral("office:document-styles"));
    odf::FontFaces(xml, r_.fontFamily);
    xml.writeStartElement(QStringLiteral("office:styles"));
    xml.writeStartElement(QStringLiteral("style:default-style"));
    xml.writeAttribute(QStringLiteral("style:family"), QStringLiteral("paragraph"));
    TextProperties(xml, 10);
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("style:style"));
    xml.writeAttribute(QStringLiteral("style:name"), QStringLiteral("Standard"));
    xml.writeAttribute(QStringLiteral("style:family"), QStringLiteral("paragraph"));
    xml.writeAttribute(QStringLiteral("style:class"), QStringLiteral("text"));
    xml.writeEndElement();
    if (flow_.pageNumberFooter) {
      xml.writeStartElement(QStringLiteral("style:style"));
      xml.writeAttribute(QStringLiteral("style:name"), QStringLiteral("Footer"));
      xml.writeAttribute(QStringLiteral("style:family"), QStringLiteral("paragraph"));
      xml.writeAttribute(QStringLiteral("style:parent-style-name"), QStringLiteral("Standard"));
      xml.writeAttribute(QStringLiteral("style:class"), QStringLiteral("extra"));
      xml.writeEmptyElement(QStringLiteral("style:paragraph-properties"));
      xml.writeAttribute(QStringLiteral("fo:text-align"), QStringLiteral("center"));
      // The number centred in the footer's height, as on the PDF's page.
      xml.writeAttribute(QStringLiteral("fo:margin-top"),
                         Mm(std::max(0.0, (flow_.footerHeight - LineHeightMm(flow_.footerPt)) / 2)));
      xml.writeAttribute(QStringLiteral("fo:margin-bottom"), Mm(0));
      TextProperties(xml, flow_.footerPt);
      xml.writeEndElement();
    }
    xml.writeEndElement();  // office:styles

    xml.writeStartElement(QStringLiteral("office:automatic-styles"));
    PageLayout(xml, QStringLiteral("pm1"), false);
    if (flow_.pageNumberFooter) PageLayout(xml, QStringLiteral("pm2"), true);
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("office:master-styles"));
    xml.writeStartElement(QStringLiteral("style:master-page"));
    xml.writeAttribute(QStringLiteral("style:name"), QStringLiteral("Standard"));
    xml.writeAttribute(QStringLiteral("style:page-layout-name"),
                       flow_.pageNumberFooter ? QStringLiteral("pm2") : QStringLiteral("pm1"));
    if (flow_.pageNumberFooter) {
      xml.writeStartElement(QStringLiteral("style:footer"));
      xml.writeStartElement(QStringLiteral("text:p"));
      xml.writeAttribute(QStringLiteral("text:style-name"), QStringLiteral("Footer"));
      WriteOdfText(xml, flow_.footerBefore);
      xml.writeStartElement(QStringLiteral("text:page-number"));
      xml.writeAttribute(QStringLiteral("text:select-page"), QStringLiteral("current"));
      xml.writeCharacters(QStringLiteral("2"));
      xml.writeEndElement();
      WriteOdfText(xml, flow_.footerAfter);
      xml.writeEndElement();
      xml.writeEndElement();
    }
    xml.writeEndElement();
    if (firstMaster_) {
      xml.writeEmptyElement(QStringLiteral("style:master-page"));
      xml.writeAttribute(QStringLiteral("style:name"), QStringLiteral("First_20_Page"));
      xml.writeAttribute(QStringLiteral("style:display-name"), QStringLiteral("First Page"));
      xml.writeAttribute(QStringLiteral("style:page-layout-name"), QStringLiteral("pm1"));
      xml.writeAttribute(QStringLiteral("style:next-style-name"), QStringLiteral("Standard"));
    }
    xml.writeEndElement();  // office:master-styles
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
  }

 private:
  void TextProperties(QXmlStreamWriter& xml, double pt) const {
    xml.writeEmptyElement(QStringLiteral("style:text-properties"));
    xml.writeAttribute(QStringLiteral("style:font-name"), r_.fontFamily);
    xml.writeAttribute(QStringLiteral("fo:font-size"), QString::number(pt) + QStringLiteral("pt"));
    const bool en = o_.language == kEnglish;
    xml.writeAttribute(QStringLiteral("fo:language"), en ? QStringLiteral("en") : QStringLiteral("ru"));
    xml.writeAttribute(QStringLiteral("fo:country"), en ? QStringLiteral("US") : QStringLiteral("RU"));
    xml.writeAttribute(QStringLiteral("fo:hyphenate"), QStringLiteral("false"));
  }

  void PageLayout(QXmlStreamWriter& xml, const QString& name, bool footer) const {
    const PageGeometry& g = r_.page;
    xml.writeStartElement(QStringLiteral("style:page-layout"));
    xml.writeAttribute(QStringLiteral("style:name"), name);
    xml.writeEmptyElement(QStringLiteral("style:page-layout-properties"));
    xml.writeAttribute(QStringLiteral("fo:page-width"), Mm(g.width));
    xml.writeAttribute(QStringLiteral("fo:page-height"), Mm(g.height));
    xml.writeAttribute(QStringLiteral("style:print-orientation"),
                       g.width > g.height ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    xml.writeAttribute(QStringLiteral("fo:margin-top"), Mm(g.top));
    xml.writeAttribute(QStringLiteral("fo:margin-bottom"), Mm(g.bottom));
    xml.writeAttribute(QStringLiteral("fo:margin-left"), Mm(g.left));
    xml.writeAttribute(QStringLiteral("fo:margin-right"), Mm(g.right));
    if (footer) {
      xml.writeStartElement(QStringLiteral("style:footer-style"));
      xml.writeEmptyElement(QStringLiteral("style:header-footer-properties"));
      xml.writeAttribute(QStringLiteral("fo:min-height"), Mm(flow_.footerHeight));
      xml.writeAttribute(QStringLiteral("fo:margin-top"), Mm(0));
      xml.writeAttribute(QStringLiteral("style:dynamic-spacing"), QStringLiteral("false"));
      xml.writeEndElement();
    }
    xml.writeEndElement();
  }

  // The page-anchored shapes of every page: lines and free cells.
  void Shapes(QXmlStreamWriter& xml) {
    for (size_t p = 0; p < flow_.pages.size(); ++p) {
      const PreparedPage& page = *flow_.pages[p].page;
      const QString pageNumber = QString::number(p + 1);
      auto anchor = [&](const QString& style, const QRectF& mm) {
        xml.writeAttribute(QStringLiteral("draw:style-name"), style);
        xml.writeAttribute(QStringLiteral("text:anchor-type"), QStringLiteral("page"));
        xml.writeAttribute(QStringLiteral("text:anchor-page-number"), pageNumber);
        xml.writeAttribute(QStringLiteral("svg:x"), Mm(mm.left()));
        xml.writeAttribute(QStringLiteral("svg:y"), Mm(mm.top()));
        xml.writeAttribute(QStringLiteral("svg:width"), Mm(std::max(mm.width(), 0.01)));
        xml.writeAttribute(QStringLiteral("svg:height"), Mm(std::max(mm.height(), 0.01)));
      };
      for (const PreparedLine& line : page.lines) {
        if (line.points.size() < 2) continue;
        float x0 = line.points[0].x, y0 = line.points[0].y, x1 = x0, y1 = y0;
        for (const auto& pt : line.points) {
          x0 = std::min(x0, pt.x), y0 = std::min(y0, pt.y);
          x1 = std::max(x1, pt.x), y1 = std::max(y1, pt.y);
        }
        const QRectF box(QPointF(x0, y0), QPointF(x1, y1));
        // Points in hundredths of a mm within the box.
        const int w = std::max(1, int(std::lround(box.width() * 100)));
        const int h = std::max(1, int(std::lround(box.height() * 100)));
        QString points;
        points.reserve(qsizetype(line.points.size()) * 10);
        for (const auto& pt : line.points) {
          if (!points.isEmpty()) points += u' ';
          points += QString::number(std::lround((pt.x - x0) * 100));
          points += u',';
          points += QString::number(std::lround((pt.y - y0) * 100));
        }
        xml.writeEmptyElement(QStringLiteral("draw:polyline"));
        anchor(lines_.Name({line.colour & 0xFFFFFF, Micro(line.widthMm)}), QRectF(box.topLeft(), QSizeF(w / 100.0, h / 100.0)));
        xml.writeAttribute(QStringLiteral("svg:viewBox"), QStringLiteral("0 0 %1 %2").arg(w).arg(h));
        xml.writeAttribute(QStringLiteral("draw:points"), points);
      }
      for (const PreparedCell* cell : flow_.pages[p].freeCells) {
        xml.writeStartElement(QStringLiteral("draw:frame"));
        anchor(QStringLiteral("Label"), cell->rect);
        xml.writeStartElement(QStringLiteral("draw:text-box"));
        Paragraph(xml, *cell);
        xml.writeEndElement();
        xml.writeEndElement();
        usesLabels_ = true;
      }
    }
  }

  void Paragraph(QXmlStreamWriter& xml, const PreparedCell& cell) {
    xml.writeStartElement(QStringLiteral("text:p"));
    xml.writeAttribute(QStringLiteral("text:style-name"),
                       paragraphs_.Name({int(std::lround(cell.fontPt * 4)), int(cell.align)}));
    WriteOdfText(xml, cell.text);
    xml.writeEndElement();
  }

  void Page(QXmlStreamWriter& xml, size_t p) {
    const FlowPage& page = flow_.pages[p];
    bool first = true;
    // The page's first element breaks the page (the document's first one names the
    // first page's page style instead).
    auto breaking = [&] {
      const bool b = first && p > 0;
      const bool m = first && p == 0 && firstMaster_;
      first = false;
      return std::pair{b, m};
    };
    if (page.tables.empty()) {
      const auto [b, m] = breaking();
      Gap(xml, 0, b, m);
    }
    for (const FlowTable& t : page.tables) {
      bool b = false, m = false;
      if (t.gapBefore > 0.005) {
        std::tie(b, m) = breaking();
        Gap(xml, t.gapBefore, b, m);
        b = m = false;
      } else {
        std::tie(b, m) = breaking();
      }
      Table(xml, *page.page, t, b, m);
    }
  }

  void Gap(QXmlStreamWriter& xml, double height, bool breakBefore, bool master) {
    xml.writeEmptyElement(QStringLiteral("text:p"));
    xml.writeAttribute(QStringLiteral("text:style-name"), gaps_.Name({Micro(height), breakBefore, master}));
  }

  void Table(QXmlStreamWriter& xml, const PreparedPage& page, const FlowTable& t, bool breakBefore,
             bool master) {
    double width = 0;
    for (double w : t.widths) width += w;
    xml.writeStartElement(QStringLiteral("table:table"));
    xml.writeAttribute(QStringLiteral("table:name"), QStringLiteral("Table%1").arg(++tableCount_));
    xml.writeAttribute(QStringLiteral("table:style-name"),
                       tables_.Name({Micro(width), Micro(t.left - r_.page.left), breakBefore, master}));
    for (double w : t.widths) {
      xml.writeEmptyElement(QStringLiteral("table:table-column"));
      xml.writeAttribute(QStringLiteral("table:style-name"), columns_.Name(Micro(w)));
    }
    for (size_t i = 0; i < t.rows.size(); ++i) {
      if (i == 0 && t.headerRows > 0) xml.writeStartElement(QStringLiteral("table:table-header-rows"));
      const PreparedBand& band = *t.rows[i];
      const PreparedCell& firstCell = page.cells[size_t(band.first)];
      xml.writeStartElement(QStringLiteral("table:table-row"));
      xml.writeAttribute(QStringLiteral("table:style-name"), rows_.Name(Micro(firstCell.rect.height())));
      for (int c = 0; c < band.count; ++c) {
        const PreparedCell& cell = page.cells[size_t(band.first + c)];
        xml.writeStartElement(QStringLiteral("table:table-cell"));
        xml.writeAttribute(QStringLiteral("table:style-name"), cell.frame ? QStringLiteral("Framed") : QStringLiteral("Open"));
        xml.writeAttribute(QStringLiteral("office:value-type"), QStringLiteral("string"));
        Paragraph(xml, cell);
        xml.writeEndElement();
      }
      xml.writeEndElement();
      if (t.headerRows > 0 && int(i) == t.headerRows - 1) xml.writeEndElement();
    }
    xml.writeEndElement();
  }

  void AutomaticStyles(QXmlStreamWriter& xml) const {
    xml.writeStartElement(QStringLiteral("office:automatic-styles"));
    auto style = [&](const QString& name, const char* family) {
      xml.writeStartElement(QStringLiteral("style:style"));
      xml.writeAttribute(QStringLiteral("style:name"), name);
      xml.writeAttribute(QStringLiteral("style:family"), QLatin1StringView(family));
    };
    auto firstPageStyle = [&](bool master) {
      if (master) xml.writeAttribute(QStringLiteral("style:master-page-name"), QStringLiteral("First_20_Page"));
    };
    const auto& tables = tables_.Keys();
    for (size_t i = 0; i < tables.size(); ++i) {
      const auto [width, left, breakBefore, master] = tables[i];
      style(tables_.NameAt(int(i)), "table");
      firstPageStyle(master);
      xml.writeEmptyElement(QStringLiteral("style:table-properties"));
      xml.writeAttribute(QStringLiteral("style:width"), Mm(width / 1000.0));
      xml.writeAttribute(QStringLiteral("fo:margin-left"), Mm(left / 1000.0));
      xml.writeAttribute(QStringLiteral("fo:margin-top"), Mm(0));
      xml.writeAttribute(QStringLiteral("fo:margin-bottom"), Mm(0));
      xml.writeAttribute(QStringLiteral("table:align"), QStringLiteral("left"));
      xml.writeAttribute(QStringLiteral("table:border-model"), QStringLiteral("collapsing"));
      if (breakBefore) xml.writeAttribute(QStringLiteral("fo:break-before"), QStringLiteral("page"));
      xml.writeEndElement();
    }
    const auto& columns = columns_.Keys();
    for (size_t i = 0; i < columns.size(); ++i) {
      style(columns_.NameAt(int(i)), "table-column");
      xml.writeEmptyElement(QStringLiteral("style:table-column-properties"));
      xml.writeAttribute(QStringLiteral("style:column-width"), Mm(columns[i] / 1000.0));
      xml.writeEndElement();
    }
    const auto& rows = rows_.Keys();
    for (size_t i = 0; i < rows.size(); ++i) {
      style(rows_.NameAt(int(i)), "table-row");
      xml.writeEmptyElement(QStringLiteral("style:table-row-properties"));
      xml.writeAttribute(QStringLiteral("style:row-height"), Mm(rows[i] / 1000.0));
      xml.writeAttribute(QStringLiteral("fo:keep-together"), QStringLiteral("always"));
      xml.writeEndElement();
    }
    for (const bool framed : {true, false}) {
      style(framed ? QStringLiteral("Framed") : QStringLiteral("Open"), "table-cell");
      xml.writeEmptyElement(QStringLiteral("style:table-cell-properties"));
      xml.writeAttribute(QStringLiteral("fo:border"),
                         framed ? Mm(kFrameMm) + QStringLiteral(" solid #000000") : QStringLiteral("none"));
      xml.writeAttribute(QStringLiteral("fo:padding-left"), Mm(kOdtPaddingMm));
      xml.writeAttribute(QStringLiteral("fo:padding-right"), Mm(kOdtPaddingMm));
      xml.writeAttribute(QStringLiteral("fo:padding-top"), Mm(0));
      xml.writeAttribute(QStringLiteral("fo:padding-bottom"), Mm(0));
      xml.writeAttribute(QStringLiteral("style:vertical-align"), QStringLiteral("middle"));
      xml.writeEndElement();
    }
    const auto& paragraphs = paragraphs_.Keys();
    for (size_t i = 0; i < paragraphs.size(); ++i) {
      const auto [quarterPt, align] = paragraphs[i];
      style(paragraphs_.NameAt(int(i)), "paragraph");
      xml.writeAttribute(QStringLiteral("style:parent-style-name"), QStringLiteral("Standard"));
      xml.writeEmptyElement(QStringLiteral("style:paragraph-properties"));
      xml.writeAttribute(QStringLiteral("fo:text-align"), align == int(CellAlign::Left)    ? QStringLiteral("start")
                                                          : align == int(CellAlign::Right) ? QStringLiteral("end")
                                                                                           : QStringLiteral("center"));
      xml.writeAttribute(QStringLiteral("fo:margin-top"), Mm(0));
      xml.writeAttribute(QStringLiteral("fo:margin-bottom"), Mm(0));
      TextProperties(xml, quarterPt / 4.0);
      xml.writeEndElement();
    }
    const auto& gaps = gaps_.Keys();
    for (size_t i = 0; i < gaps.size(); ++i) {
      const auto [height, breakBefore, master] = gaps[i];
      style(gaps_.NameAt(int(i)), "paragraph");
      xml.writeAttribute(QStringLiteral("style:parent-style-name"), QStringLiteral("Standard"));
      firstPageStyle(master);
      xml.writeEmptyElement(QStringLiteral("style:paragraph-properties"));
      xml.writeAttribute(QStringLiteral("fo:line-height"), Mm(std::max(height / 1000.0, 0.1)));
      xml.writeAttribute(QStringLiteral("fo:margin-top"), Mm(0));
      xml.writeAttribute(QStringLiteral("fo:margin-bottom"), Mm(0));
      if (breakBefore) xml.writeAttribute(QStringLiteral("fo:break-before"), QStringLiteral("page"));
      TextProperties(xml, 1);
      xml.writeEndElement();
    }
    style(QStringLiteral("End"), "paragraph");
    xml.writeAttribute(QStringLiteral("style:parent-style-name"), QStringLiteral("Standard"));
    xml.writeEmptyElement(QStringLiteral("style:paragraph-properties"));
    xml.writeAttribute(QStringLiteral("fo:line-height"), Mm(0.1));
    xml.writeAttribute(QStringLiteral("fo:margin-top"), Mm(0));
    xml.writeAttribute(QStringLiteral("fo:margin-bottom"), Mm(0));
    TextProperties(xml, 1);
    xml.writeEndElement();
    const auto& lines = lines_.Keys();
    for (size_t i = 0; i < lines.size(); ++i) {
      const auto [rgb, width] = lines[i];
      style(lines_.NameAt(int(i)), "graphic");
      xml.writeEmptyElement(QStringLiteral("style:graphic-properties"));
      xml.writeAttribute(QStringLiteral("draw:stroke"), QStringLiteral("solid"));
      xml.writeAttribute(QStringLiteral("svg:stroke-color"), odf::Colour(rgb));
      xml.writeAttribute(QStringLiteral("svg:stroke-width"), Mm(width / 1000.0));
      xml.writeAttribute(QStringLiteral("draw:stroke-linejoin"), QStringLiteral("round"));
      xml.writeAttribute(QStringLiteral("draw:fill"), QStringLiteral("none"));
      ShapePlacement(xml);
      xml.writeEndElement();
    }
    if (usesLabels_) {
      style(QStringLiteral("Label"), "graphic");
      xml.writeEmptyElement(QStringLiteral("style:graphic-properties"));
      xml.writeAttribute(QStringLiteral("draw:stroke"), QStringLiteral("none"));
      xml.writeAttribute(QStringLiteral("draw:fill"), QStringLiteral("none"));
      xml.writeAttribute(QStringLiteral("fo:border"), QStringLiteral("none"));
      xml.writeAttribute(QStringLiteral("fo:padding"), Mm(0));
      xml.writeAttribute(QStringLiteral("draw:textarea-vertical-align"), QStringLiteral("middle"));
      ShapePlacement(xml);
      xml.writeEndElement();
    }
    xml.writeEndElement();
  }

  static void ShapePlacement(QXmlStreamWriter& xml) {
    xml.writeAttribute(QStringLiteral("style:wrap"), QStringLiteral("run-through"));
    xml.writeAttribute(QStringLiteral("style:run-through"), QStringLiteral("foreground"));
    xml.writeAttribute(QStringLiteral("style:vertical-pos"), QStringLiteral("from-top"));
    xml.writeAttribute(QStringLiteral("style:vertical-rel"), QStringLiteral("page"));
    xml.writeAttribute(QStringLiteral("style:horizontal-pos"), QStringLiteral("from-left"));
    xml.writeAttribute(QStringLiteral("style:horizontal-rel"), QStringLiteral("page"));
  }

  const PreparedReport& r_;
  const ReportExportOptions& o_;
  FlowDocument flow_;
  bool firstMaster_ = false;
  bool usesLabels_ = false;
  int tableCount_ = 0;
  Registry<ParagraphKey> paragraphs_{QStringLiteral("P")};
  Registry<TableKey> tables_{QStringLiteral("Tb")};
  Registry<int> columns_{QStringLiteral("Co")};
  Registry<int> rows_{QStringLiteral("Ro")};
  Registry<GapKey> gaps_{QStringLiteral("G")};
  Registry<LineKey> lines_{QStringLiteral("gr")};
};

}  // namespace

void WriteOdfText(QXmlStreamWriter& xml, const QString& text) {
  QString run;
  auto flush = [&] {
    if (!run.isEmpty()) xml.writeCharacters(run);
    run.clear();
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'\t') {
      flush();
      xml.writeEmptyElement(QStringLiteral("text:tab"));
    } else if (c == u'\n' || c == u'\r') {
      flush();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      xml.writeEmptyElement(QStringLiteral("text:line-break"));
    } else if (c == u' ' && (i == 0 || text[i - 1] == u' ' || i + 1 == text.size())) {
      // A blank at either end, or after another, is kept only as text:s.
      qsizetype n = 1;
      while (i + n < text.size() && text[i + n] == u' ') ++n;
      flush();
      xml.writeEmptyElement(QStringLiteral("text:s"));
      if (n > 1) xml.writeAttribute(QStringLiteral("text:c"), QString::number(n));
      i += n - 1;
    } else if (c.unicode() < 0x20) {
      // Other control characters have no place in XML.
      run += u' ';
    } else {
      run += c;
    }
  }
  flush();
}

QByteArray OdtBytes(const PreparedReport& report, const ReportExportOptions& options, QString& error) {
  OdtWriter writer(report, options);
  QByteArray content = writer.Content();
  return odf::Package(QStringLiteral("application/vnd.oasis.opendocument.text"),
                      {{QStringLiteral("content.xml"), content},
                       {QStringLiteral("styles.xml"), writer.Styles()},
                       {QStringLiteral("meta.xml"), odf::Meta(ReportTitle(report), options.Created())}},
                      error);
}

}  // namespace zarn
