#pragma once
// What zarn26-cli's commands that talk to the instrument share: the messages on stderr,
// the loop's notifications printed as progress and the start-up read that every
// exchange begins with (the loop takes requests only once it is idle).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "device/instrumentlink.h"
#include "device/linksink.h"
#include "progressline.h"

namespace zarn::cli {

// One line on stderr.
void Err(const QString& text);

// The language of the program's settings (Russian when none is chosen yet).
uint8_t SettingsLanguage();

// Prints the loop's notifications: each new status text on a line of its own, the data
// read as a percentage. Runs on the main thread.
class CliSink final : public LinkSink {
 public:
  CliSink();

  void StatusText(int panel, const Phrase& phrase) override {
    if (panel < 0 || panel > 1) return;
    const QString text = phrase();
    if (text != shown_[panel]) {
      shown_[panel] = text;
      if (!text.isEmpty()) {
        EndProgressLine();
        Err(text);
      }
    }
    if (onStatus) onStatus();
  }
  void LinkLamp(LampColour colour) override { lamp_ = colour; }
  LampColour CurrentLamp() override { return lamp_; }
  void ProgressBegin() override {
    maximum_ = 0;
    progress_.Begin();
  }
  void ProgressRange(int maximum) override { maximum_ = maximum; }
  void ProgressStep(int position) override {
    progress_.Step(position, maximum_);
  }
  void ProgressEnd() override { EndProgressLine(); }
  void ProgressHide() override { EndProgressLine(); }
  void RefreshWithChartHidden(const CompletedRead& read) override {
    ++refreshes;
    lastRead = read;
    if (onRefresh) onRefresh();
  }
  void TransferFailed(const LinkFailure&) override {
    if (onFailure) onFailure();
  }

  int refreshes = 0;
  CompletedRead lastRead;  // the images of the start-up read
  std::function<void()> onStatus;
  std::function<void()> onRefresh;
  std::function<void()> onFailure;

 private:
  void EndProgressLine() { progress_.End(); }

  ProgressLine progress_;
  QString shown_[2];
  LampColour lamp_ = LampColour::ButtonFace;
  int maximum_ = 0;
};


// How the start-up read ended.
enum class StartupEnding { Read, TimedOut, Failed, InUse };
// Starts the link (holding the instrument between transfers) and serves events until
// the loop has read the instrument whole and idles, a third pass has failed, another
// program holds the instrument, or `timeoutS` has passed.
StartupEnding RunStartupRead(InstrumentLink& link, CliSink& sink, int timeoutS);

// The exit code and message of a start-up read that did not end in Read. `command` is
// the subcommand's name, `what` names the operation in "the read did not finish",
// `consequence` says what was left undone ("\"OUT\" was not written").
int StartupFailure(StartupEnding ending, const InstrumentLink& link, int timeoutS,
                   const QString& command, const QString& consequence);
// "zarn26-cli COMMAND: the read did not finish: WHY; CONSEQUENCE", exit 6. WHY is the
// last failure, or `fallback` when none was noted.
int Unfinished(const InstrumentLink& link, const QString& command, const QString& fallback,
               const QString& consequence);

}  // namespace zarn::cli
