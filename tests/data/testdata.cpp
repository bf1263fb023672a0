#include "testdata.h"

#include <QFile>
#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/shorttext.h"

namespace zarn::test {

ProcessRecordBuffer Encode(const TestProcess& p) {
  ProcessRecordBuffer r{};
  uint8_t* b = r.data();
  PutU16(b + 6, p.blowCount);
  PutU32(b + 8, p.blowMask);
  StringToShortText(b + 12, p.material, 20);
  StringToShortText(b + 32, p.object, 20);
  PutF32(b + 52, p.a2);
  PutF32(b + 56, p.a1);
  PutF32(b + 60, p.a0);
  PutF32(b + 64, p.Kf);
  PutU32(b + 68, p.number);
  b[72] = p.second;
  b[73] = p.minute;
  b[74] = p.hour;
  b[75] = p.day;
  b[76] = p.month;
  b[77] = p.year;
  PutU16(b + 78, p.variation);
  PutU16(b + 80, p.range);
  PutF32(b + 84, p.strength);
  PutF32(b + 88, p.timeStep);
  for (size_t i = 0; i < p.blows.size(); ++i) {
    const TestBlow& w = p.blows[i];
    uint8_t* q = b + 92 + 548 * i;
    PutF32(q + 0, w.impactAmplitude);
    PutF32(q + 4, w.recoilAmplitude);
    PutF32(q + 8, w.impactDuration);
    PutF32(q + 12, w.recoilDuration);
    PutF32(q + 16, w.impactEnergy);
    PutF32(q + 20, w.recoilEnergy);
    PutF32(q + 24, w.waveStart);
    PutF32(q + 28, w.strength);
    q[32] = uint8_t(w.direction);
    q[34] = w.stepMode;
    q[35] = uint8_t(w.firstSample);
    for (size_t k = 0; k < w.deltas.size(); ++k) q[36 + k] = uint8_t(w.deltas[k]);
  }
  return r;
}

void PlaceProcesses(DeviceImages& images, const std::vector<ProcessRecordBuffer>& records) {
  size_t address = 512;
  for (size_t i = 0; i < records.size() && i < kDirectoryEntries; ++i) {
    if (address % kDataPageSize < 512) address += 512 - address % kDataPageSize;
    if (address + kProcessRecordSize > kDataImageSize) address = 512;
    std::memcpy(images.DataImage.data() + address, records[i].data(), kProcessRecordSize);
    uint8_t* e = images.ParamBlock.data() + 4 * i;
    PutU16(e, uint16_t(address % kDataPageSize));
    e[2] = uint8_t(address / kDataPageSize);
    e[3] = 1;
    address += kProcessRecordSize;
  }
  if (records.size() < kDirectoryEntries) {
    std::memset(images.ParamBlock.data() + 4 * records.size(), 0, 4);
  }
}

QByteArray DataFileBytes(const DeviceImages& images, uint32_t materialsLength,
                         uint32_t objectsLength, uint32_t paramLength, uint32_t dataLength) {
  QByteArray out(24, '\0');
  std::memcpy(out.data(), "Zarn-2.6", 8);
  auto* h = reinterpret_cast<uint8_t*>(out.data());
  PutU32(h + 8, materialsLength);
  PutU32(h + 12, objectsLength);
  PutU32(h + 16, paramLength);
  PutU32(h + 20, dataLength);
  auto append = [&](const uint8_t* data, size_t capacity, uint32_t length) {
    out.append(reinterpret_cast<const char*>(data), qsizetype(std::min<size_t>(capacity, length)));
  };
  append(images.MaterialsBlock.data(), images.MaterialsBlock.size(), materialsLength);
  append(images.ObjectsBlock.data(), images.ObjectsBlock.size(), objectsLength);
  append(images.ParamBlock.data(), images.ParamBlock.size(), paramLength);
  append(images.DataImage.data(), images.DataImage.size(), dataLength);
  return out;
}

void Clear(DeviceImages& images, uint8_t value) {
  images.ParamBlock.fill(value);
  images.MaterialsBlock.fill(value);
  images.ObjectsBlock.fill(value);
  images.DataImage.fill(value);
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace zarn::test
