#pragma once
// A scripted instrument behind fake pipe and libusb transports, a recording sink and a
// virtual clock, all writing into one log, so that a test can assert the exact order of
// notifications, waits and transport calls.

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/images.h"
#include "device/linksink.h"
#include "device/transports.h"

namespace zarn::test {

struct Log {
  std::vector<std::string> lines;
  void Add(std::string line) { lines.push_back(std::move(line)); }
  // The lines since the last Take.
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(lines);
    return out;
  }
};

// What the stand-in instrument received, as the bytes a request sends.
inline QByteArray Bytes(const std::vector<uint8_t>& v) {
  return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

inline std::string LampName(LampColour c) {
  switch (c) {
    case LampColour::Black: return "Black";
    case LampColour::Lime: return "Lime";
    case LampColour::Red: return "Red";
    case LampColour::ButtonFace: return "ButtonFace";
  }
  return "?";
}

class RecordingSink final : public LinkSink {
 public:
  explicit RecordingSink(Log& log) : log_(log) {}
  void StatusText(int panel, const Phrase& text) override {
    log_.Add("status " + std::to_string(panel) + " " + text().toStdString());
  }
  void LinkLamp(LampColour colour) override {
    lamp = colour;
    log_.Add("lamp " + LampName(colour));
  }
  LampColour CurrentLamp() override { return lamp; }
  void ProgressBegin() override { log_.Add("progress begin"); }
  void ProgressRange(int maximum) override { log_.Add("progress range " + std::to_string(maximum)); }
  void ProgressStep(int position) override { log_.Add("progress step " + std::to_string(position)); }
  void ProgressEnd() override { log_.Add("progress end"); }
  void ProgressHide() override { log_.Add("progress hide"); }
  void RefreshWithChartHidden(const CompletedRead& read) override {
    log_.Add("refresh");
    lastRead = read;
    if (onRefresh) onRefresh();
  }
  void TransferFailed(const LinkFailure& failure) override {
    if (onFailure) onFailure(failure);
  }

  LampColour lamp = LampColour::ButtonFace;
  CompletedRead lastRead;
  std::function<void()> onRefresh;
  std::function<void(const LinkFailure&)> onFailure;

 private:
  Log& log_;
};

// The instrument: answers commands written to it, takes the blocks written after 05 FA
// and 07 F8, and can fail a chosen operation.
class FakeInstrument {
 public:
  explicit FakeInstrument(Log& log) : log_(log) {
    params.assign(kParamBlockSize, 0);
    materials.assign(kMaterialsBlockSize, 0);
    objects.assign(kObjectsBlockSize, 0);
    for (size_t i = 0; i < materials.size(); ++i) materials[i] = uint8_t(i * 7 + 1);
    for (size_t i = 0; i < objects.size(); ++i) objects[i] = uint8_t(i * 3 + 2);
    SetProcesses(2);
    SetData(6400);
  }

  // A directory of `count` valid entries.
  void SetProcesses(uint32_t count) {
    std::fill(params.begin(), params.end(), uint8_t(0));
    for (uint32_t i = 0; i < count; ++i) {
      PutU16(&params[i * 4], uint16_t(512 + i));
      params[i * 4 + 2] = 0;
      params[i * 4 + 3] = 1;
    }
    for (size_t i = count * 4; i < params.size(); ++i) params[i] = uint8_t(i % 251 == 3 ? 9 : 0);
  }
  void SetData(uint32_t length) {
    data.resize(length);
    for (uint32_t i = 0; i < length; ++i) data[i] = uint8_t(i * 13 + 5);
  }

  // What each reply announces (by default the true length) and what follows it.
  std::string version = "Zarn-2.6 v1.5";
  int64_t versionAnnounced = -1;
  int64_t dataAnnounced = -1;
  int64_t paramsAnnounced = -1, materialsAnnounced = -1, objectsAnnounced = -1;
  std::vector<uint8_t> params, materials, objects, data;
  std::vector<uint8_t> writtenMaterials, writtenObjects;

  // Fail the `op`-th operation (0 = the command write) after command `cmd`.
  int failCmd = 0;
  int failOp = -1;
  bool failForever = false;  // every operation fails (an unplugged instrument)
  // Called at every operation with the command in progress and the op index.
  std::function<void(int cmd, int op)> onOp;

  // Returns false when the operation fails.
  bool Step() {
    const int op = op_++;
    if (onOp) onOp(cmd_, op);
    if (failForever) return false;
    return !(cmd_ == failCmd && op == failOp);
  }

  bool Write(const uint8_t* bytes, uint32_t count) {
    // A command starts afresh, also after a block that was broken off.
    if (count == 2 && bytes[1] == uint8_t(0xFF - bytes[0])) {
      expect_ = 0;
      block_.clear();
      cmd_ = bytes[0];
      op_ = 0;
      if (!Step()) return false;
      Command(bytes[0]);
      return true;
    }
    if (!Step()) return false;
    block_.insert(block_.end(), bytes, bytes + count);
    if (expect_ > 0 && block_.size() >= expect_) {
      std::vector<uint8_t> body(block_.begin() + 4, block_.end());
      (cmd_ == 5 ? writtenMaterials : writtenObjects) = body;
      expect_ = 0;
      block_.clear();
    }
    return true;
  }

  // Takes up to `count` bytes; returns how many were there.
  uint32_t Read(uint8_t* buffer, uint32_t count, bool* failed) {
    *failed = !Step();
    if (*failed) return 0;
    uint32_t n = 0;
    while (n < count && !pending.empty()) {
      buffer[n++] = pending.front();
      pending.pop_front();
    }
    return n;
  }

  std::deque<uint8_t> pending;  // bytes the instrument has sent and the computer not read
  Log& log() { return log_; }

 private:
  void Reply(const std::vector<uint8_t>& body, int64_t announced = -1) {
    uint8_t len[4];
    PutU32(len, uint32_t(announced >= 0 ? announced : int64_t(body.size())));
    pending.insert(pending.end(), len, len + 4);
    pending.insert(pending.end(), body.begin(), body.end());
  }
  void Command(uint8_t code) {
    switch (code) {
      case 1: {
        std::vector<uint8_t> text(version.begin(), version.end());
        // Padded to what it announces, up to 2 MiB (beyond that nobody reads it).
        if (versionAnnounced > int64_t(text.size()))
          text.resize(size_t(std::min<int64_t>(versionAnnounced, 2 << 20)), 'x');
        Reply(text, versionAnnounced);
        break;
      }
      case 2:
        Reply(params, paramsAnnounced);
        Reply(materials, materialsAnnounced);
        break;
      case 4: Reply(data, dataAnnounced); break;
      case 5: expect_ = 4 + kMaterialsBlockSize; break;
      case 6: Reply(objects, objectsAnnounced); break;
      case 7: expect_ = 4 + kObjectsBlockSize; break;
      default: break;
    }
  }

  Log& log_;
  int cmd_ = 0;
  int op_ = 0;
  size_t expect_ = 0;
  std::vector<uint8_t> block_;
};

inline std::string WriteText(const char* who, const uint8_t* bytes, uint32_t count) {
  if (count > 4) return std::string(who) + " write " + std::to_string(count) + " bytes";
  std::string s = std::string(who) + " write";
  static const char hex[] = "0123456789ABCDEF";
  for (uint32_t i = 0; i < count; ++i) {
    s += ' ';
    s += hex[bytes[i] >> 4];
    s += hex[bytes[i] & 15];
  }
  return s;
}

// The pipe driver: present devices are folders; reads deliver all or fail.
class FakePipe final : public PipeLink {
 public:
  explicit FakePipe(FakeInstrument& dev) : dev_(dev) {}
  std::vector<std::string> devices = {"/run/zarn26/{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}/dev0"};
  bool opened = false;
  std::string openPath;
  int openError = 2;  // ENOENT when the path is gone
  bool inUse = false;  // another program holds the device

  uint32_t Enumerate(QByteArray& list) override {
    dev_.log().Add("pipe enumerate");
    list.clear();
    for (const auto& d : devices) list += QByteArray::fromStdString(d) + '\n';
    return uint32_t(devices.size());
  }
  int Open(QByteArrayView path) override {
    dev_.log().Add("pipe open " + path.toByteArray().toStdString());
    if (opened) return 0;
    if (inUse) return kPipeOpenInUse;
    const std::string p = path.toByteArray().toStdString();
    if (std::find(devices.begin(), devices.end(), p) == devices.end()) return openError;
    opened = true;
    openPath = p;
    return 0;
  }
  int TransportClose() override {
    dev_.log().Add("pipe close");
    opened = false;
    return 0;
  }
  uint16_t TransportWrite(const uint8_t* bytes, uint32_t count) override {
    dev_.log().Add(WriteText("pipe", bytes, count));
    if (!opened) return kPipeNotOpen;
    if (count == 0 || !bytes) return kPipeBadArgument;
    return dev_.Write(bytes, count) ? kPipeOk : kPipeIoFailure;
  }
  uint16_t TransportRead(uint8_t* buffer, uint32_t count) override {
    dev_.log().Add("pipe read " + std::to_string(count));
    if (!opened) return kPipeNotOpen;
    if (count == 0 || !buffer) return kPipeBadArgument;
    bool failed = false;
    const uint32_t got = dev_.Read(buffer, count, &failed);
    return !failed && got == count ? kPipeOk : kPipeIoFailure;
  }

 private:
  FakeInstrument& dev_;
};

// The libusb side: a read delivers what there is (at most `chunk` bytes when set), a
// read of nothing times out.
class FakeUsb final : public UsbLink {
 public:
  explicit FakeUsb(FakeInstrument& dev) : dev_(dev) {}
  int loadResult = 1;  // no library by default
  bool present = true;
  bool inUse = false;
  bool opened = false;
  int chunk = 0;
  static inline const QString kNotConnected = QStringLiteral("not connected");

  int Load() override {
    dev_.log().Add("usb load");
    return loadResult;
  }
  int TransportOpen(LinkSink& sink) override {
    dev_.log().Add("usb open");
    if (!present) {
      opened = false;
      sink.StatusText(0, kNotConnected);
      sink.ProgressHide();
      return kUsbNotFound;
    }
    if (inUse) return kUsbInUse;
    opened = true;
    return kUsbOpened;
  }
  void TransportClose() override {
    dev_.log().Add("usb close");
    opened = false;
  }
  int TransportWrite(const uint8_t* bytes, int count) override {
    dev_.log().Add(WriteText("usb", bytes, uint32_t(count)));
    if (!opened) return -9;
    return dev_.Write(bytes, uint32_t(count)) ? count : -5;
  }
  int TransportRead(uint8_t* buffer, int count) override {
    dev_.log().Add("usb read " + std::to_string(count));
    if (!opened) return -9;
    bool failed = false;
    const uint32_t got = dev_.Read(buffer, uint32_t(chunk > 0 ? std::min(chunk, count) : count), &failed);
    if (failed) return -5;
    return got == 0 && count > 0 ? -116 : int(got);
  }

 private:
  FakeInstrument& dev_;
};

}  // namespace zarn::test
