// The main window's clipboard copies, driven as a user does (menus' actions, Ctrl+C in
// the grids, clicks on the chart), compared byte for byte with zarn26-cli export of the
// same data, in both languages and both units.

#include <QClipboard>
#include <QLineSeries>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>

#include "chart_cli.h"
#include "chart_testdata.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "data/presenters.h"
#include "shell/chart1.h"
#include "shell/stringgrid.h"
#include "window_util.h"

namespace zarn {
namespace {

using wintest::WindowTest;

QClipboard* Clipboard() { return QGuiApplication::clipboard(); }

struct Choice {
  int language;
  StrengthUnit unit;
};

class CopyTest : public WindowTest {
 protected:
  // As the window tests set up, with the application made by main.
  void SetUp() override {
    wintest::ResetGlobals();
    ASSERT_TRUE(dir_.isValid());
    settingsPath_ = dir_.filePath(QStringLiteral("Zarn26.ini"));
  }

  // A window with the language and unit chosen and the images filled.
  TForm1& Open(Choice s) {
    setting_ = s;
    WriteSettings(QByteArray("[Config]\r\nLangId=") + (s.language == kRussian ? "Rus" : "Eng") +
                  "\r\nDimension=" + (s.unit == StrengthUnit::MPa ? "MPa" : "kg/sm2") + "\r\n");
    // Within the offscreen screen, so that menus open where they are asked to.
    screen_ = QRect(0, 0, 800, 600);
    TForm1& form = MakeForm();
    form.resize(760, 560);
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Chart1->setZoomAnimated(false);
    return form;
  }
  void Fill(TForm1& form, int processes, uint64_t seed = 11) {
    wintest::LoadSample(processes, seed);
    form.ShowCurrentImages();
  }
  void Fill(TForm1& form, const std::vector<ProcessRecordBuffer>& records) {
    test::PlaceProcesses(Images, records);
    CountProcesses();
    form.ShowCurrentImages();
  }

  // zarn26-cli export WHAT of the images as they are now, in the window's language and
  // unit.
  QString Cli(const char* what) {
    return test::CliExport(dir_.filePath(QStringLiteral("copy.zarn")), Images, setting_.language,
                           setting_.unit, what);
  }

  void ClickRow(TForm1& form, int row) {
    form.StringGrid1->SetRow(row);
    form.StringGrid1Click();
  }
  // A mouse click on a cell of table 2 below its heading row (the label column too),
  // on whatever part of the grid lies over it.
  void ClickColumn(TForm1& form, int col) {
    TStringGrid* grid = form.StringGrid2;
    const QModelIndex index = grid->model()->index(1, col);
    grid->scrollTo(index);
    const QPoint inGrid = grid->viewport()->mapTo(grid, grid->visualRect(index).center());
    QWidget* target = grid->childAt(inGrid);
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(grid, inGrid));
    ASSERT_EQ(grid->Col(), col);
  }
  static void CtrlC(QWidget* grid, int key = Qt::Key_C) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier, QStringLiteral("\x03"));
    QApplication::sendEvent(grid, &press);
  }
  static QString Copied() { return Clipboard()->text(); }
  static void Mark() { Clipboard()->setText(QStringLiteral("sentinel")); }

  Choice setting_{kRussian, StrengthUnit::MPa};
};

QStringList Lines(const QString& text) {
  EXPECT_TRUE(text.endsWith(u"\r\n"));
  QStringList lines = text.split(QStringLiteral("\r\n"));
  lines.removeLast();  // after the final CRLF
  for (const QString& line : lines) EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r'));
  return lines;
}

const Choice kSettings[] = {{kRussian, StrengthUnit::MPa},
                             {kRussian, StrengthUnit::Kgf},
                             {kEnglish, StrengthUnit::MPa},
                             {kEnglish, StrengthUnit::Kgf}};

TEST_F(CopyTest, EveryCopyEqualsTheCliExportInBothLanguagesAndUnits) {
  for (const Choice s : kSettings) {
    SCOPED_TRACE(testing::Message() << "language " << s.language << " unit " << int(s.unit));
    TForm1& form = Open(s);
    Fill(form, 6, 21);

    form.ACopyTable1->trigger();
    EXPECT_EQ(Copied(), Cli("series"));

    ClickRow(form, 4);  // process 2
    form.ACopyTable2->trigger();
    EXPECT_EQ(Copied(), Cli("impacts 2"));
    form.ACopyGraphData->trigger();
    EXPECT_EQ(Copied(), Cli("chart 2"));

    // One blow alone, then the label column brings all blows back.
    const int blows = ProcessView(ProcessRecord.data()).shownBlowCount();
    ASSERT_GE(blows, 2);
    ClickColumn(form, 2);
    form.ACopyGraphData->trigger();
    EXPECT_EQ(Copied(), Cli("chart 2 --blow 2"));
    ClickColumn(form, 0);
    form.ACopyGraphData->trigger();
    EXPECT_EQ(Copied(), Cli("chart 2"));

    // A zoom changes what is seen, not what the series hold.
    form.Chart1->ZoomTo(QRect(QPoint(60, 30), QPoint(200, 120)));
    ASSERT_TRUE(form.Chart1->chart()->isZoomed());
    form.ACopyGraphData->trigger();
    EXPECT_EQ(Copied(), Cli("chart 2"));
    form_.reset();
  }
}

TEST_F(CopyTest, TableShapesFollowTheGrids) {
  TForm1& form = Open({kRussian, StrengthUnit::MPa});
  std::vector<ProcessRecordBuffer> records;
  for (int i = 0; i < 3; ++i) records.push_back(test::Encode(test::DistinctBlows(5)));
  Fill(form, records);
  form.ACopyTable1->trigger();
  QStringList lines = Lines(Copied());
  ASSERT_EQ(lines.size(), 5);  // two heading rows and three processes
  for (const QString& line : lines) EXPECT_EQ(line.count(u'\t'), 8) << line.toStdString();
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("№\tДата\tВремя\tПрочность\tМатериал\tОбъект\t")));
  const QStringList whole = lines;

  // The selected rows 3 and 4 of table 1.
  form.StringGrid1->SetSelection(GridRect{0, 3, 8, 4});
  form.ACopyBlockTable1->trigger();
  EXPECT_EQ(Lines(Copied()), whole.mid(3, 2));

  // Table 2 of a process of 5 blows: 9 lines of 6 fields, the date and time first.
  form.ACopyTable2->trigger();
  lines = Lines(Copied());
  ASSERT_EQ(lines.size(), 9);
  for (const QString& line : lines) EXPECT_EQ(line.count(u'\t'), 5);
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("07.03.2012, 14:05:09\t1-й удар\t")));
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Направление\t")));
}

TEST_F(CopyTest, ChartDataHasItsHeadingsAndOneLinePerPoint) {
  TForm1& form = Open({kRussian, StrengthUnit::MPa});
  Fill(form, {test::Encode(test::DistinctBlows(5))});
  form.ACopyGraphData->trigger();
  QStringList lines = Lines(Copied());
  ASSERT_EQ(lines.size(), 6 + 512);
  EXPECT_EQ(lines[0], QStringLiteral("№\tДата\tВремя\tПрочность\tМатериал\tОбъект"));
  EXPECT_EQ(lines[1], QStringLiteral("13\t07.03.12\t14:05:09\t25\tБетон\tМост"));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Коэффициенты материала: a2=")));
  EXPECT_TRUE(lines[3].isEmpty());
  EXPECT_EQ(lines[4], QStringLiteral("1-й удар\t\t2-й удар\t\t3-й удар\t\t4-й удар\t\t5-й удар"));
  EXPECT_EQ(lines[5], QStringLiteral("t1\tU1\tt2\tU2\tt3\tU3\tt4\tU4\tt5\tU5"));
  for (int j = 6; j < lines.size(); ++j) ASSERT_EQ(lines[j].count(u'\t'), 9) << j;
  EXPECT_EQ(lines[6], QStringLiteral("0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00\t0,00"));

  // Blow 2 alone: one pair of columns, under its title and an empty line.
  ClickColumn(form, 2);
  form.ACopyGraphData->trigger();
  lines = Lines(Copied());
  ASSERT_EQ(lines.size(), 7 + 512);
  EXPECT_EQ(lines[4], QStringLiteral("2-й удар"));
  EXPECT_TRUE(lines[5].isEmpty());
  EXPECT_EQ(lines[6], QStringLiteral("t1\tU1"));
  EXPECT_EQ(lines[7].count(u'\t'), 1);
}

TEST_F(CopyTest, TrimmedChartDataRunsOverTheFirstSeriesWithEmptyFieldsBeyondShorterOnes) {
  TForm1& form = Open({kEnglish, StrengthUnit::MPa});
  test::TestProcess p = test::DistinctBlows(3);
  test::NegativeSwing(p.blows[0], 40, 60);  // Series1 keeps 60 points
  test::NegativeSwing(p.blows[1], 40, 42);  // Series2 keeps 45 points
  test::Positive(p.blows[2]);               // Series3 keeps all 512
  Fill(form, {test::Encode(p)});

  // A double-click on the chart, as the mouse gives it.
  const QPoint at = form.Chart1->chart()->plotArea().center().toPoint();
  QTest::mouseDClick(form.Chart1->viewport(), Qt::LeftButton, {}, at);
  ASSERT_EQ(form.Chart1->Series(1)->count(), 60);

  // The same cut, made here from the curves.
  const ProcessView view(ProcessRecord.data());
  std::vector<std::vector<ChartPoint>> cut;
  for (const BlowCurve& c : ChartCurves(view, 0)) {
    std::vector<ChartPoint> points = c.points;
    points.resize(size_t(FindWaveCut(points)));
    cut.push_back(points);
  }
  SeriesRow heading = SeriesTableHeading(0, kEnglish, StrengthUnit::MPa);
  SeriesRow row;
  FillSeriesRow(view, StrengthUnit::MPa, row);
  const QString expected = ChartDataText(heading, row, CoefficientRow(view, kEnglish),
                                         ChartTitle(0, kEnglish), cut, kEnglish);
  form.ACopyGraphData->trigger();
  EXPECT_EQ(Copied(), expected);

  const QStringList lines = Lines(Copied());
  ASSERT_EQ(lines.size(), 6 + 60);
  EXPECT_EQ(lines[4], QStringLiteral("1-st impact\t\t2-st impact\t\t3-st impact"));
  // Point 50: Series2 has ended there, its two fields are empty.
  const QStringList fields = lines[6 + 50].split(u'\t');
  ASSERT_EQ(fields.size(), 6);
  EXPECT_FALSE(fields[0].isEmpty());
  EXPECT_TRUE(fields[2].isEmpty());
  EXPECT_TRUE(fields[3].isEmpty());
  EXPECT_FALSE(fields[4].isEmpty());
}

TEST_F(CopyTest, WithoutProcessesTablesCopyTheirHeadingsAndChartDataNothing) {
  TForm1& form = Open({kEnglish, StrengthUnit::Kgf});
  Mark();
  form.ACopyGraphData->trigger();
  EXPECT_EQ(Copied(), u"sentinel");

  form.ACopyTable1->trigger();
  const QStringList lines = Lines(Copied());
  ASSERT_EQ(lines.size(), 3);  // the two heading rows and the one empty row shown
  EXPECT_EQ(Copied(), Cli("series"));  // the CLI shows the empty row too
  EXPECT_EQ(lines[1], QStringLiteral("\td:m:y\th:m:s\tkgs/sm2\t\t\t%\t%\t"));
  EXPECT_EQ(lines[2], QString(8, u'\t'));

  form.ACopyTable2->trigger();
  EXPECT_EQ(Lines(Copied()).size(), 9);
}

TEST_F(CopyTest, CtrlCInTheGridsCopiesSelectionOrTable) {
  TForm1& form = Open({kRussian, StrengthUnit::MPa});
  Fill(form, 5, 3);
  form.ACopyTable1->trigger();
  const QStringList whole = Lines(Copied());
  form.ACopyTable2->trigger();
  const QString table2 = Copied();

  // Whole rows are selected: Ctrl+C copies them.
  ClickRow(form, 3);
  Mark();
  CtrlC(form.StringGrid1);
  EXPECT_EQ(Lines(Copied()), whole.mid(3, 1));
  form.StringGrid1->SetSelection(GridRect{0, 2, 8, 5});
  CtrlC(form.StringGrid1);
  EXPECT_EQ(Lines(Copied()), whole.mid(2, 4));
  // On a Cyrillic layout the same key gives the letter Es.
  form.StringGrid1->SetSelection(GridRect{0, 4, 8, 4});
  CtrlC(form.StringGrid1, 0x0421);
  EXPECT_EQ(Lines(Copied()), whole.mid(4, 1));
  // A single cell selected: the whole table.
  form.StringGrid1->SetSelection(GridRect{3, 4, 3, 4});
  CtrlC(form.StringGrid1);
  EXPECT_EQ(Lines(Copied()), whole);
  // C without Ctrl copies nothing.
  Mark();
  QTest::keyClick(form.StringGrid1, Qt::Key_C);
  EXPECT_EQ(Copied(), u"sentinel");

  // Table 2: always the whole table, whatever is selected.
  ClickRow(form, 3);
  form.ACopyTable2->trigger();
  const QString shown = Copied();
  EXPECT_NE(shown, table2);  // another process
  Mark();
  form.StringGrid2->SetSelection(GridRect{2, 3, 2, 3});
  CtrlC(form.StringGrid2);
  EXPECT_EQ(Copied(), shown);
}

TEST_F(CopyTest, ChartPictureAndThePopupOfTheChart) {
  TForm1& form = Open({kRussian, StrengthUnit::MPa});
  Fill(form, 3);
  form.ACopyGraph->trigger();
  const QImage image = Clipboard()->image();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.deviceIndependentSize().toSize(), form.Chart1->size());
  EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));

  // A right click that does not move opens the chart's menu with its two copies, and
  // the press point is the window's LastMouseDown.
  QWidget* surface = form.Chart1->viewport();
  const QPoint at(10, 10);
  QTest::mousePress(surface, Qt::RightButton, {}, at);
  EXPECT_EQ(form.LastMouseDown, at);
  QTest::mouseRelease(surface, Qt::RightButton, {}, at);
  ASSERT_TRUE(form.PopupMenuChart->isVisible());
  EXPECT_EQ(form.PopupMenuChart->pos(), surface->mapToGlobal(at) + QPoint(3, 3));
  const QList<QAction*> items = form.PopupMenuChart->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0], form.ACopyGraph);
  EXPECT_EQ(items[1], form.ACopyGraphData);
  form.PopupMenuChart->hide();

  QTest::mousePress(surface, Qt::RightButton, {}, at);
  QTest::mouseRelease(surface, Qt::RightButton, {}, at + QPoint(0, 5));
  EXPECT_FALSE(form.PopupMenuChart->isVisible());
}

}  // namespace
}  // namespace zarn
