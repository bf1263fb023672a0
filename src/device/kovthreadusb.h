#pragma once
// The body of the main window's worker-thread handler KovThreadUSBExecute: the exchange
// loop on the run's thread, its notifications handed to the main thread one at a time.

#include "device/kovthread.h"
#include "device/linksink.h"
#include "device/transports.h"

namespace zarn {

// A LinkSink for the run's side: every notification is applied by `mainThreadSink` on the
// main thread through the run's synchronize call, and returns when it has been applied.
// Once a stop was asked notifications are dropped (the lamp then reads as button face).
class SynchronizedSink final : public LinkSink {
 public:
  SynchronizedSink(TKovExecuteThread& thread, LinkSink& mainThreadSink)
      : thread_(thread), main_(mainThreadSink) {}

  void StatusText(int panel, const QString& text) override;
  void LinkLamp(LampColour colour) override;
  LampColour CurrentLamp() override;
  void ProgressBegin() override;
  void ProgressRange(int maximum) override;
  void ProgressStep(int position) override;
  void ProgressEnd() override;
  void ProgressHide() override;
  void RefreshWithChartHidden() override;
  void TransferFailed(const LinkFailure& failure) override;

 private:
  TKovExecuteThread& thread_;
  LinkSink& main_;
};

// Runs the exchange loop on `thread` until it is asked to stop: interruptible sleeps, the
// run's Terminated flag, its priority, and notifications through a SynchronizedSink.
void RunExchangeLoop(TKovExecuteThread& thread, LinkSink& mainThreadSink, PipeLink& pipe,
                     UsbLink& usb);

}  // namespace zarn
