#include "device/exchangeloop.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/bytes.h"
#include "common/cp1251.h"
#include "common/images.h"
#include "common/texts.h"

namespace zarn {

namespace {

// The device commands: a code and its complement. 03 FC is never sent.
constexpr uint8_t kCommands[7][2] = {{0x01, 0xFE}, {0x02, 0xFD}, {0x03, 0xFC}, {0x04, 0xFB},
                                     {0x05, 0xFA}, {0x06, 0xF9}, {0x07, 0xF8}};
constexpr uint8_t kCmdReadVersion = 1;
constexpr uint8_t kCmdReadParameters = 2;
constexpr uint8_t kCmdReadData = 4;
constexpr uint8_t kCmdWriteMaterials = 5;
constexpr uint8_t kCmdReadObjects = 6;
constexpr uint8_t kCmdWriteObjects = 7;

const TextPair& BlockText(LinkBlock block) {
  switch (block) {
    case LinkBlock::Version: return txtBlockVersion;
    case LinkBlock::Parameters: return txtBlockParameters;
    case LinkBlock::Materials: return txtBlockMaterials;
    case LinkBlock::Data: return txtBlockData;
    case LinkBlock::Objects: return txtBlockObjects;
    case LinkBlock::MaterialsWrite: return txtBlockMaterialsWrite;
    case LinkBlock::ObjectsWrite: return txtBlockObjectsWrite;
    case LinkBlock::None: break;
  }
  return txtBlockVersion;
}

}  // namespace

Phrase LinkFailurePhrase(const LinkFailure& failure) {
  Phrase why;
  switch (failure.fault) {
    case LinkFault::None: return {};
    case LinkFault::NoTransport: return txtFaultNoTransport;
    case LinkFault::Command: why = txtFaultCommand; break;
    case LinkFault::BlockWrite: why = txtFaultBlockWrite; break;
    case LinkFault::NoReply: why = txtFaultNoReply; break;
    case LinkFault::ReplyCut: why = txtFaultReplyCut; break;
    case LinkFault::ReplyTooLong:
      why = Phrase(txtFaultReplyTooLong,
                   {QString::number(failure.announced), QString::number(failure.capacity)});
      break;
  }
  if (failure.block == LinkBlock::None) return why;
  return Phrase(BlockText(failure.block)) + QStringLiteral(": ") + why;
}

QString LinkFailureText(const LinkFailure& failure, int language) {
  return LinkFailurePhrase(failure).Str(language);
}

Phrase RequestOutcomePhrase(const RequestResult& result, bool write) {
  Phrase text;
  switch (result.outcome) {
    case RequestOutcome::Pending: return {};
    case RequestOutcome::Done: return write ? txtOutcomeWritten : txtOutcomeRead;
    case RequestOutcome::Busy: return txtOutcomeBusy;
    case RequestOutcome::NotConnected: return txtOutcomeNotConnected;
    case RequestOutcome::InUse: return txtStatusInUse;
    case RequestOutcome::ReplacedByFile: return txtOutcomeReplacedByFile;
    case RequestOutcome::TimedOut: text = txtOutcomeTimedOut; break;
    case RequestOutcome::Failed: {
      const Phrase why = LinkFailurePhrase(result.failure);
      text = why.IsEmpty() ? Phrase(txtStatusLinkError) : Phrase(txtStatusLinkError) + QStringLiteral(": ") + why;
      break;
    }
  }
  // A write that was under way may have left part of the block in the instrument.
  if (write) text += QStringLiteral("; ") + Phrase(txtOutcomeMayHoldPart);
  return text;
}

QByteArrayView LastDevicePath(const QByteArray& list) {
  QByteArrayView v(list);
  if (v.endsWith('\n')) v.chop(1);
  const qsizetype lf = v.lastIndexOf('\n');
  return lf < 0 ? v : v.sliced(lf + 1);
}

ExchangeLoop::ExchangeLoop(LoopEnvironment env)
    : env_(std::move(env)), work_(std::make_unique<DeviceImages>()) {}

// ---------------------------------------------------------------------------------
// Waits and notifications

bool ExchangeLoop::Stopping() const { return env_.stopRequested && env_.stopRequested(); }

bool ExchangeLoop::Overtaken() const { return env_.shared.Epoch() != passEpoch_; }

void ExchangeLoop::Wait(int ms) {
  if (env_.sleep) env_.sleep(ms);
}

// Once a stop was asked nothing more is shown: the window may be going away. Once a
// data file has been opened, the file's texts stay.
void ExchangeLoop::Status(int panel, const Phrase& text) {
  if (!Silent()) env_.sink.StatusText(panel, text);
}

void ExchangeLoop::Lamp(LampColour colour) {
  if (Silent()) return;
  // Red stays visible at least this long.
  if (env_.sink.CurrentLamp() == LampColour::Red) Wait(kRedHoldMs);
  if (!Silent()) env_.sink.LinkLamp(colour);
}

void ExchangeLoop::ProgressBegin() {
  if (!Silent()) env_.sink.ProgressBegin();
}
void ExchangeLoop::ProgressRange(int maximum) {
  if (!Silent()) env_.sink.ProgressRange(maximum);
}
void ExchangeLoop::ProgressStep(int position) {
  if (!Silent()) env_.sink.ProgressStep(position);
}
void ExchangeLoop::ProgressEnd() {
  if (!Silent()) env_.sink.ProgressEnd();
}
void ExchangeLoop::ProgressHide() {
  if (!Silent()) env_.sink.ProgressHide();
}

bool ExchangeLoop::Advance(LinkStates from, LinkStates to) { return env_.shared.Advance(from, to); }

bool ExchangeLoop::Fail(LinkBlock block, LinkFault fault, uint32_t announced, uint32_t capacity) {
  failure_ = LinkFailure{block, fault, announced, capacity};
  return false;
}

// ---------------------------------------------------------------------------------
// Transport operations

bool ExchangeLoop::Write(TransportKinds kind, const uint8_t* bytes, uint32_t count) {
  if (kind == TransportKinds::Pipe) return env_.pipe.TransportWrite(bytes, count) == kPipeOk;
  // The library's count of bytes sent is not compared: a bulk write either moves the
  // whole buffer or reports an error.
  if (kind == TransportKinds::Libusb) return env_.usb.TransportWrite(bytes, int(count)) >= 0;
  return false;
}

bool ExchangeLoop::Read(TransportKinds kind, uint8_t* buffer, uint32_t count) {
  if (kind == TransportKinds::Pipe) return env_.pipe.TransportRead(buffer, count) == kPipeOk;
  if (kind != TransportKinds::Libusb) return false;
  if (count == 0) return env_.usb.TransportRead(buffer, 0) >= 0;
  // A bulk read ends at a short packet: what it delivered is kept and the rest asked
  // for again. A read that brings nothing (a time-out, an error, an empty packet) ends
  // the reply as cut short. Every call brings at least one byte, so this ends.
  uint32_t got = 0;
  while (got < count) {
    if (Stopping()) return false;
    const int n = env_.usb.TransportRead(buffer + got, int(count - got));
    if (n <= 0) return false;
    got += std::min(uint32_t(n), count - got);
  }
  return true;
}

bool ExchangeLoop::WriteCommand(TransportKinds kind, uint8_t code, LinkBlock block) {
  return Write(kind, kCommands[code - 1], 2) || Fail(block, LinkFault::Command);
}

bool ExchangeLoop::ReadReply(TransportKinds kind, LinkBlock block, uint8_t* dest, uint32_t cap,
                             uint32_t* length, bool discardExcess) {
  uint8_t field[4];
  if (!Read(kind, field, 4)) return Fail(block, LinkFault::NoReply);
  const uint32_t announced = GetU32(field);
  // The length lands in the destination as well, as the instrument's software expects
  // (the reply is then read over it).
  std::memcpy(dest, field, std::min<uint32_t>(4, cap));
  if (announced > cap && (!discardExcess || announced - cap > kMaxDiscard))
    return Fail(block, LinkFault::ReplyTooLong, announced, cap);
  const uint32_t cut = std::min(announced, cap);
  // A reply of no bytes has arrived whole.
  if (cut > 0 && !Read(kind, dest, cut)) return Fail(block, LinkFault::ReplyCut);
  if (!Discard(kind, uint64_t(announced) - cut)) return Fail(block, LinkFault::ReplyCut);
  if (length) *length = cut;
  return true;
}

bool ExchangeLoop::Discard(TransportKinds kind, uint64_t count) {
  while (count > 0) {
    const uint32_t piece = uint32_t(std::min<uint64_t>(count, kDrainSize));
    if (!Read(kind, drain_.data(), piece)) return false;
    count -= piece;
  }
  return true;
}

bool ExchangeLoop::WriteBlock(TransportKinds kind, LinkBlock block, const uint8_t* data,
                              uint32_t size) {
  uint8_t length[4];
  PutU32(length, size);
  if (!Write(kind, length, 4)) return Fail(block, LinkFault::BlockWrite);
  for (uint32_t at = 0; at < size; at += kPieceSize) {
    if (!Write(kind, data + at, std::min(kPieceSize, size - at)))
      return Fail(block, LinkFault::BlockWrite);
    Wait(kPieceDelayMs);
  }
  return true;
}

void ExchangeLoop::Close(TransportKinds kind) {
  if (kind == TransportKinds::Pipe) env_.pipe.TransportClose();
  if (kind == TransportKinds::Libusb) env_.usb.TransportClose();
  env_.shared.SetAccess(LinkAccess::Closed);
}

ExchangeLoop::Opened ExchangeLoop::OpenForRequest(TransportKinds kind) {
  if (kind == TransportKinds::Libusb) {
    const int result = env_.usb.TransportOpen(env_.sink);
    return result == kUsbOpened ? Opened::Yes : result == kUsbInUse ? Opened::InUse : Opened::No;
  }
  QByteArray list;
  if (env_.pipe.Enumerate(list) > 0) {
    ClearFileInterrupt();
    const int result = env_.pipe.Open(LastDevicePath(list));
    if (result == 0) return Opened::Yes;
    if (result == kPipeOpenInUse) return Opened::InUse;
  }
  env_.pipe.TransportClose();
  return Opened::No;
}

void ExchangeLoop::ClearFileInterrupt() {
  // A data file opened during the last pipe transfer broke it off at once; the link
  // opened now must work. A stop asked meanwhile keeps its interrupt: it asks first and
  // interrupts after, so one of the two sees the other.
  env_.pipe.ClearInterrupt();
  if (Stopping()) env_.pipe.Interrupt();
}

void ExchangeLoop::ShowInUse() {
  if (env_.shared.ExchangeAccess(LinkAccess::InUse) == LinkAccess::InUse) return;
  Status(1, txtStatusInUse);
  Lamp(LampColour::Black);
}

// ---------------------------------------------------------------------------------
// The loop

void ExchangeLoop::Run() {
  Wait(kStartDelayMs);
  if (env_.setNormalPriority) env_.setNormalPriority();
  while (!Stopping()) RunPass();
  // A program that stops talking lets go of the instrument, on either transport.
  env_.pipe.TransportClose();
  if (env_.shared.Kind() == TransportKinds::Libusb) env_.usb.TransportClose();
  env_.shared.SetAccess(LinkAccess::Closed);
}

void ExchangeLoop::RunPass() {
  Wait(kPassDelayMs);
  if (Stopping()) return;
  passEpoch_ = env_.shared.Epoch();
  passState_ = env_.shared.State();
  passTicket_ = 0;
  ReleaseIfOvertaken();
  Step(env_.shared.Kind());
  ReleaseIfOvertaken();
}

void ExchangeLoop::ReleaseIfOvertaken() {
  // A data file opened since the link was opened: the file is what the user wants now,
  // and the instrument is let go for whoever needs it.
  if (env_.shared.Access() == LinkAccess::Open && openEpoch_ != env_.shared.Epoch())
    Close(env_.shared.Kind());
}

void ExchangeLoop::Step(TransportKinds kind) {
  switch (passState_) {
    case LinkStates::ChooseTransport:
      ChooseTransport();
      if (Advance(LinkStates::ChooseTransport, LinkStates::Connect)) {
        passState_ = LinkStates::Connect;
        Connect();
      }
      return;
    case LinkStates::Connect:
      Connect();
      return;
    case LinkStates::ReadVersion:
      if (!ReadVersion(kind)) ErrorPath(passState_);
      return;
    case LinkStates::ReadParameters:
      if (!ReadParameters(kind)) ErrorPath(passState_);
      return;
    case LinkStates::ReadData:
      if (!ReadData(kind)) ErrorPath(passState_);
      return;
    case LinkStates::Idle:
      Wait(kIdleDelayMs);
      return;
    case LinkStates::CloseAndRefresh:
      CloseAndRefresh();
      return;
    case LinkStates::WriteMaterials:
    case LinkStates::ReadObjects:
    case LinkStates::WriteObjects:
    case LinkStates::ReadMaterials:
      RequestedTransfer(passState_);
      return;
  }
  failure_ = LinkFailure{};  // a state nobody should have written
  ErrorPath(passState_);
}

void ExchangeLoop::ChooseTransport() {
  env_.shared.SetKind(env_.usb.Load() == 0 ? TransportKinds::Libusb : TransportKinds::None);
}

void ExchangeLoop::Connect() {
  // While another program holds the instrument the status says so, not "Check
  // Connection" on every pass in between.
  const bool wasInUse = env_.shared.Access() == LinkAccess::InUse;
  if (!wasInUse) {
    Status(1, txtStatusCheckConnection);
    Lamp(LampColour::Black);
  }
  bool open = false;
  bool inUse = false;
  QByteArray list;
  if (env_.pipe.Enumerate(list) > 0) {
    ClearFileInterrupt();
    const int result = env_.pipe.Open(LastDevicePath(list));
    open = result == 0;
    inUse = result == kPipeOpenInUse;
    if (open) env_.shared.SetKind(TransportKinds::Pipe);
  }
  // A pipe device held by another program is not sought again through libusb: it may
  // be the same instrument.
  if (!open && !inUse && env_.shared.Kind() == TransportKinds::Libusb) {
    // On failure the transport has put its own message into panel 0.
    const int result = env_.usb.TransportOpen(env_.sink);
    open = result == kUsbOpened;
    inUse = result == kUsbInUse;
  }
  if (inUse) {
    ShowInUse();
    return;
  }
  if (!open) {
    if (wasInUse) {
      env_.shared.SetAccess(LinkAccess::Closed);
      Status(1, txtStatusCheckConnection);
      Lamp(LampColour::Black);
    }
    return;
  }
  env_.shared.SetAccess(LinkAccess::Open);
  openEpoch_ = passEpoch_;
  // A data file opened meanwhile keeps the loop idle.
  if (!Advance(LinkStates::Connect, LinkStates::ReadVersion)) return;
  Status(1, txtStatusReadingVersion);
  Lamp(LampColour::Lime);
  Wait(kAfterConnectMs);
}

bool ExchangeLoop::ReadVersion(TransportKinds kind) {
  if (kind == TransportKinds::None) return Fail(LinkBlock::Version, LinkFault::NoTransport);
  if (!WriteCommand(kind, kCmdReadVersion, LinkBlock::Version)) return false;
  Wait(kind == TransportKinds::Libusb ? kVersionDelayUsbMs : kVersionDelayPipeMs);
  uint32_t length = 0;
  const uint32_t cap = kind == TransportKinds::Libusb ? kVersionCapUsb : kVersionCapPipe;
  // The one reply that may be longer than its cap: the text is shown cut.
  if (!ReadReply(kind, LinkBlock::Version, version_.data(), cap, &length, true)) return false;
  // The text is the `length` bytes, NULs shown as blanks.
  std::replace(version_.begin(), version_.begin() + length, uint8_t(0), uint8_t(' '));
  version_[length] = 0;
  versionText_ = DecodeCp1251(QByteArrayView(version_.data(), length));
  Status(0, versionText_);
  if (!Advance(LinkStates::ReadVersion, LinkStates::ReadParameters)) return true;
  Status(1, txtStatusReadingParameters);
  Wait(kCommandDelayMs);
  return true;
}

bool ExchangeLoop::ReadParameters(TransportKinds kind) {
  if (kind == TransportKinds::None) return Fail(LinkBlock::Parameters, LinkFault::NoTransport);
  if (!WriteCommand(kind, kCmdReadParameters, LinkBlock::Parameters)) return false;
  Wait(kReplyDelayMs);
  {
    // A shorter reply replaces the start of its block: the rest is what the images hold.
    std::lock_guard lock(ImagesLock);
    work_->ParamBlock = Images.ParamBlock;
    work_->MaterialsBlock = Images.MaterialsBlock;
  }
  dataBytes_ = 0;
  if (!ReadReply(kind, LinkBlock::Parameters, work_->ParamBlock.data(), kParamBlockSize, nullptr))
    return false;
  if (!ReadReply(kind, LinkBlock::Materials, work_->MaterialsBlock.data(), kMaterialsBlockSize,
                 nullptr))
    return false;
  workCount_ = CountProcesses(work_->ParamBlock.data());
  if (workCount_ == 0) {
    if (!Advance(LinkStates::ReadParameters, LinkStates::CloseAndRefresh)) return true;
    Status(1, txtStatusNoData);
    Lamp(LampColour::ButtonFace);
  } else {
    if (!Advance(LinkStates::ReadParameters, LinkStates::ReadData)) return true;
    Status(1, QString());
    Lamp(LampColour::Lime);
  }
  return true;
}

bool ExchangeLoop::ReadData(TransportKinds kind) {
  if (kind == TransportKinds::None) return Fail(LinkBlock::Data, LinkFault::NoTransport);
  ProgressBegin();
  uint8_t* image = work_->DataImage.data();
  if (!WriteCommand(kind, kCmdReadData, LinkBlock::Data)) return false;
  if (!Read(kind, image, 4)) return Fail(LinkBlock::Data, LinkFault::NoReply);
  const uint32_t length = GetU32(image);
  // More than the memory holds is not the memory: the pass fails without reading on,
  // and the error path releases the link so that the rest is not taken for the next
  // reply.
  if (length > kDataImageSize)
    return Fail(LinkBlock::Data, LinkFault::ReplyTooLong, length, uint32_t(kDataImageSize));
  ProgressRange(int(length));
  // 64 reads, so that the progress bar moves 64 times.
  const uint32_t piece = length / kDataReads;
  for (int i = 0; i < kDataReads; ++i) {
    // A stop or a data file opened meanwhile is not held up by the rest of 8 MiB: the
    // pass ends here (RunPass lets the instrument go for a file).
    if (Stopping() || Overtaken()) return Abandoned();
    ProgressStep(int(uint64_t(i) * length / kDataReads));
    if (!Read(kind, image + size_t(i) * piece, piece)) {
      if (Stopping() || Overtaken()) return Abandoned();
      return Fail(LinkBlock::Data, LinkFault::ReplyCut);
    }
  }
  // The last length mod 64 bytes stay out of the image (the memory is read as 64
  // equal pieces); they are read and thrown away so that they are not taken for the
  // start of the next reply, and they must come like the rest.
  if (!Discard(kind, length - piece * kDataReads)) return Fail(LinkBlock::Data, LinkFault::ReplyCut);
  // The length's own 4 bytes stay at the start of a memory too short to cover them.
  dataBytes_ = std::max<uint32_t>(4, piece * kDataReads);
  env_.shared.SetDataReadComplete(true);
  if (!Advance(LinkStates::ReadData, LinkStates::CloseAndRefresh)) {
    ProgressEnd();
    return true;
  }
  Status(1, Phrase(txtStatusDataRead) + QStringLiteral(" (%1)").arg(workCount_));
  Lamp(LampColour::ButtonFace);
  ProgressEnd();
  return true;
}

bool ExchangeLoop::Abandoned() {
  // The bar goes with the read; the texts of the file (or none, when stopping) stay.
  if (!Stopping()) env_.sink.ProgressEnd();
  return true;
}

bool ExchangeLoop::PublishRead(CompletedRead& read) {
  std::lock_guard lock(ImagesLock);
  if (Overtaken()) return false;
  Images.ParamBlock = work_->ParamBlock;
  Images.MaterialsBlock = work_->MaterialsBlock;
  std::memcpy(Images.DataImage.data(), work_->DataImage.data(), dataBytes_);
  CountProcesses();
  read.images = SnapshotImagesLocked();
  read.version = versionText_;
  return true;
}

void ExchangeLoop::CloseAndRefresh() {
  Close(env_.shared.Kind());
  if (!Advance(LinkStates::CloseAndRefresh, LinkStates::Idle)) return;
  // The read goes into the images in one step, and its snapshot with it, here on the
  // loop's thread; the main thread only shows it.
  CompletedRead read;
  if (PublishRead(read) && !Silent()) env_.sink.RefreshWithChartHidden(read);
}

QByteArray ExchangeLoop::PublishBlock(LinkStates state, const uint8_t* bytes, uint32_t length) {
  const bool materials = state == LinkStates::WriteMaterials || state == LinkStates::ReadMaterials;
  std::lock_guard lock(ImagesLock);
  uint8_t* image = materials ? Images.MaterialsBlock.data() : Images.ObjectsBlock.data();
  const size_t size = materials ? kMaterialsBlockSize : kObjectsBlockSize;
  QByteArray block(reinterpret_cast<const char*>(image), qsizetype(size));
  // No bytes (a write without a ticket sends the images' block as it is): nothing to copy.
  if (bytes && length > 0) std::memcpy(block.data(), bytes, std::min<size_t>(length, size));
  if (!Overtaken()) std::memcpy(image, block.constData(), size);
  return block;
}

void ExchangeLoop::RequestedTransfer(LinkStates state) {
  const LinkSharedState::Taken taken = env_.shared.Take(state);
  passTicket_ = taken.id;
  const TransportKinds kind = env_.shared.Kind();
  if (kind == TransportKinds::None) {
    failure_ = LinkFailure{LinkBlock::None, LinkFault::NoTransport};
    ErrorPath(state);
    return;
  }
  // State 8 closed the transport; each request opens it again.
  switch (OpenForRequest(kind)) {
    case Opened::Yes:
      env_.shared.SetAccess(LinkAccess::Open);
      openEpoch_ = passEpoch_;
      break;
    case Opened::InUse:
      env_.shared.NoteAttempt(passTicket_, RequestOutcome::InUse);
      ShowInUse();
      return;
    case Opened::No:
      env_.shared.NoteAttempt(passTicket_, RequestOutcome::NotConnected);
      env_.shared.SetAccess(LinkAccess::Closed);
      Status(1, txtStatusCheckConnection);
      Lamp(LampColour::Black);
      return;
  }
  Lamp(LampColour::Lime);
  const bool write = IsWriteRequest(state);
  const size_t size = state == LinkStates::WriteMaterials || state == LinkStates::ReadMaterials
                          ? kMaterialsBlockSize
                          : kObjectsBlockSize;
  // A write sends the requester's copy; one written without a ticket sends the images'.
  QByteArray block = taken.block;
  if (write && size_t(block.size()) != size) block = PublishBlock(state, nullptr, 0);
  uint32_t length = 0;
  if (!TransferBody(state, kind, block, length)) {
    ErrorPath(state);
    return;
  }
  Close(kind);
  const uint8_t* arrived = state == LinkStates::ReadObjects ? objectsScratch_.data() : materialsScratch_.data();
  block = write ? PublishBlock(state, reinterpret_cast<const uint8_t*>(block.constData()), uint32_t(size))
                : PublishBlock(state, arrived, length);
  env_.shared.Complete(passTicket_, state, write ? QByteArray() : block);
  Status(1, write ? txtStatusParamWritten : txtStatusParamRead);
  Lamp(LampColour::ButtonFace);
}

bool ExchangeLoop::TransferBody(LinkStates state, TransportKinds kind, const QByteArray& block,
                                uint32_t& replyLength) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(block.constData());
  switch (state) {
    case LinkStates::WriteMaterials:
      if (!WriteCommand(kind, kCmdWriteMaterials, LinkBlock::MaterialsWrite)) return false;
      Wait(kCommandDelayMs);
      return WriteBlock(kind, LinkBlock::MaterialsWrite, bytes, kMaterialsBlockSize);
    case LinkStates::ReadObjects:
      Wait(kReplyDelayMs);
      if (!WriteCommand(kind, kCmdReadObjects, LinkBlock::Objects)) return false;
      Wait(kCommandDelayMs);
      return ReadReply(kind, LinkBlock::Objects, objectsScratch_.data(), kObjectsBlockSize,
                       &replyLength);
    case LinkStates::WriteObjects:
      if (!WriteCommand(kind, kCmdWriteObjects, LinkBlock::ObjectsWrite)) return false;
      Wait(kCommandDelayMs);
      return WriteBlock(kind, LinkBlock::ObjectsWrite, bytes, kObjectsBlockSize);
    case LinkStates::ReadMaterials: {
      Wait(kCommandDelayMs);
      if (!WriteCommand(kind, kCmdReadParameters, LinkBlock::Materials)) return false;
      Wait(kReplyDelayMs);
      // The parameters come first; this request keeps only the materials.
      uint32_t params = 0;
      if (!ReadReply(kind, LinkBlock::Parameters, paramScratch_.data(), kParamScratchSize, &params))
        return false;
      return ReadReply(kind, LinkBlock::Materials, materialsScratch_.data(), kMaterialsBlockSize,
                       &replyLength);
    }
    default:
      return false;
  }
}

void ExchangeLoop::ErrorPath(LinkStates state) {
  // Without a whole read behind it the loop starts again from connect, and a request is
  // given up; after one, the failed state runs again on the next pass, and a request's
  // requester learns of the failure if it stops waiting.
  const bool request = IsTransferRequest(state);
  if (!env_.shared.DataReadComplete()) {
    if (request)
      env_.shared.Abandon(passTicket_, state, failure_);
    else
      Advance(state, LinkStates::Connect);
  } else if (request) {
    env_.shared.NoteAttempt(passTicket_, RequestOutcome::Failed, failure_);
  }
  if (!Silent()) env_.sink.TransferFailed(failure_);
  const Phrase why = LinkFailurePhrase(failure_);
  Status(1, why.IsEmpty() ? Phrase(txtStatusLinkError) : Phrase(txtStatusLinkError) + QStringLiteral(": ") + why);
  failure_ = LinkFailure{};
  Lamp(LampColour::Red);
  const TransportKinds kind = env_.shared.Kind();
  // The drain takes what the transport has at hand; its result is ignored. A link let
  // go for a data file (below) needs none.
  if (!Silent()) {
    if (kind == TransportKinds::Pipe) env_.pipe.TransportRead(drain_.data(), kDrainSize);
    if (kind == TransportKinds::Libusb) env_.usb.TransportRead(drain_.data(), int(kDrainSize));
  }
  // A failed reply may still be on its way, and a vanished instrument keeps failing on
  // the handles it left behind: release the link, so that the next open starts a clean
  // exchange with whatever is plugged in now. Only a start-up state that runs again as
  // it is (a whole read behind it) goes on without an open, and keeps the link.
  const bool retriedWithoutOpen = state >= LinkStates::ReadVersion &&
                                  state <= LinkStates::ReadData && env_.shared.State() == state;
  if (kind != TransportKinds::None && !retriedWithoutOpen) Close(kind);
  Wait(kErrorDelayMs);
  ProgressHide();
}

}  // namespace zarn
