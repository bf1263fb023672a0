#include <gtest/gtest.h>

#include "testing/files.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "data/datafile.h"
#include "samplegen.h"
#include "simulator.h"

using namespace zarn;
using zarn::testing::ReadAll;
using zarn::testing::WriteAll;
using zarn::sim::RunWriteSample;

namespace {


QStringList Args(std::initializer_list<const char*> list) {
  QStringList args;
  for (const char* a : list) args << QString::fromUtf8(a);
  return args;
}

}  // namespace

TEST(WriteSample, WritesTheGeneratedImagesAsADataFile) {
  QTemporaryDir dir;
  const QString a = dir.filePath(u"a.zarn"_qs), b = dir.filePath(u"b.zarn"_qs);
  ASSERT_EQ(RunWriteSample({u"--write-sample"_qs, a, u"--processes"_qs, u"12"_qs,
                            u"--seed"_qs, u"18446744073709551615"_qs}),
            0);
  ASSERT_EQ(RunWriteSample({u"--seed"_qs, u"18446744073709551615"_qs, u"--processes"_qs,
                            u"12"_qs, u"--write-sample"_qs, b}),
            0);
  const QByteArray bytes = ReadAll(a);
  EXPECT_EQ(bytes.size(), kDataFileSize);
  EXPECT_EQ(bytes, ReadAll(b));  // same seed, same bytes, whatever the argument order

  auto read = std::make_unique<DeviceImages>();
  ASSERT_EQ(ReadDataFile(a, *read), DataFileStatus::Ok);
  auto expected = std::make_unique<DeviceImages>();
  sim::GenerateSample(*expected, 12, UINT64_MAX);
  EXPECT_EQ(read->ParamBlock, expected->ParamBlock);
  EXPECT_EQ(read->MaterialsBlock, expected->MaterialsBlock);
  EXPECT_EQ(read->ObjectsBlock, expected->ObjectsBlock);
  EXPECT_EQ(read->DataImage, expected->DataImage);
  EXPECT_EQ(CountProcesses(read->ParamBlock.data()), 12u);

  // Defaults: 40 processes, seed 1.
  const QString c = dir.filePath(u"c.zarn"_qs);
  ASSERT_EQ(RunWriteSample({u"--write-sample"_qs, c}), 0);
  ASSERT_EQ(ReadDataFile(c, *read), DataFileStatus::Ok);
  sim::GenerateSample(*expected, 40, 1);
  EXPECT_EQ(read->DataImage, expected->DataImage);
  EXPECT_EQ(RunWriteSample({u"--write-sample"_qs, c, u"--processes"_qs, u"0"_qs}), 0);
  EXPECT_EQ(RunWriteSample({u"--write-sample"_qs, c, u"--processes"_qs, u"2688"_qs}), 0);
}

TEST(WriteSample, BadArgumentsAreUsageErrorsAndWriteNothing) {
  QTemporaryDir dir;
  const QString out = dir.filePath(u"x.zarn"_qs);
  const QByteArray o = out.toUtf8();
  const std::initializer_list<const char*> bad[] = {
      {"--write-sample"},
      {"--write-sample", "--processes", "3"},
      {"--write-sample", o.constData(), "--processes"},
      {"--write-sample", o.constData(), "--processes", "2689"},
      {"--write-sample", o.constData(), "--processes", "-1"},
      {"--write-sample", o.constData(), "--processes", "ten"},
      {"--write-sample", o.constData(), "--processes", "4x"},
      {"--write-sample", o.constData(), "--processes", ""},
      {"--write-sample", o.constData(), "--seed"},
      {"--write-sample", o.constData(), "--seed", "-5"},
      {"--write-sample", o.constData(), "--seed", "18446744073709551616"},
      {"--write-sample", o.constData(), "--seed", "1.5"},
      {"--write-sample", o.constData(), "--seed", "1", "--seed", "2"},
      {"--write-sample", o.constData(), "--frobnicate"},
      {"--write-sample", o.constData(), "--write-sample", o.constData()},
      {"--write-sample", o.constData(), "extra.zarn"},
  };
  for (const auto& args : bad) {
    const QStringList list = Args(args);
    EXPECT_EQ(RunWriteSample(list), 2) << list.join(u' ').toStdString();
    EXPECT_FALSE(QFile::exists(out)) << list.join(u' ').toStdString();
  }
}

TEST(WriteSample, AFileThatCannotBeWrittenFailsAndKeepsTheOldOne) {
  QTemporaryDir dir;
  EXPECT_EQ(RunWriteSample({u"--write-sample"_qs, dir.filePath(u"no/such/dir/x.zarn"_qs)}), 1);
  EXPECT_EQ(RunWriteSample({u"--write-sample"_qs, dir.path()}), 1);  // a folder
}
