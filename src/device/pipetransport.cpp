#include "device/pipetransport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "device/devicelock.h"
#include "device/pipeio.h"

namespace zarn {

namespace {

bool IsPipeFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The names of the device folders in one class folder, in ascending byte order.
std::vector<std::string> DeviceFolders(const std::string& classFolder) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(classFolder.c_str()), &::closedir);
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string folder = classFolder + '/' + name;
    if (!IsFolder(folder)) continue;
    if (!IsPipeFile(folder + '/' + PipeTransport::kPipeOut)) continue;
    if (!IsPipeFile(folder + '/' + PipeTransport::kPipeIn)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());  // char_traits<char> compares as unsigned bytes
  return names;
}

std::string RootBytes(const QString& root) {
  std::string bytes = QFile::encodeName(root).toStdString();
  while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
  return bytes;
}

}  // namespace

QStringList PipeTransport::DefaultRoots() {
  QStringList roots{QStringLiteral("/run/zarn26")};
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) roots.append(runtime + QStringLiteral("/zarn26"));
  return roots;
}

PipeTransport::PipeTransport(QStringList roots)
    : roots_(std::move(roots)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PipeTransport::~PipeTransport() {
  TransportClose();
  pipeio::CloseFd(wakeFd_);
}

void PipeTransport::Interrupt() {
  if (wakeFd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

void PipeTransport::ClearInterrupt() {
  if (wakeFd_ < 0) return;
  uint64_t value = 0;
  [[maybe_unused]] const auto n = ::read(wakeFd_, &value, sizeof value);
}

uint32_t PipeTransport::Enumerate(QByteArray& list) {
  list.clear();
  uint32_t found = 0;
  for (const QString& root : roots_) {
    if (root.isEmpty()) continue;
    std::string classFolder = RootBytes(root);
    if (classFolder != "/") classFolder += '/';
    classFolder += kClassFolder;
    for (const std::string& name : DeviceFolders(classFolder)) {
      list.append(classFolder.data(), qsizetype(classFolder.size()));
      list.append('/');
      list.append(name.data(), qsizetype(name.size()));
      list.append('\n');
      ++found;
    }
  }
  return found;
}

int PipeTransport::Open(QByteArrayView path) {
  if (opened_) return 0;
  const std::string folder(path.data(), size_t(path.size()));
  const std::string inPath = folder + '/' + kPipeIn;
  const std::string outPath = folder + '/' + kPipeOut;
  // The read side first: opening a FIFO for reading never waits for a writer. The write
  // side then fails at once with ENXIO when nobody serves the device, instead of
  // waiting for a reader that may never come. Both stay non-blocking; every transfer
  // waits with poll under the time-out.
  // The device is held before a byte is written: a second program gets "in use" and
  // sends nothing. Its lock file first (it also covers a pipe that cannot be locked, and
  // outlives the pipes while the link is held between transfers), then the pipes.
  if (lockFile_.Acquire(QByteArray::fromStdString(folder)) == DeviceLockResult::InUse)
    return kPipeOpenInUse;
  readFd_ = pipeio::OpenNonBlocking(inPath.c_str(), O_RDONLY);
  int error = readFd_ < 0 ? errno : 0;
  if (error == 0 && !Hold(readFd_)) error = kPipeOpenInUse;
  if (error == 0) {
    writeFd_ = pipeio::OpenNonBlocking(outPath.c_str(), O_WRONLY);
    if (writeFd_ < 0) error = errno;
  }
  if (error == 0 && !Hold(writeFd_)) error = kPipeOpenInUse;
  if (error != 0) {
    TransportClose();
    return error;
  }
  opened_ = true;
  return 0;
}

bool PipeTransport::Hold(int fd) {
  // A pipe that cannot be locked itself is covered by the lock file.
  return LockDescriptor(fd) != DeviceLockResult::InUse;
}

int PipeTransport::TransportClose() {
  // Closing the descriptors drops their locks.
  pipeio::CloseFd(readFd_);
  pipeio::CloseFd(writeFd_);
  if (!holdBetween_) lockFile_.Release();
  opened_ = false;
  return 0;
}

uint16_t PipeTransport::TransportWrite(const uint8_t* bytes, uint32_t count) {
  if (!opened_ || writeFd_ < 0) return kPipeNotOpen;
  if (count == 0 || bytes == nullptr) return kPipeBadArgument;
  const pipeio::Result result = pipeio::WriteFull(writeFd_, bytes, count, Timeout(),
                                                  pipeio::Deadline::SinceProgress, wakeFd_);
  return result.outcome == pipeio::Outcome::Ok ? kPipeOk : kPipeIoFailure;
}

uint16_t PipeTransport::TransportRead(uint8_t* buffer, uint32_t count) {
  if (!opened_ || readFd_ < 0) return kPipeNotOpen;
  if (count == 0 || buffer == nullptr) return kPipeBadArgument;
  // Bytes received before a failure stay in the buffer.
  const pipeio::Result result = pipeio::ReadFull(readFd_, buffer, count, Timeout(),
                                                 pipeio::Deadline::SinceProgress, wakeFd_);
  return result.outcome == pipeio::Outcome::Ok ? kPipeOk : kPipeIoFailure;
}

void PipeTransport::SetTimeout(int milliseconds) {
  timeoutMs_.store(std::max(1, milliseconds), std::memory_order_relaxed);
}

int PipeTransport::Timeout() const { return timeoutMs_.load(std::memory_order_relaxed); }

PipeTransport& ThePipeTransport() {
  static PipeTransport transport;
  return transport;
}

}  // namespace zarn
