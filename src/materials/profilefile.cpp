#include "profilefile.h"

#include <QFileInfo>

namespace zarn {

QString IniValueFor(QStringView value) {
  QString v = value.toString();
  v.replace(u'\r', u' ');
  v.replace(u'\n', u' ');
  if (v.isEmpty()) return v;
  auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
  const bool blankEnds = blank(v.front()) || blank(v.back());
  const bool quoted =
      v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
  if (blankEnds || quoted) return u'"' + v + u'"';
  return v;
}

std::optional<IniDocument> ReadIniFileForLoad(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() || !info.isFile()) return std::nullopt;
  return IniFile(path).Load();
}

}  // namespace zarn
