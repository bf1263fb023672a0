#pragma once
// Little-endian fields of the instrument's images. Callers pass pointers that lie
// inside a buffer with at least the field's width left.

#include <bit>
#include <cstdint>
#include <cstring>

namespace zarn {

inline uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline float GetF32(const uint8_t* p) { return std::bit_cast<float>(GetU32(p)); }

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void PutF32(uint8_t* p, float v) { PutU32(p, std::bit_cast<uint32_t>(v)); }

}  // namespace zarn
