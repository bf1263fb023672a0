// The main window's Print Report command: the series report of table 1 as it is shown
// now (or of the archive window's selection), in the preview window; and Open Report: a prepared report saved earlier, in the
// same preview, with no data file needed.

#include "aboutbox.h"
#include "archivewindow.h"
#include "common/texts.h"
#include "formmain.h"
#include "report/seriesreport.h"
#include "report/seriessheets.h"
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

void TForm1::APrintSheetsExecute() {
  const uint32_t count = ShownProcessCount();
  if (count == 0 || StringGrid1->Cells(0, 2).isEmpty()) return;
  GridRect range = StringGrid1->Selection();
  if (range.IsNone()) range = GridRect{0, StringGrid1->Row(), 0, StringGrid1->Row()};
  // Table 1's row r is the series r - 2 of the directory; the heading rows have none.
  const int first = std::max(range.top, 2) - 2;
  const int last = std::min(range.bottom - 2, int(count) - 1);
  if (last < first) return;
  // The sheets keep copies of their records, taken from what the window shows now.
  std::vector<ProcessRecordBuffer> records(size_t(last - first + 1));
  const ImagesView shown = shown_;
  for (int i = first; i <= last; ++i)
    CopyProcess(shown->images.ParamBlock.data(), shown->images.DataImage.data(), count, uint32_t(i),
                records[size_t(i - first)].data());
  SheetSource source;
  if (archiveShown_ >= 0) source.origin = ArchiveShownTitle(archiveShown_, LanguageIndex.load());
  else if (shownFromFile_) source.dataFile = titleName_;
  else source.instrument = titleName_;
  source.programVersion = ProgramVersion();
  source.printed = QDateTime::currentDateTime();
  auto sheets = std::make_shared<const SeriesSheets>(std::move(records), LanguageIndex.load(), Unit(),
                                                     std::move(source));
  const int language = LanguageIndex.load();
  TfrmReportPreview* preview = ReportPreview();
  preview->SetReport([sheets](const PageGeometry& page) { return sheets->Prepare(page); },
                     ReportExportOptions{language, {}, {}});
  preview->show();
  preview->raise();
  preview->activateWindow();
}

}  // namespace zarn
