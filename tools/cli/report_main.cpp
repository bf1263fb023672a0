// zarn26-cli-report: runs `zarn26-cli report`, which zarn26-cli hands over to it. It
// needs Qt's GUI libraries for fonts, PDF and ODT; it never opens a window and never
// needs a display.

#include <QGuiApplication>
#include <csignal>
#include <cstdio>

#include "commands.h"
#include "report/fonts.h"

namespace {

// Qt's notes and warnings (about the missing runtime folder of a server account, for
// one) are not the tool's messages; only errors reach stderr.
void OnlyErrors(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "zarn26-cli report: %s\n", qUtf8Printable(message));
}

}  // namespace

int main(int argc, char* argv[]) {
  qInstallMessageHandler(OnlyErrors);
  // A write past the file-size limit fails with its error, reported like any other
  // failed write, instead of ending the program.
  std::signal(SIGXFSZ, SIG_IGN);
  // Fonts and PDF need no screen: the offscreen platform works on any machine.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("zarn26-cli"));
  zarn::InstallFontSubstitutes();
  QStringList args = QGuiApplication::arguments().mid(1);
  if (args.value(0) != u"report") {
    std::fputs("zarn26-cli-report is run by zarn26-cli: zarn26-cli report ...\n", stderr);
    return zarn::cli::kExitUsage;
  }
  args.removeFirst();
  return zarn::cli::RunReport(args);
}
