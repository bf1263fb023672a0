// PipeTransport against real FIFOs in temporary roots, with the instrument's end played
// by the test (sometimes from a second thread).

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <thread>

#include "transport_helpers.h"

namespace zarn {
namespace {

using testing::Bytes;
using testing::FakeInstrument;
using testing::MakeDevice;
using testing::MillisecondsSince;
using testing::Pattern;

class PipeTransportTest : public ::testing::Test {
 protected:
  QTemporaryDir root_;
  PipeTransport pipe_{QStringList{root_.path()}};

  QByteArray PathOf(const QString& folder) { return QFile::encodeName(folder); }
};

TEST(PipeTransportRoots, DefaultRootsFollowTheRuntimeFolder) {
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qunsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(PipeTransport::DefaultRoots(), QStringList{QStringLiteral("/run/zarn26")});
  qputenv("XDG_RUNTIME_DIR", "/run/user/1000");
  EXPECT_EQ(PipeTransport::DefaultRoots(),
            (QStringList{QStringLiteral("/run/zarn26"), QStringLiteral("/run/user/1000/zarn26")}));
  if (saved.isNull()) qunsetenv("XDG_RUNTIME_DIR");
  else qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(PipeTransportEnumerate, ListsRootByRootInByteOrderAndOnlyCompleteDevices) {
  QTemporaryDir first, second;
  const QString classOf1 = first.path() + u'/' + QLatin1StringView(PipeTransport::kClassFolder);
  const QString classOf2 = second.path() + u'/' + QLatin1StringView(PipeTransport::kClassFolder);
  MakeDevice(first.path(), QStringLiteral("b"));
  MakeDevice(first.path(), QStringLiteral("a"));
  MakeDevice(first.path(), QStringLiteral("B"));
  MakeDevice(first.path(), QStringLiteral("\u00e9"));  // bytes C3 A9 sort after ASCII
  MakeDevice(first.path(), QStringLiteral("only-out"), {QStringLiteral("Pipe00")});
  MakeDevice(first.path(), QStringLiteral("only-in"), {QStringLiteral("Pipe01")});
  // Plain files named like the pipes are not a device.
  const QString plain = MakeDevice(first.path(), QStringLiteral("plain"), {});
  QFile(plain + QStringLiteral("/Pipe00")).open(QIODevice::WriteOnly);
  QFile(plain + QStringLiteral("/Pipe01")).open(QIODevice::WriteOnly);
  QFile(classOf1 + QStringLiteral("/loose-file")).open(QIODevice::WriteOnly);
  MakeDevice(second.path(), QStringLiteral("0"));

  // A root that does not exist is passed over; a trailing '/' changes nothing.
  PipeTransport pipe({first.path() + u'/', QStringLiteral("/nonexistent/zarn26"), second.path()});
  QByteArray list = "stale";
  EXPECT_EQ(pipe.Enumerate(list), 5u);
  const QByteArray expected = QFile::encodeName(classOf1 + QStringLiteral("/B\n") + classOf1 +
                                                QStringLiteral("/a\n") + classOf1 +
                                                QStringLiteral("/b\n") + classOf1 +
                                                QStringLiteral("/\u00e9\n") + classOf2 +
                                                QStringLiteral("/0\n"));
  EXPECT_EQ(list, expected);

  PipeTransport empty({QStringLiteral("/nonexistent")});
  EXPECT_EQ(empty.Enumerate(list), 0u);
  EXPECT_TRUE(list.isEmpty());
}

TEST_F(PipeTransportTest, CharacterDevicesServeAsPipes) {
  const QString folder = MakeDevice(root_.path(), QStringLiteral("chr"), {});
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), folder + QStringLiteral("/Pipe00")));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), folder + QStringLiteral("/Pipe01")));
  QByteArray list;
  ASSERT_EQ(pipe_.Enumerate(list), 1u);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  const uint8_t command[2] = {0x01, 0xFE};
  EXPECT_EQ(pipe_.TransportWrite(command, 2), kPipeOk);
  std::vector<uint8_t> reply(100, 0xAA);
  EXPECT_EQ(pipe_.TransportRead(reply.data(), 100), kPipeOk);
  EXPECT_EQ(reply, std::vector<uint8_t>(100, 0));
}

TEST_F(PipeTransportTest, ResultCodesWhenClosedAndForBadArguments) {
  uint8_t byte = 0;
  EXPECT_EQ(pipe_.TransportWrite(&byte, 1), kPipeNotOpen);
  EXPECT_EQ(pipe_.TransportRead(&byte, 1), kPipeNotOpen);
  EXPECT_EQ(pipe_.TransportClose(), 0);  // harmless when closed
  EXPECT_EQ(pipe_.TransportClose(), 0);

  const QString folder = MakeDevice(root_.path(), QStringLiteral("dev"));
  FakeInstrument instrument(folder);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  EXPECT_TRUE(pipe_.IsOpen());
  EXPECT_EQ(pipe_.TransportRead(&byte, 0), kPipeBadArgument);
  EXPECT_EQ(pipe_.TransportRead(nullptr, 4), kPipeBadArgument);
  EXPECT_EQ(pipe_.TransportWrite(&byte, 0), kPipeBadArgument);
  EXPECT_EQ(pipe_.TransportWrite(nullptr, 4), kPipeBadArgument);
  EXPECT_EQ(pipe_.TransportClose(), 0);
  EXPECT_FALSE(pipe_.IsOpen());
  EXPECT_EQ(pipe_.TransportRead(&byte, 1), kPipeNotOpen);
}

TEST_F(PipeTransportTest, OpenFailsWithTheSystemErrorAndHoldsNothing) {
  // Nobody serves the device: its write side cannot open.
  const QString unserved = MakeDevice(root_.path(), QStringLiteral("unserved"));
  EXPECT_EQ(pipe_.Open(PathOf(unserved)), ENXIO);
  EXPECT_FALSE(pipe_.IsOpen());
  uint8_t byte = 0;
  EXPECT_EQ(pipe_.TransportRead(&byte, 1), kPipeNotOpen);

  EXPECT_EQ(pipe_.Open(PathOf(root_.path() + QStringLiteral("/missing"))), ENOENT);
  EXPECT_EQ(pipe_.Open(QByteArrayView()), ENOENT);  // an empty path from the list
  EXPECT_FALSE(pipe_.IsOpen());

  // Once served, the same folder opens.
  FakeInstrument instrument(unserved);
  EXPECT_EQ(pipe_.Open(PathOf(unserved)), 0);
}

TEST_F(PipeTransportTest, OpenWhileOpenKeepsTheFirstDevice) {
  const QString first = MakeDevice(root_.path(), QStringLiteral("first"));
  const QString second = MakeDevice(root_.path(), QStringLiteral("second"));
  FakeInstrument one(first), two(second);
  ASSERT_EQ(pipe_.Open(PathOf(first)), 0);
  EXPECT_EQ(pipe_.Open(PathOf(second)), 0);
  EXPECT_EQ(pipe_.Open("/no/such/path"), 0);  // the path is not even looked at
  const uint8_t command[2] = {0x02, 0xFD};
  ASSERT_EQ(pipe_.TransportWrite(command, 2), kPipeOk);
  EXPECT_EQ(one.Receive(2), std::vector<uint8_t>({0x02, 0xFD}));
  EXPECT_TRUE(two.Receive(1, 50).empty());
}

TEST_F(PipeTransportTest, AReplyInSeveralChunksIsCollectedByOneRead) {
  const QString folder = MakeDevice(root_.path(), QStringLiteral("dev"));
  FakeInstrument instrument(folder);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  const std::vector<uint8_t> reply = Pattern(200000);  // more than a pipe holds
  std::thread peer([&] {
    ASSERT_TRUE(instrument.Answer());
    for (size_t at = 0; at < reply.size(); at += 40000) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const size_t n = std::min<size_t>(40000, reply.size() - at);
      ASSERT_TRUE(instrument.Send({reply.begin() + long(at), reply.begin() + long(at + n)}));
    }
  });
  std::vector<uint8_t> got(reply.size());
  EXPECT_EQ(pipe_.TransportRead(got.data(), uint32_t(got.size())), kPipeOk);
  peer.join();
  EXPECT_EQ(got, reply);
}

TEST_F(PipeTransportTest, AReadWaitsForTheInstrumentToStartAnswering) {
  // The computer may read before the instrument has opened its side of Pipe01: that is
  // "no answer yet", not the end of the link.
  const QString folder = MakeDevice(root_.path(), QStringLiteral("dev"));
  FakeInstrument instrument(folder);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(instrument.Answer());
    ASSERT_TRUE(instrument.Send({1, 2, 3, 4}));
  });
  uint8_t got[4] = {};
  EXPECT_EQ(pipe_.TransportRead(got, 4), kPipeOk);
  peer.join();
  EXPECT_EQ(got[3], 4);
}

TEST_F(PipeTransportTest, AStalledInstrumentFailsAfterTheTimeOutAndKeepsWhatCame) {
  const QString folder = MakeDevice(root_.path(), QStringLiteral("dev"));
  FakeInstrument instrument(folder);
  pipe_.SetTimeout(150);
  EXPECT_EQ(pipe_.Timeout(), 150);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  ASSERT_TRUE(instrument.Answer());
  ASSERT_TRUE(instrument.Send({9, 8, 7}));
  std::vector<uint8_t> got(10, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pipe_.TransportRead(got.data(), 10), kPipeIoFailure);
  EXPECT_GE(MillisecondsSince(start), 150);
  EXPECT_EQ(got, std::vector<uint8_t>({9, 8, 7, 0, 0, 0, 0, 0, 0, 0}));

  // Nothing at all: the same.
  EXPECT_EQ(pipe_.TransportRead(got.data(), 1), kPipeIoFailure);

  // An instrument that stops taking bytes: the write gives up too.
  const std::vector<uint8_t> big = Pattern(1 << 20);
  EXPECT_EQ(pipe_.TransportWrite(big.data(), uint32_t(big.size())), kPipeIoFailure);
}

TEST_F(PipeTransportTest, TheTimeOutCountsFromTheLastProgress) {
  const QString folder = MakeDevice(root_.path(), QStringLiteral("dev"));
  FakeInstrument instrument(folder);
  pipe_.SetTimeout(600);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  ASSERT_TRUE(instrument.Answer());
  std::thread peer([&] {
    for (uint8_t i = 0; i < 8; ++i) {  // about 1.2 s in all, 150 ms between bytes
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      ASSERT_TRUE(instrument.Send({i}));
    }
  });
  uint8_t got[8] = {};
  EXPECT_EQ(pipe_.TransportRead(got, 8), kPipeOk);
  peer.join();
  EXPECT_EQ(got[7], 7);
}

TEST_F(PipeTransportTest, AVanishedInstrumentFailsAtOnceWithoutSigpipe) {
  const QString folder = MakeDevice(root_.path(), QStringLiteral("dev"));
  auto instrument = std::make_unique<FakeInstrument>(folder);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  ASSERT_TRUE(instrument->Answer());
  ASSERT_TRUE(instrument->Send({5, 6}));
  instrument.reset();  // both of its ends close

  uint8_t got[4] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pipe_.TransportRead(got, 4), kPipeIoFailure);
  EXPECT_EQ(got[0], 5);  // what came before stays
  EXPECT_EQ(got[1], 6);
  // Writing into a pipe nobody reads would raise SIGPIPE and end the test program.
  const uint8_t command[2] = {0x04, 0xFB};
  EXPECT_EQ(pipe_.TransportWrite(command, 2), kPipeIoFailure);
  EXPECT_LT(MillisecondsSince(start), pipe_.Timeout());  // not a time-out: the end of the link
  sigset_t pending;
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
  EXPECT_EQ(pipe_.TransportClose(), 0);
}

TEST_F(PipeTransportTest, AnInterruptEndsAStalledTransferAtOnceUntilCleared) {
  const QString folder = MakeDevice(root_.path(), QStringLiteral("dev"));
  FakeInstrument instrument(folder);
  ASSERT_EQ(pipe_.Timeout(), 2000);
  ASSERT_EQ(pipe_.Open(PathOf(folder)), 0);
  ASSERT_TRUE(instrument.Answer());
  std::thread closing([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pipe_.Interrupt();
  });
  uint8_t got[4] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pipe_.TransportRead(got, 4), kPipeIoFailure);  // the instrument is silent
  closing.join();
  EXPECT_LT(MillisecondsSince(start), 1000);
  // Later transfers fail at once too, even with bytes waiting, until cleared.
  ASSERT_TRUE(instrument.Send({1, 2}));
  EXPECT_EQ(pipe_.TransportRead(got, 2), kPipeIoFailure);
  pipe_.ClearInterrupt();
  ASSERT_TRUE(instrument.Send({3, 4}));
  EXPECT_EQ(pipe_.TransportRead(got, 4), kPipeOk);
  EXPECT_EQ(got[3], 4);
}

TEST_F(PipeTransportTest, ProgramWideInstanceUsesTheDefaultRoots) {
  EXPECT_EQ(&ThePipeTransport(), &ThePipeTransport());
  EXPECT_EQ(ThePipeTransport().Roots().value(0), QStringLiteral("/run/zarn26"));
  EXPECT_EQ(ThePipeTransport().Timeout(), PipeTransport::kDefaultTimeoutMs);
}

}  // namespace
}  // namespace zarn
