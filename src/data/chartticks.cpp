#include "chartticks.h"

#include <algorithm>
#include <cmath>

namespace zarn {
namespace {

constexpr double kMantissas[] = {1.0, 2.0, 2.5, 5.0};
constexpr double kSlack = 1e-9;  // a tick on the very end of the range counts

int TickCount(double lo, double hi, double step) {
  const double first = std::ceil(lo / step - kSlack);
  const double last = std::floor(hi / step + kSlack);
  return last < first ? 0 : int(std::min(1e6, last - first + 1));
}

// The nice interval `index` places above 10^decade (4 per decade).
double NiceAt(int decade, int index) {
  const int d = decade + (index >= 0 ? index / 4 : -((-index + 3) / 4));
  const int m = ((index % 4) + 4) % 4;
  return kMantissas[m] * std::pow(10.0, d);
}

}  // namespace

double TickStep(double lo, double hi, int pixels, int labelPixels, int minTicks, double minStep) {
  const double span = hi - lo;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(span > 0)) return 1.0;
  pixels = std::max(1, pixels);
  labelPixels = std::max(1, labelPixels);
  // Start a decade below the interval that would give one label per `labelPixels`.
  const double wanted = span * labelPixels / pixels;
  const int decade = int(std::floor(std::log10(wanted))) - 1;
  int index = 0;
  // Four places per decade: 12 steps cover the three decades around `wanted`.
  for (int guard = 0; guard < 64; ++guard, ++index) {
    const double step = NiceAt(decade, index);
    if (step < minStep) continue;
    if (step * pixels / span >= labelPixels) break;
  }
  double step = NiceAt(decade, index);
  // Too coarse for the range: go finer until there are enough ticks (never below
  // minStep, which a range too short for it cannot help).
  for (int guard = 0; guard < 64 && TickCount(lo, hi, step) < minTicks; ++guard) {
    const double finer = NiceAt(decade, --index);
    if (finer < minStep) break;
    step = finer;
  }
  return step;
}

std::vector<double> TickValues(double lo, double hi, double step) {
  std::vector<double> ticks;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(step > 0)) return ticks;
  const double first = std::ceil(lo / step - kSlack);
  const double last = std::floor(hi / step + kSlack);
  if (!(last - first < 1000)) return ticks;
  for (double k = first; k <= last; ++k) ticks.push_back(k == 0 ? 0.0 : k * step);
  return ticks;
}

int TickDecimals(double step) {
  if (!(step > 0) || !std::isfinite(step)) return 0;
  for (int d = 0; d < 9; ++d) {
    const double scaled = step * std::pow(10.0, d);
    if (std::abs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled)) return d;
  }
  return 9;
}

}  // namespace zarn
