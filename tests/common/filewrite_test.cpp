#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <sys/resource.h>
#include <sys/stat.h>

#include "common/filewrite.h"
#include "testing/files.h"
#include "testing/mounts.h"

using namespace zarn;
using zarn::testing::ReadAll;
using zarn::testing::WriteAll;

namespace {

class FileWrite : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Path(const QString& name) const { return dir_.filePath(name); }
  // Only the files the tests made: no temporary file is left behind.
  QStringList Names(const QString& folder = {}) const {
    return QDir(folder.isEmpty() ? dir_.path() : folder)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  }
  QTemporaryDir dir_;
};

TEST_F(FileWrite, ReplacesWholeKeepingModeAndLinks) {
  const QString plain = Path(u"a.zarn"_qs);
  ASSERT_TRUE(WriteFileAtomically(plain, "first"));
  ASSERT_EQ(::chmod(QFile::encodeName(plain).constData(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(plain, "second"));
  EXPECT_EQ(ReadAll(plain), "second");
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(plain).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // A link stays a link; the file it points to gets the bytes.
  const QString link = Path(u"link.ini"_qs);
  ASSERT_TRUE(QFile::link(plain, link));
  ASSERT_TRUE(WriteFileAtomically(link, "third"));
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(ReadAll(plain), "third");

  // Missing folders are made only when asked for.
  const QString deep = Path(u"x/y/Zarn26.ini"_qs);
  EXPECT_EQ(WriteFileAtomically(deep, "v").error, ENOENT);
  ASSERT_TRUE(WriteFileAtomically(deep, "v", true));
  EXPECT_EQ(ReadAll(deep), "v");
  EXPECT_EQ(Names(), (QStringList{u"a.zarn"_qs, u"link.ini"_qs, u"x"_qs}));
}

TEST_F(FileWrite, StreamedWritesAndAbandonedFilesLeaveTheOldFile) {
  const QString path = Path(u"d.zarn"_qs);
  ASSERT_TRUE(WriteAll(path, "old"));
  {
    AtomicFile file(path);
    ASSERT_TRUE(file.Write("new ", 4));
    EXPECT_EQ(ReadAll(path), "old");  // nothing changes before Commit
    EXPECT_EQ(Names().size(), 2);
  }  // dropped without Commit
  EXPECT_EQ(ReadAll(path), "old");
  {
    AtomicFile file(path);
    ASSERT_TRUE(file.Write(QByteArrayView("part")));
    file.Fail(ENOSPC);  // a writer of its own failed
    EXPECT_FALSE(file.Write("more", 4));
    EXPECT_EQ(file.Commit().error, ENOSPC);
  }
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(Names(), QStringList{u"d.zarn"_qs});
}

TEST_F(FileWrite, NamesThatAreNotFilesAreRefusedUntouched) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir(u"folder"_qs));
  const QString fifo = Path(u"pipe"_qs);
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  struct Case {
    QString path;
    int error;
  };
  for (const Case& c : {Case{Path(u"folder"_qs), EISDIR}, Case{fifo, kWriteNotAFile},
                        Case{Path(u"none/x.zarn"_qs), ENOENT}, Case{QString(), ENOENT}}) {
    SCOPED_TRACE(c.path.toStdString());
    const FileWriteResult r = WriteFileAtomically(c.path, "bytes");
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.path, c.path);
  }
  EXPECT_TRUE(QFileInfo(Path(u"folder"_qs)).isDir());
  EXPECT_EQ(Names(), (QStringList{u"folder"_qs, u"pipe"_qs}));
}

TEST_F(FileWrite, RealFailuresKeepTheirErrno) {
  const QString path = Path(u"Zarn26.ini"_qs);
  ASSERT_TRUE(WriteAll(path, "old"));

  // A file-size limit: the write fails with EFBIG instead of ending the process.
  IgnoreFileSizeSignal();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const FileWriteResult big = WriteFileAtomically(path, QByteArray(10000, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(big.error, EFBIG);

  // A folder the user may not write into.
  const QString locked = Path(u"locked"_qs);
  ASSERT_TRUE(QDir(dir_.path()).mkdir(u"locked"_qs));
  ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
  ::chmod(QFile::encodeName(locked).constData(), 0555);
  const FileWriteResult denied =
      zarn::testing::AsOrdinaryUser([&] { return WriteFileAtomically(locked + u"/a.ini"_qs, "x"); });
  EXPECT_EQ(denied.error, EACCES);
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(Names(), (QStringList{u"Zarn26.ini"_qs, u"locked"_qs}));
}

TEST_F(FileWrite, FullAndReadOnlyDisksAreNamed) {
  const QString full = Path(u"full"_qs), readOnly = Path(u"ro"_qs);
  ASSERT_TRUE(QDir(dir_.path()).mkdir(u"full"_qs) && QDir(dir_.path()).mkdir(u"ro"_qs));
  const zarn::testing::SmallDisk fullDisk(full, 64);
  const zarn::testing::SmallDisk readOnlyDisk(readOnly, 64, true,
                                              [&] { WriteAll(readOnly + u"/a.zarn"_qs, "old"); });
  if (!fullDisk.Mounted() || !readOnlyDisk.Mounted()) GTEST_SKIP() << "no right to mount a file system here";
  const QString target = full + u"/a.zarn"_qs;
  ASSERT_TRUE(WriteFileAtomically(target, QByteArray(20 * 1024, 'o')));
  const FileWriteResult r = WriteFileAtomically(target, QByteArray(200 * 1024, 'n'));
  EXPECT_EQ(r.error, ENOSPC);
  EXPECT_EQ(ReadAll(target), QByteArray(20 * 1024, 'o'));
  EXPECT_EQ(Names(full), QStringList{u"a.zarn"_qs});

  EXPECT_EQ(WriteFileAtomically(readOnly + u"/a.zarn"_qs, "new").error, EROFS);
  EXPECT_EQ(ReadAll(readOnly + u"/a.zarn"_qs), "old");
}

TEST(WriteFailureText, SaysWhyInBothLanguages) {
  struct Case {
    int error;
    const char16_t* ru;
    const char16_t* en;
  };
  for (const Case& c : {
           Case{ENOSPC, u"на диске нет свободного места", u"there is no free space on the disk"},
           Case{EDQUOT, u"исчерпана дисковая квота", u"the disk quota is used up"},
           Case{EROFS, u"диск доступен только для чтения", u"the disk is read-only"},
           Case{EACCES, u"нет прав на запись", u"there is no permission to write there"},
           Case{EPERM, u"нет прав на запись", u"there is no permission to write there"},
           Case{EFBIG, u"файл больше допустимого размера", u"the file is larger than allowed"},
           Case{ENOENT, u"папка не существует", u"the folder does not exist"},
           Case{kWriteLocked, u"файл занят другой программой", u"another program keeps the file busy"},
       }) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(WriteFailureReason(c.error, 0), QString::fromUtf16(c.ru));
    EXPECT_EQ(WriteFailureReason(c.error, 1), QString::fromUtf16(c.en));
  }
  // Anything else: the system's own text.
  EXPECT_TRUE(WriteFailureReason(ETXTBSY, 1).startsWith(u"system error: "));
  EXPECT_EQ(WriteFailureMessage(FileWriteResult::Failed(ENOSPC, u"/m/a.zarn"_qs), 1),
            u"cannot write \"/m/a.zarn\": there is no free space on the disk");
  EXPECT_EQ(WriteFailureMessage(FileWriteResult{}, 1), u"");
}

}  // namespace
