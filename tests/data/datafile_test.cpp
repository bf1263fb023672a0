#include <gtest/gtest.h>

#include <QThread>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/resource.h>

#include "common/bytes.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "testdata.h"

using namespace zarn;
using namespace zarn::test;
using namespace Qt::StringLiterals;

namespace {

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    source_ = std::make_unique<DeviceImages>();
    // Every block distinct, so that a block read into the wrong image shows.
    source_->MaterialsBlock.fill(0x11);
    source_->ObjectsBlock.fill(0x22);
    source_->ParamBlock.fill(0x33);
    source_->DataImage.fill(0x44);
    for (size_t i = 0; i < source_->MaterialsBlock.size(); ++i)
      source_->MaterialsBlock[i] = uint8_t(i * 7);
    TestProcess t;
    t.number = 4242;
    PlaceProcesses(*source_, {Encode(t), Encode(TestProcess{})});
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString p = Path(name);
    EXPECT_TRUE(WriteBytes(p, bytes));
    return p;
  }
  // Reads `path` over images filled with 0xAA.
  DataFileStatus Read(const QString& path, DeviceImages& into) {
    Clear(into, 0xAA);
    return ReadDataFile(path, into);
  }

  QTemporaryDir dir_;
  std::unique_ptr<DeviceImages> source_;
};

bool Equal(const DeviceImages& a, const DeviceImages& b) {
  return a.MaterialsBlock == b.MaterialsBlock && a.ObjectsBlock == b.ObjectsBlock &&
         a.ParamBlock == b.ParamBlock && a.DataImage == b.DataImage;
}

}  // namespace

TEST_F(DataFileTest, WrittenFileHasTheFixedLayoutAndReadsBack) {
  const QString p = Path(u"a.zarn"_s);
  const FileWriteResult written = WriteDataFile(p, *source_);
  ASSERT_TRUE(written) << WriteFailureMessage(written, kEnglish).toStdString();
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  ASSERT_EQ(bytes.size(), kDataFileSize);
  EXPECT_EQ(bytes.left(8), "Zarn-2.6");
  const auto* h = reinterpret_cast<const uint8_t*>(bytes.constData());
  EXPECT_EQ(GetU32(h + 8), 1080u);
  EXPECT_EQ(GetU32(h + 12), 600u);
  EXPECT_EQ(GetU32(h + 16), 10752u);
  EXPECT_EQ(GetU32(h + 20), 8388608u);
  // File order: materials, objects, parameters, data.
  EXPECT_EQ(uint8_t(bytes[24 + 5]), uint8_t(5 * 7));
  EXPECT_EQ(uint8_t(bytes[24 + 1080]), 0x22);
  EXPECT_EQ(uint8_t(bytes[24 + 1080 + 600 + 8]), 0);  // the zero entry after the directory
  EXPECT_EQ(uint8_t(bytes[bytes.size() - 1]), 0x44);
  EXPECT_EQ(bytes, DataFileBytes(*source_));

  auto back = std::make_unique<DeviceImages>();
  ASSERT_EQ(Read(p, *back), DataFileStatus::Ok);
  EXPECT_TRUE(Equal(*back, *source_));
}

TEST_F(DataFileTest, SizeAndSignatureChecks) {
  auto into = std::make_unique<DeviceImages>();
  const QByteArray good = DataFileBytes(*source_);
  EXPECT_EQ(Read(WriteFile(u"good.zarn"_s, good), *into), DataFileStatus::Ok);
  EXPECT_EQ(Read(WriteFile(u"plus1.zarn"_s, good + '\0'), *into), DataFileStatus::Damaged);
  EXPECT_EQ(Read(WriteFile(u"minus1.zarn"_s, good.chopped(1)), *into), DataFileStatus::Damaged);
  for (int i = 0; i < 8; ++i) {
    QByteArray bad = good;
    bad[i] = char(bad[i] ^ 0x20);
    EXPECT_EQ(Read(WriteFile(u"sig.zarn"_s, bad), *into), DataFileStatus::Damaged) << i;
  }
  EXPECT_EQ(Read(WriteFile(u"seven.zarn"_s, "Zarn-2."), *into), DataFileStatus::Damaged);
  EXPECT_EQ(Read(WriteFile(u"empty.zarn"_s, {}), *into), DataFileStatus::Damaged);
  EXPECT_EQ(Read(WriteFile(u"header.zarn"_s, good.left(24)), *into), DataFileStatus::Damaged);
  EXPECT_EQ(Read(Path(u"missing.zarn"_s), *into), DataFileStatus::CannotOpen);
  EXPECT_EQ(Read(dir_.path(), *into), DataFileStatus::CannotOpen);
}

TEST_F(DataFileTest, ShortBlockKeepsTheRestOfItsImage) {
  // Lengths 1000, 600, 10752, 8388608 in a file of 8400984 bytes.
  const QByteArray bytes = DataFileBytes(*source_, 1000);
  ASSERT_EQ(bytes.size(), 8400984);
  auto into = std::make_unique<DeviceImages>();
  ASSERT_EQ(Read(WriteFile(u"short.zarn"_s, bytes), *into), DataFileStatus::Ok);
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(into->MaterialsBlock[i], uint8_t(i * 7)) << i;
  for (size_t i = 1000; i < 1080; ++i) ASSERT_EQ(into->MaterialsBlock[i], 0xAA) << i;
  EXPECT_EQ(into->ObjectsBlock, source_->ObjectsBlock);
  EXPECT_EQ(into->ParamBlock, source_->ParamBlock);
  EXPECT_EQ(into->DataImage, source_->DataImage);
}

TEST_F(DataFileTest, LongerLengthReadsTheCapacityAndGoesOnRightAfterIt) {
  // The materials length says 1100: the file has 20 more bytes than a normal one, the
  // reader takes 1080 and the objects block starts right after them.
  QByteArray bytes = DataFileBytes(*source_);
  PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + 8, 1100);
  bytes.append(20, '\x77');
  auto into = std::make_unique<DeviceImages>();
  ASSERT_EQ(Read(WriteFile(u"long.zarn"_s, bytes), *into), DataFileStatus::Ok);
  EXPECT_EQ(into->MaterialsBlock, source_->MaterialsBlock);
  EXPECT_EQ(into->ObjectsBlock, source_->ObjectsBlock);
  EXPECT_EQ(into->DataImage, source_->DataImage);

  // Without the extra bytes the size check fails.
  bytes.chop(20);
  EXPECT_EQ(Read(WriteFile(u"long2.zarn"_s, bytes), *into), DataFileStatus::Damaged);
}

TEST_F(DataFileTest, LengthsSumModulo32BitsAndAreNeverTrustedForReading) {
  // 0xFFFFFFFF + 1081 wraps to 1080: the sum matches a normal file.
  QByteArray bytes = DataFileBytes(*source_);
  auto* h = reinterpret_cast<uint8_t*>(bytes.data());
  PutU32(h + 8, 0xFFFFFFFFu);
  PutU32(h + 20, 8388608u + 1081u);
  auto into = std::make_unique<DeviceImages>();
  ASSERT_EQ(Read(WriteFile(u"wrap.zarn"_s, bytes), *into), DataFileStatus::Ok);
  EXPECT_TRUE(Equal(*into, *source_));

  // Huge lengths whose sum wraps to a small file: the first block cannot be read whole.
  QByteArray small = bytes.left(124);
  h = reinterpret_cast<uint8_t*>(small.data());
  PutU32(h + 8, 0xFFFFFFFFu);
  PutU32(h + 12, 101);
  PutU32(h + 16, 0);
  PutU32(h + 20, 0);
  EXPECT_EQ(Read(WriteFile(u"wrap2.zarn"_s, small), *into), DataFileStatus::Damaged);

  // All lengths zero and a 24-byte file: nothing is replaced.
  QByteArray header = bytes.left(24);
  std::memset(header.data() + 8, 0, 16);
  ASSERT_EQ(Read(WriteFile(u"zero.zarn"_s, header), *into), DataFileStatus::Ok);
  EXPECT_EQ(into->MaterialsBlock[0], 0xAA);
  EXPECT_EQ(into->DataImage[kDataImageSize - 1], 0xAA);
}

TEST_F(DataFileTest, OpenReplacesTheImagesAndRecounts) {
  Clear(Images, 0xAA);
  ProcessCount = 0;
  int locks = 0;
  auto lock = [&] {
    ++locks;
    return std::unique_lock<std::mutex>(ImagesLock);
  };
  ASSERT_EQ(OpenDataFile(WriteFile(u"open.zarn"_s, DataFileBytes(*source_)), lock),
            DataFileStatus::Ok);
  EXPECT_EQ(locks, 1);
  EXPECT_EQ(ProcessCount.load(), 2u);
  EXPECT_TRUE(Equal(Images, *source_));

  // A short block replaces only what the file holds.
  Clear(Images, 0xAA);
  ASSERT_EQ(OpenDataFile(WriteFile(u"short.zarn"_s, DataFileBytes(*source_, 1000)), lock),
            DataFileStatus::Ok);
  EXPECT_EQ(Images.MaterialsBlock[999], uint8_t(999 * 7));
  EXPECT_EQ(Images.MaterialsBlock[1000], 0xAA);
  EXPECT_EQ(Images.DataImage, source_->DataImage);
  Clear(Images);
  ProcessCount = 0;
}

TEST_F(DataFileTest, FailedOpenChangesNothing) {
  Clear(Images, 0xAA);
  ProcessCount = 7;
  int locks = 0;
  auto lock = [&] {
    ++locks;
    return std::unique_lock<std::mutex>(ImagesLock);
  };
  // Damaged at the very end: every block but the last was readable.
  const QByteArray good = DataFileBytes(*source_);
  QByteArray bad = good;
  PutU32(reinterpret_cast<uint8_t*>(bad.data()) + 20, 0xFFFFFFFFu);  // sum no longer fits
  EXPECT_EQ(OpenDataFile(WriteFile(u"bad.zarn"_s, bad), lock), DataFileStatus::Damaged);
  EXPECT_EQ(OpenDataFile(WriteFile(u"long.zarn"_s, good + "x"), lock), DataFileStatus::Damaged);
  EXPECT_EQ(OpenDataFile(Path(u"none.zarn"_s), lock), DataFileStatus::CannotOpen);
  // A caller that gives up waiting for the lock: nothing is copied.
  auto refused = [&] { return std::unique_lock<std::mutex>(ImagesLock, std::defer_lock); };
  EXPECT_EQ(OpenDataFile(WriteFile(u"good.zarn"_s, good), refused), DataFileStatus::CannotOpen);
  EXPECT_EQ(locks, 0);
  EXPECT_EQ(ProcessCount.load(), 7u);
  for (uint8_t b : Images.MaterialsBlock) ASSERT_EQ(b, 0xAA);
  for (uint8_t b : Images.ParamBlock) ASSERT_EQ(b, 0xAA);
  for (size_t i = 0; i < kDataImageSize; i += 4093) ASSERT_EQ(Images.DataImage[i], 0xAA);
  Clear(Images);
  ProcessCount = 0;
}

TEST_F(DataFileTest, PrefetchedFileOpensAsReadAndAChangedOneIsReadAfresh) {
  Clear(Images, 0xAA);
  ProcessCount = 0;
  const QString path = WriteFile(u"cmdline.zarn"_s, DataFileBytes(*source_));
  PrefetchDataFile(path);
  ASSERT_EQ(OpenDataFile(path, {}), DataFileStatus::Ok);
  EXPECT_EQ(ProcessCount.load(), 2u);
  EXPECT_TRUE(Equal(Images, *source_));

  // The file changes after it was prefetched: what opens is the file as it is now.
  PrefetchDataFile(path);
  DeviceImages& changed = *source_;
  changed.MaterialsBlock.fill(0x5A);
  QThread::msleep(20);  // a later modification time
  WriteFile(u"cmdline.zarn"_s, DataFileBytes(changed));
  ASSERT_EQ(OpenDataFile(path, {}), DataFileStatus::Ok);
  EXPECT_EQ(Images.MaterialsBlock[0], 0x5A);

  // A prefetch of one file is not taken for another, and a file that went bad after
  // its prefetch is refused as damaged, changing nothing.
  PrefetchDataFile(path);
  const QString other = WriteFile(u"other.zarn"_s, DataFileBytes(changed, 1000));
  Clear(Images, 0xAA);
  ASSERT_EQ(OpenDataFile(other, {}), DataFileStatus::Ok);
  EXPECT_EQ(Images.MaterialsBlock[1000], 0xAA);
  PrefetchDataFile(path);
  QThread::msleep(20);
  WriteFile(u"cmdline.zarn"_s, DataFileBytes(changed) + "x");
  EXPECT_EQ(OpenDataFile(path, {}), DataFileStatus::Damaged);
  EXPECT_EQ(Images.MaterialsBlock[1000], 0xAA);
  Clear(Images);
  ProcessCount = 0;
}

TEST_F(DataFileTest, FailedSaveLeavesTheOldFileIntact) {
  const QString p = Path(u"keep.zarn"_s);
  const QByteArray old = "an older file";
  ASSERT_TRUE(WriteBytes(p, old));

  // Files may grow to 1 MiB only, as on a full disk: the 8 MiB write fails part way.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 1 << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const FileWriteResult written = WriteDataFile(p, *source_);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(written.error, EFBIG);
  EXPECT_EQ(written.path, p);
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), old);
  // No temporary file is left behind.
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList({u"keep.zarn"_s}));

  EXPECT_EQ(WriteDataFile(Path(u"no/such/folder/x.zarn"_s), *source_).error, ENOENT);
}

TEST(DataFileNames, ProposedName) {
  EXPECT_EQ(ProposedDataFileName(QDateTime(QDate(2012, 3, 7), QTime(14, 5, 9))),
            u"120307.1405.zarn");
  EXPECT_EQ(ProposedDataFileName(QDateTime(QDate(2000, 12, 31), QTime(0, 0))), u"001231.0000.zarn");
  EXPECT_EQ(ProposedDataFileName(QDateTime(QDate(2099, 1, 1), QTime(23, 59, 59))),
            u"990101.2359.zarn");
}

TEST(DataFileNames, SaveNameRule) {
  struct Case {
    QString chosen;
    bool askAgain;
    QString result;
  };
  const Case cases[] = {
      {u"data"_s, false, u"data.zarn"_s},
      {u"data."_s, false, u"data.zarn"_s},
      {u"data.zarn"_s, false, u"data.zarn"_s},
      {u"data.ZARN"_s, false, u"data.ZARN.zarn"_s},
      {u"data.txt"_s, false, u"data.txt.zarn"_s},
      {u"data.mtzarn"_s, true, u"data.zarn"_s},
      {u"data.MTZARN"_s, false, u"data.MTZARN.zarn"_s},
      {u"/home/u/my.files/data"_s, false, u"/home/u/my.files/data.zarn"_s},
      {u"/home/u/my.files/a.b.mtzarn"_s, true, u"/home/u/my.files/a.b.zarn"_s},
      {u"/home/u/data.zarn.txt"_s, false, u"/home/u/data.zarn.txt.zarn"_s},
  };
  for (const Case& c : cases) {
    const SaveNameDecision d = DecideSaveName(c.chosen);
    EXPECT_EQ(d.askAgain, c.askAgain) << c.chosen.toStdString();
    EXPECT_EQ(d.fileName, c.result) << c.chosen.toStdString();
  }
}

TEST(DataFileNames, TypeChangeRule) {
  struct Case {
    int filter;
    QString name;
    QString suffix;
    QString result;
  };
  const Case cases[] = {
      {1, u"/d/data.zarn"_s, u"zarn"_s, u"/d/data.zarn"_s},
      {1, u"/d/data.mtzarn"_s, u"zarn"_s, u"/d/data.mtzarn"_s},
      {2, u"/d/data.zarn"_s, u"mtzarn"_s, u"/d/data.mtzarn"_s},
      {2, u"/d/data."_s, u"mtzarn"_s, u"/d/data.mtzarn"_s},
      {2, u"/d/data.mtzarn"_s, u"mtzarn"_s, u"/d/data.mtzarn"_s},
      {2, u"/d/data"_s, u"mtzarn"_s, u"/d/data.mtzarn"_s},
      {2, u"/d/data.txt"_s, u"mtzarn"_s, u"/d/data.txt.mtzarn"_s},
      {2, u"/d.x/data"_s, u"mtzarn"_s, u"/d.x/data.mtzarn"_s},
  };
  for (const Case& c : cases) {
    QString name = c.name;
    EXPECT_EQ(DataDialogTypeChange(c.filter, name), c.suffix) << c.name.toStdString();
    EXPECT_EQ(name, c.result) << c.name.toStdString();
  }
  // A name changed to .mtzarn comes back to .zarn through the save rule.
  QString name = u"120307.1405.zarn"_s;
  DataDialogTypeChange(2, name);
  EXPECT_EQ(DecideSaveName(name).fileName, u"120307.1405.zarn");
  EXPECT_TRUE(DecideSaveName(name).askAgain);
}

TEST_F(DataFileTest, ViewMapsWholeFilesAndReadsOthersOverZeros) {
  DataFileView view;
  ASSERT_EQ(view.Open(WriteFile(u"whole.zarn"_s, DataFileBytes(*source_))), DataFileStatus::Ok);
  EXPECT_TRUE(view.mapped());
  EXPECT_EQ(std::memcmp(view.MaterialsBlock(), source_->MaterialsBlock.data(), kMaterialsBlockSize), 0);
  EXPECT_EQ(std::memcmp(view.ObjectsBlock(), source_->ObjectsBlock.data(), kObjectsBlockSize), 0);
  EXPECT_EQ(std::memcmp(view.ParamBlock(), source_->ParamBlock.data(), kParamBlockSize), 0);
  EXPECT_EQ(std::memcmp(view.DataImage(), source_->DataImage.data(), kDataImageSize), 0);

  // A longer length: the blocks are whole, the next one starts right after the bytes read.
  QByteArray longer = DataFileBytes(*source_);
  PutU32(reinterpret_cast<uint8_t*>(longer.data()) + 8, 1100);
  longer.append(20, '\x77');
  ASSERT_EQ(view.Open(WriteFile(u"longer.zarn"_s, longer)), DataFileStatus::Ok);
  EXPECT_TRUE(view.mapped());
  EXPECT_EQ(std::memcmp(view.DataImage(), source_->DataImage.data(), kDataImageSize), 0);

  // A short block: read over zeros.
  ASSERT_EQ(view.Open(WriteFile(u"short.zarn"_s, DataFileBytes(*source_, 1000))), DataFileStatus::Ok);
  EXPECT_FALSE(view.mapped());
  EXPECT_EQ(view.MaterialsBlock()[999], uint8_t(999 * 7));
  EXPECT_EQ(view.MaterialsBlock()[1000], 0);
  EXPECT_EQ(view.MaterialsBlock()[1079], 0);
  EXPECT_EQ(std::memcmp(view.DataImage(), source_->DataImage.data(), kDataImageSize), 0);

  const QByteArray good = DataFileBytes(*source_);
  EXPECT_EQ(view.Open(WriteFile(u"plus.zarn"_s, good + 'x')), DataFileStatus::Damaged);
  EXPECT_EQ(view.Open(WriteFile(u"seven.zarn"_s, "Zarn-2.")), DataFileStatus::Damaged);
  QByteArray small = good.left(124);
  auto* h = reinterpret_cast<uint8_t*>(small.data());
  PutU32(h + 8, 0xFFFFFFFFu);
  PutU32(h + 12, 101);
  PutU32(h + 16, 0);
  PutU32(h + 20, 0);
  EXPECT_EQ(view.Open(WriteFile(u"wrap.zarn"_s, small)), DataFileStatus::Damaged);
  EXPECT_EQ(view.Open(Path(u"none.zarn"_s)), DataFileStatus::CannotOpen);
  EXPECT_EQ(view.Open(dir_.path()), DataFileStatus::CannotOpen);
}
