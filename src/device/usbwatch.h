#pragma once
// Whether anything changed in the USB file system that libusb 0.1 scans for devices
// since the last look: a device plugged in or out, its permissions changed (the udev
// rule granting access). The library's search opens every device node on every bus, 20
// times a second while the program looks for an absent instrument; with this watch the
// search is run only when there is something new to find.
//
// It watches, with inotify, the folder the library itself scans (the first of
// $USB_DEVFS_PATH, /dev/bus/usb and /proc/bus/usb that holds entries) and each bus
// folder in it. Where there is none, or it cannot be watched, every look counts as a
// change, so that nothing is ever missed.

#include <QByteArray>
#include <QByteArrayList>
#include <map>

namespace zarn {

class UsbFolderWatch {
 public:
  // The folders to choose from, in the library's order.
  static QByteArrayList DefaultCandidates();

  explicit UsbFolderWatch(QByteArrayList candidates = DefaultCandidates());
  ~UsbFolderWatch();
  UsbFolderWatch(const UsbFolderWatch&) = delete;
  UsbFolderWatch& operator=(const UsbFolderWatch&) = delete;

  // True when something changed since the last call (always the first time, and
  // always without a folder to watch). Never blocks.
  bool Changed();
  // Whether a folder is watched.
  bool Watching() const { return fd_ >= 0; }

 private:
  bool Start();
  void WatchBus(const QByteArray& path);

  QByteArrayList candidates_;
  QByteArray root_;
  int fd_ = -1;
  int rootWatch_ = -1;
  std::map<int, QByteArray> buses_;  // watch descriptor -> bus folder
  bool started_ = false;
};

}  // namespace zarn
