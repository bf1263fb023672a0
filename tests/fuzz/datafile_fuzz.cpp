// Data files come from anywhere: feed the bytes as a file to the reader, check what it
// decided against the file's own header, and show the first processes of a file it
// accepted. With the first input byte odd, the last length is patched so that the
// lengths add up to the file size, which takes the reader past its size check.

#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/bytes.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "data/presenters.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

const QString& FilePath() {
  static const QString path = [] {
    std::atexit([] { std::remove(qPrintable(FilePath())); });
    return QStringLiteral("/dev/shm/zarn_datafile_fuzz_%1.zarn").arg(getpid());
  }();
  return path;
}

void ShowProcess(const zarn::DeviceImages& images, uint32_t count, uint32_t i) {
  zarn::ProcessRecordBuffer record;
  Check(zarn::CopyProcess(images, count, i, record.data()));
  const zarn::ProcessView p(record.data());
  zarn::SeriesRow row;
  zarn::FillSeriesRow(p, zarn::StrengthUnit::Kgf, row);
  const auto table = zarn::ImpactsTable(p, zarn::kRussian, zarn::StrengthUnit::MPa);
  Check(table.size() == zarn::kImpactsRows);
  const auto curves = zarn::ChartCurves(p, 0);
  Check(int(curves.size()) == p.shownBlowCount());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto images = std::make_unique<zarn::DeviceImages>();
  if (size == 0) return 0;
  std::vector<uint8_t> file(data + 1, data + size);
  if ((data[0] & 1) && file.size() >= 24) {
    uint32_t rest = uint32_t(file.size()) - 24;
    for (int b = 0; b < 3; ++b) rest -= zarn::GetU32(file.data() + 8 + 4 * b);
    zarn::PutU32(file.data() + 20, rest);
    if (data[0] & 2) std::memcpy(file.data(), zarn::kDataFileSignature, 8);
  }
  FILE* f = std::fopen(qPrintable(FilePath()), "wb");
  if (!f) return 0;
  const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  std::fclose(f);
  if (!written) return 0;

  const zarn::DataFileStatus status = zarn::ReadDataFile(FilePath(), *images);
  bool headerGood = file.size() >= 24 && std::memcmp(file.data(), zarn::kDataFileSignature, 8) == 0;
  if (headerGood) {
    uint32_t sum = 24;
    for (int b = 0; b < 4; ++b) sum += zarn::GetU32(file.data() + 8 + 4 * b);
    headerGood = sum == file.size();
  }
  Check(status != zarn::DataFileStatus::CannotOpen);
  if (!headerGood) Check(status == zarn::DataFileStatus::Damaged);
  // The read-only view decides the same, and sees the same bytes.
  zarn::DataFileView view;
  Check(view.Open(FilePath()) == status);
  if (status == zarn::DataFileStatus::Ok) {
    Check(headerGood);
    const uint8_t* blocks[4] = {view.MaterialsBlock(), view.ObjectsBlock(), view.ParamBlock(),
                                view.DataImage()};
    const uint8_t* images4[4] = {images->MaterialsBlock.data(), images->ObjectsBlock.data(),
                                 images->ParamBlock.data(), images->DataImage.data()};
    const size_t capacity[4] = {zarn::kMaterialsBlockSize, zarn::kObjectsBlockSize,
                                zarn::kParamBlockSize, zarn::kDataImageSize};
    for (int b = 0; b < 4; ++b) {
      const size_t n = std::min<size_t>(zarn::GetU32(file.data() + 8 + 4 * b), capacity[b]);
      Check(std::memcmp(blocks[b], images4[b], n) == 0);
      // What the file does not supply reads as zero in the view.
      if (!view.mapped() && n < capacity[b]) Check(blocks[b][capacity[b] - 1] == 0);
    }
    const uint32_t count = zarn::CountProcesses(images->ParamBlock.data());
    Check(count <= zarn::kDirectoryEntries);
    for (uint32_t i = 0; i < count && i < 3; ++i) ShowProcess(*images, count, i);
    if (count > 3) ShowProcess(*images, count, count - 1);
  }
  return 0;
}
