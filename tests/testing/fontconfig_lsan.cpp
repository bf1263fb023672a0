// Linked into the test programs that draw text in process.
// Leak-checking builds: fontconfig keeps the configuration it loads for the whole life
// of the process and frees it only on an explicit FcFini, which Qt does not call.

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
