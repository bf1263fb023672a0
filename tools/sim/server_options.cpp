#include "server_options.h"

#include <unistd.h>

#include <QCommandLineParser>

#include "server_protocol.h"

namespace zarn::sim {

namespace {

constexpr uint32_t kMaxDataLength = 64u << 20;

// "04", "4" or "0x04": a command code 1..7.
bool ParseCommand(QString text, int& command) {
  if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) text = text.mid(2);
  bool ok = false;
  const uint value = text.toUInt(&ok, 16);
  if (!ok || value < 1 || value > 7) return false;
  command = int(value);
  return true;
}

template <typename T>
bool ParseNumber(const QString& text, T max, T& value) {
  bool ok = false;
  const qulonglong number = text.toULongLong(&ok, 10);
  if (!ok || number > qulonglong(max)) return false;
  value = T(number);
  return true;
}

}  // namespace

QString DefaultServerRoot() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return runtime.isEmpty() ? QStringLiteral("/run/zarn26") : runtime + QStringLiteral("/zarn26");
}

QString ServerHelpText() {
  return QStringLiteral(
             "usage: zarn26-sim [OPTIONS]\n"
             "       zarn26-sim --write-sample OUT.zarn [--processes N] [--seed S]\n"
             "\n"
             "Plays a Zarn-2.6 instrument on ROOT/{E6EF7DCD-1795-4A08-9FBF-AA78423C26F0}/NAME,\n"
             "whose FIFOs Pipe00 (commands) and Pipe01 (replies) the program opens like a\n"
             "driver's pipes. Prints \"READY <device folder>\" when it listens; serves one\n"
             "connection after another until SIGTERM or SIGINT, then removes its folder.\n"
             "\n"
             "Where:\n"
             "  --root DIR              ROOT (default: %1)\n"
             "  --name NAME             NAME (default: sim-<process id>)\n"
             "What it holds:\n"
             "  --data FILE.zarn        the blocks of a data file\n"
             "  --processes N --seed S  generated series instead (default 40 and 1)\n"
             "  --no-processes          an empty directory: no series at all\n"
             "  --save-on-exit FILE     write what it holds, with the materials and objects\n"
             "                          written to it, as a data file when it ends\n"
             "How it answers:\n"
             "  --version-text TEXT     (default \"Zarn-2.6 v3.14 sn 0001\")\n"
             "  --version-length N      announced length; the text is cut or NUL-padded\n"
             "  --data-length N         announced and sent length of the memory (default\n"
             "                          8388608, at most 67108864; zeros past 8 MiB)\n"
             "Faults:\n"
             "  --unplug-on CMD[,N]     when command CMD (1..7) arrives, send N bytes of its\n"
             "                          reply (default 0) and vanish: the folder goes, the\n"
             "                          pipes close; once only\n"
             "  --replug-after MS       come back as a fresh device MS after vanishing\n"
             "  --stall-after N         send nothing more after N reply bytes in all\n"
             "  --stall-on CMD,N[,MS]   every reply to command CMD stops after N bytes; with\n"
             "                          MS only the first, and it goes on after that pause\n"
             "  --slow MS               pause MS between reply chunks of 4096 bytes\n"
             "  --garbage-length CMD    answer CMD with the length %2\n"
             "Other:\n"
             "  --verbose               log every command on stderr\n"
             "  --help                  this text\n"
             "Exit status: 0 ended by a signal, 1 failure, 2 bad arguments, 3 bad data file.\n")
      .arg(DefaultServerRoot())
      .arg(kAbsurdLength);
}

ParseResult ParseServerOptions(const QStringList& args, ServerOptions& options, QString& error) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption root(QStringLiteral("root"), {}, QStringLiteral("DIR"));
  const QCommandLineOption name(QStringLiteral("name"), {}, QStringLiteral("NAME"));
  const QCommandLineOption data(QStringLiteral("data"), {}, QStringLiteral("FILE"));
  const QCommandLineOption processes(QStringLiteral("processes"), {}, QStringLiteral("N"));
  const QCommandLineOption seed(QStringLiteral("seed"), {}, QStringLiteral("S"));
  const QCommandLineOption noProcesses(QStringLiteral("no-processes"));
  const QCommandLineOption versionText(QStringLiteral("version-text"), {}, QStringLiteral("T"));
  const QCommandLineOption versionLength(QStringLiteral("version-length"), {},
                                         QStringLiteral("N"));
  const QCommandLineOption dataLength(QStringLiteral("data-length"), {}, QStringLiteral("N"));
  const QCommandLineOption unplugOn(QStringLiteral("unplug-on"), {}, QStringLiteral("CMD"));
  const QCommandLineOption replugAfter(QStringLiteral("replug-after"), {}, QStringLiteral("MS"));
  const QCommandLineOption stallAfter(QStringLiteral("stall-after"), {}, QStringLiteral("N"));
  const QCommandLineOption stallOn(QStringLiteral("stall-on"), {}, QStringLiteral("CMD,N"));
  const QCommandLineOption slow(QStringLiteral("slow"), {}, QStringLiteral("MS"));
  const QCommandLineOption garbageLength(QStringLiteral("garbage-length"), {},
                                         QStringLiteral("CMD"));
  const QCommandLineOption saveOnExit(QStringLiteral("save-on-exit"), {}, QStringLiteral("F"));
  const QCommandLineOption verbose(QStringLiteral("verbose"));
  const QCommandLineOption help(QStringLiteral("help"));
  parser.addOptions({root, name, data, processes, seed, noProcesses, versionText, versionLength,
                     dataLength, unplugOn, replugAfter, stallAfter, stallOn, slow, garbageLength,
                     saveOnExit, verbose, help});

  if (!parser.parse(QStringList{QStringLiteral("zarn26-sim")} + args)) {
    error = parser.errorText();
    return ParseResult::Error;
  }
  if (parser.isSet(help)) return ParseResult::Help;
  if (!parser.positionalArguments().isEmpty()) {
    error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    return ParseResult::Error;
  }
  auto fail = [&](const QString& why) {
    error = why;
    return ParseResult::Error;
  };
  auto bad = [&](const QCommandLineOption& option) {
    return fail(QStringLiteral("bad value '%1' for --%2")
                    .arg(parser.value(option), option.names().first()));
  };

  options.root = parser.isSet(root) ? parser.value(root) : DefaultServerRoot();
  if (options.root.isEmpty()) return bad(root);
  options.name = parser.isSet(name) ? parser.value(name)
                                    : QStringLiteral("sim-%1").arg(qint64(::getpid()));
  if (options.name.isEmpty() || options.name.contains(u'/') || options.name == u"." ||
      options.name == u"..")
    return bad(name);

  options.dataFile = parser.value(data);
  if (parser.isSet(data) && (parser.isSet(processes) || parser.isSet(seed)))
    return fail(QStringLiteral("--data cannot be combined with --processes or --seed"));
  if (parser.isSet(processes) &&
      !ParseNumber<int>(parser.value(processes), int(kDirectoryEntries), options.processes))
    return bad(processes);
  if (parser.isSet(seed) &&
      !ParseNumber<uint64_t>(parser.value(seed), UINT64_MAX, options.seed))
    return bad(seed);
  options.noProcesses = parser.isSet(noProcesses);

  if (parser.isSet(versionText)) options.versionText = parser.value(versionText);
  if (parser.isSet(versionLength)) {
    uint32_t length = 0;
    if (!ParseNumber<uint32_t>(parser.value(versionLength), 1u << 20, length))
      return bad(versionLength);
    options.versionLength = length;
  }
  if (parser.isSet(dataLength) &&
      !ParseNumber<uint32_t>(parser.value(dataLength), kMaxDataLength, options.dataLength))
    return bad(dataLength);

  if (parser.isSet(unplugOn)) {
    const QStringList parts = parser.value(unplugOn).split(u',');
    if (parts.size() > 2 || !ParseCommand(parts[0], options.unplugCommand)) return bad(unplugOn);
    if (parts.size() == 2) {
      uint64_t bytes = 0;
      if (!ParseNumber<uint64_t>(parts[1], UINT64_MAX, bytes)) return bad(unplugOn);
      options.unplugAfterBytes = bytes;
    }
  }
  if (parser.isSet(replugAfter)) {
    int ms = 0;
    if (!ParseNumber<int>(parser.value(replugAfter), 3600000, ms)) return bad(replugAfter);
    if (!parser.isSet(unplugOn))
      return fail(QStringLiteral("--replug-after needs --unplug-on"));
    options.replugAfterMs = ms;
  }
  if (parser.isSet(stallAfter)) {
    uint64_t bytes = 0;
    if (!ParseNumber<uint64_t>(parser.value(stallAfter), UINT64_MAX, bytes))
      return bad(stallAfter);
    options.stallAfterBytes = bytes;
  }
  if (parser.isSet(stallOn)) {
    const QStringList parts = parser.value(stallOn).split(u',');
    if (parts.size() < 2 || parts.size() > 3 || !ParseCommand(parts[0], options.stallCommand) ||
        !ParseNumber<uint64_t>(parts[1], UINT64_MAX, options.stallOnBytes))
      return bad(stallOn);
    if (parts.size() == 3) {
      int ms = 0;
      if (!ParseNumber<int>(parts[2], 3600000, ms)) return bad(stallOn);
      options.resumeAfterMs = ms;
    }
  }
  if (parser.isSet(slow) && !ParseNumber<int>(parser.value(slow), 60000, options.slowMs))
    return bad(slow);
  if (parser.isSet(garbageLength) &&
      !ParseCommand(parser.value(garbageLength), options.garbageLengthCommand))
    return bad(garbageLength);
  options.saveOnExit = parser.value(saveOnExit);
  options.verbose = parser.isSet(verbose);
  return ParseResult::Run;
}

}  // namespace zarn::sim
