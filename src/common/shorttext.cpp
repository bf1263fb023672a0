#include "shorttext.h"

#include "cp1251.h"

#include <QList>

namespace zarn {

QString ShortTextToString(const uint8_t* field, int capacity) {
  const int length = static_cast<int8_t>(field[0]);
  if (length <= 0 || length >= capacity) return {};
  int end = 0;
  while (end < length && field[1 + end] != 0) ++end;
  return DecodeCp1251(QByteArrayView(reinterpret_cast<const char*>(field + 1), end));
}

void StringToShortText(uint8_t* field, QStringView text, int capacity) {
  field[0] = 0;
  const int limit = capacity - 1;
  int copied = 0;
  for (char32_t cp : text.toUcs4()) {
    if (copied == limit) break;
    field[1 + copied] = UnicodeToCp1251(cp);
    ++copied;
  }
  field[0] = static_cast<uint8_t>(copied);
  if (copied < limit) field[1 + copied] = 0;
}

}  // namespace zarn
