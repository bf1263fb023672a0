#pragma once
// The body of the main window's worker-thread handler KovThreadUSBExecute: the exchange
// loop on the run's thread, its notifications handed to the main thread one at a time.

#include <functional>

#include "device/kovthread.h"
#include "device/linksink.h"
#include "device/transports.h"

namespace zarn {

// A LinkSink for the run's side: every notification is applied by `mainThreadSink` on the
// main thread through the run's synchronize call, and returns when it has been applied.
// Once a stop was asked notifications are dropped (the lamp then reads as button face).
// `current`, when given, is asked on the main thread just before a notification is
// applied: false drops it (it belongs to what the main thread has since replaced).
class SynchronizedSink final : public LinkSink {
 public:
  SynchronizedSink(TKovExecuteThread& thread, LinkSink& mainThreadSink,
                   std::function<bool()> current = {})
      : thread_(thread), main_(mainThreadSink), current_(std::move(current)) {}

  void StatusText(int panel, const Phrase& text) override;
  void LinkLamp(LampColour colour) override;
  LampColour CurrentLamp() override;
  void ProgressBegin() override;
  void ProgressRange(int maximum) override;
  void ProgressStep(int position) override;
  void ProgressEnd() override;
  void ProgressHide() override;
  void RefreshWithChartHidden(const CompletedRead& read) override;
  void TransferFailed(const LinkFailure& failure) override;

 private:
  // Runs `apply` on the main thread unless it is no longer current.
  void Apply(const std::function<void()>& apply);

  TKovExecuteThread& thread_;
  LinkSink& main_;
  std::function<bool()> current_;
};

// Runs the exchange loop on `thread` until it is asked to stop: interruptible sleeps, the
// run's Terminated flag, its priority. Its notifications go to `sink` on this thread
// (a SynchronizedSink hands them to the main thread).
void RunExchangeLoop(TKovExecuteThread& thread, LinkSink& sink, LinkSharedState& shared,
                     PipeLink& pipe, UsbLink& usb);

}  // namespace zarn
