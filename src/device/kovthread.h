#pragma once
// The worker-thread component: TKovThread runs its OnExecute handler on a thread of its
// own (one TKovExecuteThread per run) and reports the run's start, progress and end on
// the main thread (the thread the component lives in). TKovThreadGroup gathers
// components and sub-groups to start, stop and watch them together.
//
// Threads:
//  - OnExecute runs on the run's thread; OnStart on the thread that calls Start; the
//    update timer (OnUpdate), the end of a run (OnThreadTerminate, OnTerminate) and every
//    synchronize call run on the main thread. OnStart, OnUpdate and OnTerminate are called
//    inside the component's critical section.
//  - Terminated is the only stop signal. The run's Sleep and synchronize calls return
//    early once it is set, so a run never waits on a main thread that is itself waiting
//    for the run to end.
//  - Suspend is cooperative: a suspended run parks at its next Sleep or Terminated check
//    until it is resumed or stopped (Stop resumes first).

#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zarn {

class TKovThreadBase;
class TKovThread;
class TKovThreadGroup;
class TKovExecuteThread;

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Sender: the component (for a group's events, the component whose run it is);
// Thread: the run; Data: the run's untyped data pointer, which the handler may change.
using TKovExecuteEvent =
    std::function<void(TKovThreadBase* Sender, TKovExecuteThread* Thread, void*& Data)>;
using TKovUpdateEvent = std::function<void(TKovThreadBase* Sender, TKovExecuteThread* Thread,
                                           void*& Data, int Percent)>;

// The methods a run can have called on the main thread.
using TKovNotifyEvent = std::function<void(QObject* Sender)>;
using TKovThreadNotifyEvent = std::function<void(TKovThread* Sender, TKovExecuteThread* Thread)>;
using TKovThreadNotifyDataEvent =
    std::function<void(TKovThread* Sender, TKovExecuteThread* Thread, void*& Data)>;

class TKovThreadBase : public QObject {
 public:
  explicit TKovThreadBase(QObject* Owner = nullptr);
  ~TKovThreadBase() override;

  TKovThreadGroup* ThreadGroup() const { return threadGroup_; }
  // Leaves the old group (RemoveMe) and joins the new one (AddMe); nothing when unchanged.
  void SetThreadGroup(TKovThreadGroup* Value);

  int Tag = 0;
  int UpdatePriority = 0;  // a group reports the progress of its highest running member
  TKovUpdateEvent OnUpdate;
  TKovExecuteEvent OnStart;
  TKovExecuteEvent OnTerminate;

  virtual bool GetRuning() = 0;
  virtual void ReportStarted(TKovThreadGroup* Group) = 0;
  virtual void ReportTerminated(TKovThreadGroup* Group) = 0;
  virtual void AddMe(TKovThreadGroup* Group) = 0;
  virtual void RemoveMe(TKovThreadGroup* Group) = 0;
  virtual void Start() = 0;
  virtual void Start(void* Data) = 0;
  virtual void Stop() = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;

 protected:
  // Held around OnStart, OnUpdate, OnTerminate and a group's bookkeeping. Recursive,
  // because a group's events may reach the same group again through its parent chain.
  std::recursive_mutex CriticalSection;
  TKovThreadGroup* threadGroup_ = nullptr;
};

// One run of a TKovThread. Created by Start, started after OnStart, destroyed by the
// owner on the main thread once the end of the run has been handled there.
class TKovExecuteThread final : public QThread {
 public:
  TKovExecuteThread(TKovThread* Owner, void* Data, TThreadPriority Priority);
  ~TKovExecuteThread() override;

  TKovThread* Owner() const { return owner_; }
  void* Data;                   // the value given to Start(Data)
  std::atomic<int> Percent{0};  // progress the handler reports; the update timer passes it on

  // True once a stop was asked. Parks here while the run is suspended.
  bool Terminated();
  // Asks the run to stop: Terminated becomes true, sleeps and waits for synchronize
  // calls end at once. Callable from any thread.
  void Terminate();
  // Sleeps up to `milliseconds`; returns early (false) when a stop is asked. Parks while
  // suspended. Returns true when the whole time passed.
  bool Sleep(int milliseconds);

  void Suspend();
  void Resume();
  bool Suspended() const;

  TThreadPriority GetPriority() const { return priority_.load(); }
  // Applies at once when the run is going (from any thread, the run's own included).
  void SetPriority(TThreadPriority Value);

  // Run `Method` on the main thread and return when it has run there. Each does nothing
  // (and returns false) when a stop was asked or the method is unassigned; a call still
  // waiting when a stop is asked is dropped and never runs.
  bool Synchronize(const TKovNotifyEvent& Method);
  bool Synchronize(const TKovThreadNotifyEvent& Method);
  // `Method` gets a reference to a slot holding `Data`; SynchroData() reads it back.
  bool Synchronize(const TKovThreadNotifyDataEvent& Method, void* Data);
  void* SynchroData() const { return synchroData_; }
  // The same for any callable: true when it ran.
  bool SynchronizeCall(std::function<void()> Method);

  static QThread::Priority ToQtPriority(TThreadPriority Value);

  // QThread::wait() for at most `ms` (negative: as long as it takes), then the run's
  // last lock taken once more: everything the run wrote is then seen by the caller in a
  // way the race detector can follow too (Qt hands a thread's end over through locks of
  // its own that the detector does not see). True when the thread has ended.
  bool WaitForEnd(int ms = -1);

 protected:
  void run() override;

 private:
  struct Signal;
  struct PendingCall;

  void ParkWhileSuspended(std::unique_lock<std::mutex>& lock);

  TKovThread* owner_;
  std::atomic<TThreadPriority> priority_;
  std::shared_ptr<Signal> signal_;  // shared with the calls posted to the main thread
  std::atomic<bool> terminated_{false};
  void* synchroData_ = nullptr;
};

class TKovThread : public TKovThreadBase {
 public:
  // How long the component waits for a run's end when it is destroyed.
  static constexpr int kDestroyBoundMs = 8000;

  explicit TKovThread(QObject* Owner = nullptr);
  // Stops a run that is still alive and serves events until its end has been handled,
  // at most kDestroyBoundMs; a run that has not ended by then (stuck in a call that
  // never returns) is left to the end of the process rather than destroyed under it.
  ~TKovThread() override;

  TKovExecuteEvent OnExecute;

  bool GetRuning() override { return run_ != nullptr; }
  TKovExecuteThread* Run() const { return run_.get(); }
  void ReportStarted(TKovThreadGroup* Group) override;
  void ReportTerminated(TKovThreadGroup* Group) override;
  void AddMe(TKovThreadGroup* Group) override;
  void RemoveMe(TKovThreadGroup* Group) override;
  void Start() override { Start(nullptr); }
  void Start(void* Data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  TThreadPriority GetPriority() const { return priority_; }
  void SetPriority(TThreadPriority Value);
  unsigned GetTimeInterval() const;
  void SetTimeInterval(unsigned Milliseconds);
  bool UpdateEnabled() const { return updateEnabled_; }
  void SetGetUpdateEnabled(bool Value);
  QObject* GetEmptyEntry() const { return nullptr; }  // SynchroMethods: always empty
  bool UpdateTimerActive() const { return updateTimer_.isActive(); }

  // The run's body, on the run's thread: OnExecute once, outside the critical section.
  virtual void Execute(TKovExecuteThread* Thread);

  // Runs the synchronize calls of the component's runs.
  bool event(QEvent* e) override;

 protected:
  virtual void OnUpdateTimer(QObject* Sender);
  // The end of a run, on the main thread.
  virtual void OnThreadTerminate(TKovExecuteThread* Sender);
  // The end of a run while the component is being destroyed: only forgets the run.
  virtual void OnThreadTerminateClose(TKovExecuteThread* Sender);

 private:
  void RunEnded(TKovExecuteThread* Sender);
  // GetRuning() is false from here; the run object lives until its end has been handled.
  void ForgetRun();

  QTimer updateTimer_;
  std::unique_ptr<TKovExecuteThread> run_;
  std::vector<std::unique_ptr<TKovExecuteThread>> ended_;  // runs whose end is being handled
  TKovExecuteThread* endingRun_ = nullptr;                // for ReportTerminated
  TThreadPriority priority_ = tpNormal;
  bool updateEnabled_ = false;
  bool closing_ = false;
};

class TKovThreadGroup : public TKovThreadBase {
 public:
  explicit TKovThreadGroup(QObject* Owner = nullptr);
  // Detaches every member first.
  ~TKovThreadGroup() override;

  TKovUpdateEvent OnThreadUpdate;
  TKovExecuteEvent OnThreadStart;
  TKovExecuteEvent OnThreadTerminate;

  bool GetRuning() override { return GetCountRuning() > 0; }
  virtual int GetCountRuning();
  void ReportStarted(TKovThreadGroup* Group) override;
  void ReportTerminated(TKovThreadGroup* Group) override;
  void AddMe(TKovThreadGroup* Group) override;
  void RemoveMe(TKovThreadGroup* Group) override;
  void Start() override { Start(nullptr); }
  void Start(void* Data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  void AddThread(TKovThread* Thread);
  void RemoveThread(TKovThread* Thread);
  void AddThreadGroup(TKovThreadGroup* Group);
  void RemoveThreadGroup(TKovThreadGroup* Group);

  // Direct items (components and sub-groups, in the order added).
  TKovThreadBase* GetThreadItems(int Index);
  int GetThreadItemsCount();
  // Every component below the group, sub-groups flattened.
  TKovThread* GetThreads(int Index);
  int GetThreadsCount();

  void ThreadStarted(TKovThreadBase* Sender, TKovExecuteThread* Thread, void*& Data);
  void ThreadTerminated(TKovThreadBase* Sender, TKovExecuteThread* Thread, void*& Data);
  void ThreadUpdate(TKovThreadBase* Sender, TKovExecuteThread* Thread, void*& Data,
                    int UpdatePriority, int Percent);

 private:
  void CollectThreads(std::vector<TKovThread*>& out);
  bool Contains(const TKovThreadBase* Item);
  // Reports the start (or end) of every running component below `item` to this group.
  void ReportRunning(TKovThreadBase* Item, bool Started);

  std::vector<TKovThreadBase*> items_;
  int countRuning_ = 0;
};

}  // namespace zarn
