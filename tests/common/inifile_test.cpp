#include <gtest/gtest.h>

#include "testing/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/inifile.h"

using namespace zarn;
using zarn::testing::ReadAll;
using zarn::testing::WriteAll;

namespace {

ino_t Inode(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

TEST(IniDocument, ReadsLikeThePrivateProfileFunctions) {
  auto doc = IniDocument::FromBytes(
      "; comment\n[Config]\r\nLangId = Rus \r\n  dimension=kg/sm2\nQuoted=\"a b\"\n"
      "Half=\"x\nEmpty=\n[FormMain]\rWidth=640\r[config]\nLangId=Eng\n");
  EXPECT_EQ(doc.Read(u"config", u"langid"), u"Rus");  // first section wins
  EXPECT_EQ(doc.Read(u"CONFIG", u"Dimension"), u"kg/sm2");
  EXPECT_EQ(doc.Read(u"Config", u"Quoted"), u"a b");
  EXPECT_EQ(doc.Read(u"Config", u"Half"), u"\"x");
  EXPECT_EQ(doc.Read(u"Config", u"Empty", u"def"), u"");
  EXPECT_EQ(doc.Read(u"Config", u"Missing", u"def"), u"def");
  EXPECT_EQ(doc.Read(u"FormMain", u"Width"), u"640");
  EXPECT_EQ(doc.Read(u"Config", u"Dimension", {}, 3), u"kg/");
  EXPECT_EQ(doc.Read(u"Nowhere", u"Width", u"500"), u"500");
}

TEST(IniDocument, WritesInPlaceAtSectionEndOrAsNewSection) {
  auto doc = IniDocument::FromBytes("; keep me\n[A]\nx=1\ny=2\n\n[B]\nz=3\n");
  doc.Write(u"a", u"Y", u"20");     // replaced where it stands
  doc.Write(u"A", u"w", u"4");      // after the last key of [A], before the blank line
  doc.Write(u"C", u"v", u"5");      // new section at the end
  EXPECT_EQ(doc.ToText(),
            u"; keep me\r\n[A]\r\nx=1\r\nY=20\r\nw=4\r\n\r\n[B]\r\nz=3\r\n[C]\r\nv=5\r\n");
}

TEST(IniDocument, WritesCodePage1251AndReadsBothEncodings) {
  IniDocument doc;
  doc.Write(u"Mt000", u"Name", u"Бетон");
  // Parameter files are code page 1251; a new settings file is UTF-8.
  const QByteArray bytes = doc.ToBytes(IniCharset::Cp1251);
  EXPECT_EQ(bytes, QByteArray("[Mt000]\r\nName=\xC1\xE5\xF2\xEE\xED\r\n"));
  EXPECT_EQ(doc.ToBytes(), QByteArray("[Mt000]\r\nName=Бетон\r\n"));
  EXPECT_EQ(IniDocument::FromBytes(bytes).Read(u"Mt000", u"Name"), u"Бетон");
  EXPECT_EQ(IniDocument::FromBytes("[Mt000]\nName=Бетон\n").Read(u"Mt000", u"Name"), u"Бетон");
  EXPECT_EQ(IniDocument::FromBytes("\xEF\xBB\xBF[Mt000]\nName=Бетон\n").Read(u"Mt000", u"Name"),
            u"Бетон");
}

TEST(IniFile, RewritesAtomicallyAndKeepsOtherLines) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"sub/Zarn26.ini"_qs);
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString(u"Config", u"Uses", u"0"), u"0");  // no file yet
  ASSERT_TRUE(ini.WriteString(u"Config", u"Uses", u"1"));       // creates folder and file
  ASSERT_TRUE(WriteAll(path, ReadAll(path) + "[Other]\nkeep=yes\n"));
  ASSERT_TRUE(ini.WriteString(u"Config", u"Uses", u"2"));
  EXPECT_EQ(ReadAll(path), QByteArray("[Config]\r\nUses=2\r\n[Other]\nkeep=yes\n"));
  EXPECT_EQ(QDir(dir.filePath(u"sub"_qs)).entryList(QDir::Files), QStringList{u"Zarn26.ini"_qs});
}

TEST(IniFile, FailedWritesLoseNothing) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"Zarn26.ini"_qs);
  ASSERT_TRUE(WriteAll(path, "[Config]\nUses=7\n"));
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
  IniFile ini(path);
  const bool wrote = ini.WriteString(u"Config", u"Uses", u"8");
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  if (wrote) GTEST_SKIP() << "running with rights that ignore folder permissions";
  EXPECT_EQ(ReadAll(path), QByteArray("[Config]\nUses=7\n"));
}

TEST(IniFile, UnreadableExistingFileIsNotOverwritten) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"Zarn26.ini"_qs);
  ASSERT_TRUE(WriteAll(path, "[Config]\nUses=7\n"));
  QFile::setPermissions(path, QFile::WriteOwner);
  IniFile ini(path);
  if (QFile(path).open(QIODevice::ReadOnly)) GTEST_SKIP() << "running with rights that ignore file permissions";
  EXPECT_FALSE(ini.WriteString(u"Config", u"Uses", u"8"));
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_EQ(ReadAll(path), QByteArray("[Config]\nUses=7\n"));
}

// The settings file of the Windows program: code page 1251, CRLF, comments, keys this
// program does not know, a key spelled with blanks, mixed line ends and no line end
// after the last line.
const QByteArray kWindowsSettings =
    "; \xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8\r\n[Config]\r\nLangId=Rus\r\nUses = 41\r\n"
    "LastReadPath=C:\\\xC4\xE0\xED\xED\xFB\xE5\\\r\nMyKey=\xDF\r\n\r\n[FormMain]\nWidth=640\rTop=7";

TEST(IniFile, UnchangedLinesAreWrittenBackByteForByte) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"Zarn26.ini"_qs);
  ASSERT_TRUE(WriteAll(path, kWindowsSettings));
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString(u"Config", u"LastReadPath"), u"C:\\Данные\\");
  EXPECT_EQ(ini.ReadString(u"Config", u"Uses"), u"41");

  // Writing what a key already holds writes nothing at all.
  const ino_t inode = Inode(path);
  ASSERT_TRUE(ini.WriteString(u"config", u"USES", u"41"));
  ASSERT_TRUE(ini.WriteString(u"Config", u"LangId", u"Rus"));
  EXPECT_EQ(Inode(path), inode);

  // One changed key changes its line only; a new one ends like the file's lines.
  ASSERT_TRUE(ini.WriteString(u"Config", u"Uses", u"42"));
  ASSERT_TRUE(ini.WriteString(u"FormMain", u"Height", u"480"));
  QByteArray expected = kWindowsSettings;
  expected.replace("Uses = 41", "Uses=42");
  expected.replace("Top=7", "Top=7\r\nHeight=480\r\n");
  EXPECT_EQ(ReadAll(path), expected);
}

TEST(IniFile, EveryValueRoundTripsWhateverTheFileIsWrittenIn) {
  // What each kind of file holds before, and how it is written once the value is in.
  struct File {
    const char* kind;
    QByteArray before;
  };
  const QByteArray utf16 = QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(
      u"[Config]\r\nLangId=Eng\r\n"), 44);
  const File files[] = {{"none", {}},
                        {"cp1251", kWindowsSettings},
                        {"utf-8", "[Config]\nMyKey=Ключ\n"},
                        {"utf-8 bom", "\xEF\xBB\xBF[Config]\nMyKey=Ключ\n"},
                        {"utf-16", utf16}};
  const QString values[] = {u"/home/user/data/"_qs, u"/home/иван/Данные/"_qs,
                            u"/home/user/Données/"_qs, u"/home/用户/数据/"_qs,
                            u"/media/u/📁 Zarn ☃/"_qs};
  QTemporaryDir dir;
  for (const File& f : files) {
    for (const QString& value : values) {
      SCOPED_TRACE(std::string(f.kind) + " " + value.toStdString());
      const QString path = dir.filePath(u"Zarn26.ini"_qs);
      QFile::remove(path);
      if (!f.before.isNull()) {
        ASSERT_TRUE(WriteAll(path, f.before));
      }
      const std::optional<IniDocument> before = IniFile(path).Load();
      ASSERT_TRUE(before);
      IniFile ini(path);
      ASSERT_TRUE(ini.WriteString(u"Config", u"LastReadPath", value));
      const QByteArray bytes = ReadAll(path);
      const IniDocument after = IniDocument::FromBytes(bytes);
      EXPECT_EQ(after.Read(u"Config", u"LastReadPath"), value);
      // Every other line reads as it did.
      QStringList others = after.Lines();
      others.removeIf([](const QString& l) { return l.startsWith(u"LastReadPath"); });
      QStringList was = before->Lines();
      was.removeIf([](const QString& l) { return l.startsWith(u"LastReadPath"); });
      if (f.before.isNull()) was = QStringList{u"[Config]"_qs};
      EXPECT_EQ(others, was);
      // The Windows program's file stays in its code page while the text fits.
      const bool fits = !value.contains(u'é') && !value.contains(u'用') && !value.contains(u'☃');
      if (std::string(f.kind) == "cp1251") {
        EXPECT_EQ(bytes.startsWith(kWindowsSettings.left(12)), fits);
      }
      if (std::string(f.kind) == "utf-16") {
        EXPECT_TRUE(bytes.startsWith(utf16.left(24)));
      }
    }
  }
}

TEST(IniFile, FilesThatAreNoSettingsTextAreReadAsEmptyAndNeverWrittenOver) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"Zarn26.ini"_qs);
  QByteArray large(10 * 1024 * 1024, 'x');
  large.prepend("[Config]\nLangId=Eng\n");
  QByteArray binary("[Config]\nLangId=Eng\n\0\x01\x02\xFF", 24);
  struct Case {
    const char* what;
    std::function<void()> make;
    int why;
  };
  const Case cases[] = {
      {"binary", [&] { WriteAll(path, binary); }, kWriteUnreadable},
      {"10 MB", [&] { WriteAll(path, large); }, kWriteUnreadable},
      {"a folder", [&] { QDir().mkpath(path); }, EISDIR},
      {"a pipe", [&] { ::mkfifo(QFile::encodeName(path).constData(), 0600); }, kWriteNotAFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QDir(path).removeRecursively();
    QFile::remove(path);
    c.make();
    // A pipe is not read here: that would wait for a writer.
    const bool pipe = c.why == kWriteNotAFile;
    const QByteArray before = pipe ? QByteArray() : ReadAll(path);
    IniFile ini(path);
    int why = 0;
    EXPECT_FALSE(ini.Load(&why));
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(ini.ReadString(u"Config", u"LangId", u"none"), u"none");
    EXPECT_EQ(ini.Update([](IniDocument& d) { d.Write(u"Config", u"Uses", u"1"); }).error, c.why);
    if (!pipe) {
      EXPECT_EQ(ReadAll(path), before);
    }
  }
  QFile::remove(path);
}

TEST(IniFile, ProgramsUpdatingAtOnceLoseNoKey) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"Zarn26.ini"_qs);
  ASSERT_TRUE(WriteAll(path, "[Config]\r\nUses=0\r\n"));
  constexpr int kPrograms = 4, kRounds = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kPrograms; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Each round: the shared counter read and written back, and a key of its own.
      bool ok = true;
      for (int r = 0; r < kRounds; ++r) {
        ok = ok && IniFile(path).Update([&](IniDocument& d) {
          d.Write(u"Config", u"Uses", QString::number(d.Read(u"Config", u"Uses").toInt() + 1));
          d.Write(QStringLiteral("Program%1").arg(p), QStringLiteral("Round%1").arg(r), u"done");
        });
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const IniDocument doc = IniDocument::FromBytes(ReadAll(path));
  EXPECT_EQ(doc.Read(u"Config", u"Uses"), QString::number(kPrograms * kRounds));
  for (int p = 0; p < kPrograms; ++p) {
    for (int r = 0; r < kRounds; ++r) {
      EXPECT_EQ(doc.Read(QStringLiteral("Program%1").arg(p), QStringLiteral("Round%1").arg(r)), u"done");
    }
  }
}
