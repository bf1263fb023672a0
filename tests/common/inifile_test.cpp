#include <gtest/gtest.h>

#include "testing/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/inifile.h"

using namespace zarn;
using zarn::testing::ReadAll;
using zarn::testing::WriteAll;

namespace {
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
  const QByteArray bytes = doc.ToBytes();
  EXPECT_EQ(bytes, QByteArray("[Mt000]\r\nName=\xC1\xE5\xF2\xEE\xED\r\n"));
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
  EXPECT_EQ(ReadAll(path), QByteArray("[Config]\r\nUses=2\r\n[Other]\r\nkeep=yes\r\n"));
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
