#pragma once
// The transport contract as the exchange loop sees it. PipeTransport (the pipe-folder
// convention of the kernel driver's device interface) and LibusbTransport (libusb 0.1
// loaded at run time) implement these; tests put fakes in their place.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

namespace zarn {

class LinkSink;

// PipeTransport result codes of read and write.
inline constexpr uint16_t kPipeOk = 0;
inline constexpr uint16_t kPipeNotOpen = 0x8000;
inline constexpr uint16_t kPipeBadArgument = 0x8080;
inline constexpr uint16_t kPipeIoFailure = 0x8010;
// PipeLink::Open's code when another program holds the device (EBUSY).
inline constexpr int kPipeOpenInUse = 16;

// UsbLink::TransportOpen results.
inline constexpr int kUsbOpened = 0;
inline constexpr int kUsbNotFound = 1;  // no instrument on any bus, or it cannot be opened
inline constexpr int kUsbInUse = 2;     // another program holds the instrument

class PipeLink {
 public:
  virtual ~PipeLink() = default;
  // Lists the present devices' paths, each followed by '\n'; returns how many.
  virtual uint32_t Enumerate(QByteArray& list) = 0;
  // 0, or the system error code (kPipeOpenInUse: another program holds the device, and
  // nothing was sent to it). Succeeds at once, path unlooked-at, when open.
  virtual int Open(QByteArrayView path) = 0;
  virtual int TransportClose() = 0;  // 0; harmless when closed
  virtual uint16_t TransportWrite(const uint8_t* bytes, uint32_t count) = 0;
  // Success only when all `count` bytes arrived.
  virtual uint16_t TransportRead(uint8_t* buffer, uint32_t count) = 0;
  // Thread-safe: the transfer under way and every later one fail at once (the program
  // is closing; a silent instrument must not hold it up by a whole time-out).
  virtual void Interrupt() {}
  // Transfers work again after an Interrupt (a link started anew).
  virtual void ClearInterrupt() {}
  // Call before the loop starts. True: the instrument stays held by this program after
  // TransportClose too, until the program ends (a reader that closes the link between
  // its transfers must not let another program in between them).
  virtual void HoldBetweenTransfers(bool) {}
};

class UsbLink {
 public:
  virtual ~UsbLink() = default;
  // 0 loaded (also when already loaded), 1 library missing, 2 an entry point missing.
  virtual int Load() = 0;
  // kUsbOpened found and open (messages of set-configuration failures go to panel 0
  // through the sink), kUsbNotFound no instrument on any bus (its message goes to panel
  // 0), kUsbInUse the instrument is held by another program (nothing was sent to it).
  virtual int TransportOpen(LinkSink& sink) = 0;
  virtual void TransportClose() = 0;
  // The library's results: bytes moved, or a negative error number. A read may deliver
  // fewer bytes than asked; the loop asks again for the rest.
  virtual int TransportWrite(const uint8_t* bytes, int count) = 0;
  virtual int TransportRead(uint8_t* buffer, int count) = 0;
  // As PipeLink::HoldBetweenTransfers.
  virtual void HoldBetweenTransfers(bool) {}
};

}  // namespace zarn
