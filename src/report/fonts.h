#pragma once
// The window's fonts carry their classic Windows names (Times New Roman, MS Sans Serif). Where
// the system has no font of that name, a metric-compatible free font stands in.

namespace zarn {

// "Times New Roman" -> Liberation Serif, "MS Sans Serif" -> Liberation Sans, each only
// when the family itself is missing. Safe to call more than once.
void InstallFontSubstitutes();

}  // namespace zarn
