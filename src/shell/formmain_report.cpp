// The main window's Print Report command: the series report of table 1 as it is shown
// now, in the preview window.

#include "common/texts.h"
#include "formmain.h"
#include "report/seriesreport.h"
#include "reportpreview.h"
#include "screenfit.h"
#include "stringgrid.h"

namespace zarn {

void TForm1::APrintExecute() {
  // No series loaded: the first data row has no number, and there is nothing to print.
  if (StringGrid1->Cells(0, 2).isEmpty()) return;
  // The report keeps its own copy of what table 1 shows now, in the language and unit
  // of now; a later page setup prepares the pages again from that copy.
  const TStringGrid* grid = StringGrid1;
  auto table = std::make_shared<const Table1Snapshot>(
      grid->RowCount(), [grid](int col, int row) { return grid->Cells(col, row); });
  const int language = LanguageIndex.load();
  const StrengthUnit unit = Unit();
  auto* preview = findChild<TfrmReportPreview*>(QString(), Qt::FindDirectChildrenOnly);
  if (!preview) {
    preview = new TfrmReportPreview(
        PreviewSeams{[this](QDialog& dialog) { return ExecModal(dialog); }, settings_}, this);
    // Over the main window, as a dialog would open, and on the screen.
    preview->move(frameGeometry().center() - preview->rect().center());
    KeepOnScreen(preview, [this] { return ScreenAreas(); });
  }
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
