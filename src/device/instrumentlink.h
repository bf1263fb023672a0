#pragma once
// InstrumentLink: the one owner of the link to the instrument, used by the main window
// and by zarn26-cli alike. It owns the link's state (LinkSharedState) and the worker
// that runs the exchange loop, gives the loop its transports (the program's pipe and
// libusb ones unless others are given), passes the loop's notifications to a sink on
// the main thread, and keeps the snapshot of the last completed read, which the loop
// takes on the worker when it publishes the read.
//
// Threads: every member is called on the main thread (the one that created the link),
// except the state accessors, Snapshot, LastFailure and Failures, which any thread may
// call. The loop's notifications reach the main-thread sink only while that thread
// serves events; every wait below serves them and has a bound.
//
// Requests (the editors, zarn26-cli write-materials / write-objects) carry a ticket; the
// outcome says what happened, never "done" for what did not:
//
//   const Ticket ticket = link.RequestTransfer(LinkStates::ReadObjects);
//   const RequestResult result = link.WaitForRequest(ticket, InstrumentLink::kReadWaits);
//   if (result.outcome == RequestOutcome::Done) ...  // result.block: the 600 bytes read
//
// A write hands over the requester's own copy of the block; the loop sends that copy.
//
// Exclusive access: while the loop has the link open, the instrument is held by this
// program; Access() tells whether another program holds it.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <thread>

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

  // `mainThreadSink` gets the loop's notifications on the main thread. The worker
  // component is owned by the link and is a child of `parent` (so that it can be found
  // by its name there). Null transports: the program's own.
  explicit InstrumentLink(LinkSink& mainThreadSink, QObject* parent = nullptr,
                          PipeLink* pipe = nullptr, UsbLink* usb = nullptr);
  // Stops the worker unless Stop did already (one bounded stop in all). A worker stuck
  // beyond every time-out is left to the end of the process, with all it uses.
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
  // (no user input) until the worker has ended, at most `boundMs`. True when it has
  // ended; false when it is stuck (the caller then ends the program without waiting
  // for it). A second call answers at once as the first did.
  bool Stop(int boundMs = kStopBoundMs);
  // The worker component, objectName "KovThreadUSB" (for lookups and the tests).
  TKovThread* Worker() const { return worker_.get(); }

  // The link's state, for display.
  LinkStates State() const;
  TransportKinds Kind() const;
  bool DataReadComplete() const;
  LinkAccess Access() const;

  // "Read from Device": only while the loop idles.
  bool RequestGaugeRead();
  // A transfer request; `block`: what a write sends.
  Ticket RequestTransfer(LinkStates request, QByteArray block = {});
  // Waits for the ticket's request, polling every kPollMs at most `waits` times while
  // serving events, and takes it back when the loop has not finished it by then.
  RequestResult WaitForRequest(const Ticket& ticket, int waits);
  // Both in one: what an editor's button does.
  RequestResult Transfer(LinkStates request, int waits, QByteArray block = {});

  // A data file replaces the images. Call it holding ImagesLock, before the file's
  // bytes go in: the loop then abandons what it was doing, never publishes over the
  // file, lets the instrument go and idles; a pending request ends ReplacedByFile. A
  // write already under way is not broken off: it ends as it would have, and its
  // requester learns how.
  void FileOpened();
  // The window has put texts or a lamp colour of its own on the screen: the loop's
  // next notifications are all shown, even those that repeat what it showed before.
  void ScreenChanged();

  // The images of the last completed read, or null before the first. Never changes
  // under its holder: a later read makes a new one.
  ImagesView Snapshot() const;
  // The thread that took that snapshot (the worker's, for a read of the instrument).
  std::thread::id SnapshotThread() const;

  // The last transfer that failed, and how many have failed since the start.
  LinkFailure LastFailure() const;
  int Failures() const;

 private:
  struct Core;  // what the worker's run shares with the link; it outlives a stuck run
  class WorkerSink;
  enum class Stopped { No, Yes, Stuck };

  std::shared_ptr<Core> core_;
  PipeLink& pipe_;
  UsbLink& usb_;
  std::unique_ptr<TKovThread> worker_;
  Stopped stopped_ = Stopped::No;
};

}  // namespace zarn
