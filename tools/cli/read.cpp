// zarn26-cli read: the program's link to the instrument (the same exchange loop and
// transports as the window), run until the start-up read and the object names have
// arrived whole, then the images written to a data file. A read that did not finish
// writes nothing, so an existing file stays as it was.

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

#include "commands.h"
#include "common/images.h"
#include "common/inifile.h"
#include "common/paths.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "device/instrumentlink.h"
#include "device/linkstate.h"

namespace zarn::cli {

namespace {

constexpr char kReadUsage[] = "usage: zarn26-cli read OUT.zarn [--timeout SECONDS]\n";
constexpr int kDefaultTimeoutS = 30;
constexpr int kMaxTimeoutS = 24 * 3600;
// How long the object names may take after the start-up read, in the editors' 100 ms
// waits (they wait 2 s for a read; this leaves room for one retry after a failure).
constexpr int kObjectsWaits = 50;
// Failed passes after which the read is given up (a loose cable may fail one; a reply
// that is wrong every time fails them all).
constexpr int kMaxFailedPasses = 3;

void Err(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

int Usage(const QString& why) {
  Err(QStringLiteral("zarn26-cli read: ") + why);
  std::fputs(kReadUsage, stderr);
  return kExitUsage;
}

// The language of the program's settings (Russian when none is chosen yet).
uint8_t SettingsLanguage() {
  const QString lang = IniFile(SettingsPath()).ReadString(u"Config", u"LangId");
  return lang.isEmpty() || lang == u"Rus" ? kRussian : kEnglish;
}

// Prints the loop's notifications: each new status text on a line of its own, the data
// read as a percentage. Runs on the main thread.
class CliSink final : public LinkSink {
 public:
  CliSink() : tty_(isatty(STDERR_FILENO) != 0) {}

  void StatusText(int panel, const QString& text) override {
    if (panel < 0 || panel > 1) return;
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
    percent_ = -1;
  }
  void ProgressRange(int maximum) override { maximum_ = maximum; }
  void ProgressStep(int position) override {
    Percent(maximum_ > 0 ? int(int64_t(position) * 100 / maximum_) : 0);
  }
  void ProgressEnd() override { EndProgressLine(); }
  void ProgressHide() override { EndProgressLine(); }
  void RefreshWithChartHidden() override {
    ++refreshes;
    if (onRefresh) onRefresh();
  }
  void TransferFailed(const LinkFailure&) override {
    if (onFailure) onFailure();
  }

  int refreshes = 0;
  std::function<void()> onStatus;
  std::function<void()> onRefresh;
  std::function<void()> onFailure;

 private:
  void Percent(int percent) {
    if (percent == percent_) return;
    // Without a terminal one line per tenth is enough.
    if (!tty_ && percent_ >= 0 && percent / 10 == percent_ / 10) return;
    percent_ = percent;
    if (tty_) {
      std::fprintf(stderr, "\r%3d%%", percent);
      lineOpen_ = true;
    } else {
      std::fprintf(stderr, "%d%%\n", percent);
    }
    std::fflush(stderr);
  }
  void EndProgressLine() {
    if (!lineOpen_) return;
    std::fputc('\n', stderr);
    lineOpen_ = false;
  }

  const bool tty_;
  QString shown_[2];
  LampColour lamp_ = LampColour::ButtonFace;
  int maximum_ = 0;
  int percent_ = -1;
  bool lineOpen_ = false;
};

}  // namespace

int RunRead(const QStringList& args) {
  QString out;
  int timeoutS = kDefaultTimeoutS;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == u"--timeout" || a.startsWith(u"--timeout=")) {
      QString value;
      if (a == u"--timeout") {
        if (i + 1 >= args.size()) return Usage(QStringLiteral("--timeout needs a number of seconds"));
        value = args[++i];
      } else {
        value = a.mid(10);
      }
      bool ok = false;
      const int v = value.toInt(&ok);
      if (!ok || v < 1 || v > kMaxTimeoutS)
        return Usage(QStringLiteral("--timeout wants whole seconds from 1 to %1, not \"%2\"")
                         .arg(kMaxTimeoutS)
                         .arg(value));
      timeoutS = v;
    } else if (a.startsWith(u"-") && a != u"-") {
      return Usage(QStringLiteral("unknown option \"%1\"").arg(a));
    } else if (out.isEmpty()) {
      out = a;
    } else {
      return Usage(QStringLiteral("only one output file, not also \"%1\"").arg(a));
    }
  }
  if (out.isEmpty()) return Usage(QStringLiteral("the output file is missing"));

  // Fail before a long read when the file cannot be written anyway.
  const QFileInfo target(out);
  const QFileInfo folder(target.absolutePath());
  if (target.isDir()) {
    Err(QStringLiteral("zarn26-cli read: \"%1\" is a folder").arg(out));
    return kExitBadFile;
  }
  if (!folder.isDir() || !folder.isWritable()) {
    Err(QStringLiteral("zarn26-cli read: cannot write into the folder \"%1\"").arg(folder.filePath()));
    return kExitBadFile;
  }

  LanguageIndex.store(SettingsLanguage());
  CliSink sink;
  InstrumentLink link(sink);
  // The object names are read after the memory, over a link opened again: no other
  // program may take the instrument in between.
  link.HoldBetweenTransfers(true);

  // The start-up read: done when the loop hands over the refresh. A failed pass makes
  // the loop start again from connect (an unplugged instrument is read again once it is
  // back); after kMaxFailedPasses failures, or at the time-out, the read has not
  // finished. Another program holding the instrument ends it at once.
  enum class Ending { Read, TimedOut, Failed, InUse } ending = Ending::Read;
  {
    QEventLoop events;
    QTimer deadline;
    deadline.setSingleShot(true);
    auto end = [&](Ending why) {
      ending = why;
      events.quit();
    };
    QObject::connect(&deadline, &QTimer::timeout, &events, [&] { end(Ending::TimedOut); });
    sink.onRefresh = [&] { end(Ending::Read); };
    sink.onFailure = [&] {
      if (link.Failures() >= kMaxFailedPasses) end(Ending::Failed);
    };
    sink.onStatus = [&] {
      if (link.Access() == LinkAccess::InUse) end(Ending::InUse);
    };
    deadline.start(timeoutS * 1000);
    link.Start();
    events.exec();
    sink.onRefresh = nullptr;
    sink.onFailure = nullptr;
    sink.onStatus = nullptr;
  }

  // The object names are not part of the start-up read: ask for them as the objects
  // editor does, with room for a retry after one failure.
  RequestOutcome objects = RequestOutcome::NotAccepted;
  if (ending == Ending::Read && link.RequestTransfer(LinkStates::ReadObjects))
    objects = link.WaitForRequest(LinkStates::ReadObjects, kObjectsWaits);

  const bool stopped = link.Stop();
  if (!stopped) Err(QStringLiteral("zarn26-cli read: the exchange with the instrument did not end"));

  // Why a read did not finish: the last failure, naming its block.
  auto unfinished = [&](const QString& fallback) {
    const LinkFailure failure = link.LastFailure();
    const QString why = failure.fault == LinkFault::None
                            ? fallback
                            : LinkFailureText(failure, LanguageIndex.load());
    Err(QStringLiteral("zarn26-cli read: the read did not finish: %1; \"%2\" was not written")
            .arg(why, out));
    return kExitUnfinished;
  };

  int code = kExitOk;
  if (ending == Ending::InUse) {
    Err(QStringLiteral("zarn26-cli read: ") + txtStatusInUse());
    code = kExitInUse;
  } else if (ending == Ending::Failed) {
    code = unfinished(QString());
  } else if (ending == Ending::TimedOut) {
    if (link.Failures() > 0) {
      code = unfinished(QString());
    } else {
      const bool answered = TransportKind.load() == TransportKinds::Pipe ||
                            DataReadComplete.load() ||
                            (LinkState.load() != LinkStates::Connect &&
                             LinkState.load() != LinkStates::ChooseTransport);
      if (answered) {
        Err(QStringLiteral("zarn26-cli read: the read did not finish within %1 s; \"%2\" was not written")
                .arg(timeoutS)
                .arg(out));
        code = kExitUnfinished;
      } else {
        Err(QStringLiteral("zarn26-cli read: no instrument answered within %1 s").arg(timeoutS));
        code = kExitNoInstrument;
      }
    }
  } else if (objects != RequestOutcome::Done) {
    // A file without its object names would not be what the instrument holds.
    const LinkFailure failure = link.LastFailure();
    code = unfinished(failure.block == LinkBlock::Objects
                          ? QString()
                          : LinkFailureText({LinkBlock::Objects, LinkFault::NoReply},
                                            LanguageIndex.load()));
  } else {
    // A run that did not end may still hold the images; never write them under it.
    std::unique_lock lock(ImagesLock, std::try_to_lock);
    QString error;
    if (!lock.owns_lock()) {
      Err(QStringLiteral("zarn26-cli read: the images are still in use; \"%1\" was not written").arg(out));
      code = kExitBadFile;
    } else if (!WriteDataFile(out, Images, &error)) {
      Err(QStringLiteral("zarn26-cli read: cannot write \"%1\": %2").arg(out, error));
      code = kExitBadFile;
    } else {
      Err(QStringLiteral("zarn26-cli read: wrote \"%1\" (%2 processes)").arg(out).arg(ProcessCount.load()));
    }
  }
  if (!stopped) {
    // The run is stuck in a transport call; destroying the component would wait for it.
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}

}  // namespace zarn::cli
