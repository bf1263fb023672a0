#pragma once
// Shared pieces of the transport tests: device folders of FIFOs in a temporary root, an
// instrument's end of the two pipes, and a sink that records what the transport shows.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/linksink.h"
#include "device/pipeio.h"
#include "device/pipetransport.h"

namespace zarn::testing {

inline std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// ROOT/{class}/NAME with the named pipes as FIFOs; returns the device folder.
inline QString MakeDevice(const QString& root, const QString& name,
                          const QStringList& pipes = {QStringLiteral("Pipe00"),
                                                      QStringLiteral("Pipe01")}) {
  const QString folder =
      root + u'/' + QLatin1StringView(PipeTransport::kClassFolder) + u'/' + name;
  QDir().mkpath(folder);
  for (const QString& pipe : pipes) ::mkfifo(Bytes(folder + u'/' + pipe).c_str(), 0600);
  return folder;
}

// The instrument's ends: it reads Pipe00 and writes Pipe01.
class FakeInstrument {
 public:
  explicit FakeInstrument(const QString& folder) : folder_(Bytes(folder)) {
    // Listening: a reader on Pipe00 lets the computer open its write side.
    commands_.reset(pipeio::OpenNonBlocking((folder_ + "/Pipe00").c_str(), O_RDONLY));
  }
  // Opens the reply side; the computer must have opened Pipe01 for reading first.
  bool Answer() {
    replies_.reset(pipeio::OpenNonBlocking((folder_ + "/Pipe01").c_str(), O_WRONLY));
    return replies_.valid();
  }
  bool Send(const std::vector<uint8_t>& bytes) {
    return pipeio::WriteFull(replies_.get(), bytes.data(), bytes.size(), 2000,
                             pipeio::Deadline::SinceProgress)
               .outcome == pipeio::Outcome::Ok;
  }
  std::vector<uint8_t> Receive(size_t count, int timeoutMs = 2000) {
    std::vector<uint8_t> bytes(count);
    const auto result = pipeio::ReadFull(commands_.get(), bytes.data(), count, timeoutMs,
                                         pipeio::Deadline::SinceProgress);
    bytes.resize(result.done);
    return bytes;
  }
  void CloseReplies() { replies_.reset(); }
  void CloseCommands() { commands_.reset(); }
  bool Listening() const { return commands_.valid(); }

 private:
  std::string folder_;
  pipeio::UniqueFd commands_;
  pipeio::UniqueFd replies_;
};

class RecordingSink final : public LinkSink {
 public:
  std::vector<QString> events;

  void StatusText(int panel, const Phrase& text) override {
    events.push_back(QStringLiteral("StatusText(%1, %2)").arg(panel).arg(text()));
  }
  void LinkLamp(LampColour colour) override {
    events.push_back(QStringLiteral("LinkLamp(%1)").arg(uint32_t(colour)));
  }
  LampColour CurrentLamp() override { return LampColour::ButtonFace; }
  void ProgressBegin() override { events.push_back(QStringLiteral("ProgressBegin")); }
  void ProgressRange(int maximum) override {
    events.push_back(QStringLiteral("ProgressRange(%1)").arg(maximum));
  }
  void ProgressStep(int position) override {
    events.push_back(QStringLiteral("ProgressStep(%1)").arg(position));
  }
  void ProgressEnd() override { events.push_back(QStringLiteral("ProgressEnd")); }
  void ProgressHide() override { events.push_back(QStringLiteral("ProgressHide")); }
  void RefreshWithChartHidden(const CompletedRead&) override { events.push_back(QStringLiteral("Refresh")); }
};

inline std::vector<uint8_t> Pattern(size_t count, uint8_t seed = 1) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
  return bytes;
}

inline int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace zarn::testing
