#include "session.h"

#include <QEventLoop>
#include <QTimer>
#include <unistd.h>

#include "commands.h"
#include "common/programsettings.h"
#include "common/texts.h"
#include "device/linkstate.h"

namespace zarn::cli {
namespace {

// Failed passes after which the read is given up (a loose cable may fail one; a reply
// that is wrong every time fails them all).
constexpr int kMaxFailedPasses = 3;

}  // namespace

void Err(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

uint8_t SettingsLanguage() { return uint8_t(ProgramSettings().LanguageOrDefault()); }

CliSink::CliSink() = default;

StartupEnding RunStartupRead(InstrumentLink& link, CliSink& sink, int timeoutS) {
  // Later transfers open the link again: no other program may take the instrument in
  // between.
  link.HoldBetweenTransfers(true);
  // Done when the loop hands over the refresh. A failed pass makes the loop start again
  // from connect (an unplugged instrument is read again once it is back); after
  // kMaxFailedPasses failures, or at the time-out, the read has not finished. Another
  // program holding the instrument ends it at once.
  StartupEnding ending = StartupEnding::Read;
  QEventLoop events;
  QTimer deadline;
  deadline.setSingleShot(true);
  auto end = [&](StartupEnding why) {
    ending = why;
    events.quit();
  };
  QObject::connect(&deadline, &QTimer::timeout, &events, [&] { end(StartupEnding::TimedOut); });
  sink.onRefresh = [&] { end(StartupEnding::Read); };
  sink.onFailure = [&] {
    if (link.Failures() >= kMaxFailedPasses) end(StartupEnding::Failed);
  };
  sink.onStatus = [&] {
    if (link.Access() == LinkAccess::InUse) end(StartupEnding::InUse);
  };
  deadline.start(timeoutS * 1000);
  link.Start();
  events.exec();
  sink.onRefresh = nullptr;
  sink.onFailure = nullptr;
  sink.onStatus = nullptr;
  return ending;
}

int Unfinished(const InstrumentLink& link, const QString& command, const QString& fallback,
               const QString& consequence) {
  const LinkFailure failure = link.LastFailure();
  const QString why =
      failure.fault == LinkFault::None ? fallback : LinkFailureText(failure, LanguageIndex.load());
  Err(QStringLiteral("zarn26-cli %1: the read did not finish: %2; %3").arg(command, why, consequence));
  return kExitUnfinished;
}

int StartupFailure(StartupEnding ending, const InstrumentLink& link, int timeoutS,
                   const QString& command, const QString& consequence) {
  if (ending == StartupEnding::InUse) {
    Err(QStringLiteral("zarn26-cli %1: ").arg(command) + txtStatusInUse());
    return kExitInUse;
  }
  if (ending == StartupEnding::Failed || link.Failures() > 0)
    return Unfinished(link, command, QString(), consequence);
  const LinkStates state = link.State();
  const bool answered = link.Kind() == TransportKinds::Pipe || link.DataReadComplete() ||
                        (state != LinkStates::Connect && state != LinkStates::ChooseTransport);
  if (answered) {
    Err(QStringLiteral("zarn26-cli %1: the read did not finish within %2 s; %3")
            .arg(command)
            .arg(timeoutS)
            .arg(consequence));
    return kExitUnfinished;
  }
  Err(QStringLiteral("zarn26-cli %1: no instrument answered within %2 s").arg(command).arg(timeoutS));
  return kExitNoInstrument;
}

}  // namespace zarn::cli
