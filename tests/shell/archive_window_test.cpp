// The archive window on a real SQLite archive: its filters, sorting and grouping
// against the archive's own queries, the note editing (kept, and refused by the
// database), F5 after another program's import, and the commands on a selection: Show
// in the main window against opening the data file Save writes, the report, CSV/XLSX.

#include <QDateEdit>
#include <QComboBox>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "archive/archive.h"
#include "data/datafile.h"
#include "report/seriesreport.h"
#include "shell/archivewindow.h"
#include "shell/reportpreview.h"
#include "shell/stringgrid.h"
#include "testing/files.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

using testing::ReadAll;
using testing::WriteAll;

const QString kInstrument = QStringLiteral("Zarn-2.6 v3.14 sn 0042");

// 250 series: two data files of 90 and a read of 70 from kInstrument.
class ArchiveWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    archivePath_ = dir_.filePath(QStringLiteral("lab.sqlite"));
    WriteSettings(("[Config]\r\nLangId=Rus\r\n[Archive]\r\nDatabase=" + archivePath_ + "\r\n").toUtf8());
    auto opened = Archive::Open(archivePath_);
    ASSERT_TRUE(opened);
    archive_ = std::move(*opened);
    for (uint64_t seed = 1; seed <= 2; ++seed) {
      auto images = std::make_unique<DeviceImages>();
      sim::GenerateSample(*images, 90, seed);
      const QString file = dir_.filePath(QStringLiteral("s%1.zarn").arg(seed));
      ASSERT_TRUE(WriteDataFile(file, *images));
      ASSERT_TRUE(archive_->ImportFile(file));
    }
    ImportRead(70, 9, kInstrument);
  }
  void TearDown() override {
    form_.reset();
    archive_.reset();
    WindowTest::TearDown();
  }
  void ImportRead(int count, uint64_t seed, const QString& instrument) {
    auto images = std::make_unique<DeviceImages>();
    sim::GenerateSample(*images, count, seed);
    ASSERT_TRUE(archive_->ImportRead(*images, instrument));
  }

  TfrmArchive& OpenWindow() {
    MakeForm().AArchiveExecute();
    TfrmArchive* w = form_->frmArchive;
    EXPECT_NE(w, nullptr);
    Settle(*w);
    return *w;
  }
  // Serves events until the window has its answers (every row shown read).
  static void Settle(TfrmArchive& w) {
    for (int round = 0; round < 3; ++round) {
      QCoreApplication::processEvents();
      EXPECT_TRUE(QTest::qWaitFor([&] { return w.Idle(); }, 10000));
    }
  }
  static QList<qint64> Listed(const TfrmArchive& w) { return w.Model()->Ids(); }
  QList<qint64> IdsOf(const SeriesFilter& f, SeriesOrder order = {}) {
    auto ids = archive_->SeriesIds(f, order);
    EXPECT_TRUE(ids);
    return ids ? *ids : QList<qint64>();
  }
  QList<qint64> ListIds(const SeriesFilter& f) {
    QList<qint64> ids;
    const auto list = archive_->List(f);
    EXPECT_TRUE(list);
    for (const ArchivedSeries& s : *list) ids.append(s.id);
    return ids;
  }
  static void SelectRows(TfrmArchive& w, int first, int last) {
    w.SeriesList->selectionModel()->select(
        QItemSelection(w.Model()->index(first, 0), w.Model()->index(last, kArchiveColumns - 1)),
        QItemSelectionModel::ClearAndSelect);
  }

  QString archivePath_;
  std::unique_ptr<Archive> archive_;
};

TEST_F(ArchiveWindowTest, FiltersSelectWhatTheArchiveSelectsAndTheSummaryCountsThem) {
  TfrmArchive& w = OpenWindow();
  ASSERT_EQ(Listed(w).size(), 250);
  EXPECT_EQ(Listed(w), ListIds({}));
  // The names of the sample, to filter by.
  const ArchivedSeries some = archive_->List()->at(17);
  SeriesRow row;
  some.FillRow(StrengthUnit::MPa, row);
  ASSERT_TRUE(archive_->SetNote(some.id, QStringLiteral("Трещина у опоры")));
  const std::pair<QLineEdit*, QString> cases[] = {
      {w.ObjectEdit, row[5]}, {w.MaterialEdit, row[4]}, {w.InstrumentEdit, kInstrument}, {w.NoteEdit, u"трещина"_qs}};
  for (const auto& [edit, text] : cases) {
    SCOPED_TRACE(text.toStdString());
    edit->setText(text);
    Settle(w);
    const SeriesFilter f = w.Filter();
    EXPECT_FALSE(Listed(w).isEmpty());
    EXPECT_EQ(Listed(w), ListIds(f));
    const auto groups = archive_->Summary(SummaryBy::Object, f);
    EXPECT_EQ(w.Total().count, Listed(w).size());
    EXPECT_NEAR(w.Total().mean, CombinedGroup(*groups).mean, 1e-9);
    EXPECT_TRUE(w.SummaryLabel->text().startsWith(SeriesCountText(Listed(w).size(), kRussian)))
        << w.SummaryLabel->text().toStdString();
    edit->clear();
  }
  // The dates: a day of the sample from it on, then up to it; "any day" again is all.
  const InstrumentClock day = InstrumentClock::FromKey(some.taken);
  qsizetype both = 0;
  for (QDateEdit* edit : {w.DateFrom, w.DateTo}) {
    edit->setDate(QDate(day.year, day.month, day.day));
    Settle(w);
    EXPECT_EQ(Listed(w), ListIds(w.Filter()));
    both += Listed(w).size();
    edit->setDate(edit->minimumDate());
  }
  EXPECT_GE(both, 250);
  // A filter that selects nothing says so.
  w.ObjectEdit->setText(QStringLiteral("нет такого объекта"));
  Settle(w);
  EXPECT_TRUE(Listed(w).isEmpty());
  EXPECT_EQ(w.SummaryLabel->text(), QStringLiteral("Фильтры не отбирают ни одной серии"));
}

TEST_F(ArchiveWindowTest, SortingAndGroupingAreTheArchivesOwn) {
  TfrmArchive& w = OpenWindow();
  // Strength descending last: the texts of its first page fall.
  const std::pair<int, Qt::SortOrder> sorts[] = {{4, Qt::AscendingOrder}, {0, Qt::AscendingOrder},
                                                  {kArchiveNoteColumn, Qt::DescendingOrder}, {1, Qt::AscendingOrder},
                                                  {3, Qt::DescendingOrder}};
  for (const auto& [column, order] : sorts) {
    w.SeriesList->sortByColumn(column, order);
    Settle(w);
    EXPECT_EQ(Listed(w), IdsOf({}, {ArchiveSortColumn(column), order == Qt::DescendingOrder})) << column;
  }
  const auto strength = [&](int r) {
    return w.Model()->data(w.Model()->index(r, 3), Qt::DisplayRole).toString().replace(u',', u'.').toDouble();
  };
  for (int r = 0; r < 5; ++r) strength(r);
  Settle(w);
  EXPECT_GE(strength(0), strength(4));

  const SummaryBy kinds[] = {SummaryBy::Object, SummaryBy::Material, SummaryBy::Day, SummaryBy::Month,
                             SummaryBy::Instrument};
  EXPECT_TRUE(w.GroupList->isHidden());
  for (int i = 1; i <= 5; ++i) {
    w.GroupBy->setCurrentIndex(i);
    Settle(w);
    const auto groups = archive_->Summary(kinds[i - 1], w.Filter());
    ASSERT_TRUE(groups);
    ASSERT_EQ(w.GroupList->rowCount(), groups->size()) << i;
    EXPECT_FALSE(w.GroupList->isHidden());
    for (int r = 0; r < groups->size(); ++r) {
      QString key = groups->at(r).key;  // days and months day first, as the list writes dates
      if (kinds[i - 1] == SummaryBy::Day) key = QDate::fromString(key, Qt::ISODate).toString(u"dd.MM.yyyy"_qs);
      if (kinds[i - 1] == SummaryBy::Month) key = QDate::fromString(key + u"-01"_qs, Qt::ISODate).toString(u"MM.yyyy"_qs);
      if (key == kUnknownInstrument) key = u"неизвестен"_qs;
      EXPECT_EQ(w.GroupList->item(r, 0)->text(), key);
      EXPECT_EQ(w.GroupList->item(r, 1)->text(), QString::number(groups->at(r).count));
    }
  }
  w.GroupBy->setCurrentIndex(0);
  Settle(w);
  EXPECT_TRUE(w.GroupList->isHidden());
}

TEST_F(ArchiveWindowTest, ANoteIsKeptAtOnceOrSaysWhyAndStaysInItsCell) {
  TfrmArchive& w = OpenWindow();
  TArchiveModel& m = *w.Model();
  const QModelIndex cell = m.index(3, kArchiveNoteColumn);
  const qint64 id = m.IdAt(3);
  ASSERT_TRUE(m.flags(cell) & Qt::ItemIsEditable);
  EXPECT_FALSE(m.flags(m.index(3, 3)) & Qt::ItemIsEditable);
  ASSERT_TRUE(m.setData(cell, QStringLiteral("сколы"), Qt::EditRole));
  Settle(w);
  auto notes = archive_->Notes(id);
  ASSERT_TRUE(notes && !notes->isEmpty());
  EXPECT_EQ(notes->last().text, QStringLiteral("сколы"));
  EXPECT_FALSE(notes->last().author.isEmpty());
  EXPECT_LE(notes->last().when.secsTo(QDateTime::currentDateTimeUtc()), 60);
  EXPECT_FALSE(m.HasPendingNote(id));
  EXPECT_EQ(m.data(cell, Qt::DisplayRole).toString(), QStringLiteral("сколы"));

  // The database refuses new notes: the window says why, the text stays, marked.
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
    db.setDatabaseName(archivePath_);
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER no_notes BEFORE INSERT ON notes "
                                      "BEGIN SELECT RAISE(ABORT, 'notes are locked'); END")))
        << q.lastError().text().toStdString();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("lock"));
  ASSERT_TRUE(m.setData(cell, QStringLiteral("сколы и трещины"), Qt::EditRole));
  Settle(w);
  EXPECT_EQ(archive_->Notes(id)->last().text, QStringLiteral("сколы"));
  EXPECT_TRUE(m.HasPendingNote(id));
  EXPECT_EQ(m.data(cell, Qt::DisplayRole).toString(), QStringLiteral("сколы и трещины"));
  EXPECT_TRUE(m.data(cell, Qt::ToolTipRole).toString().contains(QStringLiteral("notes are locked")));
  EXPECT_TRUE(w.MessageLabel->text().contains(QStringLiteral("не сохранено"))) << w.MessageLabel->text().toStdString();
  EXPECT_TRUE(w.MessageLabel->isVisibleTo(&w));
}

// F5 reads the archive again: one that could not be opened, then another program's import.
TEST_F(ArchiveWindowTest, RefreshTriesAnArchiveAgainAndShowsAnotherProgramsImport) {
  // A file where the archive's folder would have to be: nothing can be made there.
  const QString blocker = dir_.filePath(QStringLiteral("blocker"));
  ASSERT_TRUE(WriteAll(blocker, {}));
  QString location = blocker + QStringLiteral("/lab.sqlite");
  ArchiveWindowSeams seams;
  seams.location = [&location] { return location; };
  TfrmArchive w(seams);
  Settle(w);
  EXPECT_TRUE(Listed(w).isEmpty());
  EXPECT_TRUE(w.MessageLabel->text().startsWith(QStringLiteral("Архив недоступен"))) << w.MessageLabel->text().toStdString();
  location = archivePath_;
  w.Refresh();
  Settle(w);
  ASSERT_EQ(Listed(w).size(), 250);
  EXPECT_TRUE(w.MessageLabel->text().isEmpty());

  SelectRows(w, 5, 9);
  QList<qint64> selected = w.SelectedIds();
  ImportRead(30, 77, QStringLiteral("Zarn-2.5 v2 sn 7"));
  QCoreApplication::processEvents();
  EXPECT_EQ(Listed(w).size(), 250);
  QTest::keyClick(&w, Qt::Key_F5);
  w.Refresh();
  Settle(w);
  EXPECT_EQ(Listed(w).size(), 280);
  EXPECT_EQ(Listed(w), ListIds({}));
  // The series selected before are selected still.
  QList<qint64> still = w.SelectedIds();
  std::sort(still.begin(), still.end());
  std::sort(selected.begin(), selected.end());
  EXPECT_EQ(still, selected);
  // A new filter starts afresh.
  w.NoteEdit->setText(QStringLiteral("x"));
  Settle(w);
  EXPECT_TRUE(w.SelectedIds().isEmpty());
}

TEST_F(ArchiveWindowTest, ReportExportsAndShowInTheMainWindowAsOpeningTheSavedDataFile) {
  TfrmArchive& w = OpenWindow();
  // Nothing selected: the commands say what to do first.
  EXPECT_FALSE(w.BtnReport->isEnabled());
  w.PrintReport();
  EXPECT_EQ(w.MessageLabel->text(), QStringLiteral("Выделите серии в списке."));
  SelectRows(w, 0, 39);
  EXPECT_TRUE(w.BtnReport->isEnabled());
  w.PrintReport();
  Settle(w);
  auto* preview = form_->findChild<TfrmReportPreview*>();
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  EXPECT_GE(preview->View()->PageCount(), 1);

  const QString csv = dir_.filePath(QStringLiteral("list.csv"));
  const QString xlsx = dir_.filePath(QStringLiteral("list.xlsx"));
  w.ExportList(csv);
  w.ExportList(xlsx);
  Settle(w);
  const QStringList lines = QString::fromUtf8(ReadAll(csv)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  EXPECT_EQ(lines.size(), 41);  // the headings and 40 rows
  EXPECT_TRUE(lines.value(0).contains(QStringLiteral("Примечание")));
  EXPECT_TRUE(ReadAll(xlsx).startsWith("PK"));

  SelectRows(w, 10, 46);
  ASSERT_EQ(w.SelectedIds().size(), 37);
  const QString saved = dir_.filePath(QStringLiteral("selection.zarn"));
  w.SaveAsDataFile(saved);
  Settle(w);
  ASSERT_TRUE(QFileInfo::exists(saved)) << w.MessageLabel->text().toStdString();
  w.ShowInMain();
  Settle(w);
  TForm1& shown = *form_;
  EXPECT_EQ(shown.ShownProcessCount(), 37u);
  EXPECT_EQ(shown.windowTitle(), QStringLiteral("Архив: 37 серий — Zarn-2.5/2.6"));
  shown.ALangEngExecute();
  EXPECT_EQ(shown.windowTitle(), QStringLiteral("Archive: 37 series — Zarn-2.5/2.6"));
  shown.ALangRusExecute();

  // Another window opens the saved file: the same tables and the same bytes.
  FormSeams seams = Seams();
  seams.settingsPath = dir_.filePath(QStringLiteral("other.ini"));
  ASSERT_TRUE(WriteAll(seams.settingsPath, "[Config]\r\nLangId=Rus\r\n"));
  TForm1 opened(seams);
  Expect([saved](QDialog& dialog) {
    auto& files = static_cast<QFileDialog&>(dialog);
    files.setDirectory(QFileInfo(saved).absolutePath());
    files.selectFile(QFileInfo(saved).fileName());
    return int(QDialog::Accepted);
  });
  opened.AOpenExecute(opened.AOpen);
  ASSERT_EQ(opened.ShownProcessCount(), 37u);
  for (int r = 0; r < shown.StringGrid1->RowCount(); ++r)
    for (int c = 0; c < kSeriesColumns; ++c) ASSERT_EQ(shown.StringGrid1->Cells(c, r), opened.StringGrid1->Cells(c, r));
  EXPECT_EQ(shown.ShownImages()->images.DataImage, opened.ShownImages()->images.DataImage);
  EXPECT_EQ(shown.ShownImages()->images.ParamBlock, opened.ShownImages()->images.ParamBlock);
}

}  // namespace
}  // namespace zarn::wintest
