#include "datafile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <new>
#include <type_traits>

#include <sys/mman.h>
#include <sys/stat.h>

#include "common/bytes.h"

namespace zarn {
namespace {

constexpr qint64 kHeaderSize = 24;
constexpr int kBlocks = 4;
// Capacities of the blocks in file order: materials, objects, parameters, data.
constexpr size_t kCapacity[kBlocks] = {kMaterialsBlockSize, kObjectsBlockSize, kParamBlockSize,
                                       kDataImageSize};

// The blocks in file order, with how many bytes of each a read replaced.
struct BlockSpan {
  uint8_t* data;
  size_t capacity;
};
std::array<BlockSpan, kBlocks> FileOrder(DeviceImages& images) {
  return {{{images.MaterialsBlock.data(), images.MaterialsBlock.size()},
           {images.ObjectsBlock.data(), images.ObjectsBlock.size()},
           {images.ParamBlock.data(), images.ParamBlock.size()},
           {images.DataImage.data(), images.DataImage.size()}}};
}

// Reads exactly `n` bytes or fails; QFile::read may return fewer on a short file.
bool ReadExactly(QFile& file, uint8_t* to, qint64 n) {
  while (n > 0) {
    const qint64 got = file.read(reinterpret_cast<char*>(to), n);
    if (got <= 0) return false;
    to += got;
    n -= got;
  }
  return true;
}

// Where the blocks of a file lie, from its header and size. Each block takes at most
// its capacity, read straight into its image; the lengths never size anything. A
// length above the capacity is checked in the sum but its excess is not skipped: the
// next block follows the bytes read, so every data file in circulation opens as it
// always did.
using Layout = DataFileLayout;
DataFileStatus CheckHeader(const uint8_t* header, qint64 fileSize, Layout& layout) {
  if (std::memcmp(header, kDataFileSignature, sizeof kDataFileSignature) != 0)
    return DataFileStatus::Damaged;
  uint32_t lengths[kBlocks];
  uint32_t sum = uint32_t(kHeaderSize);
  for (int b = 0; b < kBlocks; ++b) {
    lengths[b] = GetU32(header + 8 + 4 * b);
    sum += lengths[b];  // modulo 2^32, as the file format defines the check
  }
  if (qint64(sum) != fileSize) return DataFileStatus::Damaged;
  qint64 at = kHeaderSize;
  for (int b = 0; b < kBlocks; ++b) {
    layout.offset[b] = at;
    layout.count[b] = std::min<size_t>(lengths[b], kCapacity[b]);
    at += qint64(layout.count[b]);
  }
  // Lengths that wrap around 2^32 can pass the sum and still ask for more than there is.
  if (at > fileSize) return DataFileStatus::Damaged;
  return DataFileStatus::Ok;
}

// Only a plain file is read: a FIFO or a device could block the reader for ever or
// feed it without end.
DataFileStatus OpenForReading(const QString& path, QFile& file) {
  const QFileInfo info(path);
  if (!info.isFile()) return DataFileStatus::CannotOpen;
  file.setFileName(path);
  if (!file.open(QIODevice::ReadOnly)) return DataFileStatus::CannotOpen;
  return DataFileStatus::Ok;
}

// The reader behind ReadDataFile and OpenDataFile; `replaced` gets the number of bytes
// each block (in file order) received.
DataFileStatus ReadBlocks(const QString& path, DeviceImages& images,
                          std::array<size_t, kBlocks>& replaced) {
  replaced.fill(0);
  QFile file;
  if (const DataFileStatus s = OpenForReading(path, file); s != DataFileStatus::Ok) return s;
  uint8_t header[kHeaderSize];
  if (!ReadExactly(file, header, kHeaderSize)) return DataFileStatus::Damaged;
  Layout layout;
  if (const DataFileStatus s = CheckHeader(header, file.size(), layout); s != DataFileStatus::Ok)
    return s;
  const auto blocks = FileOrder(images);
  for (size_t b = 0; b < kBlocks; ++b) {
    // The file may have changed since its size was taken: every block must still arrive.
    if (!ReadExactly(file, blocks[b].data, qint64(layout.count[b]))) return DataFileStatus::Damaged;
    replaced[b] = layout.count[b];
  }
  return DataFileStatus::Ok;
}

// Zeroed scratch images, straight from the system: fresh anonymous pages are zero
// already, and they are given to the process in one call (MAP_POPULATE) rather than
// page by page, so that reading a file does not hold up the other thread's own use of
// the address space with thousands of page faults.
static_assert(std::is_trivially_copyable_v<DeviceImages> &&
              std::is_trivially_destructible_v<DeviceImages>);
struct FreeImages {
  void operator()(DeviceImages* images) const {
    if (images) ::munmap(images, sizeof(DeviceImages));
  }
};
std::unique_ptr<DeviceImages, FreeImages> NewZeroImages() {
  void* memory = ::mmap(nullptr, sizeof(DeviceImages), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  return std::unique_ptr<DeviceImages, FreeImages>(static_cast<DeviceImages*>(memory));
}

}  // namespace

DataFileStatus CheckDataFileHeader(const uint8_t* header, qint64 fileSize, DataFileLayout& layout) {
  return CheckHeader(header, fileSize, layout);
}

DataFileStatus ReadDataFile(const QString& path, DeviceImages& images) {
  std::array<size_t, kBlocks> replaced;
  return ReadBlocks(path, images, replaced);
}

void DataFileView::Free::operator()(DeviceImages* images) const { FreeImages()(images); }

DataFileView::DataFileView() = default;
DataFileView::~DataFileView() = default;

DataFileStatus DataFileView::Open(const QString& path) {
  mapped_ = false;
  std::fill(std::begin(blocks_), std::end(blocks_), nullptr);
  copy_.reset();
  file_ = std::make_unique<QFile>();
  if (const DataFileStatus s = OpenForReading(path, *file_); s != DataFileStatus::Ok) return s;
  const qint64 size = file_->size();
  uint8_t header[kHeaderSize];
  if (!ReadExactly(*file_, header, kHeaderSize)) return DataFileStatus::Damaged;
  Layout layout;
  if (const DataFileStatus s = CheckHeader(header, size, layout); s != DataFileStatus::Ok) return s;

  bool whole = true;
  for (size_t b = 0; b < kBlocks; ++b) whole = whole && layout.count[b] == kCapacity[b];
  if (whole) {
    if (uchar* map = file_->map(0, size)) {
      for (size_t b = 0; b < kBlocks; ++b) blocks_[b] = map + layout.offset[b];
      mapped_ = true;
      return DataFileStatus::Ok;
    }
  }
  // Short blocks leave the rest of their (zero) image; or the file cannot be mapped.
  copy_.reset(NewZeroImages().release());
  std::array<size_t, kBlocks> replaced;
  const DataFileStatus s = ReadBlocks(path, *copy_, replaced);
  if (s != DataFileStatus::Ok) {
    copy_.reset();
    return s;
  }
  const auto blocks = FileOrder(*copy_);
  for (size_t b = 0; b < kBlocks; ++b) blocks_[b] = blocks[b].data;
  return DataFileStatus::Ok;
}

namespace {

// A file read into scratch images. The scratch images start at zero; only the bytes the
// file supplied are copied in, so a short block keeps the rest of the program's image.
// What tells one state of a file from another: the same file, size and modification
// time (to the nanosecond). Taken with stat: no time zone involved.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};

  static FileStamp Of(const QString& path) {
    FileStamp s;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
      s.device = info.st_dev;
      s.inode = info.st_ino;
      s.size = info.st_size;
      s.modified = info.st_mtim;
    }
    return s;
  }
  bool operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

struct ScratchRead {
  DataFileStatus status = DataFileStatus::CannotOpen;
  std::unique_ptr<DeviceImages, FreeImages> images;
  std::array<size_t, kBlocks> replaced{};
  FileStamp stamp;
};

ScratchRead ReadIntoScratch(const QString& path) {
  ScratchRead r;
  r.stamp = FileStamp::Of(path);
  r.images = NewZeroImages();
  r.status = ReadBlocks(path, *r.images, r.replaced);
  return r;
}

struct Prefetch {
  std::mutex mutex;
  QString path;
  std::future<ScratchRead> result;
};
Prefetch& ThePrefetch() {
  static Prefetch prefetch;
  return prefetch;
}

// The prefetched read of `path` when it is still good, else nullopt (and the prefetch
// is used up either way).
std::optional<ScratchRead> TakePrefetched(const QString& path) {
  Prefetch& p = ThePrefetch();
  std::future<ScratchRead> result;
  {
    const std::lock_guard guard(p.mutex);
    if (!p.result.valid() || p.path != path) return std::nullopt;
    result = std::move(p.result);
    p.path.clear();
  }
  ScratchRead r = result.get();
  if (r.status != DataFileStatus::Ok || r.stamp.size < 0 || !(FileStamp::Of(path) == r.stamp))
    return std::nullopt;
  return r;
}

}  // namespace

void PrefetchDataFile(const QString& path) {
  Prefetch& p = ThePrefetch();
  const std::lock_guard guard(p.mutex);
  if (p.result.valid()) p.result.wait();
  p.path = path;
  p.result = std::async(std::launch::async, [path] {
    ScratchRead r = ReadIntoScratch(path);
    return r;
  });
}

DataFileStatus OpenDataFile(const QString& path,
                            const std::function<std::unique_lock<std::mutex>()>& lockImages,
                            ImagesView* snapshot) {
  std::optional<ScratchRead> read = TakePrefetched(path);
  if (!read) read = ReadIntoScratch(path);
  if (read->status != DataFileStatus::Ok) return read->status;
  const auto& scratch = read->images;
  const auto& replaced = read->replaced;

  std::unique_lock<std::mutex> lock =
      lockImages ? lockImages() : std::unique_lock<std::mutex>(ImagesLock);
  // A lock that does not hold the mutex means the caller gave up waiting (the program
  // is closing): nothing is changed, and the file counts as not opened.
  if (!lock.owns_lock()) return DataFileStatus::CannotOpen;
  const auto from = FileOrder(*scratch);
  const auto to = FileOrder(Images);
  for (size_t b = 0; b < kBlocks; ++b) std::memcpy(to[b].data, from[b].data, replaced[b]);
  CountProcesses();
  if (snapshot) *snapshot = SnapshotImagesLocked();
  return DataFileStatus::Ok;
}

FileWriteResult WriteDataFile(const QString& path, const DeviceImages& images) {
  uint8_t header[kHeaderSize];
  std::memcpy(header, kDataFileSignature, sizeof kDataFileSignature);
  PutU32(header + 8, uint32_t(images.MaterialsBlock.size()));
  PutU32(header + 12, uint32_t(images.ObjectsBlock.size()));
  PutU32(header + 16, uint32_t(images.ParamBlock.size()));
  PutU32(header + 20, uint32_t(images.DataImage.size()));
  const std::array<std::pair<const uint8_t*, size_t>, 5> parts{{
      {header, sizeof header},
      {images.MaterialsBlock.data(), images.MaterialsBlock.size()},
      {images.ObjectsBlock.data(), images.ObjectsBlock.size()},
      {images.ParamBlock.data(), images.ParamBlock.size()},
      {images.DataImage.data(), images.DataImage.size()},
  }};
  AtomicFile file(path);
  for (const auto& [data, size] : parts) {
    if (!file.Write(data, size)) break;
  }
  // Nothing replaces the old file until everything is on disk.
  return file.Commit();
}

QString ProposedDataFileName(const QDateTime& now) { return ProposedFileName(now, u".zarn"); }

SaveNameDecision DecideSaveName(const QString& chosen) {
  return DecideSaveName(chosen, u".zarn", {u".mtzarn"});
}

QString DataDialogTypeChange(int filterIndex, QString& fileName) {
  // Any filter but the second behaves like the first.
  if (filterIndex != 2) return QStringLiteral("zarn");
  const QStringView ext = FileExtension(fileName);
  if (ext == u".zarn" || ext == u".") {
    fileName = fileName.left(fileName.size() - ext.size()) + QStringLiteral(".mtzarn");
  } else if (ext != u".mtzarn") {
    fileName += u".mtzarn";
  }
  return QStringLiteral("mtzarn");
}

}  // namespace zarn
