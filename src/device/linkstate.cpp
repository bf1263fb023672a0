#include "device/linkstate.h"

namespace zarn {

bool IsTransferRequest(LinkStates state) {
  return state == LinkStates::WriteMaterials || state == LinkStates::ReadObjects ||
         state == LinkStates::WriteObjects || state == LinkStates::ReadMaterials;
}

bool IsWriteRequest(LinkStates state) {
  return state == LinkStates::WriteMaterials || state == LinkStates::WriteObjects;
}

bool LinkSharedState::Advance(LinkStates from, LinkStates to) {
  std::lock_guard lock(mutex_);
  if (state_.load() != from) return false;
  state_.store(to);
  return true;
}

void LinkSharedState::Set(LinkStates state) {
  std::lock_guard lock(mutex_);
  state_.store(state);
}

bool LinkSharedState::RequestGaugeRead() {
  std::lock_guard lock(mutex_);
  if (state_.load() != LinkStates::Idle) return false;
  dataReadComplete_.store(false);
  state_.store(LinkStates::Connect);
  return true;
}

Ticket LinkSharedState::RequestTransfer(LinkStates request, QByteArray block) {
  Ticket ticket;
  ticket.request = request;
  if (!IsTransferRequest(request)) return ticket;
  std::lock_guard lock(mutex_);
  const LinkStates now = state_.load();
  if (now != LinkStates::Idle) {
    // Looking for the instrument is not being busy with it.
    const bool looking = now == LinkStates::Connect || now == LinkStates::ChooseTransport;
    ticket.refused = !looking                            ? RequestOutcome::Busy
                     : access_.load() == LinkAccess::InUse ? RequestOutcome::InUse
                                                           : RequestOutcome::NotConnected;
    return ticket;
  }
  ticket.id = ++nextId_;
  pending_ = ticket.id;
  pendingBlock_ = std::move(block);
  pendingNote_ = RequestResult{};
  state_.store(request);
  return ticket;
}

const RequestResult* LinkSharedState::FindLocked(uint64_t id) const {
  for (const Ended& e : ended_)
    if (e.id == id) return &e.result;
  return nullptr;
}

void LinkSharedState::RecordLocked(uint64_t id, RequestResult result) {
  ended_[nextEnded_] = Ended{id, std::move(result)};
  nextEnded_ = (nextEnded_ + 1) % ended_.size();
  if (pending_ == id) {
    pending_ = 0;
    pendingBlock_.clear();
    pendingNote_ = RequestResult{};
    pendingTaken_ = false;
  }
}

RequestResult LinkSharedState::Result(const Ticket& ticket) const {
  if (!ticket.Accepted()) return RequestResult{ticket.refused, {}, {}};
  std::lock_guard lock(mutex_);
  if (ticket.id == pending_) return RequestResult{};
  if (const RequestResult* ended = FindLocked(ticket.id)) return *ended;
  // Long forgotten: whatever it was, it is not pending.
  return RequestResult{RequestOutcome::TimedOut, {}, {}};
}

RequestResult LinkSharedState::Withdraw(const Ticket& ticket) {
  if (!ticket.Accepted()) return Result(ticket);
  {
    std::lock_guard lock(mutex_);
    if (ticket.id == pending_) {
      RequestResult result = pendingNote_;
      if (result.outcome == RequestOutcome::Pending) result.outcome = RequestOutcome::TimedOut;
      if (state_.load() == ticket.request) state_.store(LinkStates::Idle);
      RecordLocked(ticket.id, std::move(result));
    }
  }
  return Result(ticket);
}

RequestResult LinkSharedState::Await(const Ticket& ticket, int waits,
                                     const std::function<void()>& wait) {
  for (int i = 0; i < waits; ++i) {
    const RequestResult now = Result(ticket);
    if (now.outcome != RequestOutcome::Pending) return now;
    wait();
  }
  // The loop may finish between the last look and the withdrawal: Withdraw takes back
  // only a request that is still pending.
  return Withdraw(ticket);
}

bool LinkSharedState::FileOpened() {
  std::lock_guard lock(mutex_);
  epoch_.fetch_add(1);
  if (pending_ != 0 && pendingTaken_ && IsWriteRequest(state_.load())) return true;
  if (pending_ != 0) RecordLocked(pending_, RequestResult{RequestOutcome::ReplacedByFile, {}, {}});
  state_.store(LinkStates::Idle);
  return false;
}

LinkSharedState::Taken LinkSharedState::Take(LinkStates request) {
  std::lock_guard lock(mutex_);
  if (pending_ == 0 || state_.load() != request) return {};
  pendingTaken_ = true;
  return Taken{pending_, pendingBlock_};
}

void LinkSharedState::NoteAttempt(uint64_t id, RequestOutcome met, const LinkFailure& failure) {
  std::lock_guard lock(mutex_);
  if (id == 0 || id != pending_) return;
  pendingNote_ = RequestResult{met, failure, {}};
  pendingTaken_ = false;
}

bool LinkSharedState::Complete(uint64_t id, LinkStates request, QByteArray block) {
  std::lock_guard lock(mutex_);
  if (state_.load() != request) return false;
  if (id != pending_) return false;
  state_.store(LinkStates::Idle);
  if (id != 0) RecordLocked(id, RequestResult{RequestOutcome::Done, {}, std::move(block)});
  return true;
}

void LinkSharedState::Abandon(uint64_t id, LinkStates request, const LinkFailure& failure) {
  std::lock_guard lock(mutex_);
  if (state_.load() != request || id != pending_) return;
  state_.store(LinkStates::Connect);
  // No transport at all is no instrument to be found.
  const RequestOutcome outcome =
      failure.fault == LinkFault::NoTransport ? RequestOutcome::NotConnected : RequestOutcome::Failed;
  if (id != 0) RecordLocked(id, RequestResult{outcome, failure, {}});
}

}  // namespace zarn
