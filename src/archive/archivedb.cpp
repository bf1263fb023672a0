#include "archivedb.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "common/texts.h"

namespace zarn {

const QList<QStringList>& ArchiveMigrations();  // schema.cpp

namespace {

// SQLite pages of 32 KiB: a series' compressed blows (4 to 8 KiB) fit a page with
// others, where 4 KiB pages would put each in overflow pages of its own and waste half
// a page per series.
constexpr int kSqlitePageSize = 32768;
constexpr int kBusyTimeoutMs = 10000;       // SQLite waits this long for a lock per statement
constexpr int kTransactionRetryMs = 30000;  // and a transaction is tried again this long
constexpr int kConnectTimeoutS = 8;         // PostgreSQL: the whole connection within 10 s
constexpr qint64 kCreateLock = 20261210;    // PostgreSQL advisory lock for creating the schema

QString Reason(const QSqlError& error) {
  QString text = error.databaseText().trimmed();
  if (text.isEmpty()) text = error.driverText().trimmed();
  if (text.isEmpty()) text = QStringLiteral("unknown error");
  return text;
}

// libpq's keyword=value form: the value in single quotes, its quotes and backslashes escaped.
QString Quoted(QString value) {
  value.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
  return u'\'' + value + u'\'';
}

}  // namespace

ArchiveError MakeArchiveError(ArchiveErrorKind kind, QString ru, QString en) {
  return ArchiveError{kind, std::move(ru), std::move(en)};
}

QString ArchiveError::Text(int language) const { return language == kEnglish ? en : ru; }

ArchiveDatabase::ArchiveDatabase(const ArchiveAddress& address, QString connection)
    : address_(address), connection_(std::move(connection)) {}

ArchiveDatabase::~ArchiveDatabase() {
  if (db_.isValid()) db_.close();
  db_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(connection_);
}

QSqlQuery ArchiveDatabase::Query() {
  QSqlQuery query(db_);
  query.setForwardOnly(true);
  return query;
}

bool ArchiveDatabase::Run(QSqlQuery& query, const QString& sql, std::initializer_list<QVariant> values) {
  bool ok;
  if (values.size() == 0) {
    ok = query.exec(sql);
  } else {
    ok = query.prepare(sql);
    if (ok) {
      int i = 0;
      for (const QVariant& v : values) query.bindValue(i++, v);
      ok = query.exec();
    }
  }
  if (!ok) last_ = query.lastError();
  return ok;
}

ArchiveError ArchiveDatabase::Failure(const QSqlError& error) const {
  const QString reason = Reason(error);
  return Failure(QStringLiteral("архив «%1» нельзя использовать: %2").arg(address_.shown, reason),
                 QStringLiteral("the archive \"%1\" cannot be used: %2").arg(address_.shown, reason));
}

ArchiveError ArchiveDatabase::Failure(const QString& ru, const QString& en) const {
  return MakeArchiveError(ArchiveErrorKind::Unusable, ru, en);
}

bool ArchiveDatabase::Busy(const QSqlError& error) const {
  const QString code = error.nativeErrorCode();
  if (Postgres()) {
    // serialization failure, deadlock, a key another transaction added meanwhile, lock not available
    return code == u"40001" || code == u"40P01" || code == u"23505" || code == u"55P03";
  }
  bool ok = false;
  const int n = code.toInt(&ok);
  return ok && (n % 256 == 5 || n % 256 == 6);  // SQLITE_BUSY, SQLITE_LOCKED and their extended codes
}

std::optional<ArchiveError> ArchiveDatabase::Transaction(
    const std::function<std::optional<ArchiveError>()>& work) {
  const QDeadlineTimer deadline(kTransactionRetryMs);
  std::minstd_rand jitter(std::random_device{}());
  int pause = 20;
  for (;;) {
    last_ = QSqlError();
    std::optional<ArchiveError> failure;
    bool begun;
    {
      QSqlQuery begin = Query();
      begun = Run(begin, Postgres() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
    }
    if (begun) {
      failure = work();
      if (!failure) {
        QSqlQuery commit = Query();
        if (Run(commit, QStringLiteral("COMMIT"))) return std::nullopt;
        failure = Failure(last_);
      }
      const QSqlError cause = last_;
      QSqlQuery rollback = Query();
      rollback.exec(QStringLiteral("ROLLBACK"));
      last_ = cause;
    } else {
      failure = Failure(last_);
    }
    if (!Busy(last_) || deadline.hasExpired()) return failure;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause + int(jitter() % unsigned(pause))));
    pause = std::min(pause * 2, 500);
  }
}

ArchiveResult<std::unique_ptr<ArchiveDatabase>> ArchiveDatabase::Connect(const ArchiveAddress& a,
                                                                         Archive::OpenMode mode) {
  static std::atomic<int> connections{0};
  const QString name = QStringLiteral("zarn-archive-%1").arg(++connections);
  std::unique_ptr<ArchiveDatabase> d(new ArchiveDatabase(a, name));
  bool created = false;
  if (a.backend == ArchiveBackend::Sqlite) {
    const QFileInfo info(a.path);
    if (info.exists() && !info.isFile())
      return d->Failure(QStringLiteral("архив «%1» — не файл").arg(a.shown),
                        QStringLiteral("the archive \"%1\" is not a file").arg(a.shown));
    if (!info.exists()) {
      if (mode == Archive::OpenMode::Existing)
        return d->Failure(QStringLiteral("архива «%1» нет").arg(a.shown),
                          QStringLiteral("there is no archive \"%1\"").arg(a.shown));
      if (!QDir().mkpath(info.absolutePath()))
        return d->Failure(QStringLiteral("не удается создать папку архива «%1»").arg(info.absolutePath()),
                          QStringLiteral("cannot create the archive's folder \"%1\"").arg(info.absolutePath()));
      created = true;
    }
    d->db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    if (!d->db_.isValid())
      return d->Failure(QStringLiteral("нет драйвера SQLite для Qt (пакет libqt6sql6-sqlite)"),
                        QStringLiteral("Qt's SQLite driver is not installed (package libqt6sql6-sqlite)"));
    d->db_.setDatabaseName(a.path);
    d->db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
  } else {
    d->db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    if (!d->db_.isValid())
      return d->Failure(QStringLiteral("нет драйвера PostgreSQL для Qt (пакет libqt6sql6-psql)"),
                        QStringLiteral("Qt's PostgreSQL driver is not installed (package libqt6sql6-psql)"));
    d->db_.setHostName(a.host);
    d->db_.setDatabaseName(a.database);
    d->db_.setUserName(a.user);
    d->db_.setPassword(a.password);
    d->db_.setPort(a.port);
    QStringList options;
    bool timeout = false;
    for (const QString& option : a.options) {
      const QString key = option.section(u'=', 0, 0);
      timeout = timeout || key == u"connect_timeout";
      options.append(key + u'=' + Quoted(option.section(u'=', 1)));
    }
    if (!timeout) options.append(QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutS));
    d->db_.setConnectOptions(options.join(u';'));
  }
  if (!d->db_.open()) {
    auto failure = d->Failure(d->db_.lastError());
    d.reset();
    if (created) QFile::remove(a.path);
    return failure;
  }
  if (!d->Postgres()) {
    // An import of a full memory changes some megabytes of pages: kept in memory until
    // it commits, rather than spilled to the log page by page.
    QSqlQuery pragma = d->Query();
    d->Run(pragma, QStringLiteral("PRAGMA cache_size = -16384"));
  }
  if (auto failure = d->CheckSchema(mode)) {
    d.reset();
    if (created) {
      for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        QFile::remove(a.path + suffix);
    }
    return *failure;
  }
  return d;
}

std::optional<ArchiveError> ArchiveDatabase::CheckSchema(Archive::OpenMode mode) {
  const QString shown = address_.shown;
  const auto notArchive = [&] {
    return Failure(QStringLiteral("«%1» — не архив этой программы; он не изменен").arg(shown),
                   QStringLiteral("\"%1\" is not an archive of this program; it was left as it is").arg(shown));
  };
  bool hasMeta = false;
  {
    QSqlQuery q = Query();
    if (Postgres()) {
      if (!Run(q, QStringLiteral("SELECT to_regclass('archive_meta') IS NOT NULL"))) return Failure(last_);
      hasMeta = q.next() && q.value(0).toBool();
    } else {
      // Reading the schema is the first read of the file: a file that is no database,
      // or a damaged one, fails here, before anything is written.
      if (!Run(q, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        return Failure(QStringLiteral("«%1» — не архив или архив поврежден (%2); он не изменен")
                           .arg(shown, Reason(last_)),
                       QStringLiteral("\"%1\" is no archive or a damaged one (%2); it was left as it is")
                           .arg(shown, Reason(last_)));
      }
      bool anyTable = false;
      while (q.next()) {
        anyTable = true;
        hasMeta = hasMeta || q.value(0).toString() == u"archive_meta";
      }
      if (anyTable && !hasMeta) return notArchive();
    }
  }
  if (!hasMeta) {
    if (Postgres() && mode == Archive::OpenMode::Existing)
      return Failure(QStringLiteral("в базе данных «%1» нет архива").arg(shown),
                     QStringLiteral("the database \"%1\" holds no archive").arg(shown));
    if (!Postgres()) {
      QSqlQuery q = Query();
      // Before the first table: the page size and the journal mode stay with the file.
      if (!Run(q, QStringLiteral("PRAGMA page_size = %1").arg(kSqlitePageSize)) ||
          !Run(q, QStringLiteral("PRAGMA journal_mode = WAL")))
        return Failure(last_);
    }
    auto failure = Transaction([&]() -> std::optional<ArchiveError> {
      QSqlQuery q = Query();
      if (Postgres()) {
        // Two programs creating the schema at once: the second waits, then finds it.
        if (!Run(q, QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {kCreateLock})) return Failure(last_);
        if (!Run(q, QStringLiteral("SELECT to_regclass('archive_meta') IS NOT NULL"))) return Failure(last_);
        if (q.next() && q.value(0).toBool()) return std::nullopt;
      }
      for (const QString& statement : SchemaStatements())
        if (!Run(q, statement)) return Failure(last_);
      if (!Run(q, QStringLiteral("INSERT INTO archive_meta (key, value) VALUES (?, ?), (?, ?)"),
               {QStringLiteral("schema"), QString::number(Archive::kSchemaVersion), QStringLiteral("program"),
                QStringLiteral("zarn26")}))
        return Failure(last_);
      return std::nullopt;
    });
    if (failure) return failure;
  }

  int version = 0;
  {
    QSqlQuery q = Query();
    if (!Run(q, QStringLiteral("SELECT key, value FROM archive_meta"))) return Failure(last_);
    bool ours = false;
    while (q.next()) {
      if (q.value(0).toString() == u"schema") version = q.value(1).toString().toInt();
      if (q.value(0).toString() == u"program") ours = q.value(1).toString() == u"zarn26";
    }
    if (!ours || version < 1) return notArchive();
  }
  if (version > Archive::kSchemaVersion)
    return Failure(QStringLiteral("архив «%1» новее этой программы (версия схемы %2, программа знает до %3); "
                                  "он не изменен")
                       .arg(shown)
                       .arg(version)
                       .arg(Archive::kSchemaVersion),
                   QStringLiteral("the archive \"%1\" is newer than this program (schema version %2, this "
                                  "program knows up to %3); it was left as it is")
                       .arg(shown)
                       .arg(version)
                       .arg(Archive::kSchemaVersion));
  if (version < Archive::kSchemaVersion) {
    auto failure = Transaction([&]() -> std::optional<ArchiveError> {
      QSqlQuery q = Query();
      for (int v = version; v < Archive::kSchemaVersion; ++v)
        for (const QString& statement : ArchiveMigrations().value(v - 1))
          if (!Run(q, statement)) return Failure(last_);
      if (!Run(q, QStringLiteral("UPDATE archive_meta SET value = ? WHERE key = ?"),
               {QString::number(Archive::kSchemaVersion), QStringLiteral("schema")}))
        return Failure(last_);
      return std::nullopt;
    });
    if (failure) return failure;
  }
  return std::nullopt;
}

}  // namespace zarn
