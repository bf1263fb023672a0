// The ODT export: the title and one table whose heading row the word processor
// repeats on every page it makes.

#include <QBuffer>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QTextTable>

#include "report/exportformats.h"
#include "report/sheettable.h"

namespace zarn {

QByteArray OdtBytes(const PreparedReport& report, const ReportExportOptions&, QString& error) {
  constexpr double kPointMm = 25.4 / 72;
  const SheetTable t = SheetOf(report);
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
      for (int c = 0; c < columns && c < int(t.rows[r].size()); ++c) put(int(r) + 1, c, t.rows[r][size_t(c)].text);
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QTextDocumentWriter writer(&buffer, "ODF");
  if (!writer.write(&doc)) {
    error = QStringLiteral("ODF");
    return {};
  }
  return bytes;
}

}  // namespace zarn
