#pragma once
// How zarn26-cli's commands print tables: the clipboard's text (TAB between cells, CRLF
// after every row) or CSV in the spreadsheet notation of the language, on stdout.

#include <QByteArray>
#include <QString>
#include <optional>
#include <span>

#include "data/presenters.h"

namespace zarn::cli {

// One row of a table: tab-separated as the clipboard holds it, or CSV in a
// spreadsheet's notation, where the cells of `numbers` are written as numbers.
struct RowWriter {
  std::optional<CsvDialect> csv;
  void operator()(QString& text, std::span<const QString> cells, NumberColumns numbers = {}) const {
    if (csv) AppendCsvRow(text, cells, *csv, numbers);
    else AppendTableRow(text, cells);
  }
  // The bytes of a text made of such rows (CSV with its byte-order mark).
  QByteArray Bytes(const QString& text) const { return csv ? CsvBytes(text) : text.toUtf8(); }
};

// Writes `bytes` to stdout. A full disk or a file-size limit under a redirected output
// is told as "zarn26-cli COMMAND: WHY" in `language`; returns kExitOk or
// kExitWriteFailed.
int WriteStdout(const QByteArray& bytes, const QString& command, int language);

}  // namespace zarn::cli
