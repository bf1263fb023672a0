// Everyday use of the main window: the chart's tick rule, table 2's scroll bar, menu
// mnemonics and shortcuts, Tab order, the status bar's elided texts and held errors,
// Qt's own Russian texts, the title, recent files, dropped files and radio marks.

#include <QActionGroup>
#include <QCategoryAxis>
#include <QClipboard>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGraphicsTextItem>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollBar>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "data/datafile.h"
#include "shell/chart1.h"
#include "data/chartticks.h"
#include "shell/controls.h"
#include "shell/layout.h"
#include "shell/mnemonics.h"
#include "shell/qttranslations.h"
#include "shell/recentfiles.h"
#include "shell/stringgrid.h"
#include "window_util.h"

using namespace Qt::StringLiterals;

namespace zarn::wintest {
namespace {

// ---- Pure rules.

bool IsNice(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double m = step / power;
  for (double nice : {1.0, 2.0, 2.5, 5.0})
    if (std::abs(m - nice) < 1e-6) return true;
  return false;
}

// The next nice step: 1 -> 2 -> 2.5 -> 5 -> 10.
double Coarser(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double m = std::round(step / power * 10) / 10;
  return (m == 1 ? 2 : m == 2 ? 2.5 : m == 2.5 ? 5 : 10) * power;
}

TEST(TickRule, EveryAxisGetsThreeNiceTicksAndLabelsKeepApartWhenThereIsRoom) {
  const double ranges[][2] = {{-1, 1},      {-0.001, 0.001}, {0, 1},        {-1250, 1250}, {0, 3},
                              {-32768, 32767}, {0.5, 0.7},   {0, 16384.5},  {-7, 7},       {1e-6, 3e-6}};
  for (const auto& r : ranges) {
    for (int pixels = 20; pixels <= 2200; pixels += 13) {
      for (int label : {14, 18, 28}) {
        const double step = TickStep(r[0], r[1], pixels, label);
        SCOPED_TRACE(testing::Message() << r[0] << ".." << r[1] << " in " << pixels << " px, label " << label);
        ASSERT_TRUE(IsNice(step)) << step;
        const std::vector<double> ticks = TickValues(r[0], r[1], step);
        EXPECT_GE(ticks.size(), 3u) << step;
        // Labels closer than `label` only where the next coarser step would leave
        // fewer than three ticks.
        if (step * pixels / (r[1] - r[0]) + 1e-9 < label) {
          EXPECT_LT(TickValues(r[0], r[1], Coarser(step)).size(), 3u) << step;
        }
      }
    }
  }
  // The time axis never ticks finer than its minimum; a useless range gives 1.
  EXPECT_EQ(TickStep(0, 0.2, 2000, 40, 2, 0.1), 0.1);
  EXPECT_EQ(TickStep(0, 0, 100, 10), 1.0);
  EXPECT_EQ(TickStep(1, NAN, 100, 10), 1.0);
  EXPECT_EQ(TickValues(-1, 1, 0.5), (std::vector<double>{-1, -0.5, 0, 0.5, 1}));
  EXPECT_TRUE(TickValues(0, 1e9, 1e-3).empty());  // never a million ticks
}

TEST(TickRule, DecimalsWriteEveryMultipleExactly) {
  const std::pair<double, int> cases[] = {{1, 0}, {5, 0}, {250, 0}, {2.5, 1}, {0.5, 1},
                                          {0.25, 2}, {0.02, 2}, {0.0025, 4}, {1e-5, 5}};
  for (const auto& [step, decimals] : cases) EXPECT_EQ(TickDecimals(step), decimals) << step;
}

TEST(Mnemonics, OneFreeLetterPerCaptionWordStartsFirst) {
  const QStringList marked =
      WithMnemonics({u"Открыть..."_s, u"Сохранить как..."_s, u"Печать отчета"_s, u"Выход"_s, u"Отчет"_s,
                     u"A & B"_s, u"..."_s});
  EXPECT_EQ(marked, (QStringList{u"&Открыть..."_s, u"&Сохранить как..."_s, u"&Печать отчета"_s,
                                 u"&Выход"_s, u"О&тчет"_s, u"&A && B"_s, u"..."_s}));
  EXPECT_EQ(WithoutMnemonic(u"&A && B"_s), u"A & B");
  EXPECT_EQ(MnemonicOf(u"&A && B"_s), u'A');
  EXPECT_EQ(MnemonicOf(u"A && B"_s), QChar());
  // Case does not tell letters apart: "a" is taken by "A".
  EXPECT_EQ(WithMnemonics({u"Alpha"_s, u"apple"_s}), (QStringList{u"&Alpha"_s, u"a&pple"_s}));
}

TEST(RecentFilesList, NewestFirstEachOnceAtMostEight) {
  RecentFiles recent;
  for (int i = 1; i <= 10; ++i) recent.Add(u"/d/%1.zarn"_s.arg(i));
  recent.Add(u"/d/5.zarn"_s);
  recent.Add(QString());
  EXPECT_EQ(recent.Files(), (QStringList{u"/d/5.zarn"_s, u"/d/10.zarn"_s, u"/d/9.zarn"_s, u"/d/8.zarn"_s,
                                         u"/d/7.zarn"_s, u"/d/6.zarn"_s, u"/d/4.zarn"_s, u"/d/3.zarn"_s}));
  recent.Remove(u"/d/10.zarn"_s);
  EXPECT_EQ(recent.Files().size(), 7);
  // Loading skips empty and repeated entries and reads no more than eight keys.
  RecentFiles loaded;
  loaded.Load([](const QString& key) {
    const QString n = key.mid(4);
    return n == u"2" ? QString() : n == u"3" ? u"/x/1"_s : u"/x/"_s + n;
  });
  EXPECT_EQ(loaded.Files(), (QStringList{u"/x/1"_s, u"/x/4"_s, u"/x/5"_s, u"/x/6"_s, u"/x/7"_s, u"/x/8"_s}));
}

TEST(DropRuleTest, OneLocalFileIsTakenOnlyDataFilesOpen) {
  QTemporaryDir dir;
  const QString folder = dir.path();
  struct Case {
    QList<QUrl> urls;
    bool accept, open;
  } cases[] = {
      {{QUrl::fromLocalFile(folder + u"/a.zarn"_s)}, true, true},
      {{QUrl::fromLocalFile(folder + u"/A.ZARN"_s)}, true, true},
      {{QUrl::fromLocalFile(folder + u"/a.mtzarn"_s)}, true, false},
      {{QUrl::fromLocalFile(folder + u"/notes.txt"_s)}, true, false},
      {{QUrl::fromLocalFile(folder)}, false, false},  // a folder
      {{QUrl(u"https://example.org/a.zarn"_s)}, false, false},
      {{QUrl::fromLocalFile(u"/a.zarn"_s), QUrl::fromLocalFile(u"/b.zarn"_s)}, false, false},
      {{}, false, false},
  };
  for (const Case& c : cases) {
    const DropDecision d = DropRule(c.urls);
    EXPECT_EQ(d.accept, c.accept) << c.urls.value(0).toString().toStdString();
    EXPECT_EQ(d.open, c.open) << c.urls.value(0).toString().toStdString();
  }
}

TEST(LayoutArithmetic, Table2CountsItsScrollBarOnlyWhenTheColumnsOverflow) {
  // 7 rows of 18 plus their lines and a 2-pixel frame: 137; the columns fill 596 of 600.
  EXPECT_EQ(ImpactsTableHeight(7, 18, 2, 600, 596, 17).height, 137);
  EXPECT_FALSE(ImpactsTableHeight(7, 18, 2, 600, 596, 17).scrollBar);
  EXPECT_EQ(ImpactsTableHeight(7, 18, 2, 600, 597, 17).height, 137 + 17);
  EXPECT_TRUE(ImpactsTableHeight(7, 18, 2, 600, 597, 17).scrollBar);
}

// ---- The window.

class EverydayTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteSettings("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=800\r\nHeight=600\r\n");
  }
  QString MakeDataFile(const QString& name, int processes) {
    auto images = std::make_unique<DeviceImages>();
    sim::GenerateSample(*images, processes, 3);
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(WriteDataFile(path, *images));
    return path;
  }
  // The texts the chart draws left of its plot area: the labels of the left axis that
  // are on the screen (the chart hides a label it finds no room for).
  static QStringList DrawnLeftLabels(TChart* chart) {
    QStringList drawn;
    const QRectF plot = chart->chart()->plotArea();
    for (QGraphicsItem* item : chart->scene()->items()) {
      auto* text = dynamic_cast<QGraphicsTextItem*>(item);
      if (!text || !text->isVisible() || text->toPlainText().isEmpty()) continue;
      const QRectF r = text->sceneBoundingRect();
      if (r.right() <= plot.left() + 1 && r.center().y() >= plot.top() - 1 &&
          r.center().y() <= plot.bottom() + 1)
        drawn << text->toPlainText();
    }
    return drawn;
  }
  static QStringList AxisLabels(TChart* chart, Qt::Orientation orientation) {
    const auto axes = chart->chart()->axes(orientation);
    auto* axis = axes.isEmpty() ? nullptr : qobject_cast<QCategoryAxis*>(axes.front());
    return axis ? axis->categoriesLabels() : QStringList();
  }
};

TEST_F(EverydayTest, EveryMenuHasUniqueMnemonicsInBothLanguages) {
  TForm1& form = MakeForm();
  form.OpenCommandLine({MakeDataFile(u"one.zarn"_s, 3)});
  for (auto* language : {form.ALangEng, form.ALangRus}) {
    language->trigger();
    QList<QMenu*> menus{nullptr};
    menus += form.findChildren<QMenu*>();
    for (QMenu* menu : menus) {
      // The pop-up menus hold the commands themselves, underlined in the Edit menu.
      if (menu && menu->parent() == &form && menu->title().isEmpty()) continue;
      const QList<QAction*> actions = menu ? menu->actions() : form.MainMenu1->actions();
      QSet<QChar> seen;
      for (QAction* a : actions) {
        if (a->isSeparator() || !a->isVisible()) continue;
        const QString caption = a->text().section(u'\t', 0, 0);
        const QChar key = MnemonicOf(caption).toLower();
        SCOPED_TRACE((menu ? menu->objectName() : u"MainMenu1"_s).toStdString() + " " + caption.toStdString());
        EXPECT_FALSE(key.isNull());
        EXPECT_FALSE(seen.contains(key));
        seen.insert(key);
      }
    }
  }
  // The captions themselves are the ones without the marks.
  EXPECT_EQ(form.AOpen->text(), u"Открыть...");
  EXPECT_EQ(form.itmFile->title(), u"&Файл");
}

// The desktop's key for Quit; a platform without one (the offscreen one) gets Ctrl+Q.
QKeySequence QuitKeys() {
  const QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Quit);
  return keys.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : keys.front();
}

TEST_F(EverydayTest, ShortcutsReachTheirActions) {
  TForm1& form = MakeForm();
  const std::pair<QAction*, QKeySequence> map[] = {{form.AOpen, QKeySequence::Open},
                                                   {form.ASave, QKeySequence::Save},
                                                   {form.AExit, QuitKeys()},
                                                   {form.AGaugeRead, QKeySequence(Qt::Key_F5)}};
  for (const auto& [action, keys] : map) {
    EXPECT_EQ(action->shortcut(), keys) << action->objectName().toStdString();
  }
  // The menu item shows the key after a tab.
  EXPECT_TRUE(form.itmFile->actions()[0]->text().endsWith(u'\t' + QKeySequence(QKeySequence::Open).toString()));
  QStringList keys;
  for (QShortcut* s : form.findChildren<QShortcut*>()) keys << s->key().toString();
  EXPECT_TRUE(keys.contains(u"F1"_s));
  EXPECT_TRUE(keys.contains(u"Esc"_s));
}

TEST_F(EverydayTest, TabCyclesTheTablesAndTheChartEscapeLeavesAZoomCtrlCCopiesTheChart) {
  LoadSample(5);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  form.show();
  // Tab goes round table 1, table 2 and the chart; Shift+Tab the other way.
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.StringGrid1->setFocus();
  const QList<QWidget*> order{form.StringGrid2, form.Chart1, form.StringGrid1, form.StringGrid2};
  // The one with the focus shows the focus frame, the others none.
  auto framed = [](const QWidget* w) {
    const auto* frame = w->findChild<TFocusFrame*>();
    return frame && frame->Shown() && frame->geometry() == w->rect();
  };
  for (QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next) << QApplication::focusWidget()->metaObject()->className();
    for (QWidget* w : {static_cast<QWidget*>(form.StringGrid1), static_cast<QWidget*>(form.StringGrid2),
                       static_cast<QWidget*>(form.Chart1)})
      EXPECT_EQ(framed(w), w == next) << w->objectName().toStdString();
  }
  for (QWidget* next : QList<QWidget*>{form.StringGrid1, form.Chart1, form.StringGrid2}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), next) << QApplication::focusWidget()->metaObject()->className();
  }
  EXPECT_FALSE(form.StringGrid1->tabKeyNavigation());

  form.Chart1->setZoomAnimated(false);
  form.Chart1->ZoomTo(QRect(60, 40, 80, 60));
  ASSERT_TRUE(form.Chart1->IsZoomed());
  QShortcut* escape = form.findChild<QShortcut*>(u"LeaveZoomKey"_s);
  ASSERT_NE(escape, nullptr);
  emit escape->activated();
  EXPECT_FALSE(form.Chart1->IsZoomed());

  // Ctrl+C, and the desktop's other copy key, copy the chart.
  for (Qt::Key key : {Qt::Key_C, Qt::Key_Insert}) {
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(form.Chart1, key, Qt::ControlModifier);
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull()) << key;
  }
}

TEST_F(EverydayTest, LongStatusTextsEndInAnEllipsisAndShowWholeAsTooltip) {
  TForm1& form = MakeForm();
  form.show();
  const QString longText = u"LibUsb: Доступ запрещен (не установлено правило udev 70-zarn26.rules)"_s;
  form.StatusText(0, u"ZARN-2.6"_s);
  EXPECT_EQ(form.StatusBar1->ShownText(0), u"ZARN-2.6");
  EXPECT_EQ(form.StatusBar1->PanelToolTip(0), QString());
  form.StatusText(1, longText);
  const QString shown = form.StatusBar1->ShownText(1);
  EXPECT_TRUE(shown.endsWith(u'…')) << shown.toStdString();
  EXPECT_TRUE(longText.startsWith(shown.chopped(1)));
  EXPECT_EQ(form.StatusBar1->PanelToolTip(1), longText);
  const QRect panel1 = form.StatusBar1->PanelRect(1);
  EXPECT_EQ(form.StatusBar1->PanelAt(panel1.center()), 1);
  EXPECT_LE(form.StatusBar1->fontMetrics().horizontalAdvance(shown), panel1.width());
}

TEST_F(EverydayTest, ALinkErrorStaysItsTimeThenTheLastTextFollows) {
  TForm1& form = MakeForm();
  form.show();
  QTimer* hold = form.findChild<QTimer*>(u"StatusHold"_s);
  ASSERT_NE(hold, nullptr);
  form.ProgressBegin();
  form.TransferFailed(LinkFailure{});
  EXPECT_FALSE(form.ProgressBar1->isVisible());  // the panel is the error's
  form.StatusText(1, u"Ошибка связи: нет ответа"_s);
  form.StatusText(1, u"Попытка соединения..."_s);
  form.ProgressBegin();
  form.StatusText(1, u"Чтение версии"_s);
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Ошибка связи: нет ответа");
  EXPECT_FALSE(form.ProgressBar1->isVisible());
  // Held by a timer of at least 3 s (the loop goes on meanwhile); when it runs out
  // the last text and the progress bar come.
  EXPECT_TRUE(hold->isActive());
  EXPECT_GE(hold->interval(), 3000);
  QMetaObject::invokeMethod(hold, "timeout");
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Чтение версии");
  EXPECT_TRUE(form.ProgressBar1->isVisible());
  // Without an error nothing waits; opening a file ends a hold at once.
  form.StatusText(1, u"Ошибка связи"_s);
  form.OpenCommandLine({MakeDataFile(u"x.zarn"_s, 2)});
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Данные считаны (2)");
}

TEST_F(EverydayTest, Table2ShowsItsStrengthRowAtEveryWidth) {
  LoadSample(5);
  TForm1& form = MakeForm();
  form.ShowCurrentImages();
  form.show();
  int withBar = 0;
  for (int width = 500; width <= 1920; width += 71) {
    form.resize(width, 600);
    QCoreApplication::processEvents();
    for (int extra : {0, 400}) {
      // A blow column widened by hand pushes the others out of sight.
      form.StringGrid2->SetColWidths(1, form.StringGrid2->ColWidths(1) + extra);
      const QRect last = form.StringGrid2->visualRect(form.StringGrid2->model()->index(form.StringGrid2->RowCount() - 1, 0));
      const QRect view = form.StringGrid2->viewport()->geometry();
      const bool bar = form.StringGrid2->horizontalScrollBar()->isVisibleTo(&form);
      withBar += bar;
      SCOPED_TRACE(testing::Message() << width << " +" << extra);
      EXPECT_LE(last.bottom() + view.top(), view.bottom() + 1);
      EXPECT_EQ(bar, form.StringGrid2->horizontalHeader()->length() > form.StringGrid2->viewport()->width());
      EXPECT_EQ(form.StringGridKoef->y(), form.StringGrid2->geometry().bottom() + 1);
      EXPECT_EQ(form.Chart1->y(), form.StringGridKoef->geometry().bottom() + 1 + 4);
    }
  }
  EXPECT_GT(withBar, 0);
}

TEST_F(EverydayTest, TheChartHasThreeLabelsUpItsAxisAndRoomForEveryLabel) {
  LoadSample(5);
  WriteSettings("[Config]\r\nLangId=Eng\r\n[FormMain]\r\nWidth=500\r\nHeight=400\r\n");
  TForm1& form = MakeForm();
  form.show();
  form.ShowCurrentImages();
  for (QSize size : {QSize(500, 400), QSize(1280, 800), QSize(1920, 1080)}) {
    form.resize(size);
    // A range whose lowest tick is the first category boundary inside the axis.
    form.Chart1->LeftAxis()->setRange(-3.1, 3.1);
    QTest::qWait(20);  // the ticks follow the plot area once the chart is laid out
    SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
    const QStringList up = AxisLabels(form.Chart1, Qt::Vertical);
    const QStringList across = AxisLabels(form.Chart1, Qt::Horizontal);
    EXPECT_GE(up.size(), 3);
    EXPECT_GE(across.size(), 2);
    EXPECT_GE(DrawnLeftLabels(form.Chart1).size(), 3) << DrawnLeftLabels(form.Chart1).join(u' ').toStdString();
    // The left axis has room for its widest label.
    const QFontMetrics metrics(form.Chart1->LeftAxis()->labelsFont());
    int widest = 0;
    for (const QString& label : up) widest = std::max(widest, metrics.horizontalAdvance(label));
    EXPECT_GE(form.Chart1->chart()->plotArea().left(), widest);
  }
}

TEST_F(EverydayTest, TitleRecentFilesAndDrops) {
  TForm1& form = MakeForm();
  EXPECT_EQ(form.windowTitle(), u"Zarn-2.5/2.6");
  QStringList paths;
  for (int i = 1; i <= 9; ++i) paths << MakeDataFile(u"f%1.zarn"_s.arg(i), 1);
  for (const QString& p : paths) form.OpenCommandLine({p});
  EXPECT_EQ(form.windowTitle(), u"f9.zarn — Zarn-2.5/2.6");
  // The submenu and the settings file: the last eight, newest first, numbered.
  const QList<QAction*> items = form.itmRecent->actions();
  ASSERT_EQ(items.size(), 8);
  EXPECT_EQ(items[0]->text(), u"&1 "_s + paths[8]);
  EXPECT_EQ(Setting("RecentFiles", "File1"), paths[8]);
  EXPECT_EQ(Setting("RecentFiles", "File8"), paths[1]);

  // A file gone since: taken off the list, with a message.
  QFile::remove(paths[4]);
  ExpectReturn(QMessageBox::Ok);
  items[4]->trigger();  // f5.zarn
  QCoreApplication::processEvents();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_TRUE(shown_[0].text.contains(QFileInfo(paths[4]).fileName())) << shown_[0].text.toStdString();
  EXPECT_EQ(form.itmRecent->actions().size(), 7);
  EXPECT_EQ(Setting("RecentFiles", "File8"), QString());

  // Chosen: a file there opens (and its item, replaced by the refilled menu, goes).
  form.itmRecent->actions()[3]->trigger();  // f6.zarn
  QCoreApplication::processEvents();
  EXPECT_EQ(form.windowTitle(), u"f6.zarn — Zarn-2.5/2.6");

  // A settings file written by another start is read back.
  TForm1& again = MakeForm();
  EXPECT_EQ(again.Recent().Files().size(), 7);

  // Dropped: a data file opens, another file is refused with Open's message.
  again.DropFiles({QUrl::fromLocalFile(paths[2])});
  EXPECT_EQ(again.windowTitle(), u"f3.zarn — Zarn-2.5/2.6");
  const QString text = dir_.filePath(u"notes.txt"_s);
  ExpectReturn(QMessageBox::Ok);
  again.DropFiles({QUrl::fromLocalFile(text)});
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[1].text, u"Файл не читается или испорчен: notes.txt");
  EXPECT_EQ(again.windowTitle(), u"f3.zarn — Zarn-2.5/2.6");

  // Data read from the instrument: its name in the title.
  again.StatusText(0, u"ZARN-2.6 v1.5"_s);
  again.RefreshWithChartHidden(CompletedRead{nullptr, u"ZARN-2.6 v1.5"_s});
  EXPECT_EQ(again.windowTitle(), u"ZARN-2.6 v1.5 — Zarn-2.5/2.6");

  // A name outside code page 1251 comes back from the settings file as it was.
  const QString odd = MakeDataFile(u"данные✓.zarn"_s, 1);
  again.OpenCommandLine({odd});
  EXPECT_EQ(MakeForm().Recent().Files().value(0), odd);
}

TEST_F(EverydayTest, LanguageAndUnitItemsAreRadioChoices) {
  TForm1& form = MakeForm();
  const std::pair<QMenu*, QList<QAction*>> menus[] = {{form.itmLanguage, {form.ALangRus, form.ALangEng}},
                                                       {form.itmUnit, {form.AMPa, form.Akgm}}};
  for (const auto& [menu, commands] : menus) {
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text().remove(u'&'), commands[0]->text());  // in the order made
    EXPECT_EQ(items[1]->text().remove(u'&'), commands[1]->text());
    QActionGroup* group = items[0]->actionGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(items[1]->actionGroup(), group);
    EXPECT_TRUE(group->isExclusive());
    EXPECT_EQ(items[0]->isChecked() + items[1]->isChecked(), 1);
  }
  form.Akgm->trigger();
  EXPECT_TRUE(form.itmUnit->actions()[1]->isChecked());
  EXPECT_FALSE(form.itmUnit->actions()[0]->isChecked());
}

TEST_F(EverydayTest, TheRussianInterfaceLoadsQtsRussianTexts) {
  if (!QFileInfo::exists(QtTranslationsFolder() + u"/qtbase_ru.qm"_s))
    GTEST_SKIP() << "Qt's Russian catalogue is not installed (qt6-translations-l10n)";
  TForm1& form = MakeForm();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Отмена");
  form.ALangEng->trigger();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancel");
  form.ALangRus->trigger();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Отмена");
  form.ALangEng->trigger();  // the next test starts without it
}

}  // namespace
}  // namespace zarn::wintest
