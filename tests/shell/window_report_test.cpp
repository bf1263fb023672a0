// Print Report from the main window: the preview's pages are those zarn26-cli makes of
// the same series, in the window's language and unit; search, zoom, export and printing
// to a PDF file work without a printer.

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include "report/seriesreport.h"
#include "shell/reportpreview.h"
#include "shell/stringgrid.h"
#include "testing/files.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

using namespace Qt::StringLiterals;

class ReportTest : public WindowTest {
 protected:
  TfrmReportPreview* Preview() {
    return form_->findChild<TfrmReportPreview*>(QString(), Qt::FindDirectChildrenOnly);
  }

  // The pages zarn26-cli report makes of the loaded series.
  PreparedReport CliPages(int language, StrengthUnit unit) {
    cli_ = std::make_unique<Table1Snapshot>(Images.ParamBlock.data(), Images.DataImage.data(),
                                            ProcessCount.load(), language, unit);
    return SeriesReport(*cli_, language, unit).Prepare();
  }

  std::unique_ptr<Table1Snapshot> cli_;
};

void ExpectSamePages(const PreparedReport& got, const PreparedReport& want) {
  ASSERT_EQ(got.pages.size(), want.pages.size());
  EXPECT_EQ(got.page, want.page);
  for (size_t p = 0; p < got.pages.size(); ++p) {
    const auto& a = got.pages[p].cells;
    const auto& b = want.pages[p].cells;
    ASSERT_EQ(a.size(), b.size()) << "page " << p + 1;
    for (size_t c = 0; c < a.size(); ++c) {
      EXPECT_EQ(a[c].text, b[c].text) << "page " << p + 1 << " cell " << c;
      EXPECT_EQ(a[c].rect, b[c].rect);
      EXPECT_EQ(a[c].fontPt, b[c].fontPt);
      EXPECT_EQ(a[c].frame, b[c].frame);
    }
  }
}

}  // namespace

TEST_F(ReportTest, NoSeriesDoesNothing) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  MakeForm();
  form_->ShowCurrentImages();
  form_->APrint->trigger();
  EXPECT_EQ(Preview(), nullptr);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ReportTest, PreviewShowsTheCliPagesInTheWindowsLanguageAndUnit) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  LoadSample(120);
  MakeForm();
  form_->show();
  form_->ShowCurrentImages();
  const struct {
    void (TForm1::*switchTo)();
    int language;
    StrengthUnit unit;
  } steps[] = {{nullptr, kRussian, StrengthUnit::MPa},
               {&TForm1::AkgmExecute, kRussian, StrengthUnit::Kgf},
               {&TForm1::ALangEngExecute, kEnglish, StrengthUnit::Kgf}};
  TfrmReportPreview* first = nullptr;
  for (const auto& s : steps) {
    if (s.switchTo) (form_.get()->*s.switchTo)();
    form_->APrint->trigger();
    TfrmReportPreview* preview = Preview();
    ASSERT_NE(preview, nullptr);
    if (!first) first = preview;
    EXPECT_EQ(preview, first);  // one preview window, its pages prepared afresh
    EXPECT_TRUE(preview->isVisible());
    ExpectSamePages(preview->Report(), CliPages(s.language, s.unit));
    EXPECT_EQ(preview->View()->PageCount(), 3);
  }
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ReportTest, SearchZoomExportAndPrintToAFile) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  LoadSample(120);
  MakeForm();
  form_->show();
  form_->ShowCurrentImages();
  form_->APrint->trigger();
  TfrmReportPreview& preview = *Preview();
  const PreparedReport& report = preview.Report();

  // Search: every cell holding the text, case ignored, the hits taken in turn.
  const QString date = form_->StringGrid1->Cells(1, 100);  // a date on page 2
  const auto hits = FindInReport(report, date);
  preview.SearchEdit()->setText(date.toLower());
  EXPECT_EQ(preview.HitCount(), int(hits.size()));
  ASSERT_GT(preview.HitCount(), 1);
  EXPECT_EQ(preview.CurrentHit(), 0);
  EXPECT_EQ(preview.View()->CurrentPage(), hits[0].page);
  for (int i = 1; i <= preview.HitCount(); ++i) {
    preview.FindNext();
    EXPECT_EQ(preview.CurrentHit(), i % preview.HitCount());
  }
  preview.FindNext(true);
  EXPECT_EQ(preview.CurrentHit(), preview.HitCount() - 1);

  // Zoom: the whole page fits the view; a width fit fills its width.
  ReportPageView& view = *preview.View();
  view.SetFit(ReportPageView::Fit::Page);
  EXPECT_LE(297 * view.PixelsPerMm(), view.viewport()->height());
  view.SetFit(ReportPageView::Fit::Width);
  EXPECT_LE(210 * view.PixelsPerMm(), view.viewport()->width());
  EXPECT_GT(210 * view.PixelsPerMm(), view.viewport()->width() - 2 * ReportPageView::kGap - 2);
  view.SetZoom(1.5);
  EXPECT_EQ(view.FitMode(), ReportPageView::Fit::None);
  EXPECT_DOUBLE_EQ(view.Zoom(), 1.5);

  // Export: the same bytes as the export of the same pages; a failure says why.
  ReportExportOptions options;
  options.language = kEnglish;
  for (ReportFormat format : {ReportFormat::Csv, ReportFormat::Text, ReportFormat::Html}) {
    const QString path = dir_.filePath(u"report."_s + ReportFormatName(format));
    EXPECT_EQ(preview.Export(format, path), QString());
    EXPECT_EQ(zarn::testing::ReadAll(path), ReportBytes(CliPages(kEnglish, StrengthUnit::MPa), format, options));
  }
  ExpectReturn(QMessageBox::Ok);
  const QString error = preview.Export(ReportFormat::Pdf, dir_.filePath(u"no/such/folder.pdf"_s));
  EXPECT_TRUE(error.startsWith(u"Could not write the file \"folder.pdf\""_s)) << error.toStdString();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, error);

  // Printing to a PDF file through the print dialog needs no printer; pages 2 to 3.
  const QString pdf = dir_.filePath(u"printed.pdf"_s);
  Expect([&](QDialog& dialog) {
    QPrinter* printer = static_cast<QPrintDialog&>(dialog).printer();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    printer->setPrintRange(QPrinter::PageRange);
    printer->setFromTo(2, 3);
    return int(QDialog::Accepted);
  });
  preview.Print();
  ASSERT_TRUE(QFileInfo::exists(pdf));
  if (QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty()) return;
  QProcess info;
  info.start(u"pdfinfo"_s, {pdf});
  ASSERT_TRUE(info.waitForFinished(30000));
  const QByteArray out = info.readAllStandardOutput();
  EXPECT_TRUE(out.contains("Pages:           2\n")) << out.data();
  EXPECT_TRUE(out.contains("595 x 842 pts (A4)")) << out.data();
}

// The preview saves its pages; the main window opens them later in a preview of their
// own, with no series loaded: the same pages, searched and exported as before, no page
// setup; a damaged file gets the program's message and no preview.
TEST_F(ReportTest, SavedPagesOpenAgainWithoutTheDataFile) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  LoadSample(120);
  MakeForm();
  form_->show();
  form_->ShowCurrentImages();
  form_->APrint->trigger();
  const QString path = dir_.filePath(u"saved.repzarn"_s);
  EXPECT_EQ(Preview()->SavePrepared(path), QString());
  const PreparedReport saved = Preview()->Report();
  delete Preview();

  form_.reset();
  ResetGlobals();
  MakeForm();  // a new window, nothing loaded
  form_->show();
  EXPECT_TRUE(form_->StringGrid1->Cells(0, 2).isEmpty());
  form_->AOpenReportExecute(path);
  TfrmReportPreview* preview = Preview();
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  ExpectSamePages(preview->Report(), saved);
  EXPECT_EQ(preview->View()->PageCount(), 3);
  EXPECT_FALSE(preview->findChild<QAction*>(u"APageSetup"_s)->isEnabled());
  preview->SearchEdit()->setText(saved.pages[2].cells[20].text);
  EXPECT_GT(preview->HitCount(), 0);
  const QString csv = dir_.filePath(u"again.csv"_s);
  EXPECT_EQ(preview->Export(ReportFormat::Csv, csv), QString());
  EXPECT_EQ(zarn::testing::ReadAll(csv), ReportBytes(saved, ReportFormat::Csv, {kEnglish, {}, {}}));
  EXPECT_TRUE(shown_.empty());
  delete preview;

  QByteArray damaged = zarn::testing::ReadAll(path);
  damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x20);
  const QString bad = dir_.filePath(u"bad.repzarn"_s);
  ASSERT_TRUE(zarn::testing::WriteAll(bad, damaged));
  ExpectReturn(QMessageBox::Ok);
  form_->AOpenReportExecute(bad);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, u"File is not readable or damaged: bad.repzarn"_s);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Preview(), nullptr);
}

// Print Series Sheets: a sheet per row selected in table 1 (the current row when only
// it is; the heading rows have no series) in the same preview, the instrument they were
// read from at their foot; the menu item in both languages.
TEST_F(ReportTest, SeriesSheetsOfTheSelectedRows) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  LoadSample(20);
  MakeForm();
  form_->show();
  form_->ShowCompletedRead(ReadOfImages(u"Zarn-2.6 v3.14 sn 0001"_s));
  EXPECT_EQ(form_->APrintSheets->text(), u"Print Series Sheets..."_s);
  const struct {
    GridRect selection;  // none: the current row alone
    int current;
    std::vector<int> series;  // 0-based, in directory order
  } cases[] = {{{0, 4, 8, 6}, 2, {2, 3, 4}}, {{}, 9, {7}}, {{0, 0, 8, 3}, 5, {0, 1}}};
  for (const auto& c : cases) {
    form_->StringGrid1->SetRow(c.current);
    if (!c.selection.IsNone()) form_->StringGrid1->SetSelection(c.selection);
    form_->APrintSheets->trigger();
    TfrmReportPreview* preview = Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    const PreparedReport& report = preview->Report();
    ASSERT_EQ(report.pages.size(), c.series.size());
    for (size_t k = 0; k < c.series.size(); ++k) {
      const std::vector<PreparedCell>& cells = report.pages[k].cells;
      ASSERT_FALSE(cells.empty());
      EXPECT_EQ(cells.front().text, u"Series sheet No. "_s + form_->StringGrid1->Cells(0, c.series[k] + 2));  // the title
      EXPECT_TRUE(std::any_of(cells.begin(), cells.end(),
                              [](const PreparedCell& cell) { return cell.text == u"Instrument: Zarn-2.6 v3.14 sn 0001"_s; }));
    }
  }
  form_->ALangRusExecute();
  EXPECT_EQ(form_->APrintSheets->text(), u"Печать листов серий..."_s);
  EXPECT_TRUE(shown_.empty());
}

}  // namespace zarn::wintest
