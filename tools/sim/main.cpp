// zarn26-sim: the instrument simulator.

#include <QCoreApplication>

#include "common/filewrite.h"
#include "simulator.h"

int main(int argc, char* argv[]) {
  zarn::IgnoreFileSizeSignal();
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zarn26-sim"));
  const QStringList args = QCoreApplication::arguments().mid(1);
  if (args.contains(QStringLiteral("--write-sample"))) return zarn::sim::RunWriteSample(args);
  return zarn::sim::RunServer(args);
}
