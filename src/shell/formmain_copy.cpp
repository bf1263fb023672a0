// The main window's clipboard copies and the grids' copy keys.

#include "formmain.h"

namespace zarn {

void TForm1::ACopyTable1Execute() {}
void TForm1::ACopyBlockTable1Execute() {}
void TForm1::ACopyTable2Execute() {}
void TForm1::ACopyGraphExecute() {}
void TForm1::ACopyGraphDataExecute() {}
void TForm1::StringGrid1KeyDown(int, Qt::KeyboardModifiers) {}
void TForm1::StringGrid2KeyDown(int, Qt::KeyboardModifiers) {}

}  // namespace zarn
