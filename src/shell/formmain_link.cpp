// The main window as the exchange loop's sink, and the worker that runs the loop.

#include <QCoreApplication>
#include <QProgressBar>
#include <QThread>

#include "chart1.h"
#include "controls.h"
#include "device/exchangeloop.h"
#include "device/kovthread.h"
#include "device/kovthreadusb.h"
#include "device/libusbtransport.h"
#include "device/pipetransport.h"
#include "formmain.h"

namespace zarn {
namespace {

constexpr int kProgressTop = 5;

QColor LampToColor(LampColour colour, const QWidget* widget) {
  if (colour == LampColour::ButtonFace) return widget->palette().color(QPalette::Button);
  // The loop names colours as 0x00BBGGRR.
  const auto c = uint32_t(colour);
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

}  // namespace

// ---- Worker.

void TForm1::CreateWorker() {
  KovThreadUSB = new TKovThread(this);
  KovThreadUSB->setObjectName(QStringLiteral("KovThreadUSB"));
  // KovThreadUSBExecute: the exchange loop, for the whole run.
  KovThreadUSB->OnExecute = [this](TKovThreadBase*, TKovExecuteThread* thread, void*&) {
    PipeLink& pipe = seams_.pipe ? *seams_.pipe : static_cast<PipeLink&>(ThePipeTransport());
    UsbLink& usb = seams_.usb ? *seams_.usb : static_cast<UsbLink&>(TheLibusbTransport());
    RunExchangeLoop(*thread, *this, pipe, usb);
  };
}

void TForm1::StartWorker() { KovThreadUSB->Start(); }

bool TForm1::WorkerRunning() const { return KovThreadUSB && KovThreadUSB->GetRuning(); }

void TForm1::StopWorker() {
  if (!WorkerRunning()) return;
  KovThreadUSB->Stop();
  // A transfer under way on the pipes ends at once instead of at its time-out.
  (seams_.pipe ? *seams_.pipe : static_cast<PipeLink&>(ThePipeTransport())).Interrupt();
  // The loop hands its notifications to this thread and waits for them, and the end of
  // its run is handled here too: keep serving events (but no user input) until it has
  // ended. The loop ends within its transports' time-outs.
  while (KovThreadUSB->GetRuning()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    if (KovThreadUSB->GetRuning()) QThread::msleep(2);
  }
}

// ---- LinkSink.

void TForm1::StatusText(int panel, const QString& text) {
  if (panel == 0 || panel == 1) StatusBar1->SetPanelText(panel, text);
}

void TForm1::LinkLamp(LampColour colour) {
  lamp_ = colour;
  ShapeLink->SetBrushColor(LampToColor(colour, this));
}

LampColour TForm1::CurrentLamp() { return lamp_; }

void TForm1::ProgressBegin() {
  ProgressBar1->setParent(StatusBar1);
  ProgressBar1->move(StatusBar1->PanelWidth(0) + 3, kProgressTop);
  ProgressBar1->setValue(0);
  ProgressBar1->show();
}

void TForm1::ProgressRange(int maximum) { ProgressBar1->setRange(0, std::max(0, maximum)); }

void TForm1::ProgressStep(int position) { ProgressBar1->setValue(position); }

void TForm1::ProgressEnd() {
  ProgressBar1->hide();
  ProgressBar1->setParent(this);
  ProgressBar1->hide();
}

void TForm1::ProgressHide() { ProgressBar1->hide(); }

void TForm1::RefreshWithChartHidden() {
  Chart1->hide();
  FillSeriesTable();
  Chart1->show();
}

}  // namespace zarn
