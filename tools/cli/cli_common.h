#pragma once
// What the subcommands of zarn26-cli that read a data file share.

#include <QByteArray>
#include <optional>

#include "common/units.h"

namespace zarn::cli {

// The language and unit of the program's settings where not given (Russian and MPa
// while none were chosen).
void ApplySettings(std::optional<int>& language, std::optional<StrengthUnit>& unit);

// A mapped data file that another program cuts short while it is read raises SIGBUS.
// From this call on the tool then prints `message` and ends as for any damaged file.
void CatchBusErrors(const QByteArray& message);

}  // namespace zarn::cli
