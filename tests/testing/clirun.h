#pragma once
// What a zarn26-cli run the tests started ended with.

#include <QByteArray>
#include <QProcess>
#include <gtest/gtest.h>

namespace zarn::testing {

struct CliRun {
  int code = -1;  // -1: crashed or did not finish
  QByteArray out;
  QByteArray err;
};

// Waits up to `ms` for the started process; one that runs longer is killed and fails the test.
inline CliRun FinishCli(QProcess& p, int ms) {
  CliRun r;
  if (!p.waitForFinished(ms)) {
    p.kill();
    p.waitForFinished();
    ADD_FAILURE() << "zarn26-cli did not finish";
    return r;
  }
  r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

}  // namespace zarn::testing
