#pragma once
// The report's exports, all made from the prepared pages:
//  - PDF: the pages themselves (vector, fonts embedded);
//  - plain text and HTML: the pages one after another (title on the first, the column
//    headings on each, the page number at the bottom of pages 2 onward), text pages
//    separated by a form feed, HTML pages by a page break;
//  - ODT: the title and one table whose heading row the word processor repeats on
//    every page it makes;
//  - CSV and XLSX: the column headings and one row per line; XLSX also the title above
//    them, and numbers as numbers.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "report/reportengine.h"

namespace zarn {

enum class ReportFormat : uint8_t { Pdf, Text, Html, Odt, Csv, Xlsx };
inline constexpr ReportFormat kReportFormats[] = {ReportFormat::Pdf, ReportFormat::Xlsx,
                                                  ReportFormat::Odt, ReportFormat::Html,
                                                  ReportFormat::Text, ReportFormat::Csv};

// "pdf", "txt", "html", "odt", "csv", "xlsx": the file suffix and the name zarn26-cli
// takes.
QString ReportFormatName(ReportFormat format);
std::optional<ReportFormat> ReportFormatFromName(QStringView name);
// The file dialog filter, e.g. "PDF (*.pdf)".
QString ReportFormatFilter(ReportFormat format, int language);

struct ReportExportOptions {
  int language = 0;
  std::vector<int> numberColumns;  // columns written as numbers where their text is one
};

// The document's title: the text of the title band, if any.
QString ReportTitle(const PreparedReport& report);

// The export's bytes; empty when it could not be made (`error` says why).
QByteArray ReportBytes(const PreparedReport& report, ReportFormat format,
                       const ReportExportOptions& options, QString* error = nullptr);

// Makes the export and writes it to `path` (see exportfile.h); an empty result is
// success, else the message for the user.
QString ExportReport(const PreparedReport& report, ReportFormat format, const QString& path,
                     const ReportExportOptions& options);

}  // namespace zarn
