// The main window's clipboard copies and the grids' copy keys. The texts are made by
// the same functions zarn26-cli export calls, from what the grids and the chart show:
// TAB between cells, CRLF after every row, offered as Unicode text.

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <memory>
#include <array>
#include <vector>

#include "chart1.h"
#include "common/texts.h"
#include "data/presenters.h"
#include "formmain.h"
#include "stringgrid.h"

namespace zarn {

namespace {

// Unicode text, under the plain-text name and under the one that names its charset
// (which some programs ask for first).
void PutText(const QString& text) {
  auto mime = std::make_unique<QMimeData>();
  mime->setText(text);
  mime->setData(QStringLiteral("text/plain;charset=utf-8"), text.toUtf8());
  QGuiApplication::clipboard()->setMimeData(mime.release());  // the clipboard owns it
}

// The whole grid, fixed rows and columns included.
QString WholeGridText(const TStringGrid* grid) {
  return TableText(grid->Range(GridRect{0, 0, grid->ColCount() - 1, grid->RowCount() - 1}));
}

// Columns 0..5 of one row of table 1 (the chart-data copy's first two lines).
std::array<QString, 6> SeriesCells(const TStringGrid* grid, int row) {
  std::array<QString, 6> cells;
  for (int c = 0; c < 6; ++c) cells[size_t(c)] = grid->Cells(c, row);
  return cells;
}

// Ctrl+C, also on a Cyrillic keyboard layout, where the same key gives the letter Es
// (Qt reports letters beyond Latin by their upper-case code point).
constexpr int kKeyCyrillicEs = 0x0421;
// The desktop's other copy keys (Ctrl+Insert, the Copy key) count too.
bool IsCopyKey(int key, Qt::KeyboardModifiers shift) {
  if ((key == Qt::Key_C || key == kKeyCyrillicEs) && shift.testFlag(Qt::ControlModifier)) return true;
  const QKeySequence pressed(QKeyCombination(shift & ~Qt::KeypadModifier, Qt::Key(key)));
  return QKeySequence::keyBindings(QKeySequence::Copy).contains(pressed);
}

}  // namespace

void TForm1::ACopyTable1Execute() { PutText(WholeGridText(StringGrid1)); }

void TForm1::ACopyBlockTable1Execute() {
  GridRect range = StringGrid1->Selection();
  if (range.IsNone()) {
    // Nothing selected: the current row, as the grid highlights it.
    const int row = StringGrid1->Row();
    if (row < 0) return;
    range = GridRect{0, row, StringGrid1->ColCount() - 1, row};
  }
  PutText(TableText(StringGrid1->Range(range)));
}

void TForm1::ACopyTable2Execute() { PutText(WholeGridText(StringGrid2)); }

void TForm1::ACopyGraphExecute() { QGuiApplication::clipboard()->setImage(Chart1->ToImage()); }

void TForm1::ACopyGraphDataExecute() {
  // What the chart holds now, after any zoom or trimming.
  const std::vector<std::vector<ChartPoint>> series = Chart1->SeriesPoints();
  if (series.empty() || series.front().empty()) return;  // the clipboard keeps its content
  const std::array<QString, 6> heading = SeriesCells(StringGrid1, 0);
  const std::array<QString, 6> row = SeriesCells(StringGrid1, StringGrid1->Row());
  std::array<QString, 5> coefficients;
  for (int c = 0; c < 5; ++c) coefficients[size_t(c)] = StringGridKoef->Cells(c, 0);
  PutText(ChartDataText(heading, row, coefficients, Chart1->TitleLines(), series,
                        LanguageIndex.load()));
}

void TForm1::StringGrid1KeyDown(int key, Qt::KeyboardModifiers shift) {
  if (!IsCopyKey(key, shift)) return;
  const GridRect s = StringGrid1->Selection();
  if (s.top == s.bottom && s.left == s.right)
    ACopyTable1Execute();
  else
    ACopyBlockTable1Execute();
}

void TForm1::StringGrid2KeyDown(int key, Qt::KeyboardModifiers shift) {
  if (IsCopyKey(key, shift)) ACopyTable2Execute();
}

void TForm1::Chart1KeyDown(int key, Qt::KeyboardModifiers shift) {
  if (IsCopyKey(key, shift)) ACopyGraphExecute();
}

}  // namespace zarn
