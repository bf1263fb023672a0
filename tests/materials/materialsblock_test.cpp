#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "common/bytes.h"
#include "common/shorttext.h"
#include "materials/materialsblock.h"

using namespace zarn;

namespace {

using Block = std::array<uint8_t, kMaterialsBlockSize>;

// The default table as the instrument's documentation prints it: names and a1 as shown.
struct Expected {
  const char16_t* ru;
  const char16_t* en;
  const char16_t* a1Text;
};
constexpr Expected kTable[30] = {
    {u"Бетон базовый тяж.", u"Heavy concrete bas.", u"1,090E+00"},
    {u"Бетон гравийный", u"Concrete gravel", u"8,100E-01"},
    {u"Бетон гранитный", u"Concrete granite", u"1,090E+00"},
    {u"Бетон граншлаковый", u"Concrete gr. slag", u"9,300E-01"},
    {u"Бетон известняковый", u"Concrete limestone", u"1,020E+00"},
    {u"Бетон мелкозерн.", u"Concrete fine", u"1,020E+00"},
    {u"Бетон легкий базов.", u"Light concrete bas.", u"1,000E+00"},
    {u"Керамзитобетон", u"Claydite-concrete", u"8,600E-01"},
    {u"Полистиролбетон", u"Polystyreneconcrete", u"1,000E+00"},
    {u"Бетон пемзошлаковый", u"Concr. slag-pumice", u"1,030E+00"},
    {u"Бетон состава N1", u"Concrete x 1", u"1,000E+00"},
    {u"Бетон состава N2", u"Concrete x 2", u"1,000E+00"},
    {u"Кирпич базовый", u"Bricks basic", u"1,000E+00"},
    {u"Керамич. кирпич", u"Ceramic bricks", u"1,000E+00"},
    {u"Силикатный кирпич", u"Silicate bricks", u"9,200E-01"},
    {u"Шлаковый кирпич", u"Bricks cindery", u"1,000E+00"},
    {u"Кирпич состава N1", u"Bricks 1", u"1,000E+00"},
    {u"Кирпич состава N2", u"Bricks 2", u"1,000E+00"},
    {u"Раствор состава N1", u"Mortar N1", u"1,020E+00"},
    {u"Раствор состава N2", u"Mortar N2", u"1,000E+00"},
    {u"Стяжка состава N1", u"Screed coat N1", u"1,020E+00"},
    {u"Стяжка состава N2", u"Screed coat N2", u"1,000E+00"},
    {u"Гипсокартон", u"Gypsum", u"1,000E+00"},
    {u"Штукатурка", u"Plasterwork", u"1,000E+00"},
    {u"Материал x 1", u"Material x 1", u"1,000E+00"},
    {u"Материал x 2", u"Material x 2", u"1,000E+00"},
    {u"Материал x 3", u"Material x 3", u"1,000E+00"},
    {u"Материал x 4", u"Material x 4", u"1,000E+00"},
    {u"Материал x 5", u"Material x 5", u"1,000E+00"},
    {u"Материал x 6", u"Material x 6", u"1,000E+00"},
};

MaterialGroupTexts RowsOf(std::initializer_list<MaterialRowTexts> rows) {
  MaterialGroupTexts t;
  size_t i = 0;
  for (const auto& r : rows) t[i++] = r;
  return t;
}

}  // namespace

TEST(MaterialsBlock, DefaultSetsInBothLanguagesSurviveTheBlock) {
  for (int language : {int(kRussian), int(kEnglish)}) {
    Block block{};
    FillDefaultMaterials(block.data(), language);
    for (int m = 0; m < kMaterialCount; ++m) {
      SCOPED_TRACE(m);
      const QString name =
          QString::fromUtf16(language == kEnglish ? kTable[m].en : kTable[m].ru);
      EXPECT_LE(name.size(), 19);
      const MaterialRecord r = GetMaterial(block.data(), m);
      EXPECT_EQ(r.name, name);  // every character is in code page 1251
      EXPECT_EQ(FormatCoefficient(r.a1), QString::fromUtf16(kTable[m].a1Text));
      EXPECT_EQ(r.a1, kDefaultMaterials[size_t(m)].a1);
      EXPECT_EQ(r.a2, 0.0f);
      EXPECT_EQ(r.a0, 0.0f);
      EXPECT_EQ(r.Kf, 1.0f);
    }
  }
  // The a1 values are the single-precision constants as the instrument stores them.
  Block block{};
  FillDefaultMaterials(block.data(), kRussian);
  EXPECT_EQ(GetU32(block.data() + 0 * 36 + 24), 0x3F8B851Fu);  // 1.09
  EXPECT_EQ(GetU32(block.data() + 1 * 36 + 24), 0x3F4F5C29u);  // 0.81
  EXPECT_EQ(GetU32(block.data() + 3 * 36 + 24), 0x3F6E147Bu);  // 0.93
  // Latin x and N, not their Cyrillic look-alikes.
  EXPECT_TRUE(kDefaultMaterials[24].ru.contains(u'x'));
  EXPECT_TRUE(kDefaultMaterials[10].ru.contains(u'N'));
}

TEST(MaterialsBlock, RecordLayoutAndGroups) {
  Block block{};
  block.fill(0xEE);
  SetMaterial(block.data(), 7, {u"Кирпич"_qs, 0.25f, -3.5f, 12.0f, 0.75f});
  const uint8_t* r = block.data() + 7 * 36;
  EXPECT_EQ(r[0], 6);
  EXPECT_EQ(r[1], 0xCA);  // К in code page 1251
  EXPECT_EQ(r[7], 0);
  EXPECT_EQ(r[8], 0xEE);  // bytes after the terminator are left alone
  EXPECT_EQ(GetF32(r + 20), 0.25f);
  EXPECT_EQ(GetF32(r + 24), -3.5f);
  EXPECT_EQ(GetF32(r + 28), 12.0f);
  EXPECT_EQ(GetF32(r + 32), 0.75f);
  EXPECT_EQ(r[36], 0xEE);  // the next record is untouched
  EXPECT_EQ(r[-1], 0xEE);

  SetMaterialName(block.data(), 29, u"abcdefghijklmnopqrstuvwxy");  // 25 characters
  EXPECT_EQ(MaterialName(block.data(), 29), u"abcdefghijklmnopqrs");
  EXPECT_EQ(block[29 * 36], 19);

  EXPECT_EQ(MaterialGroup(5), 0);
  EXPECT_EQ(MaterialGroup(6), 1);
  EXPECT_EQ(MaterialGroup(29), 4);
  EXPECT_EQ(MaterialSlot(17), 5);
  EXPECT_EQ(MaterialIndex(3, 2), 20);
  EXPECT_EQ(MaterialGroupCaption(0).ru, u"Бетон  (1)");
  EXPECT_EQ(MaterialGroupCaption(1).en, u"Concrete (2)");
  EXPECT_EQ(MaterialGroupCaption(2).ru, u"Кирпич");
  EXPECT_EQ(MaterialGroupCaption(3).en, u"Mortar");
  EXPECT_EQ(MaterialGroupCaption(4).ru, u"Материалы");
}

TEST(MaterialsBlock, CoefficientTexts) {
  EXPECT_EQ(FormatCoefficient(0.5f), u"5,000E-01");
  EXPECT_EQ(FormatCoefficient(-12.5f), u"-1,250E+01");
  EXPECT_EQ(FormatCoefficient(0.0f), u"0,000E+00");
  EXPECT_EQ(ParseCoefficient(u"1,5"), 1.5f);
  EXPECT_EQ(ParseCoefficient(u"1,090E+00"), 1.09f);
  EXPECT_FALSE(ParseCoefficient(u"1.5"));
  EXPECT_FALSE(ParseCoefficient(u""));
  EXPECT_FALSE(ParseCoefficient(u"abc"));
  EXPECT_FALSE(ParseCoefficient(u"1E39"));  // beyond single precision
  EXPECT_FALSE(ParseCoefficient(u"-1E39"));
  EXPECT_EQ(ParseCoefficient(u"1E-50"), 0.0f);  // underflows quietly to zero
}

TEST(MaterialsBlock, ShownTextsFollowTheBlankFlag) {
  Block block{};
  bool blank = true;
  MaterialGroupTexts t = MaterialGroupToTexts(block.data(), 0, blank);
  EXPECT_TRUE(blank);
  for (const auto& row : t) {
    EXPECT_TRUE(row.name.isEmpty());
    for (const auto& c : row.coefficients) EXPECT_TRUE(c.isEmpty());
  }

  SetMaterial(block.data(), 13, {u"Кирпич"_qs, 0, 0.5f, 0, 1});
  t = MaterialGroupToTexts(block.data(), 0, blank);  // group 0 still has no name
  EXPECT_TRUE(blank);
  EXPECT_TRUE(t[0].coefficients[kColA1].isEmpty());

  t = MaterialGroupToTexts(block.data(), 2, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(t[1].name, u"Кирпич");
  EXPECT_EQ(t[1].coefficients[kColA1], u"5,000E-01");
  EXPECT_EQ(t[1].coefficients[kColKf], u"1,000E+00");
  EXPECT_EQ(t[0].coefficients[kColA1], u"0,000E+00");  // unnamed rows show numbers too

  t = MaterialGroupToTexts(block.data(), 0, blank);  // once shown, every group has numbers
  EXPECT_EQ(t[5].coefficients[kColA2], u"0,000E+00");
}

TEST(MaterialsBlock, DefaultGroupTextsAreWhatTheDefaultButtonShows) {
  const MaterialGroupTexts t = DefaultMaterialGroupTexts(4, kEnglish);
  for (int s = 0; s < 6; ++s) {
    EXPECT_EQ(t[size_t(s)].name, QStringLiteral("Material x %1").arg(s + 1));
    EXPECT_EQ(t[size_t(s)].coefficients[kColA2], u"0,000E+00");
    EXPECT_EQ(t[size_t(s)].coefficients[kColA1], u"1,000E+00");
    EXPECT_EQ(t[size_t(s)].coefficients[kColA0], u"0,000E+00");
    EXPECT_EQ(t[size_t(s)].coefficients[kColKf], u"1,000E+00");
  }
  EXPECT_EQ(DefaultMaterialGroupTexts(0, kRussian)[3].coefficients[kColA1], u"9,300E-01");

  // Storing the defaults of one group leaves every other group alone.
  Block block{};
  block.fill(0x5A);
  const Block before = block;
  EXPECT_FALSE(StoreMaterialGroupTexts(block.data(), 4, DefaultMaterialGroupTexts(4, kRussian), {}));
  EXPECT_EQ(std::memcmp(block.data(), before.data(), 24 * 36), 0);
  EXPECT_EQ(GetMaterial(block.data(), 24), DefaultMaterialRecord(24, kRussian));
  EXPECT_EQ(MaterialName(block.data(), 29), u"Материал x 6");
}

TEST(MaterialsBlock, StoreUsesNeutralSetForMarkedRowsAndStopsAtBadText) {
  Block block{};
  for (int m = 0; m < 30; ++m) SetMaterial(block.data(), m, {u"old"_qs, 9, 9, 9, 9});

  MaterialGroupTexts t = RowsOf({
      {u"Первый"_qs, {u"1,5"_qs, u"2"_qs, u"3"_qs, u"4"_qs}},
      {u"Второй"_qs, {u"x"_qs, u"2"_qs, u"3"_qs, u"4"_qs}},  // marked below
      {u"abcdefghijklmnopqrstuvwxy"_qs, {u"0"_qs, u"1"_qs, u"0"_qs, u"1"_qs}},
      {u"Четвёртый"_qs, {u"5"_qs, u"6"_qs, u"7,5"_qs, u"8"_qs}},
      {u"Пятый"_qs, {u"-1"_qs, u"1.5"_qs, u"0"_qs, u"0"_qs}},  // a point does not convert
      {u"Шестой"_qs, {u"1"_qs, u"1"_qs, u"1"_qs, u"1"_qs}},
  });
  MaterialGroupMarks marks{};
  marks[1][kColA2] = true;

  const auto error = StoreMaterialGroupTexts(block.data(), 1, t, marks);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->row, 4);
  EXPECT_EQ(error->column, kColA1);
  EXPECT_EQ(error->text, u"1.5");

  // All six names are stored first.
  EXPECT_EQ(MaterialName(block.data(), 6), u"Первый");
  EXPECT_EQ(MaterialName(block.data(), 8), u"abcdefghijklmnopqrs");
  EXPECT_EQ(MaterialName(block.data(), 11), u"Шестой");
  EXPECT_EQ(GetMaterial(block.data(), 6), (MaterialRecord{u"Первый"_qs, 1.5f, 2, 3, 4}));
  EXPECT_EQ(GetMaterial(block.data(), 7), NeutralMaterial(u"Второй"_qs));
  EXPECT_EQ(GetMaterial(block.data(), 9), (MaterialRecord{u"Четвёртый"_qs, 5, 6, 7.5f, 8}));
  // The failing row keeps what came before the bad field, and the rest keeps old values.
  EXPECT_EQ(GetMaterial(block.data(), 10), (MaterialRecord{u"Пятый"_qs, -1, 9, 9, 9}));
  EXPECT_EQ(GetMaterial(block.data(), 11), (MaterialRecord{u"Шестой"_qs, 9, 9, 9, 9}));
  EXPECT_EQ(GetMaterial(block.data(), 12), (MaterialRecord{u"old"_qs, 9, 9, 9, 9}));
}

TEST(MaterialsBlock, BlankEditorFieldsDoNotConvert) {
  // A zero block shows blank coefficients; storing them stops at the first one.
  Block block{};
  bool blank = true;
  const MaterialGroupTexts shown = MaterialGroupToTexts(block.data(), 0, blank);
  const auto error = StoreMaterialGroupTexts(block.data(), 0, shown, {});
  ASSERT_TRUE(error);
  EXPECT_EQ(error->row, 0);
  EXPECT_EQ(error->column, kColA2);
  EXPECT_EQ(std::count(block.begin(), block.end(), 0), ptrdiff_t(block.size()));
}
