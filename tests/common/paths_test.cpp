#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "common/inifile.h"
#include "common/paths.h"

using namespace zarn;

namespace {
// applicationDirPath needs the application object.
QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "common_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}
}  // namespace

TEST(Paths, SettingsFollowXdgConfigHomeUnlessPortable) {
  App();
  ASSERT_FALSE(PortableMode());
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
  EXPECT_EQ(SettingsPath(), dir.path() + QStringLiteral("/zarn26/Zarn26.ini"));
  qputenv("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(SettingsPath(), QDir::homePath() + QStringLiteral("/.config/zarn26/Zarn26.ini"));
  qunsetenv("XDG_CONFIG_HOME");
}

TEST(Paths, StartingFolderFallsBackWhenTheRememberedOneIsGone) {
  App();
  QTemporaryDir dir;
  IniFile ini(dir.filePath(u"Zarn26.ini"_qs));
  EXPECT_EQ(StartingFolder(ini), DefaultDataFolder());
  ini.WriteString(u"Config", u"LastReadPath", dir.path());
  EXPECT_EQ(StartingFolder(ini), dir.path() + u'/');
  ini.WriteString(u"Config", u"LastReadPath", dir.path() + QStringLiteral("/gone/"));
  EXPECT_EQ(StartingFolder(ini), DefaultDataFolder());
  EXPECT_TRUE(DefaultDataFolder().endsWith(u'/'));
}

TEST(Paths, FolderOfEndsWithSlash) {
  EXPECT_EQ(FolderOf(u"/a/b/c.zarn"_qs), u"/a/b/");
  EXPECT_EQ(FolderOf(u"/c.zarn"_qs), u"/");
}
