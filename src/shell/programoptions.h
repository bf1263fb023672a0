#pragma once
// The zarn26 program's options: what its command line asks for before any window.

#include <QString>
#include <QStringList>

namespace zarn {

// What the command line asks for. --help (-h) and --version print and end the program
// before any window or settings file is touched; "--" ends the options; every other
// argument belongs to the data file's name (an unquoted path with blanks arrives in
// pieces).
struct CommandLineRequest {
  enum class Kind { Run, Help, Version } kind = Kind::Run;
  QStringList fileArguments;  // Run: the pieces of the data file's name, if any
};
CommandLineRequest ParseProgramArguments(const QStringList& arguments);
QString ProgramUsageText();
QString ProgramVersionText();

}  // namespace zarn
