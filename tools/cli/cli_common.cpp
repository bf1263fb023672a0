#include "cli_common.h"

#include <algorithm>
#include <csignal>
#include <cstring>

#include <unistd.h>

#include "commands.h"
#include "common/programsettings.h"
#include "common/texts.h"

namespace zarn::cli {
namespace {

char busMessage[1024];
size_t busMessageLength = 0;

void OnBusError(int) {
  if (busMessageLength > 0) {
    [[maybe_unused]] const auto n = ::write(2, busMessage, busMessageLength);
  }
  ::_exit(kExitBadFile);
}

}  // namespace

void ApplySettings(std::optional<int>& language, std::optional<StrengthUnit>& unit) {
  if (language && unit) return;
  const ProgramSettings settings;
  if (!language) language = settings.LanguageOrDefault();
  if (!unit) unit = settings.Unit();
}

void CatchBusErrors(const QByteArray& message) {
  busMessageLength = size_t(std::min<qsizetype>(message.size(), sizeof busMessage));
  std::memcpy(busMessage, message.constData(), busMessageLength);
  struct sigaction action {};
  action.sa_handler = OnBusError;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, nullptr);
}

}  // namespace zarn::cli
