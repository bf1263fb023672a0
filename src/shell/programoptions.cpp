#include "programoptions.h"

#include "aboutbox.h"

namespace zarn {

CommandLineRequest ParseProgramArguments(const QStringList& arguments) {
  CommandLineRequest request;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == u"--") {
      request.fileArguments << arguments.mid(i + 1);
      break;
    }
    if (a == u"--help" || a == u"-h") return {CommandLineRequest::Kind::Help, {}};
    if (a == u"--version") return {CommandLineRequest::Kind::Version, {}};
    request.fileArguments << a;
  }
  return request;
}

QString ProgramUsageText() {
  return QStringLiteral(
      "Usage: zarn26 [FILE.zarn]\n"
      "       zarn26 --help | --version\n"
      "\n"
      "The companion program of the Zarn-2.5/2.6 strength meter: reads the instrument over\n"
      "USB, shows the measurement series in tables and a chart, saves and opens data files,\n"
      "prints the series report and edits the instrument's materials and object names.\n"
      "\n"
      "  FILE.zarn    a data file to open at start (all arguments joined by blanks form\n"
      "               its name; after \"--\" also one that begins with \"-\")\n"
      "  -h, --help   print this text and exit\n"
      "  --version    print the program's version and exit\n"
      "\n"
      "The user guide opens with F1; zarn26-cli(1) does the same work without a window.\n");
}

QString ProgramVersionText() {
  return QStringLiteral("zarn26 %1 (built %2)\n").arg(ProgramVersion(), ProgramBuildDate().simplified());
}

}  // namespace zarn
