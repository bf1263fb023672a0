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
#include "objects/objectsblock.h"
#include "objects/objectsfile.h"

using namespace zarn;
using zarn::testing::ReadAll;
using zarn::testing::WriteAll;

namespace {

using Block = std::array<uint8_t, kObjectsBlockSize>;


constexpr const char16_t* kRu[30] = {
    u"",         u"Балка",     u"Блок",      u"Колодец",   u"Колонна",   u"Кольцо",
    u"Лоток",    u"Марш",      u"Опора",     u"Перекрытие", u"Перемычка", u"Плита",
    u"Площадка", u"Пролет",    u"Ригель",    u"Ростверк",  u"Свая",      u"Столб",
    u"Ступень",  u"Труба",     u"Ферма",     u"ФБС",       u"Эстакада",  u"Без имени",
    u"Без имени", u"Без имени", u"Без имени", u"Без имени", u"Без имени", u"Без имени"};
constexpr const char16_t* kEn[30] = {
    u"",          u"Balcony",   u"Bay",       u"Beam",     u"Bearer",   u"Breastplate",
    u"Bridging",  u"Chute",     u"Dollyway",  u"Echelon",  u"FBS",      u"Flagstone",
    u"Flyer",     u"Girder",    u"Hoists",    u"Lattice girder", u"Manhole", u"Mast",
    u"Mattress",  u"Ring",      u"Spile",     u"Stanchion", u"Tubing",  u"No name",
    u"No name",   u"No name",   u"No name",   u"No name",  u"No name",  u"No name"};

}  // namespace

TEST(ObjectsBlock, DefaultListsInBothLanguagesSurviveTheBlock) {
  for (int language : {int(kRussian), int(kEnglish)}) {
    Block block;
    block.fill(0x77);
    FillDefaultObjects(block.data(), language);
    const ObjectNameTexts texts = DefaultObjectTexts(language);
    for (int k = 0; k < kObjectCount; ++k) {
      SCOPED_TRACE(k);
      const QString expected = QString::fromUtf16(language == kEnglish ? kEn[k] : kRu[k]);
      EXPECT_EQ(ObjectName(block.data(), k), expected);
      EXPECT_EQ(texts[size_t(k)], expected);
    }
    EXPECT_EQ(block[0], 0);  // entry 0 empty
    EXPECT_EQ(block[1], 0);
  }
}

TEST(ObjectsBlock, EntriesShowAndStoreWithTheBlankFlag) {
  Block block{};
  bool blank = true;
  ObjectNameTexts texts = ObjectsToTexts(block.data(), blank);
  EXPECT_TRUE(blank);
  for (const auto& t : texts) EXPECT_TRUE(t.isEmpty());

  block.fill(0xAB);  // length bytes of 0xAB are out of range: every entry reads empty
  texts = ObjectsToTexts(block.data(), blank);
  EXPECT_TRUE(blank);

  texts[0] = u"Нулевой"_qs;
  texts[29] = u"abcdefghijklmnopqrstuvwxy"_qs;
  StoreObjectTexts(block.data(), texts);
  EXPECT_EQ(block[20 * 29], 19);
  EXPECT_EQ(block[20 * 28], 0);
  EXPECT_EQ(block[20 * 28 + 2], 0xAB);  // past the terminator nothing changes
  texts = ObjectsToTexts(block.data(), blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(texts[0], u"Нулевой");
  EXPECT_EQ(texts[29], u"abcdefghijklmnopqrs");
  EXPECT_EQ(ObjectName(block.data(), 0), u"Нулевой");
}

TEST(ObjectsFile, NewFileTextAfterRussianDefaults) {
  Block block{};
  FillDefaultObjects(block.data(), kRussian);
  const QString text = ObjectsFileText(block.data());
  const QStringList lines = text.split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 32);
  EXPECT_EQ(lines[0], u"[Names]");
  EXPECT_EQ(lines[1], u"Name01=");
  EXPECT_EQ(lines[2], u"Name02=Балка");
  EXPECT_EQ(lines[3], u"Name03=Блок");
  EXPECT_EQ(lines[30], u"Name30=Без имени");
  EXPECT_TRUE(lines[31].isEmpty());

  QTemporaryDir dir;
  const QString path = dir.filePath(u"list.objzarn"_qs);
  ASSERT_TRUE(WriteObjectsFile(path, block.data()));
  EXPECT_EQ(ReadAll(path), EncodeCp1251(text));
}

TEST(ObjectsFile, RoundTripRestoresAllThirtyEntries) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"list.objzarn"_qs);
  Block written{};
  for (int k = 0; k < kObjectCount; ++k) SetObjectName(written.data(), k, QStringLiteral("Объект %1").arg(k));
  SetObjectName(written.data(), 0, u"Entry zero");
  SetObjectName(written.data(), 5, u"");
  SetObjectName(written.data(), 6, u" padded ");
  ASSERT_TRUE(WriteObjectsFile(path, written.data()));

  Block loaded;
  loaded.fill(0x11);
  ASSERT_TRUE(LoadObjectsFile(path, loaded.data()));
  for (int k = 0; k < kObjectCount; ++k)
    EXPECT_EQ(ObjectName(loaded.data(), k), ObjectName(written.data(), k)) << k;
  EXPECT_EQ(ObjectName(loaded.data(), 0), u"Entry zero");
  EXPECT_EQ(ObjectName(loaded.data(), 6), u" padded ");
}

TEST(ObjectsFile, WritingIntoAnExistingFileKeepsItsOtherContent) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"x.objzarn"_qs);
  ASSERT_TRUE(WriteAll(path, "[Other]\nA=1\n[names]\nname05=old\nComment=keep\n"));
  Block block{};
  FillDefaultObjects(block.data(), kEnglish);
  ASSERT_TRUE(WriteObjectsFile(path, block.data()));
  const IniDocument doc = IniDocument::FromBytes(ReadAll(path));
  EXPECT_EQ(doc.Read(u"Other", u"A"), u"1");
  EXPECT_EQ(doc.Read(u"Names", u"Comment"), u"keep");
  EXPECT_EQ(doc.Read(u"Names", u"Name05"), u"Bearer");
  EXPECT_EQ(doc.Lines().filter(u"name05=", Qt::CaseInsensitive).size(), 1);
  EXPECT_EQ(doc.Lines().filter(u"[", Qt::CaseInsensitive).size(), 2);

  EXPECT_EQ(WriteObjectsFile(dir.filePath(u"gone/x.objzarn"_qs), block.data()).error, ENOENT);
}

TEST(ObjectsFile, RefusedFilesChangeNothing) {
  QTemporaryDir dir;
  Block block{};
  FillDefaultObjects(block.data(), kRussian);
  const Block before = block;
  auto refused = [&](const QString& path) {
    EXPECT_FALSE(ReadObjectsFile(path));
    EXPECT_FALSE(LoadObjectsFile(path, block.data()));
    EXPECT_EQ(std::memcmp(block.data(), before.data(), block.size()), 0);
  };
  refused(dir.filePath(u"missing.objzarn"_qs));

  const QString onlyFirst = dir.filePath(u"first.objzarn"_qs);
  ASSERT_TRUE(WriteAll(onlyFirst, "[Names]\nName01=Балка\nName02=\n"));
  refused(onlyFirst);

  const QString empty = dir.filePath(u"empty.objzarn"_qs);
  Block zero{};
  ASSERT_TRUE(WriteObjectsFile(empty, zero.data()));
  refused(empty);

  const QString wrongSection = dir.filePath(u"wrong.objzarn"_qs);
  ASSERT_TRUE(WriteAll(wrongSection, "[Mt000]\nName=Бетон\nName02=Балка\n"));
  refused(wrongSection);

  const QString binary = dir.filePath(u"binary.objzarn"_qs);
  ASSERT_TRUE(WriteAll(binary, QByteArray(3000, '\xFF')));
  refused(binary);
}

TEST(ObjectsFile, OneNameIsEnoughAndLongNamesAreCut) {
  auto names = ParseObjectsFile(IniDocument::FromBytes("[Names]\nName17=Свая\n"));
  ASSERT_TRUE(names);
  for (int k = 0; k < kObjectCount; ++k) {
    if (k != 16) {
      EXPECT_TRUE((*names)[size_t(k)].isEmpty()) << k;
    }
  }
  EXPECT_EQ((*names)[16], u"Свая");

  names = ParseObjectsFile(
      IniDocument::FromBytes("[Names]\r\nName01=abcdefghijklmnopqrstuvwxy\r\nName30=Абвгдежзийклмнопрстуфхцч\r\n"));
  ASSERT_TRUE(names);
  EXPECT_EQ((*names)[0], u"abcdefghijklmnopqrs");
  EXPECT_EQ((*names)[29], u"Абвгдежзийклмнопрст");

  Block block;
  block.fill(0x42);
  ApplyObjectsFile(*names, block.data());
  EXPECT_EQ(ObjectName(block.data(), 0), u"abcdefghijklmnopqrs");
  EXPECT_EQ(ObjectName(block.data(), 1), u"");
  EXPECT_EQ(block[20], 0);
}

TEST(ObjectsFile, MessageSaveNameAndProposedName) {
  EXPECT_EQ(ObjectsFileRefusedMessage(u"/home/u/lists/a.objzarn"_qs, kRussian),
            u"Файл не читается или испорчен: a.objzarn");
  EXPECT_EQ(ObjectsFileRefusedMessage(u"/home/u/lists/a.objzarn"_qs, kEnglish),
            u"File is not readable or damaged: a.objzarn");

  auto decide = [](const char16_t* name) { return DecideObjectsSaveName(QString::fromUtf16(name)); };
  EXPECT_TRUE(decide(u"/d/abc.mtzarn").askAgain);
  EXPECT_EQ(decide(u"/d/abc.mtzarn").fileName, u"/d/abc.objzarn");
  EXPECT_TRUE(decide(u"/d/abc.zarn").askAgain);
  EXPECT_EQ(decide(u"/d/abc.zarn").fileName, u"/d/abc.objzarn");
  EXPECT_EQ(decide(u"/d/abc").fileName, u"/d/abc.objzarn");
  EXPECT_EQ(decide(u"/d/abc.").fileName, u"/d/abc.objzarn");
  EXPECT_EQ(decide(u"/d/abc.objzarn").fileName, u"/d/abc.objzarn");
  EXPECT_FALSE(decide(u"/d/abc.objzarn").askAgain);
  EXPECT_EQ(decide(u"/d/abc.OBJZARN").fileName, u"/d/abc.OBJZARN.objzarn");

  EXPECT_EQ(ProposedObjectsFileName(QDateTime(QDate(2013, 12, 8), QTime(14, 5))),
            u"131208.1405.objzarn");
}
