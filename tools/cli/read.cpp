#include "commands.h"

namespace zarn::cli {

int RunRead(const QStringList&) { return kExitUsage; }

}  // namespace zarn::cli
