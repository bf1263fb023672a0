#pragma once
// The report's exports, all made from the prepared pages, and the one registry of
// them that the preview's Export menu, zarn26-cli report and every other caller look
// a format up in:
//  - PDF: the pages themselves (vector, fonts embedded);
//  - ODT and RTF: the same pages as word-processor documents: every band a table row
//    of the template's widths and heights, the column headings at the top of every
//    page, a page break where the PDF breaks, "- N -" as the page footer
//    (flowlayout.h);
//  - plain text and HTML: the pages one after another (text pages separated by a form
//    feed, HTML pages by a page break);
//  - CSV, XLSX and ODS: the report as one table (sheettable.h);
//  - the prepared report: the pages themselves, to open again (preparedfile.h).

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <span>

#include "common/texts.h"
#include "data/presenters.h"
#include "report/reportengine.h"

QT_BEGIN_NAMESPACE
class QIODevice;
QT_END_NAMESPACE

namespace zarn {

enum class ReportFormat : uint8_t { Pdf, Text, Html, Odt, Rtf, Csv, Xlsx, Ods, Prepared };

struct ReportExportOptions {
  int language = 0;
  // CSV's notation; by default that of `language` (CsvDialectFor).
  std::optional<CsvDialect> csv;
  // When the document was made, for the formats that say so; invalid: now.
  QDateTime created;

  CsvDialect Csv() const { return csv ? *csv : CsvDialectFor(language); }
  QDateTime Created() const;
};

// One export format.
struct ReportExporter {
  ReportFormat format;
  QStringView name;    // the name zarn26-cli's --format takes
  QStringView suffix;  // the file suffix
  TextPair kind;       // what the file dialog calls such a file
  // Writes the whole export to `out` (open for writing); false, with `error` set to
  // what went wrong, when it could not be made.
  bool (*write)(const PreparedReport& report, const ReportExportOptions& options, QIODevice& out,
                QString& error);
};

// Every format, in the order the preview's Export menu offers them.
std::span<const ReportExporter> ReportExporters();
const ReportExporter& ReportExporterFor(ReportFormat format);
const ReportExporter* FindReportExporter(QStringView name);
// "pdf, odt, rtf, ...": the names, for usage texts.
QString ReportFormatNames();

// Shorthands of the registry: "pdf", "txt", ...; the file suffix; the file dialog
// filter, e.g. "PDF (*.pdf)".
QString ReportFormatName(ReportFormat format);
QString ReportFormatSuffix(ReportFormat format);
std::optional<ReportFormat> ReportFormatFromName(QStringView name);
QString ReportFormatFilter(ReportFormat format, int language);

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
