#include "device/devicelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "device/pipeio.h"

namespace zarn {

namespace {

bool WritableFolder(const QString& path) {
  const QFileInfo info(path);
  return !path.isEmpty() && info.isDir() && info.isWritable();
}

QString LockFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (WritableFolder(runtime)) return runtime;
  if (WritableFolder(QStringLiteral("/run/lock"))) return QStringLiteral("/run/lock");
  return QDir::tempPath();
}

}  // namespace

DeviceLockResult LockDescriptor(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return DeviceLockResult::Held;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? DeviceLockResult::InUse : DeviceLockResult::Unavailable;
  }
}

QString DeviceLockFile::PathFor(const QByteArray& key) {
  // A fixed-length name, whatever bytes the key holds.
  const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(20);
  return LockFolder() + QStringLiteral("/zarn26-device-") + QString::fromLatin1(hash) +
         QStringLiteral(".lock");
}

DeviceLockResult DeviceLockFile::Acquire(const QByteArray& key) {
  if (fd_ >= 0 && key_ == key) return DeviceLockResult::Held;
  Release();
  const QByteArray path = QFile::encodeName(PathFor(key));
  const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return DeviceLockResult::Held;
  const DeviceLockResult result = LockDescriptor(fd);
  if (result == DeviceLockResult::InUse) {
    ::close(fd);
    return result;
  }
  fd_ = fd;
  key_ = key;
  return DeviceLockResult::Held;
}

void DeviceLockFile::Release() {
  // Closing the descriptor drops the lock. The file stays: removing it could let two
  // programs lock two different files of the same name.
  pipeio::CloseFd(fd_);
  key_.clear();
}

}  // namespace zarn
