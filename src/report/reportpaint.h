#pragma once
// Painting prepared report pages: on screen (the preview), on a printer, into a PDF.

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <span>

#include "report/reportengine.h"

QT_BEGIN_NAMESPACE
class QIODevice;
class QPagedPaintDevice;
class QPainter;
QT_END_NAMESPACE

namespace zarn {

// A cell to mark (a search hit); the current one is marked more strongly.
struct CellMark {
  int cell;
  bool current;
};

// Paints page `pageIndex` with its top left corner at `origin` (device pixels), at
// `pxPerMm` device pixels per millimetre: the marks, the lines, the frames and the
// texts (on whatever page background the device has).
void PaintReportPage(QPainter& painter, const PreparedReport& report, int pageIndex,
                     double pxPerMm, QPointF origin = {}, std::span<const CellMark> marks = {});

// Sets the device's page to the report's page size (no margins: the report places its
// cells from the paper's corner) and paints pages first..last (0-based), one device page
// each. False when the device could not be painted on.
bool RenderReport(QPagedPaintDevice& device, const PreparedReport& report, int first, int last);

// The whole report as a PDF document: vector text with the fonts embedded, written
// into `out` page by page (so a large report is never held in memory whole).
bool WriteReportPdf(QIODevice& out, const PreparedReport& report, const QString& title);
QByteArray ReportPdf(const PreparedReport& report, const QString& title);

}  // namespace zarn
