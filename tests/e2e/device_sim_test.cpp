// zarn26-sim as a real process, spoken to through the program's PipeTransport: every
// command, the written blocks and what it saves, the lengths it can be told to
// announce, garbage, and each injected fault.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <memory>
#include <thread>

#include "data/datafile.h"
#include "device/pipeio.h"
#include "device_helpers.h"

namespace zarn {
namespace {

using testing::Exchange;
using testing::Simulator;

void Fill(uint8_t* bytes, size_t count, uint32_t seed) {
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    bytes[i] = uint8_t(seed >> 24);
  }
}

std::unique_ptr<DeviceImages> PatternedImages(uint32_t seed) {
  auto images = std::make_unique<DeviceImages>();
  Fill(images->ParamBlock.data(), kParamBlockSize, seed);
  Fill(images->MaterialsBlock.data(), kMaterialsBlockSize, seed + 1);
  Fill(images->ObjectsBlock.data(), kObjectsBlockSize, seed + 2);
  Fill(images->DataImage.data(), kDataImageSize, seed + 3);
  return images;
}

template <size_t N>
std::vector<uint8_t> AsVector(const std::array<uint8_t, N>& block, size_t count = N) {
  return {block.begin(), block.begin() + long(count)};
}

// Stops the process and waits until it has stopped (the signal alone does not wait).
bool HoldStill(pid_t pid) {
  ::kill(pid, SIGSTOP);
  for (int i = 0; i < 500; ++i) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');  // the name may hold blanks
    if (close > 0 && text.mid(close + 2, 1) == "T") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = dir_.filePath(QStringLiteral("root"));
    dataFile_ = dir_.filePath(QStringLiteral("source.zarn"));
    source_ = PatternedImages(7);
    ASSERT_TRUE(WriteDataFile(dataFile_, *source_));
    pipe_.SetTimeout(3000);
  }

  // Starts the simulator with `args` and opens a connection to it.
  QByteArray Start(const QStringList& args) {
    const QByteArray path = sim_.Start(args);
    EXPECT_FALSE(path.isEmpty()) << "the simulator did not report READY";
    return path;
  }
  bool Connect(const QByteArray& path) { return pipe_.Open(path) == 0; }
  void Disconnect() { pipe_.TransportClose(); }

  QTemporaryDir dir_;
  QString root_;
  QString dataFile_;
  std::unique_ptr<DeviceImages> source_;
  Simulator sim_{dir_.filePath(QStringLiteral("root"))};
  PipeTransport pipe_{QStringList{dir_.filePath(QStringLiteral("root"))}};
  Exchange x_{pipe_};
};

TEST_F(SimulatorTest, AnnouncesItsFolderAndServesEveryReadCommand) {
  const QByteArray path =
      Start({QStringLiteral("--data"), dataFile_, QStringLiteral("--name"), QStringLiteral("dev")});
  ASSERT_FALSE(path.isEmpty());
  QByteArray list;
  ASSERT_EQ(pipe_.Enumerate(list), 1u);
  EXPECT_EQ(list, path + '\n');
  EXPECT_TRUE(path.endsWith("/{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}/dev"));

  // The start-up read, on one connection.
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x01));
  const std::vector<uint8_t> version = x_.Reply();
  EXPECT_EQ(std::string(version.begin(), version.end()), "Zarn-2.6 v3.14 sn 0001");
  ASSERT_TRUE(x_.Command(0x02));
  EXPECT_EQ(x_.Reply(), AsVector(source_->ParamBlock));
  EXPECT_EQ(x_.Reply(), AsVector(source_->MaterialsBlock));
  ASSERT_TRUE(x_.Command(0x04));
  EXPECT_EQ(x_.Length(), int64_t(kDataImageSize));
  std::vector<uint8_t> data(kDataImageSize);
  for (size_t i = 0; i < 64; ++i) {  // as the program reads it
    ASSERT_EQ(pipe_.TransportRead(data.data() + i * 131072, 131072), kPipeOk) << i;
  }
  EXPECT_TRUE(data == AsVector(source_->DataImage));
  Disconnect();

  // Each request on a connection of its own, one after another.
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(Connect(path)) << round;
    ASSERT_TRUE(x_.Command(0x06));
    EXPECT_EQ(x_.Reply(), AsVector(source_->ObjectsBlock));
    Disconnect();
  }
  EXPECT_EQ(sim_.Stop(), 0);
  EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(path)));  // cleaned up
  EXPECT_FALSE(QFileInfo::exists(root_));                    // it made the root too
}

TEST_F(SimulatorTest, KeepsWrittenBlocksAndSavesThemOnExit) {
  const QString saved = dir_.filePath(QStringLiteral("saved.zarn"));
  const QByteArray path = Start({QStringLiteral("--data"), dataFile_,
                                 QStringLiteral("--save-on-exit"), saved});
  ASSERT_FALSE(path.isEmpty());
  const auto written = PatternedImages(99);

  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.WriteBlock(0x05, written->MaterialsBlock.data(), kMaterialsBlockSize));
  Disconnect();
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.WriteBlock(0x07, written->ObjectsBlock.data(), kObjectsBlockSize));
  ASSERT_TRUE(x_.Command(0x06));  // on the same connection, after the block
  EXPECT_EQ(x_.Reply(), AsVector(written->ObjectsBlock));
  ASSERT_TRUE(x_.Command(0x02));
  EXPECT_EQ(x_.Reply(), AsVector(source_->ParamBlock));
  EXPECT_EQ(x_.Reply(), AsVector(written->MaterialsBlock));
  Disconnect();

  // A block cut short by the end of its connection changes nothing.
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x05));
  const uint8_t length[4] = {0x38, 0x04, 0, 0};  // 1080
  ASSERT_EQ(pipe_.TransportWrite(length, 4), kPipeOk);
  ASSERT_EQ(pipe_.TransportWrite(source_->MaterialsBlock.data(), 64), kPipeOk);
  Disconnect();

  EXPECT_EQ(sim_.Stop(SIGINT), 0);
  auto result = std::make_unique<DeviceImages>();
  ASSERT_EQ(ReadDataFile(saved, *result), DataFileStatus::Ok);
  EXPECT_EQ(result->MaterialsBlock, written->MaterialsBlock);
  EXPECT_EQ(result->ObjectsBlock, written->ObjectsBlock);
  EXPECT_EQ(result->ParamBlock, source_->ParamBlock);
  EXPECT_TRUE(result->DataImage == source_->DataImage);
}

TEST_F(SimulatorTest, WhatCameBeforeACloseStillCounts) {
  // The simulator is held still while the computer writes a whole block and leaves, and
  // the next connection sends its command: on waking it must store the block and
  // answer the new connection, not the old one.
  const QByteArray path = Start({QStringLiteral("--data"), dataFile_});
  ASSERT_FALSE(path.isEmpty());
  const auto written = PatternedImages(41);
  const pid_t pid = pid_t(sim_.Process().Process().processId());

  ASSERT_TRUE(HoldStill(pid));
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.WriteBlock(0x05, written->MaterialsBlock.data(), kMaterialsBlockSize));
  Disconnect();
  ::kill(pid, SIGCONT);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x02));
  EXPECT_EQ(x_.Reply(), AsVector(source_->ParamBlock));
  EXPECT_EQ(x_.Reply(), AsVector(written->MaterialsBlock));
  Disconnect();

  // The same, with the next connection's command already waiting too.
  ASSERT_TRUE(HoldStill(pid));
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.WriteBlock(0x07, written->ObjectsBlock.data(), kObjectsBlockSize));
  Disconnect();
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x06));
  ::kill(pid, SIGCONT);
  EXPECT_EQ(x_.Reply(), AsVector(written->ObjectsBlock));
  Disconnect();
  EXPECT_EQ(sim_.Stop(), 0);
}

TEST_F(SimulatorTest, AnnouncesTheLengthsItIsToldTo) {
  const QByteArray path =
      Start({QStringLiteral("--data"), dataFile_, QStringLiteral("--version-text"),
             QStringLiteral("Зарн v1"), QStringLiteral("--version-length"), QStringLiteral("150"),
             QStringLiteral("--data-length"), QStringLiteral("1000"), QStringLiteral("--no-processes")});
  ASSERT_FALSE(path.isEmpty());
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x01));
  const std::vector<uint8_t> version = x_.Reply();
  ASSERT_EQ(version.size(), 150u);
  // Code page 1251, then NULs up to the announced length.
  EXPECT_EQ(version[0], 0xC7);
  EXPECT_EQ(version[3], 0xED);
  EXPECT_EQ(version[6], '1');
  EXPECT_EQ(version[7], 0);
  EXPECT_EQ(version[149], 0);
  ASSERT_TRUE(x_.Command(0x02));
  EXPECT_EQ(x_.Reply(), std::vector<uint8_t>(kParamBlockSize, 0));  // no processes
  EXPECT_EQ(x_.Reply(), AsVector(source_->MaterialsBlock));
  ASSERT_TRUE(x_.Command(0x04));
  EXPECT_EQ(x_.Reply(), AsVector(source_->DataImage, 1000));
}

TEST_F(SimulatorTest, AbsurdLengthsAndAVersionCutShort) {
  const QByteArray path =
      Start({QStringLiteral("--data"), dataFile_, QStringLiteral("--garbage-length"),
             QStringLiteral("02"), QStringLiteral("--version-length"), QStringLiteral("4"),
             QStringLiteral("--data-length"), QStringLiteral("40")});
  ASSERT_FALSE(path.isEmpty());
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x01));
  const std::vector<uint8_t> version = x_.Reply();
  EXPECT_EQ(std::string(version.begin(), version.end()), "Zarn");
  ASSERT_TRUE(x_.Command(0x02));
  EXPECT_EQ(x_.Length(), 0xFFFFFFF0);
  EXPECT_EQ(x_.Bytes(kParamBlockSize), AsVector(source_->ParamBlock));
  EXPECT_EQ(x_.Length(), int64_t(kMaterialsBlockSize));  // only the first length
  EXPECT_EQ(x_.Bytes(kMaterialsBlockSize), AsVector(source_->MaterialsBlock));
  ASSERT_TRUE(x_.Command(0x04));
  EXPECT_EQ(x_.Reply().size(), 40u);
}

TEST_F(SimulatorTest, SkipsGarbageAndSurvivesAClientThatLeavesMidReply) {
  const QByteArray path = Start({QStringLiteral("--data"), dataFile_});
  ASSERT_FALSE(path.isEmpty());
  ASSERT_TRUE(Connect(path));
  // Noise, a command that means nothing (03 FC), an unknown one (08 F7), a broken pair,
  // then a version request split across two writes.
  const uint8_t noise[] = {0xAA, 0x55, 0x03, 0xFC, 0x08, 0xF7, 0x02, 0x02, 0x01};
  ASSERT_EQ(pipe_.TransportWrite(noise, sizeof noise), kPipeOk);
  const uint8_t rest = 0xFE;
  ASSERT_EQ(pipe_.TransportWrite(&rest, 1), kPipeOk);
  EXPECT_EQ(x_.Reply().size(), 22u);

  // Ask for the whole memory, take 4 bytes of it and leave.
  ASSERT_TRUE(x_.Command(0x04));
  EXPECT_EQ(x_.Length(), int64_t(kDataImageSize));
  Disconnect();
  // The next connection, after the pause the program always leaves, starts clean.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x06));
  EXPECT_EQ(x_.Reply(), AsVector(source_->ObjectsBlock));
  Disconnect();
  // A writer that sends a command without opening the reply side first is ignored.
  {
    pipeio::UniqueFd rogue(pipeio::OpenNonBlocking((path + "/Pipe00").constData(), O_WRONLY));
    ASSERT_TRUE(rogue.valid());
    const uint8_t command[2] = {0x04, 0xFB};
    ASSERT_EQ(::write(rogue.get(), command, 2), 2);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x01));
  EXPECT_EQ(x_.Reply().size(), 22u);
  Disconnect();
  EXPECT_EQ(sim_.Stop(), 0);
}

TEST_F(SimulatorTest, UnplugsMidReplyAndComesBackAsAFreshDevice) {
  const QByteArray path = Start({QStringLiteral("--data"), dataFile_, QStringLiteral("--unplug-on"),
                                 QStringLiteral("04,100000"), QStringLiteral("--replug-after"),
                                 QStringLiteral("300")});
  ASSERT_FALSE(path.isEmpty());
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x04));
  EXPECT_EQ(x_.Length(), int64_t(kDataImageSize));
  std::vector<uint8_t> data(131072);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pipe_.TransportRead(data.data(), 131072), kPipeIoFailure);
  // The end of the link, not a time-out.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(pipe_.Timeout()));
  EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(path)));
  const uint8_t command[2] = {0x01, 0xFE};
  EXPECT_EQ(pipe_.TransportWrite(command, 2), kPipeIoFailure);  // and no SIGPIPE
  Disconnect();

  QByteArray list;
  for (int i = 0; i < 100 && pipe_.Enumerate(list) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(list, path + '\n');
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x04));  // once only: now the whole memory comes
  EXPECT_EQ(x_.Reply().size(), kDataImageSize);
  Disconnect();
  EXPECT_EQ(sim_.Stop(), 0);
  EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(path)));
}

TEST_F(SimulatorTest, UnplugWithoutReplugStaysAway) {
  const QByteArray path =
      Start({QStringLiteral("--data"), dataFile_, QStringLiteral("--unplug-on"), QStringLiteral("1")});
  ASSERT_FALSE(path.isEmpty());
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x01));
  EXPECT_EQ(x_.Length(), -1);
  Disconnect();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  QByteArray list;
  EXPECT_EQ(pipe_.Enumerate(list), 0u);
  EXPECT_EQ(sim_.Stop(), 0);  // still answers signals
}

TEST_F(SimulatorTest, StallsAfterTheGivenBytesAndCanBeSlow) {
  const QByteArray path = Start({QStringLiteral("--data"), dataFile_, QStringLiteral("--stall-after"),
                                 QStringLiteral("5000"), QStringLiteral("--slow"),
                                 QStringLiteral("20")});
  ASSERT_FALSE(path.isEmpty());
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x02));
  EXPECT_EQ(x_.Length(), int64_t(kParamBlockSize));
  std::vector<uint8_t> block(kParamBlockSize, 0);
  pipe_.SetTimeout(400);
  EXPECT_EQ(pipe_.TransportRead(block.data(), uint32_t(kParamBlockSize)), kPipeIoFailure);
  // Exactly 5000 bytes came (4 of them the length), in slow chunks.
  EXPECT_TRUE(std::equal(block.begin(), block.begin() + 4996, source_->ParamBlock.begin()));
  EXPECT_EQ(block[4996], 0);
  Disconnect();
  EXPECT_EQ(sim_.Stop(), 0);  // a stalled instrument still ends cleanly
}

TEST_F(SimulatorTest, RefusesASecondInstrumentOnTheSameFolder) {
  const QByteArray path = Start({QStringLiteral("--name"), QStringLiteral("one")});
  ASSERT_FALSE(path.isEmpty());
  Simulator second(root_);
  EXPECT_TRUE(second.Start({QStringLiteral("--name"), QStringLiteral("one")}).isEmpty());
  EXPECT_EQ(second.Process().Wait(10000), 1);
  EXPECT_TRUE(QFileInfo::exists(QString::fromUtf8(path)));  // the first one's folder stays
  EXPECT_EQ(sim_.Stop(), 0);
}

TEST_F(SimulatorTest, ReplacesPipesLeftBehind) {
  const QString folder = root_ + QStringLiteral("/{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}/left");
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/Pipe00")).constData(), 0600), 0);
  const QByteArray path = Start({QStringLiteral("--name"), QStringLiteral("left")});
  ASSERT_FALSE(path.isEmpty());
  ASSERT_TRUE(Connect(path));
  ASSERT_TRUE(x_.Command(0x01));
  EXPECT_EQ(x_.Reply().size(), 22u);
}

TEST(SimulatorArguments, BadArgumentsExitWithTwoAndHelpWithZero) {
  const QStringList bad[] = {
      {QStringLiteral("--bogus")},
      {QStringLiteral("--processes"), QStringLiteral("x")},
      {QStringLiteral("--processes"), QStringLiteral("2689")},
      {QStringLiteral("--unplug-on"), QStringLiteral("9")},
      {QStringLiteral("--unplug-on"), QStringLiteral("4,x")},
      {QStringLiteral("--replug-after"), QStringLiteral("10")},
      {QStringLiteral("--garbage-length"), QStringLiteral("0")},
      {QStringLiteral("--data-length"), QStringLiteral("99999999999")},
      {QStringLiteral("--data"), QStringLiteral("a.zarn"), QStringLiteral("--seed"),
       QStringLiteral("2")},
      {QStringLiteral("--name"), QStringLiteral("a/b")},
      {QStringLiteral("stray")},
  };
  for (const QStringList& args : bad) {
    testing::Child child;
    child.Start(QStringLiteral(ZARN_SIM_PATH), args);
    EXPECT_EQ(child.Wait(10000), 2) << args.join(u' ').toStdString();
    EXPECT_TRUE(child.Process().readAllStandardError().contains("zarn26-sim:"));
  }
  testing::Child help;
  help.Start(QStringLiteral(ZARN_SIM_PATH), {QStringLiteral("--help")});
  EXPECT_EQ(help.Wait(10000), 0);
  EXPECT_TRUE(help.Process().readAllStandardOutput().contains("--unplug-on"));

  QTemporaryDir dir;
  const QString notData = dir.filePath(QStringLiteral("not.zarn"));
  QFile file(notData);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a data file");
  file.close();
  testing::Child damaged;
  damaged.Start(QStringLiteral(ZARN_SIM_PATH),
                {QStringLiteral("--root"), dir.path(), QStringLiteral("--data"), notData});
  EXPECT_EQ(damaged.Wait(10000), 3);
}

}  // namespace
}  // namespace zarn
