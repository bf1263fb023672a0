// The archive on real SQLite files in temporary folders; compiled again with
// ZARN_ARCHIVE_PG for a real PostgreSQL server (the tests about SQLite files left out).

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QThread>
#include <set>

#include "archive/archiveaddress.h"
#include "archive_fixture.h"
#include "common/bytes.h"
#include "testing/mounts.h"

namespace zarn::test {
namespace {

using testing::ReadAll;
using testing::WriteAll;

#ifndef ZARN_ARCHIVE_PG
// Statements on an archive's file behind the archive's back.
bool RawSql(const QString& path, const QStringList& statements) {
  bool ok = true;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
    db.setDatabaseName(path);
    ok = db.open();
    QSqlQuery q(db);
    for (const QString& s : statements) ok = ok && q.exec(s);
    q.finish();
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("raw"));
  return ok;
}
#endif

std::vector<ProcessRecordBuffer> Records(std::initializer_list<TestProcess> processes) {
  std::vector<ProcessRecordBuffer> out;
  for (const TestProcess& p : processes) out.push_back(Encode(p));
  return out;
}

TestProcess Series(QString object, float strength, uint8_t day, uint32_t number, QString material = QStringLiteral("Бетон")) {
  TestProcess p;
  p.object = std::move(object);
  p.material = std::move(material);
  p.strength = strength;
  p.day = day;
  p.month = 5;
  p.year = 24;
  p.number = number;
  return p;
}

std::set<qint64> Ids(const QList<ArchivedSeries>& list) {
  std::set<qint64> ids;
  for (const ArchivedSeries& s : list) ids.insert(s.id);
  return ids;
}

#ifndef ZARN_ARCHIVE_PG
TEST(ArchiveAddressTest, LocationsAsLibpqTakesThem) {
  struct Case {
    QString location;
    bool ok;
    ArchiveBackend backend;
    QString host, user, database, password;
    int port;
    QStringList options;
  };
  const Case cases[] = {
      {"/tmp/a.sqlite", true, ArchiveBackend::Sqlite, "", "", "", "", -1, {}},
      {"postgresql://", true, ArchiveBackend::Postgres, "", "", "", "", -1, {}},
      {"postgresql://lab.example:5433/zarn?sslmode=require", true, ArchiveBackend::Postgres, "lab.example", "",
       "zarn", "", 5433, {"sslmode=require"}},
      {"POSTGRES://anna:s%40cret@db/lab%20archive", true, ArchiveBackend::Postgres, "db", "anna", "lab archive",
       "s@cret", -1, {}},
      {"postgresql://%2Frun%2Fpostgresql/zarn?password=x&connect_timeout=3", true, ArchiveBackend::Postgres,
       "/run/postgresql", "", "zarn", "x", -1, {"connect_timeout=3"}},
      {"postgresql://[::1]:6000/z", true, ArchiveBackend::Postgres, "::1", "", "z", "", 6000, {}},
      {"postgresql://host:0/z", false, {}, "", "", "", "", -1, {}},
      {"postgresql://host:99999/z", false, {}, "", "", "", "", -1, {}},
      {"postgresql://host/z?sslmode", false, {}, "", "", "", "", -1, {}},
      {"postgresql://host/z?Bad Key=1", false, {}, "", "", "", "", -1, {}},
      {"postgresql://host/z?options=a;b", false, {}, "", "", "", "", -1, {}},
      {"postgresql://host/%zz", false, {}, "", "", "", "", -1, {}},
      {"", false, {}, "", "", "", "", -1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location.toStdString());
    QString error;
    const auto a = ParseArchiveAddress(c.location, &error);
    ASSERT_EQ(a.has_value(), c.ok) << error.toStdString();
    if (!a) {
      EXPECT_FALSE(error.isEmpty());
      EXPECT_FALSE(error.contains(u"s@cret"));
      continue;
    }
    EXPECT_EQ(a->backend, c.backend);
    EXPECT_EQ(a->host, c.host);
    EXPECT_EQ(a->user, c.user);
    EXPECT_EQ(a->database, c.database);
    EXPECT_EQ(a->password, c.password);
    EXPECT_EQ(a->port, c.port);
    EXPECT_EQ(a->options, c.options);
    EXPECT_FALSE(a->shown.contains(u"cret"));
  }
}
#endif

// The import gives back every data file byte for byte, whatever its blocks hold.
TEST_F(ArchiveTest, GivesBackEveryFileByteForByte) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  auto full = Sample(2688, 1);
  auto some = Sample(40, 2);
  auto none = std::make_unique<DeviceImages>();
  Clear(*none, 0xFF);  // no valid entry: no series, every byte in the residue
  const QByteArray wholeFull = DataFileBytes(*full);
  QByteArray longer = DataFileBytes(*some, 1080 + 7, 600, 10752, 8388608);
  longer += QByteArray("tail!!!");  // the 7 bytes the reader never reads
  auto otherFree = std::make_unique<DeviceImages>(*some);  // the same series where they were,
  otherFree->DataImage[kDataImageSize - 1] ^= 0x5A;         // other bytes in the free memory
  struct Case {
    const char* name;
    QByteArray bytes;
    int series;
  };
  const Case cases[] = {
      {"full", wholeFull, 2688},
      {"some", DataFileBytes(*some), 40},
      {"none", DataFileBytes(*none), 0},
      {"short blocks", DataFileBytes(*some, 1000, 600, 10000, 4000000), 40},
      {"lengths above capacity", longer, 40},
      {"the same layout, another residue", DataFileBytes(*otherFree), 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = File(QString::fromLatin1(c.name) + QStringLiteral(".zarn"));
    ASSERT_TRUE(WriteAll(path, c.bytes));
    const auto outcome = archive->ImportFile(path);
    ASSERT_TRUE(Ok(outcome));
    EXPECT_EQ(outcome->series, c.series);
    const auto back = archive->ImportFileBytes(outcome->importId);
    ASSERT_TRUE(Ok(back));
    EXPECT_TRUE(*back == c.bytes);
    const QString out = File(QStringLiteral("back.zarn"));
    ASSERT_TRUE(Ok(archive->WriteImportFile(outcome->importId, out)));
    EXPECT_TRUE(ReadAll(out) == c.bytes);
  }
  // A read gives back the file a save of it writes.
  const auto read = archive->ImportRead(*some, QStringLiteral("Zarn-2.6 v3.14"), QStringLiteral("saved.zarn"));
  ASSERT_TRUE(Ok(read));
  EXPECT_EQ(read->added, 0);
  const auto back = archive->ImportFileBytes(read->importId);
  ASSERT_TRUE(Ok(back));
  EXPECT_TRUE(*back == DataFileBytes(*some));
  EXPECT_TRUE(Ok(archive->WriteImportFile(9999, File("x"))) == false);
  EXPECT_EQ(archive->WriteImportFile(9999, File("x")).error().kind, ArchiveErrorKind::NotFound);
}

TEST_F(ArchiveTest, KeepsEachSeriesOnceAndRepeatedImportsCostARow) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  auto full = Sample(2688, 3);
  const QString path = WriteSample(QStringLiteral("full.zarn"), *full);
  const auto first = archive->ImportFile(path);
  ASSERT_TRUE(Ok(first));
  EXPECT_EQ(first->added, 2688);
  archive.reset();  // closing folds the write-ahead log into the file
  const qint64 before = Pg() ? 0 : QFileInfo(location_).size();
  auto again = Archive::Open(location_);
  ASSERT_TRUE(Ok(again));
  for (int i = 0; i < 100; ++i) {
    const auto outcome = i % 2 ? (*again)->ImportFile(path) : (*again)->ImportRead(*full, QStringLiteral("v1"));
    ASSERT_TRUE(Ok(outcome));
    EXPECT_EQ(outcome->series, 2688);
    EXPECT_EQ(outcome->added, 0);
  }
  EXPECT_EQ((*again)->Imports()->size(), 101);
  EXPECT_EQ((*again)->List()->size(), 2688);
  again->reset();
  if (!Pg()) {
    EXPECT_LT(QFileInfo(location_).size() - before, 1 << 20);
  }

  // A memory that grew: only the new series are added.
  auto archive2 = OpenNew(QStringLiteral("grew"));
  ASSERT_TRUE(archive2);
  std::vector<ProcessRecordBuffer> records;
  for (uint32_t n = 0; n < 15; ++n) records.push_back(Encode(Series(QStringLiteral("Мост"), 20.0f + float(n), 1, n)));
  auto small = std::make_unique<DeviceImages>();
  PlaceProcesses(*small, std::vector<ProcessRecordBuffer>(records.begin(), records.begin() + 10));
  auto grown = std::make_unique<DeviceImages>();
  PlaceProcesses(*grown, records);
  EXPECT_EQ(archive2->ImportRead(*small, QStringLiteral("v1"))->added, 10);
  const auto outcome = archive2->ImportRead(*grown, QStringLiteral("v1"));
  EXPECT_EQ(outcome->added, 5);
  EXPECT_EQ(outcome->kept(), 10);
  const auto list = archive2->List();
  ASSERT_EQ(list->size(), 15);
  EXPECT_EQ(list->front().imports, (QList<qint64>{1, 2}));
  EXPECT_EQ(list->back().imports, (QList<qint64>{2}));
}

// A filter matches a part of the text in any case, Cyrillic too, and every character of it
// is data: quotes, %, _, \ match only themselves.
TEST_F(ArchiveTest, FiltersTakeHostileTextAsData) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  const QString hostile = QStringLiteral("O'Brien \"%_\\");
  auto images = std::make_unique<DeviceImages>();
  PlaceProcesses(*images, Records({Series(hostile, 20, 1, 1), Series(QStringLiteral("O'Brien x"), 21, 2, 2),
                                   Series(QStringLiteral("Мост"), 22, 3, 3), Series(QStringLiteral("Мост"), 23, 4, 4),
                                   Series(QStringLiteral("Дом"), 24, 5, 5, QStringLiteral("Кирпич"))}));
  ASSERT_TRUE(Ok(archive->ImportRead(*images, QStringLiteral("v1"))));
  const auto all = archive->List();
  ASSERT_EQ(all->size(), 5);
  std::vector<qint64> id;
  for (const ArchivedSeries& s : *all) id.push_back(s.id);  // in the instrument's time order
  const QString notes[] = {QStringLiteral("Трещина в 'опоре'; 50% _площади_"), QStringLiteral("path C:\\data"),
                           QStringLiteral("ТРЕЩИН нет"), QStringLiteral("50 percent"), QString()};
  for (int i = 0; i < 5; ++i) {
    if (!notes[i].isEmpty()) {
      ASSERT_TRUE(Ok(archive->SetNote(id[i], notes[i], QStringLiteral("anna"))));
    }
  }
  struct Case {
    SeriesFilter filter;
    std::set<qint64> expected;
  };
  const auto f = [](auto set) {
    SeriesFilter filter;
    set(filter);
    return filter;
  };
  const Case cases[] = {
      {f([&](SeriesFilter& x) { x.object = hostile; }), {id[0]}},
      {f([&](SeriesFilter& x) { x.object = QStringLiteral("o'bRIEN"); }), {id[0], id[1]}},
      {f([&](SeriesFilter& x) { x.object = QStringLiteral("%"); }), {id[0]}},
      {f([&](SeriesFilter& x) { x.object = QStringLiteral("_"); }), {id[0]}},
      {f([&](SeriesFilter& x) { x.object = QStringLiteral("\\"); }), {id[0]}},
      {f([&](SeriesFilter& x) { x.object = QStringLiteral("мОС"); }), {id[2], id[3]}},
      {f([&](SeriesFilter& x) { x.object = QStringLiteral("Мостик"); }), {}},
      {f([&](SeriesFilter& x) { x.material = QStringLiteral("кИРП"); }), {id[4]}},
      {f([&](SeriesFilter& x) { x.note = QStringLiteral("'"); }), {id[0]}},
      {f([&](SeriesFilter& x) { x.note = QStringLiteral("%"); }), {id[0]}},
      {f([&](SeriesFilter& x) { x.note = QStringLiteral("_"); }), {id[0]}},
      {f([&](SeriesFilter& x) { x.note = QStringLiteral("\\"); }), {id[1]}},
      {f([&](SeriesFilter& x) { x.note = QStringLiteral("трещин"); }), {id[0], id[2]}},
      {f([&](SeriesFilter& x) { x.note = QStringLiteral("' OR 1=1 --"); }), {}},
      {f([&](SeriesFilter& x) { x.note = QStringLiteral("50"); }), {id[0], id[3]}},
      {f([&](SeriesFilter& x) { x.instrument = QStringLiteral("V"); }), {id[0], id[1], id[2], id[3], id[4]}},
      {f([&](SeriesFilter& x) { x.instrument = QStringLiteral("unknown"); }), {}},
      {f([&](SeriesFilter& x) { x.from = QDate(2024, 5, 2); x.to = QDate(2024, 5, 4); }), {id[1], id[2], id[3]}},
      {f([&](SeriesFilter& x) { x.from = QDate(2024, 5, 5); }), {id[4]}},
      {f([&](SeriesFilter& x) { x.to = QDate(2024, 4, 30); }), {}},
      {f([&](SeriesFilter& x) { x.object = QStringLiteral("Мост"); x.note = QStringLiteral("нет"); }), {id[2]}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const auto list = archive->List(cases[i].filter);
    ASSERT_TRUE(Ok(list));
    EXPECT_EQ(Ids(*list), cases[i].expected);
  }
  // Notes keep their history; the newest is the series' note.
  ASSERT_TRUE(Ok(archive->SetNote(id[0], QString(), QStringLiteral("boris"))));
  EXPECT_EQ(archive->Series(id[0])->note, QString());
  const auto history = archive->Notes(id[0]);
  ASSERT_EQ(history->size(), 2);
  EXPECT_EQ(history->front().text, notes[0]);
  EXPECT_EQ(history->front().author, QStringLiteral("anna"));
  EXPECT_EQ(archive->SetNote(424242, QStringLiteral("x")).error().kind, ArchiveErrorKind::NotFound);
}

TEST_F(ArchiveTest, SummariesOverTheInstrumentsStrengths) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  auto images = std::make_unique<DeviceImages>();
  PlaceProcesses(*images, Records({Series("A", 20, 3, 1), Series("A", 30, 1, 2), Series("A", 40, 2, 3),
                                   Series("B", 50, 9, 4, QStringLiteral("Кирпич"))}));
  ASSERT_TRUE(Ok(archive->ImportRead(*images, QStringLiteral("v1"))));
  const auto byObject = archive->Summary(SummaryBy::Object);
  ASSERT_TRUE(Ok(byObject));
  ASSERT_EQ(byObject->size(), 2);
  const SummaryGroup& a = byObject->front();
  EXPECT_EQ(a.key, QStringLiteral("A"));
  EXPECT_EQ(a.count, 3);
  EXPECT_DOUBLE_EQ(a.mean, 30);
  EXPECT_DOUBLE_EQ(a.minimum, 20);
  EXPECT_DOUBLE_EQ(a.maximum, 40);
  EXPECT_NEAR(a.deviation, 10, 1e-9);
  EXPECT_NEAR(a.variation, 100.0 / 3, 1e-9);
  EXPECT_EQ(a.first.Text(), QStringLiteral("2024-05-01 14:05:09"));
  EXPECT_EQ(a.last.DateText(), QStringLiteral("2024-05-03"));
  EXPECT_EQ(byObject->back().deviation, 0);
  const auto kgf = archive->Summary(SummaryBy::Object, {}, StrengthUnit::Kgf);
  EXPECT_NEAR(kgf->front().mean, 30 * kKgfPerMPa, 1e-9);
  EXPECT_NEAR(kgf->front().variation, 100.0 / 3, 1e-9);
  const auto byDay = archive->Summary(SummaryBy::Day);
  ASSERT_EQ(byDay->size(), 4);
  EXPECT_EQ(byDay->front().key, QStringLiteral("2024-05-01"));
  const auto byMonth = archive->Summary(SummaryBy::Month, [] {
    SeriesFilter f;
    f.material = QStringLiteral("Бетон");
    return f;
  }());
  ASSERT_EQ(byMonth->size(), 1);
  EXPECT_EQ(byMonth->front().key, QStringLiteral("2024-05"));
  EXPECT_EQ(byMonth->front().count, 3);
  EXPECT_EQ(archive->Summary(SummaryBy::Instrument)->front().key, QStringLiteral("v1"));
  // The list in the instrument's time order, table 1's row as export prints it.
  const auto list = archive->List();
  ASSERT_EQ(list->size(), 4);
  SeriesRow row;
  list->front().FillRow(StrengthUnit::MPa, row);
  EXPECT_EQ(row[0], QStringLiteral("2"));
  EXPECT_EQ(row[1], QStringLiteral("01.05.24"));
  EXPECT_EQ(row[3], QStringLiteral("30"));
}

TEST_F(ArchiveTest, ExportsSeriesAsADataFileThatImportsAsKept) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  auto full = Sample(2688, 4);
  ASSERT_TRUE(Ok(archive->ImportRead(*full, QStringLiteral("v1"))));
  struct Case {
    SeriesFilter filter;
    const char* name;
  };
  SeriesFilter one;
  one.object = [&] {
    SeriesRow row;
    archive->List()->at(100).FillRow(StrengthUnit::MPa, row);
    return row[5];
  }();
  for (const Case& c : {Case{SeriesFilter{}, "all"}, Case{one, "one object"}}) {
    SCOPED_TRACE(c.name);
    const auto selected = archive->List(c.filter);
    const QString out = File(QStringLiteral("export.zarn"));
    const auto written = archive->Export(c.filter, out);
    ASSERT_TRUE(Ok(written));
    EXPECT_EQ(*written, selected->size());
    auto back = std::make_unique<DeviceImages>();
    ASSERT_EQ(ReadDataFile(out, *back), DataFileStatus::Ok);
    EXPECT_EQ(CountProcesses(back->ParamBlock.data()), uint32_t(selected->size()));
    EXPECT_TRUE(std::equal(back->MaterialsBlock.begin(), back->MaterialsBlock.end(), full->MaterialsBlock.begin()));
    const auto again = archive->ImportFile(out);
    ASSERT_TRUE(Ok(again));
    EXPECT_EQ(again->added, 0);
    EXPECT_EQ(again->series, selected->size());
  }
  // More than one file holds: nothing written, the count named.
  ASSERT_TRUE(Ok(archive->ImportRead(*Sample(2688, 5), QStringLiteral("v1"))));
  const QString out = File(QStringLiteral("too-many.zarn"));
  const auto failed = archive->Export({}, out);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().kind, ArchiveErrorKind::TooMany);
  EXPECT_TRUE(failed.error().Text(kEnglish).contains(QStringLiteral("5376")));
  EXPECT_FALSE(QFileInfo::exists(out));
}

#ifndef ZARN_ARCHIVE_PG
// What is no archive of this program, or of a newer one, is refused and left as it is.
TEST_F(ArchiveTest, RefusesWhatItCannotUseAndNeverWritesIt) {
  auto archive = OpenNew(QStringLiteral("good"));
  ASSERT_TRUE(archive);
  ASSERT_TRUE(Ok(archive->ImportRead(*Sample(300, 6), QStringLiteral("v1"))));
  archive.reset();
  const QString good = location_;
  const QByteArray goodBytes = ReadAll(good);

  const QString newer = File(QStringLiteral("newer.sqlite"));
  ASSERT_TRUE(WriteAll(newer, goodBytes));
  ASSERT_TRUE(RawSql(newer, {QStringLiteral("PRAGMA journal_mode = DELETE"),
                             QStringLiteral("UPDATE archive_meta SET value = '2' WHERE key = 'schema'")}));
  const QString text = File(QStringLiteral("notes.txt"));
  ASSERT_TRUE(WriteAll(text, QByteArray("these are my notes, not a database\n").repeated(200)));
  const QString other = File(QStringLiteral("other.sqlite"));
  ASSERT_TRUE(RawSql(other, {QStringLiteral("CREATE TABLE contacts (name TEXT)")}));
  const QString damaged = File(QStringLiteral("damaged.sqlite"));
  QByteArray broken = goodBytes;
  for (qsizetype i = 0; i < 4096; ++i) broken[i] = char(0x5A);  // the header page
  ASSERT_TRUE(WriteAll(damaged, broken));
  const QString folder = File(QStringLiteral("folder"));
  ASSERT_TRUE(QDir().mkpath(folder));

  struct Case {
    QString path;
    const char* says;
  };
  for (const Case& c : {Case{newer, "newer"}, Case{text, "no archive"}, Case{other, "not an archive"},
                        Case{damaged, "no archive"}, Case{folder, "not a file"},
                        Case{File(QStringLiteral("missing.sqlite")), "no archive"}}) {
    SCOPED_TRACE(c.path.toStdString());
    const QByteArray before = ReadAll(c.path);
    const auto mode = c.path.endsWith(u"missing.sqlite") ? Archive::OpenMode::Existing : Archive::OpenMode::Create;
    const auto opened = Archive::Open(c.path, mode);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, ArchiveErrorKind::Unusable);
    EXPECT_TRUE(opened.error().Text(kEnglish).contains(QString::fromLatin1(c.says))) << opened.error().Text(kEnglish).toStdString();
    EXPECT_TRUE(opened.error().Text(kEnglish).contains(c.path));
    EXPECT_TRUE(ReadAll(c.path) == before);
  }
  EXPECT_FALSE(QFileInfo::exists(File(QStringLiteral("missing.sqlite"))));
  // A data file that is not one: the data file's fault, the archive as it was.
  auto same = Archive::Open(good);
  ASSERT_TRUE(Ok(same));
  const auto bad = (*same)->ImportFile(text);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().kind, ArchiveErrorKind::DataFile);
  EXPECT_EQ((*same)->Imports()->size(), 1);
}
#endif

// Two programs import at once; one is killed at any moment: the archive is as before or
// as after each import, never in between.
TEST_F(ArchiveTest, ImportsSideBySideAndSurvivesAKill) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  QStringList files[2];
  for (int i = 0; i < 6; ++i)
    files[i % 2] << WriteSample(QStringLiteral("s%1.zarn").arg(i), *Sample(500, 10 + uint64_t(i)));
  QProcess children[2];
  for (int c = 0; c < 2; ++c) children[c].start(QStringLiteral(ZARN_ARCHIVE_CHILD), QStringList{location_} + files[c]);
  for (QProcess& child : children) {
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
  }
  EXPECT_EQ(archive->Imports()->size(), 6);
  EXPECT_EQ(archive->List()->size(), 3000);

  const QString big = WriteSample(QStringLiteral("big.zarn"), *Sample(2688, 20));
  auto* random = QRandomGenerator::global();
  for (int attempt = 0; attempt < 6; ++attempt) {
    QProcess child;
    child.start(QStringLiteral(ZARN_ARCHIVE_CHILD), {location_, big});
    ASSERT_TRUE(child.waitForStarted());
    QThread::msleep(random->bounded(50, 400));
    child.kill();
    child.waitForFinished(10000);
    const auto imports = archive->Imports();
    ASSERT_TRUE(Ok(imports));
    const auto check = archive->Check();
    ASSERT_TRUE(Ok(check));
    EXPECT_TRUE(check->ok()) << check->problems.join(u'\n').toStdString();
    for (const ImportEntry& e : *imports) {
      const auto bytes = archive->ImportFileBytes(e.id);
      ASSERT_TRUE(Ok(bytes));
      EXPECT_EQ(QCryptographicHash::hash(*bytes, QCryptographicHash::Sha256), e.sha256);
    }
    const qsizetype series = archive->List()->size();
    EXPECT_TRUE(series == 3000 || series == 3000 + 2688) << series;
  }
}

#ifndef ZARN_ARCHIVE_PG
// A full disk or a read-only one: the failure named, the archive as it was.
TEST_F(ArchiveTest, AFullOrReadOnlyDiskLeavesTheArchiveAsItWas) {
  const QString full = WriteSample(QStringLiteral("full.zarn"), *Sample(2688, 30));
  const QString small = WriteSample(QStringLiteral("small.zarn"), *Sample(20, 31));
  struct Case {
    const char* name;
    int kib;
    bool readOnly;
  };
  for (const Case& c : {Case{"full disk", 1536, false}, Case{"read-only disk", 4096, true}}) {
    SCOPED_TRACE(c.name);
    const QString folder = File(QString::fromLatin1(c.name));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString location = folder + QStringLiteral("/archive.sqlite");
    testing::SmallDisk disk(folder, c.kib, c.readOnly, [&] {
      auto archive = Archive::Open(location);
      ASSERT_TRUE(Ok(archive));
      ASSERT_TRUE(Ok((*archive)->ImportFile(small)));
    });
    if (!disk.Mounted()) GTEST_SKIP() << "no right to mount a small disk here";
    const QByteArray before = ReadAll(location);
    auto archive = Archive::Open(location);
    if (archive) {
      const auto failed = (*archive)->ImportFile(full);
      ASSERT_FALSE(failed);
      EXPECT_EQ(failed.error().kind, ArchiveErrorKind::Unusable);
      EXPECT_TRUE(failed.error().Text(kEnglish).contains(location)) << failed.error().Text(kEnglish).toStdString();
      EXPECT_EQ((*archive)->Imports()->size(), 1);
      EXPECT_TRUE((*archive)->Check()->ok());
    } else {
      EXPECT_TRUE(archive.error().Text(kEnglish).contains(location));
    }
    archive = ArchiveError{};
    if (c.readOnly) {
      EXPECT_TRUE(ReadAll(location) == before);
    }
  }
}
#endif

#ifndef ZARN_ARCHIVE_PG
TEST_F(ArchiveTest, CheckFindsARecordThatNoLongerMatchesItsIdentity) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  const auto outcome = archive->ImportRead(*Sample(50, 7), QStringLiteral("v1"));
  ASSERT_TRUE(Ok(outcome));
  EXPECT_TRUE(archive->Check()->ok());
  qint64 reported = 0;
  EXPECT_EQ(archive->Check([&](qint64 done, qint64) { reported = done; })->seriesChecked, 50);
  EXPECT_GT(reported, 50);
  // Other blows of the same length, as a zlib stream (qCompress without its length).
  const ProcessRecordBuffer head = archive->Series(3)->HeadRecord();
  const int blows = ProcessView(head.data()).shownBlowCount();
  ASSERT_GT(blows, 0);
  const QByteArray other = qCompress(QByteArray(int(kBlowRecordSize) * blows, '\1')).mid(4);
  archive.reset();
  ASSERT_TRUE(RawSql(location_, {QStringLiteral("UPDATE series_bodies SET body = x'%1' WHERE id = 3")
                                     .arg(QString::fromLatin1(other.toHex()))}));
  auto reopened = Archive::Open(location_);
  ASSERT_TRUE(Ok(reopened));
  const auto check = (*reopened)->Check();
  ASSERT_TRUE(Ok(check));
  ASSERT_EQ(check->problems.size(), 1);
  EXPECT_TRUE(check->problems.front().contains(QStringLiteral("series 3")));
  EXPECT_FALSE((*reopened)->ImportFileBytes(outcome->importId));
}
#endif

TEST_F(ArchiveTest, ASeriesSeenInAFileLearnsItsInstrumentFromARead) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  auto images = Sample(30, 8);
  const QString path = WriteSample(QStringLiteral("f.zarn"), *images);
  ASSERT_TRUE(Ok(archive->ImportFile(path, {QStringLiteral("lab-pc"), QStringLiteral("anna"),
                                            QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC)})));
  EXPECT_EQ(archive->List()->front().instrument, QStringLiteral("unknown"));
  ASSERT_TRUE(Ok(archive->ImportRead(*images, QStringLiteral("Zarn-2.6 v2"))));
  EXPECT_EQ(archive->List()->front().instrument, QStringLiteral("Zarn-2.6 v2"));
  const auto imports = archive->Imports();
  ASSERT_EQ(imports->size(), 2);
  const ImportEntry& file = imports->front();
  EXPECT_EQ(file.kind, ImportKind::File);
  EXPECT_EQ(file.fileName, path);
  EXPECT_EQ(file.host, QStringLiteral("lab-pc"));
  EXPECT_EQ(file.user, QStringLiteral("anna"));
  EXPECT_EQ(file.when, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
  EXPECT_EQ(file.instrument, QStringLiteral("unknown"));
  EXPECT_EQ(file.sha256, QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha256));
  EXPECT_EQ(file.size, kDataFileSize);
  EXPECT_EQ(imports->back().kind, ImportKind::Read);
  EXPECT_EQ(imports->back().sha256, file.sha256);
  EXPECT_FALSE(imports->back().user.isEmpty());
}

}  // namespace
}  // namespace zarn::test
