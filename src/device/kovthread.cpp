#include "device/kovthread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>

namespace zarn {

namespace {

QEvent::Type SynchroEventType() {
  static const auto type = QEvent::Type(QEvent::registerEventType());
  return type;
}

// A synchronize call on its way to the main thread. Made on the run's thread, run and
// freed on the main thread; the flag hands the contents over visibly to the race
// detector, which cannot see the event queue's own lock.
class SynchroEvent final : public QEvent {
 public:
  explicit SynchroEvent(std::function<void()> run) : QEvent(SynchroEventType()), run_(std::move(run)) {
    published_.store(true, std::memory_order_release);
  }
  ~SynchroEvent() override { published_.load(std::memory_order_acquire); }
  void Run() {
    if (published_.load(std::memory_order_acquire)) run_();
  }

 private:
  std::function<void()> run_;
  std::atomic<bool> published_{false};
};

}  // namespace

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZARN_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(ZARN_THREAD_SANITIZER)
// Qt hands a thread's end to wait(), and events from one thread to another, through
// its own futex-based locks, which the race detector cannot see (Qt is not built for
// it). It then takes for races: the destruction of the thread's wait condition after
// wait(); the freeing, after wait(), of what Qt allocated on the ended thread; and the
// reading of an event's type that Qt allocated on the other thread before posting it.
// For the same reason the memory calls made inside Qt, GLib and X's libraries themselves (their
// reference-counted strings, event queues and connection locks) are not watched: those
// libraries synchronise with atomics the detector cannot see. Our own code's accesses
// stay watched, whichever library's memory they touch. A lock suppression names every
// library whose file name contains it (libX: libX11, libXrender, libXfixes, ...); a
// library suppression must name one library alone, or the detector stops the program.
// Weak, so that a program can give its own list.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
  return "race:QWaitCondition::~QWaitCondition\n"
         "race:zarn::TKovExecuteThread::~TKovExecuteThread\n"
         "race_top:QEvent::type\n"
         "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n"
         "called_from_lib:libQt6DBus.so.6\n"
         "called_from_lib:libQt6XcbQpa.so.6\n"
         "called_from_lib:libglib-2.0.so.0\n"
         "called_from_lib:libxcb.so.1\n"
         "called_from_lib:libX11.so.6\n"
         "called_from_lib:libXext.so.6\n"
         "called_from_lib:libXrender.so.1\n"
         "called_from_lib:libXfixes.so.3\n"
         "called_from_lib:libXi.so.6\n"
         "called_from_lib:libXcursor.so.1\n"
         "mutex:libxcb\n"
         "mutex:libX\n";
}
#endif

// ---------------------------------------------------------------------------------
// TKovThreadBase

TKovThreadBase::TKovThreadBase(QObject* Owner) : QObject(Owner) {}

TKovThreadBase::~TKovThreadBase() = default;

void TKovThreadBase::SetThreadGroup(TKovThreadGroup* Value) {
  if (Value == threadGroup_) return;
  // A group cannot join itself or a group below it.
  for (TKovThreadBase* g = Value; g; g = g->ThreadGroup())
    if (g == this) return;
  TKovThreadGroup* old = threadGroup_;
  // Cleared first: the group's RemoveThread sees a member that has already left and
  // only does its own bookkeeping.
  threadGroup_ = nullptr;
  if (old) RemoveMe(old);
  threadGroup_ = Value;
  if (Value) AddMe(Value);
}

// ---------------------------------------------------------------------------------
// TKovExecuteThread

// The run's stop, suspend and wait state. Shared with the synchronize calls posted to
// the main thread, which may outlive the run object.
struct TKovExecuteThread::Signal {
  std::mutex m;
  std::condition_variable cv;
  bool terminated = false;  // under m
  bool suspended = false;   // under m
};

struct TKovExecuteThread::PendingCall {
  enum State { kPending, kRunning, kDone, kDropped };
  std::function<void()> method;
  State state = kPending;  // under Signal::m
};

TKovExecuteThread::TKovExecuteThread(TKovThread* Owner, void* Data_, TThreadPriority Priority)
    : Data(Data_), owner_(Owner), priority_(Priority), signal_(std::make_shared<Signal>()) {}

TKovExecuteThread::~TKovExecuteThread() {
  // The owner destroys a run only after its end has been handled; this is a safety net
  // for a run destroyed by other means (a thread destroyed while it runs ends the
  // program).
  Terminate();
  WaitForEnd(TKovThread::kDestroyBoundMs);
}

QThread::Priority TKovExecuteThread::ToQtPriority(TThreadPriority Value) {
  switch (Value) {
    case tpIdle: return QThread::IdlePriority;
    case tpLowest: return QThread::LowestPriority;
    case tpLower: return QThread::LowPriority;
    case tpNormal: return QThread::NormalPriority;
    case tpHigher: return QThread::HighPriority;
    case tpHighest: return QThread::HighestPriority;
    case tpTimeCritical: return QThread::TimeCriticalPriority;
  }
  return QThread::NormalPriority;
}

void TKovExecuteThread::run() {
  try {
    owner_->Execute(this);
  } catch (const std::exception& e) {
    qWarning("worker thread: the run ended with an exception: %s", e.what());
  } catch (...) {
    qWarning("worker thread: the run ended with an unknown exception");
  }
  std::lock_guard lock(signal_->m);  // see WaitForEnd
}

bool TKovExecuteThread::WaitForEnd(int ms) {
  if (!wait(ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms))) return false;
  std::lock_guard lock(signal_->m);
  return true;
}

void TKovExecuteThread::ParkWhileSuspended(std::unique_lock<std::mutex>& lock) {
  signal_->cv.wait(lock, [this] { return !signal_->suspended || signal_->terminated; });
}

bool TKovExecuteThread::Terminated() {
  std::unique_lock lock(signal_->m);
  ParkWhileSuspended(lock);
  return signal_->terminated;
}

void TKovExecuteThread::Terminate() {
  {
    std::lock_guard lock(signal_->m);
    signal_->terminated = true;
    terminated_.store(true);
  }
  signal_->cv.notify_all();
}

bool TKovExecuteThread::Sleep(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(signal_->m);
  auto remaining = std::chrono::milliseconds(std::max(0, milliseconds));
  for (;;) {
    ParkWhileSuspended(lock);
    if (signal_->terminated) return false;
    if (remaining.count() <= 0) return true;
    const auto from = Clock::now();
    const bool interrupted = signal_->cv.wait_for(
        lock, remaining, [this] { return signal_->terminated || signal_->suspended; });
    if (!interrupted) return true;
    // Suspended during the sleep: park, then sleep what is left.
    remaining -= std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from);
  }
}

void TKovExecuteThread::Suspend() {
  std::lock_guard lock(signal_->m);
  signal_->suspended = true;
}

void TKovExecuteThread::Resume() {
  {
    std::lock_guard lock(signal_->m);
    signal_->suspended = false;
  }
  signal_->cv.notify_all();
}

bool TKovExecuteThread::Suspended() const {
  std::lock_guard lock(signal_->m);
  return signal_->suspended;
}

void TKovExecuteThread::SetPriority(TThreadPriority Value) {
  priority_.store(Value);
  if (isRunning()) setPriority(ToQtPriority(Value));
}

bool TKovExecuteThread::SynchronizeCall(std::function<void()> Method) {
  if (!Method || terminated_.load()) return false;
  if (QThread::currentThread() == owner_->thread()) {
    Method();  // already on the main thread
    return true;
  }
  auto call = std::make_shared<PendingCall>();
  call->method = std::move(Method);
  std::shared_ptr<Signal> sig = signal_;
  // The event belongs to the main thread's queue from here: the main thread runs it and
  // frees it (also when the component goes away before it was delivered).
  QCoreApplication::postEvent(owner_, new SynchroEvent([sig, call] {
    {
      std::lock_guard lock(sig->m);
      if (call->state != PendingCall::kPending || sig->terminated) {
        call->state = PendingCall::kDropped;
        sig->cv.notify_all();
        return;
      }
      call->state = PendingCall::kRunning;
    }
    call->method();
    {
      std::lock_guard lock(sig->m);
      call->state = PendingCall::kDone;
    }
    sig->cv.notify_all();
  }));
  std::unique_lock lock(sig->m);
  // A call the main thread has begun is waited for to its end (it may use what the
  // caller lent it); one it has not begun is dropped when a stop is asked.
  sig->cv.wait(lock, [&] {
    return call->state == PendingCall::kDone || call->state == PendingCall::kDropped ||
           (sig->terminated && call->state == PendingCall::kPending);
  });
  if (call->state == PendingCall::kPending) call->state = PendingCall::kDropped;
  return call->state == PendingCall::kDone;
}

bool TKovExecuteThread::Synchronize(const TKovNotifyEvent& Method) {
  if (!Method) return false;
  return SynchronizeCall([&] { Method(owner_); });
}

bool TKovExecuteThread::Synchronize(const TKovThreadNotifyEvent& Method) {
  if (!Method) return false;
  return SynchronizeCall([&] { Method(owner_, this); });
}

bool TKovExecuteThread::Synchronize(const TKovThreadNotifyDataEvent& Method, void* Data_) {
  if (!Method) return false;
  synchroData_ = Data_;
  return SynchronizeCall([&] { Method(owner_, this, synchroData_); });
}

// ---------------------------------------------------------------------------------
// TKovThread

TKovThread::TKovThread(QObject* Owner) : TKovThreadBase(Owner) {
  updateTimer_.setInterval(100);
  QObject::connect(&updateTimer_, &QTimer::timeout, this, [this] { OnUpdateTimer(&updateTimer_); });
}

TKovThread::~TKovThread() {
  updateTimer_.stop();
  if (run_) {
    closing_ = true;
    run_->Resume();
    run_->Terminate();
    QDeadlineTimer deadline(kDestroyBoundMs);
    if (QCoreApplication::instance() && QThread::currentThread() == thread()) {
      // The end of the run arrives as an event; serving events meanwhile also lets a
      // synchronize call the run has begun finish.
      while (run_ && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (run_) QThread::msleep(1);
      }
    } else if (run_->WaitForEnd(int(deadline.remainingTime()))) {
      // No event loop to serve: the run needs none to end (its synchronize calls are
      // dropped once it was asked to stop).
      RunEnded(run_.get());
    }
    // Still running: it only ever calls back into this component before its stop, and
    // posts nothing after it, so it may outlive it.
    if (run_) (void)run_.release();
  }
  for (auto& ended : ended_)
    if (!ended->WaitForEnd(kDestroyBoundMs)) (void)ended.release();
  SetThreadGroup(nullptr);
}

void TKovThread::Start(void* Data) {
  if (run_) return;
  run_ = std::make_unique<TKovExecuteThread>(this, Data, priority_);
  TKovExecuteThread* run = run_.get();
  QObject::connect(run, &QThread::finished, this, [this, run] { RunEnded(run); },
                   Qt::QueuedConnection);
  ReportStarted(threadGroup_);
  if (OnStart) {
    std::lock_guard lock(CriticalSection);
    OnStart(this, run, run->Data);
  }
  run->start(TKovExecuteThread::ToQtPriority(priority_));
  if (updateEnabled_)
    updateTimer_.start();
  else
    updateTimer_.stop();
}

void TKovThread::Stop() {
  if (!run_) return;
  run_->Resume();
  run_->Terminate();
}

void TKovThread::Suspend() {
  if (run_) run_->Suspend();
}

void TKovThread::Resume() {
  if (run_) run_->Resume();
}

void TKovThread::SetPriority(TThreadPriority Value) {
  priority_ = Value;
  if (run_) run_->SetPriority(Value);
}

unsigned TKovThread::GetTimeInterval() const { return unsigned(updateTimer_.interval()); }

void TKovThread::SetTimeInterval(unsigned Milliseconds) {
  updateTimer_.setInterval(int(std::min<unsigned>(Milliseconds, 0x7FFFFFFF)));
}

void TKovThread::SetGetUpdateEnabled(bool Value) {
  if (Value == updateEnabled_) return;
  updateEnabled_ = Value;
  if (Value)
    updateTimer_.start();
  else
    updateTimer_.stop();
}

bool TKovThread::event(QEvent* e) {
  if (e->type() == SynchroEventType()) {
    static_cast<SynchroEvent*>(e)->Run();
    return true;
  }
  return TKovThreadBase::event(e);
}

void TKovThread::Execute(TKovExecuteThread* Thread) {
  if (OnExecute) OnExecute(this, Thread, Thread->Data);
}

void TKovThread::OnUpdateTimer(QObject*) {
  if (!run_) return;
  TKovExecuteThread* run = run_.get();
  const int percent = run->Percent.load();
  if (threadGroup_) threadGroup_->ThreadUpdate(this, run, run->Data, UpdatePriority, percent);
  if (OnUpdate) {
    std::lock_guard lock(CriticalSection);
    OnUpdate(this, run, run->Data, percent);
  }
}

void TKovThread::RunEnded(TKovExecuteThread* Sender) {
  if (!Sender || run_.get() != Sender) return;
  // `finished` comes just before the thread itself ends; a thread that is not gone
  // after that long is handled as ended all the same, and kept (never destroyed while
  // it runs).
  const bool gone = Sender->WaitForEnd(TKovThread::kDestroyBoundMs);
  if (closing_)
    OnThreadTerminateClose(Sender);
  else
    OnThreadTerminate(Sender);
  // The run object is freed once its end has been handled.
  auto it = std::find_if(ended_.begin(), ended_.end(),
                         [Sender](const auto& r) { return r.get() == Sender; });
  if (it == ended_.end()) return;
  if (!gone) (void)it->release();
  ended_.erase(it);
}

void TKovThread::ForgetRun() {
  if (run_) ended_.push_back(std::move(run_));
}

void TKovThread::OnThreadTerminate(TKovExecuteThread* Sender) {
  updateTimer_.stop();
  ForgetRun();
  TKovExecuteThread* previous = endingRun_;
  endingRun_ = Sender;
  ReportTerminated(threadGroup_);
  endingRun_ = previous;
  if (OnTerminate) {
    std::lock_guard lock(CriticalSection);
    OnTerminate(this, Sender, Sender->Data);
  }
  if (updateEnabled_) updateTimer_.start();
}

void TKovThread::OnThreadTerminateClose(TKovExecuteThread*) { ForgetRun(); }

void TKovThread::ReportStarted(TKovThreadGroup* Group) {
  if (run_ && Group) Group->ThreadStarted(this, run_.get(), run_->Data);
}

void TKovThread::ReportTerminated(TKovThreadGroup* Group) {
  if (!run_ && Group && endingRun_) Group->ThreadTerminated(this, endingRun_, endingRun_->Data);
}

void TKovThread::AddMe(TKovThreadGroup* Group) { Group->AddThread(this); }

void TKovThread::RemoveMe(TKovThreadGroup* Group) { Group->RemoveThread(this); }

// ---------------------------------------------------------------------------------
// TKovThreadGroup

TKovThreadGroup::TKovThreadGroup(QObject* Owner) : TKovThreadBase(Owner) {}

TKovThreadGroup::~TKovThreadGroup() {
  while (!items_.empty()) {
    TKovThreadBase* item = items_.front();
    item->SetThreadGroup(nullptr);
    // A member whose group field does not name this group is removed directly.
    if (!items_.empty() && items_.front() == item) items_.erase(items_.begin());
  }
  SetThreadGroup(nullptr);
}

int TKovThreadGroup::GetCountRuning() {
  std::lock_guard lock(CriticalSection);
  return countRuning_;
}

bool TKovThreadGroup::Contains(const TKovThreadBase* Item) {
  std::lock_guard lock(CriticalSection);
  return std::find(items_.begin(), items_.end(), Item) != items_.end();
}

void TKovThreadGroup::AddThread(TKovThread* Thread) {
  if (!Thread) return;
  if (Thread->ThreadGroup() != this) {
    Thread->SetThreadGroup(this);  // comes back here through AddMe
    return;
  }
  if (Contains(Thread)) return;
  Thread->ReportStarted(this);
  std::lock_guard lock(CriticalSection);
  items_.push_back(Thread);
}

void TKovThreadGroup::RemoveThread(TKovThread* Thread) {
  if (!Thread) return;
  if (Thread->ThreadGroup() == this) {
    Thread->SetThreadGroup(nullptr);  // comes back here through RemoveMe
    return;
  }
  if (!Contains(Thread)) return;
  ReportRunning(Thread, false);
  std::lock_guard lock(CriticalSection);
  items_.erase(std::find(items_.begin(), items_.end(), Thread));
}

void TKovThreadGroup::AddThreadGroup(TKovThreadGroup* Group) {
  if (!Group) return;
  if (Group->ThreadGroup() != this) {
    Group->SetThreadGroup(this);
    return;
  }
  if (Contains(Group)) return;
  Group->ReportStarted(this);
  std::lock_guard lock(CriticalSection);
  items_.push_back(Group);
}

void TKovThreadGroup::RemoveThreadGroup(TKovThreadGroup* Group) {
  if (!Group) return;
  if (Group->ThreadGroup() == this) {
    Group->SetThreadGroup(nullptr);
    return;
  }
  if (!Contains(Group)) return;
  ReportRunning(Group, false);
  std::lock_guard lock(CriticalSection);
  items_.erase(std::find(items_.begin(), items_.end(), Group));
}

void TKovThreadGroup::ReportRunning(TKovThreadBase* Item, bool Started) {
  std::vector<TKovThread*> threads;
  if (auto* group = dynamic_cast<TKovThreadGroup*>(Item))
    group->CollectThreads(threads);
  else if (auto* thread = dynamic_cast<TKovThread*>(Item))
    threads.push_back(thread);
  for (TKovThread* t : threads) {
    TKovExecuteThread* run = t->Run();
    if (!run) continue;
    if (Started)
      ThreadStarted(t, run, run->Data);
    else
      ThreadTerminated(t, run, run->Data);
  }
}

void TKovThreadGroup::AddMe(TKovThreadGroup* Group) { Group->AddThreadGroup(this); }

void TKovThreadGroup::RemoveMe(TKovThreadGroup* Group) { Group->RemoveThreadGroup(this); }

void TKovThreadGroup::ReportStarted(TKovThreadGroup* Group) {
  const std::vector<TKovThreadBase*> items = [this] {
    std::lock_guard lock(CriticalSection);
    return items_;
  }();
  for (TKovThreadBase* item : items) item->ReportStarted(Group);
}

void TKovThreadGroup::ReportTerminated(TKovThreadGroup* Group) {
  const std::vector<TKovThreadBase*> items = [this] {
    std::lock_guard lock(CriticalSection);
    return items_;
  }();
  for (TKovThreadBase* item : items) item->ReportTerminated(Group);
}

void TKovThreadGroup::Start(void* Data) {
  const std::vector<TKovThreadBase*> items = [this] {
    std::lock_guard lock(CriticalSection);
    return items_;
  }();
  for (TKovThreadBase* item : items) item->Start(Data);
}

void TKovThreadGroup::Stop() {
  const std::vector<TKovThreadBase*> items = [this] {
    std::lock_guard lock(CriticalSection);
    return items_;
  }();
  for (TKovThreadBase* item : items) item->Stop();
}

void TKovThreadGroup::Suspend() {
  const std::vector<TKovThreadBase*> items = [this] {
    std::lock_guard lock(CriticalSection);
    return items_;
  }();
  for (TKovThreadBase* item : items) item->Suspend();
}

void TKovThreadGroup::Resume() {
  const std::vector<TKovThreadBase*> items = [this] {
    std::lock_guard lock(CriticalSection);
    return items_;
  }();
  for (TKovThreadBase* item : items) item->Resume();
}

TKovThreadBase* TKovThreadGroup::GetThreadItems(int Index) {
  std::lock_guard lock(CriticalSection);
  return Index >= 0 && size_t(Index) < items_.size() ? items_[size_t(Index)] : nullptr;
}

int TKovThreadGroup::GetThreadItemsCount() {
  std::lock_guard lock(CriticalSection);
  return int(items_.size());
}

void TKovThreadGroup::CollectThreads(std::vector<TKovThread*>& out) {
  std::lock_guard lock(CriticalSection);
  for (TKovThreadBase* item : items_) {
    if (auto* group = dynamic_cast<TKovThreadGroup*>(item))
      group->CollectThreads(out);
    else if (auto* thread = dynamic_cast<TKovThread*>(item))
      out.push_back(thread);
  }
}

TKovThread* TKovThreadGroup::GetThreads(int Index) {
  std::vector<TKovThread*> threads;
  CollectThreads(threads);
  return Index >= 0 && size_t(Index) < threads.size() ? threads[size_t(Index)] : nullptr;
}

int TKovThreadGroup::GetThreadsCount() {
  std::vector<TKovThread*> threads;
  CollectThreads(threads);
  return int(threads.size());
}

void TKovThreadGroup::ThreadStarted(TKovThreadBase* Sender, TKovExecuteThread* Thread,
                                    void*& Data) {
  bool first;
  {
    std::lock_guard lock(CriticalSection);
    first = countRuning_ == 0;
    ++countRuning_;
    if (OnThreadStart) OnThreadStart(Sender, Thread, Data);
  }
  if (threadGroup_) threadGroup_->ThreadStarted(Sender, Thread, Data);
  if (first && OnStart) {
    std::lock_guard lock(CriticalSection);
    OnStart(Sender, Thread, Data);
  }
}

void TKovThreadGroup::ThreadTerminated(TKovThreadBase* Sender, TKovExecuteThread* Thread,
                                       void*& Data) {
  int now;
  {
    std::lock_guard lock(CriticalSection);
    if (countRuning_ > 0) --countRuning_;
    now = countRuning_;
  }
  if (OnThreadTerminate) OnThreadTerminate(Sender, Thread, Data);
  if (threadGroup_) threadGroup_->ThreadTerminated(Sender, Thread, Data);
  if (now == 0 && OnTerminate) {
    std::lock_guard lock(CriticalSection);
    OnTerminate(Sender, Thread, Data);
  }
}

void TKovThreadGroup::ThreadUpdate(TKovThreadBase* Sender, TKovExecuteThread* Thread, void*& Data,
                                   int Priority, int Percent) {
  if (OnThreadUpdate) OnThreadUpdate(Sender, Thread, Data, Percent);
  bool highest = true;
  {
    std::lock_guard lock(CriticalSection);
    for (TKovThreadBase* item : items_)
      if (item->UpdatePriority > Priority && item->GetRuning()) highest = false;
  }
  if (highest && OnUpdate) {
    std::lock_guard lock(CriticalSection);
    OnUpdate(Sender, Thread, Data, Percent);
  }
  // A group above sees the progress of every component below it.
  if (threadGroup_) threadGroup_->ThreadUpdate(Sender, Thread, Data, Priority, Percent);
}

}  // namespace zarn
