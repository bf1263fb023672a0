#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "common/bytes.h"
#include "common/images.h"
#include "data/process.h"
#include "materials/materialsblock.h"
#include "objects/objectsblock.h"
#include "samplegen.h"

using namespace zarn;
using zarn::sim::GenerateSample;

namespace {

std::unique_ptr<DeviceImages> Generate(int processes, uint64_t seed) {
  auto images = std::make_unique<DeviceImages>();
  GenerateSample(*images, processes, seed);
  return images;
}

bool SameImages(const DeviceImages& a, const DeviceImages& b) {
  return a.ParamBlock == b.ParamBlock && a.MaterialsBlock == b.MaterialsBlock &&
         a.ObjectsBlock == b.ObjectsBlock && a.DataImage == b.DataImage;
}

// FNV-1a over all four images.
uint64_t Fingerprint(const DeviceImages& images) {
  uint64_t h = 0xCBF29CE484222325ull;
  auto add = [&h](const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
  };
  add(images.MaterialsBlock.data(), images.MaterialsBlock.size());
  add(images.ObjectsBlock.data(), images.ObjectsBlock.size());
  add(images.ParamBlock.data(), images.ParamBlock.size());
  add(images.DataImage.data(), images.DataImage.size());
  return h;
}

size_t RecordStart(const DeviceImages& images, uint32_t i) {
  const DirectoryEntry e = GetDirectoryEntry(images.ParamBlock.data(), i);
  return size_t(e.page) * kDataPageSize + e.offset;
}

// The running values of a blow's 511 samples.
std::array<int, kWaveSamples> Samples(const BlowView& blow) {
  std::array<int, kWaveSamples> v{};
  v[0] = blow.firstSample();
  for (int k = 1; k < kWaveSamples; ++k) v[size_t(k)] = v[size_t(k - 1)] + blow.delta(k - 1);
  return v;
}

// Index of a material by its name in either language, or -1.
int MaterialByName(const QString& name) {
  for (int m = 0; m < kMaterialCount; ++m) {
    if (name == kDefaultMaterials[size_t(m)].ru || name == kDefaultMaterials[size_t(m)].en) return m;
  }
  return -1;
}

bool IsDefaultObjectName(const QString& name) {
  for (int k = 1; k < kObjectCount; ++k) {
    if (name == kDefaultObjectNames[size_t(k)].ru || name == kDefaultObjectNames[size_t(k)].en)
      return true;
  }
  return false;
}

}  // namespace

TEST(SampleGenerator, SameSeedSameBytesOtherSeedOtherBytes) {
  const auto a = Generate(40, 1);
  const auto b = Generate(40, 1);
  EXPECT_TRUE(SameImages(*a, *b));

  // The generator rewrites every image: leftovers of an earlier sample do not show.
  auto reused = Generate(2688, 99);
  GenerateSample(*reused, 40, 1);
  EXPECT_TRUE(SameImages(*a, *reused));

  const auto c = Generate(40, 2);
  EXPECT_NE(a->DataImage, c->DataImage);
  EXPECT_NE(a->ParamBlock, c->ParamBlock);
  const auto d = Generate(41, 1);
  EXPECT_NE(a->DataImage, d->DataImage);

  // The bytes of a given seed are fixed across compilers and platforms: the generator
  // uses its own random numbers and only exactly rounded arithmetic. A deliberate change
  // of the generator changes this value, and sample files made before no longer match.
  EXPECT_EQ(Fingerprint(*a), 0x0bab0cf9ae0d6424ull) << std::hex << Fingerprint(*a);
}

TEST(SampleGenerator, DirectoryIsValidAndRecordsArePackedInsideTheImage) {
  for (int n : {0, 1, 40, 2688}) {
    SCOPED_TRACE(n);
    const auto images = Generate(n, 7);
    ASSERT_EQ(CountProcesses(images->ParamBlock.data()), uint32_t(n));
    size_t previousEnd = 0;
    for (uint32_t i = 0; i < uint32_t(n); ++i) {
      const DirectoryEntry e = GetDirectoryEntry(images->ParamBlock.data(), i);
      ASSERT_TRUE(IsValidDirectoryEntry(e)) << i;
      ASSERT_GE(e.offset, 512);
      const size_t start = RecordStart(*images, i);
      const ProcessView p(images->DataImage.data() + start);
      ASSERT_GE(p.blowCount(), 1);
      ASSERT_LE(p.blowCount(), 15);
      // Read whole, the record stays inside the image; its used part does not run
      // into the next record.
      ASSERT_LE(start + kProcessRecordSize, kDataImageSize) << i;
      ASSERT_GE(start, previousEnd) << i;
      previousEnd = start + sim::UsedRecordSize(p.blowCount());
    }
    // Everything after the directory is zero, so the count is exact.
    for (size_t b = size_t(n) * 4; b < kParamBlockSize; ++b) ASSERT_EQ(images->ParamBlock[b], 0);
  }
}

TEST(SampleGenerator, ManyProcessesGetShorterSeriesAndFewKeepTheirLength) {
  const auto full = Generate(2688, 3);
  const auto few = Generate(40, 3);
  auto blowsOf = [](const DeviceImages& images, uint32_t n) {
    std::map<int, int> histogram;
    for (uint32_t i = 0; i < n; ++i)
      ++histogram[ProcessView(images.DataImage.data() + RecordStart(images, i)).blowCount()];
    return histogram;
  };
  const auto fewHistogram = blowsOf(*few, 40);
  EXPECT_GT(fewHistogram.count(15), 0u);  // full series where there is room
  EXPECT_GT(fewHistogram.size(), 3u);
  const auto fullHistogram = blowsOf(*full, 2688);
  EXPECT_GT(fullHistogram.size(), 3u);  // still of different lengths
  // The last record ends well inside the image.
  const size_t last = RecordStart(*full, 2687);
  EXPECT_LE(last + kProcessRecordSize, kDataImageSize);
  EXPECT_GT(last, kDataImageSize / 2);  // and the room was used

  // Counts outside the directory's range are clamped.
  EXPECT_EQ(CountProcesses(Generate(5000, 3)->ParamBlock.data()), 2688u);
  EXPECT_EQ(CountProcesses(Generate(-1, 3)->ParamBlock.data()), 0u);
}

TEST(SampleGenerator, BlocksHoldTheRussianDefaults) {
  const auto images = Generate(1, 5);
  std::array<uint8_t, kMaterialsBlockSize> materials{};
  FillDefaultMaterials(materials.data(), kRussian);
  EXPECT_EQ(images->MaterialsBlock, materials);
  std::array<uint8_t, kObjectsBlockSize> objects{};
  FillDefaultObjects(objects.data(), kRussian);
  EXPECT_EQ(images->ObjectsBlock, objects);
}

TEST(SampleGenerator, SeriesFieldsAreRealistic) {
  const uint32_t n = 600;
  const auto images = Generate(int(n), 11);
  std::set<int> languagesSeen, groupsSeen, directionsSeen;
  int maskedBlows = 0, keptBlows = 0, stepModeBlows = 0;
  uint32_t previousNumber = 0;
  long long previousStamp = 0;
  for (uint32_t i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    const ProcessView p(images->DataImage.data() + RecordStart(*images, i));
    const int blows = p.blowCount();

    // Header bytes that carry no field are left zero.
    for (int b : {0, 1, 2, 3, 4, 5, 82, 83}) ASSERT_EQ(p.bytes()[b], 0);

    const int m = MaterialByName(p.materialName());
    ASSERT_GE(m, 0) << p.materialName().toStdString();
    languagesSeen.insert(p.materialName() == kDefaultMaterials[size_t(m)].ru ? 0 : 1);
    groupsSeen.insert(MaterialGroup(m));
    ASSERT_TRUE(IsDefaultObjectName(p.objectName())) << p.objectName().toStdString();
    EXPECT_EQ(p.a2(), 0.0f);
    EXPECT_EQ(p.a1(), kDefaultMaterials[size_t(m)].a1);
    EXPECT_EQ(p.a0(), 0.0f);
    EXPECT_EQ(p.Kf(), 1.0f);

    ASSERT_GT(p.number(), previousNumber);
    previousNumber = p.number();
    ASSERT_GE(p.year(), 12);
    ASSERT_LE(p.year(), 26);
    ASSERT_GE(p.month(), 1);
    ASSERT_LE(p.month(), 12);
    ASSERT_GE(p.day(), 1);
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    ASSERT_LE(p.day(), kDays[p.month() - 1]);
    if (p.month() == 2 && p.day() == 29) {
      ASSERT_EQ(p.year() % 4, 0);
    }
    ASSERT_LE(p.hour(), 23);
    ASSERT_LE(p.minute(), 59);
    ASSERT_LE(p.second(), 59);
    const long long stamp = ((((p.year() * 13LL + p.month()) * 32 + p.day()) * 24 + p.hour()) * 60 +
                             p.minute()) * 60 + p.second();
    ASSERT_GT(stamp, previousStamp - 60);  // times rise (seconds are drawn per series)
    previousStamp = stamp;

    ASSERT_TRUE(p.timeStep() == 0.001f || p.timeStep() == 0.002f);

    // The series' figures come from its kept blows.
    ASSERT_EQ(p.blowMask() >> blows, 0u);
    ASSERT_NE(p.blowMask(), 0u);
    double sum = 0, lo = 1e9, hi = -1e9;
    int kept = 0;
    std::map<int, int> directions;
    for (int b = 0; b < blows; ++b) {
      const BlowView blow = p.blow(b);
      ++directions[blow.direction()];
      directionsSeen.insert(blow.direction());
      ASSERT_GE(blow.direction(), 0);
      ASSERT_LE(blow.direction(), 2);
      if (p.blowMasked(b)) {
        ++maskedBlows;
        continue;
      }
      ++kept;
      sum += blow.strength();
      lo = std::min(lo, double(blow.strength()));
      hi = std::max(hi, double(blow.strength()));
    }
    keptBlows += kept;
    const double mean = sum / kept;
    EXPECT_NEAR(p.strength(), mean, mean * 1e-6);
    double squares = 0;
    for (int b = 0; b < blows; ++b) {
      if (!p.blowMasked(b)) squares += (p.blow(b).strength() - mean) * (p.blow(b).strength() - mean);
    }
    const double cv = kept > 1 ? std::sqrt(squares / (kept - 1)) / mean * 1000.0 : 0.0;
    EXPECT_NEAR(p.variation(), cv, 1.0);
    EXPECT_NEAR(p.range(), (hi - lo) / mean * 1000.0, 1.0);
    EXPECT_LT(p.variation(), 400);  // kept blows of one series agree to a few percent
    // One direction for most blows of a series.
    int most = 0;
    for (auto [dir, count] : directions) most = std::max(most, count);
    EXPECT_GE(most * 2, blows);

    // Strengths that the material can have.
    const double top = MaterialGroup(m) == 3 ? 15 : MaterialGroup(m) == 2 ? 30 : 60;
    EXPECT_GT(p.strength(), 0.5);
    EXPECT_LT(p.strength(), top * 1.4);

    for (int b = 0; b < blows; ++b) {
      const BlowView blow = p.blow(b);
      stepModeBlows += blow.stepMode() == 1;
      ASSERT_LE(blow.stepMode(), 1);
      ASSERT_EQ(p.bytes()[kProcessHeaderSize + b * kBlowRecordSize + 33], 0);
      EXPECT_GE(blow.impactAmplitude(), 0.5f);
      EXPECT_LE(blow.impactAmplitude(), 4.0f);
      EXPECT_GT(blow.recoilAmplitude(), 0.0f);
      EXPECT_LT(blow.recoilAmplitude(), blow.impactAmplitude());
      EXPECT_GE(blow.impactDuration(), 30.0f);   // µs
      EXPECT_LE(blow.impactDuration(), 260.0f);
      EXPECT_GT(blow.recoilDuration(), blow.impactDuration());
      EXPECT_GT(blow.waveStart(), 0.0f);
      EXPECT_LT(blow.waveStart(), 0.05f);  // ms, a few samples
    }
  }
  EXPECT_EQ(languagesSeen.size(), 2u);  // Cyrillic and Latin names
  EXPECT_EQ(groupsSeen.size(), 5u);
  EXPECT_EQ(directionsSeen.size(), 3u);
  EXPECT_GT(maskedBlows, 0);
  EXPECT_GT(keptBlows, 6 * maskedBlows);  // most blows are kept
  EXPECT_GT(stepModeBlows, 0);
}

TEST(SampleGenerator, WaveformsLookLikeAnImpactAndAgreeWithTheFigures) {
  const auto images = Generate(300, 21);
  for (uint32_t i = 0; i < 300; ++i) {
    const ProcessView p(images->DataImage.data() + RecordStart(*images, i));
    for (int b = 0; b < p.blowCount(); ++b) {
      SCOPED_TRACE(testing::Message() << "process " << i << " blow " << b);
      const BlowView blow = p.blow(b);
      const auto v = Samples(blow);
      const auto maxIt = std::max_element(v.begin(), v.end());
      const auto minIt = std::min_element(v.begin(), v.end());
      // A positive impact pulse first, clear of the bytes' limits, then the recoil.
      ASSERT_GE(*maxIt, 80);
      ASSERT_LT(maxIt, minIt);
      ASSERT_LT(*minIt, 0);
      ASSERT_LT(-*minIt, *maxIt);
      // Nothing dips below zero before the peak, so the first negative swing after
      // sample 5 is the recoil; the curve comes back above zero after it.
      ASSERT_TRUE(std::all_of(v.begin(), maxIt, [](int x) { return x >= 0; }));
      const auto firstNegative = std::find_if(v.begin(), v.end(), [](int x) { return x < 0; });
      ASSERT_GE(firstNegative - v.begin(), 5);
      ASSERT_TRUE(std::any_of(firstNegative + 5, v.end(), [](int x) { return x >= 0; }));
      // The curve ends near the baseline.
      ASSERT_LE(std::abs(v.back()) * 10, *maxIt);

      // The stored figures agree with what the program will draw.
      const double scale = blow.impactAmplitude() / double(*maxIt);
      EXPECT_NEAR(-*minIt * scale, blow.recoilAmplitude(), 1e-5);
      const double spacingUs = (blow.stepMode() == 1 ? 2.0 : 1.0) * p.timeStep() * 1000.0;
      const auto recoilEnd =
          std::find_if(minIt, v.end(), [](int x) { return x >= 0; });  // end of the swing
      double impactArea = 0, recoilArea = 0;
      for (auto it = v.begin(); it != firstNegative; ++it) impactArea += *it;
      for (auto it = firstNegative; it != recoilEnd; ++it) recoilArea -= *it;
      impactArea *= scale * spacingUs / 1000.0;
      recoilArea *= scale * spacingUs / 1000.0;
      EXPECT_NEAR(blow.impactEnergy(), impactArea, 0.08 * impactArea);
      EXPECT_NEAR(blow.recoilEnergy(), recoilArea, 0.12 * recoilArea);
      const double pulseUs = double(std::count_if(v.begin(), firstNegative, [&](int x) {
                               return x > *maxIt / 50;
                             })) * spacingUs;
      EXPECT_NEAR(blow.impactDuration(), pulseUs, 0.2 * pulseUs + 2 * spacingUs);
      // The impact is shorter than the window.
      EXPECT_LT(blow.impactDuration() + blow.recoilDuration(), kWaveSamples * spacingUs);
    }
  }
}
