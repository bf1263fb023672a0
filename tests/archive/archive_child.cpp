// A second program for the archive tests: imports the files named after the archive's
// location, one by one, and prints "imported SERIES ADDED" for each; exit 8 at the
// first failure, with the reason on stderr.
//   archive_child LOCATION FILE...

#include <QCoreApplication>
#include <cstdio>

#include "archive/archive.h"
#include "common/texts.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 3) return 2;
  auto archive = zarn::Archive::Open(args[1]);
  if (!archive) {
    std::fprintf(stderr, "%s\n", qPrintable(archive.error().Text(zarn::kEnglish)));
    return 8;
  }
  for (qsizetype i = 2; i < args.size(); ++i) {
    const auto outcome = (*archive)->ImportFile(args[i]);
    if (!outcome) {
      std::fprintf(stderr, "%s\n", qPrintable(outcome.error().Text(zarn::kEnglish)));
      return 8;
    }
    std::printf("imported %d %d\n", outcome->series, outcome->added);
    std::fflush(stdout);
  }
  return 0;
}
