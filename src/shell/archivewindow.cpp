#include "archivewindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "archivethread.h"
#include "common/numbers.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "desktop.h"
#include "materials/editorwindow.h"
#include "report/exportfile.h"
#include "report/seriesreport.h"
#include "report/sheettable.h"

namespace zarn {
namespace {

const TextPair txtArchiveTitle{u"Архив измерений", u"Measurement archive"};
const TextPair txtFilterObject{u"Объект:", u"Object:"};
const TextPair txtFilterMaterial{u"Материал:", u"Material:"};
const TextPair txtFilterInstrument{u"Прибор:", u"Instrument:"};
const TextPair txtFilterNote{u"Примечание:", u"Note:"};
const TextPair txtFilterFrom{u"С:", u"From:"};
const TextPair txtFilterTo{u"По:", u"To:"};
const TextPair txtAnyDay{u"любой день", u"any day"};
const TextPair txtGroupBy{u"Группировать:", u"Group by:"};
const TextPair txtGroupNone{u"нет", u"none"};
const TextPair txtGroupObject{u"по объекту", u"object"};
const TextPair txtGroupMaterial{u"по материалу", u"material"};
const TextPair txtGroupDay{u"по дню", u"day"};
const TextPair txtGroupMonth{u"по месяцу", u"month"};
const TextPair txtGroupInstrument{u"по прибору", u"instrument"};
const TextPair txtShowInMain{u"Показать в главном окне", u"Show in the main window"};
const TextPair txtSaveAsData{u"Сохранить как файл данных...", u"Save as data file..."};
const TextPair txtPrintSelection{u"Печать отчета...", u"Print report..."};
const TextPair txtExportList{u"Экспорт...", u"Export..."};
const TextPair txtRefresh{u"Обновить", u"Refresh"};
const TextPair txtNoSeries{u"Фильтры не отбирают ни одной серии", u"The filters select no series"};
const TextPair txtSummaryLine{u"%1; среднее %2, минимум %3, максимум %4 %5; коэффициент вариации %6 %",
                              u"%1; mean %2, minimum %3, maximum %4 %5; coefficient of variation %6 %"};
const TextPair txtCounting{u"Идет подсчет...", u"Counting..."};
const TextPair txtArchiveUnusable{u"Архив недоступен: %1", u"The archive cannot be used: %1"};
const TextPair txtNoteNotSaved{u"Примечание к серии не сохранено: %1. Текст остался в ячейке.",
                               u"The note was not kept: %1. The text stays in its cell."};
const TextPair txtNoteSaved{u"Примечание сохранено", u"Note kept"};
const TextPair txtSelectFirst{u"Выделите серии в списке.", u"Select series in the list first."};
const TextPair txtDataFileWritten{u"Записан файл \"%1\" (%2)", u"Wrote \"%1\" (%2)"};
const TextPair txtShownInMain{u"В главном окне: %1", u"In the main window: %1"};
const TextPair txtExportWritten{u"Записан файл \"%1\"", u"Wrote \"%1\""};
const TextPair txtArchiveShown{u"Архив: %1", u"Archive: %1"};
const TextPair txtSaveDataTitle{u"Сохранить серии как файл данных", u"Save the series as a data file"};
const TextPair txtExportTitle{u"Экспорт списка серий", u"Export the list of series"};
const TextPair txtUnknownInstrument{u"неизвестен", u"unknown"};
const TextPair txtNoTempFile{u"Не удалось создать временный файл: %1", u"No temporary file could be made: %1"};

const TextPair* const kGroupTexts[] = {&txtGroupNone, &txtGroupObject, &txtGroupMaterial,
                                       &txtGroupDay,  &txtGroupMonth,  &txtGroupInstrument};
const SummaryBy kGroupKinds[] = {SummaryBy::Object, SummaryBy::Material, SummaryBy::Day, SummaryBy::Month,
                                 SummaryBy::Instrument};

constexpr int kDebounceMs = 30;  // keystrokes this close together make one query
const QDate kAnyDay(1999, 12, 31);  // the pickers' minimum, shown as "any day"

int WindowLanguage() { return LanguageIndex.load(); }

QString StrengthText(double value, StrengthUnit unit) {
  return FormatNumber(value, unit == StrengthUnit::MPa ? NumberPattern::OptionalTenths : NumberPattern::Integer);
}

QString UnitText(StrengthUnit unit, int language) {
  return (unit == StrengthUnit::MPa ? txtUnitMPa : txtUnitKgf).Str(language);
}

// The instrument as the window shows it: the archive's mark of a series seen only in
// files, in the window's language.
QString ShownInstrument(const QString& instrument, int language) {
  return instrument == kUnknownInstrument ? txtUnknownInstrument.Str(language) : instrument;
}

// A day of the archive ("2026-12-11", a month "2026-12") written as the series list
// writes its dates, day first: "11.12.2026", "12.2026".
QString ShownDay(const QString& iso) {
  QStringList parts = iso.split(u'-');
  std::reverse(parts.begin(), parts.end());
  return parts.join(u'.');
}

// The list's texts over a selection: table 1's two heading rows and a row per series,
// each with the instrument and the note after table 1's nine cells.
using ListTexts = std::vector<std::array<QString, kArchiveColumns>>;
ListTexts ListRows(const QList<ArchivedSeries>& series, int language,
                                                           StrengthUnit unit) {
  std::vector<std::array<QString, kArchiveColumns>> rows;
  rows.reserve(size_t(series.size()) + 2);
  for (int h = 0; h < 2; ++h) {
    std::array<QString, kArchiveColumns> r;
    const SeriesRow heading = SeriesTableHeading(h, language, unit);
    std::copy(heading.begin(), heading.end(), r.begin());
    if (h == 0) {
      r[kArchiveInstrumentColumn] = txtArchiveInstrument.Str(language);
      r[kArchiveNoteColumn] = txtArchiveNote.Str(language);
    }
    rows.push_back(r);
  }
  SeriesRow cells;
  for (const ArchivedSeries& s : series) {
    std::array<QString, kArchiveColumns> r;
    s.FillRow(unit, cells);
    std::copy(cells.begin(), cells.end(), r.begin());
    r[kArchiveInstrumentColumn] = ShownInstrument(s.instrument, language);
    r[kArchiveNoteColumn] = s.note;
    rows.push_back(r);
  }
  return rows;
}

}  // namespace

// ---- Plain rules.

SeriesColumn ArchiveSortColumn(int column) {
  static constexpr SeriesColumn kColumns[kArchiveColumns] = {
      SeriesColumn::Number,   SeriesColumn::Taken,     SeriesColumn::TimeOfDay, SeriesColumn::Strength,
      SeriesColumn::Material, SeriesColumn::Object,    SeriesColumn::Variation, SeriesColumn::Range,
      SeriesColumn::Blows,    SeriesColumn::Instrument, SeriesColumn::Note};
  return column >= 0 && column < kArchiveColumns ? kColumns[column] : SeriesColumn::Taken;
}

QString SeriesCountText(qint64 count, int language) {
  if (language == kEnglish) return QStringLiteral("%1 series").arg(count);
  static constexpr const char16_t* kNouns[] = {u"серия", u"серии", u"серий"};
  return QStringLiteral("%1 ").arg(count) + QString::fromUtf16(kNouns[RussianNumberForm(count)]);
}

QString ArchiveShownTitle(qint64 count, int language) {
  return txtArchiveShown.Str(language).arg(SeriesCountText(count, language));
}

QString ArchiveSummaryText(const SummaryGroup& all, int language, StrengthUnit unit) {
  if (all.count == 0) return txtNoSeries.Str(language);
  return txtSummaryLine.Str(language)
      .arg(SeriesCountText(all.count, language), StrengthText(all.mean, unit), StrengthText(all.minimum, unit),
           StrengthText(all.maximum, unit), UnitText(unit, language),
           FormatNumber(all.variation, NumberPattern::OptionalTenths));
}

// ---- The model.

TArchiveModel::TArchiveModel(QObject* parent) : QAbstractTableModel(parent) {}

void TArchiveModel::SetIds(QList<qint64> ids) {
  beginResetModel();
  ids_ = std::move(ids);
  ++generation_;
  pages_.clear();
  asked_.clear();
  endResetModel();
}

void TArchiveModel::SetLanguage(int language, StrengthUnit unit) {
  language_ = language;
  unit_ = unit;
  Refill();
  emit headerDataChanged(Qt::Horizontal, 0, kArchiveColumns - 1);
  if (!ids_.isEmpty()) emit dataChanged(index(0, 0), index(int(ids_.size()) - 1, kArchiveColumns - 1));
}

void TArchiveModel::Refill() {
  for (QList<Row>& page : pages_)
    for (Row& r : page) r.series.FillRow(unit_, r.cells);
}

void TArchiveModel::PageArrived(int generation, int page, const QList<ArchivedSeries>& rows) {
  if (generation != generation_) return;
  asked_.remove(page);
  // The pages far from this one go: the memory stays the same however far one scrolls.
  while (pages_.size() >= kKeptPages) {
    auto farthest = pages_.begin();
    for (auto i = pages_.begin(); i != pages_.end(); ++i)
      if (std::abs(i.key() - page) > std::abs(farthest.key() - page)) farthest = i;
    pages_.erase(farthest);
  }
  QList<Row> kept;
  kept.reserve(rows.size());
  for (const ArchivedSeries& s : rows) {
    Row r{s, {}};
    s.FillRow(unit_, r.cells);
    kept.append(std::move(r));
  }
  pages_.insert(page, std::move(kept));
  const int first = page * kPageRows;
  const int last = std::min(int(ids_.size()), first + kPageRows) - 1;
  if (last >= first) emit dataChanged(index(first, 0), index(last, kArchiveColumns - 1));
}

const TArchiveModel::Row* TArchiveModel::RowAt(int row) const {
  const int page = row / kPageRows;
  const auto found = pages_.constFind(page);
  if (found == pages_.cend()) {
    if (!asked_.contains(page) && fetchPage) {
      asked_.insert(page);
      // Asked for after the view's paint: a row read while painting changes no model.
      const QList<qint64> ids = ids_.mid(qsizetype(page) * kPageRows, kPageRows);
      const int generation = generation_;
      QMetaObject::invokeMethod(const_cast<TArchiveModel*>(this),
                                [this, generation, page, ids] {
                                  if (generation == generation_ && fetchPage) fetchPage(generation, page, ids);
                                },
                                Qt::QueuedConnection);
    }
    return nullptr;
  }
  const int at = row - page * kPageRows;
  if (at >= found->size()) return nullptr;
  const Row& r = (*found)[at];
  // A series gone from the archive since the ids were read is not shown as another.
  return r.series.id == ids_[row] ? &r : nullptr;
}

int TArchiveModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(ids_.size()); }
int TArchiveModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kArchiveColumns; }

QVariant TArchiveModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= ids_.size()) return {};
  const int column = index.column();
  const qint64 id = ids_[index.row()];
  if (column == kArchiveNoteColumn) {
    if (const auto pending = pendingNotes_.constFind(id); pending != pendingNotes_.cend()) {
      if (role == Qt::DisplayRole || role == Qt::EditRole) return *pending;
      const auto error = noteErrors_.constFind(id);
      if (error != noteErrors_.cend()) {
        if (role == Qt::ToolTipRole) return *error;
        if (role == Qt::ForegroundRole) return QColor(Qt::red);
      }
      return {};
    }
  }
  if (role == Qt::TextAlignmentRole)
    return kSeriesNumberColumns.Has(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                            : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole) return {};
  const Row* r = RowAt(index.row());
  if (!r) return {};
  if (column < kSeriesColumns) return r->cells[size_t(column)];
  if (column == kArchiveInstrumentColumn) return ShownInstrument(r->series.instrument, language_);
  return r->series.note;
}

QVariant TArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kArchiveColumns)
    return QAbstractTableModel::headerData(section, orientation, role);
  if (section == kArchiveInstrumentColumn) return txtArchiveInstrument.Str(language_);
  if (section == kArchiveNoteColumn) return txtArchiveNote.Str(language_);
  const QString top = SeriesTableHeading(0, language_, unit_)[size_t(section)];
  const QString below = SeriesTableHeading(1, language_, unit_)[size_t(section)];
  return below.isEmpty() ? top : top + u'\n' + below;
}

Qt::ItemFlags TArchiveModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == kArchiveNoteColumn) f |= Qt::ItemIsEditable;
  return f;
}

bool TArchiveModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != kArchiveNoteColumn ||
      index.row() >= ids_.size())
    return false;
  const qint64 id = ids_[index.row()];
  const QString text = value.toString();
  const Row* r = RowAt(index.row());
  if (r && r->series.note == text && !pendingNotes_.contains(id)) return false;
  pendingNotes_.insert(id, text);
  noteErrors_.remove(id);
  emit dataChanged(index, index);
  if (saveNote) saveNote(id, text);
  return true;
}

void TArchiveModel::NoteSaved(qint64 id, const QString& text, const QString& error) {
  const auto pending = pendingNotes_.constFind(id);
  // A later edit of the same cell waits for its own answer.
  if (pending == pendingNotes_.cend() || *pending != text) return;
  if (error.isEmpty()) {
    pendingNotes_.remove(id);
    noteErrors_.remove(id);
    for (QList<Row>& page : pages_)
      for (Row& r : page)
        if (r.series.id == id) r.series.note = text;
  } else {
    noteErrors_.insert(id, error);
  }
  const qsizetype row = ids_.indexOf(id);
  if (row >= 0) emit dataChanged(index(int(row), kArchiveNoteColumn), index(int(row), kArchiveNoteColumn));
}

void TArchiveModel::sort(int column, Qt::SortOrder order) {
  if (sortBy) sortBy(column, order);
}

// ---- The window.

template <typename R>
void TfrmArchive::Ask(std::function<ArchiveResult<R>(Archive&)> work, std::function<void(ArchiveResult<R>)> done) {
  ++outstanding_;
  thread_->Run<ArchiveResult<R>>(
      this,
      [work = std::move(work)](Archive* archive, const ArchiveError* failed) -> ArchiveResult<R> {
        if (!archive) return *failed;
        return work(*archive);
      },
      [this, done = std::move(done)](ArchiveResult<R> result) {
        --outstanding_;
        if (!result && result.error().kind == ArchiveErrorKind::Unusable) {
          Tell(txtArchiveUnusable().arg(result.error().Text(WindowLanguage())), true);
          archiveFailed_ = true;
        }
        done(std::move(result));
      });
}

TfrmArchive::TfrmArchive(ArchiveWindowSeams seams, QWidget* parent)
    : QMainWindow(parent, Qt::Window), seams_(std::move(seams)), latestQuery_(std::make_shared<std::atomic<int>>(0)) {
  setObjectName(QStringLiteral("frmArchive"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowIcon(ProgramIcon());
  thread_ = std::make_unique<TArchiveThread>(seams_.location ? seams_.location() : QString());
  model_ = new TArchiveModel(this);
  model_->fetchPage = [this](int generation, int page, QList<qint64> ids) { FetchPage(generation, page, std::move(ids)); };
  model_->saveNote = [this](qint64 id, QString text) { SaveNote(id, std::move(text)); };
  BuildControls();
  // (After the view is made: it sorts once when sorting is switched on.)
  model_->sortBy = [this](int column, Qt::SortOrder order) {
    order_ = SeriesOrder{ArchiveSortColumn(column), order == Qt::DescendingOrder};
    Requery();
  };
  Retranslate();
  resize(1100, 640);
  Requery();
}

TfrmArchive::~TfrmArchive() {
  // The archive's thread ends before anything it could answer to goes.
  thread_.reset();
}

void TfrmArchive::BuildControls() {
  auto* client = new QWidget(this);
  setCentralWidget(client);
  auto* layout = new QVBoxLayout(client);
  auto* filters = new QGridLayout;
  layout->addLayout(filters);
  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  auto edit = [this](QLineEdit*& e, const char* name) {
    e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setClearButtonEnabled(true);
    connect(e, &QLineEdit::textChanged, this, [this] { typing_->start(); });
  };
  typing_ = new QTimer(this);
  typing_->setSingleShot(true);
  typing_->setInterval(kDebounceMs);
  connect(typing_, &QTimer::timeout, this, &TfrmArchive::Requery);
  edit(ObjectEdit, "ObjectEdit");
  edit(MaterialEdit, "MaterialEdit");
  edit(InstrumentEdit, "InstrumentEdit");
  edit(NoteEdit, "NoteEdit");
  auto date = [this](QDateEdit*& d, const char* name) {
    d = new QDateEdit(this);
    d->setObjectName(QString::fromLatin1(name));
    d->setCalendarPopup(true);
    d->setMinimumDate(kAnyDay);
    d->setDate(kAnyDay);
    d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    connect(d, &QDateEdit::dateChanged, this, [this] { typing_->start(); });
  };
  date(DateFrom, "DateFrom");
  date(DateTo, "DateTo");
  GroupBy = new QComboBox(this);
  GroupBy->setObjectName(QStringLiteral("GroupBy"));
  for (int i = 0; i < 6; ++i) GroupBy->addItem(QString());
  connect(GroupBy, &QComboBox::currentIndexChanged, this, &TfrmArchive::Requery);

  int column = 0;
  auto put = [&](const char* name, QWidget* control, int row) {
    QLabel* l = label(name);
    l->setBuddy(control);
    filters->addWidget(l, row, column);
    filters->addWidget(control, row, column + 1);
  };
  put("LabelObject", ObjectEdit, 0);
  put("LabelMaterial", MaterialEdit, 1);
  column = 2;
  put("LabelInstrument", InstrumentEdit, 0);
  put("LabelNote", NoteEdit, 1);
  column = 4;
  put("LabelFrom", DateFrom, 0);
  put("LabelTo", DateTo, 1);
  column = 6;
  put("LabelGroupBy", GroupBy, 0);
  filters->setColumnStretch(1, 3);
  filters->setColumnStretch(3, 3);
  filters->setColumnStretch(5, 1);
  filters->setColumnStretch(7, 1);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setObjectName(QStringLiteral("ArchiveSplitter"));
  layout->addWidget(splitter, 1);
  SeriesList = new QTableView(splitter);
  SeriesList->setObjectName(QStringLiteral("SeriesList"));
  SeriesList->setModel(model_);
  SeriesList->setSortingEnabled(true);
  SeriesList->horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder);
  SeriesList->horizontalHeader()->setSortIndicatorShown(true);
  SeriesList->horizontalHeader()->setStretchLastSection(true);
  SeriesList->setSelectionBehavior(QAbstractItemView::SelectRows);
  SeriesList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  SeriesList->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed);
  SeriesList->setWordWrap(false);
  SeriesList->setAlternatingRowColors(true);
  // Every row of one height, told once: the view never measures 100 000 rows.
  SeriesList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SeriesList->verticalHeader()->setDefaultSectionSize(SeriesList->fontMetrics().height() + 6);
  SeriesList->verticalHeader()->hide();
  // Widths for the texts the columns hold (the view never measures 100 000 rows).
  const int character = SeriesList->fontMetrics().horizontalAdvance(QStringLiteral("0"));
  const int widths[kArchiveColumns] = {5, 8, 8, 8, 16, 14, 8, 8, 7, 14, 20};
  for (int c = 0; c < kArchiveColumns; ++c) SeriesList->setColumnWidth(c, widths[c] * character + 12);
  connect(SeriesList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TfrmArchive::UpdateButtons);
  connect(model_, &QAbstractItemModel::modelReset, this, &TfrmArchive::UpdateButtons);

  GroupList = new QTableWidget(splitter);
  GroupList->setObjectName(QStringLiteral("GroupList"));
  GroupList->setColumnCount(9);
  GroupList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GroupList->verticalHeader()->hide();
  GroupList->horizontalHeader()->setStretchLastSection(true);
  GroupList->setAlternatingRowColors(true);
  GroupList->hide();
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 1);

  SummaryLabel = new QLabel(this);
  SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
  SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(SummaryLabel);
  MessageLabel = new QLabel(this);
  MessageLabel->setObjectName(QStringLiteral("MessageLabel"));
  MessageLabel->setWordWrap(true);
  MessageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(MessageLabel);
  MessageLabel->hide();

  auto* buttons = new QHBoxLayout;
  layout->addLayout(buttons);
  auto button = [this, buttons](QPushButton*& b, const char* name, auto slot) {
    b = new QPushButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
  };
  button(BtnShow, "BtnShow", [this] { ShowInMain(); });
  button(BtnSave, "BtnSave", [this] { SaveAsDataFile(); });
  button(BtnReport, "BtnReport", [this] { PrintReport(); });
  button(BtnExport, "BtnExport", [this] { ExportList(); });
  buttons->addStretch(1);
  button(BtnRefresh, "BtnRefresh", [this] { Refresh(); });

  auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
  f5->setObjectName(QStringLiteral("RefreshKey"));
  connect(f5, &QShortcut::activated, this, &TfrmArchive::Refresh);
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setObjectName(QStringLiteral("HelpContextKey"));
  connect(f1, &QShortcut::activated, this, [this] {
    if (seams_.help) seams_.help(kArchiveWindowHelpContext);
  });
  UpdateButtons();
}

void TfrmArchive::Retranslate() {
  const int l = WindowLanguage();
  const StrengthUnit unit = seams_.unit ? seams_.unit() : StrengthUnit::MPa;
  setWindowTitle(txtArchiveTitle.Str(l) + QStringLiteral(" — ") + txtAppTitle.Str(l));
  const std::pair<const char*, const TextPair*> labels[] = {
      {"LabelObject", &txtFilterObject}, {"LabelMaterial", &txtFilterMaterial}, {"LabelInstrument", &txtFilterInstrument},
      {"LabelNote", &txtFilterNote},     {"LabelFrom", &txtFilterFrom},         {"LabelTo", &txtFilterTo},
      {"LabelGroupBy", &txtGroupBy}};
  // Each label underlines the first letter of its text (Alt+letter goes to its field).
  for (const auto& [name, text] : labels)
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(name))) label->setText(u'&' + text->Str(l));
  // Wide enough for "any day" and a date, with the button of the calendar.
  const int dateWidth = std::max(DateFrom->fontMetrics().horizontalAdvance(txtAnyDay.Str(l)),
                                 DateFrom->fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000"))) + 48;
  for (QDateEdit* d : {DateFrom, DateTo}) {
    d->setSpecialValueText(txtAnyDay.Str(l));
    d->setMinimumWidth(dateWidth);
  }
  for (int i = 0; i < 6; ++i) GroupBy->setItemText(i, kGroupTexts[i]->Str(l));
  BtnShow->setText(txtShowInMain.Str(l));
  BtnSave->setText(txtSaveAsData.Str(l));
  BtnReport->setText(txtPrintSelection.Str(l));
  BtnExport->setText(txtExportList.Str(l));
  BtnRefresh->setText(txtRefresh.Str(l) + QStringLiteral(" (F5)"));
  model_->SetLanguage(l, unit);
  ShowSummary();
  // The figures are asked for again in the unit now shown.
  if (totalKnown_) {
    keepPlace_ = true;
    Requery();
  }
}

SeriesFilter TfrmArchive::Filter() const {
  SeriesFilter f;
  f.object = ObjectEdit->text().trimmed();
  f.material = MaterialEdit->text().trimmed();
  f.instrument = InstrumentEdit->text().trimmed();
  f.note = NoteEdit->text();
  if (DateFrom->date() != kAnyDay) f.from = DateFrom->date();
  if (DateTo->date() != kAnyDay) f.to = DateTo->date();
  return f;
}

std::optional<SummaryBy> TfrmArchive::Grouping() const {
  const int i = GroupBy->currentIndex();
  if (i <= 0 || i > 5) return std::nullopt;
  return kGroupKinds[i - 1];
}

bool TfrmArchive::Idle() const { return outstanding_ == 0 && !typing_->isActive(); }

void TfrmArchive::Refresh() {
  if (seams_.location) thread_->SetLocation(seams_.location());
  keepPlace_ = true;
  Requery();
}

void TfrmArchive::Requery() {
  typing_->stop();
  // A refresh keeps the place in the list and the selection of the series still there.
  const bool keepPlace = std::exchange(keepPlace_, false);
  const int scrolled = SeriesList->verticalScrollBar()->value();
  const QList<qint64> selected = keepPlace ? SelectedIds() : QList<qint64>();
  const int generation = ++queryGeneration_;
  latestQuery_->store(generation);
  const SeriesFilter filter = Filter();
  const SeriesOrder order = order_;
  const std::optional<SummaryBy> by = Grouping();
  const StrengthUnit unit = seams_.unit ? seams_.unit() : StrengthUnit::MPa;
  auto latest = latestQuery_;
  // A query overtaken by a newer one before it began is not run.
  auto stale = [latest, generation] { return latest->load() != generation; };
  Ask<QList<qint64>>(
      [filter, order, stale](Archive& archive) -> ArchiveResult<QList<qint64>> {
        if (stale()) return QList<qint64>();
        return archive.SeriesIds(filter, order);
      },
      [this, generation, keepPlace, scrolled, selected](ArchiveResult<QList<qint64>> ids) {
        if (generation != queryGeneration_) return;
        if (!ids) return;
        if (archiveFailed_) Tell({}, false);
        archiveFailed_ = false;
        model_->SetIds(std::move(*ids));
        if (!keepPlace) return;
        SeriesList->verticalScrollBar()->setValue(scrolled);
        if (selected.isEmpty()) return;
        const QSet<qint64> wanted(selected.cbegin(), selected.cend());
        QItemSelection rows;
        const QList<qint64>& listed = model_->Ids();
        for (int r = 0; r < listed.size(); ++r)
          if (wanted.contains(listed[r]))
            rows.select(model_->index(r, 0), model_->index(r, kArchiveColumns - 1));
        SeriesList->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
      });
  Ask<QList<SummaryGroup>>(
      [filter, by, unit, stale](Archive& archive) -> ArchiveResult<QList<SummaryGroup>> {
        if (stale()) return QList<SummaryGroup>();
        return archive.Summary(by.value_or(SummaryBy::Month), filter, unit);
      },
      [this, generation, by](ArchiveResult<QList<SummaryGroup>> groups) {
        if (generation != queryGeneration_) return;
        if (!groups) return;
        total_ = CombinedGroup(*groups);
        totalKnown_ = true;
        groupsBy_ = by;
        groups_ = by ? *groups : QList<SummaryGroup>();
        ShowSummary();
        FillGroups();
      });
  SummaryLabel->setText(totalKnown_ ? SummaryLabel->text() : txtCounting());
}

void TfrmArchive::FetchPage(int generation, int page, QList<qint64> ids) {
  Ask<QList<ArchivedSeries>>([ids](Archive& archive) { return archive.ListOf(ids); },
                             [this, generation, page](ArchiveResult<QList<ArchivedSeries>> rows) {
                               if (rows) model_->PageArrived(generation, page, *rows);
                               else if (generation == model_->Generation())
                                 model_->PageArrived(generation, page, {});
                             });
}

void TfrmArchive::SaveNote(qint64 id, QString text) {
  const QString author = seams_.author;
  Ask<Done>([id, text, author](Archive& archive) { return archive.SetNote(id, text, author); },
            [this, id, text](ArchiveResult<Done> kept) {
              const QString error = kept ? QString() : kept.error().Text(WindowLanguage());
              model_->NoteSaved(id, text, error);
              if (kept)
                Tell(txtNoteSaved(), false);
              else
                Tell(txtNoteNotSaved().arg(error), true);
            });
}

void TfrmArchive::ShowSummary() {
  if (!totalKnown_) {
    SummaryLabel->setText(txtCounting());
    return;
  }
  SummaryLabel->setText(ArchiveSummaryText(total_, WindowLanguage(), seams_.unit ? seams_.unit() : StrengthUnit::MPa));
}

void TfrmArchive::FillGroups() {
  if (!groupsBy_) {
    GroupList->hide();
    GroupList->setRowCount(0);
    return;
  }
  const int l = WindowLanguage();
  const StrengthUnit unit = seams_.unit ? seams_.unit() : StrengthUnit::MPa;
  const TextPair* key = *groupsBy_ == SummaryBy::Object     ? &txtObject
                        : *groupsBy_ == SummaryBy::Material ? &txtMaterial
                        : *groupsBy_ == SummaryBy::Day      ? &txtArchiveDay
                        : *groupsBy_ == SummaryBy::Month    ? &txtArchiveMonth
                                                            : &txtArchiveInstrument;
  const QString strength = QStringLiteral("\n") + UnitText(unit, l);
  GroupList->setHorizontalHeaderLabels(
      {key->Str(l), txtArchiveSeries.Str(l), txtArchiveMean.Str(l) + strength, txtArchiveMinimum.Str(l) + strength,
       txtArchiveMaximum.Str(l) + strength, txtArchiveDeviation.Str(l) + strength,
       txtVariation.Str(l) + QStringLiteral("\n") + txtPercent.Str(l), txtArchiveFirst.Str(l), txtArchiveLast.Str(l)});
  GroupList->setRowCount(int(groups_.size()));
  const bool days = *groupsBy_ == SummaryBy::Day || *groupsBy_ == SummaryBy::Month;
  const bool instruments = *groupsBy_ == SummaryBy::Instrument;
  for (int r = 0; r < groups_.size(); ++r) {
    const SummaryGroup& g = groups_[r];
    const QString cells[] = {days ? ShownDay(g.key) : instruments ? ShownInstrument(g.key, l) : g.key,
                             QString::number(g.count),
                             StrengthText(g.mean, unit),
                             StrengthText(g.minimum, unit),
                             StrengthText(g.maximum, unit),
                             StrengthText(g.deviation, unit),
                             FormatNumber(g.variation, NumberPattern::OptionalTenths),
                             ShownDay(g.first.DateText()),
                             ShownDay(g.last.DateText())};
    for (int c = 0; c < 9; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setTextAlignment(c >= 1 && c <= 6 ? (Qt::AlignRight | Qt::AlignVCenter) : (Qt::AlignLeft | Qt::AlignVCenter));
      GroupList->setItem(r, c, item);
    }
  }
  GroupList->resizeColumnsToContents();
  GroupList->show();
}

void TfrmArchive::UpdateButtons() {
  const bool any = SeriesList->selectionModel() && SeriesList->selectionModel()->hasSelection();
  for (QPushButton* b : {BtnShow, BtnSave, BtnReport, BtnExport}) b->setEnabled(any);
}

void TfrmArchive::Tell(const QString& message, bool error) {
  lastMessage_ = message;
  MessageLabel->setText(message);
  MessageLabel->setVisible(!message.isEmpty());
  MessageLabel->setStyleSheet(error ? QStringLiteral("color: #b00000") : QString());
}

QList<qint64> TfrmArchive::SelectedIds() const {
  QList<qint64> ids;
  if (!SeriesList->selectionModel()) return ids;
  QList<std::pair<int, int>> ranges;
  for (const QItemSelectionRange& range : SeriesList->selectionModel()->selection())
    ranges.append({range.top(), range.bottom()});
  std::sort(ranges.begin(), ranges.end());
  int next = 0;  // rows below this are taken
  for (const auto& [top, bottom] : ranges)
    for (int r = std::max(top, next); r <= bottom; ++r) ids.append(model_->IdAt(r));
  for (const auto& range : ranges) next = std::max(next, range.second + 1);
  ids.removeAll(0);
  // (Overlapping ranges are taken once.)
  QList<qint64> unique;
  QSet<qint64> seen;
  for (qint64 id : ids)
    if (!seen.contains(id)) {
      seen.insert(id);
      unique.append(id);
    }
  return unique;
}

bool TfrmArchive::HaveSelection() {
  if (!SelectedIds().isEmpty()) return true;
  Tell(txtSelectFirst(), true);
  return false;
}

void TfrmArchive::ShowInMain() {
  if (!HaveSelection()) return;
  auto folder = std::make_shared<QTemporaryDir>();
  if (!folder->isValid()) {
    Tell(txtNoTempFile().arg(folder->errorString()), true);
    return;
  }
  const QString path = folder->filePath(QStringLiteral("archive.zarn"));
  const QList<qint64> ids = SelectedIds();
  Ask<int>([ids, path](Archive& archive) { return archive.ExportSeries(ids, path); },
           [this, folder, path](ArchiveResult<int> written) {
             if (!written) {
               Tell(written.error().Text(WindowLanguage()), true);
               return;
             }
             if (seams_.showInMain) seams_.showInMain(path, *written);
             Tell(txtShownInMain().arg(SeriesCountText(*written, WindowLanguage())), false);
           });
}

QString TfrmArchive::AskSavePath(const QString& title, const QString& name, const QStringList& filters,
                                 const QStringList& suffixes, const QString& proposed) {
  QFileDialog dialog(this, title);
  dialog.setObjectName(name);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(suffixes.value(0));
  // A filter with a suffix of its own gives it to a name typed without one.
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters, suffixes](const QString& f) {
    const qsizetype i = filters.indexOf(f);
    if (i >= 0 && i < suffixes.size()) dialog.setDefaultSuffix(suffixes[i]);
  });
  UseInterfaceLocale(&dialog);
  if (seams_.startFolder) dialog.setDirectory(seams_.startFolder());
  if (!proposed.isEmpty()) dialog.selectFile(proposed);
  if ((seams_.execModal ? seams_.execModal(dialog) : dialog.exec()) != QDialog::Accepted) return {};
  const QString path = dialog.selectedFiles().value(0);
  if (!path.isEmpty() && seams_.rememberFolder) seams_.rememberFolder(path);
  return path;
}

void TfrmArchive::SaveAsDataFile(const QString& fileName) {
  if (!HaveSelection()) return;
  const QString path = fileName.isEmpty() ? AskSavePath(txtSaveDataTitle(), QStringLiteral("SaveDataDialog"),
                                                         {QStringLiteral("DataFile (*.zarn)"), QStringLiteral("All files (*.*)")},
                                                         {QStringLiteral("zarn")},
                                                         ProposedDataFileName(QDateTime::currentDateTime()))
                                           : fileName;
  if (path.isEmpty()) return;
  const QList<qint64> ids = SelectedIds();
  Ask<int>([ids, path](Archive& archive) { return archive.ExportSeries(ids, path); },
           [this, path](ArchiveResult<int> written) {
             if (!written) {
               Tell(written.error().Text(WindowLanguage()), true);
               return;
             }
             Tell(txtDataFileWritten().arg(QDir::toNativeSeparators(path), SeriesCountText(*written, WindowLanguage())),
                  false);
           });
}

void TfrmArchive::PrintReport() {
  if (!HaveSelection()) return;
  const QList<qint64> ids = SelectedIds();
  Ask<QList<ArchivedSeries>>([ids](Archive& archive) { return archive.ListOf(ids); },
                             [this](ArchiveResult<QList<ArchivedSeries>> series) {
                               if (!series) {
                                 Tell(series.error().Text(WindowLanguage()), true);
                                 return;
                               }
                               const StrengthUnit unit = seams_.unit ? seams_.unit() : StrengthUnit::MPa;
                               const ListTexts rows = ListRows(*series, WindowLanguage(), unit);
                               const ListTexts* texts = &rows;
                               auto table = std::make_shared<const Table1Snapshot>(
                                   int(rows.size()), [texts](int col, int row) { return (*texts)[size_t(row)][size_t(col)]; });
                               if (seams_.showReport) seams_.showReport(table);
                             });
}

void TfrmArchive::ExportList(const QString& fileName) {
  if (!HaveSelection()) return;
  const QString path = fileName.isEmpty()
                           ? AskSavePath(txtExportTitle(), QStringLiteral("ExportDialog"),
                                         {QStringLiteral("CSV (*.csv)"), QStringLiteral("Excel (*.xlsx)")},
                                         {QStringLiteral("csv"), QStringLiteral("xlsx")}, {})
                           : fileName;
  if (path.isEmpty()) return;
  const QList<qint64> ids = SelectedIds();
  Ask<QList<ArchivedSeries>>(
      [ids](Archive& archive) { return archive.ListOf(ids); },
      [this, path](ArchiveResult<QList<ArchivedSeries>> series) {
        if (!series) {
          Tell(series.error().Text(WindowLanguage()), true);
          return;
        }
        const int l = WindowLanguage();
        const StrengthUnit unit = seams_.unit ? seams_.unit() : StrengthUnit::MPa;
        const auto rows = ListRows(*series, l, unit);
        SheetTable sheet;
        sheet.title = txtArchiveTitle.Str(l);
        sheet.widths = {12, 20, 18, 18, 30, 30, 16, 16, 12, 30, 50};
        for (int c = 0; c < kArchiveColumns; ++c) {
          const QString below = rows[1][size_t(c)];
          sheet.headings.push_back(below.isEmpty() ? rows[0][size_t(c)] : rows[0][size_t(c)] + u'\n' + below);
        }
        for (size_t r = 2; r < rows.size(); ++r) {
          std::vector<SheetCell> cells;
          for (int c = 0; c < kArchiveColumns; ++c)
            cells.push_back(SheetCell{rows[r][size_t(c)], kSeriesNumberColumns.Has(c) && IsNumberText(rows[r][size_t(c)])});
          sheet.rows.push_back(std::move(cells));
          sheet.rowHeights.push_back(6);
        }
        QByteArray bytes;
        QString error;
        if (path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
          bytes = SheetXlsx(sheet, QDateTime::currentDateTime(), error);
        else
          bytes = SheetCsv(sheet, CsvDialectFor(l));
        if (bytes.isEmpty()) {
          Tell(error, true);
          return;
        }
        const ExportWriteResult written = WriteExportFile(path, bytes, l);
        if (!written.ok) {
          Tell(written.error, true);
          return;
        }
        Tell(txtExportWritten().arg(QDir::toNativeSeparators(path)), false);
      });
}

void TfrmArchive::closeEvent(QCloseEvent* event) {
  // The window is hidden, not destroyed: opened again it shows the same filters.
  event->accept();
}

}  // namespace zarn
