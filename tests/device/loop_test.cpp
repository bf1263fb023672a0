// The exchange loop in virtual time: fake transports and a recording sink, so that
// every notification, wait and transport call can be asserted in order.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "common/texts.h"
#include "data/datafile.h"
#include "device/exchangeloop.h"
#include "loop_fakes.h"

using namespace zarn;
using namespace zarn::test;
using Lines = std::vector<std::string>;

#define EXPECT_STATE(s) EXPECT_EQ(int(LinkState.load()), int(s))
#define ASSERT_STATE(s) ASSERT_EQ(int(LinkState.load()), int(s))

namespace {

const std::string kDev0 = "/run/zarn26/{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}/dev0";

class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LinkState = LinkStates::ChooseTransport;
    TransportKind = TransportKinds::None;
    DataReadComplete = false;
    ProcessCount = 0;
    LanguageIndex = kRussian;
    Images.ParamBlock.fill(0);
    Images.MaterialsBlock.fill(0);
    Images.ObjectsBlock.fill(0);
    std::fill(Images.DataImage.begin(), Images.DataImage.begin() + 70000, uint8_t(0xEE));
  }
  void TearDown() override { LanguageIndex = kRussian; }

  // The instrument as it was at the start (the transports keep referring to it).
  void FreshInstrument() {
    dev.~FakeInstrument();
    new (&dev) FakeInstrument(log);
  }
  void Passes(int n) {
    for (int i = 0; i < n; ++i) loop.RunPass();
  }
  // Runs the start-up read to idle over the pipe and forgets its log.
  void ReadToIdle() {
    Passes(5);
    ASSERT_STATE(LinkStates::Idle);
    ASSERT_TRUE(DataReadComplete);
    log.Take();
  }
  // Log lines starting with one of `prefixes`.
  Lines Only(std::initializer_list<std::string> prefixes) {
    Lines out;
    for (const auto& l : log.Take())
      for (const auto& p : prefixes)
        if (l.rfind(p, 0) == 0) {
          out.push_back(l);
          break;
        }
    return out;
  }

  Log log;
  FakeInstrument dev{log};
  FakePipe pipe{dev};
  FakeUsb usb{dev};
  RecordingSink sink{log};
  int64_t clock = 0;
  std::function<bool()> stop = [] { return false; };
  ExchangeLoop loop{LoopEnvironment{
      pipe, usb, sink,
      [this](int ms) {
        log.Add("wait " + std::to_string(ms));
        clock += ms;
      },
      [this] { return stop(); }, [this] { log.Add("priority normal"); }}};
};

Lines DataReads(const char* who, uint32_t length) {
  Lines out;
  for (int i = 0; i < 64; ++i) {
    out.push_back("progress step " + std::to_string(uint64_t(i) * length / 64));
    out.push_back(std::string(who) + " read " + std::to_string(length / 64));
  }
  return out;
}

Lines Cat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST_F(LoopTest, StartupReadOverThePipe) {
  Passes(1);  // 255 runs straight on into 0
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "usb load", "status 1 Проверьте подключение", "lamp Black",
                               "pipe enumerate", "pipe open " + kDev0, "status 1 Чтение версии",
                               "lamp Lime", "wait 300"}));
  EXPECT_EQ(TransportKind, TransportKinds::Pipe);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe write 01 FE", "wait 50", "pipe read 4", "pipe read 13",
                               "status 0 Zarn-2.6 v1.5", "status 1 Чтение параметров", "wait 300"}));
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe write 02 FD", "wait 50", "pipe read 4",
                               "pipe read 10752", "pipe read 4", "pipe read 1080", "status 1 ",
                               "lamp Lime"}));
  EXPECT_EQ(ProcessCount, 2u);
  EXPECT_STATE(LinkStates::ReadData);
  Passes(1);
  EXPECT_EQ(log.Take(),
            Cat({{"wait 50", "progress begin", "pipe write 04 FB", "pipe read 4", "progress range 6400"},
                 DataReads("pipe", 6400),
                 {"status 1 Данные считаны (2)", "lamp ButtonFace", "progress end"}}));
  EXPECT_TRUE(DataReadComplete);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe close", "refresh"}));
  EXPECT_STATE(LinkStates::Idle);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "wait 200"}));

  EXPECT_TRUE(std::equal(dev.params.begin(), dev.params.end(), Images.ParamBlock.begin()));
  EXPECT_TRUE(std::equal(dev.materials.begin(), dev.materials.end(), Images.MaterialsBlock.begin()));
  EXPECT_TRUE(std::equal(dev.data.begin(), dev.data.end(), Images.DataImage.begin()));
  EXPECT_FALSE(pipe.opened);
}

TEST_F(LoopTest, StartupReadOverLibusbInEnglish) {
  LanguageIndex = kEnglish;
  usb.loadResult = 0;
  pipe.devices.clear();
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "usb load", "status 1 Check Connection", "lamp Black",
                               "pipe enumerate", "usb open", "status 1 Version Read", "lamp Lime",
                               "wait 300"}));
  EXPECT_EQ(TransportKind, TransportKinds::Libusb);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "usb write 01 FE", "wait 80", "usb read 4", "usb read 13",
                               "status 0 Zarn-2.6 v1.5", "status 1 Parameters Read", "wait 300"}));
  Passes(2);
  EXPECT_EQ(Only({"status"}), (Lines{"status 1 ", "status 1 Data Readed (2)"}));
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "usb close", "refresh"}));
  EXPECT_TRUE(std::equal(dev.data.begin(), dev.data.end(), Images.DataImage.begin()));
}

TEST_F(LoopTest, RunWaitsSetsPriorityAndClosesThePipeWhenStopped) {
  stop = [this] { return clock >= 5000; };
  loop.Run();
  const Lines lines = log.Take();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "wait 1000");
  EXPECT_EQ(lines[1], "priority normal");
  EXPECT_EQ(lines[2], "wait 50");
  EXPECT_EQ(lines.back(), "pipe close");
  EXPECT_STATE(LinkStates::Idle);  // the whole read ran, then idle passes
}

TEST_F(LoopTest, NoInstrumentKeepsLooking) {
  pipe.devices.clear();
  usb.loadResult = 0;
  usb.present = false;
  Passes(3);
  const Lines one = {"status 1 Проверьте подключение", "lamp Black", "pipe enumerate", "usb open",
                     "status 0 not connected", "progress hide"};
  EXPECT_EQ(log.Take(), Cat({{"wait 50", "usb load"}, one, {"wait 50"}, one, {"wait 50"}, one}));
  EXPECT_STATE(LinkStates::Connect);
  // Without the library only the pipe is looked at.
  TransportKind = TransportKinds::None;
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "status 1 Проверьте подключение", "lamp Black", "pipe enumerate"}));
}

TEST_F(LoopTest, InstrumentWithoutProcesses) {
  dev.SetProcesses(0);
  Passes(3);
  EXPECT_EQ(Only({"status 1", "lamp"}).back(), "lamp ButtonFace");
  EXPECT_STATE(LinkStates::CloseAndRefresh);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe close", "refresh"}));
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_FALSE(DataReadComplete);
  EXPECT_EQ(ProcessCount, 0u);

  LanguageIndex = kEnglish;
  LinkState = LinkStates::ChooseTransport;
  Passes(3);
  const Lines status = Only({"status 1"});
  EXPECT_EQ(status.back(), "status 1 No Data");
}

TEST_F(LoopTest, LongVersionIsCutByTransportAndItsRestDiscarded) {
  dev.version = std::string("AB\0CD", 5);
  dev.versionAnnounced = 150;
  Passes(2);
  Lines status = Only({"status 0"});
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0], "status 0 AB CD" + std::string(95, 'x'));  // 100 characters
  EXPECT_STATE(LinkStates::ReadParameters);
  Passes(1);  // the parameters reply is read in step: the 50 extra bytes were discarded
  EXPECT_STATE(LinkStates::ReadData);

  dev.pending.clear();
  LinkState = LinkStates::ChooseTransport;
  TransportKind = TransportKinds::None;
  pipe.devices.clear();
  pipe.opened = false;
  usb.loadResult = 0;
  Passes(2);
  status = Only({"status 0"});
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0], "status 0 AB CD" + std::string(94, 'x'));  // 99 characters
  Passes(1);
  EXPECT_STATE(LinkStates::ReadData);
}

TEST_F(LoopTest, DataLengthNotAMultipleOf64) {
  dev.SetData(1000);
  Passes(3);
  log.Take();
  Passes(1);
  EXPECT_EQ(Only({"progress", "pipe read"}),
            Cat({{"progress begin", "pipe read 4", "progress range 1000"}, DataReads("pipe", 1000),
                 {"pipe read 40", "progress end"}}));
  // 64 reads of 15 bytes fill the first 960 bytes; the last 40 are read off the link
  // but do not reach the image.
  EXPECT_TRUE(std::equal(dev.data.begin(), dev.data.begin() + 960, Images.DataImage.begin()));
  EXPECT_EQ(Images.DataImage[960], 0xEE);
  EXPECT_EQ(Images.DataImage[999], 0xEE);
  EXPECT_TRUE(DataReadComplete);
}

TEST_F(LoopTest, DataShorterThan64FailsOnThePipe) {
  dev.SetData(40);
  Passes(3);
  log.Take();
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "progress begin", "pipe write 04 FB", "pipe read 4",
                               "progress range 40", "progress step 0", "pipe read 0",
                               "status 1 Ошибка связи: память данных: ответ оборвался", "lamp Red",
                               "pipe read 1000", "pipe close", "wait 500", "progress hide"}));
  EXPECT_STATE(LinkStates::Connect);
  EXPECT_FALSE(DataReadComplete);
  Passes(1);  // red stays 20 ms before the next colour
  EXPECT_EQ(Only({"wait", "lamp"}), (Lines{"wait 50", "wait 20", "lamp Black", "lamp Lime", "wait 300"}));
}

// A failure in every operation of every start-up transfer state goes back to connect.
TEST_F(LoopTest, StartupFailuresRestartFromConnect) {
  struct Case {
    int cmd, op;
    uint8_t state;
  };
  for (const Case c : {Case{1, 0, 1}, Case{1, 1, 1}, Case{1, 2, 1}, Case{2, 0, 2}, Case{2, 2, 2},
                       Case{2, 4, 2}, Case{4, 0, 3}, Case{4, 1, 3}, Case{4, 30, 3}}) {
    SCOPED_TRACE("command " + std::to_string(c.cmd) + " op " + std::to_string(c.op));
    SetUp();
    dev.pending.clear();
    pipe.opened = false;
    dev.failCmd = c.cmd;
    dev.failOp = c.op;
    Passes(1 + c.state);
    EXPECT_STATE(LinkStates::Connect);
    const Lines lines = log.Take();
    const auto err = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.rfind("status 1 Ошибка связи: ", 0) == 0;
    });
    ASSERT_NE(err, lines.end());
    EXPECT_EQ(Lines(err + 1, lines.end()),
              (Lines{"lamp Red", "pipe read 1000", "pipe close", "wait 500", "progress hide"}));
    // Next time round the whole read runs again.
    dev.failOp = -1;
    dev.pending.clear();
    Passes(5);
    EXPECT_STATE(LinkStates::Idle);
    EXPECT_TRUE(DataReadComplete);
  }
}

TEST_F(LoopTest, StartupFailureAfterAWholeReadRunsTheStateAgain) {
  DataReadComplete = true;  // a read completed before; the state is simply tried again
  Passes(2);
  dev.failCmd = 2;
  dev.failOp = 1;
  log.Take();
  Passes(1);
  EXPECT_STATE(LinkStates::ReadParameters);
  EXPECT_EQ(Only({"status 1", "pipe close"}),
            (Lines{"status 1 Ошибка связи: блок параметров: прибор не ответил"}));
  EXPECT_TRUE(pipe.opened);  // no open comes before the retry: the link stays
  dev.failOp = -1;
  dev.pending.clear();
  Passes(1);
  EXPECT_STATE(LinkStates::ReadData);
}

TEST_F(LoopTest, RequestedTransfersSucceed) {
  ReadToIdle();
  for (size_t i = 0; i < kMaterialsBlockSize; ++i) Images.MaterialsBlock[i] = uint8_t(i ^ 0x5A);
  ASSERT_TRUE(RequestTransfer(LinkStates::WriteMaterials));
  Passes(1);
  Lines expected = {"wait 50", "pipe enumerate", "pipe open " + kDev0, "lamp Lime",
                    "pipe write 05 FA", "wait 300", "pipe write 38 04 00 00"};
  for (int i = 0; i < 16; ++i) expected.insert(expected.end(), {"pipe write 64 bytes", "wait 15"});
  expected.insert(expected.end(), {"pipe write 56 bytes", "wait 15", "pipe close",
                                   "status 1 Параметры записаны", "lamp ButtonFace"});
  EXPECT_EQ(log.Take(), expected);
  EXPECT_TRUE(std::equal(Images.MaterialsBlock.begin(), Images.MaterialsBlock.end(),
                         dev.writtenMaterials.begin(), dev.writtenMaterials.end()));
  EXPECT_STATE(LinkStates::Idle);

  ASSERT_TRUE(RequestTransfer(LinkStates::WriteObjects));
  Passes(1);
  EXPECT_EQ(Only({"pipe write"}).size(), 1u + 1 + 10);  // command, length, 9 x 64 and 24
  EXPECT_TRUE(std::equal(Images.ObjectsBlock.begin(), Images.ObjectsBlock.end(),
                         dev.writtenObjects.begin(), dev.writtenObjects.end()));

  LanguageIndex = kEnglish;
  ASSERT_TRUE(RequestTransfer(LinkStates::ReadObjects));
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe enumerate", "pipe open " + kDev0, "lamp Lime",
                               "wait 50", "pipe write 06 F9", "wait 300", "pipe read 4",
                               "pipe read 600", "pipe close", "status 1 Param Readed",
                               "lamp ButtonFace"}));
  EXPECT_TRUE(std::equal(dev.objects.begin(), dev.objects.end(), Images.ObjectsBlock.begin()));

  const auto paramsBefore = Images.ParamBlock;
  std::fill(dev.params.begin(), dev.params.end(), uint8_t(0x33));
  std::reverse(dev.materials.begin(), dev.materials.end());
  ASSERT_TRUE(RequestTransfer(LinkStates::ReadMaterials));
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe enumerate", "pipe open " + kDev0, "lamp Lime",
                               "wait 300", "pipe write 02 FD", "wait 50", "pipe read 4",
                               "pipe read 10752", "pipe read 4", "pipe read 1080", "pipe close",
                               "status 1 Param Readed", "lamp ButtonFace"}));
  EXPECT_EQ(Images.ParamBlock, paramsBefore);  // the parameters are thrown away
  EXPECT_TRUE(std::equal(dev.materials.begin(), dev.materials.end(), Images.MaterialsBlock.begin()));
  EXPECT_STATE(LinkStates::Idle);
}

TEST_F(LoopTest, RequestWithoutInstrumentWaitsUntilWithdrawn) {
  ReadToIdle();
  pipe.devices.clear();
  ASSERT_TRUE(RequestTransfer(LinkStates::ReadObjects));
  EXPECT_FALSE(RequestTransfer(LinkStates::ReadMaterials));  // only from idle
  Passes(2);
  const Lines one = {"pipe enumerate", "pipe close", "status 1 Проверьте подключение", "lamp Black"};
  EXPECT_EQ(log.Take(), Cat({{"wait 50"}, one, {"wait 50"}, one}));
  EXPECT_STATE(LinkStates::ReadObjects);
  EXPECT_FALSE(WithdrawRequest(LinkStates::ReadMaterials));  // not this requester's
  EXPECT_TRUE(WithdrawRequest(LinkStates::ReadObjects));
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "wait 200"}));
}

TEST_F(LoopTest, RequestFailuresAfterAndWithoutAWholeRead) {
  for (LinkStates state : {LinkStates::WriteMaterials, LinkStates::ReadObjects, LinkStates::WriteObjects, LinkStates::ReadMaterials}) {
    SCOPED_TRACE(int(state));
    SetUp();
    dev.pending.clear();
    ReadToIdle();
    const int cmd = state == LinkStates::ReadMaterials ? 2 : int(state);
    dev.failCmd = cmd;
    dev.failOp = 2;
    ASSERT_TRUE(RequestTransfer(state));
    Passes(1);
    const Lines lines = log.Take();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[lines.size() - 6].rfind("status 1 Ошибка связи: ", 0), 0u);
    EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
              (Lines{"lamp Red", "pipe read 1000", "pipe close", "wait 500", "progress hide"}));
    EXPECT_STATE(state);  // tried again on the next pass
    dev.pending.clear();
    Passes(1);
    EXPECT_STATE(state);
    EXPECT_TRUE(WithdrawRequest(state));
    dev.failOp = -1;

    // Without a whole read behind it the failure sends the loop back to connect.
    DataReadComplete = false;
    dev.failOp = 2;
    dev.pending.clear();
    ASSERT_TRUE(RequestTransfer(state));
    Passes(1);
    EXPECT_STATE(LinkStates::Connect);
    dev.failOp = -1;
  }
}

TEST_F(LoopTest, RequestWithdrawnDuringItsTransferStaysIdle) {
  ReadToIdle();
  dev.onOp = [](int cmd, int op) {
    if (cmd == 6 && op == 1) WithdrawRequest(LinkStates::ReadObjects);
  };
  ASSERT_TRUE(RequestTransfer(LinkStates::ReadObjects));
  Passes(1);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_TRUE(std::equal(dev.objects.begin(), dev.objects.end(), Images.ObjectsBlock.begin()));
}

// Replies of the small blocks are read into scratch areas without the lock and copied
// in under it; the data memory is read into its image under the lock.
TEST_F(LoopTest, TransfersHoldTheImagesLockButRefreshDoesNot) {
  auto lockedElsewhere = [] {
    return std::async(std::launch::async, [] {
             if (!ImagesLock.try_lock()) return true;
             ImagesLock.unlock();
             return false;
           }).get();
  };
  std::vector<std::pair<int, bool>> seen;
  dev.onOp = [&](int cmd, int op) {
    if (op > 0) seen.emplace_back(cmd, lockedElsewhere());
  };
  bool lockedDuringRefresh = true;
  sink.onRefresh = [&] { lockedDuringRefresh = lockedElsewhere(); };
  Passes(5);
  EXPECT_FALSE(lockedDuringRefresh);
  for (const auto& [cmd, locked] : seen) EXPECT_EQ(locked, cmd == 4) << cmd;
  seen.clear();
  ASSERT_TRUE(RequestTransfer(LinkStates::WriteObjects));
  Passes(1);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(seen.back().second);  // a block is sent under the lock
}

TEST_F(LoopTest, DataFileOpenedDuringATransferKeepsTheLoopIdle) {
  Passes(3);
  // The file open takes the images lock after the transfer and then sets idle, before
  // the loop moves on.
  dev.onOp = [](int cmd, int op) {
    if (cmd == 4 && op == 65) LinkState = LinkStates::Idle;
  };
  log.Take();
  Passes(1);
  EXPECT_STATE(LinkStates::Idle);
  const Lines tail = Only({"status", "refresh"});
  EXPECT_TRUE(tail.empty());  // no "Data Readed", no refresh over the file's images
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "wait 200"}));
}

// A real file open on another thread while the loop reads the memory: the file's images
// go in after the transfer, never interleaved with it.
TEST_F(LoopTest, DataFileOpenedDuringATransferIsNotMixedWithIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("file.zarn"));
  auto file = std::make_unique<DeviceImages>();
  for (size_t i = 0; i < file->DataImage.size(); i += 97) file->DataImage[i] = uint8_t(i / 97 + 1);
  file->ParamBlock.fill(0x11);
  ASSERT_TRUE(WriteDataFile(path, *file));

  Passes(3);
  std::promise<void> inTransfer;
  std::atomic<bool> opening{false};
  dev.onOp = [&](int cmd, int op) {
    if (cmd != 4 || op != 20) return;
    inTransfer.set_value();
    for (int i = 0; i < 5000 && !opening; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the open is waiting now
  };
  std::thread pass([this] { loop.RunPass(); });
  inTransfer.get_future().wait();
  opening = true;
  const DataFileStatus status = OpenDataFile(path, [] {
    std::unique_lock lock(ImagesLock, std::defer_lock);
    while (!lock.try_lock()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return lock;
  });
  pass.join();
  ASSERT_EQ(status, DataFileStatus::Ok);
  EXPECT_TRUE(Images.DataImage == file->DataImage);
  EXPECT_TRUE(Images.ParamBlock == file->ParamBlock);
}

TEST_F(LoopTest, DataFileOpenedWhileLookingStopsTheSearch) {
  pipe.devices.clear();
  Passes(2);
  LinkState = LinkStates::Idle;  // the file's images are in
  log.Take();
  Passes(3);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "wait 200", "wait 50", "wait 200", "wait 50", "wait 200"}));

  // Also when the file lands while the pipe is being opened.
  pipe.devices = {kDev0};
  ASSERT_TRUE(RequestGaugeRead());
  dev.onOp = nullptr;
  struct OpenHook final : PipeLink {
    FakePipe& inner;
    explicit OpenHook(FakePipe& p) : inner(p) {}
    uint32_t Enumerate(QByteArray& l) override { return inner.Enumerate(l); }
    int Open(QByteArrayView p) override {
      LinkState = LinkStates::Idle;
      return inner.Open(p);
    }
    int TransportClose() override { return inner.TransportClose(); }
    uint16_t TransportWrite(const uint8_t* b, uint32_t c) override { return inner.TransportWrite(b, c); }
    uint16_t TransportRead(uint8_t* b, uint32_t c) override { return inner.TransportRead(b, c); }
  } hooked(pipe);
  ExchangeLoop racing{LoopEnvironment{hooked, usb, sink, [this](int ms) { log.Add("wait " + std::to_string(ms)); },
                                      [] { return false; }, {}}};
  log.Take();
  racing.RunPass();
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_EQ(Only({"status 1"}), (Lines{"status 1 Проверьте подключение"}));
}

TEST_F(LoopTest, GaugeReadOnlyFromIdle) {
  ReadToIdle();
  LinkState = LinkStates::ReadData;
  EXPECT_FALSE(RequestGaugeRead());
  EXPECT_TRUE(DataReadComplete);
  EXPECT_STATE(LinkStates::ReadData);
  LinkState = LinkStates::Idle;
  EXPECT_TRUE(RequestGaugeRead());
  EXPECT_FALSE(DataReadComplete);
  EXPECT_STATE(LinkStates::Connect);
  Passes(5);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_TRUE(DataReadComplete);
}

TEST_F(LoopTest, FileLoadedBeforeTheFirstPassLeavesOnlyThePipe) {
  LinkState = LinkStates::Idle;
  usb.loadResult = 0;
  Passes(2);
  EXPECT_EQ(TransportKind, TransportKinds::None);
  ASSERT_TRUE(RequestTransfer(LinkStates::ReadObjects));  // no transport: error path, then connect
  Passes(1);
  EXPECT_STATE(LinkStates::Connect);
  pipe.devices.clear();
  log.Take();
  Passes(1);
  EXPECT_EQ(Only({"usb", "pipe"}), (Lines{"pipe enumerate"}));
  pipe.devices = {kDev0};
  Passes(5);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_EQ(TransportKind, TransportKinds::Pipe);
}

TEST_F(LoopTest, ReplugOnThePipeOpensTheNewDevice) {
  Passes(2);
  // Unplugged during the parameters; the driver lists the instrument again under a
  // new path.
  dev.failForever = true;
  Passes(1);
  EXPECT_STATE(LinkStates::Connect);
  EXPECT_FALSE(pipe.opened);  // the vanished device's handles are gone
  dev.failForever = false;
  dev.pending.clear();
  const std::string dev1 = "/run/zarn26/{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}/dev1";
  pipe.devices = {dev1};
  log.Take();
  Passes(5);
  EXPECT_EQ(pipe.openPath, dev1);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_TRUE(DataReadComplete);
}

TEST_F(LoopTest, StopDuringTheDataReadEndsThePassAndShowsNothingMore) {
  Passes(3);
  bool stopping = false;
  stop = [&] { return stopping; };
  dev.onOp = [&](int cmd, int op) {
    if (cmd == 4 && op == 10) stopping = true;
  };
  log.Take();
  Passes(1);
  const Lines lines = log.Take();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("pipe read", 0) == 0; }), 10);
  EXPECT_EQ(lines.back(), "pipe read 100");  // nothing shown after it
  EXPECT_STATE(LinkStates::ReadData);
  EXPECT_FALSE(DataReadComplete);
  EXPECT_TRUE(ImagesLock.try_lock());
  ImagesLock.unlock();
}

TEST_F(LoopTest, UnknownStateTakesTheErrorPath) {
  ReadToIdle();
  LinkState = LinkStates(42);
  Passes(1);
  EXPECT_STATE(42);  // a whole read is behind it
  DataReadComplete = false;
  Passes(1);
  EXPECT_STATE(LinkStates::Connect);
  EXPECT_EQ(Only({"status 1"}), (Lines{"status 1 Ошибка связи", "status 1 Ошибка связи"}));
}

// Replies that do not arrive whole fail the pass, name what failed, and leave the
// images as they were; the link is released so that the next command starts clean.
TEST_F(LoopTest, RepliesCountOnlyWhole) {
  struct Case {
    const char* name;
    bool usb;
    std::function<void(FakeInstrument&)> fault;
    const char* status;  // the text after "Ошибка связи: "
  };
  const Case cases[] = {
      {"version with a huge length", false, [](FakeInstrument& d) { d.versionAnnounced = 0xFFFFFFF0; },
       "версия прибора: ответ длиной 4294967280 байт не помещается в 100 байт"},
      {"version beyond what is thrown away", true,
       [](FakeInstrument& d) { d.versionAnnounced = int64_t(kVersionCapUsb) + kMaxDiscard + 1; },
       "версия прибора: ответ длиной 1048676 байт не помещается в 99 байт"},
      {"parameters one byte too long", false, [](FakeInstrument& d) { d.paramsAnnounced = 10753; },
       "блок параметров: ответ длиной 10753 байт не помещается в 10752 байт"},
      {"materials too long over libusb", true, [](FakeInstrument& d) { d.materialsAnnounced = 2000; },
       "блок материалов: ответ длиной 2000 байт не помещается в 1080 байт"},
      {"materials stop half-way", true, [](FakeInstrument& d) { d.materials.resize(500); d.materialsAnnounced = 1080; },
       "блок материалов: ответ оборвался"},
      {"data longer than the memory", false, [](FakeInstrument& d) { d.dataAnnounced = int64_t(kDataImageSize) + 1; },
       "память данных: ответ длиной 8388609 байт не помещается в 8388608 байт"},
      {"data stop in the last piece", true, [](FakeInstrument& d) { d.dataAnnounced = 6400; d.data.resize(6390); },
       "память данных: ответ оборвался"},
      {"data remainder missing", false, [](FakeInstrument& d) { d.dataAnnounced = 6410; },
       "память данных: ответ оборвался"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    FreshInstrument();
    dev.pending.clear();
    pipe.opened = false;
    usb.opened = false;
    usb.loadResult = c.usb ? 0 : 1;
    pipe.devices = c.usb ? std::vector<std::string>{} : std::vector<std::string>{kDev0};
    c.fault(dev);
    const auto params = Images.ParamBlock;
    const auto materials = Images.MaterialsBlock;
    Passes(4);
    EXPECT_NE(LinkState.load(), LinkStates::Idle);
    EXPECT_FALSE(DataReadComplete);
    const Lines status = Only({"status 1 Ошибка", "refresh", "pipe close", "usb close"});
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status[0], std::string("status 1 Ошибка связи: ") + c.status);
    EXPECT_EQ(status[1], c.usb ? "usb close" : "pipe close");  // a clean start next time
    EXPECT_EQ(std::count(status.begin(), status.end(), "refresh"), 0);
    if (std::string(c.name).rfind("data", 0) != 0) {
      EXPECT_EQ(Images.ParamBlock, params);
      EXPECT_EQ(Images.MaterialsBlock, materials);
    }
  }
}

// A libusb reply that comes in small pieces, with pauses the transport rides out, is
// collected whole; the pipe transport collects its pieces itself.
TEST_F(LoopTest, AReplyInPiecesIsCollectedWhole) {
  usb.loadResult = 0;
  usb.chunk = 64;
  pipe.devices.clear();
  Passes(5);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_TRUE(DataReadComplete);
  EXPECT_TRUE(std::equal(dev.data.begin(), dev.data.end(), Images.DataImage.begin()));
  EXPECT_TRUE(std::equal(dev.materials.begin(), dev.materials.end(), Images.MaterialsBlock.begin()));
}

// An objects reply that stops half-way fails the request and leaves the block alone.
TEST_F(LoopTest, AnObjectsReplyCutShortChangesNothing) {
  for (bool viaUsb : {false, true}) {
    SCOPED_TRACE(viaUsb ? "libusb" : "pipe");
    SetUp();
    FreshInstrument();
    usb.loadResult = viaUsb ? 0 : 1;
    pipe.devices = viaUsb ? std::vector<std::string>{} : std::vector<std::string>{kDev0};
    Passes(5);
    ASSERT_STATE(LinkStates::Idle);
    Images.ObjectsBlock.fill(0x5A);
    dev.objects.resize(300);
    dev.objectsAnnounced = 600;
    log.Take();
    std::optional<LinkFailure> failed;
    sink.onFailure = [&](const LinkFailure& f) { failed = f; };
    ASSERT_TRUE(RequestTransfer(LinkStates::ReadObjects));
    Passes(1);
    sink.onFailure = nullptr;
    EXPECT_STATE(LinkStates::ReadObjects);  // tried again until the requester gives up
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(*failed, (LinkFailure{LinkBlock::Objects, LinkFault::ReplyCut}));
    EXPECT_EQ(LinkFailureText(*failed, kEnglish), "the objects block: the reply stopped short");
    EXPECT_TRUE(std::all_of(Images.ObjectsBlock.begin(), Images.ObjectsBlock.end(),
                            [](uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(WithdrawRequest(LinkStates::ReadObjects));
  }
}

// Another program holds the instrument: nothing is sent, the status says so once, and
// the loop keeps looking until the instrument is free.
TEST_F(LoopTest, AnInstrumentInUseIsNotTalkedTo) {
  for (bool viaUsb : {false, true}) {
    SCOPED_TRACE(viaUsb ? "libusb" : "pipe");
    SetUp();
    InstrumentAccess = LinkAccess::Closed;
    usb.loadResult = viaUsb ? 0 : 1;
    pipe.devices = viaUsb ? std::vector<std::string>{} : std::vector<std::string>{kDev0};
    (viaUsb ? usb.inUse : pipe.inUse) = true;
    Passes(3);
    EXPECT_STATE(LinkStates::Connect);
    EXPECT_EQ(InstrumentAccess.load(), LinkAccess::InUse);
    const Lines lines = log.Take();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(" write ") != std::string::npos; }),
              0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "status 1 Прибор занят другой программой"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "status 1 Проверьте подключение"), 1);
    (viaUsb ? usb.inUse : pipe.inUse) = false;
    Passes(5);
    EXPECT_STATE(LinkStates::Idle);
    EXPECT_EQ(InstrumentAccess.load(), LinkAccess::Closed);  // let go after the read
    // A request meets the instrument held by another program: it waits, says so.
    (viaUsb ? usb.inUse : pipe.inUse) = true;
    log.Take();
    ASSERT_TRUE(RequestTransfer(LinkStates::ReadObjects));
    Passes(2);
    EXPECT_EQ(Only({"status 1"}), (Lines{"status 1 Прибор занят другой программой"}));
    EXPECT_TRUE(WithdrawRequest(LinkStates::ReadObjects));
    (viaUsb ? usb.inUse : pipe.inUse) = false;
  }
}

TEST(LastDevicePath, TakesTheLastLine) {
  EXPECT_EQ(LastDevicePath("a\nbb\nccc\n"), QByteArrayView("ccc"));
  EXPECT_EQ(LastDevicePath("only\n"), QByteArrayView("only"));
  EXPECT_EQ(LastDevicePath("a\n\n"), QByteArrayView(""));
}

}  // namespace
