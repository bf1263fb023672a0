// The main window: its controls, menus and actions, the start-up, the layout, the
// language and unit switches, the tables and the shut-down.

#include "formmain.h"
#include "archivekeeper.h"
#include "device/instrumentlink.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include "archivewindow.h"
#include "chart1.h"
#include "common/filewrite.h"
#include "common/paths.h"
#include "common/texts.h"
#include "controls.h"
#include "data/presenters.h"
#include "data/process.h"
#include "device/exchangeloop.h"
#include "device/kovthread.h"
#include "device/linkstate.h"
#include "report/fonts.h"
#include "helpwindow.h"
#include "language.h"
#include "layout.h"
#include "mnemonics.h"
#include "qttranslations.h"
#include "screenfit.h"
#include "statuspresenter.h"
#include "stringgrid.h"

namespace zarn {
namespace {

// Told once a run, when the settings file cannot be written.
const TextPair txtSettingsNotKept{u"Настройки программы не будут сохранены",
                                  u"The program's settings will not be kept"};

constexpr int kMinWidth = 394;
constexpr int kMinHeight = 320;
constexpr int kTable1MinWidth = 100;
constexpr int kTable1RowHeight = 18;
constexpr int kTable2RowHeight = 18;
constexpr int kTable2Rows = 9;
constexpr int kTable2InitialColumns = 1 + kMaxBlows;
constexpr int kGridFrame = 1;  // sunken border on every side
constexpr int kPanel1Width = 140;
constexpr int kPanel2Width = 20;
constexpr int kProgressTop = 5;
constexpr int kLampPanelTop = 3;

QFont GridFont(int pixels) {
  QFont font(QStringLiteral("Times New Roman"));
  font.setPixelSize(pixels);
  return font;
}

QColor ButtonFace(const QWidget* widget) { return widget->palette().color(QPalette::Button); }

// What a menu item bound to `action` reads: the caption with the mnemonic the menu
// gave it (while the action's caption is still the one it was given for), and the
// action's shortcut in the shortcut column.
const char* const kMarkedCaption = "markedCaption";
QString ItemCaption(const QAction* item, const QAction* action) {
  const QString marked = item->property(kMarkedCaption).toString();
  QString text = !marked.isEmpty() && WithoutMnemonic(marked) == action->text() ? marked : action->text();
  const QKeySequence keys = action->shortcut();
  if (!keys.isEmpty()) text += u'\t' + keys.toString(QKeySequence::NativeText);
  return text;
}

// A menu item bound to an action: it shows the action's caption and check mark and
// runs the action, as an item of a menu with an action does.
QAction* BoundItem(QMenu* menu, const char* name, QAction* action) {
  auto* item = new QAction(menu);
  item->setObjectName(QString::fromLatin1(name));
  item->setProperty("boundAction", QVariant::fromValue(static_cast<QObject*>(action)));
  auto sync = [item, action] {
    item->setText(ItemCaption(item, action));
    item->setCheckable(action->isCheckable());
    item->setChecked(action->isChecked());
    item->setEnabled(action->isEnabled());
    item->setVisible(action->isVisible());
  };
  sync();
  QObject::connect(action, &QAction::changed, item, sync);
  QObject::connect(item, &QAction::triggered, action, [action, sync] {
    action->trigger();
    sync();
  });
  menu->addAction(item);
  return item;
}

QAction* BoundActionOf(const QAction* item) {
  return qobject_cast<QAction*>(item->property("boundAction").value<QObject*>());
}

}  // namespace

TForm1::TForm1(FormSeams seams, QWidget* parent) : QMainWindow(parent), seams_(std::move(seams)) {
  InstallFontSubstitutes();
  CreateControls();
  CreateActions();
  CreateMenus();
  CreateDialogs();
  CreateShortcuts();
  FormCreate();
}

TForm1::~TForm1() {
  // The worker must not outlive the window it notifies.
  StopWorker();
  link_.reset();
  // What the keeper was still given waits in the pending list.
  delete keeper_;
  keeper_ = nullptr;
}

// ---------------------------------------------------------------------------------
// Controls.

void TForm1::CreateControls() {
  setObjectName(QStringLiteral("Form1"));
  setMinimumSize(kMinWidth, kMinHeight);
  QFont formFont(QStringLiteral("MS Sans Serif"));
  formFont.setPixelSize(11);

  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("ClientArea"));
  client_->setFont(formFont);
  client_->installEventFilter(this);
  setCentralWidget(client_);

  const QColor face = ButtonFace(this);

  StringGrid1 = new TStringGrid(client_);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->setFont(GridFont(13));
  StringGrid1->SetDefaultRowHeight(kTable1RowHeight);
  StringGrid1->SetColCount(kSeriesColumns);
  StringGrid1->SetRowCount(3);
  StringGrid1->SetFixedRows(2);
  StringGrid1->SetFixedCols(0);
  StringGrid1->SetRowSelect(true);
  StringGrid1->SetRangeSelect(true);
  StringGrid1->SetColSizing(true);
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  StringGrid1->setMinimumWidth(kTable1MinWidth);
  StringGrid1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StringGrid1->SetGridColor(face);

  Splitter1 = new TSplitter(client_);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));

  StringGrid2 = new TStringGrid(client_);
  StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
  StringGrid2->setFont(GridFont(11));
  StringGrid2->SetDefaultRowHeight(kTable2RowHeight);
  StringGrid2->SetColCount(kTable2InitialColumns);
  StringGrid2->SetRowCount(kTable2Rows);
  StringGrid2->SetFixedRows(1);
  StringGrid2->SetFixedCols(1);
  StringGrid2->SetColSizing(true);
  StringGrid2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid2->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  StringGrid2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StringGrid2->SetGridColor(face);

  StringGridKoef = new TStringGrid(client_);
  StringGridKoef->setObjectName(QStringLiteral("StringGridKoef"));
  StringGridKoef->setFont(GridFont(11));
  StringGridKoef->SetDefaultRowHeight(kTable2RowHeight);
  StringGridKoef->SetColCount(5);
  StringGridKoef->SetRowCount(1);
  StringGridKoef->SetFixedRows(0);
  StringGridKoef->SetFixedCols(1);
  StringGridKoef->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGridKoef->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGridKoef->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StringGridKoef->SetGridColor(face);
  StringGridKoef->SetSelectCellHandler(
      [this](int col, int row) { return StringGridKoefSelectCell(col, row); });
  StringGridKoef->setFocusPolicy(Qt::NoFocus);

  Chart1 = new TChart(client_);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  // Which of the three has the keyboard (Tab goes round them; Ctrl+C copies that one).
  for (QWidget* w : {static_cast<QWidget*>(StringGrid1), static_cast<QWidget*>(StringGrid2),
                     static_cast<QWidget*>(Chart1)})
    new TFocusFrame(w);

  StatusBar1 = new TStatusBar(4, this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFont(formFont);
  StatusBar1->SetPanelWidth(1, kPanel1Width);
  StatusBar1->SetPanelWidth(2, kPanel2Width);
  StatusBar1->SetPanelText(1, kConnectingStatus.toString());
  StatusBar1->installEventFilter(this);
  setStatusBar(StatusBar1);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setFixedSize(136, 11);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->hide();

  PanelShapeLink = new QWidget(StatusBar1);
  PanelShapeLink->setObjectName(QStringLiteral("PanelShapeLink"));
  PanelShapeLink->setFixedSize(12, 14);
  ShapeLink = new TShape(PanelShapeLink);
  ShapeLink->setObjectName(QStringLiteral("ShapeLink"));
  // 9 x 17, sticking out of its panel above and below; the circle in its middle fits.
  ShapeLink->setGeometry(1, -2, 9, 17);
  ShapeLink->SetBrushColor(face);
  lamp_ = LampColour::ButtonFace;

  status_ = new TStatusPresenter(*StatusBar1, *ProgressBar1, this);

  connect(StringGrid1, &TStringGrid::Click, this, &TForm1::StringGrid1Click);
  connect(StringGrid2, &TStringGrid::Click, this, &TForm1::StringGrid2Click);
  connect(StringGrid1, &TStringGrid::KeyDown, this, &TForm1::StringGrid1KeyDown);
  connect(StringGrid2, &TStringGrid::KeyDown, this, &TForm1::StringGrid2KeyDown);
  connect(Splitter1, &TSplitter::Dragged, this, [this](int left) {
    const int least = Table1MinWidth();
    StringGrid1->resize(std::clamp(left, least, std::max(least, ClientWidth() - 40)), StringGrid1->height());
    FormResize();  // the splitter resizes live
  });
  connect(Splitter1, &TSplitter::Moved, this, &TForm1::FormResize);
  // A blow column the user widens may push the others out of sight: the scroll bar
  // then comes, below the last row.
  connect(StringGrid2->horizontalHeader(), &QHeaderView::sectionResized, this,
          [this] {
            if (!layingOut_) PlaceBelowTable2();
          });
  connect(StatusBar1, &TStatusBar::MousePressed, this, [this](QPoint p) { LastMouseDown = p; });
  connect(Chart1, &TChart::MousePressed, this, [this](QPoint p) { LastMouseDown = p; });

  CreateWorker();
}

void TForm1::CreateActions() {
  auto make = [this](QAction*& action, const char* name) {
    action = new QAction(this);
    action->setObjectName(QString::fromLatin1(name));
    addAction(action);
  };
  make(AOpen, "AOpen");
  make(ASave, "ASave");
  make(APrint, "APrint");
  make(APrintSheets, "APrintSheets");
  make(AOpenReport, "AOpenReport");
  make(AExit, "AExit");
  make(ACopyTable1, "ACopyTable1");
  make(ACopyBlockTable1, "ACopyBlockTable1");
  make(ACopyTable2, "ACopyTable2");
  make(ACopyGraph, "ACopyGraph");
  make(ACopyGraphData, "ACopyGraphData");
  make(AGaugeRead, "AGaugeRead");
  make(AMaterialEdit, "AMaterialEdit");
  make(AObjectEdit, "AObjectEdit");
  make(AArchive, "AArchive");
  make(ALangRus, "ALangRus");
  make(ALangEng, "ALangEng");
  make(AMPa, "AMPa");
  make(Akgm, "Akgm");
  make(AMainHelp, "AMainHelp");
  make(AChmHelp, "AChmHelp");
  make(AAbout, "AAbout");
  make(AStringGridSelectCancel, "AStringGridSelectCancel");
  make(AArchiveKeep, "AArchiveKeep");
  AArchiveKeep->setCheckable(true);
  AArchiveKeep->setChecked(true);
  make(AArchiveSettings, "AArchiveSettings");

  ALangRus->setText(kLangRusCaption.toString());
  ALangEng->setText(kLangEngCaption.toString());
  languageGroup_ = new QActionGroup(this);
  for (QAction* a : {ALangRus, ALangEng}) {
    a->setCheckable(true);
    languageGroup_->addAction(a);
  }
  ALangRus->setChecked(true);
  unitGroup_ = new QActionGroup(this);
  for (QAction* a : {AMPa, Akgm}) {
    a->setCheckable(true);
    unitGroup_->addAction(a);
  }
  AMPa->setChecked(true);

  // The desktop's keys for open, save and quit; F5 reads the instrument again.
  AOpen->setShortcut(QKeySequence::Open);
  ASave->setShortcut(QKeySequence::Save);
  AExit->setShortcut(QKeySequence::Quit);
  if (AExit->shortcut().isEmpty()) AExit->setShortcut(Qt::CTRL | Qt::Key_Q);  // a desktop without one
  AGaugeRead->setShortcut(Qt::Key_F5);
  AArchive->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_A);

  connect(AOpen, &QAction::triggered, this, [this] { AOpenExecute(AOpen); });
  connect(ASave, &QAction::triggered, this, &TForm1::ASaveExecute);
  connect(APrint, &QAction::triggered, this, &TForm1::APrintExecute);
  connect(APrintSheets, &QAction::triggered, this, &TForm1::APrintSheetsExecute);
  connect(AOpenReport, &QAction::triggered, this, [this] { AOpenReportExecute(); });
  connect(AExit, &QAction::triggered, this, &TForm1::AExitExecute);
  connect(ACopyTable1, &QAction::triggered, this, &TForm1::ACopyTable1Execute);
  connect(ACopyBlockTable1, &QAction::triggered, this, &TForm1::ACopyBlockTable1Execute);
  connect(ACopyTable2, &QAction::triggered, this, &TForm1::ACopyTable2Execute);
  connect(ACopyGraph, &QAction::triggered, this, &TForm1::ACopyGraphExecute);
  connect(ACopyGraphData, &QAction::triggered, this, &TForm1::ACopyGraphDataExecute);
  connect(AGaugeRead, &QAction::triggered, this, &TForm1::AGaugeReadExecute);
  connect(AMaterialEdit, &QAction::triggered, this, &TForm1::AMaterialEditExecute);
  connect(AObjectEdit, &QAction::triggered, this, &TForm1::AObjectEditExecute);
  connect(AArchive, &QAction::triggered, this, &TForm1::AArchiveExecute);
  connect(ALangRus, &QAction::triggered, this, &TForm1::ALangRusExecute);
  connect(ALangEng, &QAction::triggered, this, &TForm1::ALangEngExecute);
  connect(AMPa, &QAction::triggered, this, &TForm1::AMPaExecute);
  connect(Akgm, &QAction::triggered, this, &TForm1::AkgmExecute);
  connect(AMainHelp, &QAction::triggered, this, &TForm1::AMainHelpExecute);
  connect(AChmHelp, &QAction::triggered, this, &TForm1::AChmHelpExecute);
  connect(AAbout, &QAction::triggered, this, &TForm1::AAboutExecute);
  connect(AArchiveKeep, &QAction::triggered, this, &TForm1::AArchiveKeepExecute);
  connect(AArchiveSettings, &QAction::triggered, this, &TForm1::AArchiveSettingsExecute);
  // F1 anywhere in the window: the window's own help topic.
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setObjectName(QStringLiteral("HelpContextKey"));
  connect(f1, &QShortcut::activated, this, [this] { ShowHelpContext(kMainWindowHelpContext); });
}

void TForm1::CreateMenus() {
  MainMenu1 = menuBar();
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  auto menu = [this](QMenu* parentMenu, const char* name) {
    QMenu* m = parentMenu ? parentMenu->addMenu(QString()) : MainMenu1->addMenu(QString());
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };

  itmFile = menu(nullptr, "itmFile");
  BoundItem(itmFile, "itmOpen", AOpen);
  BoundItem(itmFile, "itmSave", ASave);
  itmRecent = menu(itmFile, "itmRecent");
  itmFile->addSeparator();
  BoundItem(itmFile, "itmPrint", APrint);
  BoundItem(itmFile, "itmPrintSheets", APrintSheets);
  BoundItem(itmFile, "itmOpenReport", AOpenReport);
  itmFile->addSeparator()->setVisible(false);
  BoundItem(itmFile, "itmExit", AExit);

  itmEdit = menu(nullptr, "itmEdit");
  BoundItem(itmEdit, "itmCopyAll1", ACopyTable1);
  BoundItem(itmEdit, "itmCopySelect", ACopyBlockTable1);
  itmEdit->addSeparator();
  BoundItem(itmEdit, "itmCopyAll2", ACopyTable2);
  itmEdit->addSeparator();
  BoundItem(itmEdit, "itmCopyChart", ACopyGraph);
  BoundItem(itmEdit, "itmCopyGrData", ACopyGraphData);

  itmCmd = menu(nullptr, "itmCmd");
  BoundItem(itmCmd, "itmRetryRd", AGaugeRead);
  BoundItem(itmCmd, "itmMaterials", AMaterialEdit);
  BoundItem(itmCmd, "itmObjects", AObjectEdit);
  itmCmd->addSeparator();
  BoundItem(itmCmd, "itmArchive", AArchive);

  itmParam = menu(nullptr, "itmParam");
  // One choice of several: the items show radio marks.
  auto choices = [this](QAction* a, QAction* b) {
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    group->addAction(a);
    group->addAction(b);
  };
  // (The items are made one statement at a time: the menu's order is theirs.)
  itmLanguage = menu(itmParam, "itmLanguage");
  QAction* itmRus = BoundItem(itmLanguage, "itmRus", ALangRus);
  choices(itmRus, BoundItem(itmLanguage, "itmEng", ALangEng));
  itmUnit = menu(itmParam, "itmUnit");
  QAction* itmMPa = BoundItem(itmUnit, "itmMPa", AMPa);
  choices(itmMPa, BoundItem(itmUnit, "itmKG", Akgm));
  itmParam->addSeparator();
  BoundItem(itmParam, "itmArchiveKeep", AArchiveKeep);
  BoundItem(itmParam, "itmArchiveSettings", AArchiveSettings);

  itmHelp = menu(nullptr, "itmHelp");
  BoundItem(itmHelp, "itmMainHelp", AMainHelp);
  BoundItem(itmHelp, "chm1", AChmHelp);
  itmHelp->addSeparator();
  BoundItem(itmHelp, "itmAbout", AAbout);

  PopupMenuStringGrid1 = new QMenu(this);
  PopupMenuStringGrid1->setObjectName(QStringLiteral("PopupMenuStringGrid1"));
  PopupMenuStringGrid1->addAction(ACopyTable1);
  PopupMenuStringGrid1->addAction(ACopyBlockTable1);
  PopupMenuStringGrid2 = new QMenu(this);
  PopupMenuStringGrid2->setObjectName(QStringLiteral("PopupMenuStringGrid2"));
  PopupMenuStringGrid2->addAction(ACopyTable2);
  PopupMenuChart = new QMenu(this);
  PopupMenuChart->setObjectName(QStringLiteral("PopupMenuChart"));
  PopupMenuChart->addAction(ACopyGraph);
  PopupMenuChart->addAction(ACopyGraphData);

  auto popupOn = [](TStringGrid* grid, QMenu* popup) {
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, popup,
            [grid, popup](QPoint p) { popup->popup(grid->viewport()->mapToGlobal(p)); });
  };
  popupOn(StringGrid1, PopupMenuStringGrid1);
  popupOn(StringGrid2, PopupMenuStringGrid2);
  popupOn(StringGridKoef, PopupMenuStringGrid2);
  // The chart opens its menu itself, only when a right button goes up where it went down.
  Chart1->setPopupMenu(PopupMenuChart);
}

void TForm1::CreateShortcuts() {
  // Tab and Shift+Tab go round table 1, table 2 and the chart; inside a table the
  // arrow keys move between cells.
  StringGrid1->setTabKeyNavigation(false);
  StringGrid2->setTabKeyNavigation(false);
  setTabOrder(StringGrid1, StringGrid2);
  setTabOrder(StringGrid2, Chart1);
  // Escape anywhere in the window leaves a zoom of the chart.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setObjectName(QStringLiteral("LeaveZoomKey"));
  connect(escape, &QShortcut::activated, Chart1, &TChart::LeaveZoom);
  // Ctrl+C in the chart copies its picture, as in a table it copies the table.
  connect(Chart1, &TChart::KeyDown, this, &TForm1::Chart1KeyDown);
  // A data file dropped on the window opens as Open opens it.
  setAcceptDrops(true);
}

// ---------------------------------------------------------------------------------
// Start-up.

void TForm1::FormCreate() {
  // 1. The settings file. A write that fails is told once (ShowSettingsNotice).
  settings_ = ProgramSettings(seams_.settingsPath,
                              [this](const FileWriteResult& failed) { SettingsWriteFailed(failed); });
  // 2. (The compiled help is opened through the desktop's viewer when it is asked for;
  //    nothing is loaded at start.)

  recent_.Load(settings_.RecentFiles());

  // 3. Language and unit.
  if (const std::optional<int> language = settings_.Language()) {
    if (*language == kRussian)
      ALangRusExecute();
    else
      ALangEngExecute();
  } else {
    // First start: ask. A chooser closed without a choice leaves Russian and writes
    // nothing, so the next start asks again.
    TfrmLanguage chooser(this);
    const QRect screen = AvailableGeometry();
    chooser.move(screen.x() + (screen.width() - chooser.width()) / 2,
                 screen.y() + (screen.height() - chooser.height()) / 2);
    KeepOnScreen(&chooser, [this] { return ScreenAreas(); });
    ExecModal(chooser);
    // Qt's own texts follow whatever language the chooser left.
    UseQtTranslations(LanguageIndex.load());
  }
  (settings_.Unit() == StrengthUnit::MPa ? AMPa : Akgm)->setChecked(true);
  AArchiveKeep->setChecked(settings_.ArchiveKeep());

  // 4. Size and position.
  PlaceWindow();

  // 5. Launch counter.
  settings_.CountLaunch();

  // 6.-7.
  Chart1->ClearBlowSeries();
  FormResize();
  // 8. Every number text of the program is written with the decimal comma already.
  // 9.-10.
  MenuFill();
  AStringGridSelectCancelExecute(StringGrid2);
  created_ = true;
  // A settings problem met on the way is told once the window is up.
  if (settingsError_ != 0) QTimer::singleShot(0, this, [this] { ShowSettingsNotice(); });
  // The archive, before the first read can complete; it never holds up the start.
  StartKeeping();
  // 11.
  if (seams_.startWorker) StartWorker();
}

QList<QRect> TForm1::ScreenAreas() const {
  if (seams_.screenAreas) return seams_.screenAreas();
  if (seams_.availableGeometry) return {seams_.availableGeometry()};
  return DesktopScreenAreas();
}

QRect TForm1::AvailableGeometry() const {
  if (seams_.availableGeometry) return seams_.availableGeometry();
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

void TForm1::PlaceWindow() {
  // The window goes back to the screen it was on when it was closed, or, when that
  // place is on no screen now, to the nearest one; there it is clamped as it always was.
  const StoredWindow stored = settings_.Window();
  QRect screenArea = AvailableGeometry();
  if (const std::optional<QRect> last = RememberedWindowPlace(stored))
    screenArea = ScreenAreaFor(*last, ScreenAreas());
  const WindowPlacement p =
      PlaceWindowFromSettings(stored, screenArea, QSize(kMinWidth, kMinHeight), kTable1MinWidth);
  resize(p.width, p.height);
  StringGrid1->resize(p.table1Width, StringGrid1->height());
  move(p.left, p.top);
  if (p.maximized) setWindowState(windowState() | Qt::WindowMaximized);
  // And it stays on a screen with its frame, whenever it is shown.
  KeepOnScreen(this, [this] { return ScreenAreas(); });
  // Lay the window out now, so that the layout below sees the client area's real size.
  if (layout()) layout()->activate();
}

void TForm1::SettingsWriteFailed(const FileWriteResult& failed) {
  // A settings file that cannot be written changes nothing but the file: the values
  // stay in effect until the program ends, and the user learns once that they will
  // not be kept. A file that cannot be read is never written over.
  if (settingsNoticeDone_ || settingsError_ != 0) return;
  settingsError_ = failed.error;
  if (created_ && !exiting_) ShowSettingsNotice();
}

void TForm1::ShowSettingsNotice() {
  if (settingsNoticeDone_ || settingsError_ == 0) return;
  settingsNoticeDone_ = true;
  // Not modal: the program goes on working with the values it has.
  auto* box = new QMessageBox(QMessageBox::Warning, txtAppTitle(), txtSettingsNotKept(),
                              QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("SettingsNotice"));
  box->setInformativeText(settings_.Path() + QStringLiteral(": ") +
                          WriteFailureReason(settingsError_, LanguageIndex.load()));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
}

int TForm1::ClientWidth() const { return client_->width(); }

int TForm1::ClientHeight() const {
  return client_->height() + (StatusBar1->isVisibleTo(this) ? StatusBar1->height() : 0);
}

// ---------------------------------------------------------------------------------
// Layout.

void TForm1::FillHeadings() {
  const int language = LanguageIndex.load();
  const StrengthUnit unit = Unit();
  // The series table's headings; cells (0,1), (4,1) and (5,1) stay as they are.
  StringGrid1->BeginUpdate();
  StringGrid1->SetRowCells(0, 0, SeriesTableHeading(0, language, unit));
  const SeriesRow heading1 = SeriesTableHeading(1, language, unit);
  for (int c : {1, 2, 3, 6, 7, 8}) StringGrid1->SetCells(c, 1, heading1[size_t(c)]);
  StringGrid1->EndUpdate();
  // The impacts table's blow headings and row labels, and the strip's caption.
  StringGrid2->BeginUpdate();
  for (int c = 1; c < StringGrid2->ColCount(); ++c) StringGrid2->SetCells(c, 0, ImpactHeading(c, language));
  const QStringList labels = ImpactsLabels(language, unit);
  for (int r = 1; r < labels.size() && r < StringGrid2->RowCount(); ++r) StringGrid2->SetCells(0, r, labels[r]);
  StringGrid2->EndUpdate();
  StringGridKoef->SetCells(0, 0, txtMaterialCoefficients.Str(language));
}

void TForm1::FormResize() {
  layingOut_ = true;

  // 1. Status bar.
  StatusBar1->SetPanelWidth(1, kPanel1Width);
  StatusBar1->SetPanelWidth(2, kPanel2Width);
  const int panel0 = StatusBar1->width() - 20 - StatusBar1->PanelWidth(1) - StatusBar1->PanelWidth(2);
  StatusBar1->SetPanelWidth(0, panel0);
  ProgressBar1->move(panel0 + 3, kProgressTop);
  PanelShapeLink->move(panel0 + StatusBar1->PanelWidth(1) + 6, kLampPanelTop);

  // 2. The series table leaves at least 40 pixels to the right-hand area.
  const int clientWidth = ClientWidth();
  int width1 = StringGrid1->width();
  if (clientWidth - 40 < width1) width1 = std::max(kTable1MinWidth, clientWidth - 40);
  // Nor is it so narrow that its numbers would be cut (a cut "129" reads as "12").
  width1 = std::max(width1, Table1MinWidth());
  StringGrid1->setGeometry(0, 0, width1, client_->height());
  Splitter1->setGeometry(width1, 0, TSplitter::kWidth, client_->height());

  // 3. Series table columns.
  const std::vector<int> widths1 =
      SeriesColumnWidths(width1, StringGrid1->height(), StringGrid1->RowCount(),
                         StringGrid1->DefaultRowHeight(), StringGrid1->ColCount());
  for (int c = 0; c < int(widths1.size()); ++c) StringGrid1->SetColWidths(c, widths1[size_t(c)]);

  // 4.
  if (StringGrid1->RowCount() < 3) StringGrid1->SetRowCount(3);
  StringGrid1->SetFixedRows(2);

  // 6. Impacts table.
  const int left2 = Splitter1->x() + Splitter1->width();
  const int width2 = std::max(0, clientWidth - Splitter1->x() - Splitter1->width());
  StringGrid2->setGeometry(left2, 0, width2, StringGrid2->height());
  StringGrid2->BeginUpdate();
  const std::vector<int> widths2 = ImpactColumnWidths(width2, Splitter1->width(), StringGrid2->ColCount());
  for (int c = 0; c < int(widths2.size()); ++c) StringGrid2->SetColWidths(c, widths2[size_t(c)]);
  if (StringGrid2->ColCount() < 2) {
    // A table without blow columns keeps one, empty, over the rest of the width.
    StringGrid2->SetColCount(2);
    StringGrid2->SetColWidths(0, kLabelColumnWidth);
    StringGrid2->SetColWidths(1, ImpactColumnWidths(width2, Splitter1->width(), 2)[1]);
  }

  StringGrid2->EndUpdate();

  // 8. Coefficient strip.
  StringGridKoef->setGeometry(left2, StringGridKoef->y(), width2,
                              StringGridKoef->DefaultRowHeight() + TStringGrid::kGridLineWidth + 2 * kGridFrame);
  const std::array<int, 5> koefWidths = KoefColumnWidths(StringGridKoef->width(), StringGrid2->ColWidths(0));
  for (int c = 0; c < 5; ++c) StringGridKoef->SetColWidths(c, koefWidths[size_t(c)]);
  AStringGridSelectCancelExecute(StringGridKoef);

  // 9. Chart; with table 2's height, the strip's and the chart's tops.
  layingOut_ = false;
  PlaceBelowTable2();
}

int TForm1::Table1MinWidth() const {
  return SeriesTableMinWidth(numberColumnNeed_, kTable1MinWidth, StringGrid1->height(), StringGrid1->RowCount(),
                             StringGrid1->DefaultRowHeight(), StringGrid1->ColCount());
}

void TForm1::FitMinimumWidthToNumbers() {
  // The numbers of the data rows (the heading's "№" may end in "…" like any heading).
  numberColumnNeed_ = StringGrid1->TextWidthNeeded(0, StringGrid1->FixedRows());
  // With room for the vertical scroll bar, whatever the height, and the 40 pixels the
  // right-hand area keeps.
  const int least = SeriesTableMinWidth(numberColumnNeed_, kTable1MinWidth, 0, 1, StringGrid1->DefaultRowHeight(),
                                        StringGrid1->ColCount());
  setMinimumWidth(std::max(kMinWidth, least + 40 + width() - ClientWidth()));
}

void TForm1::PlaceBelowTable2() {
  // Table 2 shows all its rows; when its columns do not fit, its scroll bar comes
  // under them and the strip and the chart move down by its height.
  const Table2Height h2 =
      ImpactsTableHeight(kTable2Rows, StringGrid2->DefaultRowHeight(), kGridFrame, StringGrid2->width(),
                         StringGrid2->horizontalHeader()->length(),
                         StringGrid2->horizontalScrollBar()->sizeHint().height());
  StringGrid2->setHorizontalScrollBarPolicy(h2.scrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  StringGrid2->resize(StringGrid2->width(), h2.height);
  const int koefTop = StringGrid2->y() + StringGrid2->height();
  StringGridKoef->move(StringGridKoef->x(), koefTop);
  const int chartTop = StringGridKoef->y() + StringGridKoef->height() + 4;
  Chart1->setGeometry(StringGrid2->x(), chartTop, StringGrid2->width(),
                      std::max(0, ClientHeight() - chartTop - 24));
}

// ---------------------------------------------------------------------------------
// Language and unit.

void TForm1::MenuFill() {
  itmFile->setTitle(txtMenuFile());
  AOpen->setText(txtOpen());
  ASave->setText(txtSave());
  APrint->setText(txtPrintReport());
  APrintSheets->setText(txtPrintSheets());
  AOpenReport->setText(txtOpenReport());
  AExit->setText(txtExit());

  itmEdit->setTitle(txtMenuEdit());
  ACopyTable1->setText(txtCopyTable1());
  ACopyBlockTable1->setText(txtCopySelection());
  ACopyTable2->setText(txtCopyTable2());
  ACopyGraph->setText(txtCopyChart());
  ACopyGraphData->setText(txtCopyChartData());

  itmCmd->setTitle(txtMenuCommands());
  AGaugeRead->setText(txtReadFromDevice());
  AMaterialEdit->setText(txtMaterialsEdit());
  AObjectEdit->setText(txtObjectsEdit());
  AArchive->setText(txtArchiveWindow());

  itmParam->setTitle(txtMenuParameters());
  itmLanguage->setTitle(txtMenuLanguage());
  itmUnit->setTitle(txtMenuUnit());
  AMPa->setText(txtUnitMPa());
  Akgm->setText(txtUnitKgf());

  itmHelp->setTitle(txtMenuHelp());
  AMainHelp->setText(txtHelpHlp());
  AChmHelp->setText(txtHelpChm());
  AAbout->setText(txtAbout());
  ArchiveMenuFill();

  ShowTitle();
  FillRecentMenu();
  AssignMnemonics();
  // Every text on the screen follows the switch, the tables' headings and the status
  // bar's too.
  FillHeadings();
  status_->Retranslate();
  FormResize();
  if (ShownProcessCount() != 0) ShowProcess(StringGrid1->Row() - 2);
  if (frmArchive) frmArchive->Retranslate();
}

void TForm1::AssignMnemonics() {
  // The menu bar's titles, then each menu's items; separators and hidden items take
  // no letter; the recent files keep their numbers.
  auto assign = [](const QList<QAction*>& actions) {
    QList<QAction*> items;
    QStringList captions;
    for (QAction* a : actions) {
      if (a->isSeparator() || !a->isVisible()) continue;
      const QAction* bound = BoundActionOf(a);
      items.append(a);
      captions.append(bound       ? bound->text()
                      : a->menu() ? WithoutMnemonic(a->menu()->title())
                                  : WithoutMnemonic(a->text()));
    }
    const QStringList marked = WithMnemonics(captions);
    for (qsizetype i = 0; i < items.size(); ++i) {
      QAction* a = items[i];
      if (const QAction* bound = BoundActionOf(a)) {
        a->setProperty(kMarkedCaption, marked[i]);
        a->setText(ItemCaption(a, bound));
      } else if (a->menu()) {
        a->menu()->setTitle(marked[i]);
      } else {
        a->setText(marked[i]);
      }
    }
  };
  assign(MainMenu1->actions());
  // (The pop-up menus hold the commands themselves, not items: an "&" there would
  // change the command's caption; the Edit menu underlines the same commands.)
  for (QMenu* m : {itmFile, itmRecent, itmEdit, itmCmd, itmParam, itmLanguage, itmUnit, itmHelp})
    assign(m->actions());
}

void TForm1::ALangRusExecute() {
  LanguageIndex.store(kRussian);
  UseQtTranslations(kRussian);
  ALangRus->setChecked(true);
  settings_.SetLanguage(kRussian);
  MenuFill();
}

void TForm1::ALangEngExecute() {
  LanguageIndex.store(kEnglish);
  UseQtTranslations(kEnglish);
  ALangEng->setChecked(true);
  settings_.SetLanguage(kEnglish);
  MenuFill();
}

void TForm1::AMPaExecute() {
  AMPa->setChecked(true);
  settings_.SetUnit(StrengthUnit::MPa);
  FillHeadings();
  FillSeriesTable();
  if (frmArchive) frmArchive->Retranslate();
}

void TForm1::AkgmExecute() {
  Akgm->setChecked(true);
  settings_.SetUnit(StrengthUnit::Kgf);
  FillHeadings();
  FillSeriesTable();
  if (frmArchive) frmArchive->Retranslate();
}

StrengthUnit TForm1::Unit() const { return AMPa->isChecked() ? StrengthUnit::MPa : StrengthUnit::Kgf; }

// ---------------------------------------------------------------------------------
// Tables.

void TForm1::FillSeriesTable() {
  const uint32_t count = ShownProcessCount();
  if (count == 0) {
    // No processes: the tables must not go on showing an earlier read as if it were
    // this one (the unit switch would even relabel its numbers). They are emptied.
    StringGrid1->BeginUpdate();
    StringGrid1->SetRowCount(3);
    for (int c = 0; c < StringGrid1->ColCount(); ++c) StringGrid1->SetCells(c, 2, QString());
    StringGrid1->EndUpdate();
    StringGrid1->SetRow(2);
    StringGrid2->BeginUpdate();
    StringGrid2->SetColCount(2);
    StringGrid2->SetCells(0, 0, QString());
    for (int r = 1; r < StringGrid2->RowCount(); ++r) StringGrid2->SetCells(1, r, QString());
    StringGrid2->EndUpdate();
    for (int c = 1; c < StringGridKoef->ColCount(); ++c) StringGridKoef->SetCells(c, 0, QString());
    Chart1->ClearBlowSeries();
    Chart1->DrawZeroLine();
    FitMinimumWidthToNumbers();
    FillHeadings();
    FormResize();
    return;
  }
  const StrengthUnit unit = Unit();
  StringGrid1->BeginUpdate();
  StringGrid1->SetRowCount(int(count) + 2);
  ProcessRecordBuffer record{};
  SeriesRow row;
  for (uint32_t i = 0; i < count; ++i) {
    // Records are read where they lie; only one cut short by the end of the memory is
    // copied (and completed with zeros).
    const DeviceImages& images = shown_->images;
    const uint8_t* bytes = ProcessInPlace(images.ParamBlock.data(), images.DataImage.data(), count, i);
    if (!bytes) {
      CopyProcess(images, count, i, record.data());
      bytes = record.data();
    }
    FillSeriesRow(ProcessView(bytes), unit, row);
    StringGrid1->TakeRowCells(int(i) + 2, 0, row);
  }
  StringGrid1->EndUpdate();
  FitMinimumWidthToNumbers();
  StringGrid1->SetRow(2);
  ShowProcess(0);
  AStringGridSelectCancelExecute(StringGrid2);
}

void TForm1::ShowProcess(int i) {
  const int language = LanguageIndex.load();
  bool ok = i >= 0 && uint32_t(i) < ShownProcessCount();
  if (ok) {
    try {
      CopyProcess(shown_->images, shown_->processCount, uint32_t(i), ProcessRecord.data());
      const ProcessView process(ProcessRecord.data());
      const QList<QStringList> table = ImpactsTable(process, language, Unit());
      StringGrid2->BeginUpdate();
      StringGrid2->SetColCount(process.shownBlowCount() + 1);
      for (int r = 0; r < table.size() && r < StringGrid2->RowCount(); ++r)
        StringGrid2->SetRowCells(r, 0, table[r]);
      StringGrid2->EndUpdate();
      const std::array<QString, 5> koef = CoefficientRow(process, language);
      StringGridKoef->SetRowCells(0, 1, std::span(koef).subspan(1));
    } catch (const std::exception&) {
      StringGrid2->EndUpdate();
      ok = false;
    }
  }
  if (!ok) {
    QMessageBox box(QMessageBox::NoIcon, txtAppTitle(), kTable2DataError.toString(), QMessageBox::Ok, this);
    ExecModal(box);
  }
  Chart1->ClearBlowSeries();
  Chart1->DrawProcessChart(ProcessView(ProcessRecord.data()), 0, language);
  FormResize();
}

void TForm1::StringGrid1Click() {
  if (ShownProcessCount() == 0) return;
  ShowProcess(StringGrid1->Row() - 2);
  AStringGridSelectCancelExecute(StringGrid2);
}

void TForm1::StringGrid2Click() {
  if (ShownProcessCount() == 0) return;
  const int col = std::max(0, StringGrid2->Col());
  Chart1->DrawProcessChart(ProcessView(ProcessRecord.data()), uint16_t(col), LanguageIndex.load());
}

void TForm1::AStringGridSelectCancelExecute(TStringGrid* grid) {
  if (grid) grid->SetSelection(GridRect{});
}

bool TForm1::StringGridKoefSelectCell(int, int) { return false; }

// ---------------------------------------------------------------------------------
// Commands.

void TForm1::AGaugeReadExecute() {
  // Only while the loop idles; in any other state the command is ignored.
  if (link_) link_->RequestGaugeRead();
}


// ---------------------------------------------------------------------------------
// Dialogs and message boxes.

int TForm1::ExecModal(QDialog& dialog) {
  if (seams_.execModal) return seams_.execModal(dialog);
  return dialog.exec();
}

int TForm1::WarningBox(const QString& text, int buttons, int defaultButton) {
  QMessageBox box(QMessageBox::Warning, txtAppTitle(), text, QMessageBox::StandardButtons(buttons), this);
  if (defaultButton) box.setDefaultButton(QMessageBox::StandardButton(defaultButton));
  return ExecModal(box);
}

// ---------------------------------------------------------------------------------
// Events and shut-down.

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && (watched == client_ || watched == StatusBar1)) FormResize();
  return QMainWindow::eventFilter(watched, event);
}

bool TForm1::FormCloseQuery() {
  StopWorker();
  return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (exiting_) {
    event->accept();
    return;
  }
  FormCloseQuery();
  // FormClose: the settings are written and the program ends.
  AExitExecute();
  event->accept();
}

void TForm1::AExitExecute() {
  if (exiting_) return;
  exiting_ = true;
  // The worker is stopped and waited for on this path too, so that no transfer is cut
  // off in the middle; every transfer gives up within its time-out.
  StopWorker();
  // One write for all keys; a file that cannot be written is left alone.
  settings_.SetWindow(isMaximized(), QRect(x(), y(), width(), height()), StringGrid1->width());
  if (seams_.quit)
    seams_.quit();
  else
    QCoreApplication::quit();
}

}  // namespace zarn
