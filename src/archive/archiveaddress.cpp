#include "archiveaddress.h"

#include <QByteArray>

#include "common/programsettings.h"

namespace zarn {
namespace {

std::optional<ArchiveAddress> Fail(QString* error, const QString& reason) {
  if (error) *error = reason;
  return std::nullopt;
}

// Decodes %XX escapes; nullopt for a '%' not followed by two hex digits or for bytes
// that are no UTF-8.
std::optional<QString> Decode(QStringView part) {
  if (!part.contains(u'%')) return part.toString();
  QByteArray bytes;
  for (qsizetype i = 0; i < part.size(); ++i) {
    if (part[i] != u'%') {
      bytes += part.mid(i, 1).toUtf8();
      continue;
    }
    bool ok = false;
    const int value = i + 2 < part.size() ? part.mid(i + 1, 2).toInt(&ok, 16) : 0;
    if (!ok) return std::nullopt;
    bytes += char(value);
    i += 2;
  }
  const QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() != bytes) return std::nullopt;
  return text;
}

}  // namespace

std::optional<ArchiveAddress> ParseArchiveAddress(const QString& location, QString* error) {
  ArchiveAddress a;
  a.shown = WithoutPassword(location);
  qsizetype start = -1;
  for (QStringView scheme : {u"postgresql://", u"postgres://"})
    if (location.startsWith(scheme, Qt::CaseInsensitive)) start = scheme.size();
  if (start < 0) {
    if (location.trimmed().isEmpty()) return Fail(error, QStringLiteral("no archive named (an empty path)"));
    a.path = location;
    return a;
  }
  a.backend = ArchiveBackend::Postgres;
  const QStringView rest = QStringView(location).sliced(start);
  const qsizetype query = rest.indexOf(u'?');
  const QStringView beforeQuery = query < 0 ? rest : rest.left(query);
  const qsizetype slash = beforeQuery.indexOf(u'/');
  const QStringView authority = slash < 0 ? beforeQuery : beforeQuery.left(slash);
  const QStringView database = slash < 0 ? QStringView() : beforeQuery.sliced(slash + 1);
  const auto bad = [&](const QString& what) {
    return Fail(error, QStringLiteral("the address \"%1\" %2").arg(a.shown, what));
  };

  QStringView hostPort = authority;
  if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
    const QStringView userPart = authority.left(at);
    hostPort = authority.sliced(at + 1);
    const qsizetype colon = userPart.indexOf(u':');
    const auto user = Decode(colon < 0 ? userPart : userPart.left(colon));
    const auto password = Decode(colon < 0 ? QStringView() : userPart.sliced(colon + 1));
    if (!user || !password) return bad(QStringLiteral("has a bad %-escape in its user part"));
    a.user = *user;
    a.password = *password;
  }
  // A host in brackets is an IPv6 address: its colons are not the port's.
  qsizetype portColon = -1;
  if (hostPort.startsWith(u'[')) {
    const qsizetype close = hostPort.indexOf(u']');
    if (close < 0) return bad(QStringLiteral("has a '[' without ']'"));
    a.host = hostPort.sliced(1, close - 1).toString();
    if (close + 1 < hostPort.size()) {
      if (hostPort[close + 1] != u':') return bad(QStringLiteral("has text after its host"));
      portColon = close + 1;
    }
  } else {
    portColon = hostPort.lastIndexOf(u':');
    const auto host = Decode(portColon < 0 ? hostPort : hostPort.left(portColon));
    if (!host) return bad(QStringLiteral("has a bad %-escape in its host"));
    a.host = *host;
  }
  if (portColon >= 0) {
    bool ok = false;
    const int port = hostPort.sliced(portColon + 1).toInt(&ok);
    if (!ok || port < 1 || port > 65535) return bad(QStringLiteral("has no port number from 1 to 65535"));
    a.port = port;
  }
  const auto db = Decode(database);
  if (!db) return bad(QStringLiteral("has a bad %-escape in its database name"));
  a.database = *db;

  if (query >= 0) {
    for (QStringView item : rest.sliced(query + 1).split(u'&')) {
      if (item.isEmpty()) continue;
      const qsizetype eq = item.indexOf(u'=');
      if (eq <= 0) return bad(QStringLiteral("has a parameter without key=value"));
      const auto key = Decode(item.left(eq).trimmed());
      const auto value = Decode(item.sliced(eq + 1));
      if (!key || !value) return bad(QStringLiteral("has a bad %-escape in a parameter"));
      // libpq's connection keywords are lower-case letters and '_' (sslmode, connect_timeout).
      for (QChar c : *key)
        if (!(c.isLower() && c.unicode() < 128) && c != u'_')
          return bad(QStringLiteral("has a parameter \"%1\" that is no connection keyword").arg(*key));
      if (value->contains(u';'))
        return bad(QStringLiteral("has a ';' in the value of \"%1\"").arg(*key));
      if (*key == u"password") {
        a.password = *value;
        continue;
      }
      a.options.append(*key + u'=' + *value);
    }
  }
  return a;
}

}  // namespace zarn
