#pragma once
// A window probe for the whole-program tests, linked only into zarn26-probed. When ZARN26_TEST_PROBE names a folder,
// the window writes what it shows to FOLDER/state.txt (whenever it changed) and runs
// the commands it finds in FOLDER/command (one per line, the file removed once read):
//   click1 ROW       click row ROW of table 1
//   click2 COL       click column COL of table 2
//   grab FILE        save a picture of the window as FILE
//   close            close the window as its close box does
//   read             "Read from Device"
//   unit mpa|kgf     switch the strength unit
//   copy1, copy2, copydata   copy table 1, table 2, the chart data
//   open FILE        open a data file as the command line does
//   editor KIND ...  the materials or objects editor (KIND materials|objects): open,
//                    close, grab FILE, click BUTTON, tab N, type FIELD TEXT
//   action NAME      trigger the window's action of that name (AOpen, APrint, AAbout, ...)
//   answer WHAT      answer the modal dialog: yes|no|cancel|ok, a file name, - (cancel)
// The state also lists the open editors' fields (" [red]" after a marked one), the
// modal dialog on top and the two editors' modified flags.
// When ZARN26_TEST_PAINTED names a file, the window writes it (empty) the first time
// the series table paints, for launch-time measurements.
// Without the variables nothing is installed.

namespace zarn {

class TForm1;
void InstallTestProbe(TForm1& form);

}  // namespace zarn
