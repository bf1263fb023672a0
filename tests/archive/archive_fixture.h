#pragma once
// What the archive tests share: sample data files, an archive per test, and counting
// what an archive holds.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

#include "archive/archive.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "samplegen.h"
#include "testdata.h"
#include "testing/files.h"

#ifdef ZARN_ARCHIVE_PG
#define ArchiveTest PgArchiveTest  // apart from the SQLite run's tests in ctest
#endif

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
//
// The PostgreSQL build of these tests (archive_pg_tests, ZARN_ARCHIVE_PG) makes a new
// database per archive on the server libpq's environment names (PGHOST, PGPORT, PGUSER,
// PGPASSWORD: scripts/test-postgres runs them in a throw-away cluster). Without a
// server they skip, saying so; with ZARN_REQUIRE_POSTGRES set (CI) they fail instead.
class ArchiveTest : public ::testing::Test {
 protected:
#ifdef ZARN_ARCHIVE_PG
  static bool Pg() { return true; }
  // Runs `sql` on the server's own database; the error text, empty when it worked.
  static QString ServerSql(const QString& sql) {
    QString error;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("server"));
      db.setDatabaseName(QStringLiteral("postgres"));
      db.setConnectOptions(QStringLiteral("connect_timeout=5"));
      if (!db.open()) {
        error = db.lastError().text();
      } else {
        QSqlQuery q(db);
        if (!q.exec(sql)) error = q.lastError().text();
      }
      db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("server"));
    return error;
  }
  QString NewLocation(const QString& name) {
    static int count = 0;
    const QString database = QStringLiteral("zarn_%1_%2_%3").arg(::getpid()).arg(++count).arg(name.toLower());
    const QString error = ServerSql(QStringLiteral("CREATE DATABASE ") + database);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return QStringLiteral("postgresql:///") + database;
  }
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (const QString error = ServerSql(QStringLiteral("SELECT 1")); !error.isEmpty()) {
      if (qEnvironmentVariableIsSet("ZARN_REQUIRE_POSTGRES"))
        FAIL() << "no PostgreSQL server, and this run needs one: " << error.toStdString();
      GTEST_SKIP() << "SKIPPED: no PostgreSQL server to test against (" << error.toStdString()
                   << "); scripts/test-postgres starts one";
    }
  }
#else
  static bool Pg() { return false; }
  // The location of a new, empty archive.
  QString NewLocation(const QString& name) { return dir_.filePath(name + QStringLiteral(".sqlite")); }
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
#endif

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
