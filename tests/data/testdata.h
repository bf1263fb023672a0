#pragma once
// Test data: process records with chosen fields, images holding them, and data files
// made from them. The field offsets are written out here on purpose, apart from the
// program's views, so that a wrong offset in either shows up.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

#include "common/images.h"
#include "data/process.h"

namespace zarn::test {

struct TestBlow {
  float impactAmplitude = 2.5f;
  float recoilAmplitude = 1.25f;
  float impactDuration = 40.0f;
  float recoilDuration = 60.0f;
  float impactEnergy = 0.125f;
  float recoilEnergy = 0.0625f;
  float waveStart = 0.0f;
  float strength = 25.0f;
  int8_t direction = 0;
  uint8_t stepMode = 0;
  int8_t firstSample = 10;
  std::array<int8_t, kWaveSamples - 1> deltas{};
};

struct TestProcess {
  uint16_t blowCount = 3;
  uint32_t blowMask = 0x7FFF;
  QString material = QStringLiteral("Бетон");
  QString object = QStringLiteral("Мост");
  float a2 = 0.00123f, a1 = 1.09f, a0 = -0.81f, Kf = 1.0f;
  uint32_t number = 20013;
  uint8_t second = 9, minute = 5, hour = 14, day = 7, month = 3, year = 12;
  uint16_t variation = 123;
  uint16_t range = 120;
  float strength = 25.0f;
  float timeStep = 0.5f;
  std::array<TestBlow, kMaxBlows> blows{};
};

ProcessRecordBuffer Encode(const TestProcess& process);

// Writes the records one after another into the DataImage (the first at page 0,
// offset 512; a record never starts below offset 512 of a page) and a directory entry
// for each, marker 1; the entry after the last is left zero. Records that no longer fit
// wrap around to the start of the image and overlap earlier ones.
void PlaceProcesses(DeviceImages& images, const std::vector<ProcessRecordBuffer>& records);

// The bytes of a data file: the header with the given lengths, then the first
// min(length, capacity) bytes of each block, in file order.
QByteArray DataFileBytes(const DeviceImages& images, uint32_t materialsLength = 1080,
                         uint32_t objectsLength = 600, uint32_t paramLength = 10752,
                         uint32_t dataLength = 8388608);

// Sets every byte of the images to `value` (without an 8 MiB temporary).
void Clear(DeviceImages& images, uint8_t value = 0);

// Writes `bytes` to `path`; false when that fails.
bool WriteBytes(const QString& path, const QByteArray& bytes);

}  // namespace zarn::test

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
