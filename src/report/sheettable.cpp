#include "sheettable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cmath>

#include <xlsxwriter.h>

#include "common/numbers.h"
#include "report/exportformats.h"
#include "report/odf.h"

namespace zarn {
namespace {

constexpr double kPointMm = 25.4 / 72;

// A number text as a value: the program's decimal comma made a point, the text kept
// digit for digit (no second rounding through a double's text).
QString ValueText(const QString& text) {
  QString v = text;
  v.replace(u',', u'.');
  return v;
}

bool IsListReport(const PreparedReport& report) {
  for (const PreparedPage& page : report.pages) {
    for (const PreparedBand& band : page.bands) {
      if (band.kind == BandKind::PageHeader) return true;
    }
  }
  return false;
}

std::vector<SheetCell> CellsOf(const PreparedPage& page, const PreparedBand& band) {
  std::vector<SheetCell> row;
  row.reserve(size_t(band.count));
  for (int i = 0; i < band.count; ++i) {
    const PreparedCell& c = page.cells[size_t(band.first + i)];
    row.push_back({c.text, c.number && IsNumberText(c.text), c.fontPt, c.frame});
  }
  return row;
}

}  // namespace

SheetTable SheetOf(const PreparedReport& report) {
  SheetTable t;
  t.page = report.page;
  t.fontFamily = report.fontFamily;
  const bool list = IsListReport(report);
  auto widen = [&](const PreparedPage& page, const PreparedBand& band) {
    if (t.widths.size() < size_t(band.count)) t.widths.resize(size_t(band.count), 0);
    for (int i = 0; i < band.count; ++i)
      t.widths[size_t(i)] = std::max(t.widths[size_t(i)], page.cells[size_t(band.first + i)].rect.width());
  };
  for (size_t p = 0; p < report.pages.size(); ++p) {
    const PreparedPage& page = report.pages[p];
    if (!list && p > 0) {
      t.rows.emplace_back();
      t.rowHeights.push_back(5);
    }
    for (const PreparedBand& band : page.bands) {
      if (band.count <= 0) continue;
      const PreparedCell& first = page.cells[size_t(band.first)];
      switch (band.kind) {
        case BandKind::Title:
          if (list) {
            if (t.title.isEmpty()) {
              t.title = first.text;
              t.titleHeight = first.rect.height();
            }
            break;
          }
          [[fallthrough]];
        case BandKind::Body:
          t.rows.push_back(CellsOf(page, band));
          t.rowHeights.push_back(first.rect.height());
          widen(page, band);
          break;
        case BandKind::PageHeader:
          if (t.headings.empty()) {
            for (int i = 0; i < band.count; ++i) t.headings.push_back(page.cells[size_t(band.first + i)].text);
            t.headingHeight = first.rect.height();
            widen(page, band);
          }
          break;
        case BandKind::MasterData:
          t.rows.push_back(CellsOf(page, band));
          t.rowHeights.push_back(first.rect.height());
          widen(page, band);
          break;
        case BandKind::PageFooter:
          if (!list) {
            t.rows.push_back(CellsOf(page, band));
            t.rowHeights.push_back(first.rect.height());
          }
          break;
        case BandKind::Free:
          break;
      }
    }
  }
  for (double& w : t.widths) w = std::max(w, 5.0);
  return t;
}

// ---- CSV

QByteArray SheetCsv(const SheetTable& table, const CsvDialect& dialect) {
  QString text;
  text.reserve(qsizetype(table.rows.size()) * 80 + 256);
  if (!table.headings.empty()) AppendCsvRow(text, table.headings, dialect);
  std::vector<QString> cells;
  for (const auto& row : table.rows) {
    cells.clear();
    NumberColumns numbers;
    for (size_t c = 0; c < row.size(); ++c) {
      cells.push_back(row[c].text);
      if (row[c].number) numbers.Add(int(c));
    }
    AppendCsvRow(text, cells, dialect, numbers);
  }
  return CsvBytes(text);
}

// ---- XLSX

namespace {

// A column width in the spreadsheet's units (the width of a digit of its default font,
// about 7 pixels at 96 dpi, plus 5 pixels of margin).
double SheetColumnWidth(double mm) { return std::max(1.0, (mm * 96 / 25.4 - 5) / 7); }
double SheetPoints(double mm) { return mm / kPointMm; }

}  // namespace

QByteArray SheetXlsx(const SheetTable& t, const QDateTime& created, QString& error) {
  QTemporaryDir scratch;
  if (!scratch.isValid()) {
    error = scratch.errorString();
    return {};
  }
  const QByteArray path = QFile::encodeName(scratch.filePath(QStringLiteral("report.xlsx")));
  QByteArray tmpdir = QFile::encodeName(scratch.path());
  lxw_workbook_options workbookOptions{};
  workbookOptions.tmpdir = tmpdir.data();
  lxw_workbook* book = workbook_new_opt(path.constData(), &workbookOptions);
  if (!book) {
    error = QStringLiteral("xlsx");
    return {};
  }
  lxw_doc_properties properties{};
  const QByteArray title = t.title.toUtf8();
  properties.title = const_cast<char*>(title.constData());
  properties.created = created.isValid() ? time_t(created.toSecsSinceEpoch()) : 0;
  workbook_set_properties(book, &properties);
  const QByteArray sheetName = t.title.left(31).toUtf8();
  lxw_worksheet* sheet = workbook_add_worksheet(book, sheetName.isEmpty() ? nullptr : sheetName.constData());
  if (!sheet) sheet = workbook_add_worksheet(book, nullptr);
  const QByteArray family = t.fontFamily.toUtf8();
  struct Format {
    float pt;
    bool border;
    bool number;
    lxw_format* format;
  };
  std::vector<Format> formats;
  auto format = [&](float pt, bool border, bool number = false, bool wrap = false) {
    for (const Format& f : formats) {
      if (f.pt == pt && f.border == border && f.number == number && !wrap) return f.format;
    }
    lxw_format* f = workbook_add_format(book);
    format_set_font_name(f, family.constData());
    format_set_font_size(f, pt);
    format_set_align(f, LXW_ALIGN_CENTER);
    format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    if (border) format_set_border(f, LXW_BORDER_THIN);
    if (number) format_set_num_format(f, "General");
    if (wrap) format_set_text_wrap(f);
    else formats.push_back({pt, border, number, f});
    return f;
  };
  lxw_format* titleFormat = format(14, false);
  lxw_format* headingFormat = format(10, true, false, true);

  const int columns = int(t.widths.size());
  for (int c = 0; c < columns; ++c)
    worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), SheetColumnWidth(t.widths[size_t(c)]), nullptr);
  lxw_row_t row = 0;
  if (!t.title.isEmpty() && columns > 0) {
    worksheet_set_row(sheet, row, SheetPoints(t.titleHeight), nullptr);
    if (columns > 1)
      worksheet_merge_range(sheet, row, 0, row, lxw_col_t(columns - 1), title.constData(), titleFormat);
    else
      worksheet_write_string(sheet, row, 0, title.constData(), titleFormat);
    ++row;
  }
  const lxw_row_t headingRow = row;
  if (!t.headings.empty()) {
    worksheet_set_row(sheet, row, SheetPoints(t.headingHeight), nullptr);
    for (int c = 0; c < int(t.headings.size()); ++c)
      worksheet_write_string(sheet, row, lxw_col_t(c), t.headings[size_t(c)].toUtf8().constData(), headingFormat);
    ++row;
  }
  for (size_t r = 0; r < t.rows.size(); ++r) {
    worksheet_set_row(sheet, row, SheetPoints(t.rowHeights[r]), nullptr);
    const auto& cells = t.rows[r];
    for (int c = 0; c < int(cells.size()); ++c) {
      const SheetCell& cell = cells[size_t(c)];
      const std::optional<double> number = cell.number ? ParseNumber(cell.text) : std::nullopt;
      if (number) worksheet_write_number(sheet, row, lxw_col_t(c), *number, format(cell.fontPt, cell.frame, true));
      else if (cell.text.isEmpty()) worksheet_write_blank(sheet, row, lxw_col_t(c), format(cell.fontPt, cell.frame));
      else worksheet_write_string(sheet, row, lxw_col_t(c), cell.text.toUtf8().constData(), format(cell.fontPt, cell.frame));
    }
    ++row;
  }
  // Printed from the spreadsheet: the same paper and margins, the headings on every page.
  const PageGeometry& g = t.page;
  worksheet_set_paper(sheet, 9);  // A4
  if (g.width > g.height) worksheet_set_landscape(sheet);
  worksheet_set_margins(sheet, g.left / 25.4, g.right / 25.4, g.top / 25.4, g.bottom / 25.4);
  if (!t.headings.empty()) {
    worksheet_repeat_rows(sheet, headingRow, headingRow);
    worksheet_freeze_panes(sheet, headingRow + 1, 0);
  }
  const lxw_error closed = workbook_close(book);
  if (closed != LXW_NO_ERROR) {
    error = QString::fromUtf8(lxw_strerror(closed));
    return {};
  }
  QFile file(QFile::decodeName(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
    return {};
  }
  return file.readAll();
}

// ---- ODS

namespace {

class OdsWriter {
 public:
  explicit OdsWriter(const SheetTable& t) : t_(t) {}

  QByteArray Content() {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    odf::StartPart(xml, QStringLiteral("office:document-content"));
    odf::FontFaces(xml, t_.fontFamily);
    Styles(xml);
    xml.writeStartElement(QStringLiteral("office:body"));
    xml.writeStartElement(QStringLiteral("office:spreadsheet"));
    xml.writeStartElement(QStringLiteral("table:table"));
    xml.writeAttribute(QStringLiteral("table:name"), SheetName());
    xml.writeAttribute(QStringLiteral("table:style-name"), QStringLiteral("ta1"));
    for (size_t c = 0; c < t_.widths.size(); ++c) {
      xml.writeEmptyElement(QStringLiteral("table:table-column"));
      xml.writeAttribute(QStringLiteral("table:style-name"), Column(c));
      xml.writeAttribute(QStringLiteral("table:default-cell-style-name"), QStringLiteral("Default"));
    }
    const int columns = int(t_.widths.size());
    if (!t_.title.isEmpty() && columns > 0) {
      Row(xml, t_.titleHeight);
      xml.writeStartElement(QStringLiteral("table:table-cell"));
      xml.writeAttribute(QStringLiteral("table:style-name"), QStringLiteral("Title"));
      xml.writeAttribute(QStringLiteral("office:value-type"), QStringLiteral("string"));
      xml.writeAttribute(QStringLiteral("table:number-columns-spanned"), QString::number(columns));
      TextParagraph(xml, t_.title);
      xml.writeEndElement();
      if (columns > 1) {
        xml.writeEmptyElement(QStringLiteral("table:covered-table-cell"));
        if (columns > 2)
          xml.writeAttribute(QStringLiteral("table:number-columns-repeated"), QString::number(columns - 1));
      }
      xml.writeEndElement();
    }
    if (!t_.headings.empty()) {
      // The heading row repeats on every printed page.
      xml.writeStartElement(QStringLiteral("table:table-header-rows"));
      Row(xml, t_.headingHeight);
      for (const QString& h : t_.headings) Cell(xml, {h, false, 10, true}, QStringLiteral("Heading"));
      xml.writeEndElement();
      xml.writeEndElement();
    }
    for (size_t r = 0; r < t_.rows.size(); ++r) {
      Row(xml, t_.rowHeights[r]);
      if (t_.rows[r].empty()) {
        xml.writeEmptyElement(QStringLiteral("table:table-cell"));
      }
      for (const SheetCell& cell : t_.rows[r]) Cell(xml, cell, CellStyle(cell));
      xml.writeEndElement();
    }
    xml.writeEndElement();  // table:table
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
  }

  // styles.xml: the default cell style in the report's font, and the page: the
  // report's paper and margins.
  QByteArray StylesPart() const {
    const PageGeometry& g = t_.page;
    QByteArray out;
    QXmlStreamWriter xml(&out);
    odf::StartPart(xml, QStringLiteral("office:document-styles"));
    odf::FontFaces(xml, t_.fontFamily);
    xml.writeStartElement(QStringLiteral("office:styles"));
    xml.writeStartElement(QStringLiteral("style:style"));
    xml.writeAttribute(QStringLiteral("style:name"), QStringLiteral("Default"));
    xml.writeAttribute(QStringLiteral("style:family"), QStringLiteral("table-cell"));
    xml.writeEmptyElement(QStringLiteral("style:text-properties"));
    xml.writeAttribute(QStringLiteral("style:font-name"), t_.fontFamily);
    xml.writeAttribute(QStringLiteral("fo:font-size"), QStringLiteral("10pt"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("office:automatic-styles"));
    xml.writeStartElement(QStringLiteral("style:page-layout"));
    xml.writeAttribute(QStringLiteral("style:name"), QStringLiteral("pm1"));
    xml.writeEmptyElement(QStringLiteral("style:page-layout-properties"));
    xml.writeAttribute(QStringLiteral("fo:page-width"), odf::Mm(g.width));
    xml.writeAttribute(QStringLiteral("fo:page-height"), odf::Mm(g.height));
    xml.writeAttribute(QStringLiteral("style:print-orientation"),
                       g.width > g.height ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    xml.writeAttribute(QStringLiteral("fo:margin-top"), odf::Mm(g.top));
    xml.writeAttribute(QStringLiteral("fo:margin-bottom"), odf::Mm(g.bottom));
    xml.writeAttribute(QStringLiteral("fo:margin-left"), odf::Mm(g.left));
    xml.writeAttribute(QStringLiteral("fo:margin-right"), odf::Mm(g.right));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("office:master-styles"));
    xml.writeEmptyElement(QStringLiteral("style:master-page"));
    xml.writeAttribute(QStringLiteral("style:name"), QStringLiteral("Default"));
    xml.writeAttribute(QStringLiteral("style:page-layout-name"), QStringLiteral("pm1"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
  }

  // settings.xml: the rows above the first line stay in view while the lines scroll.
  QByteArray Settings() const {
    const int frozen = (t_.title.isEmpty() ? 0 : 1) + (t_.headings.empty() ? 0 : 1);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    odf::StartPart(xml, QStringLiteral("office:document-settings"));
    xml.writeStartElement(QStringLiteral("office:settings"));
    auto item = [&](const char* name, const char* type, const QString& value) {
      xml.writeStartElement(QStringLiteral("config:config-item"));
      xml.writeAttribute(QStringLiteral("config:name"), QLatin1StringView(name));
      xml.writeAttribute(QStringLiteral("config:type"), QLatin1StringView(type));
      xml.writeCharacters(value);
      xml.writeEndElement();
    };
    xml.writeStartElement(QStringLiteral("config:config-item-set"));
    xml.writeAttribute(QStringLiteral("config:name"), QStringLiteral("ooo:view-settings"));
    xml.writeStartElement(QStringLiteral("config:config-item-map-indexed"));
    xml.writeAttribute(QStringLiteral("config:name"), QStringLiteral("Views"));
    xml.writeStartElement(QStringLiteral("config:config-item-map-entry"));
    item("ViewId", "string", QStringLiteral("view1"));
    xml.writeStartElement(QStringLiteral("config:config-item-map-named"));
    xml.writeAttribute(QStringLiteral("config:name"), QStringLiteral("Tables"));
    xml.writeStartElement(QStringLiteral("config:config-item-map-entry"));
    xml.writeAttribute(QStringLiteral("config:name"), SheetName());
    if (frozen > 0) {
      item("VerticalSplitMode", "short", QStringLiteral("2"));
      item("VerticalSplitPosition", "int", QString::number(frozen));
      item("ActiveSplitRange", "short", QStringLiteral("2"));
      item("PositionTop", "int", QStringLiteral("0"));
      item("PositionBottom", "int", QString::number(frozen));
    }
    xml.writeEndElement();
    xml.writeEndElement();
    item("ActiveTable", "string", SheetName());
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();  // config-item-set
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
  }

 private:
  QString SheetName() const {
    // Sheet names may not hold these characters.
    QString name = t_.title.isEmpty() ? QStringLiteral("Sheet1") : t_.title.left(31);
    for (QChar c : {u'[', u']', u'*', u'?', u':', u'/', u'\\', u'\''}) name.replace(c, u' ');
    return name;
  }

  QString Column(size_t c) {
    const int micro = int(std::lround(t_.widths[c] * 1000));
    auto it = std::find(columnWidths_.begin(), columnWidths_.end(), micro);
    if (it == columnWidths_.end()) it = columnWidths_.insert(columnWidths_.end(), micro);
    return QStringLiteral("co%1").arg(it - columnWidths_.begin() + 1);
  }

  void Row(QXmlStreamWriter& xml, double heightMm) {
    const int micro = int(std::lround(heightMm * 1000));
    auto it = std::find(rowHeights_.begin(), rowHeights_.end(), micro);
    if (it == rowHeights_.end()) it = rowHeights_.insert(rowHeights_.end(), micro);
    xml.writeStartElement(QStringLiteral("table:table-row"));
    xml.writeAttribute(QStringLiteral("table:style-name"), QStringLiteral("ro%1").arg(it - rowHeights_.begin() + 1));
  }

  QString CellStyle(const SheetCell& cell) {
    const auto key = std::pair{int(std::lround(cell.fontPt * 4)), cell.frame};
    auto it = std::find(cellStyles_.begin(), cellStyles_.end(), key);
    if (it == cellStyles_.end()) it = cellStyles_.insert(cellStyles_.end(), key);
    return QStringLiteral("ce%1").arg(it - cellStyles_.begin() + 1);
  }

  static void TextParagraph(QXmlStreamWriter& xml, const QString& text) {
    xml.writeStartElement(QStringLiteral("text:p"));
    WriteOdfText(xml, text);
    xml.writeEndElement();
  }

  void Cell(QXmlStreamWriter& xml, const SheetCell& cell, const QString& style) {
    xml.writeStartElement(QStringLiteral("table:table-cell"));
    xml.writeAttribute(QStringLiteral("table:style-name"), style);
    if (cell.number && ParseNumber(cell.text)) {
      xml.writeAttribute(QStringLiteral("office:value-type"), QStringLiteral("float"));
      xml.writeAttribute(QStringLiteral("office:value"), ValueText(cell.text));
      TextParagraph(xml, cell.text);
    } else if (!cell.text.isEmpty()) {
      xml.writeAttribute(QStringLiteral("office:value-type"), QStringLiteral("string"));
      TextParagraph(xml, cell.text);
    }
    xml.writeEndElement();
  }

  // The automatic styles come before the body in content.xml, but the body decides
  // which it needs: the widths, heights and sizes are collected first.
  void Styles(QXmlStreamWriter& xml) {
    for (size_t c = 0; c < t_.widths.size(); ++c) Column(c);
    const int micro = int(std::lround(t_.titleHeight * 1000));
    if (!t_.title.isEmpty()) rowHeights_.push_back(micro);
    auto note = [&](double mm) {
      const int m = int(std::lround(mm * 1000));
      if (std::find(rowHeights_.begin(), rowHeights_.end(), m) == rowHeights_.end()) rowHeights_.push_back(m);
    };
    if (!t_.headings.empty()) note(t_.headingHeight);
    for (size_t r = 0; r < t_.rows.size(); ++r) {
      note(t_.rowHeights[r]);
      for (const SheetCell& cell : t_.rows[r]) CellStyle(cell);
    }
    xml.writeStartElement(QStringLiteral("office:automatic-styles"));
    auto style = [&](const QString& name, const char* family) {
      xml.writeStartElement(QStringLiteral("style:style"));
      xml.writeAttribute(QStringLiteral("style:name"), name);
      xml.writeAttribute(QStringLiteral("style:family"), QLatin1StringView(family));
    };
    for (size_t i = 0; i < columnWidths_.size(); ++i) {
      style(QStringLiteral("co%1").arg(i + 1), "table-column");
      xml.writeEmptyElement(QStringLiteral("style:table-column-properties"));
      xml.writeAttribute(QStringLiteral("fo:break-before"), QStringLiteral("auto"));
      xml.writeAttribute(QStringLiteral("style:column-width"), odf::Mm(columnWidths_[i] / 1000.0));
      xml.writeEndElement();
    }
    for (size_t i = 0; i < rowHeights_.size(); ++i) {
      style(QStringLiteral("ro%1").arg(i + 1), "table-row");
      xml.writeEmptyElement(QStringLiteral("style:table-row-properties"));
      xml.writeAttribute(QStringLiteral("style:row-height"), odf::Mm(rowHeights_[i] / 1000.0));
      xml.writeAttribute(QStringLiteral("fo:break-before"), QStringLiteral("auto"));
      xml.writeAttribute(QStringLiteral("style:use-optimal-row-height"), QStringLiteral("false"));
      xml.writeEndElement();
    }
    style(QStringLiteral("ta1"), "table");
    xml.writeAttribute(QStringLiteral("style:master-page-name"), QStringLiteral("Default"));
    xml.writeEmptyElement(QStringLiteral("style:table-properties"));
    xml.writeAttribute(QStringLiteral("table:display"), QStringLiteral("true"));
    xml.writeEndElement();
    auto cellStyle = [&](const QString& name, double pt, bool frame, bool wrap) {
      style(name, "table-cell");
      xml.writeAttribute(QStringLiteral("style:parent-style-name"), QStringLiteral("Default"));
      xml.writeEmptyElement(QStringLiteral("style:table-cell-properties"));
      xml.writeAttribute(QStringLiteral("style:vertical-align"), QStringLiteral("middle"));
      xml.writeAttribute(QStringLiteral("fo:border"),
                         frame ? QStringLiteral("0.26mm solid #000000") : QStringLiteral("none"));
      if (wrap) xml.writeAttribute(QStringLiteral("fo:wrap-option"), QStringLiteral("wrap"));
      xml.writeEmptyElement(QStringLiteral("style:paragraph-properties"));
      xml.writeAttribute(QStringLiteral("fo:text-align"), QStringLiteral("center"));
      xml.writeEmptyElement(QStringLiteral("style:text-properties"));
      xml.writeAttribute(QStringLiteral("style:font-name"), t_.fontFamily);
      xml.writeAttribute(QStringLiteral("fo:font-size"), QString::number(pt) + QStringLiteral("pt"));
      xml.writeEndElement();
    };
    cellStyle(QStringLiteral("Title"), 14, false, false);
    cellStyle(QStringLiteral("Heading"), 10, true, true);
    for (size_t i = 0; i < cellStyles_.size(); ++i)
      cellStyle(QStringLiteral("ce%1").arg(i + 1), cellStyles_[i].first / 4.0, cellStyles_[i].second, false);
    xml.writeEndElement();
  }

  const SheetTable& t_;
  std::vector<int> columnWidths_;
  std::vector<int> rowHeights_;
  std::vector<std::pair<int, bool>> cellStyles_;
};

}  // namespace

QByteArray SheetOds(const SheetTable& table, const QDateTime& created, QString& error) {
  OdsWriter writer(table);
  QByteArray content = writer.Content();
  return odf::Package(QStringLiteral("application/vnd.oasis.opendocument.spreadsheet"),
                      {{QStringLiteral("content.xml"), content},
                       {QStringLiteral("styles.xml"), writer.StylesPart()},
                       {QStringLiteral("meta.xml"), odf::Meta(table.title, created)},
                       {QStringLiteral("settings.xml"), writer.Settings()}},
                      error);
}

}  // namespace zarn
