#pragma once
// ShortText: the instrument's fixed-size text field. Byte 0 is the length L, bytes
// 1..L the characters in code page 1251; when L < N - 1 a zero byte follows them.
// Every such field in this program has capacity N = 20 (at most 19 characters).

#include <QString>
#include <QStringView>
#include <cstdint>

namespace zarn {

inline constexpr int kShortTextCapacity = 20;

// Reads the field; a length byte of 0, of N or more, or above 0x7F (negative as a
// signed byte) gives the empty text. The text ends early at a zero byte.
// Reads at most `capacity` bytes of `field`.
QString ShortTextToString(const uint8_t* field, int capacity = kShortTextCapacity);

// Stores at most N - 1 characters; writes the length byte, the characters and, when
// fewer than N - 1 were stored, one zero byte. No other byte of the field changes.
void StringToShortText(uint8_t* field, QStringView text, int capacity = kShortTextCapacity);

}  // namespace zarn
