#pragma once
// Realistic instrument memory for the simulator, the tests and the benchmarks.

#include <cstdint>

#include "common/images.h"

namespace zarn::sim {

// Fills `out` with `processes` series (0..2688) generated from `seed`: the same seed
// and count give the same bytes.
void GenerateSample(DeviceImages& out, int processes, uint64_t seed);

}  // namespace zarn::sim
