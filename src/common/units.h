#pragma once
// The strength unit the tables, the chart, the report and the exports show. Strength is
// kept in MPa everywhere and converted only for display (data/process.h).

#include <cstdint>

namespace zarn {

enum class StrengthUnit : uint8_t { MPa, Kgf };

}  // namespace zarn
