// zarn26-cli: reads the instrument into a data file, and prints what the program's
// tables, chart data and parameter files hold for a data file.

#include <QCoreApplication>
#include <cstdio>

#include "commands.h"

namespace {

constexpr char kUsage[] =
    "usage: zarn26-cli read OUT.zarn [--timeout SECONDS]\n"
    "       zarn26-cli export FILE.zarn [--lang ru|en] [--unit mpa|kgf] [--format tsv|csv|json] WHAT\n"
    "         WHAT: series | impacts N | coefficients N | chart N [--blow B] | materials | objects\n"
    "       zarn26-cli --version\n";

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zarn26-cli"));
  QCoreApplication::setApplicationVersion(QStringLiteral(ZARN_VERSION));
  QStringList args = QCoreApplication::arguments().mid(1);
  if (args.value(0) == u"--version") {
    std::printf("zarn26-cli %s\n", ZARN_VERSION);
    return zarn::cli::kExitOk;
  }
  const QString command = args.isEmpty() ? QString() : args.takeFirst();
  if (command == u"export") return zarn::cli::RunExport(args);
  if (command == u"read") return zarn::cli::RunRead(args);
  std::fputs(kUsage, command == u"--help" ? stdout : stderr);
  return command == u"--help" ? zarn::cli::kExitOk : zarn::cli::kExitUsage;
}
