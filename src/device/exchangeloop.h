#pragma once
// The exchange loop: the only code that talks to the instrument. A state machine driven
// by LinkState, run on the worker thread for the whole life of the program. It chooses
// the transport, finds the instrument, reads its version, parameters, materials and
// measurement memory into the Images, has the tables refreshed and then idles until
// another part of the program writes a request (5, 6, 7, 9 or 0) into LinkState.
//
// The loop knows no window: every visible change goes to the LinkSink, which applies it
// and returns when it has been applied. It holds ImagesLock while a transfer state fills
// or sends an image, and never while it waits for RefreshWithChartHidden.
//
// Its own transitions never overwrite a value someone else wrote meanwhile: it moves
// LinkState on only from the value it read at the start of the pass, so a data file
// opened during a transfer (which sets 4) or a requester that took its request back
// keeps the loop idle.

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <functional>

#include "device/linksink.h"
#include "device/linkstate.h"
#include "device/transports.h"

namespace zarn {

struct LoopEnvironment {
  PipeLink& pipe;
  UsbLink& usb;
  LinkSink& sink;
  std::function<void(int ms)> sleep;          // returns early once a stop was asked
  std::function<bool()> stopRequested;
  std::function<void()> setNormalPriority;
};

// The instrument's waits and limits.
inline constexpr int kStartDelayMs = 1000;
inline constexpr int kPassDelayMs = 50;
inline constexpr int kIdleDelayMs = 200;
inline constexpr int kAfterConnectMs = 300;
inline constexpr int kCommandDelayMs = 300;
inline constexpr int kVersionDelayUsbMs = 80;
inline constexpr int kVersionDelayPipeMs = 50;
inline constexpr int kReplyDelayMs = 50;
inline constexpr int kErrorDelayMs = 500;
inline constexpr int kPieceDelayMs = 15;
inline constexpr int kRedHoldMs = 20;
inline constexpr uint32_t kPieceSize = 64;
inline constexpr uint32_t kVersionCapUsb = 99;
inline constexpr uint32_t kVersionCapPipe = 100;
inline constexpr uint32_t kParamScratchSize = 10756;  // parameters read by a materials request
inline constexpr uint32_t kDrainSize = 1000;
inline constexpr int kDataReads = 64;
// Reply bytes beyond a cap are read and thrown away, so that they are not taken for the
// start of the next reply; an excess larger than this is a wrong length, not a reply.
inline constexpr uint32_t kMaxDiscard = 1u << 20;

// The "Read from Device" command: only while the loop idles, clears DataReadComplete and
// sends the loop to connect. False (and nothing changed) in any other state.
bool RequestGaugeRead();
// An editor's transfer request (kLinkWriteMaterials, kLinkReadObjects, kLinkWriteObjects,
// kLinkReadMaterials): written only while the loop idles.
bool RequestTransfer(uint8_t state);
// A requester that stops waiting takes back its request, and only its own: LinkState
// returns to idle only when it still holds `state`.
bool WithdrawRequest(uint8_t state);

// The device path Open is given: the last line of an Enumerate list.
QByteArrayView LastDevicePath(const QByteArray& list);

class ExchangeLoop {
 public:
  explicit ExchangeLoop(LoopEnvironment env);

  // The whole run: wait 1000 ms, normal priority, passes until a stop is asked, then
  // close PipeTransport.
  void Run();
  // One pass: wait 50 ms, then the step of the current LinkState (255 runs straight on
  // into 0).
  void RunPass();

 private:
  bool Stopping() const;
  void Wait(int ms);
  void Status(int panel, const QString& text);
  void Lamp(LampColour colour);
  void ProgressBegin();
  void ProgressRange(int maximum);
  void ProgressStep(int position);
  void ProgressEnd();
  void ProgressHide();
  // Moves LinkState from the value this pass read to `to`; false when someone else
  // changed it meanwhile.
  bool Advance(uint8_t from, uint8_t to);

  // Transport operations on the transport `kind` selects (1 pipe, 2 libusb).
  bool Write(uint8_t kind, const uint8_t* bytes, uint32_t count);
  // Bytes received, or -1 on failure. PipeTransport delivers all or fails.
  int64_t Read(uint8_t kind, uint8_t* buffer, uint32_t count);
  bool WriteCommand(uint8_t kind, uint8_t code);
  // A reply: 4-byte length into the start of `dest`, then min(length, cap) bytes over
  // it. `length` gets the cut length.
  bool ReadReply(uint8_t kind, uint8_t* dest, uint32_t cap, uint32_t* length = nullptr);
  void DiscardExcess(uint8_t kind, uint64_t excess);
  // The length, then the block in pieces of 64 bytes with 15 ms after each.
  bool WriteBlock(uint8_t kind, const uint8_t* block, uint32_t size);
  void Close(uint8_t kind);
  bool OpenForRequest(uint8_t kind);

  void ChooseTransport();
  void Connect();
  bool ReadVersion(uint8_t kind);
  bool ReadParameters(uint8_t kind);
  enum class DataResult { Done, Failed, Abandoned };
  DataResult ReadData(uint8_t kind);
  void CloseAndRefresh();
  void RequestedTransfer(uint8_t state);
  bool TransferBody(uint8_t state, uint8_t kind);
  void ErrorPath(uint8_t state);

  LoopEnvironment env_;
  uint8_t passState_ = kLinkChooseTransport;  // LinkState as this pass read it
  std::array<uint8_t, kVersionCapPipe + 1> version_{};
  std::array<uint8_t, kParamScratchSize> paramScratch_{};
  std::array<uint8_t, kDrainSize> drain_{};
};

}  // namespace zarn
