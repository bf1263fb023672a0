// Settings, materials and objects files come from anywhere: parse them, write into
// them and read back, and parse every value as a number.

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/inifile.h"
#include "common/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  zarn::IniDocument doc = zarn::IniDocument::FromBytes(bytes);
  for (const QString& line : doc.Lines()) (void)zarn::ParseNumber(line);
  const QString a = doc.Read(u"Config", u"LangId", u"", 9);
  (void)zarn::ParseNumber(a);
  doc.Write(u"Config", u"Uses", u"1");
  doc.Write(u"Mt017", u"Name", u"Бетон");
  const zarn::IniDocument back = zarn::IniDocument::FromBytes(doc.ToBytes());
  // Characters outside code page 1251 are written as '?', which may change which
  // section a name matches; the round trip must hold for plain ASCII files.
  bool ascii = true;
  for (uint8_t c : std::span(data, size)) ascii = ascii && c < 0x80;
  if (ascii && back.Read(u"Config", u"Uses") != u"1") __builtin_trap();
  return 0;
}
