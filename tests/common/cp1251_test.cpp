#include <gtest/gtest.h>

#include <array>

#include "common/cp1251.h"
#include "common/shorttext.h"

using namespace zarn;

TEST(Cp1251, EveryByteRoundTrips) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(char(b));
  const QString text = DecodeCp1251(all);
  ASSERT_EQ(text.size(), 256);
  EXPECT_EQ(EncodeCp1251(text), all);
  EXPECT_EQ(text[0xC0], QChar(u'А'));
  EXPECT_EQ(text[0xFF], QChar(u'я'));
  EXPECT_EQ(text[0xA8], QChar(u'Ё'));
  EXPECT_EQ(text[0xB9], QChar(u'№'));
}

TEST(Cp1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(EncodeCp1251(u"a\u00E9\U0001F600b"), QByteArray("a??b"));
}

namespace {
std::array<uint8_t, 20> Field(std::initializer_list<uint8_t> bytes) {
  std::array<uint8_t, 20> f{};
  f.fill(0xEE);
  std::copy(bytes.begin(), bytes.end(), f.begin());
  return f;
}
}  // namespace

TEST(ShortText, ReadsLengthAndStopsAtZero) {
  EXPECT_EQ(ShortTextToString(Field({3, 'a', 'b', 'c', 0}).data()), u"abc");
  EXPECT_EQ(ShortTextToString(Field({5, 'a', 'b', 0, 'd', 'e'}).data()), u"ab");
  EXPECT_EQ(ShortTextToString(Field({2, 0xC1, 0xE5}).data()), u"Бе");
  auto full = Field({19});
  for (int i = 1; i < 20; ++i) full[i] = 'x';
  EXPECT_EQ(ShortTextToString(full.data()), QString(19, u'x'));
}

TEST(ShortText, OutOfRangeLengthsGiveEmptyText) {
  EXPECT_TRUE(ShortTextToString(Field({0, 'a'}).data()).isEmpty());
  EXPECT_TRUE(ShortTextToString(Field({20, 'a'}).data()).isEmpty());
  EXPECT_TRUE(ShortTextToString(Field({0x7F, 'a'}).data()).isEmpty());
  EXPECT_TRUE(ShortTextToString(Field({0x80, 'a'}).data()).isEmpty());
  EXPECT_TRUE(ShortTextToString(Field({0xFF, 'a'}).data()).isEmpty());
}

TEST(ShortText, StoresAndTouchesNothingElse) {
  auto f = Field({});
  StringToShortText(f.data(), u"Бетон");
  EXPECT_EQ(f[0], 5);
  EXPECT_EQ(f[1], 0xC1);
  EXPECT_EQ(f[6], 0);      // terminator after the text
  EXPECT_EQ(f[7], 0xEE);   // the rest keeps its bytes
  EXPECT_EQ(f[19], 0xEE);
  EXPECT_EQ(ShortTextToString(f.data()), u"Бетон");
}

TEST(ShortText, LongTextIsCutToNineteenWithoutTerminator) {
  auto f = Field({});
  StringToShortText(f.data(), u"Полистиролбетон и ещё что-то");
  EXPECT_EQ(f[0], 19);
  EXPECT_EQ(ShortTextToString(f.data()), u"Полистиролбетон и е");
  auto g = Field({});
  StringToShortText(g.data(), u"");
  EXPECT_EQ(g[0], 0);
  EXPECT_EQ(g[1], 0);
  EXPECT_EQ(g[2], 0xEE);
}
