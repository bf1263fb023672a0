// zarn26-sim's instrument: one device folder of FIFOs, served connection after
// connection on a single thread with poll, until SIGTERM or SIGINT.
//
// A connection is what the program's PipeTransport does between Open and Close: it
// opens Pipe01 for reading, then Pipe00 for writing, sends commands, reads replies and
// closes both. While plugged in we hold Pipe00 open for reading and writing (so its
// Open succeeds and it never reads as ended) and Pipe01 open for writing and reading
// (our reader only ever empties it between connections). inotify tells us when the
// computer opens and closes Pipe01, in order: a connection starts and ends clean, the
// replies it did not take are dropped, and bytes written to Pipe00 by someone who reads
// no replies are ignored.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "common/cp1251.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "device/pipeio.h"
#include "device/pipetransport.h"
#include "samplegen.h"
#include "server_options.h"
#include "server_protocol.h"
#include "simulator.h"

namespace zarn::sim {

namespace {

using Clock = std::chrono::steady_clock;
using pipeio::UniqueFd;

constexpr size_t kChunk = 65536;      // bytes per write when not slowed down
constexpr size_t kSlowChunk = 4096;   // bytes per write with --slow

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

void Log(const QString& text) {
  std::fprintf(stderr, "zarn26-sim: %s\n", text.toLocal8Bit().constData());
}

// ROOT/{class}/NAME with its two FIFOs. The pipes are made and opened in a staging
// folder beside the class folder, which is then renamed into place: the device appears
// at once, already served, and vanishes at once. Remembers which folders it made, so
// that it removes exactly those again.
class DeviceFolder {
 public:
  DeviceFolder(const QString& root, const QString& name)
      : root_(QDir::cleanPath(root)),
        classFolder_(root_ + u'/' + QLatin1StringView(PipeTransport::kClassFolder)),
        folder_(classFolder_ + u'/' + name),
        staging_(root_ + QStringLiteral("/.zarn26-sim-%1-%2").arg(qint64(::getpid())).arg(name)) {}
  ~DeviceFolder() { Remove(); }
  DeviceFolder(const DeviceFolder&) = delete;
  DeviceFolder& operator=(const DeviceFolder&) = delete;

  const QString& Path() const { return folder_; }
  std::string StagedPipe(const char* name) const { return Bytes(staging_ + u'/') + name; }

  bool Prepare(QString& error) {
    madeRoot_ = madeRoot_ || !QFileInfo::exists(root_);
    madeClass_ = madeClass_ || !QFileInfo::exists(classFolder_);
    if (!QDir().mkpath(classFolder_)) {
      error = QStringLiteral("cannot create the folder %1").arg(classFolder_);
      return false;
    }
    if (QFileInfo::exists(folder_)) {
      // Pipes left behind by a simulator that did not end cleanly are replaced; pipes
      // that someone still serves are not.
      const std::string pipe = Bytes(folder_ + u'/') + PipeTransport::kPipeOut;
      if (UniqueFd(pipeio::OpenNonBlocking(pipe.c_str(), O_WRONLY)).valid()) {
        error = QStringLiteral("another instrument already serves %1").arg(folder_);
        return false;
      }
      RemovePipes(folder_);
      if (::rmdir(Bytes(folder_).c_str()) != 0) {
        error = QStringLiteral("cannot replace %1: %2").arg(folder_, SystemError());
        return false;
      }
    }
    RemovePipes(staging_);
    ::rmdir(Bytes(staging_).c_str());
    if (::mkdir(Bytes(staging_).c_str(), 0777) != 0) {
      error = QStringLiteral("cannot create %1: %2").arg(staging_, SystemError());
      return false;
    }
    staged_ = true;
    for (const char* pipe : {PipeTransport::kPipeIn, PipeTransport::kPipeOut}) {
      if (::mkfifo(StagedPipe(pipe).c_str(), 0666) != 0) {
        error = QStringLiteral("cannot create the pipe %1: %2")
                    .arg(QString::fromLocal8Bit(StagedPipe(pipe).c_str()), SystemError());
        return false;
      }
    }
    return true;
  }

  bool Publish(QString& error) {
    if (::rename(Bytes(staging_).c_str(), Bytes(folder_).c_str()) != 0) {
      error = QStringLiteral("cannot create %1: %2").arg(folder_, SystemError());
      return false;
    }
    staged_ = false;
    published_ = true;
    return true;
  }

  void Remove() {
    if (published_) {
      RemovePipes(folder_);
      ::rmdir(Bytes(folder_).c_str());
      published_ = false;
    }
    if (staged_) {
      RemovePipes(staging_);
      ::rmdir(Bytes(staging_).c_str());
      staged_ = false;
    }
    // Shared folders go only when we made them and nobody else uses them now.
    if (madeClass_) ::rmdir(Bytes(classFolder_).c_str());
    if (madeRoot_) ::rmdir(Bytes(root_).c_str());
  }

 private:
  static QString SystemError() { return QString::fromLocal8Bit(strerror(errno)); }
  static void RemovePipes(const QString& folder) {
    for (const char* pipe : {PipeTransport::kPipeOut, PipeTransport::kPipeIn})
      ::unlink((Bytes(folder + u'/') + pipe).c_str());
  }

  QString root_;
  QString classFolder_;
  QString folder_;
  QString staging_;
  bool madeRoot_ = false;
  bool madeClass_ = false;
  bool staged_ = false;
  bool published_ = false;
};

class Server {
 public:
  Server(const ServerOptions& options, DeviceImages& images, ProtocolSettings settings)
      : options_(options), protocol_(images, std::move(settings)),
        folder_(options.root, options.name) {}

  // 0 after a signal, 1 when the device cannot be set up.
  int Run() {
    if (!SetUpSignals()) return 1;
    QString error;
    if (!PlugIn(error)) {
      Log(error);
      return 1;
    }
    std::printf("READY %s\n", QFile::encodeName(folder_.Path()).constData());
    std::fflush(stdout);
    while (!stop_) Step();
    folder_.Remove();
    ClosePipes();
    return 0;
  }

 private:
  struct Chunk {
    QByteArray bytes;
    bool unplug = false;  // vanish when the bytes before it are out
    int pauseMs = 0;      // a pause when the bytes before it are out; -1: for ever
  };

  bool SetUpSignals() {
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGTERM);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &watched, nullptr);
    signals_.reset(::signalfd(-1, &watched, SFD_CLOEXEC | SFD_NONBLOCK));
    ::signal(SIGPIPE, SIG_IGN);
    if (!signals_.valid()) Log(QStringLiteral("cannot watch for signals"));
    return signals_.valid();
  }

  bool PlugIn(QString& error) {
    if (!folder_.Prepare(error)) {
      folder_.Remove();
      return false;
    }
    const std::string out = folder_.StagedPipe(PipeTransport::kPipeOut);
    const std::string in = folder_.StagedPipe(PipeTransport::kPipeIn);
    commands_.reset(pipeio::OpenNonBlocking(out.c_str(), O_RDWR));
    drain_.reset(pipeio::OpenNonBlocking(in.c_str(), O_RDONLY));
    if (drain_.valid()) replies_.reset(pipeio::OpenNonBlocking(in.c_str(), O_WRONLY));
    // Watched only now, so that our own opens are not taken for the computer's.
    events_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const bool watching =
        events_.valid() &&
        ::inotify_add_watch(events_.get(), in.c_str(),
                            IN_OPEN | IN_CLOSE_NOWRITE | IN_CLOSE_WRITE) >= 0;
    if (!commands_.valid() || !replies_.valid() || !watching) {
      error = QStringLiteral("cannot open the pipes of %1: %2")
                  .arg(folder_.Path(), QString::fromLocal8Bit(strerror(errno)));
    }
    if (!error.isEmpty() || !folder_.Publish(error)) {
      ClosePipes();
      folder_.Remove();
      return false;
    }
    clients_ = 0;
    pendingEvents_.clear();
    carried_.clear();
    plugged_ = true;
    return true;
  }

  void ClosePipes() {
    events_.reset();  // first, so that our own closes are not reported
    commands_.reset();
    replies_.reset();
    drain_.reset();
  }

  // Between connections: what the computer did not take is thrown away, also what is
  // already in Pipe01, and (unless the bytes go on) a half-received command is forgotten.
  void Clear(bool resetProtocol = true) {
    // An unplug still waiting for its reply bytes happens now.
    const bool unplug = std::any_of(output_.begin(), output_.end(),
                                    [](const Chunk& chunk) { return chunk.unplug; });
    output_.clear();
    outputOffset_ = 0;
    if (unplug) output_.push_back({{}, true});
    if (resetProtocol) protocol_.Reset();
    uint8_t buffer[kChunk];
    while (drain_.valid() && ::read(drain_.get(), buffer, sizeof buffer) > 0) {
    }
  }

  // The computer opening and closing Pipe01 (it opens it first and closes it first)
  // marks its connections, in the order they happened.
  void ReadEvents() {
    alignas(inotify_event) char buffer[4096];
    ssize_t got;
    while (events_.valid() && (got = ::read(events_.get(), buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        at += sizeof(inotify_event) + event->len;
        if (event->mask & (IN_OPEN | IN_CLOSE_NOWRITE | IN_CLOSE_WRITE))
          pendingEvents_.push_back(event->mask);
      }
    }
  }

  void WatchConnections() {
    ReadEvents();
    while (plugged_ && !pendingEvents_.empty()) {
      const uint32_t mask = pendingEvents_.front();
      pendingEvents_.pop_front();
      if (mask & IN_OPEN) {
        if (clients_++ == 0) Opened();
      } else if (clients_ > 0 && --clients_ == 0) {
        Closed();
      }
    }
    // Bytes that came while connections opened and closed in quick succession: the one
    // open now wants the replies; a block among them is stored whoever sent it.
    if (plugged_ && !carried_.isEmpty()) {
      const QByteArray bytes = std::exchange(carried_, {});
      if (clients_ > 0) {
        Feed(bytes);
      } else {
        FeedUnanswered(bytes);
        Clear();
      }
    }
  }

  void Opened() {
    if (options_.verbose) Log(QStringLiteral("connection opened"));
    // Bytes carried over from the connection before go on where they stopped.
    Clear(carried_.isEmpty());
  }

  // The bytes waiting in Pipe00 when a connection closes were sent before the close
  // (a block's last pieces, say) and still count, though their replies are not
  // wanted. When another connection has opened meanwhile, the next one's bytes may
  // follow them in the pipe: the stream then goes on into that connection unbroken.
  void Closed() {
    uint8_t buffer[kChunk];
    for (ssize_t got; (got = ::read(commands_.get(), buffer, sizeof buffer)) > 0;)
      carried_.append(reinterpret_cast<const char*>(buffer), got);
    ReadEvents();
    const bool reopened = std::any_of(pendingEvents_.begin(), pendingEvents_.end(),
                                      [](uint32_t mask) { return (mask & IN_OPEN) != 0; });
    if (!reopened) FeedUnanswered(std::exchange(carried_, {}));
    if (options_.verbose) Log(QStringLiteral("connection closed"));
    Clear(carried_.isEmpty());
  }

  void FeedUnanswered(const QByteArray& bytes) {
    std::vector<Reply> replies;
    protocol_.Feed(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                   replies);
  }

  void Feed(const QByteArray& bytes) {
    std::vector<Reply> replies;
    protocol_.Feed(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                   replies);
    Queue(replies);
  }

  void Unplug() {
    Log(QStringLiteral("unplugged"));
    Clear();
    output_.clear();
    // The folder first: by the time the computer's transfer fails, it is gone.
    folder_.Remove();
    ClosePipes();
    plugged_ = false;
    if (options_.replugAfterMs)
      replugAt_ = Clock::now() + std::chrono::milliseconds(*options_.replugAfterMs);
  }

  void Replug() {
    replugAt_.reset();
    QString error;
    if (PlugIn(error)) {
      Log(QStringLiteral("plugged in again"));
    } else {
      Log(error);
      stop_ = true;
    }
  }

  bool Stalled() const {
    return options_.stallAfterBytes && sent_ >= *options_.stallAfterBytes;
  }

  void Queue(std::vector<Reply>& replies) {
    for (Reply& reply : replies) {
      if (options_.verbose) {
        Log(reply.stored ? QStringLiteral("command %1: block stored").arg(reply.command)
                         : QStringLiteral("command %1: %2 reply bytes")
                               .arg(reply.command)
                               .arg(reply.bytes.size()));
      }
      const bool unplug =
          !unplugDone_ && !reply.stored && reply.command == options_.unplugCommand;
      if (unplug) {
        unplugDone_ = true;
        reply.bytes.truncate(qsizetype(std::min<uint64_t>(
            options_.unplugAfterBytes.value_or(0), uint64_t(reply.bytes.size()))));
      }
      const bool stall = !stallDone_ && !reply.stored && reply.command == options_.stallCommand &&
                         options_.stallOnBytes < uint64_t(reply.bytes.size());
      if (stall) {
        // The reply stops part of the way: for good, every time; or once, going on after
        // the pause.
        stallDone_ = options_.resumeAfterMs.has_value();
        const qsizetype at = qsizetype(options_.stallOnBytes);
        output_.push_back({reply.bytes.left(at), false});
        output_.push_back({{}, false, options_.resumeAfterMs.value_or(-1)});
        reply.bytes = reply.bytes.mid(at);
      }
      if (!reply.bytes.isEmpty()) output_.push_back({std::move(reply.bytes), false});
      if (unplug) output_.push_back({{}, true});
    }
  }

  // One read per pass, so that the opening or closing of a connection is seen before
  // the bytes that follow it.
  void ReadCommands() {
    uint8_t buffer[kChunk];
    const ssize_t got = ::read(commands_.get(), buffer, sizeof buffer);
    if (got <= 0) return;  // Pipe00 is ours for writing too: it never reads as ended
    // A client opens Pipe01 before it writes: news of it may have come meanwhile.
    if (clients_ == 0) WatchConnections();
    if (clients_ == 0) {
      // Nobody reads Pipe01: not our program. Ignored.
      if (options_.verbose) Log(QStringLiteral("%1 bytes without a connection").arg(got));
      return;
    }
    Feed(QByteArray(reinterpret_cast<const char*>(buffer), got));
  }

  void WriteReplies() {
    while (!output_.empty()) {
      Chunk& chunk = output_.front();
      if (chunk.unplug) {
        output_.pop_front();
        Unplug();
        return;
      }
      if (chunk.pauseMs < 0) return;  // stalled for good (until the connection ends)
      if (chunk.pauseMs > 0) {
        if (options_.verbose) Log(QStringLiteral("pausing %1 ms").arg(chunk.pauseMs));
        nextWrite_ = Clock::now() + std::chrono::milliseconds(chunk.pauseMs);
        output_.pop_front();
        return;
      }
      size_t count = std::min<size_t>(size_t(chunk.bytes.size()) - outputOffset_,
                                      options_.slowMs > 0 ? kSlowChunk : kChunk);
      if (options_.stallAfterBytes) {
        if (Stalled()) return;
        count = size_t(std::min<uint64_t>(count, *options_.stallAfterBytes - sent_));
      }
      const long put = pipeio::WriteNoSigpipe(
          replies_.get(),
          reinterpret_cast<const uint8_t*>(chunk.bytes.constData()) + outputOffset_, count);
      if (put < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          Log(QStringLiteral("cannot write Pipe01: %1")
                  .arg(QString::fromLocal8Bit(strerror(errno))));
          Clear();
        }
        return;
      }
      outputOffset_ += size_t(put);
      sent_ += uint64_t(put);
      if (outputOffset_ == size_t(chunk.bytes.size())) {
        output_.pop_front();
        outputOffset_ = 0;
      }
      if (options_.slowMs > 0) {
        nextWrite_ = Clock::now() + std::chrono::milliseconds(options_.slowMs);
        return;
      }
    }
  }

  bool WantWrite() const {
    return plugged_ && clients_ > 0 && !output_.empty() && output_.front().pauseMs >= 0 &&
           !Stalled();
  }

  int PollTimeout(Clock::time_point now) const {
    std::optional<Clock::time_point> wake = replugAt_;
    if (WantWrite() && nextWrite_ > now && (!wake || nextWrite_ < *wake)) wake = nextWrite_;
    if (!wake) return -1;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*wake - now).count();
    return ms <= 0 ? 0 : int(std::min<long long>(ms + 1, 60000));
  }

  void Step() {
    // An unplug that waits for no more bytes happens at once.
    if (!output_.empty() && output_.front().unplug) {
      output_.pop_front();
      Unplug();
    }
    const auto now = Clock::now();
    if (replugAt_ && now >= *replugAt_) Replug();

    pollfd fds[4] = {{signals_.get(), POLLIN, 0},
                     {-1, POLLIN, 0},
                     {-1, POLLIN, 0},
                     {-1, POLLOUT, 0}};
    const bool writeNow = WantWrite() && now >= nextWrite_;
    if (plugged_) {
      fds[1].fd = events_.get();
      fds[2].fd = commands_.get();
      if (writeNow) fds[3].fd = replies_.get();
    }
    const int ready = ::poll(fds, 4, writeNow ? -1 : PollTimeout(now));
    if (ready < 0) {
      if (errno != EINTR) {
        Log(QStringLiteral("poll failed"));
        stop_ = true;
      }
      return;
    }
    if (fds[0].revents != 0) {
      signalfd_siginfo info{};
      if (::read(signals_.get(), &info, sizeof info) > 0)
        Log(QStringLiteral("ending on signal %1").arg(info.ssi_signo));
      stop_ = true;
      return;
    }
    if (!plugged_) return;
    // Connections opened or closed first: whatever the computer wrote after opening
    // Pipe01 was queued after the news of the opening.
    WatchConnections();
    if (fds[2].revents != 0) ReadCommands();
    if (fds[3].revents != 0 && WantWrite()) WriteReplies();
  }

  const ServerOptions& options_;
  InstrumentProtocol protocol_;
  DeviceFolder folder_;
  UniqueFd signals_;
  UniqueFd commands_;  // Pipe00, read (opened for writing too)
  UniqueFd replies_;   // Pipe01, written
  UniqueFd drain_;     // Pipe01, read only to empty it between connections
  UniqueFd events_;    // inotify on Pipe01: the computer opening and closing it
  std::deque<uint32_t> pendingEvents_;
  int clients_ = 0;    // the computer's open Pipe01 readers
  QByteArray carried_;  // bytes that arrived for a connection not yet opened
  std::deque<Chunk> output_;
  size_t outputOffset_ = 0;
  uint64_t sent_ = 0;
  bool plugged_ = false;
  bool unplugDone_ = false;
  bool stallDone_ = false;
  bool stop_ = false;
  Clock::time_point nextWrite_{};
  std::optional<Clock::time_point> replugAt_;
};

}  // namespace

int RunServer(const QStringList& args) {
  ServerOptions options;
  QString error;
  switch (ParseServerOptions(args, options, error)) {
    case ParseResult::Help:
      std::fputs(ServerHelpText().toLocal8Bit().constData(), stdout);
      return 0;
    case ParseResult::Error:
      std::fprintf(stderr, "zarn26-sim: %s\n%s", error.toLocal8Bit().constData(),
                   "Try 'zarn26-sim --help'.\n");
      return 2;
    case ParseResult::Run:
      break;
  }

  auto images = std::make_unique<DeviceImages>();
  if (!options.dataFile.isEmpty()) {
    const DataFileStatus status = ReadDataFile(options.dataFile, *images);
    if (status != DataFileStatus::Ok) {
      Log(QStringLiteral("%1: %2").arg(options.dataFile,
                                       status == DataFileStatus::CannotOpen
                                           ? QStringLiteral("cannot open the file")
                                           : QStringLiteral("not a data file, or damaged")));
      return 3;
    }
  } else {
    GenerateSample(*images, options.processes, options.seed);
  }
  if (options.noProcesses) images->ParamBlock.fill(0);

  ProtocolSettings settings;
  settings.versionText = EncodeCp1251(options.versionText);
  settings.versionLength = options.versionLength.value_or(uint32_t(settings.versionText.size()));
  settings.dataLength = options.dataLength;
  settings.garbageLengthCommand = options.garbageLengthCommand;

  int status = 0;
  {
    Server server(options, *images, std::move(settings));
    status = server.Run();
  }
  if (!options.saveOnExit.isEmpty() && status == 0) {
    if (const FileWriteResult saved = WriteDataFile(options.saveOnExit, *images); !saved) {
      Log(QStringLiteral("cannot save %1: %2").arg(options.saveOnExit, WriteFailureReason(saved.error, kEnglish)));
      status = 1;
    }
  }
  return status;
}

}  // namespace zarn::sim
