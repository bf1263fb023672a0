#pragma once
// The zarn26 program's body, shared by the installed program (main.cpp) and the
// test-only build of it that adds a window probe: the application, the command-line
// file, the main window and its event loop.

#include <functional>

namespace zarn {

class TForm1;

// Runs the program. `decorate`, when given, is called with the main window before it
// is shown (the installed program gives none).
int RunProgram(int argc, char* argv[], const std::function<void(TForm1&)>& decorate = {});

}  // namespace zarn
