#pragma once
// The parts of zarn26-sim. RunWriteSample writes a generated data file; RunServer
// plays the instrument over the pipe-folder convention until SIGTERM/SIGINT.

#include <QStringList>

namespace zarn::sim {

int RunWriteSample(const QStringList& args);  // writesample.cpp
int RunServer(const QStringList& args);       // server.cpp

}  // namespace zarn::sim
