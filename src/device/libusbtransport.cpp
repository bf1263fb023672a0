#include "device/libusbtransport.h"

#include <dlfcn.h>
#include <usb.h>  // the library's bus and device records; the library itself is not linked

#include <QFileInfo>
#include <cerrno>
#include <new>

#include "common/texts.h"
#include "device/devicelock.h"
#include "device/linksink.h"

namespace zarn {

namespace {

// The library's texts for its error numbers. Most have a Russian and an English form;
// where the library's own text was kept, both languages carry it.
struct ErrorEntry {
  int code;
  TextPair text;
};

constexpr ErrorEntry kErrorTexts[] = {
    {0, {u"", u""}},
    {-1, {u"LibUsb: Операция запрещена", u"LibUsb: Operation not permitted"}},
    {-2, {u"LibUsb: Нет такого файла или папки",
          u"LibUsb: No entry, ENOFILE, no such file or directory"}},
    {-3, {u"LibUsb: Нет такого процесса", u"LibUsb: No such process"}},
    {-4, {u"LibUsb: Прерванный вызов функции", u"LibUsb: Interrupted function call"}},
    {-5, {u"LibUsb: Ошибка ввода/вывода", u"LibUsb: I/O error"}},
    {-6, {u"LibUsb: Нет такого устройства или адреса", u"LibUsb: No such device or address"}},
    {-7, {u"LibUsb: Слишком длинный список аргументов", u"LibUsb: Arg list too long"}},
    {-8, {u"LibUsb: Ошибка формата", u"LibUsb: Exec format error"}},
    {-9, {u"LibUsb: Неверный дескриптор", u"LibUsb: Bad file descriptor"}},
    {-10, {u"LibUsb: Нет порожденных процессов", u"LibUsb: No child processes"}},
    {-11, {u"LibUsb: Ресурс временно недоступен", u"LibUsb: Resource temporarily unavailable"}},
    {-12, {u"LibUsb: Не хватает места", u"LibUsb: Not enough space"}},
    {-13, {u"LibUsb: Доступ запрещен", u"LibUsb: Permission denied"}},
    {-14, {u"LibUsb: Неверный адрес", u"LibUsb: Bad address"}},
    {-16, {u"LibUsb: strerror reports \"Resource device\"",
           u"LibUsb: strerror reports \"Resource device\""}},
    {-17, {u"LibUsb: Файл существует", u"LibUsb: File exists"}},
    {-18, {u"LibUsb: Неправильная ссылка", u"LibUsb: Improper link (cross-device link?)"}},
    {-19, {u"LibUsb: Нет такого устройства", u"LibUsb: No such device"}},
    {-20, {u"LibUsb: Нет такой папки", u"LibUsb: Not a directory"}},
    {-21, {u"LibUsb: Is a directory", u"LibUsb: Is a directory"}},
    {-22, {u"LibUsb: Неправильный аргумент", u"LibUsb: Invalid argument"}},
    {-23, {u"LibUsb: Слишком много открытых файлов в системе",
           u"LibUsb: Too many open files in system"}},
    {-24, {u"LibUsb: Слишком много открытых файлов", u"LibUsb: Too many open files"}},
    {-25, {u"LibUsb: Неправильная операция ввода/вывода",
           u"LibUsb: Inappropriate I/O control operation"}},
    {-27, {u"LibUsb: Файл слишком велик", u"LibUsb: File too large"}},
    {-28, {u"LibUsb: Нет свободного места на устройстве", u"LibUsb: No space left on device"}},
    {-29, {u"LibUsb: Invalid seek (seek on a pipe?)", u"LibUsb: Invalid seek (seek on a pipe?)"}},
    {-30, {u"LibUsb: Файловая система только для чтения", u"LibUsb: Read-only file system"}},
    {-31, {u"LibUsb: Слишком много ссылок", u"LibUsb: Too many links"}},
    {-32, {u"LibUsb: Обрыв в канале", u"LibUsb: Broken pipe"}},
    {-33, {u"LibUsb: Domain error (math functions)", u"LibUsb: Domain error (math functions)"}},
    {-34, {u"LibUsb: Результат слишком велик (или мал)",
           u"LibUsb: Result too large (possibly too small)"}},
    {-38, {u"LibUsb: Слишком длинное имя файла", u"LibUsb: Filename too long"}},
    {-41, {u"LibUsb: Папка не пуста", u"LibUsb: Directory not empty"}},
    {-116, {u"LibUsb: Тайм-аут", u"LibUsb: Time-out"}},
    // Linux's libusb reports a transfer time-out as -ETIMEDOUT, which is 110 here.
    {-110, {u"LibUsb: Тайм-аут", u"LibUsb: Time-out"}},
};

constexpr TextPair kNotConnected{
    u"Прибор не подключен к шине USB или выключен. Включите прибор, подключите его к шине USB и "
    u"перезапустите программу.",
    u"The instrument is not connected to the USB bus or is switched off. Switch the instrument "
    u"on, connect it to the USB bus and restart the program."};

constexpr TextPair kRuleMissing{u" (не установлено правило udev %1)",
                                u" (the udev rule %1 is not installed)"};

}  // namespace

// The loaded library: its handle (closed when this goes) and the ten entry points the
// transport calls.
struct LibusbTransport::Library {
  using InitFn = void (*)();
  using FindFn = int (*)();
  using GetBussesFn = usb_bus* (*)();
  using OpenFn = usb_dev_handle* (*)(struct usb_device*);
  using CloseFn = int (*)(usb_dev_handle*);
  using SetIntFn = int (*)(usb_dev_handle*, int);
  using BulkWriteFn = int (*)(usb_dev_handle*, int, const char*, int, int);
  using BulkReadFn = int (*)(usb_dev_handle*, int, char*, int, int);

  struct DlHandle {
    void* handle = nullptr;
    DlHandle() = default;
    DlHandle(const DlHandle&) = delete;
    DlHandle& operator=(const DlHandle&) = delete;
    ~DlHandle() {
      if (handle) dlclose(handle);
    }
  } dl;

  InitFn usb_init = nullptr;
  FindFn usb_find_busses = nullptr;
  FindFn usb_find_devices = nullptr;
  GetBussesFn usb_get_busses = nullptr;
  OpenFn usb_open = nullptr;
  SetIntFn usb_set_configuration = nullptr;
  SetIntFn usb_claim_interface = nullptr;
  BulkWriteFn usb_bulk_write = nullptr;
  BulkReadFn usb_bulk_read = nullptr;
  CloseFn usb_close = nullptr;

  template <typename Fn>
  bool Resolve(Fn& entry, const char* name) {
    entry = reinterpret_cast<Fn>(dlsym(dl.handle, name));
    return entry != nullptr;
  }

  bool ResolveAll() {
    return Resolve(usb_init, "usb_init") && Resolve(usb_find_busses, "usb_find_busses") &&
           Resolve(usb_find_devices, "usb_find_devices") &&
           Resolve(usb_get_busses, "usb_get_busses") && Resolve(usb_open, "usb_open") &&
           Resolve(usb_set_configuration, "usb_set_configuration") &&
           Resolve(usb_claim_interface, "usb_claim_interface") &&
           Resolve(usb_bulk_write, "usb_bulk_write") && Resolve(usb_bulk_read, "usb_bulk_read") &&
           Resolve(usb_close, "usb_close");
  }
};

LibusbTransport::LibusbTransport(QByteArray libraryName) : libraryName_(std::move(libraryName)) {}

LibusbTransport::~LibusbTransport() {
  TransportClose();
  library_.reset();
}

bool LibusbTransport::IsLoaded() const { return library_ != nullptr; }

int LibusbTransport::Load() {
  if (library_) return 0;
  auto library = std::make_unique<Library>();
  library->dl.handle = dlopen(libraryName_.constData(), RTLD_NOW | RTLD_LOCAL);
  if (!library->dl.handle) return 1;
  if (!library->ResolveAll()) return 2;  // the library is closed again with `library`
  library->usb_init();
  library_ = std::move(library);
  return 0;
}

QStringList LibusbTransport::DefaultRuleFolders() {
  return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/usr/lib/udev/rules.d"),
          QStringLiteral("/lib/udev/rules.d")};
}

void LibusbTransport::ShowMessage(LinkSink& sink, const Phrase& text) {
  sink.StatusText(0, text);
  sink.ProgressHide();
}

Phrase LibusbTransport::AccessHint(int code) const {
  // Refused access to the device node is almost always a missing udev rule.
  if (code != -EPERM && code != -EACCES) return {};
  for (const QString& folder : ruleFolders_) {
    if (QFileInfo::exists(folder + u'/' + QLatin1StringView(kUdevRuleName))) return {};
  }
  return Phrase(kRuleMissing, {QString::fromLatin1(kUdevRuleName)});
}

void LibusbTransport::DropDevice() {
  // The handle is closed before it is dropped, also when its device has gone: the
  // library then only releases its descriptor and memory, and its result is ignored.
  if (device_ && library_) library_->usb_close(static_cast<usb_dev_handle*>(device_));
  device_ = nullptr;
  if (!holdBetween_) lockFile_.Release();
}

int LibusbTransport::TransportOpen(LinkSink& sink) {
  if (!library_) return kUsbNotFound;
  if (searchOnChanges_ && !device_) {
    if (!watch_) watch_ = std::make_unique<UsbFolderWatch>();
    // Nothing new on the buses since a search found no instrument: the same answer,
    // without the library opening every device node again.
    const bool changed = watch_->Changed();
    if (!changed && lastSearchFoundNone_ && ++searchesSkipped_ < kFullSearchEvery) {
      ShowMessage(sink, NotConnectedPhrase());
      return kUsbNotFound;
    }
  }
  searchesSkipped_ = 0;
  const int busChanges = library_->usb_find_busses();
  const int deviceChanges = library_->usb_find_devices();

  struct usb_device* instrument = nullptr;
  for (usb_bus* bus = library_->usb_get_busses(); bus && !instrument; bus = bus->next) {
    for (struct usb_device* device = bus->devices; device; device = device->next) {
      if (device->descriptor.idVendor == kVendorId && device->descriptor.idProduct == kProductId) {
        instrument = device;
        break;
      }
    }
  }

  lastSearchFoundNone_ = instrument == nullptr;
  if (!instrument) {
    DropDevice();
    ShowMessage(sink, NotConnectedPhrase());
    return kUsbNotFound;
  }
  if (busChanges == 0 && deviceChanges == 0 && device_) return kUsbOpened;

  // Something changed on the buses: open the instrument afresh. The old handle is
  // closed first, or its claim on interface 0 would make the new claim fail as busy.
  DropDevice();
  // Held before it is opened: a second program is told "in use" and sends nothing. The
  // interface claim below refuses a second program on most systems too; the lock file
  // also covers those where it does not.
  const QByteArray key = QByteArrayLiteral("usb:") + QByteArray(instrument->bus->dirname) + '/' +
                         QByteArray(instrument->filename);
  if (lockFile_.Acquire(key) == DeviceLockResult::InUse) return kUsbInUse;
  errno = 0;
  usb_dev_handle* handle = library_->usb_open(instrument);
  if (!handle) {
    const int code = errno > 0 ? -errno : -EIO;
    if (!holdBetween_) lockFile_.Release();
    ShowMessage(sink, ErrorPhrase(code) + AccessHint(code));
    return kUsbNotFound;
  }
  device_ = handle;

  const int configured = library_->usb_set_configuration(handle, kConfiguration);
  if (configured < 0)
    ShowMessage(sink, ErrorPhrase(configured) + AccessHint(configured));
  const int claimed = library_->usb_claim_interface(handle, kInterface);
  if (claimed == -EBUSY) {
    // Another program has claimed the interface.
    DropDevice();
    return kUsbInUse;
  }
  if (claimed < 0)
    ShowMessage(sink, ErrorPhrase(claimed) + AccessHint(claimed));
  return kUsbOpened;
}

void LibusbTransport::TransportClose() { DropDevice(); }

int LibusbTransport::TransportWrite(const uint8_t* bytes, int count) {
  if (!device_ || !library_) return -ENODEV;
  if (count < 0 || (count > 0 && !bytes)) return -EINVAL;
  return library_->usb_bulk_write(static_cast<usb_dev_handle*>(device_), kEndpointOut,
                                  reinterpret_cast<const char*>(bytes), count,
                                  kTransferTimeoutMs);
}

int LibusbTransport::TransportRead(uint8_t* buffer, int count) {
  if (!device_ || !library_) return -ENODEV;
  if (count < 0 || (count > 0 && !buffer)) return -EINVAL;
  return library_->usb_bulk_read(static_cast<usb_dev_handle*>(device_), kEndpointIn,
                                 reinterpret_cast<char*>(buffer), count, kTransferTimeoutMs);
}

Phrase LibusbTransport::ErrorPhrase(int code) {
  for (const ErrorEntry& entry : kErrorTexts) {
    if (entry.code == code) return code == 0 ? Phrase() : Phrase(entry.text);
  }
  return QStringLiteral("LibUsb: Error ") + QString::number(code);
}

Phrase LibusbTransport::NotConnectedPhrase() { return kNotConnected; }

LibusbTransport& TheLibusbTransport() {
  // Never torn down: at exit the library may already be finalising itself, and a last
  // usb_close from a static destructor would call into it. The system releases the
  // device when the process ends.
  alignas(LibusbTransport) static unsigned char storage[sizeof(LibusbTransport)];
  static LibusbTransport* const transport = [] {
    auto* t = ::new (storage) LibusbTransport();
    t->SearchOnlyOnChanges(true);
    return t;
  }();
  return *transport;
}

}  // namespace zarn
