#include "commands.h"

namespace zarn::cli {

int RunExport(const QStringList&) { return kExitUsage; }

}  // namespace zarn::cli
