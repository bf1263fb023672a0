#include "process.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/shorttext.h"

namespace zarn {
namespace {

// Header fields of a ProcessRecord.
constexpr size_t kOffBlowCount = 6;
constexpr size_t kOffBlowMask = 8;
constexpr size_t kOffMaterialName = 12;
constexpr size_t kOffObjectName = 32;
constexpr size_t kOffA2 = 52;
constexpr size_t kOffA1 = 56;
constexpr size_t kOffA0 = 60;
constexpr size_t kOffKf = 64;
constexpr size_t kOffNumber = 68;
constexpr size_t kOffSecond = 72;
constexpr size_t kOffMinute = 73;
constexpr size_t kOffHour = 74;
constexpr size_t kOffDay = 75;
constexpr size_t kOffMonth = 76;
constexpr size_t kOffYear = 77;
constexpr size_t kOffVariation = 78;
constexpr size_t kOffRange = 80;
constexpr size_t kOffStrength = 84;
constexpr size_t kOffTimeStep = 88;

// Fields of a BlowRecord.
constexpr size_t kOffImpactAmplitude = 0;
constexpr size_t kOffRecoilAmplitude = 4;
constexpr size_t kOffImpactDuration = 8;
constexpr size_t kOffRecoilDuration = 12;
constexpr size_t kOffImpactEnergy = 16;
constexpr size_t kOffRecoilEnergy = 20;
constexpr size_t kOffWaveStart = 24;
constexpr size_t kOffBlowStrength = 28;
constexpr size_t kOffDirection = 32;
constexpr size_t kOffStepMode = 34;
constexpr size_t kOffFirstSample = 35;
constexpr size_t kOffDeltas = 36;

static_assert(kProcessHeaderSize + kMaxBlows * kBlowRecordSize == kProcessRecordSize);
static_assert(kOffDeltas + (kWaveSamples - 1) + 2 == kBlowRecordSize);

}  // namespace

ProcessRecordBuffer ProcessRecord{};

double DisplayStrength(float mpa, StrengthUnit unit) {
  // The product is taken in double from the single-precision value the instrument
  // stored, so that 25 MPa gives 254.70 kgf/cm2 and not a value off in the last digits.
  return unit == StrengthUnit::MPa ? double(mpa) : double(mpa) * kKgfPerMPa;
}

float BlowView::impactAmplitude() const { return GetF32(p_ + kOffImpactAmplitude); }
float BlowView::recoilAmplitude() const { return GetF32(p_ + kOffRecoilAmplitude); }
float BlowView::impactDuration() const { return GetF32(p_ + kOffImpactDuration); }
float BlowView::recoilDuration() const { return GetF32(p_ + kOffRecoilDuration); }
float BlowView::impactEnergy() const { return GetF32(p_ + kOffImpactEnergy); }
float BlowView::recoilEnergy() const { return GetF32(p_ + kOffRecoilEnergy); }
float BlowView::waveStart() const { return GetF32(p_ + kOffWaveStart); }
float BlowView::strength() const { return GetF32(p_ + kOffBlowStrength); }
int8_t BlowView::direction() const { return static_cast<int8_t>(p_[kOffDirection]); }
uint8_t BlowView::stepMode() const { return p_[kOffStepMode]; }
int8_t BlowView::firstSample() const { return static_cast<int8_t>(p_[kOffFirstSample]); }
int8_t BlowView::delta(int k) const { return static_cast<int8_t>(p_[kOffDeltas + size_t(k)]); }

uint16_t ProcessView::blowCount() const { return GetU16(p_ + kOffBlowCount); }
// The record has room for 15 blows; a larger count (a damaged record) shows the 15
// the record holds, so no table or chart ever reads past the record.
int ProcessView::shownBlowCount() const { return std::min<int>(blowCount(), kMaxBlows); }
uint32_t ProcessView::blowMask() const { return GetU32(p_ + kOffBlowMask); }
bool ProcessView::blowMasked(int blow) const {
  return blow < 0 || blow >= 32 || (blowMask() & (uint32_t(1) << blow)) == 0;
}
QString ProcessView::materialName() const {
  return ShortTextToString(p_ + kOffMaterialName, kShortTextCapacity);
}
QString ProcessView::objectName() const {
  return ShortTextToString(p_ + kOffObjectName, kShortTextCapacity);
}
float ProcessView::a2() const { return GetF32(p_ + kOffA2); }
float ProcessView::a1() const { return GetF32(p_ + kOffA1); }
float ProcessView::a0() const { return GetF32(p_ + kOffA0); }
float ProcessView::Kf() const { return GetF32(p_ + kOffKf); }
uint32_t ProcessView::number() const { return GetU32(p_ + kOffNumber); }
uint8_t ProcessView::second() const { return p_[kOffSecond]; }
uint8_t ProcessView::minute() const { return p_[kOffMinute]; }
uint8_t ProcessView::hour() const { return p_[kOffHour]; }
uint8_t ProcessView::day() const { return p_[kOffDay]; }
uint8_t ProcessView::month() const { return p_[kOffMonth]; }
uint8_t ProcessView::year() const { return p_[kOffYear]; }
uint16_t ProcessView::variation() const { return GetU16(p_ + kOffVariation); }
uint16_t ProcessView::range() const { return GetU16(p_ + kOffRange); }
float ProcessView::strength() const { return GetF32(p_ + kOffStrength); }
float ProcessView::timeStep() const { return GetF32(p_ + kOffTimeStep); }
BlowView ProcessView::blow(int i) const {
  // Callers pass 0..14; anything else is clamped so that the view stays in the record.
  const int b = std::clamp(i, 0, kMaxBlows - 1);
  return BlowView(p_ + kProcessHeaderSize + size_t(b) * kBlowRecordSize);
}

bool CopyProcess(const DeviceImages& images, uint32_t count, uint32_t i, uint8_t* out) {
  return CopyProcess(images.ParamBlock.data(), images.DataImage.data(), count, i, out);
}

bool CopyProcess(const uint8_t* paramBlock, const uint8_t* dataImage, uint32_t count, uint32_t i,
                 uint8_t* out) {
  if (i >= count || i >= kDirectoryEntries) return false;
  const DirectoryEntry entry = GetDirectoryEntry(paramBlock, i);
  const size_t start = size_t(entry.page) * kDataPageSize + entry.offset;
  // An entry on the last page with an offset above 57224 describes a record that runs
  // past the end of the DataImage. The record is cut there and its missing bytes read
  // as zero; an entry pointing wholly outside the image (possible only when `count` is
  // wrong) gives a record of zeros.
  const size_t available = start < kDataImageSize ? kDataImageSize - start : 0;
  const size_t n = std::min(available, kProcessRecordSize);
  if (n > 0) std::memcpy(out, dataImage + start, n);
  if (n < kProcessRecordSize) std::memset(out + n, 0, kProcessRecordSize - n);
  return true;
}

const uint8_t* ProcessInPlace(const uint8_t* paramBlock, const uint8_t* dataImage,
                              uint32_t count, uint32_t i) {
  if (i >= count || i >= kDirectoryEntries) return nullptr;
  const DirectoryEntry entry = GetDirectoryEntry(paramBlock, i);
  const size_t start = size_t(entry.page) * kDataPageSize + entry.offset;
  if (start > kDataImageSize - kProcessRecordSize) return nullptr;
  return dataImage + start;
}

void LoadProcess(uint32_t i) {
  CopyProcess(Images, ProcessCount.load(), i, ProcessRecord.data());
}

}  // namespace zarn
