#pragma once
// TForm1: the main window. It owns the series table (StringGrid1), the impacts table
// (StringGrid2) with the material coefficients under it (StringGridKoef), the chart
// (Chart1), the status bar with the link lamp and the progress bar, the menus and
// actions, the file dialogs and the worker (KovThreadUSB) that runs the exchange loop.
// It is the loop's LinkSink: the loop's notifications arrive here on the main thread.
//
// The controls are public members under their names, as the window's other parts
// (clipboard copies, report, editors) and the tests reach them.

#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "common/images.h"
#include "common/programsettings.h"
#include "data/datafile.h"
#include "data/process.h"
#include "device/linksink.h"
#include "recentfiles.h"

QT_BEGIN_NAMESPACE
class QAction;
class QActionGroup;
class QDialog;
class QFileDialog;
class QMenu;
class QMenuBar;
class QProgressBar;
class QTimer;
QT_END_NAMESPACE

namespace zarn {

struct EditorSeams;
struct KeepReport;
class InstrumentLink;
class PipeLink;
class TChart;
class THelpWindow;
class TKovThread;
class TShape;
class TSplitter;
class TStatusBar;
class TArchiveKeeper;
class TStatusPresenter;
class TStringGrid;
class Table1Snapshot;
class TfrmArchive;
class TfrmMaterials;
class TfrmObjects;
class TfrmReportPreview;
class UsbLink;

// What the window takes from its surroundings. The program leaves every member at its
// default; the tests replace them.
struct FormSeams {
  // The settings file; empty: SettingsPath().
  QString settingsPath;
  // The screen's available geometry; empty: that of the screen the window is on.
  std::function<QRect()> availableGeometry;
  // The available geometries of all screens; empty: availableGeometry's alone, or the
  // desktop's screens.
  std::function<QList<QRect>()> screenAreas;
  // Runs a modal dialog (file dialogs, message boxes, the language chooser) and
  // returns its result; empty: QDialog::exec.
  std::function<int(QDialog&)> execModal;
  // Ends the program after the settings were written; empty: QCoreApplication::quit.
  std::function<void()> quit;
  // The transports of the exchange loop; null: the program's pipe and libusb ones.
  PipeLink* pipe = nullptr;
  UsbLink* usb = nullptr;
  // Starts the worker as the last step of FormCreate.
  bool startWorker = true;
  // Opens a web address, a mail message or a file with the desktop's handlers; empty:
  // QDesktopServices.
  std::function<bool(const QUrl&)> openUrl;
  // The program folder the help files are looked for from; empty: ProgramDir().
  QString programDir;
  // Where the help window keeps its copy of the collection; empty: the user's cache.
  QString helpCacheFolder;
  // Completed reads and opened files go into the archive while [Archive] Keep says so;
  // false: never (the window tests that are not about the archive).
  bool keepInArchive = true;
  // The pending list of the archive; empty: PendingFolder().
  QString pendingFolder;
};

class TForm1 : public QMainWindow, public LinkSink {
  Q_OBJECT

 public:
  // Builds the controls and runs FormCreate.
  explicit TForm1(FormSeams seams = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- Controls.
  TStringGrid* StringGrid1 = nullptr;    // series table
  TSplitter* Splitter1 = nullptr;        // between StringGrid1 and the right-hand area
  TStringGrid* StringGrid2 = nullptr;    // impacts table
  TStringGrid* StringGridKoef = nullptr; // material coefficients
  TChart* Chart1 = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QWidget* PanelShapeLink = nullptr;
  TShape* ShapeLink = nullptr;  // the link lamp
  QMenuBar* MainMenu1 = nullptr;
  QMenu* itmFile = nullptr;
  QMenu* itmEdit = nullptr;
  QMenu* itmCmd = nullptr;
  QMenu* itmParam = nullptr;
  QMenu* itmLanguage = nullptr;
  QMenu* itmUnit = nullptr;
  QMenu* itmHelp = nullptr;
  QMenu* itmRecent = nullptr;  // "Recent files", in the file menu
  QMenu* PopupMenuStringGrid1 = nullptr;
  QMenu* PopupMenuStringGrid2 = nullptr;  // also on StringGridKoef
  QMenu* PopupMenuChart = nullptr;        // opened by the chart's own mouse logic
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* SaveDialog1 = nullptr;
  TKovThread* KovThreadUSB = nullptr;

  // ---- ActionList1.
  QAction* AOpen = nullptr;
  QAction* ASave = nullptr;
  QAction* APrint = nullptr;
  QAction* APrintSheets = nullptr;  // series sheets of the rows selected in table 1
  QAction* AOpenReport = nullptr;  // a prepared report saved earlier, into the preview
  QAction* AExit = nullptr;
  QAction* ACopyTable1 = nullptr;
  QAction* ACopyBlockTable1 = nullptr;
  QAction* ACopyTable2 = nullptr;
  QAction* ACopyGraph = nullptr;
  QAction* ACopyGraphData = nullptr;
  QAction* AGaugeRead = nullptr;
  QAction* AMaterialEdit = nullptr;
  QAction* AObjectEdit = nullptr;
  QAction* AArchive = nullptr;  // the archive window
  QAction* ALangRus = nullptr;
  QAction* ALangEng = nullptr;
  QAction* AMPa = nullptr;
  QAction* Akgm = nullptr;
  QAction* AMainHelp = nullptr;
  QAction* AChmHelp = nullptr;
  QAction* AAbout = nullptr;
  QAction* AStringGridSelectCancel = nullptr;
  QAction* AArchiveKeep = nullptr;      // Parameters > Keep in the archive (checkable)
  QAction* AArchiveSettings = nullptr;  // Parameters > Archive...

  // The press point of the last mouse press on the status bar or the chart, in the
  // pressed control's coordinates.
  QPoint LastMouseDown;

  // ---- Start-up, layout, shut-down.
  void FormCreate();
  // The controls' places and sizes (the texts stay as they are).
  void FormResize();
  // The tables' headings and labels in the current language and unit: set when either
  // changes, not on every resize or row click.
  void FillHeadings();
  // Stops the worker and serves events until it has ended; always allows closing.
  bool FormCloseQuery();
  // Stops the worker (waiting for it), writes the window's settings and quits.
  void AExitExecute();

  // ---- Language and unit.
  void MenuFill();
  void ALangRusExecute();
  void ALangEngExecute();
  void AMPaExecute();
  void AkgmExecute();
  // The unit the displays follow: MPa when AMPa is checked.
  StrengthUnit Unit() const;

  // ---- Tables.
  void FillSeriesTable();
  void ShowProcess(int i);
  void StringGrid1Click();
  void StringGrid2Click();
  void AStringGridSelectCancelExecute(TStringGrid* grid);
  bool StringGridKoefSelectCell(int col, int row);

  // ---- Data files.
  // With a sender (the menu) asks for a file; with none opens the command-line name.
  void AOpenExecute(QObject* sender);
  // All arguments joined by blanks name the file (an unquoted path with blanks).
  void OpenCommandLine(const QStringList& arguments);
  void ASaveExecute();
  // The file type of `dialog` changed to filter `filterIndex` (1: data files, 2: all).
  void SaveDialog1TypeChange(QFileDialog* dialog, int filterIndex);

  // Opens a file of the recent files submenu; a file that is gone is taken off the
  // list, with a message.
  void OpenRecentFile(const QString& path);
  const RecentFiles& Recent() const { return recent_; }
  // The window's caption: the open file's name, or the instrument's when the data
  // came from it, before the program's title.
  QString WindowTitle() const;
  // What a drop of these files on the window does (dragging shows whether it is taken).
  void DropFiles(const QList<QUrl>& urls);

  // ---- Commands.
  void AGaugeReadExecute();
  // The windows these open come with their own files (formmain_commands.cpp holds the
  // handlers until then).
  void AMaterialEditExecute();
  void AObjectEditExecute();
  void APrintExecute();
  // The series report of a copy of table 1's texts, in the preview window.
  void ShowSeriesReport(std::shared_ptr<const Table1Snapshot> table);
  // The archive window (modeless; one, made when first asked for).
  void AArchiveExecute();
  QPointer<TfrmArchive> frmArchive;
  // Shows series of the archive, given as a data file of them, as an opened file is
  // shown (tables, chart, clipboard, report); the title names the archive and the count.
  bool ShowArchiveSeries(const QString& dataFile, int count);
  // Series sheets of the rows of table 1 that are selected (the current row when none
  // is), in the preview.
  void APrintSheetsExecute();
  // Opens a prepared report (asking for it when no name is given) in the preview.
  void AOpenReportExecute(const QString& fileName = {});
  // The preview window, made when first needed.
  TfrmReportPreview* ReportPreview();
  void AMainHelpExecute();
  void AChmHelpExecute();
  void AAboutExecute();
  // Opens the help window at the topic of a help context (F1: the window's own, 3).
  void ShowHelpContext(int context);
  // The help window, once opened; it stays until the main window goes.
  QPointer<THelpWindow> frmHelp;

  // ---- Keeping in the archive (formmain_keep.cpp).
  // Switches [Archive] Keep to the action's check mark.
  void AArchiveKeepExecute();
  // The archive's location and the connection test.
  void AArchiveSettingsExecute();
  // What keeps reads and files in the archive; null while keeping is off (or never,
  // in tests without it).
  TArchiveKeeper* ArchiveKeeper() const { return keeper_; }
  // The archive of this run: [Archive] Database (or the default), or the location last
  // accepted in Parameters > Archive... with the password typed there.
  QString ArchiveLocation() const;

  // ---- Clipboard (formmain_copy.cpp).
  void ACopyTable1Execute();
  void ACopyBlockTable1Execute();
  void ACopyTable2Execute();
  void ACopyGraphExecute();
  void ACopyGraphDataExecute();
  void StringGrid1KeyDown(int key, Qt::KeyboardModifiers shift);
  void StringGrid2KeyDown(int key, Qt::KeyboardModifiers shift);
  void Chart1KeyDown(int key, Qt::KeyboardModifiers shift);  // Ctrl+C copies the chart

  // ---- LinkSink: the exchange loop's notifications, on the main thread.
  void StatusText(int panel, const Phrase& text) override;
  void LinkLamp(LampColour colour) override;
  LampColour CurrentLamp() override;
  void ProgressBegin() override;
  void ProgressRange(int maximum) override;
  void ProgressStep(int position) override;
  void ProgressEnd() override;
  void ProgressHide() override;
  void RefreshWithChartHidden(const CompletedRead& read) override;
  void TransferFailed(const LinkFailure& failure) override;

  // Where a completed read of the instrument reaches the window, with the instrument's
  // version text: it replaces what is shown (tables, chart, title). Whatever else is to
  // be done with every completed read belongs here.
  void ShowCompletedRead(const CompletedRead& read);

  // ---- What the window shows: a copy of the images taken when a read completed or a
  // file opened. Tables, chart, clipboard, report and save read only this; a read in
  // progress, a failed read or an interrupted one never changes it. Null while nothing
  // was read or opened. The copy never changes: hold on to it as long as needed.
  ImagesView ShownImages() const { return shown_; }
  uint32_t ShownProcessCount() const { return shown_ ? shown_->processCount : 0; }
  // Takes a copy of the program's images now (waiting for ImagesLock while serving
  // events) and shows it.
  void ShowCurrentImages();
  // The editors, while open (their one-byte flags say whether one exists).
  QPointer<TfrmMaterials> frmMaterials;
  QPointer<TfrmObjects> frmObjects;
  // The owner of the link to the instrument (null only after a stuck shut-down).
  InstrumentLink* Link() const { return link_.get(); }

  // ---- For the window's parts and the tests.
  QString SettingsFile() const { return settings_.Path(); }
  // Runs a modal dialog through the seam.
  int ExecModal(QDialog& dialog);
  // A message box with the application title as caption and the warning icon.
  int WarningBox(const QString& text, int buttons, int defaultButton);
  // The form's client area below the menu, status bar included (its width and height).
  int ClientWidth() const;
  int ClientHeight() const;
  // Whether the worker still runs.
  bool WorkerRunning() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void CreateActions();
  void CreateMenus();
  void CreateDialogs();
  void CreateShortcuts();
  // Puts an "&" before a letter of every menu title and item caption, unique within
  // each menu, in the current language.
  void AssignMnemonics();
  void FillRecentMenu();
  // A data file opened or saved goes first in the recent files and in the title.
  void RememberFile(const QString& fileName);
  void StoreRecentFiles();
  void ShowTitle();
  void PlaceWindow();
  // Table 2's height (rows and, when needed, its scroll bar), and below it the
  // coefficient strip and the chart.
  void PlaceBelowTable2();
  // The narrowest table 1 that shows its widest number whole, at its height now.
  int Table1MinWidth() const;
  // The window is never so narrow that table 1 cannot have that width.
  void FitMinimumWidthToNumbers();
  // The work area of the screen the window is on; all screens' work areas.
  QRect AvailableGeometry() const;
  QList<QRect> ScreenAreas() const;
  // What the materials and objects editors get: settings (a copy of settings_, whose
  // failed writes are told here too), dialogs, the link's requests.
  EditorSeams EditorSurroundings();
  // The first failed settings write of the run is told once (a message box named
  // SettingsNotice), later ones are not.
  void SettingsWriteFailed(const FileWriteResult& failed);
  void ShowSettingsNotice();
  void CreateWorker();
  // The keeper, made when keeping is on and first needed; it tries the pending list.
  void StartKeeping();
  void KeepInArchive(const CompletedRead& read);
  void KeepFileInArchive(const QString& path);
  void KeepReported(const KeepReport& report);
  // The first failure of the archive since it last worked is told once (ArchiveNotice).
  void ShowArchiveNotice(const KeepReport& report);
  void ArchiveMenuFill();
  THelpWindow& HelpWindow();
  QString HelpProgramDir() const;
  bool OpenUrl(const QUrl& url);
  void StartWorker();
  void StopWorker();
  // ImagesLock for the main thread: try_lock while serving events.
  std::unique_lock<std::mutex> LockImages();
  void OpenFile(QString fileName, bool fromCommandLine);
  // Reads and checks a data file and, when it is sound, makes it what the window shows.
  DataFileStatus OpenToShow(const QString& path);
  // Fills the window with what it shows now, opened from `source` (panel 0's text).
  void ShowOpenedData(const Phrase& source);
  // Shows OpenDialog1 proposing `fileName`; true with the chosen name in it.
  bool ShowOpenDialog(QString& fileName);

  FormSeams seams_;
  std::unique_ptr<InstrumentLink> link_;
  ImagesView shown_;
  ProgramSettings settings_;
  QActionGroup* languageGroup_ = nullptr;
  QActionGroup* unitGroup_ = nullptr;
  QWidget* client_ = nullptr;  // the central widget
  LampColour lamp_ = LampColour::ButtonFace;
  QString commandLineName_;
  bool created_ = false;
  int settingsError_ = 0;        // why the settings could not be written, until told
  bool settingsNoticeDone_ = false;
  bool exiting_ = false;
  bool layingOut_ = false;
  // The width the number column of table 1 needs for its widest text; table 1 is never
  // narrower than the width that gives its number column that much.
  int numberColumnNeed_ = 0;
  RecentFiles recent_;
  QString titleName_;  // file or instrument; empty: the program's title alone
  TArchiveKeeper* keeper_ = nullptr;
  QString archiveLocation_;       // accepted in the dialog this run; empty: the settings'
  quint64 lastKept_ = 0;          // the ticket of the last read or file given to the keeper
  bool archiveNoticeDone_ = false;  // told that the archive fails, until it works again
  int archiveShown_ = -1;  // series of the archive shown (the title names them), or -1
  bool shownFromFile_ = false;  // titleName_ names a data file (else the instrument)
  // What the status bar says, in the current language, and its hold rule.
  TStatusPresenter* status_ = nullptr;
};

}  // namespace zarn
