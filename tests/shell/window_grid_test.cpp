// The string grid: cells and shape, fixed rows and columns that stay while the rest
// scrolls, the current cell and selection, column sizing and the copy key.

#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "shell/stringgrid.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    grid_.resize(300, 200);
    grid_.SetColCount(4);
    grid_.SetRowCount(100);
    grid_.SetFixedRows(2);
    grid_.SetFixedCols(1);
    for (int r = 0; r < 100; ++r)
      for (int c = 0; c < 4; ++c) grid_.SetCells(c, r, QStringLiteral("%1:%2").arg(c).arg(r));
    for (int c = 0; c < 4; ++c) grid_.SetColWidths(c, 120);  // wider than the grid
    grid_.show();
    QCoreApplication::processEvents();
  }
  // What is drawn at a point of the grid: the view on top there, and its cell.
  QString CellAt(QPoint inGrid) {
    QWidget* w = grid_.childAt(inGrid);
    auto* view = w ? qobject_cast<QTableView*>(w->parentWidget()) : nullptr;
    if (!view) return {};
    const QModelIndex index = view->indexAt(w->mapFrom(&grid_, inGrid));
    return index.data().toString();
  }
  QApplication& app_ = App();  // before the grid
  TStringGrid grid_;
};

TEST_F(GridTest, CellsAndShapeChangesKeepWhatStays) {
  EXPECT_EQ(grid_.Cells(2, 7), u"2:7");
  EXPECT_EQ(grid_.Cells(9, 7), QString());  // outside: empty, no crash
  grid_.SetCells(-1, 0, u"x"_qs);
  grid_.SetColWidths(2, 33);
  EXPECT_EQ(grid_.ColWidths(2), 33);
  grid_.SetColCount(6);
  EXPECT_EQ(grid_.Cells(3, 99), u"3:99");
  EXPECT_EQ(grid_.Cells(5, 99), QString());
  EXPECT_EQ(grid_.ColWidths(2), 33);
  grid_.SetColCount(3);
  grid_.SetRowCount(10);
  EXPECT_EQ(grid_.Cells(2, 9), u"2:9");
  EXPECT_EQ(grid_.Cells(3, 9), QString());
  EXPECT_EQ(grid_.ColWidths(2), 33);

  const std::array<QString, 5> row{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs};
  grid_.SetRowCells(4, 1, row);  // cut at the last column
  EXPECT_EQ(grid_.Cells(1, 4), u"a");
  EXPECT_EQ(grid_.Cells(2, 4), u"b");
  EXPECT_EQ(grid_.Range({1, 4, 2, 5}), (QList<QStringList>{{u"a"_qs, u"b"_qs}, {u"1:5"_qs, u"2:5"_qs}}));
}

TEST_F(GridTest, FixedRowsAndColumnsStayWhileTheCellsScroll) {
  const int rowHeight = grid_.DefaultRowHeight() + 1;
  const QPoint origin = grid_.viewport()->geometry().topLeft();
  auto at = [&](int x, int row) { return origin + QPoint(x, row * rowHeight + rowHeight / 2); };

  grid_.verticalScrollBar()->setValue(40);
  grid_.horizontalScrollBar()->setValue(grid_.horizontalScrollBar()->maximum());
  QCoreApplication::processEvents();
  EXPECT_EQ(CellAt(at(5, 0)), u"0:0");  // the corner
  EXPECT_EQ(CellAt(at(5, 1)), u"0:1");
  EXPECT_EQ(CellAt(at(5, 2)), u"0:42");  // the fixed column follows the rows
  EXPECT_EQ(grid_.TopRow(), 42);
  // The fixed rows follow the columns sideways but never scroll down.
  const QString top = CellAt(at(grid_.viewport()->width() - 3, 0));
  EXPECT_EQ(top, u"3:0");

  // Moving the cursor up brings its row out from under the fixed rows.
  grid_.SetRow(45);
  grid_.SetCol(2);
  for (int i = 0; i < 5; ++i) QTest::keyClick(&grid_, Qt::Key_Up);
  EXPECT_EQ(grid_.Row(), 40);
  EXPECT_EQ(grid_.TopRow(), 40);
  // and to the left from under the fixed column.
  QTest::keyClick(&grid_, Qt::Key_Left);
  QTest::keyClick(&grid_, Qt::Key_Left);
  EXPECT_EQ(grid_.Col(), 1);
  EXPECT_GE(grid_.columnViewportPosition(1), grid_.ColWidths(0) + 1);
}

TEST_F(GridTest, SelectionRectangleAndItsCancel) {
  grid_.SetRow(5);
  grid_.SetCol(2);
  EXPECT_EQ(grid_.Selection(), (GridRect{2, 5, 2, 5}));
  grid_.SetSelection({});
  EXPECT_TRUE(grid_.Selection().IsNone());
  EXPECT_EQ(grid_.Row(), 5);
  grid_.SetRowSelect(true);
  grid_.SetRow(7);
  EXPECT_EQ(grid_.Selection(), (GridRect{1, 7, 3, 7}));
  // Rows are clamped to the cells below the fixed rows.
  grid_.SetRow(0);
  EXPECT_EQ(grid_.Row(), 2);
  grid_.SetRow(1000);
  EXPECT_EQ(grid_.Row(), 99);
}

TEST_F(GridTest, ColumnsAreResizedByDraggingTheirEdgeInAFixedRow) {
  grid_.SetColSizing(true);
  grid_.SetColWidths(1, 50);
  const QPoint origin = grid_.viewport()->geometry().topLeft();
  const int edge = grid_.columnViewportPosition(1) + grid_.columnWidth(1);
  const QPoint press = origin + QPoint(edge, 5);
  QWidget* fixedRows = grid_.childAt(press);
  ASSERT_NE(fixedRows, nullptr);
  QTest::mousePress(fixedRows, Qt::LeftButton, {}, fixedRows->mapFrom(&grid_, press));
  QTest::mouseMove(fixedRows, fixedRows->mapFrom(&grid_, press + QPoint(30, 0)));
  QTest::mouseRelease(fixedRows, Qt::LeftButton, {}, fixedRows->mapFrom(&grid_, press + QPoint(30, 0)));
  EXPECT_EQ(grid_.ColWidths(1), 80);
}

TEST_F(GridTest, CopyKeyGoesToTheOwnerAndNoFurther) {
  QSignalSpy keys(&grid_, &TStringGrid::KeyDown);
  grid_.SetRow(3);
  grid_.SetCol(1);
  QGuiApplication::clipboard()->setText(u"before"_qs);
  QTest::keyClick(&grid_, Qt::Key_C, Qt::ControlModifier);
  // The Ctrl key comes first, then C with Ctrl held.
  ASSERT_EQ(keys.count(), 2);
  EXPECT_EQ(keys[1][0].toInt(), int(Qt::Key_C));
  EXPECT_TRUE(keys[1][1].value<Qt::KeyboardModifiers>() & Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), u"before");
}

TEST_F(GridTest, BatchedWritesReachTheViewAtTheEnd) {
  QSignalSpy changed(grid_.model(), &QAbstractItemModel::dataChanged);
  grid_.BeginUpdate();
  for (int r = 2; r < 100; ++r) grid_.SetCells(3, r, u"new"_qs);
  EXPECT_EQ(changed.count(), 0);
  grid_.EndUpdate();
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(grid_.Cells(3, 50), u"new");
}

// A text wider than its cell ends in "…" and is shown whole when the pointer rests on
// the cell; one that fits is drawn as it is and has no tooltip. Fixed cells too.
TEST_F(GridTest, ACutTextEndsInAnEllipsisAndShowsWholeAsItsTooltip) {
  const QFontMetrics metrics = grid_.fontMetrics();
  const QString number = u"129"_qs;
  const int numberWidth = metrics.horizontalAdvance(number) + TStringGrid::kTextPadding;
  struct Case {
    int col, row;
    QString text;
    int width;
    bool cut;
  };
  const Case cases[] = {
      {1, 5, number, numberWidth, false},      // just fits
      {1, 5, number, numberWidth - 1, true},   // "129" must not read as "12"
      {2, 6, u"51,3"_qs, 8, true},             // narrower than two digits
      {2, 0, u"Прочность"_qs, 30, true},       // a heading in a fixed row
      {0, 7, u"Длительность отскока, мкс"_qs, 200, false},
      {0, 7, u"Длительность отскока, мкс"_qs, 60, true},  // a label in a fixed column
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString() + " in " + std::to_string(c.width));
    grid_.SetCells(c.col, c.row, c.text);
    grid_.SetColWidths(c.col, c.width);
    const QString shown = grid_.ShownText(c.col, c.row);
    if (!c.cut) {
      EXPECT_EQ(shown, c.text);
      EXPECT_EQ(grid_.CellToolTip(c.col, c.row), QString());
      continue;
    }
    EXPECT_TRUE(shown.endsWith(u'…')) << shown.toStdString();
    EXPECT_TRUE(c.text.startsWith(shown.chopped(1)));
    // Where not even "…" fits, "…" is what the cell shows (cut).
    if (shown != u"…") { EXPECT_LE(metrics.horizontalAdvance(shown), c.width - TStringGrid::kTextPadding); }
    EXPECT_EQ(grid_.CellToolTip(c.col, c.row), c.text);
  }
}

}  // namespace
}  // namespace zarn::wintest
