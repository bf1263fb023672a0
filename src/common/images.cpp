#include "images.h"

#include <QCoreApplication>
#include <QThread>

#include "bytes.h"

namespace zarn {

DeviceImages Images;
std::atomic<uint32_t> ProcessCount{0};
std::mutex ImagesLock;

DirectoryEntry GetDirectoryEntry(const uint8_t* paramBlock, uint32_t index) {
  const uint8_t* p = paramBlock + size_t(index) * kDirectoryEntrySize;
  return {GetU16(p), p[2], p[3]};
}

bool IsValidDirectoryEntry(const DirectoryEntry& e) {
  return e.offset >= 512 && e.page <= 127 && e.marker >= 1 && e.marker <= 33;
}

uint32_t CountProcesses(const uint8_t* paramBlock) {
  uint32_t count = 0;
  while (count < kDirectoryEntries && IsValidDirectoryEntry(GetDirectoryEntry(paramBlock, count)))
    ++count;
  return count;
}

ImagesView SnapshotImagesLocked() {
  return std::make_shared<const ImagesSnapshot>(Images, ProcessCount.load());
}

void CountProcesses() { ProcessCount.store(CountProcesses(Images.ParamBlock.data())); }

std::unique_lock<std::mutex> LockImagesServingEvents() {
  std::unique_lock<std::mutex> lock(ImagesLock, std::try_to_lock);
  while (!lock.owns_lock()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    if (!lock.try_lock()) QThread::msleep(1);
  }
  return lock;
}

}  // namespace zarn
