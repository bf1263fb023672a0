#pragma once
// What the archive tests share: sample data files, an archive per test, and counting
// what an archive holds.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

#include "archive/archive.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "samplegen.h"
#include "testdata.h"
#include "testing/files.h"

namespace zarn::test {

// Messages of failed results in the test output.
template <typename T>
::testing::AssertionResult Ok(const ArchiveResult<T>& r) {
  if (r) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << r.error().Text(kEnglish).toStdString();
}

inline std::unique_ptr<DeviceImages> Sample(int processes, uint64_t seed) {
  auto images = std::make_unique<DeviceImages>();
  sim::GenerateSample(*images, processes, seed);
  return images;
}

// Where the archives of one test live: an SQLite file in a temporary folder, or a
// PostgreSQL database (archive_pg_test.cpp gives the locations).
class ArchiveTest : public ::testing::Test {
 protected:
  // The location of a new, empty archive.
  virtual QString NewLocation(const QString& name) { return dir_.filePath(name + QStringLiteral(".sqlite")); }

  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  std::unique_ptr<Archive> OpenNew(const QString& name = QStringLiteral("archive")) {
    location_ = NewLocation(name);
    auto a = Archive::Open(location_);
    EXPECT_TRUE(Ok(a));
    return a ? std::move(*a) : nullptr;
  }

  QString File(const QString& name) const { return dir_.filePath(name); }

  // A data file of `images` (WriteDataFile) at File(name).
  QString WriteSample(const QString& name, const DeviceImages& images) {
    const QString path = File(name);
    EXPECT_TRUE(bool(WriteDataFile(path, images)));
    return path;
  }

  QTemporaryDir dir_;
  QString location_;
};

}  // namespace zarn::test
