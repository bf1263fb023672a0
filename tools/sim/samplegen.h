#pragma once
// Realistic instrument memory for the simulator, the tests and the benchmarks.
//
// The content looks like what the instrument records in the field: series of 1 to 15
// blows on concrete, brick and mortar with strengths, variation and range derived from
// the blows, rising process numbers and times, and per blow an impact waveform (a
// positive impact pulse, then a negative recoil swing and a short decaying ring) whose
// amplitudes, durations and energies agree with the stored samples. The materials and
// objects blocks hold the Russian default sets.
//
// The bytes depend only on the seed and the count: the generator uses its own random
// numbers and only the basic IEEE operations (no library distributions, no
// transcendental functions), so every compiler and platform produces the same file.

#include <cstdint>

#include "common/images.h"

namespace zarn::sim {

inline constexpr int kMaxSampleProcesses = 2688;

// Bytes a process with `blows` blows really uses: the 92-byte header and its blows.
// Records are packed by this size in the DataImage.
inline constexpr uint32_t UsedRecordSize(int blows) {
  return uint32_t(kProcessHeaderSize + kBlowRecordSize * uint32_t(blows));
}

// Fills `out` with `processes` series (clamped to 0..2688) generated from `seed`: the
// same seed and count give the same bytes. Every image is rewritten whole; the
// directory holds exactly `processes` valid entries, and every record, read whole
// (8312 bytes), lies inside the DataImage. When many processes are asked for, the
// series are drawn shorter so that all of them fit.
void GenerateSample(DeviceImages& out, int processes, uint64_t seed);

}  // namespace zarn::sim
