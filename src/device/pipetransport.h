#pragma once
// PipeTransport: the instrument reached through its driver's device interface. On Linux
// the interface is a folder convention: below each root, the class folder
// {E6EF7DCD-1795-4A08-9FBF-AA78423C26F0} holds one folder per present device, and each
// device folder holds two pipes, Pipe00 (computer to instrument) and Pipe01 (instrument
// to computer), as FIFOs (made by zarn26-sim or a bridge) or character devices (made by
// a driver).
//
// While open, the device is held exclusively (see devicelock.h): Open gives
// kPipeOpenInUse when another program holds it.
//
// Only the exchange loop's worker thread calls the transport; the time-out may be set
// from any thread. No call blocks for longer than the time-out without progress.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <atomic>

#include <string>

#include "device/devicelock.h"
#include "device/transports.h"

namespace zarn {

class PipeTransport final : public PipeLink {
 public:
  // The device interface class of the instrument's driver.
  static constexpr char kClassFolder[] = "{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}";
  static constexpr char kPipeOut[] = "Pipe00";  // computer to instrument
  static constexpr char kPipeIn[] = "Pipe01";   // instrument to computer
  static constexpr int kDefaultTimeoutMs = 2000;

  // /run/zarn26, then $XDG_RUNTIME_DIR/zarn26 when XDG_RUNTIME_DIR is set.
  static QStringList DefaultRoots();

  explicit PipeTransport(QStringList roots = PipeTransport::DefaultRoots());
  ~PipeTransport() override;
  PipeTransport(const PipeTransport&) = delete;
  PipeTransport& operator=(const PipeTransport&) = delete;

  // Lists root by root, each root's device folders in ascending byte order of name.
  uint32_t Enumerate(QByteArray& list) override;
  int Open(QByteArrayView path) override;
  int TransportClose() override;
  uint16_t TransportWrite(const uint8_t* bytes, uint32_t count) override;
  uint16_t TransportRead(uint8_t* buffer, uint32_t count) override;

  // A read or write that moves no byte for this long fails with kPipeIoFailure.
  void SetTimeout(int milliseconds);
  int Timeout() const;

  // Thread-safe: the read or write under way, and every later one until
  // ClearInterrupt, fails at once with kPipeIoFailure. The program calls it when it
  // closes, so that a silent instrument does not hold up the end by a whole time-out.
  void Interrupt() override;
  void ClearInterrupt() override;
  void HoldBetweenTransfers(bool hold) override { holdBetween_ = hold; }

  bool IsOpen() const { return opened_; }
  const QStringList& Roots() const { return roots_; }

 private:
  // Locks an open pipe of the device for this program; false when another holds it.
  static bool Hold(int fd);

  QStringList roots_;
  DeviceLockFile lockFile_;   // the device's lock file, taken before its pipes open
  std::atomic<bool> holdBetween_{false};
  int readFd_ = -1;   // Pipe01
  int writeFd_ = -1;  // Pipe00
  bool opened_ = false;
  std::atomic<int> timeoutMs_{kDefaultTimeoutMs};
  int wakeFd_ = -1;  // an eventfd, readable while interrupted
};

// The program's one PipeTransport, over the default roots.
PipeTransport& ThePipeTransport();

}  // namespace zarn
