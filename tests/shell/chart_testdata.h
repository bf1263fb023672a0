#pragma once
// Processes for the chart and clipboard tests, on top of the record encoder of the
// data tests.

#include <algorithm>
#include <cmath>

#include "data/testdata.h"

namespace zarn::test {

// A decaying oscillation like a real impact, different for every blow, so that each
// curve can be told apart.
inline void Oscillation(TestBlow& blow, int b) {
  const double period = 150 + 9 * b;
  const double decay = 110 + 12 * b;
  const double height = 100 - 4 * b;
  auto value = [&](int k) {
    return int(std::lround(height * std::exp(-k / decay) * std::sin(6.283185307179586 * k / period)));
  };
  blow.firstSample = int8_t(value(1));
  int running = blow.firstSample;
  for (int k = 2; k <= kWaveSamples; ++k) {
    const int step = std::clamp(value(k) - running, -127, 127);
    blow.deltas[size_t(k - 2)] = int8_t(step);
    running += step;
  }
}

inline TestProcess DistinctBlows(int count) {
  TestProcess p;
  p.blowCount = uint16_t(count);
  p.blowMask = 0x7FFF;
  p.timeStep = 0.5f;
  for (int b = 0; b < kMaxBlows; ++b) {
    TestBlow& blow = p.blows[size_t(b)];
    blow.impactAmplitude = 1.0f + 0.25f * float(b);
    blow.waveStart = 2.0f + float(b);
    blow.strength = 20.0f + float(b);
    blow.direction = int8_t(b % 3);
    Oscillation(blow, b);
  }
  return p;
}

// A curve at +10 except at points [from, to), where it is at -10 (point k is
// sample k; point 0 is the origin the chart adds).
inline void NegativeSwing(TestBlow& blow, int from, int to) {
  blow.firstSample = 10;
  blow.deltas.fill(0);
  blow.deltas[size_t(from - 2)] = -20;
  if (to <= kWaveSamples) blow.deltas[size_t(to - 2)] = 20;
}

// A curve that never turns negative.
inline void Positive(TestBlow& blow) {
  blow.firstSample = 10;
  blow.deltas.fill(0);
}

}  // namespace zarn::test
