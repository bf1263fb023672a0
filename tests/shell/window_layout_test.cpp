// The layout: the column arithmetic of the three grids, the places of the grids, the
// chart and the status bar's parts, as the window size and the splitter change.

#include <QMenu>
#include <QProgressBar>

#include "shell/chart1.h"
#include "shell/controls.h"
#include "shell/layout.h"
#include "shell/stringgrid.h"
#include "window_util.h"

using namespace Qt::StringLiterals;

namespace zarn::wintest {
namespace {

std::vector<int> Widths(const TStringGrid* grid) {
  std::vector<int> w;
  for (int c = 0; c < grid->ColCount(); ++c) w.push_back(grid->ColWidths(c));
  return w;
}

TEST(LayoutArithmetic, SeriesColumnsFollowTheirWeights) {
  // 102 wide, rows fit: available 92, unit 10.
  EXPECT_EQ(SeriesColumnWidths(102, 400, 3, 18, 9), (std::vector<int>{6, 10, 11, 8, 20, 15, 7, 8, 7}));
  // The rows fill the height exactly: the scroll bar's 16 pixels come off.
  const std::vector<int> narrow = SeriesColumnWidths(118, 3 * 19 + 2, 3, 18, 9);
  EXPECT_EQ(narrow, (std::vector<int>{6, 10, 11, 8, 20, 15, 7, 8, 7}));
  EXPECT_NE(SeriesColumnWidths(118, 3 * 19 + 3, 3, 18, 9), narrow);
  // Widths always add up to the available width (the half pixel start rounds).
  for (int width = 100; width < 1400; width += 37) {
    const std::vector<int> w = SeriesColumnWidths(width, 10000, 3, 18, 9);
    int sum = 0;
    for (int x : w) sum += x;
    EXPECT_NEAR(sum, width - 10, 1) << width;
  }
  // Further columns weigh 0.75.
  EXPECT_EQ(SeriesColumnWidths(102, 400, 3, 18, 10).size(), 10u);
}

TEST(LayoutArithmetic, NarrowestSeriesTableForItsNumberColumn) {
  struct Case {
    int need, gridHeight, rows;
    bool floor;  // the floor's 100 pixels are enough (102 give the number column 6)
  };
  for (const Case& c : {Case{0, 400, 3, true}, Case{6, 400, 3, true}, Case{23, 400, 3, false},
                        Case{23, 100, 40, false}, Case{37, 400, 3, false}}) {
    SCOPED_TRACE(c.need);
    const int width = SeriesTableMinWidth(c.need, 100, c.gridHeight, c.rows, 18, 9);
    if (c.floor) { EXPECT_EQ(width, 100); }
    EXPECT_GE(width, 100);
    EXPECT_GE(SeriesColumnWidths(width, c.gridHeight, c.rows, 18, 9)[0], c.need);
    // One pixel less would not do (unless the floor holds it).
    if (width > 100) {
      EXPECT_LT(SeriesColumnWidths(width - 1, c.gridHeight, c.rows, 18, 9)[0], c.need);
    }
  }
}

TEST(LayoutArithmetic, ImpactAndCoefficientColumns) {
  // 6 columns in 600 pixels: available 600 - 140 - 4 = 456, unit 456 / 5 - 1 = 90.2; the
  // single-precision position reaches 500.79996 and then 591.
  EXPECT_EQ(ImpactColumnWidths(600, 4, 6), (std::vector<int>{140, 90, 90, 90, 90, 91}));
  // One column: nothing to share, and no division by zero.
  EXPECT_EQ(ImpactColumnWidths(600, 4, 1), (std::vector<int>{140}));
  // rest 460: 115, 115, 115, 115 - 8.
  EXPECT_EQ(KoefColumnWidths(600, 140), (std::array<int, 5>{140, 115, 115, 115, 107}));
  // rest 101: 25, 25, 25, 26 - 8.
  EXPECT_EQ(KoefColumnWidths(241, 140), (std::array<int, 5>{140, 25, 25, 25, 18}));
}

TEST(LayoutArithmetic, SettingsIntegersAreStrictDecimals) {
  EXPECT_EQ(ParseSettingsInt(u"42"_s), 42);
  EXPECT_EQ(ParseSettingsInt(u"-7"_s), -7);
  EXPECT_EQ(ParseSettingsInt(u"+7"_s), 7);
  EXPECT_EQ(ParseSettingsInt(u"2147483647"_s), 2147483647);
  EXPECT_EQ(ParseSettingsInt(u"-2147483648"_s), -2147483647 - 1);
  for (const char16_t* bad : {u"", u"-", u"2147483648", u"1.5", u"0x10", u" 5", u"5 ", u"1e3"})
    EXPECT_FALSE(ParseSettingsInt(QString::fromUtf16(bad)).has_value());
}

class LayoutTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteSettings("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=800\r\nHeight=600\r\n");
  }
};

TEST_F(LayoutTest, GridsChartAndStatusBarTakeTheirPlaces) {
  TForm1& form = MakeForm();
  form.show();
  const int cw = form.ClientWidth();
  const int ch = form.ClientHeight();
  EXPECT_EQ(cw, 800);

  EXPECT_EQ(form.StringGrid1->geometry(), QRect(0, 0, 400, ch - 20));
  EXPECT_EQ(form.Splitter1->geometry(), QRect(400, 0, 4, ch - 20));
  const int left2 = 404, width2 = cw - 404;
  EXPECT_EQ(form.StringGrid2->geometry().topLeft(), QPoint(left2, 0));
  EXPECT_EQ(form.StringGrid2->width(), width2);
  EXPECT_EQ(form.StringGridKoef->geometry(),
            QRect(left2, form.StringGrid2->height(), width2, form.StringGridKoef->height()));
  const int chartTop = form.StringGridKoef->geometry().bottom() + 1 + 4;
  EXPECT_EQ(form.Chart1->geometry(), QRect(left2, chartTop, width2, ch - chartTop - 24));

  EXPECT_EQ(Widths(form.StringGrid2), ImpactColumnWidths(width2, 4, form.StringGrid2->ColCount()));
  const std::array<int, 5> koef = KoefColumnWidths(width2, 140);
  EXPECT_EQ(Widths(form.StringGridKoef), std::vector<int>(koef.begin(), koef.end()));

  // Status bar: panel 1 is 140 wide, panel 2 20, panel 0 the rest but 40.
  EXPECT_EQ(form.StatusBar1->height(), 20);
  const int panel0 = form.StatusBar1->width() - 20 - 140 - 20;
  EXPECT_EQ(form.StatusBar1->PanelWidth(0), panel0);
  EXPECT_EQ(form.StatusBar1->PanelWidth(1), 140);
  EXPECT_EQ(form.StatusBar1->PanelWidth(2), 20);
  EXPECT_EQ(form.ProgressBar1->x(), panel0 + 3);
  EXPECT_EQ(form.PanelShapeLink->x(), panel0 + 140 + 6);
  EXPECT_EQ(form.PanelShapeLink->parentWidget(), form.StatusBar1);
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Попытка соединения...");
}

TEST_F(LayoutTest, SeriesTableOf102PixelsGetsTheKnownWidths) {
  TForm1& form = MakeForm();
  form.show();
  form.StringGrid1->resize(102, form.StringGrid1->height());
  form.FormResize();
  EXPECT_EQ(Widths(form.StringGrid1), (std::vector<int>{6, 10, 11, 8, 20, 15, 7, 8, 7}));
  EXPECT_EQ(form.StringGrid1->RowCount(), 3);
  EXPECT_EQ(form.StringGrid1->FixedRows(), 2);
}

TEST_F(LayoutTest, ShrinkingTheWindowNarrowsTheSeriesTable) {
  TForm1& form = MakeForm();
  form.show();
  form.resize(420, 500);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.StringGrid1->width(), form.ClientWidth() - 40);
  // Growing again leaves it as it is.
  form.resize(900, 500);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.StringGrid1->width(), 420 - 40);
  EXPECT_EQ(form.StringGrid2->x(), 420 - 40 + 4);
  EXPECT_EQ(form.StringGrid2->width(), 900 - (420 - 40 + 4));
}

TEST_F(LayoutTest, DraggingTheSplitterLaysOutAgain) {
  TForm1& form = MakeForm();
  form.show();
  emit form.Splitter1->Dragged(300);
  EXPECT_EQ(form.StringGrid1->width(), 300);
  EXPECT_EQ(form.StringGrid2->x(), 304);
  EXPECT_EQ(Widths(form.StringGrid1), SeriesColumnWidths(300, form.StringGrid1->height(), 3, 18, 9));
  // Not below the grid's minimum, not beyond the client width less 40.
  emit form.Splitter1->Dragged(10);
  EXPECT_EQ(form.StringGrid1->width(), 100);
  emit form.Splitter1->Dragged(5000);
  EXPECT_EQ(form.StringGrid1->width(), form.ClientWidth() - 40);
}

// Table 1 is never so narrow that its numbers are cut (a cut "209" reads as "20"):
// maximised from 500 x 400 it grows from its 250 pixels to what its widest number
// needs, and neither the splitter nor a narrower window takes that back.
TEST_F(LayoutTest, TheSeriesTableIsNeverNarrowerThanItsWidestNumberNeeds) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n[FormMain]\r\nWidth=500\r\nHeight=400\r\nTable1Width=250\r\n");
  LoadSample(40, 1);
  TForm1& form = MakeForm();
  form.show();
  EXPECT_EQ(form.StringGrid1->width(), 250);  // no numbers yet
  form.ShowCurrentImages();
  TStringGrid& grid = *form.StringGrid1;
  int need = 0;
  for (int r = 2; r < grid.RowCount(); ++r)
    need = std::max(need, grid.fontMetrics().horizontalAdvance(grid.Cells(0, r)) + TStringGrid::kTextPadding);
  ASSERT_EQ(grid.Cells(0, 2).size(), 3);
  ASSERT_GT(need, SeriesColumnWidths(250, grid.height(), grid.RowCount(), 18, 9)[0]);
  auto numbersWhole = [&] {
    for (int r = 2; r < grid.RowCount(); ++r)
      if (grid.ShownText(0, r) != grid.Cells(0, r)) return false;
    return grid.ColWidths(0) >= need;
  };
  EXPECT_TRUE(numbersWhole());
  EXPECT_EQ(grid.width(), SeriesTableMinWidth(need, 100, grid.height(), grid.RowCount(), 18, 9));
  form.showMaximized();
  QCoreApplication::processEvents();
  EXPECT_TRUE(numbersWhole());
  form.showNormal();
  emit form.Splitter1->Dragged(120);
  EXPECT_TRUE(numbersWhole());
  form.resize(394, 400);
  QCoreApplication::processEvents();
  EXPECT_GT(form.width(), 394);
  EXPECT_TRUE(numbersWhole());
  EXPECT_LE(grid.width(), form.ClientWidth() - 40);
}

TEST_F(LayoutTest, HeadingsAndLabelsFollowLanguageAndUnit) {
  TForm1& form = MakeForm();
  EXPECT_EQ(form.StringGrid1->Cells(0, 0), u"№");
  EXPECT_EQ(form.StringGrid1->Cells(1, 1), u"д.м.г");
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), u"МПа");
  EXPECT_EQ(form.StringGrid1->Cells(6, 0), u"К.вариации");
  EXPECT_EQ(form.StringGrid2->Cells(1, 0), u"1-й удар");
  EXPECT_EQ(form.StringGrid2->Cells(0, 8), u"Прочность, МПа");
  EXPECT_EQ(form.StringGridKoef->Cells(0, 0), u"Коэффициенты материала");

  form.ALangEngExecute();
  EXPECT_EQ(form.StringGrid1->Cells(7, 0), u"Sving");
  EXPECT_EQ(form.StringGrid1->Cells(2, 1), u"h:m:s");
  EXPECT_EQ(form.StringGrid2->Cells(2, 0), u"2-st impact");
  EXPECT_EQ(form.StringGrid2->Cells(0, 3), u"Recoils amplitude, V");
  EXPECT_EQ(form.StringGridKoef->Cells(0, 0), u"Material coefficients");
  EXPECT_EQ(form.itmFile->title(), u"&File");  // F underlined
  EXPECT_EQ(form.AGaugeRead->text(), u"Read from Device");
  EXPECT_EQ(form.windowTitle(), u"Zarn-2.5/2.6");

  form.AkgmExecute();  // no data: the labels change all the same
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), u"kgs/sm2");
  EXPECT_EQ(form.StringGrid2->Cells(0, 8), u"Strength, kgs/sm2");
}

}  // namespace
}  // namespace zarn::wintest
