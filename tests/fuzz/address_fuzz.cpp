// An archive address comes from the settings file or the command line: whatever it
// holds, what may be stored keeps no password, and storing it again changes nothing.

#include <cstddef>
#include <cstdint>

#include "common/programsettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString given = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  for (const QString& location : {given, QStringLiteral("postgresql://") + given}) {
    const QString stored = zarn::WithoutPassword(location);
    if (zarn::WithoutPassword(stored) != stored) __builtin_trap();
    if (!location.startsWith(u"postgresql://", Qt::CaseInsensitive) &&
        !location.startsWith(u"postgres://", Qt::CaseInsensitive)) {
      if (stored != location) __builtin_trap();
      continue;
    }
    // No password= parameter, and no "user:password@" before the host.
    const qsizetype query = stored.indexOf(u'?');
    if (query >= 0) {
      for (const QString& item : stored.sliced(query + 1).split(u'&'))
        if (item.section(u'=', 0, 0).trimmed().compare(u"password", Qt::CaseInsensitive) == 0) __builtin_trap();
    }
    const qsizetype start = stored.indexOf(u"://") + 3;
    qsizetype end = stored.size();
    for (QChar c : {QChar(u'/'), QChar(u'?')})
      if (const qsizetype at = stored.indexOf(c, start); at >= 0) end = std::min(end, at);
    const qsizetype at = stored.lastIndexOf(u'@', end - 1);
    if (at >= start && stored.sliced(start, at - start).contains(u':')) __builtin_trap();
  }
  return 0;
}
