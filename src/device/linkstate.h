#pragma once
// What the exchange loop shares with the rest of the program: its state, the transport
// in use, whether a whole read has completed, whether this program holds the
// instrument, and the requests written to it. One LinkSharedState belongs to each
// InstrumentLink, which hands it to its loop; the window, the editors and zarn26-cli
// reach it only through the link.
//
// Requests. A transfer (read or write the materials or the objects) is written into
// the state only while the loop idles, and carries a ticket. The loop records how the
// ticket's request ended: done (with the block read), failed (the block and the
// reason), not connected, the instrument held by another program, replaced by a data
// file opened meanwhile; a requester that stops waiting takes its request back and is
// told what its last attempt met, or that the instrument did not answer in time. A
// requester never guesses from the state byte.
//
// Threads: every member may be called from any thread. The state is an atomic byte
// that the loop reads once per pass without a lock; every change of it goes through
// the one mutex that also guards the tickets, so that a request, its completion, its
// withdrawal and a data file's open never cross.

#include <QByteArray>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace zarn {

// The exchange loop's state. A value outside the list takes the loop's error path.
enum class LinkStates : uint8_t {
  Connect = 0,
  ReadVersion = 1,
  ReadParameters = 2,
  ReadData = 3,
  Idle = 4,
  WriteMaterials = 5,
  ReadObjects = 6,
  WriteObjects = 7,
  CloseAndRefresh = 8,
  ReadMaterials = 9,
  ChooseTransport = 255,
};

// The USB access method in use.
enum class TransportKinds : uint8_t {
  Pipe = 1,     // PipeTransport has opened
  Libusb = 2,   // the libusb library is loaded with its entry points
  None = 3,     // neither
};

// Whether this program holds the instrument. Written by the loop only.
enum class LinkAccess : uint8_t {
  Closed = 0,  // no link open (looking, or idle between transfers)
  Open = 1,    // the link is open and held by this program
  InUse = 2,   // the instrument is there but another program holds it
};

// What a failed transfer could not move, and why.
enum class LinkBlock : uint8_t { None, Version, Parameters, Materials, Data, Objects,
                                 MaterialsWrite, ObjectsWrite };
enum class LinkFault : uint8_t {
  None,
  NoTransport,   // no transport to use
  Command,       // the command could not be sent
  BlockWrite,    // a written block could not be sent whole
  NoReply,       // the reply's length did not come
  ReplyCut,      // the reply stopped before its announced length (short or late)
  ReplyTooLong,  // the reply announced more than its block holds
};
struct LinkFailure {
  LinkBlock block = LinkBlock::None;
  LinkFault fault = LinkFault::None;
  uint32_t announced = 0;  // ReplyTooLong: the announced length and the block's size
  uint32_t capacity = 0;
  bool operator==(const LinkFailure&) const = default;
};

// How a request ended for its requester.
enum class RequestOutcome : uint8_t {
  Pending,         // still with the loop
  Done,            // the loop finished the transfer
  Failed,          // a transfer failed: RequestResult::failure says what and why
  NotConnected,    // no instrument could be opened
  InUse,           // another program holds the instrument
  Busy,            // not requested: the loop was reading, or another request was pending
  ReplacedByFile,  // a data file was opened meanwhile; the request was given up
  TimedOut,        // not finished within the requester's waits, and taken back
};

struct RequestResult {
  RequestOutcome outcome = RequestOutcome::Pending;
  LinkFailure failure;  // Failed: what failed and why
  QByteArray block;     // Done, a read: the whole block as the instrument sent it
};

// A request as written. `id` 0: not accepted, `refused` says why.
struct Ticket {
  uint64_t id = 0;
  LinkStates request = LinkStates::Idle;
  RequestOutcome refused = RequestOutcome::Busy;
  bool Accepted() const { return id != 0; }
};

bool IsTransferRequest(LinkStates state);
// WriteMaterials or WriteObjects.
bool IsWriteRequest(LinkStates state);

class LinkSharedState {
 public:
  LinkStates State() const { return state_.load(); }
  TransportKinds Kind() const { return kind_.load(); }
  bool DataReadComplete() const { return dataReadComplete_.load(); }
  LinkAccess Access() const { return access_.load(); }
  // Changes each time a data file replaces the images: whatever the loop was doing
  // then belongs to the past, and it neither publishes nor shows it.
  uint64_t Epoch() const { return epoch_.load(); }

  // ---- The loop's own writes.
  void SetKind(TransportKinds kind) { kind_.store(kind); }
  void SetDataReadComplete(bool complete) { dataReadComplete_.store(complete); }
  void SetAccess(LinkAccess access) { access_.store(access); }
  LinkAccess ExchangeAccess(LinkAccess access) { return access_.exchange(access); }
  // Moves the state on only from the value the loop started from: false when someone
  // else changed it meanwhile (a data file opened, a request taken back).
  bool Advance(LinkStates from, LinkStates to);
  // Writes the state as it is, with no request behind it (the loop's tests start it in
  // any state).
  void Set(LinkStates state);

  // ---- Requests.
  // "Read from Device": only while the loop idles; clears DataReadComplete and sends the
  // loop to connect. False, and nothing changed, in any other state.
  bool RequestGaugeRead();
  // A transfer request (WriteMaterials, ReadObjects, WriteObjects, ReadMaterials),
  // accepted only while the loop idles. `block` is what a write sends: the requester's
  // own copy, which nobody changes under the transfer.
  Ticket RequestTransfer(LinkStates request, QByteArray block = {});
  // How the ticket's request stands now.
  RequestResult Result(const Ticket& ticket) const;
  // The requester stops waiting. A request still pending is taken back (the loop idles
  // again) and ends with what its last attempt met (not connected, in use, a failure),
  // or TimedOut when it met nothing. Returns the ticket's result.
  RequestResult Withdraw(const Ticket& ticket);
  // Waits up to `waits` times `wait()` (one poll interval, serving events), stopping as
  // soon as the request has ended; withdraws it after the last wait.
  RequestResult Await(const Ticket& ticket, int waits, const std::function<void()>& wait);
  // A data file has replaced the images: the loop idles, whatever it was doing, and a
  // pending request ends ReplacedByFile. A write the loop has taken up goes on to its
  // end instead (true): broken off, it would leave the instrument with part of a block,
  // and it changes nothing the file brought.
  bool FileOpened();

  // ---- The loop's side of a request.
  struct Taken {
    uint64_t id = 0;  // 0: the state was written without a ticket (Set)
    QByteArray block;
  };
  // The loop takes up the pending request in `request` state: its ticket and the block
  // it sends. A write is then under way until this attempt ends.
  Taken Take(LinkStates request);
  // What this attempt met, for the requester who gives up waiting; the attempt is over.
  void NoteAttempt(uint64_t id, RequestOutcome met, const LinkFailure& failure = {});
  // The transfer is done: the loop idles; false when the request was taken back or
  // replaced meanwhile (the requester has its answer already).
  bool Complete(uint64_t id, LinkStates request, QByteArray block = {});
  // A failure without a whole read behind it: the loop starts again from connect and
  // the request ends Failed.
  void Abandon(uint64_t id, LinkStates request, const LinkFailure& failure);

 private:
  void RecordLocked(uint64_t id, RequestResult result);
  const RequestResult* FindLocked(uint64_t id) const;

  std::atomic<LinkStates> state_{LinkStates::ChooseTransport};
  std::atomic<TransportKinds> kind_{TransportKinds::None};
  std::atomic<bool> dataReadComplete_{false};
  std::atomic<LinkAccess> access_{LinkAccess::Closed};
  std::atomic<uint64_t> epoch_{0};

  mutable std::mutex mutex_;  // guards every write of state_ and what follows
  uint64_t nextId_ = 0;
  uint64_t pending_ = 0;  // the ticket of the request in state_, or 0
  QByteArray pendingBlock_;
  RequestResult pendingNote_;  // what the last attempt met
  bool pendingTaken_ = false;  // the loop is at the request's transfer now
  // The results of the last few tickets: a requester may look only after the next
  // request has been written (editors wait while serving events).
  struct Ended {
    uint64_t id = 0;
    RequestResult result;
  };
  std::array<Ended, 8> ended_{};
  size_t nextEnded_ = 0;
};

}  // namespace zarn
