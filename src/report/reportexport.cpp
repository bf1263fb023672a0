#include "reportexport.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>

#include "common/texts.h"
#include "report/exportfile.h"
#include "report/exportformats.h"
#include "report/preparedfile.h"
#include "report/reportpaint.h"
#include "report/sheettable.h"

namespace zarn {
namespace {

const TextPair txtExportFailed{u"Не удалось подготовить файл: %1", u"Could not make the file: %1"};

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

}  // namespace

QByteArray TextBytes(const PreparedReport& report) {
  // Every column as wide as its widest text anywhere in the report, so that nothing is
  // cut and the columns line up on every page. Every band written as a row counts: a
  // series sheet's rows are Body bands, of other lengths than a list's.
  std::vector<int> widths;
  for (const PreparedPage& page : report.pages) {
    for (const PreparedBand& band : page.bands) {
      if (band.kind != BandKind::PageHeader && band.kind != BandKind::MasterData &&
          band.kind != BandKind::Body)
        continue;
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
        case BandKind::Body:
          AppendLine(out, row(page, band));
          break;
        case BandKind::PageFooter:
          AppendLine(out, {});
          AppendLine(out, Centred(first, lineWidth));
          break;
        case BandKind::Free:
          break;
      }
    }
  }
  return out.toUtf8();
}

// ---- HTML

namespace {
QString Escaped(const QString& text) { return text.toHtmlEscaped(); }

QString Mm(double mm) { return QString::number(mm, 'f', 2) + QStringLiteral("mm"); }

}  // namespace

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
        case BandKind::Body:
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
        case BandKind::Free:
          break;
      }
    }
    if (inTable) out += QStringLiteral("</tbody>\n</table>\n");
    out += QStringLiteral("</section>\n");
  }
  out += QStringLiteral("</body>\n</html>\n");
  return out.toUtf8();
}

// ---- The registry

namespace {

bool Put(QIODevice& out, const QByteArray& bytes, QString& error) {
  if (bytes.isEmpty()) {
    if (error.isEmpty()) error = QStringLiteral("?");
    return false;
  }
  if (out.write(bytes) != bytes.size()) {
    error = out.errorString();
    return false;
  }
  return true;
}

bool WritePdf(const PreparedReport& r, const ReportExportOptions&, QIODevice& out, QString& error) {
  if (!WriteReportPdf(out, r, ReportTitle(r))) {
    error = QStringLiteral("PDF");
    return false;
  }
  return true;
}
bool WriteText(const PreparedReport& r, const ReportExportOptions&, QIODevice& out, QString& error) {
  return Put(out, TextBytes(r), error);
}
bool WriteHtml(const PreparedReport& r, const ReportExportOptions& o, QIODevice& out, QString& error) {
  return Put(out, HtmlBytes(r, o.language), error);
}
bool WriteOdt(const PreparedReport& r, const ReportExportOptions& o, QIODevice& out, QString& error) {
  return Put(out, OdtBytes(r, o, error), error);
}
bool WriteRtf(const PreparedReport& r, const ReportExportOptions& o, QIODevice& out, QString& error) {
  return Put(out, RtfBytes(r, o), error);
}
bool WriteCsv(const PreparedReport& r, const ReportExportOptions& o, QIODevice& out, QString& error) {
  return Put(out, SheetCsv(SheetOf(r), o.Csv()), error);
}
bool WriteXlsx(const PreparedReport& r, const ReportExportOptions& o, QIODevice& out, QString& error) {
  return Put(out, SheetXlsx(SheetOf(r), o.Created(), error), error);
}

bool WriteOds(const PreparedReport& r, const ReportExportOptions& o, QIODevice& out, QString& error) {
  return Put(out, SheetOds(SheetOf(r), o.Created(), error), error);
}

bool WritePrepared(const PreparedReport& r, const ReportExportOptions& o, QIODevice& out, QString& error) {
  return Put(out, PreparedReportBytes(r, o.language), error);
}

// The preview's Export menu lists them in this order (the prepared report has a button
// of its own).
const ReportExporter kExporters[] = {
    {ReportFormat::Pdf, u"pdf", u"pdf", {u"PDF", u"PDF"}, WritePdf},
    {ReportFormat::Xlsx, u"xlsx", u"xlsx", {u"Книга Excel", u"Excel workbook"}, WriteXlsx},
    {ReportFormat::Ods, u"ods", u"ods", {u"Электронная таблица ODF", u"ODF spreadsheet"}, WriteOds},
    {ReportFormat::Odt, u"odt", u"odt", {u"Текстовый документ ODF", u"ODF text document"}, WriteOdt},
    {ReportFormat::Rtf, u"rtf", u"rtf", {u"Документ RTF", u"Rich Text document"}, WriteRtf},
    {ReportFormat::Html, u"html", u"html", {u"HTML", u"HTML"}, WriteHtml},
    {ReportFormat::Text, u"txt", u"txt", {u"Текст", u"Plain text"}, WriteText},
    {ReportFormat::Csv, u"csv", u"csv", {u"Таблица CSV", u"CSV table"}, WriteCsv},
    {ReportFormat::Prepared, u"prepared", kPreparedSuffix, {u"Подготовленный отчет", u"Prepared report"}, WritePrepared},
};

}  // namespace

QDateTime ReportExportOptions::Created() const {
  return created.isValid() ? created : QDateTime::currentDateTime();
}

std::span<const ReportExporter> ReportExporters() { return kExporters; }

const ReportExporter& ReportExporterFor(ReportFormat format) {
  for (const ReportExporter& e : kExporters) {
    if (e.format == format) return e;
  }
  return kExporters[0];
}

const ReportExporter* FindReportExporter(QStringView name) {
  for (const ReportExporter& e : kExporters) {
    if (name == e.name) return &e;
  }
  return nullptr;
}

QString ReportFormatNames() {
  QStringList names;
  for (const ReportExporter& e : kExporters) names.append(e.name.toString());
  return names.join(QStringLiteral(", "));
}

QString ReportFormatName(ReportFormat format) { return ReportExporterFor(format).name.toString(); }
QString ReportFormatSuffix(ReportFormat format) { return ReportExporterFor(format).suffix.toString(); }

std::optional<ReportFormat> ReportFormatFromName(QStringView name) {
  const ReportExporter* e = FindReportExporter(name);
  return e ? std::optional(e->format) : std::nullopt;
}

QString ReportFormatFilter(ReportFormat format, int language) {
  const ReportExporter& e = ReportExporterFor(format);
  return QStringLiteral("%1 (*.%2)").arg(e.kind.Str(language), e.suffix.toString());
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
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QString why;
  if (!ReportExporterFor(format).write(report, options, buffer, why)) {
    if (error) *error = why;
    return {};
  }
  return bytes;
}

QString ExportReport(const PreparedReport& report, ReportFormat format, const QString& path,
                     const ReportExportOptions& options) {
  QString why;
  const ExportWriteResult written = WriteExportFile(
      path, options.language, [&](QIODevice& out) { return ReportExporterFor(format).write(report, options, out, why); });
  if (written.ok) return {};
  return written.error.isEmpty() ? txtExportFailed.Str(options.language).arg(why) : written.error;
}

}  // namespace zarn
