#pragma once
// zarn26-cli export of the program's images, for comparing the window's copies with it.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "common/images.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "data/process.h"

namespace zarn::test {

// Runs `zarn26-cli export FILE --lang L --unit U WHAT...` (WHAT: words separated by
// blanks) and returns what it printed. `file` is written from `images` first.
inline QString CliExport(const QString& file, const DeviceImages& images, int language,
                         StrengthUnit unit, const char* what) {
  EXPECT_TRUE(WriteDataFile(file, images));
  QProcess cli;
  cli.start(QStringLiteral(ZARN26_CLI),
            QStringList{QStringLiteral("export"), file, QStringLiteral("--lang"),
                        language == kRussian ? QStringLiteral("ru") : QStringLiteral("en"),
                        QStringLiteral("--unit"),
                        unit == StrengthUnit::MPa ? QStringLiteral("mpa") : QStringLiteral("kgf")} +
                QString::fromLatin1(what).split(u' '));
  EXPECT_TRUE(cli.waitForFinished(20000));
  EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  return QString::fromUtf8(cli.readAllStandardOutput());
}

}  // namespace zarn::test
