// The main window's commands that open other windows: the materials and objects
// editors, the printed report, help and the About box. Each of those windows lives in
// files of its own; until it is there, its command shows in the menu and does nothing.

#include "formmain.h"

namespace zarn {

void TForm1::AMaterialEditExecute() {}
void TForm1::AObjectEditExecute() {}
void TForm1::APrintExecute() {}
void TForm1::AMainHelpExecute() {}
void TForm1::AChmHelpExecute() {}
void TForm1::AAboutExecute() {}

}  // namespace zarn
