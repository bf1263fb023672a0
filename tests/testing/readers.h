#pragma once
// The real readers that tests check exported files with: programs run to their end
// (poppler's pdfinfo and pdftotext, Python with its modules) and LibreOffice run
// headless. A reader that is not installed makes its check skip, never fail.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace zarn::testing {

struct ProgramRun {
  int code = -1;
  QByteArray out;
  QByteArray err;
};

// Runs a program to its end (at most `timeoutMs`); a program that does not end fails
// the test and is killed.
inline ProgramRun Start(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
                        int timeoutMs = 60000) {
  QProcess p;
  if (!env.isEmpty()) p.setProcessEnvironment(env);
  p.start(program, args);
  ProgramRun r;
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished();
    ADD_FAILURE() << program.toStdString() << " did not finish";
    return r;
  }
  r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

inline bool Installed(const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

// A reader's output, or nothing when the reader is not installed.
inline std::optional<QByteArray> Read(const QString& program, const QStringList& args) {
  if (!Installed(program) && !QFile::exists(program)) return {};
  const ProgramRun r = Start(program, args);
  EXPECT_EQ(r.code, 0) << program.toStdString() << ": " << r.err.toStdString();
  return r.out;
}

// A Python reader: the script prints {"v": ...}; nothing when Python or `module` is missing.
inline std::optional<QJsonValue> PythonRead(const QString& module, const QString& script, const QStringList& args) {
  const QString python = QStringLiteral("/usr/bin/python3");
  if (!QFile::exists(python)) return {};
  if (Start(python, {QStringLiteral("-c"), QStringLiteral("import ") + module}).code != 0) return {};
  const ProgramRun r = Start(python, QStringList{QStringLiteral("-c"), script} + args);
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  return QJsonDocument::fromJson(r.out).object().value(QStringLiteral("v"));
}

// The cells of a workbook's first sheet, read with openpyxl: {"v": [[value, ...], ...]}
// with numbers as numbers, texts as strings, empty cells as null, dates and times as
// their texts.
inline constexpr char kXlsxCellsScript[] = R"(import sys, json, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
print(json.dumps({"v": [list(r) for r in ws.iter_rows(values_only=True)]}, default=str))
)";

// LibreOffice, headless, with a profile of its own that its first start makes and
// later conversions of the same object reuse (it is slow to start: convert many files
// in one run where the filter allows).
class LibreOffice {
 public:
  static bool IsInstalled() { return Installed(QStringLiteral("soffice")); }

  // Converts `files` into `format` ("pdf", "xlsx") in `outDir` in one run, reading
  // them with the import filter `inFilter` when given ("CSV:44,34,76,1,,1033"). True
  // when every converted file is there.
  bool Convert(const QStringList& files, const QString& format, const QString& outDir,
               const QString& inFilter = {}) {
    QStringList args{QStringLiteral("-env:UserInstallation=file://") + profile_.path(), QStringLiteral("--headless"),
                     QStringLiteral("--norestore"), QStringLiteral("--nolockcheck")};
    if (!inFilter.isEmpty()) args.append(QStringLiteral("--infilter=") + inFilter);
    args << QStringLiteral("--convert-to") << format << QStringLiteral("--outdir") << outDir;
    args.append(files);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SAL_USE_VCLPLUGIN"), QStringLiteral("svp"));
    env.insert(QStringLiteral("HOME"), profile_.path());
    const ProgramRun r = Start(QStringLiteral("soffice"), args, env, 240000);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    bool all = r.code == 0;
    for (const QString& f : files) {
      const QString out = QDir(outDir).filePath(QFileInfo(f).completeBaseName() + u'.' + format);
      if (!QFile::exists(out)) {
        ADD_FAILURE() << "LibreOffice made no " << out.toStdString() << ": " << r.out.toStdString()
                      << r.err.toStdString();
        all = false;
      }
    }
    return all;
  }

 private:
  QTemporaryDir profile_;
};

}  // namespace zarn::testing
