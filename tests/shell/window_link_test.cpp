// The window as the exchange loop's sink, and the worker's life: started by the
// window, stopped and waited for when it closes, also in the middle of a stalled
// transfer.

#include <QAction>
#include <QProgressBar>
#include <QTest>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "device/instrumentlink.h"
#include "device/transports.h"
#include "shell/chart1.h"
#include "shell/controls.h"
#include "shell/stringgrid.h"
#include "window_util.h"

namespace zarn::wintest {
namespace {

using LinkTest = WindowTest;

TEST_F(LinkTest, StatusLampAndProgressNotifications) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  TForm1& form = MakeForm();
  form.show();
  form.StatusText(0, u"ZARN-2.6 v1.5"_qs);
  form.StatusText(1, u"Чтение версии"_qs);
  form.StatusText(2, u"ignored"_qs);
  EXPECT_EQ(form.StatusBar1->PanelText(0), u"ZARN-2.6 v1.5");
  EXPECT_EQ(form.StatusBar1->PanelText(1), u"Чтение версии");
  EXPECT_EQ(form.StatusBar1->PanelText(2), QString());

  EXPECT_EQ(form.CurrentLamp(), LampColour::ButtonFace);
  form.LinkLamp(LampColour::Red);
  EXPECT_EQ(form.CurrentLamp(), LampColour::Red);
  EXPECT_EQ(form.ShapeLink->BrushColor(), QColor(255, 0, 0));
  form.LinkLamp(LampColour::Lime);
  EXPECT_EQ(form.ShapeLink->BrushColor(), QColor(0, 255, 0));
  form.LinkLamp(LampColour::Black);
  EXPECT_EQ(form.ShapeLink->BrushColor(), QColor(0, 0, 0));
  form.LinkLamp(LampColour::ButtonFace);
  EXPECT_EQ(form.ShapeLink->BrushColor(), form.palette().color(QPalette::Button));

  form.ProgressBegin();
  EXPECT_EQ(form.ProgressBar1->parentWidget(), form.StatusBar1);
  EXPECT_TRUE(form.ProgressBar1->isVisible());
  EXPECT_EQ(form.ProgressBar1->value(), 0);
  EXPECT_EQ(form.ProgressBar1->x(), form.StatusBar1->PanelWidth(0) + 3);
  form.ProgressRange(8388608);
  form.ProgressStep(4194304);
  EXPECT_EQ(form.ProgressBar1->maximum(), 8388608);
  EXPECT_EQ(form.ProgressBar1->value(), 4194304);
  form.ProgressHide();
  EXPECT_FALSE(form.ProgressBar1->isVisible());
  EXPECT_EQ(form.ProgressBar1->parentWidget(), form.StatusBar1);
  form.ProgressBegin();
  form.ProgressEnd();
  EXPECT_FALSE(form.ProgressBar1->isVisible());
  EXPECT_EQ(form.ProgressBar1->parentWidget(), &form);
}

TEST_F(LinkTest, RefreshAfterAReadFillsTheTablesWithTheChartShownAgain) {
  WriteSettings("[Config]\r\nLangId=Eng\r\nDimension=kg/sm2\r\n");
  TForm1& form = MakeForm();
  form.show();
  LoadSample(30);
  form.RefreshWithChartHidden(ReadOfImages());  // as the loop hands a whole read over
  EXPECT_TRUE(form.Chart1->isVisible());
  EXPECT_EQ(form.StringGrid1->RowCount(), 32);
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), u"kgs/sm2");
  EXPECT_EQ(form.StringGrid1->Row(), 2);
  EXPECT_FALSE(form.StringGrid2->Cells(0, 0).isEmpty());
  // A refresh with no processes empties the tables instead of keeping the old read.
  ProcessCount.store(0);
  form.RefreshWithChartHidden(ReadOfImages());
  EXPECT_EQ(form.StringGrid1->RowCount(), 3);
}

// What a read in progress (or one that failed half-way) writes into the images never
// reaches the tables, the unit switch, the clicks or a save: only a completed read
// replaces what is shown, in one step.
TEST_F(LinkTest, TheWindowShowsItsOwnCopyUntilAReadCompletes) {
  WriteSettings("[Config]\r\nLangId=Eng\r\n");
  TForm1& form = MakeForm();
  LoadSample(30, 1);
  form.RefreshWithChartHidden(ReadOfImages());
  const ImagesView first = form.ShownImages();
  auto table = [&form] {
    QStringList rows;
    for (int r = 0; r < form.StringGrid1->RowCount(); ++r) rows << form.StringGrid1->Cells(1, r) + form.StringGrid1->Cells(3, r);
    return rows;
  };
  const QStringList before = table();
  LoadSample(7, 99);  // a re-read that filled the directory and stopped half-way
  form.AkgmExecute();
  form.AMPaExecute();
  form.StringGrid1->SetRow(5);
  form.StringGrid1Click();
  EXPECT_EQ(table(), before);
  EXPECT_EQ(form.ShownImages(), first);
  EXPECT_EQ(form.ShownProcessCount(), 30u);
  form.RefreshWithChartHidden(ReadOfImages());
  EXPECT_EQ(form.StringGrid1->RowCount(), 9);
  EXPECT_EQ(first->processCount, 30u);  // the old copy is intact for whoever holds it
}

TEST_F(LinkTest, ReadFromDeviceOnlyWhileTheLoopIdles) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n");
  TForm1& form = MakeForm();
  InstrumentLink& link = *form.Link();
  form.AGaugeRead->trigger();  // the loop has not begun
  EXPECT_EQ(link.State(), LinkStates::ChooseTransport);
  link.FileOpened();  // the loop idles
  form.AGaugeRead->trigger();
  EXPECT_EQ(link.State(), LinkStates::Connect);
  EXPECT_FALSE(link.DataReadComplete());
}

// ---- The worker with stand-in transports.

class NoLibusb : public UsbLink {
 public:
  int Load() override { return 1; }
  int TransportOpen(LinkSink&) override { return 1; }
  void TransportClose() override {}
  int TransportWrite(const uint8_t*, int) override { return -1; }
  int TransportRead(uint8_t*, int) override { return -1; }
};

// An instrument on the pipe that answers the version command and then stalls: every
// later read waits `stallMs` and fails, as a vanished device does.
class StallingPipe : public PipeLink {
 public:
  explicit StallingPipe(bool present, int stallMs = 1500) : present_(present), stallMs_(stallMs) {}

  uint32_t Enumerate(QByteArray& list) override {
    if (!present_) return 0;
    list = "/fake/zarn\n";
    return 1;
  }
  int Open(QByteArrayView) override { return 0; }
  int TransportClose() override { return 0; }
  uint16_t TransportWrite(const uint8_t* bytes, uint32_t count) override {
    std::lock_guard lock(mutex_);
    if (count == 2 && bytes[0] == 0x01) {
      const QByteArray text = "FAKE ZARN-2.6";
      const uint32_t n = uint32_t(text.size());
      for (int i = 0; i < 4; ++i) reply_.push_back(uint8_t(n >> (8 * i)));
      for (char c : text) reply_.push_back(uint8_t(c));
    }
    return kPipeOk;
  }
  uint16_t TransportRead(uint8_t* buffer, uint32_t count) override {
    {
      std::lock_guard lock(mutex_);
      if (reply_.size() >= count) {
        for (uint32_t i = 0; i < count; ++i) {
          buffer[i] = reply_.front();
          reply_.pop_front();
        }
        return kPipeOk;
      }
    }
    ++stalls_;
    stalled_ = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(stallMs_));
    stalled_ = false;
    ++stallsEnded_;
    return kPipeIoFailure;
  }

  std::atomic<bool> stalled_{false};
  std::atomic<int> stalls_{0};
  std::atomic<int> stallsEnded_{0};

 private:
  bool present_;
  int stallMs_;
  std::mutex mutex_;
  std::deque<uint8_t> reply_;
};

class WorkerTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteSettings("[Config]\r\nLangId=Rus\r\n");
  }
  FormSeams WorkerSeams(PipeLink& pipe) {
    FormSeams seams = Seams();
    seams.pipe = &pipe;
    seams.usb = &usb_;
    seams.startWorker = true;
    return seams;
  }
  NoLibusb usb_;
};

TEST_F(WorkerTest, ClosingInTheMiddleOfAStalledTransferWaitsForTheWorker) {
  StallingPipe pipe(true);
  TForm1& form = MakeForm(WorkerSeams(pipe));
  form.show();
  EXPECT_TRUE(form.WorkerRunning());
  // The loop finds the instrument, shows its version and stalls reading parameters.
  ASSERT_TRUE(QTest::qWaitFor([&] { return pipe.stalled_.load(); }, 15000));
  EXPECT_EQ(form.StatusBar1->PanelText(0), u"FAKE ZARN-2.6");
  EXPECT_EQ(form.CurrentLamp(), LampColour::Lime);

  EXPECT_TRUE(form.close());
  EXPECT_FALSE(form.WorkerRunning());
  EXPECT_EQ(pipe.stallsEnded_.load(), pipe.stalls_.load());  // nothing cut off
  EXPECT_EQ(quits_, 1);
  EXPECT_EQ(Setting("FormMain", "Width"), QString::number(form.width()));
  EXPECT_EQ(Setting("FormMain", "Maximized"), u"0");
}

TEST_F(WorkerTest, ExitWithoutAnInstrumentStopsTheWorkerToo) {
  StallingPipe pipe(false);
  TForm1& form = MakeForm(WorkerSeams(pipe));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return form.StatusBar1->PanelText(1) == u"Проверьте подключение" &&
               form.CurrentLamp() == LampColour::Black;
      },
      15000));
  form.AExit->trigger();
  EXPECT_FALSE(form.WorkerRunning());
  EXPECT_EQ(quits_, 1);
  // A close after Exit does not run the shut-down twice.
  form.close();
  EXPECT_EQ(quits_, 1);
}

TEST_F(WorkerTest, ClosingMaximisedWritesOnlyThatFact) {
  WriteSettings("[Config]\r\nLangId=Rus\r\n[FormMain]\r\nWidth=640\r\nLeft=17\r\n");
  StallingPipe pipe(false);
  TForm1& form = MakeForm(WorkerSeams(pipe));
  form.showMaximized();
  QCoreApplication::processEvents();
  ASSERT_TRUE(form.isMaximized());
  form.close();
  EXPECT_FALSE(form.WorkerRunning());
  EXPECT_EQ(Setting("FormMain", "Maximized"), u"1");
  EXPECT_EQ(Setting("FormMain", "Width"), u"640");
  EXPECT_EQ(Setting("FormMain", "Left"), u"17");
  EXPECT_EQ(Setting("FormMain", "Height"), u"<absent>");
}

}  // namespace
}  // namespace zarn::wintest
