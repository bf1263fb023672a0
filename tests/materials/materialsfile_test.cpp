#include <gtest/gtest.h>

#include "testing/files.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <cerrno>
#include <cstring>

#include "common/cp1251.h"
#include "common/inifile.h"
#include "materials/materialsblock.h"
#include "materials/materialsfile.h"
#include "materials/profilefile.h"

using namespace zarn;
using zarn::testing::ReadAll;
using zarn::testing::WriteAll;

namespace {

using Block = std::array<uint8_t, kMaterialsBlockSize>;


Block SampleBlock() {
  Block b{};
  for (int m = 0; m < kMaterialCount; ++m) {
    SetMaterial(b.data(), m,
                {QStringLiteral("Материал %1").arg(m), -0.125f * float(m), 1.0f + 0.5f * float(m),
                 float(m) * 1000.0f, 1.0f});
  }
  SetMaterialName(b.data(), 4, u"");  // an empty name is an empty value
  return b;
}

}  // namespace

TEST(MaterialsFile, NewFileTextAfterRussianDefaults) {
  Block block{};
  FillDefaultMaterials(block.data(), kRussian);
  const QString text = MaterialsFileText(block.data());
  const QStringList lines = text.split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 30 * 5 + 1);  // CRLF after the last line too
  EXPECT_EQ(lines[0], u"[Mt000]");
  EXPECT_EQ(lines[1], u"Name=Бетон базовый тяж.");
  EXPECT_EQ(lines[2], u"a0=0,000E+00");
  EXPECT_EQ(lines[3], u"a1=1,090E+00");
  EXPECT_EQ(lines[4], u"a2=0,000E+00");
  EXPECT_EQ(lines[5], u"[Mt001]");
  EXPECT_EQ(lines[8], u"a1=8,100E-01");
  EXPECT_EQ(lines[145], u"[Mt029]");
  EXPECT_EQ(lines[146], u"Name=Материал x 6");
  EXPECT_TRUE(lines[150].isEmpty());
  EXPECT_FALSE(text.contains(QStringLiteral("\n\n")));

  // The file on disk holds the same text in code page 1251.
  QTemporaryDir dir;
  const QString path = dir.filePath(u"new.mtzarn"_qs);
  ASSERT_TRUE(WriteMaterialsFile(path, block.data()));
  EXPECT_EQ(ReadAll(path), EncodeCp1251(text));
}

TEST(MaterialsFile, RoundTripRestoresNamesAndCoefficientsButNotKf) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"sets.mtzarn"_qs);
  const Block written = SampleBlock();
  ASSERT_TRUE(WriteMaterialsFile(path, written.data()));

  Block loaded{};
  for (int m = 0; m < kMaterialCount; ++m) SetMaterial(loaded.data(), m, {u"x"_qs, 7, 7, 7, 2.5f});
  ASSERT_TRUE(LoadMaterialsFile(path, loaded.data()));
  for (int m = 0; m < kMaterialCount; ++m) {
    SCOPED_TRACE(m);
    const MaterialRecord w = GetMaterial(written.data(), m);
    const MaterialRecord l = GetMaterial(loaded.data(), m);
    EXPECT_EQ(l.name, w.name);
    // Four significant digits are what the file keeps; the sample values need no more.
    EXPECT_EQ(l.a0, w.a0);
    EXPECT_EQ(l.a1, w.a1);
    EXPECT_EQ(l.a2, w.a2);
    EXPECT_EQ(l.Kf, 2.5f);
  }
  EXPECT_TRUE(MaterialName(loaded.data(), 4).isEmpty());
}

TEST(MaterialsFile, NamesThatTheIniFormatWouldAlterSurviveTheRoundTrip) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"odd.mtzarn"_qs);
  Block block{};
  FillDefaultMaterials(block.data(), kEnglish);
  SetMaterialName(block.data(), 0, u" leading blank");
  SetMaterialName(block.data(), 1, u"trailing blank ");
  SetMaterialName(block.data(), 2, u"\"quoted\"");
  SetMaterialName(block.data(), 3, u"'single'");
  SetMaterialName(block.data(), 4, u"a=b;c");
  SetMaterialName(block.data(), 5, u"x\r\n[Mt006]");  // must not start a section
  ASSERT_TRUE(WriteMaterialsFile(path, block.data()));

  Block loaded{};
  ASSERT_TRUE(LoadMaterialsFile(path, loaded.data()));
  EXPECT_EQ(MaterialName(loaded.data(), 0), u" leading blank");
  EXPECT_EQ(MaterialName(loaded.data(), 1), u"trailing blank ");
  EXPECT_EQ(MaterialName(loaded.data(), 2), u"\"quoted\"");
  EXPECT_EQ(MaterialName(loaded.data(), 3), u"'single'");
  EXPECT_EQ(MaterialName(loaded.data(), 4), u"a=b;c");
  EXPECT_EQ(MaterialName(loaded.data(), 5), u"x  [Mt006]");
  EXPECT_EQ(MaterialName(loaded.data(), 6), u"Light concrete bas.");
  EXPECT_EQ(IniDocument::FromBytes(ReadAll(path)).Lines().count(u"[Mt006]"_qs), 1);
}

TEST(MaterialsFile, WritingIntoAnExistingFileKeepsItsOtherContent) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"mixed.mtzarn"_qs);
  ASSERT_TRUE(WriteAll(path, "; my notes\n[Info]\nAuthor=me\n[mt003]\nName=old\nKf=5\nA1=9,9\n"));
  Block block{};
  FillDefaultMaterials(block.data(), kRussian);
  ASSERT_TRUE(WriteMaterialsFile(path, block.data()));

  const IniDocument doc = IniDocument::FromBytes(ReadAll(path));
  EXPECT_EQ(doc.Lines()[0], u"; my notes");
  EXPECT_EQ(doc.Read(u"Info", u"Author"), u"me");
  EXPECT_EQ(doc.Read(u"Mt003", u"Kf"), u"5");  // a key the program does not write stays
  EXPECT_EQ(doc.Read(u"Mt003", u"Name"), u"Бетон граншлаковый");
  EXPECT_EQ(doc.Read(u"Mt003", u"a1"), u"9,300E-01");  // replaced where it stood
  EXPECT_EQ(doc.Lines().filter(u"Name=", Qt::CaseInsensitive).size(), 30);
  EXPECT_EQ(doc.Lines().filter(u"a1=", Qt::CaseInsensitive).size(), 30);

  Block loaded{};
  ASSERT_TRUE(LoadMaterialsFile(path, loaded.data()));
  EXPECT_EQ(MaterialName(loaded.data(), 3), u"Бетон граншлаковый");
}

TEST(MaterialsFile, FailedWriteReportsAndLeavesNothingHalfDone) {
  QTemporaryDir dir;
  Block block{};
  FillDefaultMaterials(block.data(), kRussian);
  EXPECT_EQ(WriteMaterialsFile(dir.filePath(u"no/such/folder/a.mtzarn"_qs), block.data()).error, ENOENT);
  EXPECT_FALSE(QFile::exists(dir.filePath(u"no/such/folder/a.mtzarn"_qs)));
  // A folder in the file's place cannot be written either.
  EXPECT_EQ(WriteMaterialsFile(dir.path(), block.data()).error, EISDIR);
}

TEST(MaterialsFile, RefusedFilesChangeNothing) {
  QTemporaryDir dir;
  Block block = SampleBlock();
  const Block before = block;
  auto refused = [&](const QString& path) {
    EXPECT_FALSE(ReadMaterialsFile(path));
    EXPECT_FALSE(LoadMaterialsFile(path, block.data()));
    EXPECT_EQ(std::memcmp(block.data(), before.data(), block.size()), 0);
  };

  refused(dir.filePath(u"missing.mtzarn"_qs));

  const QString allEmpty = dir.filePath(u"empty.mtzarn"_qs);
  Block zero{};
  ASSERT_TRUE(WriteMaterialsFile(allEmpty, zero.data()));  // a never-filled block
  refused(allEmpty);

  const QString binary = dir.filePath(u"binary.mtzarn"_qs);
  QByteArray noise(4096, '\0');
  for (int i = 0; i < noise.size(); ++i) noise[i] = char((i * 37) & 0xFF);
  ASSERT_TRUE(WriteAll(binary, noise));
  refused(binary);

  const QString otherIni = dir.filePath(u"other.mtzarn"_qs);
  ASSERT_TRUE(WriteAll(otherIni, "[Names]\nName02=Балка\n[Mt000]\nName=   \na1=1,5\n"));
  refused(otherIni);

  refused(dir.path());  // a folder
}

TEST(MaterialsFile, MessageForARefusedFileNamesTheFullPath) {
  EXPECT_EQ(MaterialsFileRefusedMessage(u"/home/u/a b.mtzarn"_qs, kRussian),
            u"Файл не читается или испорчен: /home/u/a b.mtzarn");
  EXPECT_EQ(MaterialsFileRefusedMessage(u"/home/u/x.mtzarn"_qs, kEnglish),
            u"File is not readable or damaged: /home/u/x.mtzarn");
}

TEST(MaterialsFile, CoefficientsThatDoNotConvertFallBack) {
  // Points as decimal separators do not convert: every material gets 0, 1, 0.
  QString text;
  for (int m = 0; m < 30; ++m) {
    text += QStringLiteral("[Mt%1]\nName=M%1\na0=2.500E+00\na1=1.090E+00\na2=3.000E-01\n")
                .arg(m, 3, 10, QLatin1Char('0'));
  }
  auto content = ParseMaterialsFile(IniDocument::FromBytes(text.toUtf8()));
  ASSERT_TRUE(content);
  for (const auto& e : *content) {
    EXPECT_EQ(e.a0, 0.0f);
    EXPECT_EQ(e.a1, 1.0f);
    EXPECT_EQ(e.a2, 0.0f);
  }

  // Only Mt017 present: it is accepted; everything else is empty with 0, 1, 0.
  // The neighbours of a bad value still load; numbers beyond single precision,
  // blanks and too-long texts fall back as well.
  content = ParseMaterialsFile(IniDocument::FromBytes(
      "[MT017]\nname=Solo\na0=  -1,5E+01 \na1=1E39\na2=0,000000000000000000000001\n"));
  ASSERT_TRUE(content);
  for (int m = 0; m < 30; ++m) {
    if (m == 17) continue;
    EXPECT_TRUE((*content)[size_t(m)].name.isEmpty());
    EXPECT_EQ((*content)[size_t(m)].a0, 0.0f);
    EXPECT_EQ((*content)[size_t(m)].a1, 1.0f);
    EXPECT_EQ((*content)[size_t(m)].a2, 0.0f);
  }
  EXPECT_EQ((*content)[17].name, u"Solo");
  EXPECT_EQ((*content)[17].a0, -15.0f);
  EXPECT_EQ((*content)[17].a1, 1.0f);
  // 26 characters are cut to 24 ("0,0000000000000000000000"), which is a number: 0.
  EXPECT_EQ((*content)[17].a2, 0.0f);

  Block block{};
  for (int m = 0; m < 30; ++m) SetMaterial(block.data(), m, {u"keep"_qs, 5, 5, 5, 3});
  ApplyMaterialsFile(*content, block.data());
  EXPECT_EQ(GetMaterial(block.data(), 17), (MaterialRecord{u"Solo"_qs, 0, 1, -15, 3}));
  EXPECT_EQ(GetMaterial(block.data(), 0), (MaterialRecord{QString(), 0, 1, 0, 3}));
}

TEST(MaterialsFile, LongNamesLoadAsTheirFirst19Characters) {
  auto content =
      ParseMaterialsFile(IniDocument::FromBytes("[Mt000]\nName=Абвгдежзийклмнопрстуфхцч\n"));
  ASSERT_TRUE(content);
  EXPECT_EQ((*content)[0].name, u"Абвгдежзийклмнопрст");
  Block block{};
  ApplyMaterialsFile(*content, block.data());
  EXPECT_EQ(block[0], 19);
  EXPECT_EQ(MaterialName(block.data(), 0), u"Абвгдежзийклмнопрст");
}

TEST(MaterialsFile, SaveNameRule) {
  auto decide = [](const char16_t* name) { return DecideMaterialsSaveName(QString::fromUtf16(name)); };
  EXPECT_EQ(decide(u"/d/abc.zarn").askAgain, true);
  EXPECT_EQ(decide(u"/d/abc.zarn").fileName, u"/d/abc.mtzarn");
  EXPECT_EQ(decide(u"/d/abc.objzarn").askAgain, true);
  EXPECT_EQ(decide(u"/d/abc.objzarn").fileName, u"/d/abc.mtzarn");
  EXPECT_EQ(decide(u"/d/abc.").fileName, u"/d/abc.mtzarn");
  EXPECT_EQ(decide(u"/d/abc").fileName, u"/d/abc.mtzarn");
  EXPECT_EQ(decide(u"/d/abc.mtzarn").fileName, u"/d/abc.mtzarn");
  EXPECT_EQ(decide(u"/d/abc.MTZARN").fileName, u"/d/abc.MTZARN.mtzarn");
  EXPECT_EQ(decide(u"/d/sets.txt").fileName, u"/d/sets.txt.mtzarn");
  EXPECT_EQ(decide(u"/d/abc.ZARN").askAgain, false);
  // Only the file name's own extension counts, not a point in a folder name.
  EXPECT_EQ(decide(u"/d/v1.zarn/abc").fileName, u"/d/v1.zarn/abc.mtzarn");
  EXPECT_EQ(decide(u"/d/v1.zarn/abc").askAgain, false);
  EXPECT_FALSE(decide(u"/d/abc.mtzarn").askAgain);

  const QDateTime when(QDate(2013, 12, 8), QTime(14, 5));
  EXPECT_EQ(ProposedMaterialsFileName(when), u"131208.1405.mtzarn");
  EXPECT_EQ(ProposedMaterialsFileName(QDateTime(QDate(2009, 1, 2), QTime(3, 4))),
            u"090102.0304.mtzarn");
  EXPECT_EQ(ProposedMaterialsFileName(QDateTime(QDate(2020, 6, 30), QTime(23, 59))),
            u"200630.2359.mtzarn");
}
