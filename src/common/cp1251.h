#pragma once
// Code page 1251 <-> QString. The instrument, its data files and the parameter files
// all carry Cyrillic text as single bytes of this code page; inside the program every
// text is a QString.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace zarn {

// One byte to its Unicode character (every byte maps; 0x98, unassigned, maps to U+0098).
char16_t Cp1251ToUnicode(unsigned char byte);

// One Unicode code point to its byte; characters the code page lacks become '?'.
unsigned char UnicodeToCp1251(char32_t codePoint);

// Whether every character of `text` has a byte in the code page.
bool FitsCp1251(QStringView text);

QString DecodeCp1251(QByteArrayView bytes);
QByteArray EncodeCp1251(QStringView text);

}  // namespace zarn
