#include "device/kovthreadusb.h"

#include "device/exchangeloop.h"

namespace zarn {

void SynchronizedSink::StatusText(int panel, const QString& text) {
  thread_.SynchronizeCall([&] { main_.StatusText(panel, text); });
}

void SynchronizedSink::LinkLamp(LampColour colour) {
  thread_.SynchronizeCall([&] { main_.LinkLamp(colour); });
}

LampColour SynchronizedSink::CurrentLamp() {
  LampColour colour = LampColour::ButtonFace;
  thread_.SynchronizeCall([&] { colour = main_.CurrentLamp(); });
  return colour;
}

void SynchronizedSink::ProgressBegin() {
  thread_.SynchronizeCall([&] { main_.ProgressBegin(); });
}

void SynchronizedSink::ProgressRange(int maximum) {
  thread_.SynchronizeCall([&] { main_.ProgressRange(maximum); });
}

void SynchronizedSink::ProgressStep(int position) {
  thread_.SynchronizeCall([&] { main_.ProgressStep(position); });
}

void SynchronizedSink::ProgressEnd() {
  thread_.SynchronizeCall([&] { main_.ProgressEnd(); });
}

void SynchronizedSink::ProgressHide() {
  thread_.SynchronizeCall([&] { main_.ProgressHide(); });
}

void SynchronizedSink::RefreshWithChartHidden() {
  thread_.SynchronizeCall([&] { main_.RefreshWithChartHidden(); });
}

void SynchronizedSink::TransferFailed(const LinkFailure& failure) {
  thread_.SynchronizeCall([&] { main_.TransferFailed(failure); });
}

void RunExchangeLoop(TKovExecuteThread& thread, LinkSink& mainThreadSink, PipeLink& pipe,
                     UsbLink& usb) {
  SynchronizedSink sink(thread, mainThreadSink);
  ExchangeLoop loop(LoopEnvironment{
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
