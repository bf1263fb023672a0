#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/bytes.h"
#include "data/process.h"
#include "testdata.h"

using namespace zarn;
using zarn::test::Encode;
using zarn::test::TestProcess;

namespace {

std::unique_ptr<DeviceImages> NewImages() { return std::make_unique<DeviceImages>(); }

void SetEntry(DeviceImages& images, uint32_t i, uint16_t offset, uint8_t page) {
  uint8_t* e = images.ParamBlock.data() + 4 * i;
  PutU16(e, offset);
  e[2] = page;
  e[3] = 1;
}

}  // namespace

TEST(ProcessView, DecodesEveryFieldAtItsOffset) {
  TestProcess t;
  t.blowCount = 4;
  t.blowMask = 0x1B;
  t.number = 123456;
  t.variation = 0x1234;
  t.range = 0xABCD;
  t.strength = 31.5f;
  t.timeStep = 0.25f;
  t.blows[3].impactAmplitude = 3.75f;
  t.blows[3].recoilEnergy = -1.5f;
  t.blows[3].direction = -2;
  t.blows[3].stepMode = 1;
  t.blows[3].firstSample = -7;
  t.blows[3].deltas[0] = -128;
  t.blows[3].deltas[509] = 127;
  const ProcessRecordBuffer r = Encode(t);
  const ProcessView p(r.data());

  EXPECT_EQ(p.blowCount(), 4);
  EXPECT_EQ(p.blowMask(), 0x1Bu);
  EXPECT_EQ(p.materialName(), u"Бетон");
  EXPECT_EQ(p.objectName(), u"Мост");
  EXPECT_EQ(p.a2(), 0.00123f);
  EXPECT_EQ(p.a1(), 1.09f);
  EXPECT_EQ(p.a0(), -0.81f);
  EXPECT_EQ(p.Kf(), 1.0f);
  EXPECT_EQ(p.number(), 123456u);
  EXPECT_EQ(p.second(), 9);
  EXPECT_EQ(p.minute(), 5);
  EXPECT_EQ(p.hour(), 14);
  EXPECT_EQ(p.day(), 7);
  EXPECT_EQ(p.month(), 3);
  EXPECT_EQ(p.year(), 12);
  EXPECT_EQ(p.variation(), 0x1234);
  EXPECT_EQ(p.range(), 0xABCD);
  EXPECT_EQ(p.strength(), 31.5f);
  EXPECT_EQ(p.timeStep(), 0.25f);

  const BlowView b = p.blow(3);
  EXPECT_EQ(b.impactAmplitude(), 3.75f);
  EXPECT_EQ(b.recoilAmplitude(), 1.25f);
  EXPECT_EQ(b.impactDuration(), 40.0f);
  EXPECT_EQ(b.recoilDuration(), 60.0f);
  EXPECT_EQ(b.impactEnergy(), 0.125f);
  EXPECT_EQ(b.recoilEnergy(), -1.5f);
  EXPECT_EQ(b.strength(), 25.0f);
  EXPECT_EQ(b.direction(), -2);
  EXPECT_EQ(b.stepMode(), 1);
  EXPECT_EQ(b.firstSample(), -7);
  EXPECT_EQ(b.delta(0), -128);
  EXPECT_EQ(b.delta(509), 127);
  // Blow 3 begins at 92 + 3 * 548.
  EXPECT_EQ(p.blow(3).impactAmplitude(), GetF32(r.data() + 92 + 3 * 548));
}

TEST(ProcessView, BlowCountAndMask) {
  TestProcess t;
  t.blowMask = 0x1B;
  t.blowCount = 300;  // a damaged record: only 15 blows exist
  ProcessRecordBuffer r = Encode(t);
  ProcessView p(r.data());
  EXPECT_EQ(p.blowCount(), 300);
  EXPECT_EQ(p.shownBlowCount(), 15);
  EXPECT_FALSE(p.blowMasked(0));
  EXPECT_FALSE(p.blowMasked(1));
  EXPECT_TRUE(p.blowMasked(2));
  EXPECT_FALSE(p.blowMasked(4));
  EXPECT_TRUE(p.blowMasked(5));
  t.blowCount = 15;
  r = Encode(t);
  EXPECT_EQ(ProcessView(r.data()).shownBlowCount(), 15);
  t.blowCount = 0;
  r = Encode(t);
  EXPECT_EQ(ProcessView(r.data()).shownBlowCount(), 0);
}

TEST(ProcessView, OutOfRangeNameLengthsGiveEmptyTexts) {
  ProcessRecordBuffer r = Encode(TestProcess{});
  r[12] = 20;    // length equal to the capacity
  r[32] = 0x85;  // negative as a signed byte
  ProcessView p(r.data());
  EXPECT_EQ(p.materialName(), u"");
  EXPECT_EQ(p.objectName(), u"");
}

TEST(DisplayStrength, ConvertsInDoubleFromTheStoredFloat) {
  EXPECT_EQ(DisplayStrength(25.0f, StrengthUnit::MPa), 25.0);
  EXPECT_DOUBLE_EQ(DisplayStrength(25.0f, StrengthUnit::Kgf), 254.69660540364315);
  // 0.1f is 0.100000001490116...: the product keeps the float's own value.
  EXPECT_EQ(DisplayStrength(0.1f, StrengthUnit::Kgf), double(0.1f) * 10.187864216145726);
}

TEST(CopyProcess, CopiesTheRecordOfTheEntry) {
  auto images = NewImages();
  TestProcess t;
  t.number = 77;
  zarn::test::PlaceProcesses(*images, {Encode(TestProcess{}), Encode(t)});
  ProcessRecordBuffer out{};
  ASSERT_TRUE(CopyProcess(*images, 2, 1, out.data()));
  EXPECT_EQ(out, Encode(t));
}

TEST(CopyProcess, IndexOutsideTheDirectoryLeavesTheRecordAlone) {
  auto images = NewImages();
  zarn::test::PlaceProcesses(*images, {Encode(TestProcess{})});
  ProcessRecordBuffer out;
  out.fill(0xEE);
  EXPECT_FALSE(CopyProcess(*images, 1, 1, out.data()));
  EXPECT_FALSE(CopyProcess(*images, 1, 0xFFFFFFFFu, out.data()));
  EXPECT_FALSE(CopyProcess(*images, 5000, 2688, out.data()));  // beyond the directory itself
  for (uint8_t b : out) ASSERT_EQ(b, 0xEE);
}

TEST(CopyProcess, RecordRunningPastTheImageIsCutAndZeroFilled) {
  auto images = NewImages();
  // Page 127, offset 60000: 5536 bytes lie inside the image, 2776 would lie beyond.
  SetEntry(*images, 0, 60000, 127);
  const size_t start = 127 * kDataPageSize + 60000;
  const size_t inside = kDataImageSize - start;
  ASSERT_EQ(inside, 5536u);
  std::memset(images->DataImage.data() + start, 0x5A, inside);
  ProcessRecordBuffer out;
  out.fill(0xEE);
  ASSERT_TRUE(CopyProcess(*images, 1, 0, out.data()));
  for (size_t k = 0; k < inside; ++k) ASSERT_EQ(out[k], 0x5A) << k;
  for (size_t k = inside; k < kProcessRecordSize; ++k) ASSERT_EQ(out[k], 0) << k;
  // The last possible start (page 127, offset 65535) keeps one byte.
  SetEntry(*images, 0, 65535, 127);
  ASSERT_TRUE(CopyProcess(*images, 1, 0, out.data()));
  EXPECT_EQ(out[0], 0x5A);
  EXPECT_EQ(out[1], 0);
}

TEST(CopyProcess, WrongCountNeverReadsOutsideTheImage) {
  auto images = NewImages();
  // An invalid entry (page 200) passed with a count that claims it: zeros, no read.
  uint8_t* e = images->ParamBlock.data();
  PutU16(e, 65535);
  e[2] = 200;
  ProcessRecordBuffer out;
  out.fill(0xEE);
  ASSERT_TRUE(CopyProcess(*images, 1, 0, out.data()));
  for (uint8_t b : out) ASSERT_EQ(b, 0);
}

TEST(ProcessInPlace, OnlyWholeRecordsInsideTheDirectory) {
  auto images = NewImages();
  const uint8_t* param = images->ParamBlock.data();
  const uint8_t* data = images->DataImage.data();
  SetEntry(*images, 0, 512, 3);
  SetEntry(*images, 1, 57224, 127);  // the last record that fits whole
  SetEntry(*images, 2, 57225, 127);  // one byte too far
  EXPECT_EQ(ProcessInPlace(param, data, 3, 0), data + 3 * kDataPageSize + 512);
  EXPECT_EQ(ProcessInPlace(param, data, 3, 1), data + kDataImageSize - kProcessRecordSize);
  EXPECT_EQ(ProcessInPlace(param, data, 3, 2), nullptr);
  EXPECT_EQ(ProcessInPlace(param, data, 2, 2), nullptr);
  EXPECT_EQ(ProcessInPlace(param, data, 9999, 2688), nullptr);
  // A record it refuses is still there to copy, cut at the end of the image.
  images->DataImage[kDataImageSize - 1] = 0x7E;
  ProcessRecordBuffer out;
  ASSERT_TRUE(CopyProcess(param, data, 3, 2, out.data()));
  EXPECT_EQ(out[kProcessRecordSize - 2], 0x7E);
  EXPECT_EQ(out[kProcessRecordSize - 1], 0);
}

TEST(LoadProcess, IndexAtProcessCountKeepsTheLoadedRecord) {
  zarn::test::Clear(Images);
  TestProcess a, b;
  a.number = 1;
  b.number = 2;
  zarn::test::PlaceProcesses(Images, {Encode(a), Encode(b)});
  CountProcesses();
  ASSERT_EQ(ProcessCount.load(), 2u);
  LoadProcess(1);
  EXPECT_EQ(ProcessView(ProcessRecord.data()).number(), 2u);
  LoadProcess(2);
  EXPECT_EQ(ProcessView(ProcessRecord.data()).number(), 2u);
  LoadProcess(0);
  EXPECT_EQ(ProcessView(ProcessRecord.data()).number(), 1u);
  zarn::test::Clear(Images);
  CountProcesses();
}
