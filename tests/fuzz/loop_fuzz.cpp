// The exchange loop against an instrument that answers with arbitrary bytes: lengths of
// any size, short or missing replies, over either transport, through the start-up read
// and the requested transfers. Nothing may read or write outside its buffers, and the
// loop must keep its states.

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/images.h"
#include "device/exchangeloop.h"
#include "device/linksink.h"
#include "device/linkstate.h"
#include "device/transports.h"

namespace {

using namespace zarn;

// The instrument's side: one stream of reply bytes, taken in order by every read.
struct Stream {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t at = 0;
  size_t Take(uint8_t* to, size_t count) {
    const size_t n = std::min(count, size - at);
    if (n > 0) std::memcpy(to, data + at, n);
    at += n;
    return n;
  }
};

class FuzzPipe final : public PipeLink {
 public:
  explicit FuzzPipe(Stream& s) : s_(s) {}
  uint32_t Enumerate(QByteArray& list) override {
    list = "/fuzz/a\n/fuzz/b\n";
    return 2;
  }
  int Open(QByteArrayView) override {
    open_ = true;
    return 0;
  }
  int TransportClose() override {
    open_ = false;
    return 0;
  }
  uint16_t TransportWrite(const uint8_t* bytes, uint32_t count) override {
    if (!open_) return kPipeNotOpen;
    if (count == 0 || !bytes) return kPipeBadArgument;
    volatile uint8_t sink = bytes[0] ^ bytes[count - 1];  // the whole buffer must be valid
    (void)sink;
    return kPipeOk;
  }
  uint16_t TransportRead(uint8_t* buffer, uint32_t count) override {
    if (!open_) return kPipeNotOpen;
    if (count == 0 || !buffer) return kPipeBadArgument;
    return s_.Take(buffer, count) == count ? kPipeOk : kPipeIoFailure;
  }

 private:
  Stream& s_;
  bool open_ = false;
};

class FuzzUsb final : public UsbLink {
 public:
  FuzzUsb(Stream& s, bool present) : s_(s), present_(present) {}
  int Load() override { return present_ ? 0 : 1; }
  int TransportOpen(LinkSink&) override { return 0; }
  void TransportClose() override {}
  int TransportWrite(const uint8_t* bytes, int count) override {
    if (count <= 0 || !bytes) return -22;
    volatile uint8_t sink = bytes[0] ^ bytes[count - 1];
    (void)sink;
    return count;
  }
  int TransportRead(uint8_t* buffer, int count) override {
    if (count < 0 || (count > 0 && !buffer)) return -22;
    if (s_.at >= s_.size) return -116;
    return int(s_.Take(buffer, size_t(count)));  // a short read is a success
  }

 private:
  Stream& s_;
  bool present_;
};

class NullSink final : public LinkSink {
 public:
  void StatusText(int, const Phrase& text) override { chars += size_t(text().size()); }
  void LinkLamp(LampColour c) override { lamp = c; }
  LampColour CurrentLamp() override { return lamp; }
  void ProgressBegin() override {}
  void ProgressRange(int) override {}
  void ProgressStep(int) override {}
  void ProgressEnd() override {}
  void ProgressHide() override {}
  void RefreshWithChartHidden(const CompletedRead& read) override {
    if (!read.images || read.images->processCount > kDirectoryEntries) __builtin_trap();
  }
  LampColour lamp = LampColour::ButtonFace;
  size_t chars = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t choices = data[0];
  Stream stream{data + 1, size - 1, 0};
  FuzzPipe pipe(stream);
  // Without a pipe device the loop goes to libusb; with libusb absent it looks forever.
  const bool usbOnly = choices & 1;
  FuzzUsb usb(stream, true);
  struct NoPipe final : PipeLink {
    uint32_t Enumerate(QByteArray& list) override {
      list.clear();
      return 0;
    }
    int Open(QByteArrayView) override { return 2; }
    int TransportClose() override { return 0; }
    uint16_t TransportWrite(const uint8_t*, uint32_t) override { return kPipeNotOpen; }
    uint16_t TransportRead(uint8_t*, uint32_t) override { return kPipeNotOpen; }
  } noPipe;
  NullSink sink;
  LinkSharedState shared;
  ProcessCount = 0;
  ExchangeLoop loop(LoopEnvironment{shared, usbOnly ? static_cast<PipeLink&>(noPipe) : pipe, usb,
                                    sink, [](int) {}, [] { return false; }, [] {}});
  // The start-up read, then the requests the choices name, while bytes remain. Writes
  // hand over a block of the stream's bytes (of any length); a data file lands every
  // so often (the top bits say how often).
  static constexpr LinkStates kRequests[4] = {LinkStates::ReadMaterials, LinkStates::WriteMaterials,
                                           LinkStates::ReadObjects, LinkStates::WriteObjects};
  const int fileEvery = choices >> 5;
  int request = 0;
  Ticket ticket;
  for (int pass = 0; pass < 400 && stream.at < stream.size; ++pass) {
    loop.RunPass();
    if (fileEvery != 0 && pass % (fileEvery * 3) == fileEvery) shared.FileOpened();
    const RequestResult result = shared.Result(ticket);
    const bool read = ticket.request == LinkStates::ReadMaterials || ticket.request == LinkStates::ReadObjects;
    const qsizetype size = ticket.request == LinkStates::ReadObjects ? qsizetype(kObjectsBlockSize)
                                                                     : qsizetype(kMaterialsBlockSize);
    if (ticket.Accepted() && result.outcome == RequestOutcome::Done && read && result.block.size() != size)
      __builtin_trap();
    if (shared.State() == LinkStates::Idle) {
      if (choices & 2) {
        shared.RequestGaugeRead();
      } else {
        const LinkStates next = kRequests[((choices >> 2) + request++) & 3];
        uint8_t length[2] = {};
        stream.Take(length, 2);
        QByteArray block(qsizetype(length[0] | (length[1] & 7) << 8), '\0');
        stream.Take(reinterpret_cast<uint8_t*>(block.data()), size_t(block.size()));
        ticket = shared.RequestTransfer(next, block);
      }
    } else if (ticket.Accepted() && (pass & 15) == 15) {
      shared.Withdraw(ticket);
    }
    if (ProcessCount.load() > kDirectoryEntries) __builtin_trap();
  }
  return 0;
}
