// The main window's Print Report command: the series report of table 1 as it is shown
// now (or of the archive window's selection), in the preview window; and Open Report: a prepared report saved earlier, in the
// same preview, with no data file needed.

#include "common/texts.h"
#include "formmain.h"
#include "report/seriesreport.h"
#include "reportpreview.h"
#include "screenfit.h"
#include "stringgrid.h"

namespace zarn {

TfrmReportPreview* TForm1::ReportPreview() {
  auto* preview = findChild<TfrmReportPreview*>(QString(), Qt::FindDirectChildrenOnly);
  if (!preview) {
    preview = new TfrmReportPreview(
        PreviewSeams{[this](QDialog& dialog) { return ExecModal(dialog); }, settings_}, this);
    // Over the main window, as a dialog would open, and on the screen.
    preview->move(frameGeometry().center() - preview->rect().center());
    KeepOnScreen(preview, [this] { return ScreenAreas(); });
  }
  return preview;
}

void TForm1::AOpenReportExecute(const QString& fileName) {
  // The preview is shown only once a report is in it; a new one that got none goes.
  const bool existed = findChild<TfrmReportPreview*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
  TfrmReportPreview* preview = ReportPreview();
  const bool shown = preview->isVisible();
  if (!shown) preview->SetLanguage(LanguageIndex.load());
  const QString error = preview->OpenPrepared(fileName);
  if (!shown && (!error.isEmpty() || preview->Report().pages.empty())) {
    if (!existed) preview->deleteLater();
    return;
  }
  preview->show();
  preview->raise();
  preview->activateWindow();
}

void TForm1::APrintExecute() {
  // No series loaded: the first data row has no number, and there is nothing to print.
  if (StringGrid1->Cells(0, 2).isEmpty()) return;
  // The report keeps its own copy of what table 1 shows now, in the language and unit
  // of now; a later page setup prepares the pages again from that copy.
  const TStringGrid* grid = StringGrid1;
  ShowSeriesReport(std::make_shared<const Table1Snapshot>(
      grid->RowCount(), [grid](int col, int row) { return grid->Cells(col, row); }));
}

void TForm1::ShowSeriesReport(std::shared_ptr<const Table1Snapshot> table) {
  const int language = LanguageIndex.load();
  const StrengthUnit unit = Unit();
  TfrmReportPreview* preview = ReportPreview();
  preview->SetReport(
      [table, language, unit](const PageGeometry& page) {
        return SeriesReport(*table, language, unit).Prepare(page);
      },
      ReportExportOptions{language, {}, {}});
  preview->show();
  preview->raise();
  preview->activateWindow();
}

}  // namespace zarn
