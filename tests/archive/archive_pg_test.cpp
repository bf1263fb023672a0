// A PostgreSQL server that cannot be used: the reason is the server's own, and it comes
// within 10 s.

#include <QElapsedTimer>

#include "archive_fixture.h"

namespace zarn::test {
namespace {

TEST_F(ArchiveTest, AServerThatCannotBeUsedSaysWhyWithinTenSeconds) {
  const QString host = qEnvironmentVariable("PGHOST", QStringLiteral("localhost"));
  const QString port = qEnvironmentVariable("PGPORT", QStringLiteral("5432"));
  const QString user = qEnvironmentVariable("PGUSER", QStringLiteral("postgres"));
  struct Case {
    QString location;
    Archive::OpenMode mode;
    const char* reason;  // in the server's (or libpq's) words
  };
  const Case cases[] = {
      {QStringLiteral("postgresql://localhost:1/zarn"), Archive::OpenMode::Create, "refused"},
      {QStringLiteral("postgresql://%1:not-the-password@%2:%3/postgres").arg(user, host, port), Archive::OpenMode::Create,
       "password authentication failed"},
      {QStringLiteral("postgresql:///zarn_no_such_database"), Archive::OpenMode::Create, "does not exist"},
      {NewLocation(QStringLiteral("empty")), Archive::OpenMode::Existing, "holds no archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location.toStdString());
    QElapsedTimer clock;
    clock.start();
    const auto opened = Archive::Open(c.location, c.mode);
    EXPECT_LT(clock.elapsed(), 10000);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, ArchiveErrorKind::Unusable);
    const QString text = opened.error().Text(kEnglish);
    EXPECT_TRUE(text.contains(QString::fromLatin1(c.reason))) << text.toStdString();
    EXPECT_FALSE(text.contains(u"not-the-password"));
  }
}

// An older archive's schema kept, a newer one refused and left as it is.
TEST_F(ArchiveTest, ANewerSchemaOnTheServerIsRefusedAndLeftAlone) {
  auto archive = OpenNew();
  ASSERT_TRUE(archive);
  ASSERT_TRUE(Ok(archive->ImportRead(*Sample(20, 40), QStringLiteral("v1"))));
  archive.reset();
  const QString database = location_.section(u'/', -1);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("raw"));
    db.setDatabaseName(database);
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("UPDATE archive_meta SET value = '7' WHERE key = 'schema'")));
  }
  QSqlDatabase::removeDatabase(QStringLiteral("raw"));
  const auto opened = Archive::Open(location_);
  ASSERT_FALSE(opened);
  EXPECT_TRUE(opened.error().Text(kEnglish).contains(QStringLiteral("newer"))) << opened.error().Text(kEnglish).toStdString();
}

}  // namespace
}  // namespace zarn::test
