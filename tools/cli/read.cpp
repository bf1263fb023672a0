// zarn26-cli read: the program's exchange loop with the real transports, run until the
// start-up read has completed, then the images written to a data file.

#include <QCoreApplication>
#include <QElapsedTimer>
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
#include "device/exchangeloop.h"
#include "device/kovthread.h"
#include "device/kovthreadusb.h"
#include "device/libusbtransport.h"
#include "device/linkstate.h"
#include "device/pipetransport.h"

namespace zarn::cli {

namespace {

constexpr char kReadUsage[] = "usage: zarn26-cli read OUT.zarn [--timeout SECONDS]\n";
constexpr int kDefaultTimeoutS = 30;
constexpr int kMaxTimeoutS = 24 * 3600;
// How long the object names may take after the start-up read (the editors wait 2 s for
// a read; this leaves room for one retry after a failure).
constexpr int kObjectsWaitMs = 5000;
// A stop is honoured within one transport time-out plus one pass; this bounds the wait
// for it generously.
constexpr int kStopWaitMs = 15000;

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

  int refreshes = 0;
  std::function<void()> onStatus;
  std::function<void()> onRefresh;

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

// Serves events until the run has ended; false when it did not within the bound.
bool StopWorker(TKovThread& worker) {
  worker.Stop();
  // A transfer under way on the pipes ends at once instead of at its time-out.
  ThePipeTransport().Interrupt();
  QElapsedTimer timer;
  timer.start();
  while (worker.GetRuning()) {
    if (timer.elapsed() > kStopWaitMs) return false;
    QEventLoop events;
    QTimer::singleShot(20, &events, &QEventLoop::quit);
    events.exec();
  }
  return true;
}

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
  TKovThread worker;
  worker.OnExecute = [&sink](TKovThreadBase*, TKovExecuteThread* thread, void*&) {
    RunExchangeLoop(*thread, sink, ThePipeTransport(), TheLibusbTransport());
  };

  // The start-up read: done when the loop hands over the refresh.
  bool timedOut = false;
  {
    QEventLoop events;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &events, [&] {
      timedOut = true;
      events.quit();
    });
    sink.onRefresh = [&events] { events.quit(); };
    deadline.start(timeoutS * 1000);
    worker.Start();
    events.exec();
    sink.onRefresh = nullptr;
  }

  // The object names are not part of the start-up read: ask for them as the objects
  // editor does. Whether it worked shows in the status that follows the request: idle
  // again means read; still 6 means the loop tries again; anything else (a failure
  // without a whole read behind it sends the loop back to connect) means not read.
  bool objectsRead = false;
  if (!timedOut && RequestTransfer(kLinkReadObjects)) {
    QEventLoop events;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &events, &QEventLoop::quit);
    bool decided = false;
    sink.onStatus = [&] {
      const uint8_t state = LinkState.load();
      if (state == kLinkReadObjects || decided) return;
      decided = true;
      objectsRead = state == kLinkIdle;
      events.quit();
    };
    deadline.start(kObjectsWaitMs);
    events.exec();
    sink.onStatus = nullptr;
    WithdrawRequest(kLinkReadObjects);
  }

  const bool stopped = StopWorker(worker);
  if (!stopped) Err(QStringLiteral("zarn26-cli read: the exchange with the instrument did not end"));

  int code = kExitOk;
  if (timedOut) {
    const bool answered = TransportKind.load() == kTransportPipe || DataReadComplete.load() ||
                          (LinkState.load() != kLinkConnect && LinkState.load() != kLinkChooseTransport);
    Err(answered ? QStringLiteral("zarn26-cli read: the instrument did not finish the read within %1 s")
                       .arg(timeoutS)
                 : QStringLiteral("zarn26-cli read: no instrument answered within %1 s").arg(timeoutS));
    code = kExitNoInstrument;
  } else {
    if (!objectsRead)
      Err(QStringLiteral("zarn26-cli read: the object names could not be read; the file holds none"));
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
