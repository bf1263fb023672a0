#include "sheettable.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

#include <xlsxwriter.h>

#include "common/numbers.h"

namespace zarn {
namespace {

constexpr double kPointMm = 25.4 / 72;

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

}  // namespace zarn
