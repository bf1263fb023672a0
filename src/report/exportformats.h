#pragma once
// The writers behind the export registry (reportexport.cpp), one per document kind.

#include <QByteArray>
#include <QString>

#include "report/reportengine.h"
#include "report/reportexport.h"

namespace zarn {

QByteArray TextBytes(const PreparedReport& report);
QByteArray HtmlBytes(const PreparedReport& report, int language);
QByteArray OdtBytes(const PreparedReport& report, const ReportExportOptions& options, QString& error);

}  // namespace zarn
