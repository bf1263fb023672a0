#pragma once
// Small file systems made for one test: a tmpfs of a few KiB (a full disk) or a
// read-only one, mounted in a mount namespace of the test process's own, so that
// nothing is seen outside it and everything goes when the process ends. Needs the
// right to mount (root in most containers); the tests skip when it is missing.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <sched.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <unistd.h>

namespace zarn::testing {

inline bool OwnMountNamespace() {
  static const bool ok = ::unshare(CLONE_NEWNS) == 0 &&
                         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return ok;
}

// A tmpfs of `kib` KiB mounted at the existing folder `path` for as long as it lives,
// read-only when asked (after `fill` ran on it while it was writable). Mounted() is
// false when mounting is not allowed.
class SmallDisk {
 public:
  template <typename Fill>
  SmallDisk(const QString& path, int kib, bool readOnly, Fill fill) : where_(QFile::encodeName(path)) {
    if (!OwnMountNamespace()) return;
    const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0777";
    if (::mount("tmpfs", where_.constData(), "tmpfs", 0, options.constData()) != 0) return;
    mounted_ = true;
    fill();
    if (readOnly && ::mount(nullptr, where_.constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                            options.constData()) != 0)
      Unmount();
  }
  SmallDisk(const QString& path, int kib) : SmallDisk(path, kib, false, [] {}) {}
  ~SmallDisk() { Unmount(); }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  void Unmount() {
    if (mounted_) ::umount2(where_.constData(), MNT_DETACH);
    mounted_ = false;
  }
  QByteArray where_;
  bool mounted_ = false;
};

// Runs `action` with the file-system rights of an ordinary user when the test runs as
// root, so that permissions are enforced; as anyone else it just runs it.
template <typename Action>
auto AsOrdinaryUser(Action action) {
  const bool root = ::geteuid() == 0;
  if (root) ::setfsuid(65534);
  struct Restore {
    bool root;
    ~Restore() {
      if (root) ::setfsuid(0);
    }
  } restore{root};
  return action();
}

}  // namespace zarn::testing
