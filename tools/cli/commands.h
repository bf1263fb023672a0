#pragma once
// The subcommands of zarn26-cli. Each gets the arguments after its name and returns
// the process exit code: 0 done, 1 the output could not be written, 2 usage, 3 file not
// readable or damaged, 4 no such process (report: no series), 5 no instrument, 6 the read
// (write-materials, write-objects: the write) did not finish, 7 the instrument is in use by another program,
// 8 the archive cannot be used (missing, damaged, newer, unreachable).

#include <QStringList>

namespace zarn::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitWriteFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBadFile = 3;
inline constexpr int kExitNoProcess = 4;
inline constexpr int kExitNoInstrument = 5;
inline constexpr int kExitUnfinished = 6;
inline constexpr int kExitInUse = 7;
inline constexpr int kExitArchive = 8;

int RunExport(const QStringList& args);  // export.cpp
int RunArchive(const QStringList& args);  // archive.cpp
int RunRead(const QStringList& args);    // read.cpp
int RunWriteMaterials(const QStringList& args);  // write.cpp
int RunWriteObjects(const QStringList& args);    // write.cpp
// report.cpp, in the program zarn26-cli-report (it needs Qt's GUI libraries, which
// zarn26-cli itself does without so that it starts quickly); zarn26-cli hands the
// command over to that program.
int RunReport(const QStringList& args);
// Replaces this process with zarn26-cli-report running `report` with the `argc`
// arguments at `argv`; returns only when that program cannot be started.
int HandOverReport(char* argv[], int argc);

}  // namespace zarn::cli
