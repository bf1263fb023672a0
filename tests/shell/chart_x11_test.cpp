// The copies on a real X11 clipboard (run under Xvfb): keys and menu commands in the
// window, read back by another program with xclip, as a paste into a spreadsheet would.
// With CHART_SHOTS set to a folder, also saves pictures of the chart there.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <memory>

#include "chart_cli.h"
#include "chart_testdata.h"
#include "common/texts.h"
#include "shell/chart1.h"
#include "shell/formmain.h"
#include "shell/stringgrid.h"
#include "window_util.h"

namespace zarn {
namespace {

// Runs xclip with `args` and returns what it printed, serving this program's events
// meanwhile: the clipboard's owner must answer xclip's request.
QByteArray Xclip(const QStringList& args) {
  QProcess xclip;
  xclip.start(QStringLiteral("xclip"), args);
  EXPECT_TRUE(xclip.waitForStarted(5000));
  QElapsedTimer clock;
  clock.start();
  while (xclip.state() != QProcess::NotRunning && clock.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    xclip.waitForFinished(10);
  }
  EXPECT_EQ(xclip.state(), QProcess::NotRunning) << "xclip did not finish";
  EXPECT_EQ(xclip.exitCode(), 0) << xclip.readAllStandardError().toStdString();
  return xclip.readAllStandardOutput();
}

QString PastedText() {
  return QString::fromUtf8(Xclip({QStringLiteral("-o"), QStringLiteral("-selection"),
                                  QStringLiteral("clipboard")}));
}

class X11CopyTest : public wintest::WindowTest {
 protected:
  void SetUp() override {
    wintest::ResetGlobals();
    ASSERT_TRUE(dir_.isValid());
    settingsPath_ = dir_.filePath(QStringLiteral("Zarn26.ini"));
    screen_ = QGuiApplication::primaryScreen()->availableGeometry();
  }

  TForm1& Open(int language, StrengthUnit unit) {
    language_ = language;
    unit_ = unit;
    WriteSettings(QByteArray("[Config]\r\nLangId=") + (language == kRussian ? "Rus" : "Eng") +
                  "\r\nDimension=" + (unit == StrengthUnit::MPa ? "MPa" : "kg/sm2") + "\r\n");
    TForm1& form = MakeForm();
    form.resize(1000, 720);
    form.show();
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    return form;
  }

  QString Cli(const char* what) {
    return test::CliExport(dir_.filePath(QStringLiteral("x11.zarn")), Images, language_, unit_, what);
  }

  // Ctrl+C as the keyboard gives it: to the window, which hands it to the focused grid.
  void CtrlC(TForm1& form, QWidget* grid) {
    grid->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    if (QApplication::focusWidget() == grid)
      QTest::keyClick(form.windowHandle(), Qt::Key_C, Qt::ControlModifier);
    else
      QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);  // no window manager focus
  }

  int language_ = kRussian;
  StrengthUnit unit_ = StrengthUnit::MPa;
};

TEST_F(X11CopyTest, KeysAndEditMenuPutTheTextsOnTheX11Clipboard) {
  for (const int language : {int(kRussian), int(kEnglish)}) {
    SCOPED_TRACE(language);
    TForm1& form = Open(language, language == kRussian ? StrengthUnit::MPa : StrengthUnit::Kgf);
    wintest::LoadSample(4, 5);
    form.ShowCurrentImages();
    const QString series = Cli("series");

    // Ctrl+C in table 1 copies the selected (current) row.
    form.StringGrid1->SetRow(3);
    form.StringGrid1Click();
    CtrlC(form, form.StringGrid1);
    const QStringList lines = series.split(QStringLiteral("\r\n"));
    EXPECT_EQ(PastedText(), lines[3] + QStringLiteral("\r\n"));

    // Ctrl+C in table 2 copies table 2 of the shown process (process 1).
    CtrlC(form, form.StringGrid2);
    EXPECT_EQ(PastedText(), Cli("impacts 1"));

    // The Edit menu's items.
    auto item = [&form](const char* name) {
      QAction* a = form.itmEdit->findChild<QAction*>(QString::fromLatin1(name));
      EXPECT_NE(a, nullptr) << name;
      return a;
    };
    item("itmCopyAll1")->trigger();
    EXPECT_EQ(PastedText(), series);
    item("itmCopySelect")->trigger();
    EXPECT_EQ(PastedText(), lines[3] + QStringLiteral("\r\n"));
    item("itmCopyAll2")->trigger();
    EXPECT_EQ(PastedText(), Cli("impacts 1"));
    item("itmCopyGrData")->trigger();
    EXPECT_EQ(PastedText(), Cli("chart 1"));

    // Offered as Unicode text.
    const QByteArray targets = Xclip({QStringLiteral("-o"), QStringLiteral("-selection"),
                                      QStringLiteral("clipboard"), QStringLiteral("-t"),
                                      QStringLiteral("TARGETS")});
    EXPECT_TRUE(targets.contains("UTF8_STRING")) << targets.toStdString();
    EXPECT_TRUE(targets.contains("text/plain;charset=utf-8")) << targets.toStdString();
    EXPECT_EQ(QString::fromUtf8(Xclip({QStringLiteral("-o"), QStringLiteral("-selection"),
                                       QStringLiteral("clipboard"), QStringLiteral("-t"),
                                       QStringLiteral("text/plain;charset=utf-8")})),
              Cli("chart 1"));

    // The chart as a picture of its size.
    item("itmCopyChart")->trigger();
    const QByteArray png = Xclip({QStringLiteral("-o"), QStringLiteral("-selection"),
                                  QStringLiteral("clipboard"), QStringLiteral("-t"),
                                  QStringLiteral("image/png")});
    const QImage picture = QImage::fromData(png, "PNG");
    ASSERT_FALSE(picture.isNull()) << png.size() << " bytes";
    EXPECT_EQ(picture.size(), form.Chart1->size() * form.Chart1->devicePixelRatio());
    EXPECT_EQ(picture.pixelColor(2, 2), QColor(Qt::white));
    form_.reset();
  }
}

// Pictures of the chart for the documentation: all blows, one blow, zoomed, trimmed.
TEST_F(X11CopyTest, Screenshots) {
  const QString folder = qEnvironmentVariable("CHART_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "CHART_SHOTS not set";
  QDir().mkpath(folder);
  TForm1& form = Open(kRussian, StrengthUnit::MPa);
  form.Chart1->setZoomAnimated(false);
  wintest::LoadSample(12, 2024);
  form.ShowCurrentImages();
  int row = 2;  // the process with the most blows, gray ones among them if possible
  int best = -1;
  for (int i = 0; i < int(ProcessCount.load()); ++i) {
    ProcessRecordBuffer r{};
    CopyProcess(Images, ProcessCount.load(), uint32_t(i), r.data());
    const ProcessView v(r.data());
    int score = v.shownBlowCount() * 2;
    for (int b = 0; b < v.shownBlowCount(); ++b) score += v.blowMasked(b) ? 3 : 0;
    if (score > best) best = score, row = i + 2;
  }
  form.StringGrid1->SetRow(row);
  form.StringGrid1Click();
  QTest::qWait(100);
  form.grab().save(folder + QStringLiteral("/chart-window.png"));
  form.Chart1->ToImage().save(folder + QStringLiteral("/chart-all.png"));

  const QRectF plot = form.Chart1->chart()->plotArea();
  form.Chart1->ZoomTo(QRect(plot.topLeft().toPoint() + QPoint(int(plot.width() * 0.05), int(plot.height() * 0.1)),
                            plot.center().toPoint() + QPoint(0, int(plot.height() * 0.15))));
  QTest::qWait(100);
  form.Chart1->ToImage().save(folder + QStringLiteral("/chart-zoomed.png"));
  form.Chart1->Chart1Click();

  form.Chart1->Chart1DblClick();
  QTest::qWait(100);
  form.Chart1->ToImage().save(folder + QStringLiteral("/chart-trimmed.png"));

  form.StringGrid2->SetCol(3);
  form.StringGrid2Click();
  QTest::qWait(100);
  form.Chart1->ToImage().save(folder + QStringLiteral("/chart-one.png"));
}

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
  // A real X server: xvfb-run gives one.
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
