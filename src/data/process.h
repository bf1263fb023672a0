#pragma once
// One process (measurement series) of the DataImage: an 8312-byte ProcessRecord, a
// 92-byte header and 15 BlowRecords of 548 bytes. The views read only inside the
// record they are given.

#include <QString>
#include <array>
#include <cstdint>

#include "common/images.h"
#include "common/units.h"

namespace zarn {

// The 64-bit float nearest to 1 / 0.098156: MPa to kgf/cm2.
inline constexpr double kKgfPerMPa = 10.187864216145726;
// A strength stored in MPa as shown in `unit` (before rounding).
double DisplayStrength(float mpa, StrengthUnit unit);

inline constexpr int kWaveSamples = 511;

class BlowView {
 public:
  explicit BlowView(const uint8_t* blow) : p_(blow) {}
  float impactAmplitude() const;
  float recoilAmplitude() const;
  float impactDuration() const;
  float recoilDuration() const;
  float impactEnergy() const;
  float recoilEnergy() const;
  float waveStart() const;
  float strength() const;
  int8_t direction() const;
  uint8_t stepMode() const;
  int8_t firstSample() const;
  int8_t delta(int k) const;  // k = 0..509: sample k + 2 minus sample k + 1

 private:
  const uint8_t* p_;
};

class ProcessView {
 public:
  explicit ProcessView(const uint8_t* record) : p_(record) {}
  uint16_t blowCount() const;   // as stored
  int shownBlowCount() const;   // blowCount, at most 15: the record has room for 15
  uint32_t blowMask() const;
  bool blowMasked(int blow) const;  // bit clear: drawn gray, beneath the others
  QString materialName() const;
  QString objectName() const;
  float a2() const;
  float a1() const;
  float a0() const;
  float Kf() const;
  uint32_t number() const;
  uint8_t second() const;
  uint8_t minute() const;
  uint8_t hour() const;
  uint8_t day() const;
  uint8_t month() const;
  uint8_t year() const;
  uint16_t variation() const;  // tenths of a percent
  uint16_t range() const;      // tenths of a percent
  float strength() const;      // MPa
  float timeStep() const;
  BlowView blow(int i) const;  // i = 0..14
  const uint8_t* bytes() const { return p_; }

 private:
  const uint8_t* p_;
};

using ProcessRecordBuffer = std::array<uint8_t, kProcessRecordSize>;

// The working copy that the windows show; changes only through LoadProcess.
extern ProcessRecordBuffer ProcessRecord;

// Copies process i of `images` (whose directory holds `count` valid entries) into
// `out`. Returns false and leaves `out` alone when i >= count. A record that would run
// past the end of the DataImage is cut there and its missing bytes read as zero.
bool CopyProcess(const DeviceImages& images, uint32_t count, uint32_t i, uint8_t* out);

// The same for images given by their whole ParamBlock and DataImage.
bool CopyProcess(const uint8_t* paramBlock, const uint8_t* dataImage, uint32_t count, uint32_t i,
                 uint8_t* out);

// Process i read in place, without a copy: its record inside `dataImage` when i < count
// and the whole record lies inside the image; nullptr otherwise (CopyProcess then gives
// the record, cut at the end of the image).
const uint8_t* ProcessInPlace(const uint8_t* paramBlock, const uint8_t* dataImage,
                              uint32_t count, uint32_t i);

// CopyProcess from Images with ProcessCount into ProcessRecord.
void LoadProcess(uint32_t i);

}  // namespace zarn
