// zarn26: the companion program of the Zarn-2.5/2.6 strength meter.

#include "app.h"

int main(int argc, char* argv[]) { return zarn::RunProgram(argc, argv); }
