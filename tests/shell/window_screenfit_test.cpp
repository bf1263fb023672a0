// Every window on a screen: the rule over screen sizes, frames and remembered places, and
// the main window, the report preview and an editor on a small screen.

#include "materials/materialseditor.h"
#include "shell/reportpreview.h"
#include "shell/screenfit.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

const QMargins kNoFrame;
const QMargins kFramed(1, 20, 1, 5);  // a window manager's border and title bar

TEST(ScreenFit, WindowsComeOntoTheScreenTheyOpenOn) {
  struct Case {
    const char* what;
    QRect area, client;
    QMargins frame;
    bool resizable;
    QRect want;
  };
  const Case cases[] = {
      {"the preview above an 800-pixel screen", {0, 0, 1280, 800}, {171, -37, 940, 900}, kFramed, true,
       {171, 20, 940, 775}},
      {"the preview on a 1024 x 600 screen", {0, 0, 1024, 600}, {42, -150, 940, 900}, kFramed, true,
       {42, 20, 940, 575}},
      {"the help window where it was put", {0, 0, 1024, 600}, {0, 0, 900, 640}, kFramed, true,
       {1, 20, 900, 575}},
      {"an editor beyond the right and bottom edges", {0, 0, 1024, 600}, {900, 500, 455, 263}, kFramed,
       false, {568, 332, 455, 263}},
      {"a fixed window larger than the screen keeps its corner in it", {0, 0, 1024, 600},
       {-50, -50, 1100, 700}, kNoFrame, false, {0, 0, 1100, 700}},
      {"a second screen to the right", {1280, 0, 1024, 600}, {2200, 100, 500, 400}, kFramed, true,
       {1803, 100, 500, 400}},
      {"a work area below a panel", {0, 32, 1280, 768}, {100, 0, 500, 400}, kFramed, true,
       {100, 52, 500, 400}},
      {"a window in its place stays", {0, 0, 1280, 800}, {391, 220, 500, 400}, kFramed, true,
       {391, 220, 500, 400}},
      {"the whole screen, no frame", {0, 0, 1024, 600}, {0, 0, 1024, 600}, kNoFrame, true,
       {0, 0, 1024, 600}},
      {"a window as tall as the screen gets the frame's room", {0, 0, 1024, 600}, {0, -25, 1024, 600},
       kFramed, true, {1, 20, 1022, 575}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QRect got = FitOnScreen(c.client, c.frame, c.area, c.resizable);
    EXPECT_EQ(got, c.want);
    if (c.resizable) {
      EXPECT_TRUE(c.area.contains(got.marginsAdded(c.frame)));
    }
  }
}

TEST(ScreenFit, APlaceOffEveryScreenGoesToTheNearestOne) {
  const QRect left(0, 0, 1920, 1080), right(1920, 0, 1280, 1024);
  const struct {
    QRect frame;
    QRect want;
  } cases[] = {
      {{1800, 100, 500, 400}, right},  // mostly on the right-hand screen
      {{1600, 100, 500, 400}, left},
      {{5000, 200, 500, 400}, right},  // a screen unplugged since
      {{-3000, -3000, 500, 400}, left},
      {{100, 1500, 500, 400}, left},
  };
  for (const auto& c : cases) EXPECT_EQ(ScreenAreaFor(c.frame, {left, right}), c.want) << c.frame.x();
  EXPECT_EQ(ScreenAreaFor(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));
}

class WindowFitTest : public WindowTest {};

TEST_F(WindowFitTest, TheWindowsFitASmallScreen) {
  screen_ = QRect(0, 0, 1024, 600);
  // As tall as the screen, and 25 pixels higher than its bottom edge allows: still on it.
  WriteSettings("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=900\r\nHeight=600\r\nLeft=40\r\nTop=100\r\n");
  LoadSample(60);
  TForm1& form = MakeForm();
  form.show();
  // (The test platform draws a frame of a few pixels.)
  EXPECT_TRUE(screen_.contains(form.frameGeometry())) << form.frameGeometry().y();
  EXPECT_EQ(form.frameGeometry().height(), 600);

  form.ShowCurrentImages();
  form.APrint->trigger();
  auto* preview = form.findChild<TfrmReportPreview*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(screen_.contains(preview->frameGeometry())) << preview->frameGeometry().y();
  EXPECT_EQ(preview->frameGeometry().height(), 600);

  form.move(900, 500);  // the editor, centred on it, would reach off the screen
  form.AMaterialEditExecute();
  auto* editor = form.findChild<TfrmMaterials*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(screen_.contains(editor->frameGeometry()));
  editor->close();
}

TEST_F(WindowFitTest, TheWindowGoesBackToItsScreenOrTheNearestOne) {
  // A 1280 x 800 screen with a 1920 x 1080 one to its right.
  const QRect first(0, 0, 1280, 800), second(1280, 0, 1920, 1080);
  const struct {
    const char* place;
    QRect screen;
    QPoint corner;  // where the frame's top left corner goes
  } cases[] = {
      {"Left=1500\r\nTop=200\r\n", second, {1500, 200}},  // on the second screen
      {"Left=100\r\nTop=100\r\n", first, {100, 100}},     // on the first
      {"Left=2900\r\nTop=700\r\n", second, {2500, 555}},  // half off the second: clamped there
      {"Left=9000\r\nTop=3000\r\n", second, {2500, 555}}, // on a third screen, gone since
      {"Left=-4000\r\nTop=-4000\r\n", first, {0, 0}},     // left of and above every screen
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    WriteSettings(QByteArray("[Config]\r\nLangId=Eng\r\n[FormMain]\r\nWidth=700\r\nHeight=500\r\n") + c.place);
    FormSeams seams = Seams();
    seams.screenAreas = [&] { return QList<QRect>{first, second}; };
    TForm1& form = MakeForm(std::move(seams));
    form.show();
    EXPECT_TRUE(c.screen.contains(form.frameGeometry()));
    EXPECT_EQ(form.size(), QSize(700, 500));
    // Clamped as the window always was, and then its frame brought onto the screen (the
    // test platform's frame of a few pixels comes in between).
    const QRect frame = form.frameGeometry();
    const QPoint corner(std::min(c.corner.x(), c.screen.right() + 1 - frame.width()),
                        std::min(c.corner.y(), c.screen.bottom() + 1 - frame.height()));
    EXPECT_LE((frame.topLeft() - corner).manhattanLength(), 4) << frame.x() << "," << frame.y();
    form_.reset();
  }
}

}  // namespace
}  // namespace zarn::wintest
