#pragma once
// LibusbTransport: the instrument reached through the libusb 0.1 API, loaded at run
// time with dlopen so that the program runs without the library. The instrument is the
// first device on the buses with vendor id 0x03EB and product id 0x0101; it is used
// with configuration 1, interface 0, bulk endpoint 0x01 out and 0x82 in, and a 500 ms
// time-out for every bulk transfer.
//
// While open, the instrument is held exclusively (see devicelock.h): TransportOpen
// gives kUsbInUse when another program holds it.
//
// Only the exchange loop's worker thread calls the transport. Its messages go to status
// panel 0 (StatusText(0, text) followed by ProgressHide()).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

#include "common/texts.h"
#include "device/devicelock.h"
#include "device/usbwatch.h"
#include "device/transports.h"

namespace zarn {

class LibusbTransport final : public UsbLink {
 public:
  static constexpr uint16_t kVendorId = 0x03EB;
  static constexpr uint16_t kProductId = 0x0101;
  static constexpr int kConfiguration = 1;
  static constexpr int kInterface = 0;
  static constexpr int kEndpointOut = 0x01;
  static constexpr int kEndpointIn = 0x82;
  static constexpr int kTransferTimeoutMs = 500;
  // The udev rule that gives the logged-in user access to the instrument.
  static constexpr char kUdevRuleName[] = "70-zarn26.rules";

  explicit LibusbTransport(QByteArray libraryName = "libusb-0.1.so.4");
  ~LibusbTransport() override;
  LibusbTransport(const LibusbTransport&) = delete;
  LibusbTransport& operator=(const LibusbTransport&) = delete;

  int Load() override;
  int TransportOpen(LinkSink& sink) override;
  void TransportClose() override;
  int TransportWrite(const uint8_t* bytes, int count) override;
  int TransportRead(uint8_t* buffer, int count) override;
  void HoldBetweenTransfers(bool hold) override { holdBetween_ = hold; }
  // While no instrument is found, search the buses again only when the USB file system
  // changed (see usbwatch.h), and in any case every kFullSearchEvery calls: the library
  // opens every device node on every search. The program's transport does this.
  void SearchOnlyOnChanges(bool on) { searchOnChanges_ = on; }
  static constexpr int kFullSearchEvery = 20;

  // The message for a negative library error number, and the same in the given
  // language (0 Russian, 1 English); 0 gives the empty text.
  static Phrase ErrorPhrase(int code);
  static QString ErrorText(int code, int language) { return ErrorPhrase(code).Str(language); }
  // The one message for "no instrument on any bus".
  static Phrase NotConnectedPhrase();
  static QString NotConnectedText() { return NotConnectedPhrase()(); }

  bool IsLoaded() const;
  bool IsOpen() const { return device_ != nullptr; }

  // Where the udev rule may be installed. When the library refuses access to the
  // instrument and none of these folders holds the rule, the message says so.
  void SetRuleFolders(QStringList folders) { ruleFolders_ = std::move(folders); }
  static QStringList DefaultRuleFolders();

 private:
  struct Library;

  void ShowMessage(LinkSink& sink, const Phrase& text);
  Phrase AccessHint(int code) const;
  void DropDevice();

  QByteArray libraryName_;
  std::unique_ptr<Library> library_;
  void* device_ = nullptr;  // the library's usb_dev_handle of the open instrument
  DeviceLockFile lockFile_;  // held while the instrument is open
  std::atomic<bool> holdBetween_{false};
  bool searchOnChanges_ = false;
  std::unique_ptr<UsbFolderWatch> watch_;
  bool lastSearchFoundNone_ = false;
  int searchesSkipped_ = 0;
  QStringList ruleFolders_ = DefaultRuleFolders();
};

// The program's one LibusbTransport; it is not torn down at exit.
LibusbTransport& TheLibusbTransport();

}  // namespace zarn
