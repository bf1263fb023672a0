// zarn26-cli archive run as a program on real SQLite files in temporary folders: what
// goes in comes back (the same table 1 texts as export series, the same data file byte
// for byte), a series is kept once, the filters take every character as itself, and an archive
// that cannot be used ends with exit 8 and is left as it was.

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "data/presenters.h"
#include "samplegen.h"
#include "testdata.h"
#include "testing/files.h"
#include "testing/clirun.h"

using zarn::testing::CliRun;

using namespace zarn;
using namespace zarn::test;
using namespace Qt::StringLiterals;

namespace {

// The four series the tests keep: names with the characters a query language treats
// as its own, Cyrillic in both cases, days spread over three months of 2024.
struct Series {
  QString material, object;
  uint8_t day, month;
  float strength;
};
const Series kSeries[] = {
    {u"Бетон"_s, u"Мост"_s, 3, 5, 25.5f},
    {u"Раствор 50%"_s, u"Дом"_s, 17, 5, 20.0f},
    {u"Раствор 5_0"_s, u"Дом"_s, 1, 6, 30.0f},
    {u"Кирпич \"М\""_s, u"дом\\'a'"_s, 10, 7, 40.0f},
};

ProcessRecordBuffer Record(int i) {
  TestProcess t;
  const Series& s = kSeries[i];
  t.number = 101 + uint32_t(i);
  t.material = s.material;
  t.object = s.object;
  t.day = s.day;
  t.month = s.month;
  t.year = 24;
  t.strength = s.strength;
  t.blows[0].firstSample = int8_t(i);
  return Encode(t);
}

QList<QStringList> ParseTsv(const QByteArray& bytes) {
  QList<QStringList> rows;
  QStringList lines = QString::fromUtf8(bytes).split(u"\r\n"_s);
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  for (const QString& l : lines) rows.append(l.split(u'\t'));
  return rows;
}

class CliArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QDir(dir_.path()).mkpath(u"config/zarn26"_s);
    db_ = dir_.filePath(u"lab.sqlite"_s);
    a_ = File(u"a.zarn"_s, {0, 1, 2});
    b_ = File(u"b.zarn"_s, {1, 2, 3});
  }

  // A data file of the series given, in that order.
  QString File(const QString& name, std::initializer_list<int> series) {
    auto images = std::make_unique<DeviceImages>();
    std::vector<ProcessRecordBuffer> records;
    for (int i : series) records.push_back(Record(i));
    PlaceProcesses(*images, records);
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(WriteBytes(path, DataFileBytes(*images)));
    return path;
  }

  CliRun Cli(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, dir_.path());
    env.insert(u"XDG_CONFIG_HOME"_s, dir_.filePath(u"config"_s));
    env.insert(u"XDG_DATA_HOME"_s, dir_.filePath(u"data"_s));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZARN_CLI), args);
    return zarn::testing::FinishCli(p, 60000);
  }
  // zarn26-cli archive --db lab.sqlite ARGS --lang en
  CliRun Archive(const QStringList& args) {
    return Cli(QStringList{u"archive"_s, u"--db"_s, db_} + args + QStringList{u"--lang"_s, u"en"_s});
  }
  void ImportBoth() {
    ASSERT_EQ(Archive({u"import"_s, a_, b_}).code, 0);
  }

  // The series numbers `list --format json` selects with `filters`, in its order.
  std::vector<int> Selected(const QStringList& filters) {
    const CliRun r = Archive(QStringList{u"list"_s, u"--format"_s, u"json"_s} + filters);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    std::vector<int> numbers;
    for (const QJsonValue v : QJsonDocument::fromJson(r.out)[u"series"_s].toArray())
      numbers.push_back(v[u"number"_s].toInt());
    return numbers;
  }

  QTemporaryDir dir_;
  QString db_, a_, b_;
};

}  // namespace

TEST_F(CliArchive, ImportKeepsEachSeriesOnceAndListShowsTableOneOfExportSeries) {
  CliRun r = Archive({u"import"_s, a_, b_});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(r.out), a_ + u": 3 series, 3 new, 0 already kept\n"_s + b_ +
                                          u": 3 series, 1 new, 2 already kept\n"_s);
  r = Archive({u"import"_s, a_});
  EXPECT_EQ(QString::fromUtf8(r.out), a_ + u": 3 series, 0 new, 3 already kept\n"_s);
  r = Cli({u"archive"_s, u"--db"_s, db_, u"import"_s, b_});  // the settings' language: Russian
  EXPECT_EQ(QString::fromUtf8(r.out), b_ + u": серий 3, новых 0, уже в архиве 3\n"_s);

  // Table 1 as export series prints it for the four in the instrument's time order,
  // then Instrument, Note and Id; in both languages and units, TSV and CSV.
  const QString all = File(u"all.zarn"_s, {0, 1, 2, 3});
  for (const QString& lang : {u"ru"_s, u"en"_s}) {
    for (const QString& unit : {u"mpa"_s, u"kgf"_s}) {
      SCOPED_TRACE((lang + u' ' + unit).toStdString());
      const QStringList options{u"--lang"_s, lang, u"--unit"_s, unit};
      const QList<QStringList> table = ParseTsv(Cli(QStringList{u"export"_s, all, u"series"_s} + options).out);
      const QList<QStringList> list =
          ParseTsv(Cli(QStringList{u"archive"_s, u"--db"_s, db_, u"list"_s} + options).out);
      ASSERT_EQ(list.size(), 6);
      for (qsizetype row = 0; row < list.size(); ++row) {
        ASSERT_EQ(list[row].size(), 12);
        EXPECT_EQ(list[row].mid(0, 9), table[row]);
      }
      EXPECT_EQ(list[0].mid(9), lang == u"en" ? QStringList({u"Instrument"_s, u"Note"_s, u"Id"_s})
                                              : QStringList({u"Прибор"_s, u"Примечание"_s, u"Код"_s}));
      EXPECT_EQ(list[1].mid(9), QStringList({{}, {}, {}}));
      EXPECT_EQ(list[2].mid(9, 2), QStringList({u"unknown"_s, {}}));
    }
  }
  // CSV in the spreadsheet notation of the language, numbers unquoted, Id a number.
  r = Archive({u"list"_s, u"--format"_s, u"csv"_s, u"--object"_s, u"Мост"_s});
  EXPECT_TRUE(r.out.startsWith("\xEF\xBB\xBF")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("\r\n101,03.05.24,14:05:09,25.5,Бетон,Мост,12.3,12,3,unknown,,1\r\n"))
      << r.out.toStdString();
  // JSON: the raw values, the id, the instrument, the note and the imports that carried it.
  ASSERT_EQ(Archive({u"note"_s, u"2"_s, u"\"кавычки\" и \\"_s}).code, 0);
  const QJsonObject second =
      QJsonDocument::fromJson(Archive({u"list"_s, u"--format"_s, u"json"_s}).out)[u"series"_s][1].toObject();
  EXPECT_EQ(second[u"id"_s].toInt(), 2);
  EXPECT_EQ(second[u"number"_s].toInt(), 102);
  EXPECT_EQ(second[u"material"_s].toString(), u"Раствор 50%");
  EXPECT_EQ(second[u"strengthMPa"_s].toDouble(), 20.0);
  EXPECT_EQ(second[u"a1"_s].toDouble(), 1.09);
  EXPECT_EQ(second[u"instrument"_s].toString(), u"unknown");
  EXPECT_EQ(second[u"note"_s].toString(), u"\"кавычки\" и \\");
  EXPECT_EQ(second[u"imports"_s].toArray(), QJsonArray({1, 2, 3, 4}));  // every import carried it
}

TEST_F(CliArchive, EveryFilterOptionReachesTheQuery) {
  ImportBoth();
  ASSERT_EQ(Archive({u"note"_s, u"2"_s, u"Трещина 10%_у опоры"_s}).code, 0);
  ASSERT_EQ(Archive({u"note"_s, u"3"_s, u"трещин нет"_s}).code, 0);
  const struct {
    QStringList filters;
    std::vector<int> numbers;
  } cases[] = {
      // Each option reaches the archive's filter; what counts as a match (a part of
      // the text, in any case, every character as itself) is the library's own test.
      {{}, {101, 102, 103, 104}},
      {{u"--material"_s, u"5_"_s}, {103}},
      {{u"--object"_s, u"\\'A"_s}, {104}},
      {{u"--object"_s, u"ДОМ"_s, u"--material"_s, u"раствор"_s}, {102, 103}},
      {{u"--from"_s, u"2024-05-18"_s, u"--to"_s, u"2024-06-30"_s}, {103}},
      {{u"--instrument"_s, u"unknown"_s}, {101, 102, 103, 104}},
      {{u"--note"_s, u"ТРЕЩ"_s}, {102, 103}},
      {{u"--note"_s, u"%_"_s}, {102}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filters.join(u' ').toStdString());
    EXPECT_EQ(Selected(c.filters), c.numbers);
  }
  // A cleared note no longer matches.
  ASSERT_EQ(Archive({u"note"_s, u"3"_s, u""_s}).code, 0);
  EXPECT_EQ(Selected({u"--note"_s, u"трещ"_s}), std::vector<int>{102});
}

TEST_F(CliArchive, SummaryGivesTheFiguresOfEachGroup) {
  ImportBoth();
  const struct {
    QStringList args;
    QList<QStringList> rows;  // below the two heading rows
  } cases[] = {
      {{u"--by"_s, u"object"_s},
       {{u"Дом"_s, u"2"_s, u"25"_s, u"20"_s, u"30"_s, u"7,1"_s, u"28,3"_s, u"2024-05-17"_s, u"2024-06-01"_s},
        {u"Мост"_s, u"1"_s, u"25,5"_s, u"25,5"_s, u"25,5"_s, u"0"_s, u"0"_s, u"2024-05-03"_s, u"2024-05-03"_s},
        {u"дом\\'a'"_s, u"1"_s, u"40"_s, u"40"_s, u"40"_s, u"0"_s, u"0"_s, u"2024-07-10"_s, u"2024-07-10"_s}}},
      {{u"--by"_s, u"month"_s, u"--unit"_s, u"kgf"_s, u"--to"_s, u"2024-06-30"_s},
       {{u"2024-05"_s, u"2"_s, u"232"_s, u"204"_s, u"260"_s, u"40"_s, u"17,1"_s, u"2024-05-03"_s, u"2024-05-17"_s},
        {u"2024-06"_s, u"1"_s, u"306"_s, u"306"_s, u"306"_s, u"0"_s, u"0"_s, u"2024-06-01"_s, u"2024-06-01"_s}}},
      {{u"--by"_s, u"day"_s, u"--object"_s, u"none"_s}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(u' ').toStdString());
    const CliRun r = Archive(QStringList{u"summary"_s} + c.args);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QList<QStringList> rows = ParseTsv(r.out);
    ASSERT_EQ(rows.size(), 2 + c.rows.size());
    EXPECT_EQ(rows[0][1], u"Series");
    EXPECT_EQ(rows.mid(2), c.rows);
  }
  // JSON keeps MPa whatever the unit.
  const QJsonValue group = QJsonDocument::fromJson(
      Archive({u"summary"_s, u"--by"_s, u"object"_s, u"--format"_s, u"json"_s, u"--unit"_s, u"kgf"_s}).out)[u"groups"_s][0];
  EXPECT_EQ(group[u"key"_s].toString() + u' ' + QString::number(group[u"series"_s].toInt()), u"Дом 2");
  EXPECT_DOUBLE_EQ(group[u"meanMPa"_s].toDouble(), 25.0);
  EXPECT_NEAR(group[u"deviationMPa"_s].toDouble(), 7.0710678, 1e-6);
}

TEST_F(CliArchive, ExportAndImportFileGiveDataFilesBack) {
  ImportBoth();
  // The selection as a data file every tool opens: its table 1 is list's.
  const QString out = dir_.filePath(u"out.zarn"_s);
  CliRun r = Archive({u"export"_s, u"--object"_s, u"Дом"_s, u"-o"_s, out});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  const QList<QStringList> table = ParseTsv(Cli({u"export"_s, out, u"series"_s}).out);
  const QList<QStringList> list = ParseTsv(Archive({u"list"_s, u"--object"_s, u"Дом"_s, u"--lang"_s, u"ru"_s}).out);
  ASSERT_EQ(table.size(), 5);  // Дом, Дом and дом\'a'
  ASSERT_EQ(list.size(), 5);
  for (qsizetype row = 2; row < 5; ++row) EXPECT_EQ(list[row].mid(0, 9), table[row]);

  // Nothing selected: nothing written.
  const QString none = dir_.filePath(u"none.zarn"_s);
  r = Archive({u"export"_s, u"--object"_s, u"none"_s, u"-o"_s, none});
  EXPECT_EQ(r.code, 4);
  EXPECT_FALSE(QFile::exists(none));

  // Every import, and each one's data file byte for byte.
  r = Archive({u"imports"_s});
  ASSERT_EQ(r.code, 0);
  const QList<QStringList> imports = ParseTsv(r.out);
  ASSERT_EQ(imports.size(), 3);
  EXPECT_EQ(imports[0], QStringList({u"Id"_s, u"Time (UTC)"_s, u"Kind"_s, u"Source"_s, u"SHA-256"_s, u"Series"_s, u"New"_s}));
  const QString files[] = {a_, b_};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const QByteArray bytes = zarn::testing::ReadAll(files[i]);
    const QStringList& row = imports[i + 1];
    EXPECT_EQ(row[0], QString::number(i + 1));
    EXPECT_EQ(row[2], u"file");
    EXPECT_EQ(row[3], files[i]);
    EXPECT_EQ(row[4], QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(row.mid(5), i == 0 ? QStringList({u"3"_s, u"3"_s}) : QStringList({u"3"_s, u"1"_s}));
    const QString back = dir_.filePath(u"back.zarn"_s);
    EXPECT_EQ(Archive({u"import-file"_s, QString::number(i + 1), u"-o"_s, back}).code, 0);
    EXPECT_EQ(zarn::testing::ReadAll(back), bytes);
  }
  EXPECT_EQ(Archive({u"import-file"_s, u"3"_s, u"-o"_s, dir_.filePath(u"x.zarn"_s)}).code, 4);
  EXPECT_EQ(Archive({u"note"_s, u"99"_s, u"x"_s}).code, 4);
  r = Archive({u"check"_s});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.err.contains("4 series checked")) << r.err.toStdString();
}

TEST_F(CliArchive, SelectionLargerThanADataFileWritesNothing) {
  for (int seed = 1; seed <= 2; ++seed) {
    auto images = std::make_unique<DeviceImages>();
    zarn::sim::GenerateSample(*images, 2000, uint64_t(seed));
    ASSERT_TRUE(WriteBytes(dir_.filePath(u"big%1.zarn"_s.arg(seed)), DataFileBytes(*images)));
  }
  ASSERT_EQ(Archive({u"import"_s, dir_.filePath(u"big1.zarn"_s), dir_.filePath(u"big2.zarn"_s)}).code, 0);
  const QString out = dir_.filePath(u"all.zarn"_s);
  const CliRun r = Archive({u"export"_s, u"-o"_s, out});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("4000")) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(out));
}

TEST_F(CliArchive, AnArchiveThatCannotBeUsedEndsWithExitEightAndStaysAsItWas) {
  const QString text = dir_.filePath(u"notes.txt"_s);
  ASSERT_TRUE(zarn::testing::WriteAll(text, "not an archive\n"));
  const QString damaged = dir_.filePath(u"damaged.zarn"_s);
  ASSERT_TRUE(zarn::testing::WriteAll(damaged, zarn::testing::ReadAll(a_).left(5000)));
  const QString missing = dir_.filePath(u"missing.sqlite"_s);
  const struct {
    QString db;
    QStringList args;
  } cases[] = {
      {text, {u"list"_s}},
      {text, {u"import"_s, a_}},
      {missing, {u"list"_s}},            // a query creates no archive
      {missing, {u"check"_s}},
      {dir_.path(), {u"import"_s, a_}},  // a folder
      {u"postgresql://127.0.0.1:1/none"_s, {u"list"_s}},  // no server there
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.db + u' ' + c.args.join(u' ')).toStdString());
    QElapsedTimer clock;
    clock.start();
    const CliRun r = Cli(QStringList{u"archive"_s, u"--db"_s, c.db} + c.args);
    EXPECT_EQ(r.code, 8) << r.err.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith("zarn26-cli archive ")) << r.err.toStdString();
  }
  EXPECT_EQ(zarn::testing::ReadAll(text), "not an archive\n");
  EXPECT_FALSE(QFile::exists(missing));

  // A damaged data file is told (exit 3); the others still go in.
  CliRun r = Archive({u"import"_s, damaged, b_});
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(QString::fromUtf8(r.out), b_ + u": 3 series, 3 new, 0 already kept\n"_s);
  EXPECT_FALSE(r.err.isEmpty());
}

TEST_F(CliArchive, TheSettingsNameTheArchiveAndDbOverridesThem) {
  const QString ini = dir_.filePath(u"config/zarn26/Zarn26.ini"_s), kept = dir_.filePath(u"kept.sqlite"_s);
  ASSERT_TRUE(WriteBytes(ini, "[Archive]\r\nDatabase=" + kept.toUtf8() + "\r\n"));
  EXPECT_EQ(Cli({u"archive"_s, u"import"_s, a_}).code, 0);
  EXPECT_EQ(Cli({u"archive"_s, u"import"_s, u"--db"_s, db_, b_}).code, 0);  // after the action too
  EXPECT_EQ(ParseTsv(Cli({u"archive"_s, u"list"_s}).out).size(), 2 + 3);
  EXPECT_EQ(ParseTsv(Cli({u"archive"_s, u"--db"_s, db_, u"list"_s}).out).size(), 2 + 3);
  ASSERT_TRUE(WriteBytes(ini, ""));  // none named: the data folder's
  EXPECT_EQ(Cli({u"archive"_s, u"import"_s, a_}).code, 0);
  EXPECT_TRUE(QFile::exists(dir_.filePath(u"data/zarn26/archive.sqlite"_s)));
}
