#include <gtest/gtest.h>

#include "testing/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <sys/stat.h>

#include "common/paths.h"
#include "common/programsettings.h"
#include "common/texts.h"

using namespace zarn;
using namespace Qt::StringLiterals;
using zarn::testing::ReadAll;
using zarn::testing::WriteAll;

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "common_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

struct Dir {
  QTemporaryDir tmp;
  QString Ini() const { return tmp.filePath(QStringLiteral("Zarn26.ini")); }
};

}  // namespace

// What each stored text means, as the window and the tools read it.
TEST(ProgramSettings, StoredTextsReadAsTypedValues) {
  App();
  struct Case {
    const char* file;
    std::optional<int> language;
    StrengthUnit unit;
    StoredWindow window;
    bool keep;
  };
  const StoredWindow none;
  const Case cases[] = {
      {"", std::nullopt, StrengthUnit::MPa, none, true},
      {"[Config]\r\nLangId=\r\nDimension=\r\n", std::nullopt, StrengthUnit::Kgf, none, true},
      {"[config]\nlangid=Rus\ndimension=MPa\n", kRussian, StrengthUnit::MPa, none, true},
      {"[Config]\nLangId=rus\nDimension=mpa\n", kEnglish, StrengthUnit::Kgf, none, true},
      {"[Config]\nLangId=Eng\nDimension=kg/sm2\n[Archive]\nKeep=0\n", kEnglish, StrengthUnit::Kgf, none, false},
      {"[Archive]\nKeep= Off \n", std::nullopt, StrengthUnit::MPa, none, false},
      {"[Archive]\nKeep=yes\n", std::nullopt, StrengthUnit::MPa, none, true},
      // Numbers: at most nine characters count, anything but digits is no number.
      {"[FormMain]\nWidth=640\nHeight=4x0\nTable1Width=12345678901\nLeft=-20\nTop=\nMaximized=10\n",
       std::nullopt, StrengthUnit::MPa, {640, std::nullopt, 123456789, -20, std::nullopt, true}, true},
      {"[FormMain]\nMaximized=01\n", std::nullopt, StrengthUnit::MPa, none, true},
  };
  for (const Case& c : cases) {
    Dir dir;
    ASSERT_TRUE(WriteAll(dir.Ini(), c.file));
    const ProgramSettings s(dir.Ini());
    SCOPED_TRACE(c.file);
    EXPECT_EQ(s.Language(), c.language);
    EXPECT_EQ(s.LanguageOrDefault(), c.language.value_or(kRussian));
    EXPECT_EQ(s.Unit(), c.unit);
    const StoredWindow w = s.Window();
    EXPECT_EQ(w.width, c.window.width);
    EXPECT_EQ(w.height, c.window.height);
    EXPECT_EQ(w.table1Width, c.window.table1Width);
    EXPECT_EQ(w.left, c.window.left);
    EXPECT_EQ(w.top, c.window.top);
    EXPECT_EQ(w.maximized, c.window.maximized);
    EXPECT_EQ(s.ArchiveKeep(), c.keep);
  }
}

// Every setter changes its own lines and nothing else; a value already stored writes
// no file at all.
TEST(ProgramSettings, WritesChangeOnlyTheirLines) {
  App();
  Dir dir;
  const QByteArray windows = "; Настройки\r\n[Config]\r\nLangId=Rus\r\nUses=41\r\nDimension=MPa\r\n"
                             "[FormMain]\r\nWidth=640\r\nLeft=7\r\n[RecentFiles]\r\nFile1=/a.zarn\r\n"
                             "File2=/b.zarn\r\nFile3=/c.zarn\r\n";
  ASSERT_TRUE(WriteAll(dir.Ini(), windows));
  ProgramSettings s(dir.Ini());
  const struct {
    std::function<FileWriteResult()> write;
    QByteArray expected;  // empty: the file stays as it was
  } steps[] = {
      {[&] { return s.SetLanguage(kRussian); }, {}},
      {[&] { return s.SetUnit(StrengthUnit::MPa); }, {}},
      {[&] { return s.SetRecentFiles({u"/a.zarn"_s, u"/b.zarn"_s, u"/c.zarn"_s}); }, {}},
      {[&] { return s.SetLanguage(kEnglish); }, "LangId=Eng"},
      {[&] { return s.SetUnit(StrengthUnit::Kgf); }, "Dimension=kg/sm2"},
      {[&] { return s.CountLaunch(); }, "Uses=42"},
      {[&] { return s.SetWindow(true, QRect(1, 2, 3, 4), 5); }, "[FormMain]\r\nWidth=640\r\nLeft=7\r\nMaximized=1\r\n"},
      {[&] { return s.SetWindow(false, QRect(1, 2, 800, 600), 300); },
       "[FormMain]\r\nWidth=800\r\nLeft=1\r\nMaximized=0\r\nTop=2\r\nHeight=600\r\nTable1Width=300\r\n"},
      // Keys beyond the list are emptied where they exist, never added.
      {[&] { return s.SetRecentFiles({u"/новый.zarn"_s}); }, "File1=/новый.zarn\r\nFile2=\r\nFile3=\r\n"},
      {[&] { return s.RememberFolderOf(u"/data/x.zarn"_s); }, "LastReadPath=/data/\r\n"},
      {[&] { return s.SetArchiveKeep(false); }, "[Archive]\r\nKeep=0\r\n"},
      {[&] { return s.SetArchiveDatabase(u"postgresql://lab:secret@db/zarn"_s); }, "Database=postgresql://lab@db/zarn\r\n"},
  };
  for (const auto& step : steps) {
    const QByteArray before = ReadAll(dir.Ini());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.Ini()).constData(), &st), 0);
    EXPECT_TRUE(step.write());
    const QByteArray after = ReadAll(dir.Ini());
    if (step.expected.isEmpty()) {
      struct stat again {};
      ::stat(QFile::encodeName(dir.Ini()).constData(), &again);
      EXPECT_EQ(again.st_ino, st.st_ino) << "rewritten: " << after.toStdString();
      EXPECT_EQ(after, before);
    } else {
      EXPECT_TRUE(after.contains(step.expected)) << after.toStdString();
    }
    EXPECT_TRUE(after.startsWith("; Настройки\r\n[Config]\r\n"));
  }
  EXPECT_EQ(s.Language(), kEnglish);
  EXPECT_EQ(s.RecentFiles(), (QStringList{u"/новый.zarn"_s, {}, {}, {}, {}, {}, {}, {}}));
  EXPECT_EQ(s.LastReadPath(), u"/data/");
  EXPECT_EQ(s.ArchiveDatabase(), u"postgresql://lab@db/zarn");
  EXPECT_FALSE(s.ArchiveKeep());
}

// A file that cannot be kept is never written over; every failed write reaches the
// reporter with its reason, a successful one does not.
TEST(ProgramSettings, FailedWritesReachTheReporterAndChangeNothing) {
  App();
  Dir dir;
  ASSERT_TRUE(QDir().mkpath(dir.Ini()));  // a folder in the file's place
  std::vector<FileWriteResult> told;
  ProgramSettings s(dir.Ini(), [&told](const FileWriteResult& r) { told.push_back(r); });
  EXPECT_EQ(s.Language(), std::nullopt);
  EXPECT_EQ(s.ArchiveLocation(), DefaultArchivePath());
  EXPECT_FALSE(s.SetLanguage(kEnglish));
  EXPECT_FALSE(s.CountLaunch());
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].error, EISDIR);
  EXPECT_EQ(told[0].path, dir.Ini());
  EXPECT_TRUE(QFileInfo(dir.Ini()).isDir());

  Dir good;
  ProgramSettings fine(good.Ini(), [&told](const FileWriteResult& r) { told.push_back(r); });
  EXPECT_TRUE(fine.SetUnit(StrengthUnit::Kgf));
  EXPECT_EQ(told.size(), 2u);
  EXPECT_EQ(ReadAll(good.Ini()), "[Config]\r\nDimension=kg/sm2\r\n");
}

TEST(ProgramSettings, ArchiveAddressesAreStoredWithoutPassword) {
  const struct {
    QString given, stored;
  } cases[] = {
      {u"/home/u/lab.sqlite"_s, u"/home/u/lab.sqlite"_s},
      {u"postgresql://db.lab/zarn"_s, u"postgresql://db.lab/zarn"_s},
      {u"postgresql://lab:s3cr@t@db.lab:5433/zarn?sslmode=require"_s, u"postgresql://lab@db.lab:5433/zarn?sslmode=require"_s},
      {u"postgres://lab:pw@db"_s, u"postgres://lab@db"_s},
      {u"POSTGRESQL://:pw@db/z"_s, u"POSTGRESQL://@db/z"_s},
      {u"postgresql://db/z?password=pw"_s, u"postgresql://db/z"_s},
      {u"postgresql://db/z?sslmode=require&Password=pw&application_name=a"_s,
       u"postgresql://db/z?sslmode=require&application_name=a"_s},
      {u"postgresql://h1:5432,h2:5433/z?passwordless=1"_s, u"postgresql://h1:5432,h2:5433/z?passwordless=1"_s},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutPassword(c.given), c.stored) << c.given.toStdString();
}

TEST(Paths, ArchiveAndPendingFollowXdgDataHomeUnlessPortable) {
  App();
  ASSERT_FALSE(PortableMode());
  QTemporaryDir dir;
  qputenv("XDG_DATA_HOME", dir.path().toUtf8());
  EXPECT_EQ(DefaultArchivePath(), dir.path() + u"/zarn26/archive.sqlite"_s);
  EXPECT_EQ(PendingFolder(), dir.path() + u"/zarn26/pending/"_s);
  qputenv("XDG_DATA_HOME", "relative/ignored");
  EXPECT_EQ(DefaultArchivePath(), QDir::homePath() + u"/.local/share/zarn26/archive.sqlite"_s);
  qunsetenv("XDG_DATA_HOME");
  EXPECT_EQ(PendingFolder(), QDir::homePath() + u"/.local/share/zarn26/pending/"_s);
  EXPECT_EQ(ProgramSettings(dir.path() + u"/none.ini"_s).ArchiveLocation(), DefaultArchivePath());
}
