// Settings, materials and objects files come from anywhere: parse them, write into
// them and read back, and parse every value as a number.

#include <cstddef>
#include <cstdint>

#include "common/inifile.h"
#include "common/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  zarn::IniDocument doc = zarn::IniDocument::FromBytes(bytes);
  // Nothing is lost: a document nobody changed gives back the very bytes it was made of,
  // whatever they are.
  if (doc.ToBytes() != bytes) __builtin_trap();
  for (const QString& line : doc.Lines()) (void)zarn::ParseNumber(line);
  const QString a = doc.Read(u"Config", u"LangId", u"", 9);
  (void)zarn::ParseNumber(a);
  // A written value reads back, in the settings file's encoding rule, whatever the
  // file was written in before.
  const QString path = QStringLiteral("/home/用户/Données/📁");
  doc.Write(u"Config", u"Uses", u"1");
  doc.Write(u"Config", u"LastReadPath", path);
  doc.Write(u"Mt017", u"Name", u"Бетон");
  const zarn::IniDocument back = zarn::IniDocument::FromBytes(doc.ToBytes());
  if (back.Read(u"Config", u"Uses") != u"1" || back.Read(u"Config", u"LastReadPath") != path)
    __builtin_trap();
  (void)doc.ToBytes(zarn::IniCharset::Cp1251);
  return 0;
}
