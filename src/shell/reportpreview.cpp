#include "reportpreview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "common/numbers.h"
#include "common/paths.h"
#include "common/texts.h"
#include "report/exportfile.h"
#include "report/preparedfile.h"
#include "report/reportpaint.h"

namespace zarn {
namespace {

const TextPair txtPreviewTitle{u"Предварительный просмотр", u"Preview"};
const TextPair txtFirstPage{u"Первая страница", u"First page"};
const TextPair txtPreviousPage{u"Предыдущая страница", u"Previous page"};
const TextPair txtNextPage{u"Следующая страница", u"Next page"};
const TextPair txtLastPage{u"Последняя страница", u"Last page"};
const TextPair txtOfPages{u"из %1", u"of %1"};
const TextPair txtFitWidth{u"По ширине", u"Fit width"};
const TextPair txtFitPage{u"Страница целиком", u"Whole page"};
const TextPair txtZoomIn{u"Увеличить", u"Zoom in"};
const TextPair txtZoomOut{u"Уменьшить", u"Zoom out"};
const TextPair txtSaveReport{u"Сохранить отчет...", u"Save report..."};
const TextPair txtOpenReportTitle{u"Открыть подготовленный отчет", u"Open a prepared report"};
const TextPair txtPageSetup{u"Параметры страницы...", u"Page setup..."};
const TextPair txtPrint{u"Печать...", u"Print..."};
const TextPair txtExport{u"Экспорт", u"Export"};
const TextPair txtFind{u"Найти:", u"Find:"};
const TextPair txtFindNext{u"Найти далее", u"Find next"};
const TextPair txtFindPrevious{u"Найти ранее", u"Find previous"};
const TextPair txtNotFound{u"Не найдено", u"Not found"};
const TextPair txtHitOf{u"%1 из %2", u"%1 of %2"};
const TextPair txtClose{u"Закрыть", u"Close"};
const TextPair txtSavedTo{u"Отчет сохранен: %1", u"Report saved: %1"};
const TextPair txtPrinted{u"Отчет отправлен на печать: %1", u"Report sent to the printer: %1"};
const TextPair txtPrintFailed{u"Не удалось напечатать отчет на принтере \"%1\".",
                              u"Could not print the report on the printer \"%1\"."};
const TextPair txtAllFiles{u"Все файлы (*)", u"All files (*)"};

constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 8.0;
constexpr double kZoomStep = 1.25;
constexpr int kZoomPercents[] = {50, 75, 100, 150, 200, 400};


QPageLayout PageLayoutOf(const PageGeometry& g) {
  const bool landscape = g.width > g.height;
  const QSizeF portrait = landscape ? QSizeF(g.height, g.width) : QSizeF(g.width, g.height);
  return QPageLayout(QPageSize(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch),
                     landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                     QMarginsF(g.left, g.top, g.right, g.bottom), QPageLayout::Millimeter);
}

// Pages first..last of a report, as a report of their own.
PreparedReport PagesOf(const PreparedReport& report, int first, int last) {
  PreparedReport part;
  part.page = report.page;
  part.fontFamily = report.fontFamily;
  for (int p = std::max(0, first); p <= last && size_t(p) < report.pages.size(); ++p)
    part.pages.push_back(report.pages[size_t(p)]);
  return part;
}

}  // namespace

// ---------------------------------------------------------------------------------
// ReportPageView

ReportPageView::ReportPageView(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("ReportPageView"));
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(false);
  verticalScrollBar()->setSingleStep(20);
  horizontalScrollBar()->setSingleStep(20);
  // Always there: a bar appearing after a width fit would narrow the view and call for
  // a horizontal one.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void ReportPageView::SetReport(const PreparedReport* report) {
  report_ = report;
  hits_.clear();
  currentHit_ = -1;
  UpdateZoomForFit();
  UpdateScrollBars();
  viewport()->update();
  lastPage_ = -1;
  emit CurrentPageChanged(CurrentPage());
}

void ReportPageView::SetHits(std::vector<ReportHit> hits, int current) {
  hits_ = std::move(hits);
  currentHit_ = current;
  viewport()->update();
}

double ReportPageView::PixelsPerMm() const { return zoom_ * logicalDpiX() / 25.4; }

QSizeF ReportPageView::PagePixels() const {
  if (!report_) return {};
  return QSizeF(report_->page.width, report_->page.height) * PixelsPerMm();
}

int ReportPageView::PageCount() const { return report_ ? int(report_->pages.size()) : 0; }

int ReportPageView::PageTop(int page) const {
  return kGap + int(std::lround(page * (PagePixels().height() + kGap)));
}

int ReportPageView::CurrentPage() const {
  if (PageCount() == 0) return 0;
  const double step = PagePixels().height() + kGap;
  const int top = verticalScrollBar()->value();
  int page = std::clamp(int((top + kGap + 1) / step), 0, PageCount() - 1);
  // At the end of the scroll range the last pages cannot reach the top: the one asked
  // for last counts while it is in view.
  if (top >= verticalScrollBar()->maximum() && lastPage_ > page &&
      PageTop(lastPage_) < top + viewport()->height())
    page = lastPage_;
  return page;
}

void ReportPageView::GoToPage(int page) {
  if (PageCount() == 0) return;
  page = std::clamp(page, 0, PageCount() - 1);
  lastPage_ = page;
  verticalScrollBar()->setValue(PageTop(page) - kGap);
  viewport()->update();
  emit CurrentPageChanged(CurrentPage());
}

void ReportPageView::ShowCell(int page, const QRectF& mm) {
  const double ppm = PixelsPerMm();
  const int top = PageTop(page) + int(mm.top() * ppm);
  const int bottom = PageTop(page) + int(mm.bottom() * ppm);
  QScrollBar* v = verticalScrollBar();
  if (top < v->value() || bottom > v->value() + viewport()->height())
    v->setValue(top - viewport()->height() / 3);
  QScrollBar* h = horizontalScrollBar();
  const int left = kGap + int(mm.left() * ppm);
  const int right = kGap + int(mm.right() * ppm);
  if (h->maximum() > 0 && (left < h->value() || right > h->value() + viewport()->width()))
    h->setValue(left - viewport()->width() / 3);
  lastPage_ = page;
  emit CurrentPageChanged(CurrentPage());
}

void ReportPageView::SetZoom(double zoom) {
  fit_ = Fit::None;
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  if (zoom == zoom_) return;
  const int page = CurrentPage();
  zoom_ = zoom;
  UpdateScrollBars();
  GoToPage(page);
  emit ZoomChanged(zoom_);
}

void ReportPageView::SetFit(Fit fit) {
  fit_ = fit;
  const int page = CurrentPage();
  UpdateZoomForFit();
  UpdateScrollBars();
  GoToPage(page);
  emit ZoomChanged(zoom_);
}

void ReportPageView::UpdateZoomForFit() {
  if (!report_ || fit_ == Fit::None) return;
  const double base = logicalDpiX() / 25.4;  // pixels per mm at zoom 1
  const double width = (viewport()->width() - 2.0 * kGap) / (report_->page.width * base);
  double zoom = width;
  if (fit_ == Fit::Page)
    zoom = std::min(width, (viewport()->height() - 2.0 * kGap) / (report_->page.height * base));
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
}

void ReportPageView::UpdateScrollBars() {
  const QSizeF page = PagePixels();
  const int height = PageCount() == 0 ? 0 : PageTop(PageCount()) ;
  const int width = int(std::lround(page.width())) + 2 * kGap;
  verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

void ReportPageView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const double before = zoom_;
  const int page = CurrentPage();
  UpdateZoomForFit();
  UpdateScrollBars();
  if (zoom_ != before) {
    GoToPage(page);
    emit ZoomChanged(zoom_);
  }
}

void ReportPageView::scrollContentsBy(int, int) {
  viewport()->update();
  emit CurrentPageChanged(CurrentPage());
}

void ReportPageView::wheelEvent(QWheelEvent* event) {
  if (event->modifiers().testFlag(Qt::ControlModifier)) {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) SetZoom(zoom_ * std::pow(kZoomStep, steps));
    event->accept();
    return;
  }
  QAbstractScrollArea::wheelEvent(event);
}

void ReportPageView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_PageDown: GoToPage(CurrentPage() + 1); return;
    case Qt::Key_PageUp: GoToPage(CurrentPage() - 1); return;
    case Qt::Key_Home: GoToPage(0); return;
    case Qt::Key_End: GoToPage(PageCount() - 1); return;
    default: QAbstractScrollArea::keyPressEvent(event);
  }
}

void ReportPageView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), QColor(0x80, 0x80, 0x80));
  if (!report_ || report_->pages.empty()) return;
  const QSizeF page = PagePixels();
  const double ppm = PixelsPerMm();
  const int contentWidth = int(std::ceil(page.width())) + 2 * kGap;
  const double left = contentWidth <= viewport()->width()
                          ? (viewport()->width() - page.width()) / 2
                          : kGap - horizontalScrollBar()->value();
  const int top = verticalScrollBar()->value();
  const double step = page.height() + kGap;
  const int first = std::max(0, int((top - kGap) / step));
  std::vector<CellMark> marks;
  for (int p = first; p < PageCount(); ++p) {
    const double y = PageTop(p) - top;
    if (y > viewport()->height()) break;
    const QRectF sheet(QPointF(left, y), page);
    painter.fillRect(sheet.translated(3, 3), QColor(0x50, 0x50, 0x50));
    painter.fillRect(sheet, Qt::white);
    marks.clear();
    for (size_t h = 0; h < hits_.size(); ++h) {
      if (hits_[h].page == p) marks.push_back({hits_[h].cell, int(h) == currentHit_});
    }
    PaintReportPage(painter, *report_, p, ppm, sheet.topLeft(), marks);
  }
}

// ---------------------------------------------------------------------------------
// TfrmReportPreview

TfrmReportPreview::TfrmReportPreview(PreviewSeams seams, QWidget* parent)
    : QMainWindow(parent, Qt::Window), seams_(std::move(seams)) {
  setObjectName(QStringLiteral("frmReportPreview"));
  setAttribute(Qt::WA_DeleteOnClose);
  view_ = new ReportPageView(this);
  setCentralWidget(view_);
  BuildToolBar();
  statusBar();
  connect(view_, &ReportPageView::CurrentPageChanged, this, [this] { UpdatePageControls(); });
  connect(view_, &ReportPageView::ZoomChanged, this, [this] { UpdateZoomText(); });
  // A size that shows a whole page width on most screens.
  resize(940, 900);
}

TfrmReportPreview::~TfrmReportPreview() = default;

void TfrmReportPreview::BuildToolBar() {
  QToolBar* bar = addToolBar(QString());
  bar->setObjectName(QStringLiteral("PreviewToolBar"));
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  QToolBar* target = bar;
  auto action = [this, &target](const char* name, QStyle::StandardPixmap icon, auto slot,
                                QKeySequence key = {}, const char* themeIcon = nullptr) {
    auto* a = new QAction(this);
    a->setObjectName(QString::fromLatin1(name));
    if (icon != QStyle::SP_CustomBase)
      a->setIcon(QIcon::fromTheme(QString::fromLatin1(themeIcon ? themeIcon : ""), style()->standardIcon(icon)));
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this, slot);
    target->addAction(a);
    return a;
  };
  action("AFirstPage", QStyle::SP_MediaSkipBackward, [this] { view_->GoToPage(0); }, Qt::CTRL | Qt::Key_Home);
  action("APreviousPage", QStyle::SP_MediaSeekBackward, [this] { view_->GoToPage(view_->CurrentPage() - 1); });
  pageBox_ = new QSpinBox(this);
  pageBox_->setObjectName(QStringLiteral("PageBox"));
  pageBox_->setKeyboardTracking(false);
  connect(pageBox_, &QSpinBox::valueChanged, this, [this](int page) {
    if (page - 1 != view_->CurrentPage()) view_->GoToPage(page - 1);
  });
  bar->addWidget(pageBox_);
  pageCount_ = new QLabel(this);
  pageCount_->setObjectName(QStringLiteral("PageCount"));
  pageCount_->setContentsMargins(4, 0, 4, 0);
  bar->addWidget(pageCount_);
  action("ANextPage", QStyle::SP_MediaSeekForward, [this] { view_->GoToPage(view_->CurrentPage() + 1); });
  action("ALastPage", QStyle::SP_MediaSkipForward, [this] { view_->GoToPage(view_->PageCount() - 1); }, Qt::CTRL | Qt::Key_End);
  for (QAction* a : bar->actions()) bar->widgetForAction(a)->setProperty("iconOnly", true);
  bar->addSeparator();

  action("AZoomOut", QStyle::SP_CustomBase, [this] { view_->SetZoom(view_->Zoom() / kZoomStep); }, QKeySequence::ZoomOut);
  zoomBox_ = new QComboBox(this);
  zoomBox_->setObjectName(QStringLiteral("ZoomBox"));
  zoomBox_->setEditable(true);
  zoomBox_->setInsertPolicy(QComboBox::NoInsert);
  zoomBox_->setMinimumContentsLength(14);
  connect(zoomBox_, &QComboBox::activated, this, [this](int index) {
    if (index == 0) view_->SetFit(ReportPageView::Fit::Width);
    else if (index == 1) view_->SetFit(ReportPageView::Fit::Page);
    else ApplyZoomText();
  });
  connect(zoomBox_->lineEdit(), &QLineEdit::returnPressed, this, [this] { ApplyZoomText(); });
  bar->addWidget(zoomBox_);
  action("AZoomIn", QStyle::SP_CustomBase, [this] { view_->SetZoom(view_->Zoom() * kZoomStep); }, QKeySequence::ZoomIn);
  bar->addSeparator();

  action("AOpenReport", QStyle::SP_DialogOpenButton, [this] { OpenPrepared(); }, QKeySequence::Open, "document-open");
  action("ASaveReport", QStyle::SP_DriveFDIcon, [this] { SavePrepared(); }, QKeySequence::Save, "document-save");
  bar->addSeparator();
  action("APageSetup", QStyle::SP_FileDialogDetailedView, [this] { PageSetup(); });
  action("APrint", QStyle::SP_DialogSaveButton, [this] { Print(); }, QKeySequence::Print, "document-print");
  auto* exportMenu = new QMenu(this);
  exportMenu->setObjectName(QStringLiteral("ExportMenu"));
  for (const ReportExporter& e : ReportExporters()) {
    if (e.format == ReportFormat::Prepared) continue;  // saved with its own button
    QAction* a = exportMenu->addAction(QString());
    a->setObjectName(QStringLiteral("AExport_") + e.name.toString());
    a->setData(int(e.format));
    connect(a, &QAction::triggered, this, [this, f = e.format] { Export(f); });
  }
  auto* exportButton = new QToolButton(this);
  exportButton->setObjectName(QStringLiteral("ExportButton"));
  exportButton->setMenu(exportMenu);
  exportButton->setPopupMode(QToolButton::InstantPopup);
  exportButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  exportButton->setIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
  bar->addWidget(exportButton);
  bar->addSeparator();
  action("AClose", QStyle::SP_DialogCloseButton, [this] { close(); });

  // The search in a bar of its own below the pages, where it stays visible however
  // narrow the window.
  QToolBar* findBar = new QToolBar(this);
  findBar->setObjectName(QStringLiteral("FindToolBar"));
  findBar->setMovable(false);
  addToolBar(Qt::BottomToolBarArea, findBar);
  target = findBar;
  auto* findLabel = new QLabel(this);
  findLabel->setObjectName(QStringLiteral("FindLabel"));
  findLabel->setContentsMargins(4, 0, 4, 0);
  findBar->addWidget(findLabel);
  search_ = new QLineEdit(this);
  search_->setObjectName(QStringLiteral("SearchEdit"));
  search_->setClearButtonEnabled(true);
  search_->setMaximumWidth(240);
  connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) { Find(text); });
  connect(search_, &QLineEdit::returnPressed, this, [this] {
    FindNext(QApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
  });
  findBar->addWidget(search_);
  action("AFindPrevious", QStyle::SP_ArrowUp, [this] { FindNext(true); }, QKeySequence::FindPrevious);
  action("AFindNext", QStyle::SP_ArrowDown, [this] { FindNext(false); }, QKeySequence::FindNext);
  hitLabel_ = new QLabel(this);
  hitLabel_->setObjectName(QStringLiteral("HitLabel"));
  hitLabel_->setContentsMargins(4, 0, 4, 0);
  findBar->addWidget(hitLabel_);

  auto* findKey = new QShortcut(QKeySequence::Find, this);
  connect(findKey, &QShortcut::activated, this, [this] {
    search_->setFocus();
    search_->selectAll();
  });
  auto* escape = new QShortcut(Qt::Key_Escape, this);
  connect(escape, &QShortcut::activated, this, [this] { close(); });
  for (QAction* a : bar->actions()) {
    if (QWidget* w = bar->widgetForAction(a); w && w->property("iconOnly").toBool()) {
      if (auto* b = qobject_cast<QToolButton*>(w)) b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
  }
}

void TfrmReportPreview::ApplyLanguage() {
  const int l = options_.language;
  setWindowTitle(txtPreviewTitle.Str(l) + QStringLiteral(" - ") + txtAppTitle.Str(l));
  const struct {
    const char* name;
    const TextPair& text;
  } captions[] = {{"AFirstPage", txtFirstPage},   {"APreviousPage", txtPreviousPage},
                  {"ANextPage", txtNextPage},     {"ALastPage", txtLastPage},
                  {"AZoomOut", txtZoomOut},       {"AZoomIn", txtZoomIn},
                  {"AOpenReport", txtOpenReport}, {"ASaveReport", txtSaveReport},
                  {"APageSetup", txtPageSetup},   {"APrint", txtPrint},
                  {"AFindPrevious", txtFindPrevious}, {"AFindNext", txtFindNext},
                  {"AClose", txtClose}};
  for (const auto& c : captions) {
    if (auto* a = findChild<QAction*>(QString::fromLatin1(c.name))) {
      a->setText(c.text.Str(l));
      a->setToolTip(c.text.Str(l));
    }
  }
  if (auto* zoomOut = findChild<QAction*>(QStringLiteral("AZoomOut"))) zoomOut->setText(QStringLiteral("−"));
  if (auto* zoomIn = findChild<QAction*>(QStringLiteral("AZoomIn"))) zoomIn->setText(QStringLiteral("+"));
  findChild<QToolButton*>(QStringLiteral("ExportButton"))->setText(txtExport.Str(l));
  for (QAction* a : findChild<QMenu*>(QStringLiteral("ExportMenu"))->actions())
    a->setText(ReportFormatFilter(ReportFormat(a->data().toInt()), l));
  findChild<QLabel*>(QStringLiteral("FindLabel"))->setText(txtFind.Str(l));
  QSignalBlocker block(zoomBox_);
  zoomBox_->clear();
  zoomBox_->addItem(txtFitWidth.Str(l));
  zoomBox_->addItem(txtFitPage.Str(l));
  for (int percent : kZoomPercents) zoomBox_->addItem(QStringLiteral("%1 %").arg(percent));
  UpdateZoomText();
}

void TfrmReportPreview::SetReport(Preparer prepare, ReportExportOptions options) {
  prepare_ = std::move(prepare);
  options_ = std::move(options);
  ApplyLanguage();
  Reprepare();
  view_->GoToPage(0);
}

void TfrmReportPreview::SetLanguage(int language) {
  options_.language = language;
  ApplyLanguage();
}

void TfrmReportPreview::SetPreparedReport(PreparedReport report, int language) {
  // Pages read from a file cannot be laid out again: no page setup for them.
  prepare_ = nullptr;
  if (auto* setup = findChild<QAction*>(QStringLiteral("APageSetup"))) setup->setEnabled(false);
  options_ = ReportExportOptions{language, {}, {}};
  report_ = std::move(report);
  ApplyLanguage();
  view_->SetReport(&report_);
  Find(search_->text());
  view_->GoToPage(0);
  UpdatePageControls();
  if (printer_) printer_->setDocName(ReportTitle(report_));
}

void TfrmReportPreview::Reprepare() {
  if (auto* setup = findChild<QAction*>(QStringLiteral("APageSetup"))) setup->setEnabled(bool(prepare_));
  if (!prepare_) return;  // pages read from a file stay as they are
  report_ = prepare_(page_);
  view_->SetReport(&report_);
  Find(search_->text());
  UpdatePageControls();
}

void TfrmReportPreview::UpdatePageControls() {
  const int count = view_->PageCount();
  QSignalBlocker block(pageBox_);
  pageBox_->setRange(std::min(1, count), count);
  pageBox_->setValue(view_->CurrentPage() + 1);
  pageCount_->setText(txtOfPages.Str(options_.language).arg(count));
}

void TfrmReportPreview::UpdateZoomText() {
  QSignalBlocker block(zoomBox_);
  const int l = options_.language;
  switch (view_->FitMode()) {
    case ReportPageView::Fit::Width: zoomBox_->setCurrentIndex(0); zoomBox_->setEditText(txtFitWidth.Str(l)); break;
    case ReportPageView::Fit::Page: zoomBox_->setCurrentIndex(1); zoomBox_->setEditText(txtFitPage.Str(l)); break;
    case ReportPageView::Fit::None:
      zoomBox_->setCurrentIndex(-1);
      zoomBox_->setEditText(QStringLiteral("%1 %").arg(std::lround(view_->Zoom() * 100)));
      break;
  }
}

void TfrmReportPreview::ApplyZoomText() {
  QString text = zoomBox_->currentText();
  text.remove(u'%');
  const std::optional<double> percent = ParseNumber(text.trimmed());
  if (percent && *percent > 0) view_->SetZoom(*percent / 100);
  UpdateZoomText();
}

void TfrmReportPreview::Find(const QString& text) {
  hits_ = FindInReport(report_, text);
  currentHit_ = -1;
  view_->SetHits(hits_, -1);
  if (text.isEmpty()) hitLabel_->clear();
  else if (hits_.empty()) hitLabel_->setText(txtNotFound.Str(options_.language));
  else FindNext();
}

void TfrmReportPreview::FindNext(bool backwards) {
  if (hits_.empty()) return;
  const int n = int(hits_.size());
  if (currentHit_ < 0) {
    // The first hit at or after the page in view.
    const int page = view_->CurrentPage();
    currentHit_ = 0;
    while (currentHit_ < n && hits_[size_t(currentHit_)].page < page) ++currentHit_;
    if (currentHit_ == n) currentHit_ = 0;
  } else {
    currentHit_ = (currentHit_ + (backwards ? n - 1 : 1)) % n;
  }
  const ReportHit& hit = hits_[size_t(currentHit_)];
  view_->SetHits(hits_, currentHit_);
  view_->ShowCell(hit.page, report_.pages[size_t(hit.page)].cells[size_t(hit.cell)].rect);
  hitLabel_->setText(txtHitOf.Str(options_.language).arg(currentHit_ + 1).arg(n));
}

QPrinter& TfrmReportPreview::Printer() {
  // Made when first needed: looking for printers is left until the user asks to print.
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setDocName(ReportTitle(report_));
  }
  return *printer_;
}

void TfrmReportPreview::PageSetup() {
  if (!prepare_) return;
  QPrinter& printer = Printer();
  printer.setPageLayout(PageLayoutOf(report_.page));
  QPageSetupDialog dialog(&printer, this);
  if (ExecModal(dialog) != QDialog::Accepted) return;
  const QPageLayout layout = printer.pageLayout();
  const QRectF paper = layout.fullRect(QPageLayout::Millimeter);
  const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
  page_ = {paper.width(), paper.height(), margins.left(), margins.right(), margins.top(), margins.bottom()};
  const int page = view_->CurrentPage();
  Reprepare();
  view_->GoToPage(page);
}

void TfrmReportPreview::Print() {
  QPrinter& printer = Printer();
  printer.setPageLayout(PageLayoutOf(report_.page));
  QPrintDialog dialog(&printer, this);
  dialog.setMinMax(1, view_->PageCount());
  dialog.setOption(QAbstractPrintDialog::PrintPageRange);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage);
  dialog.setOption(QAbstractPrintDialog::PrintToFile);
  if (ExecModal(dialog) != QDialog::Accepted) return;
  const QString error = PrintToPrinter(printer);
  if (!error.isEmpty()) Warn(error);
}

QString TfrmReportPreview::PrintToPrinter(QPrinter& printer) {
  int first = 0;
  int last = view_->PageCount() - 1;
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    first = printer.fromPage() - 1;
    last = std::min(last, printer.toPage() - 1);
  } else if (printer.printRange() == QPrinter::CurrentPage) {
    first = last = view_->CurrentPage();
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QString error;
  QString done;
  if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
    // Printing to a file: written whole like every export, never half.
    const PreparedReport part = PagesOf(report_, first, last);
    const ExportWriteResult written =
        WriteExportFile(printer.outputFileName(), options_.language,
                        [&](QIODevice& out) { return WriteReportPdf(out, part, ReportTitle(report_)); });
    if (!written.ok) {
      error = written.error.isEmpty() ? txtPrintFailed.Str(options_.language).arg(printer.outputFileName())
                                      : written.error;
    }
    done = txtSavedTo.Str(options_.language).arg(printer.outputFileName());
  } else {
    printer.setFullPage(true);
    if (!RenderReport(printer, report_, first, last))
      error = txtPrintFailed.Str(options_.language).arg(printer.printerName());
    done = txtPrinted.Str(options_.language).arg(printer.printerName());
  }
  QApplication::restoreOverrideCursor();
  if (error.isEmpty()) statusBar()->showMessage(done, 10000);
  return error;
}

QString TfrmReportPreview::AskFileName(ReportFormat format) {
  const int l = options_.language;
  const QString suffix = ReportFormatSuffix(format);
  QFileDialog dialog(this, txtSaveAsTitle.Str(l));
  dialog.setObjectName(QStringLiteral("ExportDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({ReportFormatFilter(format, l), txtAllFiles.Str(l)});
  dialog.setDefaultSuffix(suffix);
  dialog.setDirectory(seams_.settings.StartingFolder());
  dialog.selectFile(ProposedFileName(QDateTime::currentDateTime(), QString(u'.' + suffix)));
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString TfrmReportPreview::Export(ReportFormat format, const QString& fileName) {
  const QString name = fileName.isEmpty() ? AskFileName(format) : fileName;
  if (name.isEmpty()) return {};
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QString error = ExportReport(report_, format, name, options_);
  QApplication::restoreOverrideCursor();
  if (!error.isEmpty()) {
    Warn(error);
    return error;
  }
  statusBar()->showMessage(txtSavedTo.Str(options_.language).arg(name), 10000);
  // The folder is remembered like every other file dialog's.
  seams_.settings.RememberFolderOf(name);
  return {};
}

QString TfrmReportPreview::SavePrepared(const QString& fileName) { return Export(ReportFormat::Prepared, fileName); }

QString TfrmReportPreview::AskPreparedFile() {
  const int l = options_.language;
  QFileDialog dialog(this, txtOpenReportTitle.Str(l));
  dialog.setObjectName(QStringLiteral("OpenReportDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({ReportFormatFilter(ReportFormat::Prepared, l), txtAllFiles.Str(l)});
  dialog.setDirectory(seams_.settings.StartingFolder());
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString TfrmReportPreview::OpenPrepared(const QString& fileName) {
  const QString name = fileName.isEmpty() ? AskPreparedFile() : fileName;
  if (name.isEmpty()) return {};
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::optional<PreparedFile> file = ReadPreparedReport(name);
  QApplication::restoreOverrideCursor();
  if (!file) {
    // As for every file the program opens: the message and the file's name.
    const QString error = txtFileDamaged.Str(options_.language) + QStringLiteral(": ") + QFileInfo(name).fileName();
    Warn(error);
    return error;
  }
  seams_.settings.RememberFolderOf(name);
  SetPreparedReport(std::move(file->report), options_.language);
  return {};
}

void TfrmReportPreview::Warn(const QString& text) {
  QMessageBox box(QMessageBox::Warning, txtAppTitle(), text, QMessageBox::Ok, this);
  ExecModal(box);
}

int TfrmReportPreview::ExecModal(QDialog& dialog) {
  return seams_.execModal ? seams_.execModal(dialog) : dialog.exec();
}

}  // namespace zarn
