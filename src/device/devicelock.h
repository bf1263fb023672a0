#pragma once
// Holding an instrument exclusively between programs. Two programs that talk to one
// instrument at once would interleave their commands on its byte stream and each take
// the other's replies for its own, so a program holds the instrument for as long as it
// has the link open, and a second one is told it is in use before it sends anything.
//
// The device itself is locked where the system allows it (an advisory flock on the
// pipe's descriptor); where it does not (libusb's device handle has no descriptor of
// ours, and a pipe file system may refuse flock), a lock file named after the device
// stands in. The locks are advisory: they keep this program's copies apart. The system
// drops them when the descriptor closes, so a program that dies holds nothing.

#include <QByteArray>
#include <QString>

namespace zarn {

enum class DeviceLockResult {
  Held,         // this program holds the device now
  InUse,        // another program holds it
  Unavailable,  // the system offers no lock here (the caller falls back to a lock file)
};

// An exclusive, non-blocking flock on an open descriptor.
DeviceLockResult LockDescriptor(int fd);

// A lock file for one device, named after a key that identifies it (a device path, or
// a USB bus and device number), in the first usable of $XDG_RUNTIME_DIR, /run/lock and
// the temporary folder. A file that cannot be made at all does not stop the program:
// Acquire then reports Held, as there is nothing better to go by.
class DeviceLockFile {
 public:
  DeviceLockFile() = default;
  ~DeviceLockFile() { Release(); }
  DeviceLockFile(const DeviceLockFile&) = delete;
  DeviceLockFile& operator=(const DeviceLockFile&) = delete;

  // Held (also when this object already holds `key`) or InUse. Holding another key
  // releases it first.
  DeviceLockResult Acquire(const QByteArray& key);
  void Release();
  bool IsHeld() const { return fd_ >= 0; }

  // The lock file's path for `key`.
  static QString PathFor(const QByteArray& key);

 private:
  int fd_ = -1;
  QByteArray key_;
};

}  // namespace zarn
