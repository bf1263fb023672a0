// zarn26-sim --write-sample OUT.zarn [--processes N] [--seed S]: writes a data file
// with generated, realistic instrument memory. The same seed and count always give
// the same bytes.

#include <QString>
#include <QTextStream>
#include <memory>

#include "common/texts.h"
#include "data/datafile.h"
#include "samplegen.h"
#include "simulator.h"

namespace zarn::sim {
namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultProcesses = 40;
constexpr uint64_t kDefaultSeed = 1;

const char kUsage[] =
    "usage: zarn26-sim --write-sample OUT.zarn [--processes N] [--seed S]\n"
    "  N: number of measurement series, 0..2688 (default 40)\n"
    "  S: seed of the generator, 0..18446744073709551615 (default 1)\n";

int UsageError(const QString& message) {
  QTextStream err(stderr);
  err << "zarn26-sim: " << message << '\n' << kUsage;
  return kExitUsage;
}

}  // namespace

int RunWriteSample(const QStringList& args) {
  QString out;
  int processes = kDefaultProcesses;
  uint64_t seed = kDefaultSeed;
  bool haveProcesses = false, haveSeed = false;

  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&](QString& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    QString v;
    if (a == u"--write-sample") {
      if (!out.isEmpty()) return UsageError(QStringLiteral("--write-sample given twice"));
      if (!value(v) || v.isEmpty() || v.startsWith(u"--"))
        return UsageError(QStringLiteral("--write-sample needs the name of the file to write"));
      out = v;
    } else if (a == u"--processes") {
      if (haveProcesses) return UsageError(QStringLiteral("--processes given twice"));
      if (!value(v)) return UsageError(QStringLiteral("--processes needs a number"));
      bool ok = false;
      const qlonglong n = v.toLongLong(&ok, 10);
      if (!ok || n < 0 || n > kMaxSampleProcesses)
        return UsageError(
            QStringLiteral("--processes must be a whole number from 0 to %1, not \"%2\"")
                .arg(kMaxSampleProcesses)
                .arg(v));
      processes = int(n);
      haveProcesses = true;
    } else if (a == u"--seed") {
      if (haveSeed) return UsageError(QStringLiteral("--seed given twice"));
      if (!value(v)) return UsageError(QStringLiteral("--seed needs a number"));
      bool ok = false;
      seed = v.toULongLong(&ok, 10);
      if (!ok || v.startsWith(u'-') || v.startsWith(u'+'))
        return UsageError(
            QStringLiteral("--seed must be a whole number from 0 to 18446744073709551615, not \"%1\"")
                .arg(v));
      haveSeed = true;
    } else if (a == u"-h" || a == u"--help") {
      QTextStream(stdout) << kUsage;
      return 0;
    } else {
      return UsageError(QStringLiteral("unknown argument \"%1\"").arg(a));
    }
  }
  if (out.isEmpty()) return UsageError(QStringLiteral("no output file given"));

  auto images = std::make_unique<DeviceImages>();  // 8 MiB: not on the stack
  GenerateSample(*images, processes, seed);
  if (const FileWriteResult written = WriteDataFile(out, *images); !written) {
    QTextStream(stderr) << "zarn26-sim: " << WriteFailureMessage(written, kEnglish) << '\n';
    return kExitWriteFailed;
  }
  QTextStream(stdout) << "zarn26-sim: wrote " << out << " (" << processes
                      << " processes, seed " << seed << ")\n";
  return 0;
}

}  // namespace zarn::sim
