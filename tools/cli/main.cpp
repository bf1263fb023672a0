// zarn26-cli: reads the instrument into a data file, sends materials and objects files
// to it, prints what the program's tables, chart data and parameter files hold for a
// data file, and keeps the lab archive.

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <unistd.h>

#include "commandline.h"
#include "commands.h"
#include "common/filewrite.h"

namespace {

constexpr char kUsage[] =
    "usage: zarn26-cli read OUT.zarn [--timeout SECONDS] [--archive]\n"
    "       zarn26-cli write-materials FILE.mtzarn [--timeout SECONDS]\n"
    "       zarn26-cli write-objects FILE.objzarn [--timeout SECONDS]\n"
    "       zarn26-cli export FILE.zarn [--lang ru|en] [--unit mpa|kgf] [--format tsv|csv|json]\n"
    "         [--decimal point|comma] WHAT\n"
    "         WHAT: series | impacts N | coefficients N | chart N [--blow B] | materials | objects\n"
    "       zarn26-cli report FILE [--kind report|sheets [--series N,M-K]] [--lang ru|en]\n"
    "         [--unit mpa|kgf] --format pdf|xlsx|ods|odt|rtf|html|txt|csv|prepared\n"
    "         [--decimal point|comma] -o OUT\n"
    "       zarn26-cli archive [--db PATH|URL] import|list|summary|export|imports|import-file|note|check ...\n"
    "       zarn26-cli --version\n";

}  // namespace

namespace zarn::cli {

int HandOverReport(char* argv[], int argc) {
  // Beside this program (the build and a portable copy), or in the libexec folder of
  // the installation prefix.
  const QString dir = QCoreApplication::applicationDirPath();
  const QString candidates[] = {dir + QStringLiteral("/zarn26-cli-report"),
                                dir + QStringLiteral("/../libexec/zarn26/zarn26-cli-report")};
  for (const QString& candidate : candidates) {
    if (!QFileInfo(candidate).isExecutable()) continue;
    const QByteArray path = QFile::encodeName(candidate);
    char report[] = "report";
    // The arguments as they came, byte for byte (a file name need not be UTF-8).
    std::vector<char*> args{const_cast<char*>(path.constData()), report};
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    std::fflush(nullptr);
    ::execv(path.constData(), args.data());
    std::fprintf(stderr, "zarn26-cli report: cannot start %s: %s\n", path.constData(),
                 std::strerror(errno));
    return kExitWriteFailed;
  }
  std::fputs("zarn26-cli report: zarn26-cli-report, which writes reports, is not installed "
             "beside zarn26-cli\n",
             stderr);
  return kExitWriteFailed;
}

}  // namespace zarn::cli

int main(int argc, char* argv[]) {
  using namespace zarn::cli;
  zarn::IgnoreFileSizeSignal();
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zarn26-cli"));
  QCoreApplication::setApplicationVersion(QStringLiteral(ZARN_VERSION));
  // The commands; each parses the arguments after its name itself.
  const Action commands[] = {
      {QStringLiteral("read"), RunRead},
      {QStringLiteral("write-materials"), RunWriteMaterials},
      {QStringLiteral("write-objects"), RunWriteObjects},
      {QStringLiteral("export"), RunExport},
      {QStringLiteral("archive"), RunArchive},
      // Its arguments are the last ones of the command line, handed over as they came.
      {QStringLiteral("report"),
       [&](const QStringList& args) { return HandOverReport(argv + argc - args.size(), int(args.size())); }},
  };
  CommandLine line({QString(), QString::fromLatin1(kUsage), {}});
  line.AddOption({QStringLiteral("version")}).StopAtFirstPositional();
  if (const auto done = line.Parse(QCoreApplication::arguments().mid(1))) return *done;
  if (line.IsSet(QStringLiteral("version"))) {
    std::printf("zarn26-cli %s\n", ZARN_VERSION);
    return kExitOk;
  }
  return RunAction(line, commands, QStringLiteral("command"));
}
