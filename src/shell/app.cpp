#include "app.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

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
  IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zarn26"));
  QApplication::setWindowIcon(ProgramIcon());
  // The desktop entry the windows belong to (task bars and docks show its icon).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.zarn26"));
  // A data file named on the command line (the arguments joined by blanks, so that an
  // unquoted path with blanks arrives whole) is read on another thread while the window
  // is built; it opens before the first event.
  const QStringList arguments = QApplication::arguments().mid(1);
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
