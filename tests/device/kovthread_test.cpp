// The worker-thread component on real threads: start, stop, suspend, the update timer,
// synchronize calls, destruction with a live run, the group; and the exchange loop run
// on it with its notifications applied on the main thread.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "common/images.h"
#include "device/kovthread.h"
#include "device/instrumentlink.h"
#include "device/kovthreadusb.h"
#include "device/linkstate.h"
#include "loop_fakes.h"

using namespace zarn;

namespace {

class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "kovthread_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Serves events until `done` holds; false when it did not within `limitMs` (a bound
// against hanging, not a timing assertion).
template <class F>
bool ServeUntil(F done, int limitMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void ServeFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// A handler that works until it is asked to stop.
void UntilStopped(TKovThreadBase*, TKovExecuteThread* t, void*&) {
  while (!t->Terminated()) t->Sleep(2);
}

TEST(KovThread, OneRunFromStartToItsEndOnTheMainThread) {
  const auto mainId = std::this_thread::get_id();
  TKovThread k;
  k.SetPriority(tpLower);
  int x = 1, y = 2;
  int starts = 0, ends = 0;
  std::thread::id startId, execId, endId;
  void* endData = nullptr;
  TThreadPriority runPriority = tpIdle;
  k.OnStart = [&](TKovThreadBase* s, TKovExecuteThread* t, void*& d) {
    ++starts;
    startId = std::this_thread::get_id();
    EXPECT_EQ(s, &k);
    EXPECT_EQ(d, starts == 1 ? static_cast<void*>(&x) : nullptr);
    EXPECT_FALSE(t->isRunning());  // resumed only after OnStart
  };
  k.OnExecute = [&](TKovThreadBase*, TKovExecuteThread* t, void*& d) {
    execId = std::this_thread::get_id();
    runPriority = t->GetPriority();
    d = &y;
  };
  k.OnTerminate = [&](TKovThreadBase*, TKovExecuteThread*, void*& d) {
    ++ends;
    endId = std::this_thread::get_id();
    endData = d;
    EXPECT_FALSE(k.GetRuning());
  };
  k.Start(&x);
  EXPECT_TRUE(k.GetRuning());
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_EQ(startId, mainId);
  EXPECT_NE(execId, mainId);
  EXPECT_EQ(endId, mainId);
  EXPECT_EQ(endData, &y);
  EXPECT_EQ(runPriority, tpLower);
  EXPECT_EQ(ends, 1);

  k.Start();  // a new run once the last one has ended
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(ends, 2);
}

TEST(KovThread, StartWhileRunningAndStopWhileNotRunningDoNothing) {
  TKovThread k;
  int starts = 0, ends = 0;
  k.OnStart = [&](TKovThreadBase*, TKovExecuteThread*, void*&) { ++starts; };
  k.OnTerminate = [&](TKovThreadBase*, TKovExecuteThread*, void*&) { ++ends; };
  k.OnExecute = UntilStopped;
  k.Stop();
  EXPECT_FALSE(k.GetRuning());
  k.Start();
  TKovExecuteThread* first = k.Run();
  k.Start();
  EXPECT_EQ(k.Run(), first);
  EXPECT_EQ(starts, 1);
  k.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_EQ(ends, 1);
  k.Stop();
  ServeFor(20);
  EXPECT_EQ(ends, 1);
}

TEST(KovThread, SuspendParksTheRunAndStopResumesIt) {
  TKovThread k;
  std::atomic<int> passes{0};
  k.OnExecute = [&](TKovThreadBase*, TKovExecuteThread* t, void*&) {
    while (!t->Terminated()) {
      ++passes;
      t->Sleep(1);
    }
  };
  k.Start();
  ASSERT_TRUE(ServeUntil([&] { return passes > 0; }));
  k.Suspend();
  EXPECT_TRUE(k.Run()->Suspended());
  ServeFor(50);
  const int parked = passes;
  ServeFor(50);
  EXPECT_LE(passes, parked + 1);  // at most the pass under way when it was suspended
  k.Resume();
  ASSERT_TRUE(ServeUntil([&] { return passes > parked + 2; }));
  k.Suspend();
  k.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
}

TEST(KovThread, SleepEndsEarlyWhenAStopIsAsked) {
  TKovThread k;
  std::atomic<int> slept{-1};
  k.OnExecute = [&](TKovThreadBase*, TKovExecuteThread* t, void*&) { slept = t->Sleep(600000); };
  k.Start();
  k.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_EQ(slept, 0);
}

TEST(KovThread, UpdateTimer) {
  TKovThread k;
  EXPECT_EQ(k.GetTimeInterval(), 100u);
  k.SetTimeInterval(10);
  int updates = 0;
  std::atomic<int> lastPercent{-1};
  k.OnUpdate = [&](TKovThreadBase*, TKovExecuteThread*, void*&, int percent) {
    ++updates;
    lastPercent = percent;
  };
  k.SetGetUpdateEnabled(true);
  EXPECT_TRUE(k.UpdateTimerActive());
  ServeFor(60);
  EXPECT_EQ(updates, 0);  // ticks without a run do nothing
  k.OnExecute = [](TKovThreadBase*, TKovExecuteThread* t, void*& d) {
    t->Percent = 42;
    UntilStopped(nullptr, t, d);
  };
  k.Start();
  ASSERT_TRUE(ServeUntil([&] { return lastPercent == 42; }));
  k.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_TRUE(k.UpdateTimerActive());  // enabled again after the end
  k.SetGetUpdateEnabled(false);
  EXPECT_FALSE(k.UpdateTimerActive());
  k.Start();
  EXPECT_FALSE(k.UpdateTimerActive());
  k.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
}

TEST(KovThread, SynchronizeRunsOnTheMainThreadAndReturnsWhenDone) {
  const auto mainId = std::this_thread::get_id();
  TKovThread k;
  int z = 0, w = 0;
  std::atomic<int> results{0};
  std::thread::id ids[3];
  QObject* sender = nullptr;
  void* dataBack = nullptr;
  k.OnExecute = [&](TKovThreadBase*, TKovExecuteThread* t, void*&) {
    int ran = 0;
    ran += t->Synchronize(TKovNotifyEvent([&](QObject* s) {
      ids[0] = std::this_thread::get_id();
      sender = s;
    }));
    ran += t->Synchronize(TKovThreadNotifyEvent([&](TKovThread* s, TKovExecuteThread* th) {
      ids[1] = std::this_thread::get_id();
      EXPECT_EQ(s, &k);
      EXPECT_EQ(th, t);
    }));
    ran += t->Synchronize(
        TKovThreadNotifyDataEvent([&](TKovThread*, TKovExecuteThread*, void*& d) {
          ids[2] = std::this_thread::get_id();
          EXPECT_EQ(d, &z);
          d = &w;
        }),
        &z);
    dataBack = t->SynchroData();
    ran += t->Synchronize(TKovNotifyEvent{});  // unassigned: nothing
    results = ran;
  };
  k.Start();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_EQ(results, 3);
  for (const auto& id : ids) EXPECT_EQ(id, mainId);
  EXPECT_EQ(sender, &k);
  EXPECT_EQ(dataBack, &w);
}

TEST(KovThread, SynchronizeAfterStopDoesNotRun) {
  TKovThread k;
  std::atomic<bool> ran{false}, called{false};
  k.OnExecute = [&](TKovThreadBase* s, TKovExecuteThread* t, void*& d) {
    UntilStopped(s, t, d);
    ran = t->Synchronize(TKovNotifyEvent([&](QObject*) { called = true; }));
  };
  k.Start();
  k.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_FALSE(ran);
  EXPECT_FALSE(called);
}

// The main thread asks for a stop while a synchronize call waits for it: the call is
// dropped instead of running later, and the run ends without the main thread's help.
TEST(KovThread, PendingSynchronizeIsDroppedByStop) {
  TKovThread k;
  std::atomic<bool> ready{false}, ran{true}, called{false};
  k.OnExecute = [&](TKovThreadBase*, TKovExecuteThread* t, void*&) {
    ready = true;
    ran = t->Synchronize(TKovNotifyEvent([&](QObject*) { called = true; }));
  };
  k.Start();
  while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // no events served
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  k.Stop();
  k.Run()->wait();  // ends although the main thread never served the call
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_FALSE(ran);
  EXPECT_FALSE(called);
}

TEST(KovThread, DestroyedWithALiveRun) {
  auto k = std::make_unique<TKovThread>();
  std::atomic<int> calls{0};
  int mainCalls = 0;
  bool terminated = false;
  k->OnTerminate = [&](TKovThreadBase*, TKovExecuteThread*, void*&) { terminated = true; };
  k->OnExecute = [&](TKovThreadBase*, TKovExecuteThread* t, void*&) {
    while (!t->Terminated()) {
      if (t->Synchronize(TKovNotifyEvent([&](QObject*) { ++mainCalls; }))) ++calls;
      t->Sleep(1);
    }
  };
  k->Start();
  ASSERT_TRUE(ServeUntil([&] { return calls > 3; }));
  k.reset();  // stops the run and serves events until it has ended
  const int after = mainCalls;
  ServeFor(30);
  EXPECT_EQ(mainCalls, after);  // nothing delivered after the component is gone
  EXPECT_FALSE(terminated);     // the end went to OnThreadTerminateClose
}

TEST(KovThreadGroup, CountsRunsAndReportsTheFirstStartAndTheLastEnd) {
  TKovThreadGroup g;
  TKovThread a, b;
  a.OnExecute = b.OnExecute = UntilStopped;
  a.SetThreadGroup(&g);
  g.AddThread(&b);
  EXPECT_EQ(b.ThreadGroup(), &g);
  EXPECT_EQ(g.GetThreadItemsCount(), 2);
  std::vector<std::string> ev;
  auto note = [&](std::string what) {
    return [&ev, what](TKovThreadBase* s, TKovExecuteThread*, void*&) {
      ev.push_back(what + (s ? " " + s->objectName().toStdString() : ""));
    };
  };
  a.setObjectName("a");
  b.setObjectName("b");
  g.OnStart = note("start");
  g.OnTerminate = note("end");
  g.OnThreadStart = note("thread start");
  g.OnThreadTerminate = note("thread end");
  g.Start();
  EXPECT_EQ(g.GetCountRuning(), 2);
  EXPECT_TRUE(g.GetRuning());
  EXPECT_EQ(ev, (std::vector<std::string>{"thread start a", "start a", "thread start b"}));
  ev.clear();
  a.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !a.GetRuning(); }));
  EXPECT_EQ(g.GetCountRuning(), 1);
  g.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !g.GetRuning(); }));
  EXPECT_EQ(ev, (std::vector<std::string>{"thread end a", "thread end b", "end b"}));

  // A running member joining is counted; leaving, it is counted out.
  ev.clear();
  TKovThread c;
  c.setObjectName("c");
  c.OnExecute = UntilStopped;
  c.Start();
  c.SetThreadGroup(&g);
  EXPECT_EQ(g.GetCountRuning(), 1);
  c.SetThreadGroup(nullptr);
  EXPECT_EQ(g.GetCountRuning(), 0);
  EXPECT_EQ(ev, (std::vector<std::string>{"thread start c", "start c", "thread end c", "end c"}));
  c.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !c.GetRuning(); }));
}

TEST(KovThreadGroup, NestedGroupsAndDetaching) {
  TKovThreadGroup outer;
  auto inner = std::make_unique<TKovThreadGroup>();
  TKovThread a, c;
  a.OnExecute = c.OnExecute = UntilStopped;
  a.SetThreadGroup(inner.get());
  inner->SetThreadGroup(&outer);
  c.SetThreadGroup(&outer);
  EXPECT_EQ(outer.GetThreadItemsCount(), 2);
  EXPECT_EQ(outer.GetThreadsCount(), 2);
  EXPECT_EQ(outer.GetThreads(0), &a);
  outer.SetThreadGroup(inner.get());  // no cycles
  EXPECT_EQ(outer.ThreadGroup(), nullptr);
  a.Start();
  EXPECT_EQ(inner->GetCountRuning(), 1);
  EXPECT_EQ(outer.GetCountRuning(), 1);
  TKovThread late;  // joins the inner group later and is still seen from above
  late.SetThreadGroup(inner.get());
  EXPECT_EQ(outer.GetThreadsCount(), 3);
  inner.reset();
  EXPECT_EQ(a.ThreadGroup(), nullptr);
  EXPECT_EQ(late.ThreadGroup(), nullptr);
  EXPECT_EQ(outer.GetThreadItemsCount(), 1);
  EXPECT_EQ(outer.GetCountRuning(), 0);
  {
    TKovThread temporary;
    temporary.SetThreadGroup(&outer);
    EXPECT_EQ(outer.GetThreadItemsCount(), 2);
  }
  EXPECT_EQ(outer.GetThreadItemsCount(), 1);
  a.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !a.GetRuning(); }));
}

TEST(KovThreadGroup, ProgressOfTheHighestRunningMemberOnly) {
  TKovThreadGroup g;
  TKovThread low, high;
  low.OnExecute = high.OnExecute = UntilStopped;
  low.UpdatePriority = 1;
  high.UpdatePriority = 5;
  low.SetThreadGroup(&g);
  high.SetThreadGroup(&g);
  std::vector<int> all, shown;
  g.OnThreadUpdate = [&](TKovThreadBase*, TKovExecuteThread*, void*&, int p) { all.push_back(p); };
  g.OnUpdate = [&](TKovThreadBase*, TKovExecuteThread*, void*&, int p) { shown.push_back(p); };
  void* d = nullptr;
  g.Start();
  g.ThreadUpdate(&low, low.Run(), d, 1, 10);
  g.ThreadUpdate(&high, high.Run(), d, 5, 20);
  high.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !high.GetRuning(); }));
  g.ThreadUpdate(&low, low.Run(), d, 1, 30);
  EXPECT_EQ(all, (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(shown, (std::vector<int>{20, 30}));
  g.Stop();
  ASSERT_TRUE(ServeUntil([&] { return !g.GetRuning(); }));
}

// The main window's sink stand-in: records, and checks it is called on the main thread.
class MainThreadSink final : public LinkSink {
 public:
  void StatusText(int, const Phrase& text) override { Note("status " + text().toStdString()); }
  void LinkLamp(LampColour c) override {
    lamp = c;
    Note("lamp");
  }
  LampColour CurrentLamp() override {
    Note("current");
    return lamp;
  }
  void ProgressBegin() override { Note("begin"); }
  void ProgressRange(int) override { Note("range"); }
  void ProgressStep(int) override { Note("step"); }
  void ProgressEnd() override { Note("end"); }
  void ProgressHide() override { Note("hide"); }
  void RefreshWithChartHidden(const CompletedRead& read) override {
    Note("refresh");
    refreshed = true;
    images = read.images;
  }
  void Note(const std::string& what) {
    if (std::this_thread::get_id() != main) offMain = true;
    calls.push_back(what);
  }

  const std::thread::id main = std::this_thread::get_id();
  std::vector<std::string> calls;
  LampColour lamp = LampColour::ButtonFace;
  bool refreshed = false;
  bool offMain = false;
  ImagesView images;
};

TEST(RunExchangeLoop, NotificationsAreAppliedOnTheMainThreadUntilStopped) {
  LinkSharedState shared;
  test::Log log;
  test::FakeInstrument dev(log);
  test::FakePipe pipe(dev);
  test::FakeUsb usb(dev);
  MainThreadSink sink;
  TKovThread k;
  k.OnExecute = [&](TKovThreadBase*, TKovExecuteThread* t, void*&) {
    SynchronizedSink synchronized(*t, sink);
    RunExchangeLoop(*t, synchronized, shared, pipe, usb);
  };
  k.Start();
  ASSERT_TRUE(ServeUntil([&] { return sink.refreshed; }, 30000));
  EXPECT_FALSE(sink.offMain);
  EXPECT_TRUE(shared.DataReadComplete());
  EXPECT_EQ(int(shared.State()), int(LinkStates::Idle));
  EXPECT_EQ(std::count(sink.calls.begin(), sink.calls.end(), "step"), 64);
  EXPECT_TRUE(std::equal(dev.data.begin(), dev.data.end(), Images.DataImage.begin()));
  ASSERT_TRUE(sink.images);
  EXPECT_TRUE(std::equal(dev.data.begin(), dev.data.end(), sink.images->images.DataImage.begin()));
  k.Stop();
  const size_t shown = sink.calls.size();
  ASSERT_TRUE(ServeUntil([&] { return !k.GetRuning(); }));
  EXPECT_EQ(sink.calls.size(), shown);
  EXPECT_FALSE(pipe.opened);
}

}  // namespace

// ---- InstrumentLink: the worker, the snapshot, the stop.

// The pipe as the program's transport behaves towards a stop or a data file: Interrupt
// fails every transfer until ClearInterrupt. Made `stalling`, the instrument falls silent
// in its first reply: the read waits until the transport is interrupted (or 10 s).
class InterruptiblePipe final : public PipeLink {
 public:
  explicit InterruptiblePipe(test::FakePipe& inner, bool stalling = false) : stalled(!stalling), inner_(inner) {}
  uint32_t Enumerate(QByteArray& list) override { return inner_.Enumerate(list); }
  int Open(QByteArrayView path) override {
    const int result = inner_.Open(path);
    if (result == 0) open = true;
    return result;
  }
  int TransportClose() override {
    open = false;
    return inner_.TransportClose();
  }
  uint16_t TransportWrite(const uint8_t* b, uint32_t c) override {
    return interrupted_ ? kPipeIoFailure : inner_.TransportWrite(b, c);
  }
  uint16_t TransportRead(uint8_t* b, uint32_t c) override {
    if (!stalled.exchange(true)) {
      for (int i = 0; i < 10000 && !interrupted_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      brokenOff = interrupted_.load();
      return kPipeIoFailure;
    }
    return interrupted_ ? kPipeIoFailure : inner_.TransportRead(b, c);
  }
  void Interrupt() override { interrupted_ = true; }
  void ClearInterrupt() override { interrupted_ = false; }
  std::atomic<bool> open{false}, stalled, brokenOff{false};

 private:
  test::FakePipe& inner_;
  std::atomic<bool> interrupted_{false};
};

TEST(InstrumentLink, TheSnapshotIsTakenOnTheWorkerAndAStartAfterAStopTalksAgain) {
  test::Log log;
  test::FakeInstrument dev(log);
  test::FakePipe fake(dev);
  InterruptiblePipe pipe(fake);
  test::FakeUsb usb(dev);
  MainThreadSink sink;
  InstrumentLink link(sink, nullptr, &pipe, &usb);
  link.Start();
  ASSERT_TRUE(ServeUntil([&] { return sink.refreshed; }, 30000));
  EXPECT_FALSE(sink.offMain);  // every notification on the main thread
  ASSERT_TRUE(sink.images);
  EXPECT_EQ(link.Snapshot(), sink.images);
  EXPECT_NE(link.SnapshotThread(), std::this_thread::get_id());  // taken on the worker
  EXPECT_NE(link.SnapshotThread(), std::thread::id());
  EXPECT_EQ(sink.images->processCount, 2u);

  EXPECT_TRUE(link.Stop());
  EXPECT_TRUE(link.Stop());  // once stopped, at once
  EXPECT_FALSE(link.Running());
  // The stop broke off the pipe's transfers; a new start clears that.
  sink.refreshed = false;
  link.Start();
  ASSERT_TRUE(ServeUntil([&] { return link.State() == LinkStates::Idle; }, 10000));
  ASSERT_TRUE(link.RequestGaugeRead());
  ASSERT_TRUE(ServeUntil([&] { return sink.refreshed; }, 30000));
  EXPECT_NE(link.Snapshot(), nullptr);
}

// A data file opened while the pipe waits on a stalled reply breaks the wait off: the
// link is let go at once, not after the pipe's time-out, and the next read talks again.
// A write under way is not broken off (cut short, the instrument would keep part of the
// block): it ends, and its requester is told it was done.
TEST(InstrumentLink, ADataFileBreaksOffAReadButLetsAWriteFinish) {
  test::Log log;
  test::FakeInstrument dev(log);
  test::FakePipe fake(dev);
  InterruptiblePipe pipe(fake, true);
  test::FakeUsb usb(dev);
  MainThreadSink sink;
  InstrumentLink link(sink, nullptr, &pipe, &usb);
  auto openFile = [&] {
    std::lock_guard lock(ImagesLock);  // as the window opens a file
    link.FileOpened();
  };
  link.Start();
  ASSERT_TRUE(ServeUntil([&] { return pipe.stalled.load(); }, 15000));
  openFile();
  // The loop closes the pipe, then records the access: wait for both (a sanitized
  // build can be seen between the two).
  auto released = [&] { return !pipe.open.load() && link.Access() == LinkAccess::Closed; };
  ASSERT_TRUE(ServeUntil(released, 15000));
  EXPECT_TRUE(pipe.brokenOff);
  EXPECT_EQ(link.State(), LinkStates::Idle);
  // The stand-in keeps the reply that stalled, which a real pipe drops with its
  // connection (the passes that drain it would only take time here).
  dev.pending.clear();
  ASSERT_TRUE(link.RequestGaugeRead());
  ASSERT_TRUE(ServeUntil([&] { return sink.refreshed; }, 30000));

  const auto before = std::make_unique<DeviceImages>(Images);
  dev.onOp = [&](int cmd, int op) {
    if (cmd == 7 && op == 1) openFile();  // the names' length is about to go out
  };
  QByteArray names(int(kObjectsBlockSize), 'n');
  const Ticket ticket = link.RequestTransfer(LinkStates::WriteObjects, names);
  EXPECT_EQ(link.WaitForRequest(ticket, InstrumentLink::kWriteWaits).outcome, RequestOutcome::Done);
  EXPECT_EQ(test::Bytes(dev.writtenObjects), names);
  ASSERT_TRUE(ServeUntil(released, 15000));
  EXPECT_TRUE(Images.ObjectsBlock == before->ObjectsBlock);  // the file's, not the write's
  EXPECT_TRUE(link.Stop());
}

// A pipe call that never returns in time, whatever the stop does.
class StuckPipe final : public PipeLink {
 public:
  uint32_t Enumerate(QByteArray& list) override {
    list = "/stuck\n";
    return 1;
  }
  int Open(QByteArrayView) override { return 0; }
  int TransportClose() override { return 0; }
  uint16_t TransportWrite(const uint8_t*, uint32_t) override { return kPipeOk; }
  uint16_t TransportRead(uint8_t*, uint32_t) override {
    stuck = true;
    for (int i = 0; i < 5000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    returned = true;
    return kPipeIoFailure;
  }
  std::atomic<bool> stuck{false}, release{false}, returned{false};
};

TEST(InstrumentLink, AStuckWorkerIsLeftBehindAfterOneBoundedStop) {
  // Both outlive the test: the worker left behind still uses them.
  auto* pipe = new StuckPipe;
  auto* usb = new test::FakeUsb(*new test::FakeInstrument(*new test::Log));
  auto* sink = new MainThreadSink;
  QElapsedTimer timer;
  {
    InstrumentLink link(*sink, nullptr, pipe, usb);
    link.Start();
    ASSERT_TRUE(ServeUntil([&] { return pipe->stuck.load(); }, 15000));
    timer.start();
    EXPECT_FALSE(link.Stop(300));
    EXPECT_FALSE(link.Stop());  // the answer stands: no second wait
    EXPECT_LT(timer.elapsed(), 2000);
    timer.restart();
  }  // no wait for the stuck worker here either
  EXPECT_LT(timer.elapsed(), 500);
  // When the call returns at last, the run ends by itself, on what it was given.
  pipe->release = true;
  ASSERT_TRUE(ServeUntil([&] { return pipe->returned.load(); }, 10000));
  ServeFor(100);
  EXPECT_FALSE(sink->offMain);
}
