#pragma once
// TfrmArchive: the lab archive in a window of its own (modeless, from the Command menu).
// Filters at the top (object, material, instrument, note text, date from / to), the
// selected series below as table 1 shows them, then their instrument and note, sorted
// by any column; a summary line of what the filters select and, grouped by object,
// material, day, month or instrument, a summary row per group. Notes are edited in
// place and kept at once. The selected series can be shown in the main window, saved
// as a data file, printed as the series report or exported as CSV or XLSX.
//
// Every query runs on the archive's own thread (TArchiveThread): the window never waits
// for it. The list is lazy: a filter fetches only the ids of the series it selects, in
// the order asked for, and the rows are read a page at a time as they come into view,
// so 100 000 series scroll at once and take little memory.

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QSet>
#include <QString>
#include <atomic>
#include <optional>
#include <functional>
#include <memory>

#include "archive/archive.h"
#include "data/presenters.h"

QT_BEGIN_NAMESPACE
class QComboBox;
class QDateEdit;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;
QT_END_NAMESPACE

namespace zarn {

class Table1Snapshot;
class TArchiveThread;

// The help context of the archive window (F1 there).
inline constexpr int kArchiveWindowHelpContext = 21;

// The list's columns: table 1's nine, then the instrument and the note.
inline constexpr int kArchiveColumns = kSeriesColumns + 2;
inline constexpr int kArchiveInstrumentColumn = kSeriesColumns;
inline constexpr int kArchiveNoteColumn = kSeriesColumns + 1;
// The order a click on a column's heading asks for.
SeriesColumn ArchiveSortColumn(int column);
// "37 серий" / "37 series"; the Russian noun agrees with the number.
QString SeriesCountText(qint64 count, int language);
// The main window's title part while it shows series of the archive:
// "Архив: 37 серий" / "Archive: 37 series".
QString ArchiveShownTitle(qint64 count, int language);
// The summary line of a selection.
QString ArchiveSummaryText(const SummaryGroup& all, int language, StrengthUnit unit);

// The series list: the ids of the selection, and the rows of the pages in view.
class TArchiveModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kPageRows = 128;
  static constexpr int kKeptPages = 48;  // pages kept in memory, the nearest to the one asked for

  explicit TArchiveModel(QObject* parent = nullptr);

  // A new selection (its rows are fetched again as they are shown).
  void SetIds(QList<qint64> ids);
  const QList<qint64>& Ids() const { return ids_; }
  qint64 IdAt(int row) const { return row >= 0 && row < ids_.size() ? ids_[row] : 0; }
  void SetLanguage(int language, StrengthUnit unit);
  // The rows of a page read on the archive's thread; ignored when the selection changed.
  void PageArrived(int generation, int page, const QList<ArchivedSeries>& rows);
  int Generation() const { return generation_; }
  // A note kept (or not: `error` says why, the text stays in the cell).
  void NoteSaved(qint64 id, const QString& text, const QString& error);
  // The note a cell shows: the one being saved or not saved, else the archive's.
  bool HasPendingNote(qint64 id) const { return pendingNotes_.contains(id); }
  int CachedPages() const { return int(pages_.size()); }

  // Asked for a page that is not here: (generation, page, ids of its rows).
  std::function<void(int, int, QList<qint64>)> fetchPage;
  // A note typed in a cell: (series id, text).
  std::function<void(qint64, QString)> saveNote;
  // A click on a heading: the list is asked for again in that order.
  std::function<void(int, Qt::SortOrder)> sortBy;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  void sort(int column, Qt::SortOrder order) override;

 private:
  struct Row {
    ArchivedSeries series;
    SeriesRow cells;
  };
  const Row* RowAt(int row) const;
  void Refill();

  QList<qint64> ids_;
  int generation_ = 0;
  int language_ = 0;
  StrengthUnit unit_ = StrengthUnit::MPa;
  mutable QHash<int, QList<Row>> pages_;
  mutable QSet<int> asked_;
  QHash<qint64, QString> pendingNotes_;  // typed, not (yet) kept
  QHash<qint64, QString> noteErrors_;    // why a typed note was not kept
};

// What the window takes from the main window; the tests give their own.
struct ArchiveWindowSeams {
  // The archive's location, asked again on every refresh (the settings may change it).
  std::function<QString()> location;
  std::function<int(QDialog&)> execModal;
  std::function<StrengthUnit()> unit;
  // Show in the main window: a data file of the selected series and their count.
  std::function<void(const QString& dataFile, int count)> showInMain;
  // Print report: table 1's texts of the selected series.
  std::function<void(std::shared_ptr<const Table1Snapshot>)> showReport;
  std::function<void(int context)> help;
  // The folder the file dialogs start in, and where they were left.
  std::function<QString()> startFolder;
  std::function<void(const QString& chosen)> rememberFolder;
  // The author of notes; empty: the login name.
  QString author;
};

class TfrmArchive : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmArchive(ArchiveWindowSeams seams, QWidget* parent = nullptr);
  ~TfrmArchive() override;

  // ---- Controls.
  QLineEdit* ObjectEdit = nullptr;
  QLineEdit* MaterialEdit = nullptr;
  QLineEdit* InstrumentEdit = nullptr;
  QLineEdit* NoteEdit = nullptr;
  QDateEdit* DateFrom = nullptr;  // at its minimum: any day
  QDateEdit* DateTo = nullptr;
  QComboBox* GroupBy = nullptr;  // none, object, material, day, month, instrument
  QTableView* SeriesList = nullptr;
  QTableWidget* GroupList = nullptr;  // a summary row per group; hidden without grouping
  QLabel* SummaryLabel = nullptr;
  QLabel* MessageLabel = nullptr;  // what went wrong last, until the next success
  QPushButton* BtnShow = nullptr;
  QPushButton* BtnSave = nullptr;
  QPushButton* BtnReport = nullptr;
  QPushButton* BtnExport = nullptr;
  QPushButton* BtnRefresh = nullptr;

  TArchiveModel* Model() const { return model_; }
  // The filter the controls say.
  SeriesFilter Filter() const;
  // The grouping chosen (none: empty).
  std::optional<SummaryBy> Grouping() const;
  // Asks the archive again (F5): another program's imports appear.
  void Refresh();
  // No request to the archive outstanding, and none about to be made.
  bool Idle() const;
  // The figures of the whole selection, as last received.
  const SummaryGroup& Total() const { return total_; }
  const QList<SummaryGroup>& Groups() const { return groups_; }
  // The ids of the selected rows, in the list's order.
  QList<qint64> SelectedIds() const;
  // The texts follow the main window's language and unit.
  void Retranslate();

  // ---- The commands on the selected series; each returns at once and finishes when
  // the archive has answered. With a file name given, no dialog is shown.
  void ShowInMain();
  void SaveAsDataFile(const QString& fileName = {});
  void PrintReport();
  void ExportList(const QString& fileName = {});

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void Requery();
  void FetchPage(int generation, int page, QList<qint64> ids);
  void SaveNote(qint64 id, QString text);
  void ShowSummary();
  void FillGroups();
  void UpdateButtons();
  void Tell(const QString& message, bool error);
  bool HaveSelection();
  // The save dialog for a file to write: its filters and, for each, the suffix a name
  // typed without one gets. Empty when cancelled.
  QString AskSavePath(const QString& title, const QString& name, const QStringList& filters,
                      const QStringList& suffixes, const QString& proposed);
  // Runs `work` on the archive's thread, `done` here with its result.
  template <typename R>
  void Ask(std::function<ArchiveResult<R>(Archive&)> work, std::function<void(ArchiveResult<R>)> done);

  ArchiveWindowSeams seams_;
  std::unique_ptr<TArchiveThread> thread_;
  TArchiveModel* model_ = nullptr;
  QTimer* typing_ = nullptr;
  int queryGeneration_ = 0;
  std::shared_ptr<std::atomic<int>> latestQuery_;
  int outstanding_ = 0;
  SeriesOrder order_;
  SummaryGroup total_;
  QList<SummaryGroup> groups_;
  std::optional<SummaryBy> groupsBy_;
  bool totalKnown_ = false;
  QString lastMessage_;
  bool archiveFailed_ = false;  // the message says the archive cannot be used
  bool keepPlace_ = false;      // the next query is a refresh
};

}  // namespace zarn
