#include "device/instrumentlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include "device/exchangeloop.h"
#include "device/kovthread.h"
#include "device/kovthreadusb.h"
#include "device/libusbtransport.h"
#include "device/pipetransport.h"

namespace zarn {

// The loop's sink on the worker thread: takes the snapshot of a completed read before
// the refresh is handed over (the loop holds no lock then, and the main thread need not
// copy 8 MiB), notes failures, and passes everything on to the main thread.
class InstrumentLink::WorkerSink final : public LinkSink {
 public:
  WorkerSink(InstrumentLink& link, LinkSink& synchronized) : link_(link), next_(synchronized) {}
  void StatusText(int panel, const QString& text) override { next_.StatusText(panel, text); }
  void LinkLamp(LampColour colour) override { next_.LinkLamp(colour); }
  LampColour CurrentLamp() override { return next_.CurrentLamp(); }
  void ProgressBegin() override { next_.ProgressBegin(); }
  void ProgressRange(int maximum) override { next_.ProgressRange(maximum); }
  void ProgressStep(int position) override { next_.ProgressStep(position); }
  void ProgressEnd() override { next_.ProgressEnd(); }
  void ProgressHide() override { next_.ProgressHide(); }
  void RefreshWithChartHidden() override {
    link_.TakeSnapshot();
    next_.RefreshWithChartHidden();
  }
  void TransferFailed(const LinkFailure& failure) override {
    link_.RecordFailure(failure);
    next_.TransferFailed(failure);
  }

 private:
  InstrumentLink& link_;
  LinkSink& next_;
};

InstrumentLink::InstrumentLink(LinkSink& mainThreadSink, QObject* parent, PipeLink* pipe,
                               UsbLink* usb)
    : mainSink_(mainThreadSink),
      pipe_(pipe ? *pipe : static_cast<PipeLink&>(ThePipeTransport())),
      usb_(usb ? *usb : static_cast<UsbLink&>(TheLibusbTransport())),
      worker_(new TKovThread(parent)),
      ownsWorker_(parent == nullptr) {
  worker_->setObjectName(QStringLiteral("KovThreadUSB"));
  // KovThreadUSBExecute: the exchange loop, for the whole run.
  worker_->OnExecute = [this](TKovThreadBase*, TKovExecuteThread* thread, void*&) {
    SynchronizedSink synchronized(*thread, mainSink_);
    WorkerSink sink(*this, synchronized);
    RunExchangeLoop(*thread, sink, pipe_, usb_);
  };
}

InstrumentLink::~InstrumentLink() {
  if (!worker_) return;
  if (!Stop()) {
    // Stuck in a transfer beyond every time-out: the component would wait for it when
    // destroyed. It is left to the end of the process.
    worker_->setParent(nullptr);
    worker_->OnExecute = nullptr;
    return;
  }
  if (ownsWorker_) delete worker_;
}

void InstrumentLink::HoldBetweenTransfers(bool hold) {
  pipe_.HoldBetweenTransfers(hold);
  usb_.HoldBetweenTransfers(hold);
}

void InstrumentLink::Start() { worker_->Start(); }

bool InstrumentLink::Running() const { return worker_->GetRuning(); }

bool InstrumentLink::Stop(int boundMs) {
  if (!worker_->GetRuning()) return true;
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
  return !worker_->GetRuning();
}

bool InstrumentLink::RequestGaugeRead() { return zarn::RequestGaugeRead(); }
bool InstrumentLink::RequestTransfer(LinkStates request) { return zarn::RequestTransfer(request); }
bool InstrumentLink::WithdrawRequest(LinkStates request) { return zarn::WithdrawRequest(request); }

RequestOutcome InstrumentLink::WaitForRequest(LinkStates request, int waits) {
  return AwaitRequest(request, waits, [] {
    QEventLoop events;
    QTimer::singleShot(kPollMs, &events, &QEventLoop::quit);
    events.exec();
  });
}

ImagesView InstrumentLink::Snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

ImagesView InstrumentLink::TakeSnapshot() {
  ImagesView view;
  {
    std::lock_guard images(ImagesLock);
    view = SnapshotImagesLocked();
  }
  std::lock_guard lock(mutex_);
  snapshot_ = view;
  return view;
}

void InstrumentLink::RecordFailure(const LinkFailure& failure) {
  std::lock_guard lock(mutex_);
  lastFailure_ = failure;
  ++failures_;
}

LinkFailure InstrumentLink::LastFailure() const {
  std::lock_guard lock(mutex_);
  return lastFailure_;
}

int InstrumentLink::Failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

}  // namespace zarn
