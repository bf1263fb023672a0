#pragma once
// The one application the report's tests measure and paint texts in, with the report's fonts.

#include <QGuiApplication>

#include "report/fonts.h"

namespace zarn::testing {

inline void ReportApp() {
  static int argc = 1;
  static char name[] = "report_tests";
  static char* argv[] = {name, nullptr};
  if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
  InstallFontSubstitutes();
}

}  // namespace zarn::testing
