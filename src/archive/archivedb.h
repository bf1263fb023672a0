#pragma once
// The archive's connection (internal to src/archive): opening an SQLite file or a
// PostgreSQL server through Qt Sql, the schema check, statements with bound values,
// transactions tried again while the database is busy, and the errors they give.

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <initializer_list>
#include <memory>

#include "archive.h"

namespace zarn {

ArchiveError MakeArchiveError(ArchiveErrorKind kind, QString ru, QString en);

class ArchiveDatabase {
 public:
  static ArchiveResult<std::unique_ptr<ArchiveDatabase>> Connect(const ArchiveAddress& address,
                                                                 Archive::OpenMode mode);
  ~ArchiveDatabase();

  const ArchiveAddress& Address() const { return address_; }
  bool Postgres() const { return address_.backend == ArchiveBackend::Postgres; }
  QSqlDatabase& Db() { return db_; }

  // A statement with `values` bound in order (positional '?'), executed. On failure
  // `error` is set (when not null) and false returned.
  bool Run(QSqlQuery& query, const QString& sql, std::initializer_list<QVariant> values = {});
  // A new forward-only query on this connection.
  QSqlQuery Query();
  // The error of a failed statement or connection step, naming the archive.
  ArchiveError Failure(const QSqlError& error) const;
  ArchiveError Failure(const QString& ru, const QString& en) const;
  // The last failure's error (set by Run).
  const QSqlError& LastError() const { return last_; }

  // Runs `work` in one transaction and commits; a failure rolls back. While the
  // database is busy (another program writes) the whole transaction is tried again,
  // for at most about half a minute. `work` returns nullopt on success, or the error.
  std::optional<ArchiveError> Transaction(const std::function<std::optional<ArchiveError>()>& work);

  // The SQL text of the schema for this backend (schema.cpp).
  QStringList SchemaStatements() const;

  // The last data image rebuilt (ArchiveStore::LayoutImage), by its layout and residue.
  qint64 cachedLayout = 0;
  qint64 cachedResidue = 0;
  QByteArray cachedImage;

 private:
  ArchiveDatabase(const ArchiveAddress& address, QString connection);
  std::optional<ArchiveError> CheckSchema(Archive::OpenMode mode);
  bool Busy(const QSqlError& error) const;

  ArchiveAddress address_;
  QString connection_;
  QSqlDatabase db_;
  QSqlError last_;
};

}  // namespace zarn
