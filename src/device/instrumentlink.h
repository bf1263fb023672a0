#pragma once
// InstrumentLink: the one owner of the link to the instrument, used by the main window
// and by zarn26-cli alike. It starts and stops the worker that runs the exchange loop,
// gives the loop its transports (the program's pipe and libusb ones unless others are
// given), passes the loop's notifications to a sink on the main thread, and hands out
// a snapshot of the images each time a whole read has completed.
//
// Threads: every member is called on the main thread (the one that created the link),
// except Snapshot, LastFailure and Failures, which any thread may call. The loop's
// notifications reach the main-thread sink only while that thread serves events; every
// wait below serves them.
//
// Requests (the editors, zarn26-cli write-materials / write-objects): write the request
// with RequestTransfer, then WaitForRequest polls every 100 ms while serving events, at
// most kReadWaits times for a read and kWriteWaits times for a write, and withdraws the
// request (its own only) when the loop has not finished it by then:
//
//   if (link.RequestTransfer(LinkStates::ReadObjects) &&
//       link.WaitForRequest(LinkStates::ReadObjects, InstrumentLink::kReadWaits) ==
//           RequestOutcome::Done)
//     ...  // Images.ObjectsBlock holds what the instrument sent, whole
//
// Exclusive access: while the loop has the link open, the instrument is held by this
// program; Access() tells whether another program holds it.

#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/images.h"
#include "device/linksink.h"
#include "device/linkstate.h"

class QObject;

namespace zarn {

class PipeLink;
class TKovThread;
class UsbLink;

class InstrumentLink {
 public:
  // The editors' waits: 20 x 100 ms for a read, 50 x 100 ms for a write.
  static constexpr int kPollMs = 100;
  static constexpr int kReadWaits = 20;
  static constexpr int kWriteWaits = 50;
  // How long Stop waits for the worker. Every transfer gives up within its transports'
  // time-outs and a pipe transfer is interrupted at once, so the worker ends far sooner.
  static constexpr int kStopBoundMs = 8000;

  // `mainThreadSink` gets the loop's notifications on the main thread. `parent` owns the
  // worker component (its objectName is "KovThreadUSB"). Null transports: the
  // program's own.
  explicit InstrumentLink(LinkSink& mainThreadSink, QObject* parent = nullptr,
                          PipeLink* pipe = nullptr, UsbLink* usb = nullptr);
  // Stops the worker (bounded).
  ~InstrumentLink();
  InstrumentLink(const InstrumentLink&) = delete;
  InstrumentLink& operator=(const InstrumentLink&) = delete;

  // Before Start: keep the instrument held by this program between the loop's
  // transfers too (the loop closes the link after each), until the program ends.
  void HoldBetweenTransfers(bool hold);
  // Starts the worker; nothing when it runs.
  void Start();
  bool Running() const;
  // Asks the worker to stop, breaks off a pipe transfer under way and serves events
  // until the worker has ended, at most `boundMs`. True when it has ended; false when it
  // is stuck (the caller then ends the program without waiting for it).
  bool Stop(int boundMs = kStopBoundMs);
  // The worker component (for the window's objectName lookups and the tests).
  TKovThread* Worker() const { return worker_; }

  // The loop's requests (see exchangeloop.h).
  bool RequestGaugeRead();
  bool RequestTransfer(LinkStates request);
  bool WithdrawRequest(LinkStates request);
  // Waits for a request written by RequestTransfer, as described above.
  RequestOutcome WaitForRequest(LinkStates request, int waits);

  // The images of the last whole read, or null before the first. Never changes under
  // its holder: a later read makes a new one.
  ImagesView Snapshot() const;
  // Takes a snapshot of the images now (waiting for ImagesLock) and makes it the link's
  // snapshot. The worker calls it when a whole read has completed.
  ImagesView TakeSnapshot();

  // The last transfer that failed, and how many have failed since the start.
  LinkFailure LastFailure() const;
  int Failures() const;
  LinkAccess Access() const { return InstrumentAccess.load(); }

 private:
  class WorkerSink;
  void RecordFailure(const LinkFailure& failure);

  LinkSink& mainSink_;
  PipeLink& pipe_;
  UsbLink& usb_;
  TKovThread* worker_ = nullptr;
  bool ownsWorker_ = false;
  mutable std::mutex mutex_;  // guards the three below
  ImagesView snapshot_;
  LinkFailure lastFailure_;
  int failures_ = 0;
};

}  // namespace zarn
