#include "app.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "programoptions.h"

#include "common/filewrite.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "desktop.h"
#include "formmain.h"

// Leak-checking builds: system libraries that keep what they load for the life of the
// process (fontconfig's configuration, freed only by an FcFini that Qt does not call;
// the D-Bus connection of the desktop platform) are not ours to report.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace zarn {

int RunProgram(int argc, char* argv[], const std::function<void(TForm1&)>& decorate) {
  // --help and --version need no display and leave the settings alone.
  QStringList given;
  for (int i = 1; i < argc; ++i) given << QString::fromLocal8Bit(argv[i]);
  const CommandLineRequest asked = ParseProgramArguments(given);
  if (asked.kind != CommandLineRequest::Kind::Run) {
    const QByteArray text = (asked.kind == CommandLineRequest::Kind::Help ? ProgramUsageText() : ProgramVersionText())
                                .toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zarn26"));
  QApplication::setWindowIcon(ProgramIcon());
  // The desktop entry the windows belong to (task bars and docks show its icon).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.zarn26"));
  // A data file named on the command line (the arguments joined by blanks, so that an
  // unquoted path with blanks arrives whole) is read on another thread while the window
  // is built; it opens before the first event.
  // (Qt has taken its own options, such as -platform, out of the arguments by now.)
  const QStringList arguments = ParseProgramArguments(QApplication::arguments().mid(1)).fileArguments;
  if (!arguments.isEmpty()) PrefetchDataFile(arguments.join(u' '));
  try {
    TForm1 form;
    if (decorate) decorate(form);
    form.show();
    if (!arguments.isEmpty()) form.OpenCommandLine(arguments);
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, txtAppTitle(), QString::fromLocal8Bit(e.what()));
    return 0;
  }
}

}  // namespace zarn
