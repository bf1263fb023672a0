#include "device/exchangeloop.h"

#include <algorithm>
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

bool IsRequest(uint8_t state) {
  return state == kLinkWriteMaterials || state == kLinkReadObjects ||
         state == kLinkWriteObjects || state == kLinkReadMaterials;
}

}  // namespace

bool RequestGaugeRead() {
  if (LinkState.load() != kLinkIdle) return false;
  DataReadComplete.store(false);
  uint8_t idle = kLinkIdle;
  return LinkState.compare_exchange_strong(idle, kLinkConnect);
}

bool RequestTransfer(uint8_t state) {
  if (!IsRequest(state)) return false;
  uint8_t idle = kLinkIdle;
  return LinkState.compare_exchange_strong(idle, state);
}

bool WithdrawRequest(uint8_t state) {
  return LinkState.compare_exchange_strong(state, kLinkIdle);
}

QByteArrayView LastDevicePath(const QByteArray& list) {
  QByteArrayView v(list);
  if (v.endsWith('\n')) v.chop(1);
  const qsizetype lf = v.lastIndexOf('\n');
  return lf < 0 ? v : v.sliced(lf + 1);
}

ExchangeLoop::ExchangeLoop(LoopEnvironment env) : env_(std::move(env)) {}

// ---------------------------------------------------------------------------------
// Waits and notifications

bool ExchangeLoop::Stopping() const { return env_.stopRequested && env_.stopRequested(); }

void ExchangeLoop::Wait(int ms) {
  if (env_.sleep) env_.sleep(ms);
}

// Once a stop was asked nothing more is shown: the window may be going away.
void ExchangeLoop::Status(int panel, const QString& text) {
  if (!Stopping()) env_.sink.StatusText(panel, text);
}

void ExchangeLoop::Lamp(LampColour colour) {
  if (Stopping()) return;
  // Red stays visible at least this long.
  if (env_.sink.CurrentLamp() == LampColour::Red) Wait(kRedHoldMs);
  if (!Stopping()) env_.sink.LinkLamp(colour);
}

void ExchangeLoop::ProgressBegin() {
  if (!Stopping()) env_.sink.ProgressBegin();
}
void ExchangeLoop::ProgressRange(int maximum) {
  if (!Stopping()) env_.sink.ProgressRange(maximum);
}
void ExchangeLoop::ProgressStep(int position) {
  if (!Stopping()) env_.sink.ProgressStep(position);
}
void ExchangeLoop::ProgressEnd() {
  if (!Stopping()) env_.sink.ProgressEnd();
}
void ExchangeLoop::ProgressHide() {
  if (!Stopping()) env_.sink.ProgressHide();
}

bool ExchangeLoop::Advance(uint8_t from, uint8_t to) {
  return LinkState.compare_exchange_strong(from, to);
}

// ---------------------------------------------------------------------------------
// Transport operations

bool ExchangeLoop::Write(uint8_t kind, const uint8_t* bytes, uint32_t count) {
  if (kind == kTransportPipe) return env_.pipe.TransportWrite(bytes, count) == kPipeOk;
  if (kind == kTransportLibusb) return env_.usb.TransportWrite(bytes, int(count)) >= 0;
  return false;
}

int64_t ExchangeLoop::Read(uint8_t kind, uint8_t* buffer, uint32_t count) {
  if (kind == kTransportPipe)
    return env_.pipe.TransportRead(buffer, count) == kPipeOk ? int64_t(count) : int64_t(-1);
  if (kind == kTransportLibusb) {
    const int got = env_.usb.TransportRead(buffer, int(count));
    return got >= 0 ? got : -1;
  }
  return -1;
}

bool ExchangeLoop::WriteCommand(uint8_t kind, uint8_t code) {
  return Write(kind, kCommands[code - 1], 2);
}

bool ExchangeLoop::ReadReply(uint8_t kind, uint8_t* dest, uint32_t cap, uint32_t* length) {
  if (Read(kind, dest, 4) < 0) return false;
  const uint32_t announced = GetU32(dest);
  const uint32_t cut = std::min(announced, cap);
  if (Read(kind, dest, cut) < 0) return false;
  if (length) *length = cut;
  DiscardExcess(kind, uint64_t(announced) - cut);
  return true;
}

void ExchangeLoop::DiscardExcess(uint8_t kind, uint64_t excess) {
  if (excess == 0 || excess > kMaxDiscard) return;
  while (excess > 0) {
    const uint32_t piece = uint32_t(std::min<uint64_t>(excess, kDrainSize));
    const int64_t got = Read(kind, drain_.data(), piece);
    if (got <= 0) return;  // the rest never came; the bytes we needed are in
    excess -= uint64_t(got);
  }
}

bool ExchangeLoop::WriteBlock(uint8_t kind, const uint8_t* block, uint32_t size) {
  uint8_t length[4];
  PutU32(length, size);
  if (!Write(kind, length, 4)) return false;
  for (uint32_t at = 0; at < size; at += kPieceSize) {
    if (!Write(kind, block + at, std::min(kPieceSize, size - at))) return false;
    Wait(kPieceDelayMs);
  }
  return true;
}

void ExchangeLoop::Close(uint8_t kind) {
  if (kind == kTransportPipe) env_.pipe.TransportClose();
  if (kind == kTransportLibusb) env_.usb.TransportClose();
}

bool ExchangeLoop::OpenForRequest(uint8_t kind) {
  if (kind == kTransportLibusb) return env_.usb.TransportOpen(env_.sink) == 0;
  QByteArray list;
  if (env_.pipe.Enumerate(list) > 0 && env_.pipe.Open(LastDevicePath(list)) == 0) return true;
  env_.pipe.TransportClose();
  return false;
}

// ---------------------------------------------------------------------------------
// The loop

void ExchangeLoop::Run() {
  Wait(kStartDelayMs);
  if (env_.setNormalPriority) env_.setNormalPriority();
  while (!Stopping()) RunPass();
  env_.pipe.TransportClose();
}

void ExchangeLoop::RunPass() {
  Wait(kPassDelayMs);
  if (Stopping()) return;
  passState_ = LinkState.load();
  const uint8_t kind = TransportKind.load();
  switch (passState_) {
    case kLinkChooseTransport:
      ChooseTransport();
      if (Advance(kLinkChooseTransport, kLinkConnect)) {
        passState_ = kLinkConnect;
        Connect();
      }
      return;
    case kLinkConnect:
      Connect();
      return;
    case kLinkReadVersion:
      if (!ReadVersion(kind)) ErrorPath(passState_);
      return;
    case kLinkReadParameters:
      if (!ReadParameters(kind)) ErrorPath(passState_);
      return;
    case kLinkReadData:
      if (ReadData(kind) == DataResult::Failed) ErrorPath(passState_);
      return;
    case kLinkIdle:
      Wait(kIdleDelayMs);
      return;
    case kLinkCloseAndRefresh:
      CloseAndRefresh();
      return;
    case kLinkWriteMaterials:
    case kLinkReadObjects:
    case kLinkWriteObjects:
    case kLinkReadMaterials:
      RequestedTransfer(passState_);
      return;
    default:
      ErrorPath(passState_);
      return;
  }
}

void ExchangeLoop::ChooseTransport() {
  TransportKind.store(env_.usb.Load() == 0 ? kTransportLibusb : kTransportNone);
}

void ExchangeLoop::Connect() {
  Status(1, txtStatusCheckConnection());
  Lamp(LampColour::Black);
  bool open = false;
  QByteArray list;
  if (env_.pipe.Enumerate(list) > 0 && env_.pipe.Open(LastDevicePath(list)) == 0) {
    TransportKind.store(kTransportPipe);
    open = true;
  } else if (TransportKind.load() == kTransportLibusb) {
    // On failure the transport has put its own message into panel 0.
    open = env_.usb.TransportOpen(env_.sink) == 0;
  }
  if (!open) return;
  // A data file opened meanwhile keeps the loop idle.
  if (!Advance(kLinkConnect, kLinkReadVersion)) return;
  Status(1, txtStatusReadingVersion());
  Lamp(LampColour::Lime);
  Wait(kAfterConnectMs);
}

bool ExchangeLoop::ReadVersion(uint8_t kind) {
  if (kind == kTransportNone) return false;
  if (!WriteCommand(kind, kCmdReadVersion)) return false;
  Wait(kind == kTransportLibusb ? kVersionDelayUsbMs : kVersionDelayPipeMs);
  uint32_t length = 0;
  const uint32_t cap = kind == kTransportLibusb ? kVersionCapUsb : kVersionCapPipe;
  if (!ReadReply(kind, version_.data(), cap, &length)) return false;
  // The text is the `length` bytes, NULs shown as blanks.
  std::replace(version_.begin(), version_.begin() + length, uint8_t(0), uint8_t(' '));
  version_[length] = 0;
  Status(0, DecodeCp1251(QByteArrayView(version_.data(), length)));
  if (!Advance(kLinkReadVersion, kLinkReadParameters)) return true;
  Status(1, txtStatusReadingParameters());
  Wait(kCommandDelayMs);
  return true;
}

bool ExchangeLoop::ReadParameters(uint8_t kind) {
  if (kind == kTransportNone) return false;
  if (!WriteCommand(kind, kCmdReadParameters)) return false;
  Wait(kReplyDelayMs);
  {
    std::lock_guard lock(ImagesLock);
    if (!ReadReply(kind, Images.ParamBlock.data(), kParamBlockSize)) return false;
    if (!ReadReply(kind, Images.MaterialsBlock.data(), kMaterialsBlockSize)) return false;
    CountProcesses();
  }
  if (ProcessCount.load() == 0) {
    if (!Advance(kLinkReadParameters, kLinkCloseAndRefresh)) return true;
    Status(1, txtStatusNoData());
    Lamp(LampColour::ButtonFace);
  } else {
    if (!Advance(kLinkReadParameters, kLinkReadData)) return true;
    Status(1, QString());
    Lamp(LampColour::Lime);
  }
  return true;
}

ExchangeLoop::DataResult ExchangeLoop::ReadData(uint8_t kind) {
  if (kind == kTransportNone) return DataResult::Failed;
  ProgressBegin();
  {
    std::lock_guard lock(ImagesLock);
    uint8_t* image = Images.DataImage.data();
    if (!WriteCommand(kind, kCmdReadData)) return DataResult::Failed;
    if (Read(kind, image, 4) < 0) return DataResult::Failed;
    const uint32_t announced = GetU32(image);
    const uint32_t length = std::min<uint32_t>(announced, kDataImageSize);
    ProgressRange(int(length));
    // 64 reads, so that the progress bar moves 64 times.
    const uint32_t piece = length / kDataReads;
    for (int i = 0; i < kDataReads; ++i) {
      // A stop is not held up by the rest of an 8 MiB transfer.
      if (Stopping()) return DataResult::Abandoned;
      ProgressStep(int(uint64_t(i) * length / kDataReads));
      if (Read(kind, image + size_t(i) * piece, piece) < 0) return DataResult::Failed;
    }
    // The last length mod 64 bytes, and anything beyond the image's size, stay out of
    // the image (the memory is read as 64 equal pieces); they are read and thrown away
    // so that they are not taken for the start of the next reply.
    DiscardExcess(kind, uint64_t(announced) - uint64_t(piece) * kDataReads);
  }
  DataReadComplete.store(true);
  if (!Advance(kLinkReadData, kLinkCloseAndRefresh)) {
    ProgressEnd();
    return DataResult::Done;
  }
  Status(1, txtStatusDataRead() + QStringLiteral(" (") + QString::number(ProcessCount.load()) +
                QStringLiteral(")"));
  Lamp(LampColour::ButtonFace);
  ProgressEnd();
  return DataResult::Done;
}

void ExchangeLoop::CloseAndRefresh() {
  Close(TransportKind.load());
  Advance(kLinkCloseAndRefresh, kLinkIdle);
  // Reads the images on the main thread: the loop holds no lock while it waits.
  if (!Stopping()) env_.sink.RefreshWithChartHidden();
}

void ExchangeLoop::RequestedTransfer(uint8_t state) {
  const uint8_t kind = TransportKind.load();
  if (kind == kTransportNone) {
    ErrorPath(state);
    return;
  }
  // State 8 closed the transport; each request opens it again.
  if (!OpenForRequest(kind)) {
    Status(1, txtStatusCheckConnection());
    Lamp(LampColour::Black);
    return;
  }
  Lamp(LampColour::Lime);
  if (!TransferBody(state, kind)) {
    ErrorPath(state);
    return;
  }
  Close(kind);
  Advance(state, kLinkIdle);
  const bool written = state == kLinkWriteMaterials || state == kLinkWriteObjects;
  Status(1, written ? txtStatusParamWritten() : txtStatusParamRead());
  Lamp(LampColour::ButtonFace);
}

bool ExchangeLoop::TransferBody(uint8_t state, uint8_t kind) {
  switch (state) {
    case kLinkWriteMaterials: {
      if (!WriteCommand(kind, kCmdWriteMaterials)) return false;
      Wait(kCommandDelayMs);
      std::lock_guard lock(ImagesLock);
      return WriteBlock(kind, Images.MaterialsBlock.data(), kMaterialsBlockSize);
    }
    case kLinkReadObjects: {
      Wait(kReplyDelayMs);
      if (!WriteCommand(kind, kCmdReadObjects)) return false;
      Wait(kCommandDelayMs);
      std::lock_guard lock(ImagesLock);
      return ReadReply(kind, Images.ObjectsBlock.data(), kObjectsBlockSize);
    }
    case kLinkWriteObjects: {
      if (!WriteCommand(kind, kCmdWriteObjects)) return false;
      Wait(kCommandDelayMs);
      std::lock_guard lock(ImagesLock);
      return WriteBlock(kind, Images.ObjectsBlock.data(), kObjectsBlockSize);
    }
    case kLinkReadMaterials: {
      Wait(kCommandDelayMs);
      if (!WriteCommand(kind, kCmdReadParameters)) return false;
      Wait(kReplyDelayMs);
      // The parameters come first; this request keeps only the materials.
      if (!ReadReply(kind, paramScratch_.data(), kParamScratchSize)) return false;
      std::lock_guard lock(ImagesLock);
      return ReadReply(kind, Images.MaterialsBlock.data(), kMaterialsBlockSize);
    }
    default:
      return false;
  }
}

void ExchangeLoop::ErrorPath(uint8_t state) {
  // Without a whole read behind it the loop starts again from connect; after one, the
  // failed state runs again on the next pass.
  if (!DataReadComplete.load()) Advance(state, kLinkConnect);
  Status(1, txtStatusLinkError());
  Lamp(LampColour::Red);
  const uint8_t kind = TransportKind.load();
  if (!Stopping() && kind != kTransportNone) Read(kind, drain_.data(), kDrainSize);
  // A vanished instrument keeps failing on the handles it left behind: release them, so
  // that the next open enumerates and opens whatever is plugged in now. Only a start-up
  // state that runs again as it is (a whole read behind it) goes on without an open, and
  // keeps the link. LibusbTransport notices a changed bus in its own open.
  const bool retriedWithoutOpen = state >= kLinkReadVersion && state <= kLinkReadData &&
                                  LinkState.load() == state;
  if (kind == kTransportPipe && !retriedWithoutOpen) env_.pipe.TransportClose();
  Wait(kErrorDelayMs);
  ProgressHide();
}

}  // namespace zarn
