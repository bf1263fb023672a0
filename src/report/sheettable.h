#pragma once
// A report as one table, for spreadsheets: a title across the top, a heading row, then
// the rows, with the columns' widths and the rows' heights in mm and the cells that
// hold numbers marked. A list report gives its column headings once and every line in
// order; any other report (series sheets) gives each band as a row, the pages
// separated by an empty row. The writers take any such table, so a list of records
// can be exported without a report at all.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

#include "data/presenters.h"
#include "report/reportengine.h"

namespace zarn {

struct SheetCell {
  QString text;
  bool number = false;  // a number text in the program's notation ("18,4")
  float fontPt = 10;
  bool frame = true;
};

struct SheetTable {
  QString title;
  double titleHeight = 8;
  std::vector<double> widths;  // mm, one per column
  std::vector<QString> headings;
  double headingHeight = 10;
  std::vector<std::vector<SheetCell>> rows;
  std::vector<double> rowHeights;  // mm, one per row
  PageGeometry page;
  QString fontFamily = QStringLiteral("Times New Roman");
};

SheetTable SheetOf(const PreparedReport& report);

// CSV in `dialect`'s notation: the heading row and the rows (the title is left out, so
// that the first line names the columns), UTF-8 with a byte-order mark.
QByteArray SheetCsv(const SheetTable& table, const CsvDialect& dialect);
// XLSX (libxlsxwriter) and ODS (an ODF package): the title, the headings and the rows,
// numbers as numbers, the report's font, widths and heights; printed from the
// spreadsheet on the report's paper and margins with the headings on every page.
// Empty with `error` set on failure.
QByteArray SheetXlsx(const SheetTable& table, const QDateTime& created, QString& error);
QByteArray SheetOds(const SheetTable& table, const QDateTime& created, QString& error);

}  // namespace zarn
