#pragma once
// The writers behind the export registry (reportexport.cpp), one per document kind.

#include <QByteArray>
#include <QString>

#include "report/reportengine.h"
#include "report/reportexport.h"

QT_BEGIN_NAMESPACE
class QXmlStreamWriter;
QT_END_NAMESPACE

namespace zarn {

QByteArray TextBytes(const PreparedReport& report);
QByteArray HtmlBytes(const PreparedReport& report, int language);
QByteArray OdtBytes(const PreparedReport& report, const ReportExportOptions& options, QString& error);
QByteArray RtfBytes(const PreparedReport& report, const ReportExportOptions& options);

// Texts as ODF paragraphs hold them: runs of blanks, tabs and line breaks as their
// elements (a paragraph's plain blanks would fold into one).
void WriteOdfText(QXmlStreamWriter& xml, const QString& text);

}  // namespace zarn
