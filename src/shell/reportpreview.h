#pragma once
// TfrmReportPreview: the report's preview window. It shows the prepared pages one below
// the other, moves between them, zooms (fit width, whole page, percent), finds a text
// and marks its hits on the pages, sets up the page, prints through the system's print
// dialog (printing to a PDF file needs no printer) and exports in every format. It saves
// the prepared pages to a file and opens such a file again, without the data file they
// came from (a report opened so keeps its pages: no page setup). It belongs to the main
// window and lives until the user closes it; a new report replaces the pages it shows.

#include <QAbstractScrollArea>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

#include "common/programsettings.h"
#include "report/reportengine.h"
#include "report/reportexport.h"

QT_BEGIN_NAMESPACE
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPrinter;
class QSpinBox;
QT_END_NAMESPACE

namespace zarn {

// The pages at a zoom, one below the other, centred, on a gray ground.
class ReportPageView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  enum class Fit { None, Width, Page };
  static constexpr int kGap = 12;  // pixels around and between the pages

  explicit ReportPageView(QWidget* parent = nullptr);

  void SetReport(const PreparedReport* report);
  void SetHits(std::vector<ReportHit> hits, int current);
  // Zoom 1.0 shows the page at its real size on a screen of the widget's resolution.
  void SetZoom(double zoom);
  void SetFit(Fit fit);
  double Zoom() const { return zoom_; }
  Fit FitMode() const { return fit_; }
  int PageCount() const;
  int CurrentPage() const;  // 0-based: the page at the top of the view
  void GoToPage(int page);
  void ShowCell(int page, const QRectF& mm);
  double PixelsPerMm() const;

 signals:
  void CurrentPageChanged(int page);
  void ZoomChanged(double zoom);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  QSizeF PagePixels() const;
  int PageTop(int page) const;  // in content pixels
  void UpdateZoomForFit();
  void UpdateScrollBars();

  const PreparedReport* report_ = nullptr;
  std::vector<ReportHit> hits_;
  int currentHit_ = -1;
  double zoom_ = 1.0;
  Fit fit_ = Fit::Width;
  int lastPage_ = -1;
};

struct PreviewSeams {
  // Runs a modal dialog (print, page setup, file dialogs, message boxes).
  std::function<int(QDialog&)> execModal;
  // The program's settings, for the folder the file dialogs start in and remember.
  ProgramSettings settings;
};

class TfrmReportPreview : public QMainWindow {
  Q_OBJECT

 public:
  // Prepares the pages for a page geometry (again after a page setup).
  using Preparer = std::function<PreparedReport(const PageGeometry&)>;

  TfrmReportPreview(PreviewSeams seams, QWidget* parent);
  ~TfrmReportPreview() override;

  // Shows a freshly prepared report, on the page geometry set up last.
  void SetReport(Preparer prepare, ReportExportOptions options);
  // The language of the window's texts and messages (before any report is in it).
  void SetLanguage(int language);
  // Shows pages read from a prepared report file, in the window's language `language`.
  void SetPreparedReport(PreparedReport report, int language);
  const PreparedReport& Report() const { return report_; }
  ReportPageView* View() const { return view_; }
  QLineEdit* SearchEdit() const { return search_; }
  QPrinter& Printer();

  // The commands (also on the tool bar).
  void Find(const QString& text);
  void FindNext(bool backwards = false);
  int HitCount() const { return int(hits_.size()); }
  int CurrentHit() const { return currentHit_; }
  void PageSetup();
  void Print();
  // Asks for a file name and exports; with a name given, exports there. Returns the
  // message shown (empty on success).
  QString Export(ReportFormat format, const QString& fileName = {});
  // Saves the prepared pages (asking for a name when none is given); returns the
  // message shown, empty on success.
  QString SavePrepared(const QString& fileName = {});
  // Opens a prepared report (asking for it when no name is given); a file that is not
  // one, or is damaged, gets the program's message for such a file and changes nothing.
  // Returns the message shown, empty on success or when the user cancelled.
  QString OpenPrepared(const QString& fileName = {});

 private:
  void BuildToolBar();
  void ApplyLanguage();
  void Reprepare();
  void UpdatePageControls();
  void UpdateZoomText();
  void ApplyZoomText();
  QString AskFileName(ReportFormat format);
  QString AskPreparedFile();
  QString PrintToPrinter(QPrinter& printer);
  void Warn(const QString& text);
  int ExecModal(QDialog& dialog);

  PreviewSeams seams_;
  Preparer prepare_;
  ReportExportOptions options_;
  PageGeometry page_;
  PreparedReport report_;
  std::vector<ReportHit> hits_;
  int currentHit_ = -1;
  std::unique_ptr<QPrinter> printer_;
  ReportPageView* view_ = nullptr;
  QSpinBox* pageBox_ = nullptr;
  QLabel* pageCount_ = nullptr;
  QComboBox* zoomBox_ = nullptr;
  QLineEdit* search_ = nullptr;
  QLabel* hitLabel_ = nullptr;
};

}  // namespace zarn
