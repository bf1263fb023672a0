// zarn26-probed: the program as installed, plus the window probe of the whole-program
// tests (testprobe.h). Built for the tests only; never installed.

#include "shell/app.h"
#include "testprobe.h"

int main(int argc, char* argv[]) {
  return zarn::RunProgram(argc, argv, [](zarn::TForm1& form) { zarn::InstallTestProbe(form); });
}
