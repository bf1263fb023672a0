#pragma once
// The window's fonts are named as the instrument's Windows software names them. Where
// the system has no font of that name, a metric-compatible free font stands in.

namespace zarn {

// "Times New Roman" -> Liberation Serif, "MS Sans Serif" -> Liberation Sans, each only
// when the family itself is missing. Safe to call more than once.
void InstallFontSubstitutes();

}  // namespace zarn
