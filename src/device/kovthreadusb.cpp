#include "device/kovthreadusb.h"

#include "device/exchangeloop.h"

namespace zarn {

void SynchronizedSink::Apply(const std::function<void()>& apply) {
  thread_.SynchronizeCall([&] {
    if (!current_ || current_()) apply();
  });
}

void SynchronizedSink::StatusText(int panel, const Phrase& text) {
  Apply([&] { main_.StatusText(panel, text); });
}

void SynchronizedSink::LinkLamp(LampColour colour) {
  Apply([&] { main_.LinkLamp(colour); });
}

LampColour SynchronizedSink::CurrentLamp() {
  LampColour colour = LampColour::ButtonFace;
  thread_.SynchronizeCall([&] { colour = main_.CurrentLamp(); });
  return colour;
}

void SynchronizedSink::ProgressBegin() {
  Apply([&] { main_.ProgressBegin(); });
}

void SynchronizedSink::ProgressRange(int maximum) {
  Apply([&] { main_.ProgressRange(maximum); });
}

void SynchronizedSink::ProgressStep(int position) {
  Apply([&] { main_.ProgressStep(position); });
}

void SynchronizedSink::ProgressEnd() {
  Apply([&] { main_.ProgressEnd(); });
}

void SynchronizedSink::ProgressHide() {
  Apply([&] { main_.ProgressHide(); });
}

void SynchronizedSink::RefreshWithChartHidden(const CompletedRead& read) {
  Apply([&] { main_.RefreshWithChartHidden(read); });
}

void SynchronizedSink::TransferFailed(const LinkFailure& failure) {
  Apply([&] { main_.TransferFailed(failure); });
}

void RunExchangeLoop(TKovExecuteThread& thread, LinkSink& sink, LinkSharedState& shared,
                     PipeLink& pipe, UsbLink& usb) {
  ExchangeLoop loop(LoopEnvironment{
      shared,
      pipe,
      usb,
      sink,
      [&thread](int ms) { thread.Sleep(ms); },
      [&thread] { return thread.Terminated(); },
      [&thread] { thread.SetPriority(tpNormal); },
  });
  loop.Run();
}

}  // namespace zarn
