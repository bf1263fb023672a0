#pragma once
// The instrument's memory images: program-wide static buffers of fixed size, zero at
// start, alive for the whole run. The exchange loop fills them from the instrument,
// opening a data file fills them from the file, the windows read them.
//
// Ownership: whoever writes an image holds ImagesLock for the whole write (the
// exchange loop while a transfer state fills or sends a block; a data-file open while
// it copies its checked scratch buffers in). The main thread never blocks on the lock:
// it uses try_lock and keeps serving events between tries, because the loop waits on
// the main thread for every notification it hands over.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace zarn {

inline constexpr size_t kParamBlockSize = 10752;
inline constexpr size_t kMaterialsBlockSize = 1080;
inline constexpr size_t kObjectsBlockSize = 600;
inline constexpr size_t kDataPageSize = 65536;
inline constexpr size_t kDataPages = 128;
inline constexpr size_t kDataImageSize = kDataPageSize * kDataPages;  // 8 MiB
inline constexpr uint32_t kDirectoryEntries = 2688;                   // 4 bytes each
inline constexpr size_t kDirectoryEntrySize = 4;
inline constexpr size_t kProcessRecordSize = 8312;  // 92-byte header + 15 blows
inline constexpr size_t kProcessHeaderSize = 92;
inline constexpr size_t kBlowRecordSize = 548;
inline constexpr int kMaxBlows = 15;

struct DeviceImages {
  std::array<uint8_t, kParamBlockSize> ParamBlock{};
  std::array<uint8_t, kMaterialsBlockSize> MaterialsBlock{};
  std::array<uint8_t, kObjectsBlockSize> ObjectsBlock{};
  std::array<uint8_t, kDataImageSize> DataImage{};
};

// The program's one set of images.
extern DeviceImages Images;
// Number of valid directory entries in Images.ParamBlock (0..2688).
extern std::atomic<uint32_t> ProcessCount;
extern std::mutex ImagesLock;

// A copy of the images as one whole read (or one data file) left them, with its
// process count: what the windows show, print, copy and save. Taken under ImagesLock
// and never changed afterwards, so any thread may read it without a lock.
struct ImagesSnapshot {
  ImagesSnapshot(const DeviceImages& from, uint32_t count) : images(from), processCount(count) {}
  DeviceImages images;
  uint32_t processCount;
};
using ImagesView = std::shared_ptr<const ImagesSnapshot>;

// ImagesLock for the main thread. The worker holds the lock while a transfer fills the
// images and meanwhile waits for the main thread to apply its notifications: never
// block, serve them (but no user input) between tries.
std::unique_lock<std::mutex> LockImagesServingEvents();

// A snapshot of Images and ProcessCount. The caller holds ImagesLock.
ImagesView SnapshotImagesLocked();

// One directory entry of the ParamBlock.
struct DirectoryEntry {
  uint16_t offset;  // byte offset of the process within its page
  uint8_t page;     // 64 KiB page of the DataImage
  uint8_t marker;   // 1..33 for a valid entry
};
DirectoryEntry GetDirectoryEntry(const uint8_t* paramBlock, uint32_t index);
bool IsValidDirectoryEntry(const DirectoryEntry& entry);

// The length of the run of valid entries from entry 0 (0..2688); reads only the block.
uint32_t CountProcesses(const uint8_t* paramBlock);
// Sets ProcessCount from Images.ParamBlock.
void CountProcesses();

}  // namespace zarn
