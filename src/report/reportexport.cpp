#include "reportexport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QTextTable>
#include <algorithm>

#include <xlsxwriter.h>

#include "common/numbers.h"
#include "common/texts.h"
#include "data/presenters.h"
#include "report/exportfile.h"
#include "report/reportpaint.h"

namespace zarn {
namespace {

constexpr double kPointMm = 25.4 / 72;

const TextPair txtExportFailed{u"Не удалось подготовить файл: %1", u"Could not make the file: %1"};

// The report as a table: the title, the column headings (the first page header) and
// every master-data line in order, with the columns' widths in mm.
struct ReportTable {
  QString title;
  double titleHeight = 0;
  std::vector<double> widths;
  std::vector<QString> headings;
  double headingHeight = 0;
  std::vector<std::vector<const PreparedCell*>> rows;
  double rowHeight = 0;
};

ReportTable TableOf(const PreparedReport& report) {
  ReportTable t;
  for (const PreparedPage& page : report.pages) {
    for (const PreparedBand& band : page.bands) {
      const auto first = page.cells.begin() + band.first;
      switch (band.kind) {
        case BandKind::Title:
          if (band.count > 0) {
            t.title = first->text;
            t.titleHeight = first->rect.height();
          }
          break;
        case BandKind::PageHeader:
          if (t.headings.empty()) {
            for (auto c = first; c != first + band.count; ++c) {
              t.headings.push_back(c->text);
              t.widths.push_back(c->rect.width());
              t.headingHeight = c->rect.height();
            }
          }
          break;
        case BandKind::MasterData: {
          std::vector<const PreparedCell*> row;
          row.reserve(size_t(band.count));
          for (auto c = first; c != first + band.count; ++c) {
            row.push_back(&*c);
            t.rowHeight = c->rect.height();
            if (t.widths.size() < row.size()) t.widths.push_back(c->rect.width());
          }
          t.rows.push_back(std::move(row));
          break;
        }
        case BandKind::PageFooter:
          break;
      }
    }
  }
  return t;
}

// ---- Plain text

QString Centred(const QString& text, int width) {
  const int room = std::max(0, width - int(text.size()));
  return QString(room / 2, u' ') + text + QString(room - room / 2, u' ');
}

void AppendLine(QString& out, QString line) {
  while (line.endsWith(u' ')) line.chop(1);
  out += line;
  out += u'\n';
}

QByteArray TextBytes(const PreparedReport& report) {
  // Every column as wide as its widest text anywhere in the report, so that nothing is
  // cut and the columns line up on every page.
  std::vector<int> widths;
  for (const PreparedPage& page : report.pages) {
    for (const PreparedBand& band : page.bands) {
      if (band.kind != BandKind::PageHeader && band.kind != BandKind::MasterData) continue;
      if (widths.size() < size_t(band.count)) widths.resize(size_t(band.count), 1);
      for (int i = 0; i < band.count; ++i)
        widths[size_t(i)] = std::max(widths[size_t(i)], int(page.cells[size_t(band.first + i)].text.size()));
    }
  }
  int lineWidth = 0;
  for (int w : widths) lineWidth += w;
  lineWidth += 3 * std::max(0, int(widths.size()) - 1);
  auto row = [&](const PreparedPage& page, const PreparedBand& band) {
    QString line;
    for (int i = 0; i < band.count; ++i) {
      if (i > 0) line += QStringLiteral(" | ");
      line += Centred(page.cells[size_t(band.first + i)].text, widths[size_t(i)]);
    }
    return line;
  };
  QString out;
  for (size_t p = 0; p < report.pages.size(); ++p) {
    const PreparedPage& page = report.pages[p];
    if (p > 0) out += u'\f';
    for (const PreparedBand& band : page.bands) {
      const QString& first = page.cells[size_t(band.first)].text;
      switch (band.kind) {
        case BandKind::Title:
          AppendLine(out, Centred(first, lineWidth));
          AppendLine(out, {});
          break;
        case BandKind::PageHeader: {
          AppendLine(out, row(page, band));
          QString rule;
          for (size_t i = 0; i < widths.size(); ++i) {
            if (i > 0) rule += QStringLiteral("-+-");
            rule += QString(widths[i], u'-');
          }
          AppendLine(out, rule);
          break;
        }
        case BandKind::MasterData:
          AppendLine(out, row(page, band));
          break;
        case BandKind::PageFooter:
          AppendLine(out, {});
          AppendLine(out, Centred(first, lineWidth));
          break;
      }
    }
  }
  return out.toUtf8();
}

// ---- HTML

QString Escaped(const QString& text) { return text.toHtmlEscaped(); }

QString Mm(double mm) { return QString::number(mm, 'f', 2) + QStringLiteral("mm"); }

QByteArray HtmlBytes(const PreparedReport& report, int language) {
  const PageGeometry& g = report.page;
  QString out;
  out.reserve(qsizetype(report.pages.size()) * 40000);
  out += QStringLiteral("<!DOCTYPE html>\n<html lang=\"%1\">\n<head>\n<meta charset=\"utf-8\">\n")
             .arg(language == kEnglish ? u"en" : u"ru");
  out += QStringLiteral("<title>%1</title>\n").arg(Escaped(ReportTitle(report)));
  out += QStringLiteral(
             "<style>\n"
             "@page { size: %1 %2; margin: %3 %4 %5 %6; }\n"
             "body { font-family: \"%7\", \"Liberation Serif\", serif; color: #000; }\n"
             ".page { width: %8; break-after: page; margin-bottom: 10mm; }\n"
             ".page:last-child { break-after: auto; }\n"
             ".title { font-size: 14pt; text-align: center; display: flex; align-items: center;"
             " justify-content: center; margin: 0; font-weight: normal; }\n"
             "table { border-collapse: collapse; table-layout: fixed; width: %8; }\n"
             "th, td { border: 0.26mm solid #000; text-align: center; vertical-align: middle;"
             " font-size: 10pt; font-weight: normal; padding: 0 0.5mm; white-space: nowrap;"
             " overflow: hidden; }\n"
             ".footer { font-size: 10pt; text-align: center; margin: 0; }\n"
             "</style>\n</head>\n<body>\n")
             .arg(Mm(g.width), Mm(g.height), Mm(g.top), Mm(g.right), Mm(g.bottom), Mm(g.left),
                  report.fontFamily, Mm(g.PrintableWidth()));
  auto cellStyle = [](const PreparedCell& c) {
    return c.fontPt == 10 ? QString() : QStringLiteral(" style=\"font-size: %1pt\"").arg(c.fontPt);
  };
  for (const PreparedPage& page : report.pages) {
    out += QStringLiteral("<section class=\"page\">\n");
    bool inTable = false;
    for (const PreparedBand& band : page.bands) {
      const PreparedCell& first = page.cells[size_t(band.first)];
      const auto cells = std::span(page.cells).subspan(size_t(band.first), size_t(band.count));
      switch (band.kind) {
        case BandKind::Title:
          out += QStringLiteral("<h1 class=\"title\" style=\"height: %1\">%2</h1>\n")
                     .arg(Mm(first.rect.height()), Escaped(first.text));
          break;
        case BandKind::PageHeader:
          out += QStringLiteral("<table>\n<colgroup>");
          for (const PreparedCell& c : cells)
            out += QStringLiteral("<col style=\"width: %1\">").arg(Mm(c.rect.width()));
          out += QStringLiteral("</colgroup>\n<thead><tr style=\"height: %1\">").arg(Mm(first.rect.height()));
          for (const PreparedCell& c : cells)
            out += QStringLiteral("<th%1>%2</th>").arg(cellStyle(c), Escaped(c.text));
          out += QStringLiteral("</tr></thead>\n<tbody>\n");
          inTable = true;
          break;
        case BandKind::MasterData:
          out += QStringLiteral("<tr style=\"height: %1\">").arg(Mm(first.rect.height()));
          for (const PreparedCell& c : cells) {
            out += QStringLiteral("<td");
            out += cellStyle(c);
            out += u'>';
            out += Escaped(c.text);
            out += QStringLiteral("</td>");
          }
          out += QStringLiteral("</tr>\n");
          break;
        case BandKind::PageFooter:
          if (inTable) out += QStringLiteral("</tbody>\n</table>\n");
          inTable = false;
          out += QStringLiteral("<p class=\"footer\" style=\"height: %1; line-height: %1\">%2</p>\n")
                     .arg(Mm(first.rect.height()), Escaped(first.text));
          break;
      }
    }
    if (inTable) out += QStringLiteral("</tbody>\n</table>\n");
    out += QStringLiteral("</section>\n");
  }
  out += QStringLiteral("</body>\n</html>\n");
  return out.toUtf8();
}

// ---- ODT

QByteArray OdtBytes(const PreparedReport& report, QString* error) {
  const ReportTable t = TableOf(report);
  QTextDocument doc;
  QFont font(report.fontFamily);
  font.setPointSizeF(10);
  doc.setDefaultFont(font);
  QTextCursor cursor(&doc);
  QTextBlockFormat centred;
  centred.setAlignment(Qt::AlignHCenter);
  // The family and size named on every text, not only as the document's default.
  QTextCharFormat cellFormat;
  cellFormat.setFontFamilies(QStringList{report.fontFamily});
  cellFormat.setFontPointSize(10);
  if (!t.title.isEmpty()) {
    QTextCharFormat titleFormat = cellFormat;
    titleFormat.setFontPointSize(14);
    cursor.setBlockFormat(centred);
    cursor.insertText(t.title, titleFormat);
    cursor.insertBlock(centred);
  }
  const int columns = int(t.widths.size());
  if (columns > 0) {
    QTextTableFormat tableFormat;
    tableFormat.setHeaderRowCount(1);
    tableFormat.setBorder(0.75);
    tableFormat.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    tableFormat.setBorderBrush(Qt::black);
    tableFormat.setBorderCollapse(true);
    tableFormat.setCellSpacing(0);
    tableFormat.setCellPadding(1);
    QList<QTextLength> widths;
    for (double w : t.widths) widths.append(QTextLength(QTextLength::FixedLength, w / kPointMm));
    tableFormat.setColumnWidthConstraints(widths);
    QTextTable* table = cursor.insertTable(int(t.rows.size()) + 1, columns, tableFormat);
    auto put = [&](int r, int c, const QString& text) {
      QTextCursor at = table->cellAt(r, c).firstCursorPosition();
      at.setBlockFormat(centred);
      if (!text.isEmpty()) at.insertText(text, cellFormat);
    };
    for (int c = 0; c < columns && c < int(t.headings.size()); ++c) put(0, c, t.headings[size_t(c)]);
    for (size_t r = 0; r < t.rows.size(); ++r) {
      for (int c = 0; c < columns && c < int(t.rows[r].size()); ++c)
        put(int(r) + 1, c, t.rows[r][size_t(c)]->text);
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QTextDocumentWriter writer(&buffer, "ODF");
  if (!writer.write(&doc)) {
    if (error) *error = QStringLiteral("ODF");
    return {};
  }
  return bytes;
}

// ---- CSV

QByteArray CsvExportBytes(const PreparedReport& report) {
  const ReportTable t = TableOf(report);
  QString text;
  text.reserve(qsizetype(t.rows.size()) * 80 + 256);
  AppendCsvRow(text, t.headings);
  std::vector<QString> cells;
  for (const auto& row : t.rows) {
    cells.clear();
    for (const PreparedCell* c : row) cells.push_back(c->text);
    AppendCsvRow(text, cells);
  }
  return CsvBytes(text);
}

// ---- XLSX

// A column width in the spreadsheet's units (the width of a digit of its default font,
// about 7 pixels at 96 dpi, plus 5 pixels of margin).
double SheetColumnWidth(double mm) { return std::max(1.0, (mm * 96 / 25.4 - 5) / 7); }
double SheetPoints(double mm) { return mm / kPointMm; }

QByteArray XlsxBytes(const PreparedReport& report, const ReportExportOptions& options,
                     QString* error) {
  const ReportTable t = TableOf(report);
  QTemporaryDir scratch;
  if (!scratch.isValid()) {
    if (error) *error = scratch.errorString();
    return {};
  }
  const QByteArray path = QFile::encodeName(scratch.filePath(QStringLiteral("report.xlsx")));
  QByteArray tmpdir = QFile::encodeName(scratch.path());
  lxw_workbook_options workbookOptions{};
  workbookOptions.tmpdir = tmpdir.data();
  lxw_workbook* book = workbook_new_opt(path.constData(), &workbookOptions);
  if (!book) {
    if (error) *error = QStringLiteral("xlsx");
    return {};
  }
  const QByteArray sheetName = t.title.left(31).toUtf8();
  lxw_worksheet* sheet = workbook_add_worksheet(book, sheetName.isEmpty() ? nullptr : sheetName.constData());
  if (!sheet) sheet = workbook_add_worksheet(book, nullptr);
  const QByteArray family = report.fontFamily.toUtf8();
  auto format = [&](double pt, bool border) {
    lxw_format* f = workbook_add_format(book);
    format_set_font_name(f, family.constData());
    format_set_font_size(f, pt);
    format_set_align(f, LXW_ALIGN_CENTER);
    format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    if (border) format_set_border(f, LXW_BORDER_THIN);
    return f;
  };
  lxw_format* titleFormat = format(14, false);
  lxw_format* headingFormat = format(10, true);
  format_set_text_wrap(headingFormat);
  lxw_format* textFormat = format(10, true);
  lxw_format* numberFormat = format(10, true);
  format_set_num_format(numberFormat, "General");

  const int columns = int(t.widths.size());
  for (int c = 0; c < columns; ++c)
    worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), SheetColumnWidth(t.widths[size_t(c)]), nullptr);
  lxw_row_t row = 0;
  if (!t.title.isEmpty() && columns > 0) {
    worksheet_set_row(sheet, row, SheetPoints(t.titleHeight), nullptr);
    const QByteArray title = t.title.toUtf8();
    if (columns > 1)
      worksheet_merge_range(sheet, row, 0, row, lxw_col_t(columns - 1), title.constData(), titleFormat);
    else
      worksheet_write_string(sheet, row, 0, title.constData(), titleFormat);
    ++row;
  }
  const lxw_row_t headingRow = row;
  worksheet_set_row(sheet, row, SheetPoints(t.headingHeight), nullptr);
  for (int c = 0; c < int(t.headings.size()); ++c)
    worksheet_write_string(sheet, row, lxw_col_t(c), t.headings[size_t(c)].toUtf8().constData(), headingFormat);
  ++row;
  std::vector<bool> numeric(size_t(columns), false);
  for (int c : options.numberColumns) {
    if (c >= 0 && c < columns) numeric[size_t(c)] = true;
  }
  for (const auto& cells : t.rows) {
    worksheet_set_row(sheet, row, SheetPoints(t.rowHeight), nullptr);
    for (int c = 0; c < int(cells.size()); ++c) {
      const QString& text = cells[size_t(c)]->text;
      const std::optional<double> number =
          size_t(c) < numeric.size() && numeric[size_t(c)] ? ParseNumber(text) : std::nullopt;
      if (number) worksheet_write_number(sheet, row, lxw_col_t(c), *number, numberFormat);
      else if (text.isEmpty()) worksheet_write_blank(sheet, row, lxw_col_t(c), textFormat);
      else worksheet_write_string(sheet, row, lxw_col_t(c), text.toUtf8().constData(), textFormat);
    }
    ++row;
  }
  // Printed from the spreadsheet: the same paper and margins, the headings on every page.
  const PageGeometry& g = report.page;
  worksheet_set_paper(sheet, 9);  // A4
  if (g.width > g.height) worksheet_set_landscape(sheet);
  worksheet_set_margins(sheet, g.left / 25.4, g.right / 25.4, g.top / 25.4, g.bottom / 25.4);
  worksheet_repeat_rows(sheet, headingRow, headingRow);
  worksheet_freeze_panes(sheet, headingRow + 1, 0);
  const lxw_error closed = workbook_close(book);
  if (closed != LXW_NO_ERROR) {
    if (error) *error = QString::fromUtf8(lxw_strerror(closed));
    return {};
  }
  QFile file(QFile::decodeName(path));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = file.errorString();
    return {};
  }
  return file.readAll();
}

}  // namespace

QString ReportFormatName(ReportFormat format) {
  switch (format) {
    case ReportFormat::Pdf: return QStringLiteral("pdf");
    case ReportFormat::Text: return QStringLiteral("txt");
    case ReportFormat::Html: return QStringLiteral("html");
    case ReportFormat::Odt: return QStringLiteral("odt");
    case ReportFormat::Csv: return QStringLiteral("csv");
    case ReportFormat::Xlsx: return QStringLiteral("xlsx");
  }
  return {};
}

std::optional<ReportFormat> ReportFormatFromName(QStringView name) {
  for (ReportFormat f : kReportFormats) {
    if (name == ReportFormatName(f)) return f;
  }
  return std::nullopt;
}

QString ReportFormatFilter(ReportFormat format, int language) {
  const bool ru = language != kEnglish;
  QString kind;
  switch (format) {
    case ReportFormat::Pdf: kind = QStringLiteral("PDF"); break;
    case ReportFormat::Text: kind = ru ? QStringLiteral("Текст") : QStringLiteral("Plain text"); break;
    case ReportFormat::Html: kind = QStringLiteral("HTML"); break;
    case ReportFormat::Odt: kind = ru ? QStringLiteral("Текстовый документ ODF") : QStringLiteral("ODF text document"); break;
    case ReportFormat::Csv: kind = ru ? QStringLiteral("Таблица CSV") : QStringLiteral("CSV table"); break;
    case ReportFormat::Xlsx: kind = ru ? QStringLiteral("Книга Excel") : QStringLiteral("Excel workbook"); break;
  }
  return QStringLiteral("%1 (*.%2)").arg(kind, ReportFormatName(format));
}

QString ReportTitle(const PreparedReport& report) {
  for (const PreparedPage& page : report.pages) {
    for (const PreparedBand& band : page.bands) {
      if (band.kind == BandKind::Title && band.count > 0) return page.cells[size_t(band.first)].text;
    }
  }
  return {};
}

QByteArray ReportBytes(const PreparedReport& report, ReportFormat format,
                       const ReportExportOptions& options, QString* error) {
  switch (format) {
    case ReportFormat::Pdf: {
      QByteArray pdf = ReportPdf(report, ReportTitle(report));
      if (pdf.isEmpty() && error) *error = QStringLiteral("PDF");
      return pdf;
    }
    case ReportFormat::Text: return TextBytes(report);
    case ReportFormat::Html: return HtmlBytes(report, options.language);
    case ReportFormat::Odt: return OdtBytes(report, error);
    case ReportFormat::Csv: return CsvExportBytes(report);
    case ReportFormat::Xlsx: return XlsxBytes(report, options, error);
  }
  return {};
}

QString ExportReport(const PreparedReport& report, ReportFormat format, const QString& path,
                     const ReportExportOptions& options) {
  QString why;
  const QByteArray bytes = ReportBytes(report, format, options, &why);
  if (bytes.isEmpty()) return txtExportFailed.Str(options.language).arg(why);
  const ExportWriteResult written = WriteExportFile(path, bytes, options.language);
  return written.ok ? QString() : written.error;
}

}  // namespace zarn
