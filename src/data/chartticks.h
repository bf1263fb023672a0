#pragma once
// The chart's tick rule, apart from the widgets: which values of an axis get a tick
// and a label, from the range the axis shows and the room it has on the screen.

#include <vector>

namespace zarn {

// The tick interval for an axis showing lo..hi over `pixels`: the smallest of 1, 2,
// 2.5 and 5 times a power of ten (and at least `minStep`) whose ticks lie at least
// `labelPixels` apart. When that leaves fewer than `minTicks` ticks within lo..hi, the
// largest interval that gives `minTicks` is taken instead, however close its labels
// come: an axis must always be readable. An empty or unusable range gives 1.
double TickStep(double lo, double hi, int pixels, int labelPixels, int minTicks = 3,
                double minStep = 0);

// The tick values within lo..hi (each a whole multiple of `step`, and 0 exactly 0).
std::vector<double> TickValues(double lo, double hi, double step);

// Decimals that write every multiple of `step` exactly (2,5 needs one, 0,25 two).
int TickDecimals(double step);

}  // namespace zarn
