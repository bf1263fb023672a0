#pragma once
// The subcommands of zarn26-cli. Each gets the arguments after its name and returns
// the process exit code: 0 done, 2 usage, 3 file not readable or damaged, 4 no such
// process, 5 no instrument, 6 the read did not finish, 7 the instrument is in use by
// another program.

#include <QStringList>

namespace zarn::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBadFile = 3;
inline constexpr int kExitNoProcess = 4;
inline constexpr int kExitNoInstrument = 5;
inline constexpr int kExitUnfinished = 6;
inline constexpr int kExitInUse = 7;

int RunExport(const QStringList& args);  // export.cpp
int RunRead(const QStringList& args);    // read.cpp

}  // namespace zarn::cli
