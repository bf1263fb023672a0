#include "device/usbwatch.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zarn {
namespace {

constexpr uint32_t kBusEvents = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF;

// A folder with at least one entry other than "." and "..": how the library tells its
// USB file system.
bool HoldsEntries(const QByteArray& path) {
  DIR* dir = ::opendir(path.constData());
  if (!dir) return false;
  bool found = false;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

QByteArrayList UsbFolderWatch::DefaultCandidates() {
  QByteArrayList candidates;
  if (const char* env = std::getenv("USB_DEVFS_PATH"); env && *env) candidates << QByteArray(env);
  candidates << QByteArrayLiteral("/dev/bus/usb") << QByteArrayLiteral("/proc/bus/usb");
  return candidates;
}

UsbFolderWatch::UsbFolderWatch(QByteArrayList candidates) : candidates_(std::move(candidates)) {}

UsbFolderWatch::~UsbFolderWatch() {
  if (fd_ >= 0) ::close(fd_);
}

bool UsbFolderWatch::Start() {
  for (const QByteArray& candidate : candidates_) {
    if (HoldsEntries(candidate)) {
      root_ = candidate;
      break;
    }
  }
  if (root_.isEmpty()) return false;
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return false;
  rootWatch_ = ::inotify_add_watch(fd_, root_.constData(), kBusEvents | IN_ONLYDIR);
  if (rootWatch_ < 0) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  if (DIR* dir = ::opendir(root_.constData())) {
    while (dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') WatchBus(root_ + '/' + entry->d_name);
    ::closedir(dir);
  }
  return true;
}

void UsbFolderWatch::WatchBus(const QByteArray& path) {
  const int wd = ::inotify_add_watch(fd_, path.constData(), kBusEvents | IN_ONLYDIR);
  if (wd >= 0) buses_[wd] = path;
}

bool UsbFolderWatch::Changed() {
  if (!started_) {
    started_ = true;
    Start();
    return true;  // the first search always runs
  }
  if (fd_ < 0) return true;
  bool changed = false;
  bool lost = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EAGAIN: nothing more
    changed = true;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      // A new bus folder is watched as well; a gone one drops its watch by itself.
      if (event->wd == rootWatch_ && (event->mask & (IN_CREATE | IN_MOVED_TO)) && event->len > 0 &&
          event->name[0] != '.')
        WatchBus(root_ + '/' + event->name);
      if (event->mask & IN_IGNORED) buses_.erase(event->wd);
      // The folder itself went: look for it afresh next time.
      if (event->wd == rootWatch_ && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)))
        lost = true;
      at += ssize_t(sizeof(inotify_event) + event->len);
    }
  }
  if (lost) {
    ::close(fd_);
    fd_ = -1;
    rootWatch_ = -1;
    buses_.clear();
    root_.clear();
    started_ = false;
  }
  return changed;
}

}  // namespace zarn
