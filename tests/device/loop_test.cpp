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

#define EXPECT_STATE(s) EXPECT_EQ(int(shared.State()), int(s))
#define ASSERT_STATE(s) ASSERT_EQ(int(shared.State()), int(s))

namespace {

const std::string kDev0 = "/run/zarn26/{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}/dev0";

class LoopTest : public ::testing::Test {
 public:
  void SetUp() override {
    shared.~LinkSharedState();
    new (&shared) LinkSharedState();
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
    ASSERT_TRUE(shared.DataReadComplete());
    log.Take();
  }
  // A request with its ticket (asserted accepted).
  Ticket Request(LinkStates request, QByteArray block = {}) {
    const Ticket ticket = shared.RequestTransfer(request, std::move(block));
    EXPECT_TRUE(ticket.Accepted());
    return ticket;
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

  LinkSharedState shared;
  Log log;
  FakeInstrument dev{log};
  FakePipe pipe{dev};
  FakeUsb usb{dev};
  RecordingSink sink{log};
  int64_t clock = 0;
  std::function<bool()> stop = [] { return false; };
  ExchangeLoop loop{LoopEnvironment{
      shared, pipe, usb, sink,
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
  EXPECT_EQ(shared.Kind(), TransportKinds::Pipe);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe write 01 FE", "wait 50", "pipe read 4", "pipe read 13",
                               "status 0 Zarn-2.6 v1.5", "status 1 Чтение параметров", "wait 300"}));
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe write 02 FD", "wait 50", "pipe read 4",
                               "pipe read 10752", "pipe read 4", "pipe read 1080", "status 1 ",
                               "lamp Lime"}));
  EXPECT_STATE(LinkStates::ReadData);
  Passes(1);
  EXPECT_EQ(log.Take(),
            Cat({{"wait 50", "progress begin", "pipe write 04 FB", "pipe read 4", "progress range 6400"},
                 DataReads("pipe", 6400),
                 {"status 1 Данные считаны (2)", "lamp ButtonFace", "progress end"}}));
  EXPECT_TRUE(shared.DataReadComplete());
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe close", "refresh"}));
  EXPECT_STATE(LinkStates::Idle);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "wait 200"}));

  // The read went into the images in one step, and the refresh came with its snapshot.
  EXPECT_EQ(ProcessCount, 2u);
  ASSERT_TRUE(sink.lastRead.images);
  EXPECT_EQ(sink.lastRead.images->processCount, 2u);
  EXPECT_EQ(sink.lastRead.version, u"Zarn-2.6 v1.5");
  EXPECT_TRUE(sink.lastRead.images->images.DataImage == Images.DataImage);
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
  EXPECT_EQ(shared.Kind(), TransportKinds::Libusb);
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
  shared.SetKind(TransportKinds::None);
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
  EXPECT_FALSE(shared.DataReadComplete());
  EXPECT_EQ(ProcessCount, 0u);

  LanguageIndex = kEnglish;
  shared.Set(LinkStates::ChooseTransport);
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
  shared.Set(LinkStates::ChooseTransport);
  shared.SetKind(TransportKinds::None);
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
  Passes(1);
  // 64 reads of 15 bytes fill the first 960 bytes; the last 40 are read off the link
  // but do not reach the image.
  EXPECT_TRUE(std::equal(dev.data.begin(), dev.data.begin() + 960, Images.DataImage.begin()));
  EXPECT_EQ(Images.DataImage[960], 0xEE);
  EXPECT_EQ(Images.DataImage[999], 0xEE);
  EXPECT_TRUE(shared.DataReadComplete());
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
  EXPECT_FALSE(shared.DataReadComplete());
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
    EXPECT_TRUE(shared.DataReadComplete());
  }
}

TEST_F(LoopTest, StartupFailureAfterAWholeReadRunsTheStateAgain) {
  shared.SetDataReadComplete(true);  // a read completed before; the state is simply tried again
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

QByteArray Pattern(size_t size, uint8_t seed) {
  QByteArray bytes(qsizetype(size), '\0');
  for (size_t i = 0; i < size; ++i) bytes[qsizetype(i)] = char(uint8_t(i * 11 + seed));
  return bytes;
}

template <size_t N>
bool Holds(const std::array<uint8_t, N>& block, const QByteArray& bytes) {
  return size_t(bytes.size()) == N && std::equal(block.begin(), block.end(), bytes.begin(),
                                                 [](uint8_t a, char b) { return a == uint8_t(b); });
}

TEST_F(LoopTest, RequestedTransfersSucceed) {
  ReadToIdle();
  // A write sends the requester's copy, and the instrument then holds it, as the
  // program's block does.
  const QByteArray materials = Pattern(kMaterialsBlockSize, 0x5A);
  const Ticket write = Request(LinkStates::WriteMaterials, materials);
  EXPECT_EQ(shared.Result(write).outcome, RequestOutcome::Pending);
  Passes(1);
  Lines expected = {"wait 50", "pipe enumerate", "pipe open " + kDev0, "lamp Lime",
                    "pipe write 05 FA", "wait 300", "pipe write 38 04 00 00"};
  for (int i = 0; i < 16; ++i) expected.insert(expected.end(), {"pipe write 64 bytes", "wait 15"});
  expected.insert(expected.end(), {"pipe write 56 bytes", "wait 15", "pipe close",
                                   "status 1 Параметры записаны", "lamp ButtonFace"});
  EXPECT_EQ(log.Take(), expected);
  EXPECT_EQ(test::Bytes(dev.writtenMaterials), materials);
  EXPECT_TRUE(Holds(Images.MaterialsBlock, materials));
  EXPECT_EQ(shared.Result(write).outcome, RequestOutcome::Done);
  EXPECT_STATE(LinkStates::Idle);

  const QByteArray objects = Pattern(kObjectsBlockSize, 3);
  EXPECT_EQ(shared.Result(Request(LinkStates::WriteObjects, objects)).outcome, RequestOutcome::Pending);
  Passes(1);
  EXPECT_EQ(Only({"pipe write"}).size(), 1u + 1 + 10);  // command, length, 9 x 64 and 24
  EXPECT_EQ(test::Bytes(dev.writtenObjects), objects);

  // A read hands the whole block to its requester and puts it into the images.
  LanguageIndex = kEnglish;
  const Ticket readObjects = Request(LinkStates::ReadObjects);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe enumerate", "pipe open " + kDev0, "lamp Lime",
                               "wait 50", "pipe write 06 F9", "wait 300", "pipe read 4",
                               "pipe read 600", "pipe close", "status 1 Param Readed",
                               "lamp ButtonFace"}));
  const RequestResult readResult = shared.Result(readObjects);
  EXPECT_EQ(readResult.outcome, RequestOutcome::Done);
  EXPECT_TRUE(std::equal(dev.objects.begin(), dev.objects.end(), readResult.block.begin(),
                         [](uint8_t a, char b) { return a == uint8_t(b); }));
  EXPECT_TRUE(std::equal(dev.objects.begin(), dev.objects.end(), Images.ObjectsBlock.begin()));

  const auto paramsBefore = Images.ParamBlock;
  std::fill(dev.params.begin(), dev.params.end(), uint8_t(0x33));
  std::reverse(dev.materials.begin(), dev.materials.end());
  const Ticket readMaterials = Request(LinkStates::ReadMaterials);
  Passes(1);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "pipe enumerate", "pipe open " + kDev0, "lamp Lime",
                               "wait 300", "pipe write 02 FD", "wait 50", "pipe read 4",
                               "pipe read 10752", "pipe read 4", "pipe read 1080", "pipe close",
                               "status 1 Param Readed", "lamp ButtonFace"}));
  EXPECT_EQ(Images.ParamBlock, paramsBefore);  // the parameters are thrown away
  EXPECT_TRUE(std::equal(dev.materials.begin(), dev.materials.end(), Images.MaterialsBlock.begin()));
  EXPECT_EQ(shared.Result(readMaterials).block.size(), qsizetype(kMaterialsBlockSize));
  EXPECT_STATE(LinkStates::Idle);
}

// How a request ends, as its ticket tells the requester: never "done" for what did not
// happen.
TEST_F(LoopTest, TicketsTellHowEachRequestEnded) {
  struct Case {
    const char* name;
    bool wholeReadBefore;                    // a whole read of the memory lies behind
    std::function<void(LoopTest&)> arrange;  // before the request
    std::function<void(LoopTest&, const Ticket&)> meanwhile;  // after a pass
    RequestOutcome outcome;
    LinkStates after;
  };
  const Case cases[] = {
      {"no instrument, taken back", true, [](LoopTest& t) { t.pipe.devices.clear(); },
       [](LoopTest& t, const Ticket& k) { t.shared.Withdraw(k); }, RequestOutcome::NotConnected,
       LinkStates::Idle},
      {"in use by another program, taken back", true, [](LoopTest& t) { t.pipe.inUse = true; },
       [](LoopTest& t, const Ticket& k) { t.shared.Withdraw(k); }, RequestOutcome::InUse,
       LinkStates::Idle},
      {"failing after a whole read, taken back", true,
       [](LoopTest& t) { t.dev.failCmd = 6, t.dev.failOp = 2; },
       [](LoopTest& t, const Ticket& k) { t.shared.Withdraw(k); }, RequestOutcome::Failed,
       LinkStates::Idle},
      {"failing without a whole read", false, [](LoopTest& t) { t.dev.failCmd = 6, t.dev.failOp = 2; },
       [](LoopTest&, const Ticket&) {}, RequestOutcome::Failed, LinkStates::Connect},
      {"not taken up before it was taken back", true, [](LoopTest&) {},
       [](LoopTest&, const Ticket&) {}, RequestOutcome::TimedOut, LinkStates::Idle},
      {"a data file opened before the loop took it up", true, [](LoopTest&) {},
       [](LoopTest&, const Ticket&) {}, RequestOutcome::ReplacedByFile, LinkStates::Idle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    FreshInstrument();
    pipe.opened = false;
    pipe.inUse = false;
    pipe.devices = {kDev0};
    ReadToIdle();
    shared.SetDataReadComplete(c.wholeReadBefore);
    c.arrange(*this);
    const Ticket ticket = Request(LinkStates::ReadObjects);
    // A second request while one is pending is turned away, and says why.
    const Ticket second = shared.RequestTransfer(LinkStates::ReadMaterials);
    EXPECT_FALSE(second.Accepted());
    EXPECT_EQ(shared.Result(second).outcome, RequestOutcome::Busy);
    if (c.outcome == RequestOutcome::TimedOut) {
      EXPECT_EQ(shared.Withdraw(ticket).outcome, RequestOutcome::TimedOut);
    } else if (c.outcome == RequestOutcome::ReplacedByFile) {
      shared.FileOpened();
    } else {
      Passes(1);
      c.meanwhile(*this, ticket);
    }
    const RequestResult result = shared.Result(ticket);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_TRUE(result.block.isEmpty());
    if (c.outcome == RequestOutcome::Failed) {
      EXPECT_EQ(result.failure, (LinkFailure{LinkBlock::Objects, LinkFault::ReplyCut}));
    }
    EXPECT_STATE(c.after);
    // Taking back what has ended changes nothing.
    EXPECT_EQ(shared.Withdraw(ticket).outcome, c.outcome);
    EXPECT_STATE(c.after);
  }
  // While the loop looks for the instrument a request is refused as not connected, and
  // while it reads, as busy.
  SetUp();
  pipe.devices.clear();
  Passes(1);
  EXPECT_EQ(shared.RequestTransfer(LinkStates::ReadObjects).refused, RequestOutcome::NotConnected);
  shared.Set(LinkStates::ReadData);
  EXPECT_EQ(shared.RequestTransfer(LinkStates::ReadObjects).refused, RequestOutcome::Busy);
}

TEST_F(LoopTest, RequestWithoutInstrumentWaitsUntilWithdrawn) {
  ReadToIdle();
  pipe.devices.clear();
  const Ticket ticket = Request(LinkStates::ReadObjects);
  Passes(2);
  const Lines one = {"pipe enumerate", "pipe close", "status 1 Проверьте подключение", "lamp Black"};
  EXPECT_EQ(log.Take(), Cat({{"wait 50"}, one, {"wait 50"}, one}));
  EXPECT_STATE(LinkStates::ReadObjects);
  Ticket other = ticket;
  other.id += 7;  // not this requester's
  shared.Withdraw(other);
  EXPECT_STATE(LinkStates::ReadObjects);
  EXPECT_EQ(shared.Withdraw(ticket).outcome, RequestOutcome::NotConnected);
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
    const Ticket ticket = Request(state);
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
    EXPECT_EQ(shared.Withdraw(ticket).outcome, RequestOutcome::Failed);
    dev.failOp = -1;

    // Without a whole read behind it the failure sends the loop back to connect.
    shared.SetDataReadComplete(false);
    dev.failOp = 2;
    dev.pending.clear();
    const Ticket again = Request(state);
    Passes(1);
    EXPECT_STATE(LinkStates::Connect);
    EXPECT_EQ(shared.Result(again).outcome, RequestOutcome::Failed);
    dev.failOp = -1;
  }
}

TEST_F(LoopTest, RequestWithdrawnDuringItsTransferStaysIdle) {
  ReadToIdle();
  Ticket ticket;
  dev.onOp = [&](int cmd, int op) {
    if (cmd == 6 && op == 1) shared.Withdraw(ticket);
  };
  ticket = Request(LinkStates::ReadObjects);
  Passes(1);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_EQ(shared.Result(ticket).outcome, RequestOutcome::TimedOut);
  // A new request written right after is the next pass's, not the old one's.
  const Ticket next = Request(LinkStates::ReadObjects);
  EXPECT_EQ(shared.Result(next).outcome, RequestOutcome::Pending);
  EXPECT_TRUE(std::equal(dev.objects.begin(), dev.objects.end(), Images.ObjectsBlock.begin()));
}

// No transfer holds the images' lock while it waits on the instrument, and the refresh
// is handed over without it: the lock is held only while a completed read or block goes
// in.
TEST_F(LoopTest, NothingHoldsTheImagesLockWhileWaitingOnTheInstrument) {
  auto lockedElsewhere = [] {
    return std::async(std::launch::async, [] {
             if (!ImagesLock.try_lock()) return true;
             ImagesLock.unlock();
             return false;
           }).get();
  };
  int locked = 0, seen = 0;
  dev.onOp = [&](int, int) {
    ++seen;
    if (lockedElsewhere()) ++locked;
  };
  bool lockedDuringRefresh = true;
  sink.onRefresh = [&] { lockedDuringRefresh = lockedElsewhere(); };
  Passes(5);
  EXPECT_FALSE(lockedDuringRefresh);
  Request(LinkStates::WriteObjects, Pattern(kObjectsBlockSize, 1));
  Passes(1);
  Request(LinkStates::ReadMaterials);
  Passes(1);
  EXPECT_GT(seen, 80);
  EXPECT_EQ(locked, 0);
}

// A data file opened in any state of the loop wins at once: the loop abandons what it
// was doing, shows and publishes nothing more of it, lets the instrument go and idles.
// A write under way alone goes on to its end (cut, the instrument would keep part of a
// block), and its requester is told it was done.
TEST_F(LoopTest, ADataFileOpenedInAnyStateWinsAndFreesTheInstrument) {
  struct Case {
    const char* name;
    int cmd, op;  // the operation the file lands at; cmd 0: between passes
    int passes;   // the loop's passes before it
    LinkStates request;
  };
  const Case cases[] = {
      {"reading the version", 1, 1, 1, LinkStates::Idle},
      {"reading the parameters", 2, 2, 2, LinkStates::Idle},
      {"in the middle of the memory", 4, 20, 3, LinkStates::Idle},
      {"in the memory's last piece", 4, 64, 3, LinkStates::Idle},
      {"before the refresh", 0, 0, 4, LinkStates::Idle},
      {"reading the object names", 6, 2, 5, LinkStates::ReadObjects},
      {"writing the materials", 5, 3, 5, LinkStates::WriteMaterials},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    FreshInstrument();
    dev.pending.clear();
    pipe.opened = false;
    Passes(c.passes);
    const auto before = std::make_unique<DeviceImages>(Images);
    Ticket ticket;
    if (c.request != LinkStates::Idle) ticket = Request(c.request, Pattern(kMaterialsBlockSize, 9));
    log.Take();
    bool opened = false;
    auto openFile = [&] {
      // The window copies the file in under the lock right after this.
      shared.FileOpened();
      opened = true;
      log.Add("file opened");
    };
    dev.onOp = [&](int cmd, int op) {
      if (cmd == c.cmd && op == c.op && !opened) openFile();
    };
    if (c.cmd == 0) openFile();
    Passes(2);
    ASSERT_TRUE(opened);
    EXPECT_STATE(LinkStates::Idle);
    EXPECT_FALSE(pipe.opened);  // the instrument is free for other programs
    EXPECT_EQ(shared.Access(), LinkAccess::Closed);
    const Lines all = log.Take();
    const Lines lines(std::find(all.begin(), all.end(), "file opened"), all.end());
    const auto shown = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.rfind("status", 0) == 0 || l.rfind("lamp", 0) == 0 || l == "refresh";
    });
    EXPECT_EQ(shown, 0);
    EXPECT_LE(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("pipe read", 0) == 0; }),
              22);  // the memory is left where the file landed
    if (c.request == LinkStates::Idle) {
      EXPECT_EQ(Images.DataImage, before->DataImage);
      EXPECT_EQ(Images.ParamBlock, before->ParamBlock);
    } else {
      const bool write = c.request == LinkStates::WriteMaterials;
      EXPECT_EQ(shared.Result(ticket).outcome, write ? RequestOutcome::Done : RequestOutcome::ReplacedByFile);
      if (write) { EXPECT_EQ(test::Bytes(dev.writtenMaterials), Pattern(kMaterialsBlockSize, 9)); }
      EXPECT_EQ(Images.MaterialsBlock, before->MaterialsBlock);
      EXPECT_EQ(Images.ObjectsBlock, before->ObjectsBlock);
    }
    Passes(1);
    EXPECT_EQ(Only({"wait", "pipe"}), (Lines{"wait 50", "wait 200"}));
  }
}

// A real file open on another thread while the loop reads the memory: it does not wait
// for the transfer, and the transfer never reaches the images after it.
TEST_F(LoopTest, ADataFileOpensAtOnceDuringTheMemoryRead) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("file.zarn"));
  auto file = std::make_unique<DeviceImages>();
  for (size_t i = 0; i < file->DataImage.size(); i += 97) file->DataImage[i] = uint8_t(i / 97 + 1);
  file->ParamBlock.fill(0x11);
  ASSERT_TRUE(WriteDataFile(path, *file));

  Passes(3);
  std::promise<void> inTransfer;
  std::atomic<bool> opened{false};
  bool openedDuringTheTransfer = false;
  dev.onOp = [&](int cmd, int op) {
    if (cmd != 4 || op != 20) return;
    inTransfer.set_value();
    // The transfer goes on only once the file is in (a bound against hanging).
    for (int i = 0; i < 10000 && !opened; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    openedDuringTheTransfer = opened;
  };
  std::thread pass([this] { loop.RunPass(); });
  inTransfer.get_future().wait();
  const DataFileStatus status = OpenDataFile(path, [this] {
    std::unique_lock lock(ImagesLock, std::try_to_lock);
    if (lock.owns_lock()) shared.FileOpened();
    return lock;
  });
  opened = true;
  pass.join();
  ASSERT_EQ(status, DataFileStatus::Ok);
  EXPECT_TRUE(openedDuringTheTransfer);
  Passes(2);
  EXPECT_TRUE(Images.DataImage == file->DataImage);
  EXPECT_TRUE(Images.ParamBlock == file->ParamBlock);
  EXPECT_FALSE(pipe.opened);
  EXPECT_STATE(LinkStates::Idle);
}

TEST_F(LoopTest, DataFileOpenedWhileLookingStopsTheSearch) {
  pipe.devices.clear();
  Passes(2);
  shared.FileOpened();  // the file's images are in
  log.Take();
  Passes(3);
  EXPECT_EQ(log.Take(), (Lines{"wait 50", "wait 200", "wait 50", "wait 200", "wait 50", "wait 200"}));

  // Also when the file lands while the pipe is being opened.
  pipe.devices = {kDev0};
  ASSERT_TRUE(shared.RequestGaugeRead());
  dev.onOp = nullptr;
  struct OpenHook final : PipeLink {
    FakePipe& inner;
    LinkSharedState& shared;
    OpenHook(FakePipe& p, LinkSharedState& s) : inner(p), shared(s) {}
    uint32_t Enumerate(QByteArray& l) override { return inner.Enumerate(l); }
    int Open(QByteArrayView p) override {
      shared.FileOpened();
      return inner.Open(p);
    }
    int TransportClose() override { return inner.TransportClose(); }
    uint16_t TransportWrite(const uint8_t* b, uint32_t c) override { return inner.TransportWrite(b, c); }
    uint16_t TransportRead(uint8_t* b, uint32_t c) override { return inner.TransportRead(b, c); }
  } hooked(pipe, shared);
  ExchangeLoop racing{LoopEnvironment{shared, hooked, usb, sink, [this](int ms) { log.Add("wait " + std::to_string(ms)); },
                                      [] { return false; }, {}}};
  log.Take();
  racing.RunPass();
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_EQ(Only({"status 1", "pipe close"}), (Lines{"status 1 Проверьте подключение", "pipe close"}));
  EXPECT_FALSE(pipe.opened);
}

TEST_F(LoopTest, GaugeReadOnlyFromIdle) {
  ReadToIdle();
  shared.Set(LinkStates::ReadData);
  EXPECT_FALSE(shared.RequestGaugeRead());
  EXPECT_TRUE(shared.DataReadComplete());
  EXPECT_STATE(LinkStates::ReadData);
  shared.Set(LinkStates::Idle);
  EXPECT_TRUE(shared.RequestGaugeRead());
  EXPECT_FALSE(shared.DataReadComplete());
  EXPECT_STATE(LinkStates::Connect);
  Passes(5);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_TRUE(shared.DataReadComplete());
}

TEST_F(LoopTest, FileLoadedBeforeTheFirstPassLeavesOnlyThePipe) {
  shared.FileOpened();
  usb.loadResult = 0;
  Passes(2);
  EXPECT_EQ(shared.Kind(), TransportKinds::None);
  const Ticket ticket = Request(LinkStates::ReadObjects);  // no transport: error path, then connect
  Passes(1);
  EXPECT_STATE(LinkStates::Connect);
  EXPECT_EQ(shared.Result(ticket).outcome, RequestOutcome::NotConnected);
  pipe.devices.clear();
  log.Take();
  Passes(1);
  EXPECT_EQ(Only({"usb", "pipe"}), (Lines{"pipe enumerate"}));
  pipe.devices = {kDev0};
  Passes(5);
  EXPECT_STATE(LinkStates::Idle);
  EXPECT_EQ(shared.Kind(), TransportKinds::Pipe);
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
  EXPECT_TRUE(shared.DataReadComplete());
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
  EXPECT_FALSE(shared.DataReadComplete());
  EXPECT_TRUE(ImagesLock.try_lock());
  ImagesLock.unlock();
}

TEST_F(LoopTest, UnknownStateTakesTheErrorPath) {
  ReadToIdle();
  shared.Set(LinkStates(42));
  Passes(1);
  EXPECT_STATE(42);  // a whole read is behind it
  shared.SetDataReadComplete(false);
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
    EXPECT_NE(shared.State(), LinkStates::Idle);
    EXPECT_FALSE(shared.DataReadComplete());
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
  EXPECT_TRUE(shared.DataReadComplete());
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
    const Ticket ticket = Request(LinkStates::ReadObjects);
    Passes(1);
    sink.onFailure = nullptr;
    EXPECT_STATE(LinkStates::ReadObjects);  // tried again until the requester gives up
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(*failed, (LinkFailure{LinkBlock::Objects, LinkFault::ReplyCut}));
    EXPECT_EQ(LinkFailureText(*failed, kEnglish), "the objects block: the reply stopped short");
    EXPECT_TRUE(std::all_of(Images.ObjectsBlock.begin(), Images.ObjectsBlock.end(),
                            [](uint8_t b) { return b == 0x5A; }));
    const RequestResult result = shared.Withdraw(ticket);
    EXPECT_EQ(result.outcome, RequestOutcome::Failed);
    EXPECT_EQ(result.failure, *failed);
  }
}

// Another program holds the instrument: nothing is sent, the status says so once, and
// the loop keeps looking until the instrument is free.
TEST_F(LoopTest, AnInstrumentInUseIsNotTalkedTo) {
  for (bool viaUsb : {false, true}) {
    SCOPED_TRACE(viaUsb ? "libusb" : "pipe");
    SetUp();
    
    usb.loadResult = viaUsb ? 0 : 1;
    pipe.devices = viaUsb ? std::vector<std::string>{} : std::vector<std::string>{kDev0};
    (viaUsb ? usb.inUse : pipe.inUse) = true;
    Passes(3);
    EXPECT_STATE(LinkStates::Connect);
    EXPECT_EQ(shared.Access(), LinkAccess::InUse);
    const Lines lines = log.Take();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(" write ") != std::string::npos; }),
              0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "status 1 Прибор занят другой программой"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "status 1 Проверьте подключение"), 1);
    (viaUsb ? usb.inUse : pipe.inUse) = false;
    Passes(5);
    EXPECT_STATE(LinkStates::Idle);
    EXPECT_EQ(shared.Access(), LinkAccess::Closed);  // let go after the read
    // A request meets the instrument held by another program: it waits, says so.
    (viaUsb ? usb.inUse : pipe.inUse) = true;
    log.Take();
    const Ticket ticket = Request(LinkStates::ReadObjects);
    Passes(2);
    EXPECT_EQ(Only({"status 1"}), (Lines{"status 1 Прибор занят другой программой"}));
    EXPECT_EQ(shared.Withdraw(ticket).outcome, RequestOutcome::InUse);
    (viaUsb ? usb.inUse : pipe.inUse) = false;
  }
}

TEST(LastDevicePath, TakesTheLastLine) {
  EXPECT_EQ(LastDevicePath("a\nbb\nccc\n"), QByteArrayView("ccc"));
  EXPECT_EQ(LastDevicePath("only\n"), QByteArrayView("only"));
  EXPECT_EQ(LastDevicePath("a\n\n"), QByteArrayView(""));
}

}  // namespace
