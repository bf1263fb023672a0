// The main window as the exchange loop's sink, and the worker that runs the loop.

#include <QCoreApplication>
#include <QProgressBar>
#include <QTimer>

#include "chart1.h"
#include "common/texts.h"
#include "controls.h"
#include "device/exchangeloop.h"
#include "device/kovthread.h"
#include "device/instrumentlink.h"
#include "formmain.h"
#include "statuspresenter.h"

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
  link_ = std::make_unique<InstrumentLink>(*this, this, seams_.pipe, seams_.usb);
  KovThreadUSB = link_->Worker();
}

void TForm1::StartWorker() { link_->Start(); }

bool TForm1::WorkerRunning() const { return link_ && link_->Running(); }

void TForm1::StopWorker() {
  if (!link_ || link_->Stop()) return;
  // Stuck beyond every time-out (it cannot be, short of a broken system): the window
  // still closes; the link leaves the worker to the end of the process.
  qWarning("zarn26: the exchange with the instrument did not end; closing without it");
  link_.reset();
}

// ---- LinkSink.

void TForm1::StatusText(int panel, const Phrase& text) { status_->LinkText(panel, text); }

void TForm1::LinkLamp(LampColour colour) {
  lamp_ = colour;
  ShapeLink->SetBrushColor(LampToColor(colour, this));
}

LampColour TForm1::CurrentLamp() { return lamp_; }

void TForm1::ProgressBegin() {
  ProgressBar1->setParent(StatusBar1);
  ProgressBar1->move(StatusBar1->PanelWidth(0) + 3, kProgressTop);
  ProgressBar1->setValue(0);
  status_->ShowProgress();
}

void TForm1::ProgressRange(int maximum) { ProgressBar1->setRange(0, std::max(0, maximum)); }

void TForm1::ProgressStep(int position) { ProgressBar1->setValue(position); }

void TForm1::ProgressEnd() {
  status_->ProgressGone();
  ProgressBar1->hide();
  ProgressBar1->setParent(this);
  ProgressBar1->hide();
}

void TForm1::ProgressHide() {
  status_->ProgressGone();
  ProgressBar1->hide();
}

void TForm1::RefreshWithChartHidden(const CompletedRead& read) { ShowCompletedRead(read); }

void TForm1::ShowCompletedRead(const CompletedRead& read) {
  // The loop took a copy of the whole read when it ended; from now on the window shows
  // that copy, whatever later reads do to the images.
  if (read.images) shown_ = read.images;
  Chart1->hide();
  FillSeriesTable();
  Chart1->show();
  // The data came from the instrument: its version text names it in the title.
  archiveShown_ = -1;
  titleName_ = read.version.trimmed().isEmpty() ? StatusBar1->PanelText(0).trimmed() : read.version.trimmed();
  shownFromFile_ = false;
  ShowTitle();
  // And it goes into the archive, named by its instrument, without the window waiting.
  KeepInArchive(read);
}

void TForm1::TransferFailed(const LinkFailure&) {
  // The status bar says what failed (the loop's next text, held in panel 1); what is
  // shown stays as it was. The progress bar leaves the panel to that text while the
  // link waits before its next attempt.
  status_->TransferFailed();
}

}  // namespace zarn
