#pragma once
// zarn26-sim's command line: where the device folder goes, what the instrument holds,
// how it answers, and which faults it shows.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "common/images.h"

namespace zarn::sim {

struct ServerOptions {
  QString root;                 // ROOT of ROOT/{class}/NAME
  QString name;                 // NAME
  QString dataFile;             // content from a data file, or else generated:
  int processes = 40;
  uint64_t seed = 1;
  bool noProcesses = false;     // an empty directory
  QString versionText = QStringLiteral("Zarn-2.6 v3.14 sn 0001");
  std::optional<uint32_t> versionLength;  // default: the text's length
  uint32_t dataLength = kDataImageSize;
  int unplugCommand = 0;        // 1..7, 0 none
  std::optional<uint64_t> unplugAfterBytes;  // of that command's reply
  std::optional<int> replugAfterMs;
  std::optional<uint64_t> stallAfterBytes;   // of all replies since start
  int stallCommand = 0;         // 1..7: that command's reply stops after stallOnBytes
  uint64_t stallOnBytes = 0;
  std::optional<int> resumeAfterMs;          // and goes on after this long (once)
  int slowMs = 0;               // pause between reply chunks
  int garbageLengthCommand = 0; // 1..7, 0 none
  QString saveOnExit;
  bool verbose = false;
};

enum class ParseResult { Run, Help, Error };

// Parses the arguments after the program name. On Error, `error` says why.
ParseResult ParseServerOptions(const QStringList& args, ServerOptions& options, QString& error);

QString ServerHelpText();

// $XDG_RUNTIME_DIR/zarn26 when XDG_RUNTIME_DIR is set, else /run/zarn26.
QString DefaultServerRoot();

}  // namespace zarn::sim
