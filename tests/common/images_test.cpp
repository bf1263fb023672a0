#include <gtest/gtest.h>

#include <array>

#include "common/bytes.h"
#include "common/images.h"

using namespace zarn;

namespace {
struct Param {
  std::array<uint8_t, kParamBlockSize> b{};
  void Set(uint32_t i, uint16_t offset, uint8_t page, uint8_t marker) {
    PutU16(&b[i * 4], offset);
    b[i * 4 + 2] = page;
    b[i * 4 + 3] = marker;
  }
};
}  // namespace

TEST(CountProcesses, ValidityBoundaries) {
  Param p;
  p.Set(0, 511, 0, 1);
  EXPECT_EQ(CountProcesses(p.b.data()), 0u);
  p.Set(0, 512, 127, 33);
  EXPECT_EQ(CountProcesses(p.b.data()), 1u);
  p.Set(1, 600, 128, 1);
  EXPECT_EQ(CountProcesses(p.b.data()), 1u);
  p.Set(1, 600, 1, 34);
  EXPECT_EQ(CountProcesses(p.b.data()), 1u);
  p.Set(1, 65535, 1, 1);
  EXPECT_EQ(CountProcesses(p.b.data()), 2u);
}

TEST(CountProcesses, FirstInvalidEntryEndsTheDirectory) {
  Param p;
  for (uint32_t i = 0; i < 7; ++i) p.Set(i, 1024, 0, 5);
  p.Set(5, 1024, 0, 0);
  EXPECT_EQ(CountProcesses(p.b.data()), 5u);
}

TEST(CountProcesses, FullDirectoryStopsAtTheBlockEnd) {
  Param p;
  for (uint32_t i = 0; i < kDirectoryEntries; ++i) p.Set(i, 512, uint8_t(i % 128), 1);
  EXPECT_EQ(CountProcesses(p.b.data()), 2688u);
}

TEST(CountProcesses, GlobalImagesSetProcessCount) {
  Images.ParamBlock.fill(0);
  PutU16(&Images.ParamBlock[0], 512);
  Images.ParamBlock[3] = 1;
  CountProcesses();
  EXPECT_EQ(ProcessCount.load(), 1u);
  Images.ParamBlock.fill(0);
  CountProcesses();
  EXPECT_EQ(ProcessCount.load(), 0u);
}
