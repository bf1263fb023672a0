#pragma once
// The exchange loop: the only code that talks to the instrument. A state machine driven
// by LinkState, run on the worker thread for the whole life of the program. It chooses
// the transport, finds the instrument, reads its version, parameters, materials and
// measurement memory into the Images, has the tables refreshed and then idles until
// another part of the program writes a request (5, 6, 7, 9 or 0) into LinkState.
//
// The loop knows no window: every visible change goes to the LinkSink, which applies it
// and returns when it has been applied.
//
// A reply counts only whole: one that is short, late past the transports' time-outs or
// longer than its block fails the pass through the error path, which also releases the
// link so that the next command starts on a clean stream.
//
// It reads the instrument into buffers of its own and publishes a completed read in
// one short step under ImagesLock: the parameters, materials and memory go into the
// Images, and a snapshot of them is taken there and then, on the loop's thread, and
// handed to RefreshWithChartHidden. No transfer holds the lock while it waits on the
// instrument, so a data file opens at once at any moment; the file wins: the loop
// abandons what it was doing (also in the middle of the memory), closes the link so
// that the instrument is free for other programs, shows nothing more of it and idles.
//
// Its own transitions never overwrite a value someone else wrote meanwhile: it moves
// LinkState on only from the value it read at the start of the pass. Requests come
// with tickets (linkstate.h); the loop records how each one ended.

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/linksink.h"
#include "device/linkstate.h"
#include "common/images.h"
#include "device/transports.h"

namespace zarn {

struct LoopEnvironment {
  LinkSharedState& shared;
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
// A version text longer than its cap is shown cut; the rest is read and thrown away, so
// that it is not taken for the start of the next reply. An excess larger than this is a
// wrong length, not a text. Every other reply must fit its block.
inline constexpr uint32_t kMaxDiscard = 1u << 20;

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
  // A data file has been opened since this pass began: nothing of the pass is shown
  // or published any more.
  bool Overtaken() const;
  // Nothing more to show: stopping, or overtaken.
  bool Silent() const { return Stopping() || Overtaken(); }
  void Wait(int ms);
  void Status(int panel, const Phrase& text);
  void Lamp(LampColour colour);
  void ProgressBegin();
  void ProgressRange(int maximum);
  void ProgressStep(int position);
  void ProgressEnd();
  void ProgressHide();
  // Moves LinkState from the value this pass read to `to`; false when someone else
  // changed it meanwhile.
  bool Advance(LinkStates from, LinkStates to);
  // Notes why the pass fails; returns false for the caller to pass on.
  bool Fail(LinkBlock block, LinkFault fault, uint32_t announced = 0, uint32_t capacity = 0);

  // Transport operations on the transport `kind` selects.
  bool Write(TransportKinds kind, const uint8_t* bytes, uint32_t count);
  // All `count` bytes, or false. A libusb read that delivers part of them is asked again
  // for the rest; one that delivers nothing before its time-out fails.
  bool Read(TransportKinds kind, uint8_t* buffer, uint32_t count);
  bool WriteCommand(TransportKinds kind, uint8_t code, LinkBlock block);
  // A reply: the 4-byte length, then that many bytes into `dest`. A length above `cap`
  // fails the reply unless `discardExcess` allows reading `cap` bytes and throwing the
  // rest away (at most kMaxDiscard of it). `length` gets the bytes kept.
  bool ReadReply(TransportKinds kind, LinkBlock block, uint8_t* dest, uint32_t cap,
                 uint32_t* length, bool discardExcess = false);
  bool Discard(TransportKinds kind, uint64_t count);
  // The length, then the block in pieces of 64 bytes with 15 ms after each.
  bool WriteBlock(TransportKinds kind, LinkBlock block, const uint8_t* data, uint32_t size);
  void Close(TransportKinds kind);
  enum class Opened { Yes, No, InUse };
  Opened OpenForRequest(TransportKinds kind);
  // The read of states 2 and 3 into the images, and its snapshot, under ImagesLock;
  // false (and nothing changed) when a data file came first.
  bool PublishRead(CompletedRead& read);
  // A block a request read or wrote into its place in the images (unless a data file
  // came first); the whole block as it then stands.
  QByteArray PublishBlock(LinkStates state, const uint8_t* bytes, uint32_t length);
  // Before a pipe is opened: the interrupt a data file left (InstrumentLink::FileOpened)
  // is cleared, unless a stop is under way.
  void ClearFileInterrupt();
  // Another program holds the instrument: said once, until that changes.
  void ShowInUse();

  // The step of passState_.
  void Step(TransportKinds kind);
  void ReleaseIfOvertaken();
  void ChooseTransport();
  void Connect();
  bool ReadVersion(TransportKinds kind);
  bool ReadParameters(TransportKinds kind);
  // False: the pass failed. A stop or a data file ends it early, and true.
  bool ReadData(TransportKinds kind);
  bool Abandoned();
  void CloseAndRefresh();
  void RequestedTransfer(LinkStates state);
  // `block`: what a write sends; a read's reply goes to `reply` and its length.
  bool TransferBody(LinkStates state, TransportKinds kind, const QByteArray& block,
                    uint32_t& replyLength);
  void ErrorPath(LinkStates state);

  LoopEnvironment env_;
  LinkStates passState_ = LinkStates::ChooseTransport;  // LinkState as this pass read it
  uint64_t passEpoch_ = 0;                              // the shared epoch then
  uint64_t passTicket_ = 0;                             // a request's ticket
  uint64_t openEpoch_ = 0;                              // the epoch the link was opened in
  LinkFailure failure_;
  std::array<uint8_t, kVersionCapPipe + 1> version_{};
  QString versionText_;
  // The start-up read goes here: the parameters and materials over a copy of what the
  // images held (a shorter reply replaces the start of its block), the memory's first
  // dataBytes_ bytes; published when the read has completed.
  std::unique_ptr<DeviceImages> work_;
  uint32_t workCount_ = 0;
  uint32_t dataBytes_ = 0;
  // Replies of requests are read here and published only when they arrived whole.
  std::array<uint8_t, kParamScratchSize> paramScratch_{};
  std::array<uint8_t, kMaterialsBlockSize> materialsScratch_{};
  std::array<uint8_t, kObjectsBlockSize> objectsScratch_{};
  std::array<uint8_t, kDrainSize> drain_{};
};

}  // namespace zarn
