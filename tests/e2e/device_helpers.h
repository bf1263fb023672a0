#pragma once
// Running zarn26-sim (and zarn26-cli) as real processes in the device tests. Every
// child gets SIGKILL when the test program dies, and is killed when its guard goes, so
// that a failing or timed-out test leaves nothing running.

#include <signal.h>
#include <sys/prctl.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "device/pipetransport.h"

namespace zarn::testing {

#ifndef ZARN_TEST_TIME_SCALE
#define ZARN_TEST_TIME_SCALE 1
#endif
// A bound on a whole program: longer in a sanitized build, whose programs run several
// times slower (cmake/Sanitizers.cmake). What the programs themselves wait never changes.
constexpr int Bound(int ms) { return ms * ZARN_TEST_TIME_SCALE; }

class Child {
 public:
  Child() {
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  }
  ~Child() { Kill(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  QProcess& Process() { return process_; }

  void Start(const QString& program, const QStringList& args,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    process_.setProcessEnvironment(environment);
    process_.start(program, args);
    process_.waitForStarted(10000);
  }

  // The first line on stdout, within `ms`; empty when none came.
  QByteArray ReadLine(int ms = 15000) {
    QDeadlineTimer deadline(Bound(ms));
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.state() == QProcess::Running)
      process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    return process_.canReadLine() ? process_.readLine().trimmed() : QByteArray();
  }

  // Sends `signal` and waits; returns the exit code, or -1 when it had to be killed.
  int Stop(int signal = SIGTERM, int ms = 10000) {
    if (process_.state() == QProcess::NotRunning) return ExitCode();
    ::kill(pid_t(process_.processId()), signal);
    if (!process_.waitForFinished(Bound(ms))) {
      Kill();
      return -1;
    }
    return ExitCode();
  }

  // Waits for the end; -1 when it did not end within `ms` (it is killed then).
  int Wait(int ms) {
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(Bound(ms))) {
      Kill();
      return -1;
    }
    return ExitCode();
  }

  void Kill() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

 private:
  int ExitCode() const {
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }
  QProcess process_;
};

// zarn26-sim on a temporary root; Start returns the device folder it announced.
class Simulator {
 public:
  explicit Simulator(QString root) : root_(std::move(root)) {}

  QByteArray Start(const QStringList& args,
                   const QProcessEnvironment& environment =
                       QProcessEnvironment::systemEnvironment()) {
    child_.Start(QStringLiteral(ZARN_SIM_PATH),
                 QStringList{QStringLiteral("--root"), root_} + args, environment);
    const QByteArray line = child_.ReadLine();
    if (!line.startsWith("READY ")) return {};
    return line.mid(6);
  }
  int Stop(int signal = SIGTERM) { return child_.Stop(signal); }
  Child& Process() { return child_; }

 private:
  QString root_;
  Child child_;
};

// One exchange with the instrument over PipeTransport, as the program frames them.
class Exchange {
 public:
  explicit Exchange(PipeTransport& pipe) : pipe_(pipe) {}

  bool Command(uint8_t code) {
    const uint8_t bytes[2] = {code, uint8_t(0xFF - code)};
    return pipe_.TransportWrite(bytes, 2) == kPipeOk;
  }
  // A reply's length, or -1 when it did not come.
  int64_t Length() {
    uint8_t field[4];
    if (pipe_.TransportRead(field, 4) != kPipeOk) return -1;
    return GetU32(field);
  }
  // Exactly `count` bytes, or an empty vector.
  std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    if (count > 0 && pipe_.TransportRead(bytes.data(), uint32_t(count)) != kPipeOk) return {};
    return bytes;
  }
  // A length, then that many bytes.
  std::vector<uint8_t> Reply() {
    const int64_t length = Length();
    return length < 0 ? std::vector<uint8_t>{} : Bytes(size_t(length));
  }
  // A written block: its command, the length, the block in pieces of at most 64 bytes.
  bool WriteBlock(uint8_t code, const uint8_t* block, uint32_t size) {
    uint8_t field[4];
    PutU32(field, size);
    if (!Command(code) || pipe_.TransportWrite(field, 4) != kPipeOk) return false;
    for (uint32_t at = 0; at < size; at += 64) {
      if (pipe_.TransportWrite(block + at, std::min<uint32_t>(64, size - at)) != kPipeOk)
        return false;
    }
    return true;
  }

 private:
  PipeTransport& pipe_;
};

}  // namespace zarn::testing
