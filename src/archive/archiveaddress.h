#pragma once
// Where an archive is: a file path (an SQLite database) or a PostgreSQL address,
//   postgresql://[user[:password]@][host][:port][/dbname][?key=value&...]
// ("postgres://" too, the scheme in any case). What the address leaves out is left to
// libpq, which takes it from PGHOST, PGPORT, PGUSER, PGDATABASE, PGPASSWORD, ~/.pgpass
// and PGSERVICE. Percent-escapes are decoded in every part, so a socket folder is
// written as host "%2Frun%2Fpostgresql". A password in the address is used for the
// connection only; `shown` is what may be stored or shown (WithoutPassword).

#include <QString>
#include <QStringList>
#include <optional>

namespace zarn {

enum class ArchiveBackend { Sqlite, Postgres };

struct ArchiveAddress {
  ArchiveBackend backend = ArchiveBackend::Sqlite;
  QString path;  // Sqlite: the database file, as given
  // Postgres: an empty text or port -1 is left to libpq.
  QString host, user, database, password;
  int port = -1;
  QStringList options;  // the "key=value" parameters (sslmode=require, ...), password= left out
  QString shown;        // the location without its password
};

// nullopt, with the reason in `error`, for an address that cannot be taken: a port that
// is no number from 1 to 65535, a parameter without '=', a bad percent-escape, an empty
// path.
std::optional<ArchiveAddress> ParseArchiveAddress(const QString& location, QString* error = nullptr);

}  // namespace zarn
