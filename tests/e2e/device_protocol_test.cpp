// The simulator's side of the device protocol, without processes or pipes.

#include <gtest/gtest.h>

#include <memory>

#include "common/bytes.h"
#include "server_protocol.h"

namespace zarn::sim {
namespace {

class ProtocolTest : public ::testing::Test {
 protected:
  ProtocolTest() {
    for (size_t i = 0; i < kMaterialsBlockSize; ++i) images_->MaterialsBlock[i] = uint8_t(i);
    for (size_t i = 0; i < kObjectsBlockSize; ++i) images_->ObjectsBlock[i] = uint8_t(i * 3);
    settings_.versionText = "Zarn-2.6";
    settings_.versionLength = 8;
  }

  std::vector<Reply> Feed(InstrumentProtocol& protocol, std::vector<uint8_t> bytes) {
    std::vector<Reply> replies;
    protocol.Feed(bytes.data(), bytes.size(), replies);
    return replies;
  }
  static std::vector<uint8_t> Block(uint8_t command, uint32_t length, uint8_t fill) {
    std::vector<uint8_t> bytes{command, uint8_t(0xFF - command), 0, 0, 0, 0};
    PutU32(bytes.data() + 2, length);
    bytes.insert(bytes.end(), length, fill);
    return bytes;
  }

  std::unique_ptr<DeviceImages> images_ = std::make_unique<DeviceImages>();
  ProtocolSettings settings_;
};

TEST_F(ProtocolTest, RepliesAreFramedWithTheirLengths) {
  InstrumentProtocol protocol(*images_, settings_);
  const auto replies = Feed(protocol, {0x01, 0xFE, 0x02, 0xFD, 0x06, 0xF9, 0x04, 0xFB});
  ASSERT_EQ(replies.size(), 4u);
  EXPECT_EQ(replies[0].command, 1);
  EXPECT_EQ(replies[0].bytes, QByteArray("\x08\0\0\0Zarn-2.6", 12));
  const auto* params = reinterpret_cast<const uint8_t*>(replies[1].bytes.constData());
  ASSERT_EQ(replies[1].bytes.size(), qsizetype(8 + kParamBlockSize + kMaterialsBlockSize));
  EXPECT_EQ(GetU32(params), kParamBlockSize);
  EXPECT_EQ(GetU32(params + 4 + kParamBlockSize), kMaterialsBlockSize);
  EXPECT_EQ(params[4 + kParamBlockSize + 4 + 100], 100);
  EXPECT_EQ(replies[2].bytes.size(), qsizetype(4 + kObjectsBlockSize));
  EXPECT_EQ(replies[3].bytes.size(), qsizetype(4 + kDataImageSize));
}

TEST_F(ProtocolTest, CommandsSplitAcrossFeedsAndGarbageBetweenThem) {
  InstrumentProtocol protocol(*images_, settings_);
  EXPECT_TRUE(Feed(protocol, {0x00, 0xFF, 0x01}).empty());  // 00 FF is no command
  const auto replies = Feed(protocol, {0xFE, 0x03, 0xFC, 0x09, 0xF6, 0x06, 0xF9});
  ASSERT_EQ(replies.size(), 2u);  // 03 FC and 09 F6 are ignored
  EXPECT_EQ(replies[0].command, 1);
  EXPECT_EQ(replies[1].command, 6);
  EXPECT_EQ(protocol.SkippedBytes(), 4u);  // 00, FF, 09, F6
}

TEST_F(ProtocolTest, WrittenBlocksReplaceTheStoredOnesWhenComplete) {
  InstrumentProtocol protocol(*images_, settings_);
  std::vector<uint8_t> bytes = Block(0x05, kMaterialsBlockSize, 0x5A);
  // In the program's pieces of 64 bytes.
  for (size_t at = 0; at < bytes.size(); at += 64) {
    const size_t end = std::min(bytes.size(), at + 64);
    const auto replies = Feed(protocol, {bytes.begin() + long(at), bytes.begin() + long(end)});
    // The command is reported when it arrives, the block when it is stored.
    EXPECT_EQ(replies.size(), at == 0 || at + 64 >= bytes.size() ? 1u : 0u);
    if (!replies.empty()) {
      EXPECT_EQ(replies[0].stored, at != 0);
    }
    if (at + 64 < bytes.size()) {
      EXPECT_EQ(images_->MaterialsBlock[0], 0);
    }
  }
  EXPECT_EQ(images_->MaterialsBlock[kMaterialsBlockSize - 1], 0x5A);

  // A shorter block replaces the start only; a longer one fills the block and the rest
  // of it is consumed, not taken for commands.
  Feed(protocol, Block(0x07, 10, 0x11));
  EXPECT_EQ(images_->ObjectsBlock[9], 0x11);
  EXPECT_EQ(images_->ObjectsBlock[10], 30);
  std::vector<uint8_t> longer = Block(0x07, 700, 0x01);
  longer[2 + 4 + 650] = 0x01;  // "01 FE" inside the surplus must not answer
  longer[2 + 4 + 651] = 0xFE;
  const auto replies = Feed(protocol, longer);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].command, 7);
  EXPECT_TRUE(replies[1].stored);
  EXPECT_EQ(images_->ObjectsBlock[599], 0x01);
}

TEST_F(ProtocolTest, AnAbsurdBlockLengthOrAResetDropsTheBlock) {
  InstrumentProtocol protocol(*images_, settings_);
  std::vector<uint8_t> absurd{0x05, 0xFA, 0xFF, 0xFF, 0xFF, 0x7F, 0x06, 0xF9};
  const auto replies = Feed(protocol, absurd);
  ASSERT_EQ(replies.size(), 2u);  // the command after it is served
  EXPECT_FALSE(replies[0].stored);
  EXPECT_EQ(replies[1].command, 6);
  EXPECT_EQ(images_->MaterialsBlock[5], 5);

  std::vector<uint8_t> half = Block(0x05, kMaterialsBlockSize, 0x77);
  half.resize(500);
  Feed(protocol, half);
  protocol.Reset();  // the connection ended
  EXPECT_EQ(images_->MaterialsBlock[5], 5);
  EXPECT_EQ(Feed(protocol, {0x01, 0xFE}).size(), 1u);
}

TEST_F(ProtocolTest, AnnouncedLengthsAndAnAbsurdOne) {
  settings_.versionLength = 12;
  settings_.dataLength = kDataImageSize + 10;
  settings_.garbageLengthCommand = 6;
  images_->DataImage[kDataImageSize - 1] = 0xEE;
  InstrumentProtocol protocol(*images_, settings_);
  const auto replies = Feed(protocol, {0x01, 0xFE, 0x04, 0xFB, 0x06, 0xF9});
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0].bytes, QByteArray("\x0C\0\0\0Zarn-2.6\0\0\0\0", 16));
  const QByteArray& data = replies[1].bytes;
  ASSERT_EQ(data.size(), qsizetype(4 + kDataImageSize + 10));
  EXPECT_EQ(uint8_t(data[qsizetype(4 + kDataImageSize - 1)]), 0xEE);
  EXPECT_EQ(data[qsizetype(4 + kDataImageSize)], '\0');
  EXPECT_EQ(GetU32(reinterpret_cast<const uint8_t*>(replies[2].bytes.constData())), kAbsurdLength);
  EXPECT_EQ(replies[2].bytes.size(), qsizetype(4 + kObjectsBlockSize));
}

}  // namespace
}  // namespace zarn::sim
