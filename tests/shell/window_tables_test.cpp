// The tables: filling table 1 from the images, showing a process in table 2, the
// coefficient row and the chart, the clicks, and the language and unit switches with
// the selection rules.

#include <QSignalSpy>
#include <QTest>

#include "data/presenters.h"
#include "shell/chart1.h"
#include "shell/stringgrid.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

class TablesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteSettings("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=900\r\nHeight=600\r\n");
  }

  static ProcessRecordBuffer Record(uint32_t i) {
    ProcessRecordBuffer r{};
    CopyProcess(Images, ProcessCount.load(), i, r.data());
    return r;
  }

  static void ExpectSeriesRow(const TForm1& form, uint32_t i, StrengthUnit unit) {
    const ProcessRecordBuffer r = Record(i);
    SeriesRow expected;
    FillSeriesRow(ProcessView(r.data()), unit, expected);
    for (int c = 0; c < kSeriesColumns; ++c)
      EXPECT_EQ(form.StringGrid1->Cells(c, int(i) + 2), expected[size_t(c)]) << "process " << i << " col " << c;
  }

  static void ExpectImpacts(const TForm1& form, uint32_t i, int language, StrengthUnit unit) {
    const ProcessRecordBuffer r = Record(i);
    const ProcessView p(r.data());
    const QList<QStringList> table = ImpactsTable(p, language, unit);
    ASSERT_EQ(form.StringGrid2->ColCount(), table[0].size());
    for (int row = 0; row < table.size(); ++row)
      for (int c = 0; c < table[row].size(); ++c)
        EXPECT_EQ(form.StringGrid2->Cells(c, row), table[row][c]) << "row " << row << " col " << c;
    const std::array<QString, 5> koef = CoefficientRow(p, language);
    for (int c = 0; c < 5; ++c) EXPECT_EQ(form.StringGridKoef->Cells(c, 0), koef[size_t(c)]);
  }
};

TEST_F(TablesTest, FillListsEveryProcessAndShowsTheFirst) {
  LoadSample(40);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  EXPECT_EQ(form.StringGrid1->RowCount(), 42);
  for (uint32_t i = 0; i < 40; ++i) ExpectSeriesRow(form, i, StrengthUnit::MPa);
  EXPECT_EQ(form.StringGrid1->Row(), 2);
  EXPECT_EQ(form.StringGrid1->Selection(), (GridRect{0, 2, 8, 2}));
  ExpectImpacts(form, 0, kRussian, StrengthUnit::MPa);
  EXPECT_TRUE(form.StringGrid2->Selection().IsNone());
  EXPECT_EQ(ProcessRecord, Record(0));
  // The chart shows every blow of process 0.
  const ProcessView p(ProcessRecord.data());
  const auto series = form.Chart1->SeriesPoints();
  int drawn = 0;
  for (const auto& s : series) drawn += s.empty() ? 0 : 1;
  EXPECT_EQ(drawn, p.shownBlowCount());
  // Headings survive the fill.
  EXPECT_EQ(form.StringGrid1->Cells(1, 0), u"Дата");
}

TEST_F(TablesTest, ClickingARowShowsItsProcess) {
  LoadSample(12);
  TForm1& form = MakeForm();
  form.show();
  form.ShowCurrentImages();
  QSignalSpy clicks(form.StringGrid1, &TStringGrid::Click);

  const QRect cell = form.StringGrid1->visualRect(form.StringGrid1->model()->index(4, 1));
  QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(form.StringGrid1->Row(), 4);
  ExpectImpacts(form, 2, kRussian, StrengthUnit::MPa);
  EXPECT_TRUE(form.StringGrid2->Selection().IsNone());

  // Moving the current row with the keyboard acts as a click.
  QTest::keyClick(form.StringGrid1, Qt::Key_Down);
  EXPECT_EQ(form.StringGrid1->Row(), 5);
  ExpectImpacts(form, 3, kRussian, StrengthUnit::MPa);
  // The cursor never enters the heading rows.
  for (int i = 0; i < 6; ++i) QTest::keyClick(form.StringGrid1, Qt::Key_Up);
  EXPECT_EQ(form.StringGrid1->Row(), 2);
  QTest::keyClick(form.StringGrid1, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(form.StringGrid1->Row(), 13);
  ExpectImpacts(form, 11, kRussian, StrengthUnit::MPa);
}

TEST_F(TablesTest, ShiftClickSelectsARangeOfRows) {
  LoadSample(12);
  TForm1& form = MakeForm();
  form.show();
  form.ShowCurrentImages();
  auto center = [&](int row) {
    return form.StringGrid1->visualRect(form.StringGrid1->model()->index(row, 2)).center();
  };
  QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, center(3));
  QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, Qt::ShiftModifier, center(6));
  EXPECT_EQ(form.StringGrid1->Selection(), (GridRect{0, 3, 8, 6}));
  EXPECT_EQ(form.StringGrid1->Row(), 6);
  EXPECT_EQ(form.StringGrid1->Range(form.StringGrid1->Selection()).size(), 4);
}

TEST_F(TablesTest, LanguageSwitchShowsTheSelectedProcessAgain) {
  LoadSample(12);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  form.StringGrid1->SetRow(4);
  form.StringGrid1Click();
  form.ALangEngExecute();
  EXPECT_EQ(form.StringGrid1->Row(), 4);  // the selection stays
  ExpectImpacts(form, 2, kEnglish, StrengthUnit::MPa);
  for (int c = 1; c < form.StringGrid2->ColCount(); ++c) {
    const QString dir = form.StringGrid2->Cells(c, 1);
    EXPECT_TRUE(dir == u"Up" || dir == u"Side" || dir == u"Down") << dir.toStdString();
    EXPECT_EQ(form.StringGrid2->Cells(c, 0), QString::number(c) + u"-st impact"_qs);
  }
  EXPECT_EQ(Setting("Config", "LangId"), u"Eng");
  // The same language again rewrites the same texts and the setting.
  form.ALangEngExecute();
  EXPECT_TRUE(form.ALangEng->isChecked());
  EXPECT_FALSE(form.ALangRus->isChecked());
}

TEST_F(TablesTest, UnitSwitchRefillsAndReturnsToTheFirstProcess) {
  LoadSample(12);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  form.StringGrid1->SetRow(4);
  form.StringGrid1Click();
  form.AkgmExecute();
  EXPECT_TRUE(form.Akgm->isChecked());
  EXPECT_FALSE(form.AMPa->isChecked());
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), u"кгс/см2");
  EXPECT_EQ(form.StringGrid1->Row(), 2);
  for (uint32_t i = 0; i < 12; ++i) ExpectSeriesRow(form, i, StrengthUnit::Kgf);
  ExpectImpacts(form, 0, kRussian, StrengthUnit::Kgf);
  EXPECT_EQ(form.StringGrid2->Cells(0, 8), u"Прочность, кгс/см2");
  EXPECT_EQ(Setting("Config", "Dimension"), u"kg/sm2");

  form.AMPaExecute();
  EXPECT_EQ(Setting("Config", "Dimension"), u"MPa");
  ExpectSeriesRow(form, 5, StrengthUnit::MPa);

  // The headings are set when the unit (or the language) changes, not again on every
  // resize or row click.
  form.StringGrid1->SetCells(1, 0, u"marked"_qs);
  form.resize(form.width() + 40, form.height());
  form.FormResize();
  form.StringGrid1->SetRow(6);
  form.StringGrid1Click();
  EXPECT_EQ(form.StringGrid1->Cells(1, 0), u"marked");
  form.AkgmExecute();
  EXPECT_EQ(form.StringGrid1->Cells(1, 0), u"Дата");
}

TEST_F(TablesTest, ClickingABlowColumnDrawsThatBlowAlone) {
  LoadSample(12);
  TForm1& form = MakeForm();
  form.show();
  form.ShowCurrentImages();
  const ProcessView p(ProcessRecord.data());
  ASSERT_GE(p.shownBlowCount(), 3);
  const QRect cell = form.StringGrid2->visualRect(form.StringGrid2->model()->index(2, 3));
  QTest::mouseClick(form.StringGrid2->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(form.StringGrid2->Col(), 3);
  EXPECT_EQ(form.Chart1->TitleLines(), QStringList{u"3-й удар"_qs});
  const auto series = form.Chart1->SeriesPoints();
  EXPECT_FALSE(series[0].empty());
  EXPECT_TRUE(series[1].empty());
  // Table 2 itself does not change.
  ExpectImpacts(form, 0, kRussian, StrengthUnit::MPa);

  // A click on the label column shows all blows again.
  const QRect label = form.StringGrid2->visualRect(form.StringGrid2->model()->index(2, 0));
  const QPoint inGrid = form.StringGrid2->viewport()->mapTo(form.StringGrid2, label.center());
  QWidget* over = form.StringGrid2->childAt(inGrid);  // the fixed column lies over the cells
  ASSERT_NE(over, nullptr);
  QTest::mouseClick(over, Qt::LeftButton, {}, over->mapFrom(form.StringGrid2, inGrid));
  EXPECT_EQ(form.StringGrid2->Col(), 0);
  int drawn = 0;
  for (const auto& s : form.Chart1->SeriesPoints()) drawn += s.empty() ? 0 : 1;
  EXPECT_EQ(drawn, p.shownBlowCount());
}

TEST_F(TablesTest, ClicksWithoutProcessesDoNothing) {
  TForm1& form = MakeForm();
  const QString label = form.StringGrid2->Cells(0, 1);
  form.StringGrid1Click();
  form.StringGrid2Click();
  form.ShowCurrentImages();
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(form.StringGrid1->RowCount(), 3);
  EXPECT_EQ(form.StringGrid2->Cells(0, 1), label);
}

TEST_F(TablesTest, AReadWithoutProcessesEmptiesTheTables) {
  LoadSample(5);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  ProcessCount.store(0);  // the next read found no processes
  form.ShowCurrentImages();
  form.AkgmExecute();
  EXPECT_EQ(form.StringGrid1->RowCount(), 3);
  for (int c = 0; c < 9; ++c) EXPECT_EQ(form.StringGrid1->Cells(c, 2), QString());
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), u"кгс/см2");
  EXPECT_EQ(form.StringGrid2->ColCount(), 2);
  EXPECT_EQ(form.StringGrid2->Cells(1, 2), QString());
  EXPECT_EQ(form.StringGrid2->Cells(1, 0), u"1-й удар");
  EXPECT_EQ(form.StringGridKoef->Cells(1, 0), QString());
  for (const auto& s : form.Chart1->SeriesPoints()) EXPECT_TRUE(s.empty());
}

TEST_F(TablesTest, ProcessWithoutBlowsKeepsOneEmptyBlowColumn) {
  LoadSample(3);
  // Process 1 claims no blows: its 16-bit blow count sits at byte 6 of the record.
  const DirectoryEntry e = GetDirectoryEntry(Images.ParamBlock.data(), 1);
  uint8_t* record = Images.DataImage.data() + e.page * kDataPageSize + e.offset;
  record[6] = 0;
  record[7] = 0;
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  form.StringGrid1->SetRow(3);
  form.StringGrid1Click();
  EXPECT_EQ(ProcessView(ProcessRecord.data()).blowCount(), 0);
  EXPECT_EQ(form.StringGrid2->ColCount(), 2);
  EXPECT_EQ(form.StringGrid2->Cells(1, 2), QString());
  EXPECT_GT(form.StringGrid2->ColWidths(1), 100);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(TablesTest, ABadProcessIndexShowsTheDataErrorAndStillDraws) {
  LoadSample(3);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  ExpectReturn(QMessageBox::Ok);
  form.ShowProcess(7);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, u"Ошибка данных (таблица 2)");
  EXPECT_EQ(shown_[0].title, u"Zarn-2.5/2.6");
  EXPECT_EQ(shown_[0].buttons, int(QMessageBox::Ok));
  // Table 2 still shows process 0, and so does the chart.
  ExpectImpacts(form, 0, kRussian, StrengthUnit::MPa);
  int drawn = 0;
  for (const auto& s : form.Chart1->SeriesPoints()) drawn += s.empty() ? 0 : 1;
  EXPECT_EQ(drawn, ProcessView(ProcessRecord.data()).shownBlowCount());
}

TEST_F(TablesTest, CoefficientCellsCannotBeSelected) {
  LoadSample(3);
  TForm1& form = MakeForm();
  form.show();
  form.ShowCurrentImages();
  const QRect cell = form.StringGridKoef->visualRect(form.StringGridKoef->model()->index(0, 2));
  QTest::mouseClick(form.StringGridKoef->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_TRUE(form.StringGridKoef->Selection().IsNone());
  EXPECT_FALSE(form.StringGridKoefSelectCell(2, 0));
  form.AStringGridSelectCancelExecute(form.StringGrid1);
  EXPECT_TRUE(form.StringGrid1->Selection().IsNone());
  EXPECT_EQ(form.StringGrid1->Row(), 2);  // the current row stays
}

}  // namespace
}  // namespace zarn::wintest
