#include "device/instrumentlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <array>
#include <mutex>

#include "device/kovthread.h"
#include "device/kovthreadusb.h"
#include "device/libusbtransport.h"
#include "device/pipetransport.h"

namespace zarn {

struct InstrumentLink::Core {
  LinkSharedState shared;
  // Bumped by ScreenChanged: the worker's memory of what is on the screen is stale.
  std::atomic<uint64_t> screen{0};
  mutable std::mutex mutex;  // guards the four below
  ImagesView snapshot;
  std::thread::id snapshotThread;
  LinkFailure lastFailure;
  int failures = 0;
};

// The loop's sink on the worker thread. It keeps the snapshot of a completed read (the
// loop took it on this thread), notes failures, and hands every notification to the
// main thread; what the main thread already shows is not handed over again, so that a
// loop that looks for an absent instrument every 50 ms costs the main thread nothing.
// A notification still on its way when a data file replaces the images is dropped.
class InstrumentLink::WorkerSink final : public LinkSink {
 public:
  WorkerSink(Core& core, TKovExecuteThread& thread, LinkSink& main)
      : core_(core), main_(thread, main, [this] { return core_.shared.Epoch() == posted_; }) {}

  void StatusText(int panel, const Phrase& text) override {
    Post();
    if (panel < 0 || panel > 1) return;
    if (shown_[size_t(panel)] == text) return;
    shown_[size_t(panel)] = text;
    main_.StatusText(panel, text);
  }
  void LinkLamp(LampColour colour) override {
    Post();
    if (lamp_ && *lamp_ == colour) return;
    lamp_ = colour;
    main_.LinkLamp(colour);
  }
  LampColour CurrentLamp() override {
    Post();
    if (!lamp_) lamp_ = main_.CurrentLamp();
    return *lamp_;
  }
  void ProgressBegin() override {
    Post();
    barHidden_ = false;
    main_.ProgressBegin();
  }
  void ProgressRange(int maximum) override {
    Post();
    main_.ProgressRange(maximum);
  }
  void ProgressStep(int position) override {
    Post();
    main_.ProgressStep(position);
  }
  void ProgressEnd() override {
    Post();
    barHidden_ = true;
    main_.ProgressEnd();
  }
  void ProgressHide() override {
    Post();
    if (barHidden_) return;
    barHidden_ = true;
    main_.ProgressHide();
  }
  void RefreshWithChartHidden(const CompletedRead& read) override {
    {
      std::lock_guard lock(core_.mutex);
      core_.snapshot = read.images;
      core_.snapshotThread = std::this_thread::get_id();
    }
    Post();
    main_.RefreshWithChartHidden(read);
  }
  void TransferFailed(const LinkFailure& failure) override {
    {
      std::lock_guard lock(core_.mutex);
      core_.lastFailure = failure;
      ++core_.failures;
    }
    Post();
    // The window hides the bar for the text of the failure.
    barHidden_ = true;
    main_.TransferFailed(failure);
  }

 private:
  // Before each notification: what it belongs to, and whether what this sink remembers
  // of the screen still holds.
  void Post() {
    const uint64_t epoch = core_.shared.Epoch();
    const uint64_t screen = core_.screen.load();
    if (epoch != posted_ || screen != screen_) {
      shown_ = {};
      lamp_.reset();
      barHidden_ = false;
    }
    posted_ = epoch;
    screen_ = screen;
  }

  Core& core_;
  SynchronizedSink main_;
  uint64_t posted_ = ~uint64_t(0);  // read on the main thread during each hand-over
  uint64_t screen_ = ~uint64_t(0);
  std::array<std::optional<Phrase>, 2> shown_;
  std::optional<LampColour> lamp_;
  bool barHidden_ = false;
};

InstrumentLink::InstrumentLink(LinkSink& mainThreadSink, QObject* parent, PipeLink* pipe,
                               UsbLink* usb)
    : core_(std::make_shared<Core>()),
      pipe_(pipe ? *pipe : static_cast<PipeLink&>(ThePipeTransport())),
      usb_(usb ? *usb : static_cast<UsbLink&>(TheLibusbTransport())),
      worker_(std::make_unique<TKovThread>(parent)) {
  worker_->setObjectName(QStringLiteral("KovThreadUSB"));
  // KovThreadUSBExecute: the exchange loop, for the whole run. The function holds what
  // the run needs, so that a run left stuck at the end uses nothing already gone.
  worker_->OnExecute = [core = core_, &main = mainThreadSink, &pipe = pipe_, &usb = usb_](
                           TKovThreadBase*, TKovExecuteThread* thread, void*&) {
    WorkerSink sink(*core, *thread, main);
    RunExchangeLoop(*thread, sink, core->shared, pipe, usb);
  };
}

InstrumentLink::~InstrumentLink() {
  if (stopped_ == Stopped::No) Stop();
  if (stopped_ == Stopped::Stuck || worker_->GetRuning()) {
    // The component would wait for the run when destroyed, and the run still uses the
    // function it was given: both are left to the end of the process, where no parent
    // destroys them either.
    worker_->setParent(nullptr);
    (void)worker_.release();
  }
}

void InstrumentLink::HoldBetweenTransfers(bool hold) {
  pipe_.HoldBetweenTransfers(hold);
  usb_.HoldBetweenTransfers(hold);
}

void InstrumentLink::Start() {
  if (worker_->GetRuning()) return;
  // A stop before this one broke off the pipe's transfers; this run's must work.
  pipe_.ClearInterrupt();
  stopped_ = Stopped::No;
  worker_->Start();
}

bool InstrumentLink::Running() const { return worker_->GetRuning(); }

bool InstrumentLink::Stop(int boundMs) {
  if (stopped_ != Stopped::No) return stopped_ == Stopped::Yes;
  if (!worker_->GetRuning()) {
    stopped_ = Stopped::Yes;
    return true;
  }
  worker_->Stop();
  // A transfer under way on the pipes ends at once instead of at its time-out.
  pipe_.Interrupt();
  // The loop hands its notifications to this thread and waits for them, and the end of
  // its run is handled here too: keep serving events (but no user input) until it has
  // ended.
  QElapsedTimer timer;
  timer.start();
  while (worker_->GetRuning() && timer.elapsed() < boundMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    if (worker_->GetRuning()) QThread::msleep(2);
  }
  stopped_ = worker_->GetRuning() ? Stopped::Stuck : Stopped::Yes;
  return stopped_ == Stopped::Yes;
}

LinkStates InstrumentLink::State() const { return core_->shared.State(); }
TransportKinds InstrumentLink::Kind() const { return core_->shared.Kind(); }
bool InstrumentLink::DataReadComplete() const { return core_->shared.DataReadComplete(); }
LinkAccess InstrumentLink::Access() const { return core_->shared.Access(); }

bool InstrumentLink::RequestGaugeRead() { return core_->shared.RequestGaugeRead(); }

Ticket InstrumentLink::RequestTransfer(LinkStates request, QByteArray block) {
  return core_->shared.RequestTransfer(request, std::move(block));
}

RequestResult InstrumentLink::WaitForRequest(const Ticket& ticket, int waits) {
  return core_->shared.Await(ticket, waits, [] {
    QEventLoop events;
    QTimer::singleShot(kPollMs, &events, &QEventLoop::quit);
    events.exec();
  });
}

RequestResult InstrumentLink::Transfer(LinkStates request, int waits, QByteArray block) {
  return WaitForRequest(RequestTransfer(request, std::move(block)), waits);
}

void InstrumentLink::FileOpened() {
  // A pipe transfer under way (a stalled reply, the middle of a piece of the memory)
  // ends now rather than at its time-out, so that the instrument is free at once. The
  // loop clears the interrupt before it opens the pipe again. A write under way is let
  // finish: it ends within its own time-outs and then lets the instrument go.
  if (!core_->shared.FileOpened()) pipe_.Interrupt();
}

void InstrumentLink::ScreenChanged() { core_->screen.fetch_add(1); }

ImagesView InstrumentLink::Snapshot() const {
  std::lock_guard lock(core_->mutex);
  return core_->snapshot;
}

std::thread::id InstrumentLink::SnapshotThread() const {
  std::lock_guard lock(core_->mutex);
  return core_->snapshotThread;
}

LinkFailure InstrumentLink::LastFailure() const {
  std::lock_guard lock(core_->mutex);
  return core_->lastFailure;
}

int InstrumentLink::Failures() const {
  std::lock_guard lock(core_->mutex);
  return core_->failures;
}

}  // namespace zarn
