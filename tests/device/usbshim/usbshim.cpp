// A test-only stand-in for libusb 0.1 (soname libusb-0.1.so.4): the calls the program's
// LibusbTransport makes, over a simulated bus described in a text file (see
// usbshim_hooks.h). Bulk transfers reach a zarn26-sim device folder through its FIFOs:
// opening the pipes is one connection of the simulator, usb_close ends it.
//
// Built twice: complete, and with ZARN_USBSHIM_PARTIAL without usb_bulk_read, for the
// "entry point missing" case.

#include <fcntl.h>
#include <sys/stat.h>
#include <usb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "device/pipeio.h"
#include "usbshim_hooks.h"

using zarn::pipeio::Outcome;

struct usb_dev_handle {
  std::string path;
  int configResult = 0;
  int claimResult = 0;
  int readFd = -1;   // Pipe01, opened by the first transfer
  int writeFd = -1;  // Pipe00
};

// Declared by <usb.h> outside its extern "C" block; a global variable's name is not
// decorated either way.
struct usb_bus* usb_busses = nullptr;

namespace {

struct DeviceLine {
  std::string bus;
  std::string device;
  unsigned vendor = 0;
  unsigned product = 0;
  std::string path;
  int openErrno = 0;
  int configResult = 0;
  int claimResult = 0;
  std::string identity;  // changes when the device is unplugged and plugged in again
};

struct Shim {
  std::mutex mutex;
  bool initialised = false;
  std::vector<std::unique_ptr<usb_bus>> buses;
  std::vector<std::unique_ptr<struct usb_device>> devices;
  std::map<const struct usb_device*, DeviceLine> lines;
  std::set<std::string> lastBuses;
  std::set<std::string> lastDevices;
  std::set<usb_dev_handle*> handles;
  ZarnShimStats stats{};
};

// Never destroyed: the program may close its handle from a static destructor of its
// own, after ours would have run.
Shim& State() {
  alignas(Shim) static unsigned char storage[sizeof(Shim)];
  static Shim* const shim = ::new (storage) Shim();
  return *shim;
}

// The identity of a device folder's pipes, or empty when one is missing.
std::string PipeIdentity(const std::string& path) {
  std::string identity;
  for (const char* name : {"/Pipe00", "/Pipe01"}) {
    struct stat info {};
    if (::stat((path + name).c_str(), &info) != 0) return {};
    if (!S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode)) return {};
    identity += ' ' + std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' +
                std::to_string(info.st_ctim.tv_sec) + '.' + std::to_string(info.st_ctim.tv_nsec);
  }
  return identity;
}

// The bus file's lines; devices whose pipes are gone are left out.
std::vector<DeviceLine> ReadBusFile(std::vector<std::string>& busNames) {
  std::vector<DeviceLine> present;
  const char* file = std::getenv("ZARN_USBSHIM_BUS");
  if (!file) return present;
  std::ifstream in(file);
  std::string text;
  while (std::getline(in, text)) {
    text = text.substr(0, text.find('#'));
    std::istringstream fields(text);
    DeviceLine line;
    std::string vendor, product;
    if (!(fields >> line.bus >> line.device >> vendor >> product >> line.path)) continue;
    line.vendor = unsigned(std::strtoul(vendor.c_str(), nullptr, 16));
    line.product = unsigned(std::strtoul(product.c_str(), nullptr, 16));
    std::string option;
    while (fields >> option) {
      const auto eq = option.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = option.substr(0, eq);
      const int value = std::atoi(option.c_str() + eq + 1);
      if (key == "open") line.openErrno = value;
      if (key == "config") line.configResult = value;
      if (key == "claim") line.claimResult = value;
    }
    if (std::find(busNames.begin(), busNames.end(), line.bus) == busNames.end())
      busNames.push_back(line.bus);
    line.identity = line.bus + ' ' + line.device + ' ' + vendor + ' ' + product + ' ' + line.path;
    if (line.path != "-") {
      const std::string pipes = PipeIdentity(line.path);
      if (pipes.empty()) continue;  // unplugged
      line.identity += pipes;
    }
    present.push_back(line);
  }
  return present;
}

void CopyName(char* field, size_t size, const std::string& name) {
  std::snprintf(field, size, "%s", name.c_str());
}

// Builds the bus and device records afresh from the file; returns the number of buses
// and of devices that appeared or went since the previous snapshot.
void Rescan(Shim& shim, int& busChanges, int& deviceChanges) {
  std::vector<std::string> busNames;
  const std::vector<DeviceLine> lines = ReadBusFile(busNames);

  const std::set<std::string> buses(busNames.begin(), busNames.end());
  std::set<std::string> devices;
  for (const DeviceLine& line : lines) devices.insert(line.identity);
  auto differences = [](const std::set<std::string>& a, const std::set<std::string>& b) {
    int count = 0;
    for (const std::string& x : a) count += b.count(x) == 0;
    for (const std::string& x : b) count += a.count(x) == 0;
    return count;
  };
  busChanges = differences(shim.lastBuses, buses);
  deviceChanges = differences(shim.lastDevices, devices);
  shim.lastBuses = buses;
  shim.lastDevices = devices;

  shim.lines.clear();
  shim.devices.clear();
  shim.buses.clear();
  usb_bus* previousBus = nullptr;
  for (const std::string& name : busNames) {
    auto bus = std::make_unique<usb_bus>();
    std::memset(bus.get(), 0, sizeof(usb_bus));
    CopyName(bus->dirname, sizeof bus->dirname, name);
    bus->prev = previousBus;
    if (previousBus) previousBus->next = bus.get();
    previousBus = bus.get();
    struct usb_device* previousDevice = nullptr;
    for (const DeviceLine& line : lines) {
      if (line.bus != name) continue;
      auto device = std::make_unique<struct usb_device>();
      std::memset(device.get(), 0, sizeof(struct usb_device));
      CopyName(device->filename, sizeof device->filename, line.device);
      device->bus = bus.get();
      device->descriptor.bLength = 18;
      device->descriptor.bDescriptorType = 1;
      device->descriptor.idVendor = uint16_t(line.vendor);
      device->descriptor.idProduct = uint16_t(line.product);
      device->descriptor.bNumConfigurations = 1;
      device->devnum = uint8_t(std::atoi(line.device.c_str()));
      device->prev = previousDevice;
      if (previousDevice) previousDevice->next = device.get();
      else bus->devices = device.get();
      previousDevice = device.get();
      shim.lines[device.get()] = line;
      shim.devices.push_back(std::move(device));
    }
    shim.buses.push_back(std::move(bus));
  }
  usb_busses = shim.buses.empty() ? nullptr : shim.buses.front().get();
}

bool LiveHandle(Shim& shim, usb_dev_handle* handle) {
  return handle && shim.handles.count(handle) != 0;
}

// Opens the device folder's pipes for the first transfer of a handle: the read side
// first, so that the simulator always has somewhere to answer.
int EnsurePipes(usb_dev_handle* handle) {
  if (handle->readFd >= 0 && handle->writeFd >= 0) return 0;
  if (handle->path == "-") return -EIO;
  handle->readFd = zarn::pipeio::OpenNonBlocking((handle->path + "/Pipe01").c_str(), O_RDONLY);
  if (handle->readFd >= 0)
    handle->writeFd = zarn::pipeio::OpenNonBlocking((handle->path + "/Pipe00").c_str(), O_WRONLY);
  if (handle->writeFd < 0) {
    zarn::pipeio::CloseFd(handle->readFd);
    return -ENODEV;
  }
  return 0;
}

// Linux's libusb: a transfer that does not finish in time is cancelled and reported as
// -ETIMEDOUT, whatever part of it had moved; a device that went away gives -ENODEV.
int TransferResult(const zarn::pipeio::Result& result, int size) {
  switch (result.outcome) {
    case Outcome::Ok:
      return size;
    case Outcome::TimedOut:
      return -ETIMEDOUT;
    case Outcome::Closed:
      return -ENODEV;
    default:
      return -EIO;
  }
}

}  // namespace

extern "C" {

void usb_init(void) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  shim.initialised = true;
  ++shim.stats.inits;
}

int usb_find_busses(void) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  int busChanges = 0, deviceChanges = 0;
  const std::set<std::string> devicesBefore = shim.lastDevices;
  Rescan(shim, busChanges, deviceChanges);
  shim.lastDevices = devicesBefore;  // usb_find_devices reports those
  return busChanges;
}

int usb_find_devices(void) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  int busChanges = 0, deviceChanges = 0;
  const std::set<std::string> busesBefore = shim.lastBuses;
  Rescan(shim, busChanges, deviceChanges);
  shim.lastBuses = busesBefore;
  return deviceChanges;
}

struct usb_bus* usb_get_busses(void) { return usb_busses; }

usb_dev_handle* usb_open(struct usb_device* device) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  const auto line = shim.lines.find(device);
  if (line == shim.lines.end()) {
    errno = ENODEV;
    return nullptr;
  }
  if (line->second.openErrno != 0) {
    errno = line->second.openErrno;
    return nullptr;
  }
  auto* handle = new usb_dev_handle;
  handle->path = line->second.path;
  handle->configResult = line->second.configResult;
  handle->claimResult = line->second.claimResult;
  shim.handles.insert(handle);
  ++shim.stats.opens;
  shim.stats.liveHandles = int(shim.handles.size());
  CopyName(shim.stats.lastOpenedPath, sizeof shim.stats.lastOpenedPath, handle->path);
  return handle;
}

int usb_close(usb_dev_handle* handle) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  if (!LiveHandle(shim, handle)) return -EINVAL;
  zarn::pipeio::CloseFd(handle->readFd);
  zarn::pipeio::CloseFd(handle->writeFd);
  shim.handles.erase(handle);
  delete handle;
  ++shim.stats.closes;
  shim.stats.liveHandles = int(shim.handles.size());
  return 0;
}

int usb_set_configuration(usb_dev_handle* handle, int configuration) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  if (!LiveHandle(shim, handle)) return -EINVAL;
  shim.stats.lastConfiguration = configuration;
  return handle->configResult;
}

int usb_claim_interface(usb_dev_handle* handle, int interface) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  if (!LiveHandle(shim, handle)) return -EINVAL;
  shim.stats.lastInterface = interface;
  return handle->claimResult;
}

#ifndef ZARN_TEST_TIME_SCALE
#define ZARN_TEST_TIME_SCALE 1
#endif
// A sanitized build's simulator answers several times slower than the instrument; the
// stand-in gives it that much longer than the time-out the program asks for (which is
// what the statistics keep).
constexpr int kTimeScale = ZARN_TEST_TIME_SCALE;

int usb_bulk_write(usb_dev_handle* handle, int ep, const char* bytes, int size, int timeout) {
  Shim& shim = State();
  {
    std::lock_guard lock(shim.mutex);
    if (!LiveHandle(shim, handle)) return -EINVAL;
    shim.stats.lastWriteEndpoint = ep;
    shim.stats.lastWriteTimeout = timeout;
  }
  if (ep != 0x01 || size < 0 || (size > 0 && !bytes)) return -EINVAL;
  if (size == 0) return 0;
  if (const int opened = EnsurePipes(handle); opened < 0) return opened;
  const auto result =
      zarn::pipeio::WriteFull(handle->writeFd, reinterpret_cast<const uint8_t*>(bytes),
                              size_t(size), timeout * kTimeScale, zarn::pipeio::Deadline::WholeCall);
  return TransferResult(result, size);
}

#ifndef ZARN_USBSHIM_PARTIAL
int usb_bulk_read(usb_dev_handle* handle, int ep, char* bytes, int size, int timeout) {
  Shim& shim = State();
  {
    std::lock_guard lock(shim.mutex);
    if (!LiveHandle(shim, handle)) return -EINVAL;
    shim.stats.lastReadEndpoint = ep;
    shim.stats.lastReadTimeout = timeout;
  }
  if (ep != 0x82 || size < 0 || (size > 0 && !bytes)) return -EINVAL;
  if (size == 0) return 0;
  if (const int opened = EnsurePipes(handle); opened < 0) return opened;
  const auto result = zarn::pipeio::ReadFull(handle->readFd, reinterpret_cast<uint8_t*>(bytes),
                                             size_t(size), timeout * kTimeScale,
                                             zarn::pipeio::Deadline::WholeCall);
  return TransferResult(result, size);
}
#endif

void zarnshim_stats(struct ZarnShimStats* stats) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  *stats = shim.stats;
}

void zarnshim_reset(void) {
  Shim& shim = State();
  std::lock_guard lock(shim.mutex);
  shim.lastBuses.clear();
  shim.lastDevices.clear();
  shim.lines.clear();
  shim.devices.clear();
  shim.buses.clear();
  usb_busses = nullptr;
  shim.stats = ZarnShimStats{};
  shim.stats.liveHandles = int(shim.handles.size());
}

}  // extern "C"
