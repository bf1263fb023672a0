// zarn26-cli writing where it cannot: under a file-size limit, on a full disk, into a
// folder or a missing one. The tool says why in the settings' or the chosen language,
// exits 1, and an OUT that was there keeps its bytes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "device_helpers.h"
#include "testing/files.h"
#include "testing/mounts.h"

namespace zarn {
namespace {

using testing::Child;
using testing::ReadAll;
using testing::Simulator;
using testing::WriteAll;

struct CliRun {
  int code = -1;
  QString err;
};

class CliWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(QDir().mkpath(Path(u"runtime/zarn26"_qs)) && QDir().mkpath(Path(u"config/zarn26"_qs)) &&
                QDir().mkpath(Path(u"out"_qs)));
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  void Language(const char* langId) {
    ASSERT_TRUE(WriteAll(Path(u"config/zarn26/Zarn26.ini"_qs), QByteArray("[Config]\r\nLangId=") + langId));
  }

  // zarn26-cli with `args`, through a shell that first applies `shellSetup` (a file-size
  // limit, a redirection); bounded.
  CliRun Cli(const QStringList& args, const QString& shellSetup = {}, const QString& redirect = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_RUNTIME_DIR"_qs, Path(u"runtime"_qs));
    env.insert(u"XDG_CONFIG_HOME"_qs, Path(u"config"_qs));
    // No libusb bus but the stand-in's empty one.
    env.insert(u"LD_LIBRARY_PATH"_qs, QStringLiteral(ZARN_USBSHIM_DIR));
    env.insert(u"ZARN_USBSHIM_BUS"_qs, Path(u"none.txt"_qs));
    Child cli;
    cli.Start(u"/bin/sh"_qs,
              QStringList{u"-c"_qs, shellSetup + u"; exec \"$0\" \"$@\""_qs + redirect,
                          QStringLiteral(ZARN_CLI_PATH)} + args,
              env);
    CliRun r;
    r.code = cli.Wait(60000);
    r.err = QString::fromUtf8(cli.Process().readAllStandardError());
    return r;
  }

  QTemporaryDir dir_;
};

TEST_F(CliWrite, ReadThatCannotWriteKeepsTheOldFileAndSaysWhy) {
  Simulator sim(Path(u"runtime/zarn26"_qs));
  ASSERT_FALSE(sim.Start({u"--name"_qs, u"sim"_qs, u"--processes"_qs, u"40"_qs}).isEmpty());
  ASSERT_TRUE(QDir().mkpath(Path(u"small"_qs)));
  const testing::SmallDisk small(Path(u"small"_qs), 1024);
  struct Case {
    const char* what;
    QString out;
    QString setup;
    const char* langId;
    QString says;
  };
  for (const Case& c : {
           Case{"a file-size limit", Path(u"out/a.zarn"_qs), u"ulimit -f 1024"_qs, "Eng",
                u"the file is larger than allowed"_qs},
           Case{"a full disk", Path(u"small/a.zarn"_qs), u":"_qs, "Rus", u"на диске нет свободного места"_qs},
       }) {
    SCOPED_TRACE(c.what);
    if (c.out.startsWith(Path(u"small"_qs)) && !small.Mounted()) {
      std::printf("skipped %s: no right to mount a file system here\n", c.what);
      continue;
    }
    Language(c.langId);
    ASSERT_TRUE(WriteAll(c.out, "an older file"));
    const CliRun r = Cli({u"read"_qs, c.out, u"--timeout"_qs, u"30"_qs}, c.setup);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"\""_qs + c.out + u"\": "_qs + c.says)) << r.err.toStdString();
    EXPECT_EQ(ReadAll(c.out), "an older file");
    EXPECT_EQ(QDir(QFileInfo(c.out).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }
  sim.Stop();
}

TEST_F(CliWrite, ReadRefusesAnOutputItCannotWriteBeforeReading) {
  Language("Eng");
  for (const auto& [out, says] : {std::pair{Path(u"out"_qs), u"a folder has that name"_qs},
                                  std::pair{Path(u"gone/a.zarn"_qs), u"the folder does not exist"_qs}}) {
    const CliRun r = Cli({u"read"_qs, out, u"--timeout"_qs, u"30"_qs}, u":"_qs);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(says)) << r.err.toStdString();
  }
}

TEST_F(CliWrite, ExportToAnOutputThatFillsUpFails) {
  const QString file = Path(u"sample.zarn"_qs);
  Child sample;
  sample.Start(QStringLiteral(ZARN_SIM_PATH), {u"--write-sample"_qs, file, u"--processes"_qs, u"200"_qs});
  ASSERT_EQ(sample.Wait(30000), 0);
  struct Case {
    QString setup, redirect, lang, says;
  };
  for (const Case& c : {Case{u":"_qs, u" > /dev/full"_qs, u"en"_qs,
                             u"cannot write \"stdout\": there is no free space on the disk"_qs},
                        Case{u"ulimit -f 1"_qs, u" > '"_qs + Path(u"out/series.txt"_qs) + u"'"_qs, u"ru"_qs,
                             u"не удалось записать \"stdout\": файл больше допустимого размера"_qs}}) {
    SCOPED_TRACE(c.redirect.toStdString());
    const CliRun r = Cli({u"export"_qs, file, u"--lang"_qs, c.lang, u"series"_qs}, c.setup, c.redirect);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
  }
}

}  // namespace
}  // namespace zarn
