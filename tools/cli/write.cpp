// zarn26-cli write-materials / write-objects: sends a materials or objects file to the
// instrument without the window, through the same exchange loop and the same requests
// as the editors' "To device". The file is read and checked before the instrument is
// touched; the instrument's own materials block is read first, so that what the file
// does not hold (the Kf of every material) stays as the instrument has it.

#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "commandline.h"
#include "commands.h"
#include "common/images.h"
#include "common/texts.h"
#include "device/instrumentlink.h"
#include "device/linkstate.h"
#include "materials/materialsfile.h"
#include "objects/objectsfile.h"
#include "session.h"

namespace zarn::cli {

namespace {

// What differs between the two commands.
struct WriteKind {
  QString command;        // "write-materials"
  QString usage;          // its usage line
  QString help;           // what it does, after the usage line in its help
  LinkStates request;     // the loop's write request
  QString what;           // "30 materials", for the closing line
  // Reads and checks the file; `apply` then puts what it holds into a copy of the
  // instrument's block.
  std::function<bool(const QString&)> read;
  std::function<void(uint8_t* block)> apply;
  std::function<QString(const QString&)> refused;
};

// The end of both commands' help.
constexpr char kWriteHelp[] =
    "  --timeout SECONDS  how long to wait for the instrument and the write (default 30)\n"
    "\n"
    "Exit codes: 0 the instrument took the file, 2 usage, 3 the file is not readable or\n"
    "damaged (nothing is sent), 5 no instrument answered, 6 the write did not finish,\n"
    "7 the instrument is in use by another program.\n";

// How long the write may take, in the link's 100 ms waits: the editors' 5 s and room
// for one retry after a failure.
constexpr int kWriteWaits = 2 * InstrumentLink::kWriteWaits;

int RunWrite(const WriteKind& kind, const QStringList& args) {
  CommandLine line({kind.command, kind.usage, kind.usage + u'\n' + kind.help + QString::fromUtf8(kWriteHelp)});
  line.AddTimeout();
  if (const auto done = line.Parse(args)) return *done;
  const std::optional<QString> file = line.OneArgument(QStringLiteral("the file is missing"), QStringLiteral("file"));
  if (!file) return kExitUsage;
  const QString path = *file;
  const int timeoutS = line.TimeoutSeconds();

  LanguageIndex.store(SettingsLanguage());
  // A damaged file never reaches the instrument.
  if (!QFileInfo(path).isFile() || !kind.read(path)) {
    Err(QStringLiteral("zarn26-cli %1: ").arg(kind.command) + kind.refused(path));
    return kExitBadFile;
  }

  CliSink sink;
  InstrumentLink link(sink);
  const StartupEnding ending = RunStartupRead(link, sink, timeoutS);
  RequestResult written;
  if (ending == StartupEnding::Read) {
    // The instrument's block as the start-up read brought it, with the file's content.
    const bool materials = kind.request == LinkStates::WriteMaterials;
    const DeviceImages& read = sink.lastRead.images->images;
    QByteArray block = materials ? QByteArray(reinterpret_cast<const char*>(read.MaterialsBlock.data()),
                                              qsizetype(read.MaterialsBlock.size()))
                                 : QByteArray(reinterpret_cast<const char*>(read.ObjectsBlock.data()),
                                              qsizetype(read.ObjectsBlock.size()));
    kind.apply(reinterpret_cast<uint8_t*>(block.data()));
    Err(QStringLiteral("zarn26-cli %1: sending \"%2\"").arg(kind.command, path));
    written = link.Transfer(kind.request, kWriteWaits, block);
  }
  const bool stopped = link.Stop();
  if (!stopped) Err(QStringLiteral("zarn26-cli %1: the exchange with the instrument did not end").arg(kind.command));

  const QString notSent = QStringLiteral("\"%1\" was not sent").arg(path);
  int code = kExitOk;
  if (ending != StartupEnding::Read) {
    code = StartupFailure(ending, link, timeoutS, kind.command, notSent);
  } else if (written.outcome != RequestOutcome::Done) {
    const LinkFailure failure =
        written.outcome == RequestOutcome::Failed ? written.failure : link.LastFailure();
    const QString why = failure.fault == LinkFault::None
                            ? QStringLiteral("the instrument did not take the block")
                            : LinkFailureText(failure, LanguageIndex.load());
    Err(QStringLiteral("zarn26-cli %1: the write did not finish: %2; the instrument may hold part of it, "
                       "send the file again")
            .arg(kind.command, why));
    code = kExitUnfinished;
  } else {
    Err(QStringLiteral("zarn26-cli %1: the instrument took \"%2\" (%3)").arg(kind.command, path, kind.what));
  }
  if (!stopped) {
    // The run is stuck in a transport call; destroying the component would wait for it.
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}

}  // namespace

int RunWriteMaterials(const QStringList& args) {
  std::optional<MaterialsFileContent> content;
  WriteKind kind{
      QStringLiteral("write-materials"),
      QStringLiteral("usage: zarn26-cli write-materials FILE.mtzarn [--timeout SECONDS]\n"),
      QStringLiteral("Sends the 30 material coefficient sets of a materials file to the instrument,\n"
                     "through the same requests as the materials editor's \"To device\". The file is\n"
                     "checked before the instrument is touched; the instrument's Kf values stay.\n"),
      LinkStates::WriteMaterials,
      QStringLiteral("30 materials"),
      [&](const QString& path) { return (content = ReadMaterialsFile(path)).has_value(); },
      [&](uint8_t* block) { ApplyMaterialsFile(*content, block); },
      [](const QString& p) { return MaterialsFileRefusedMessage(p, LanguageIndex.load()); },
  };
  return RunWrite(kind, args);
}

int RunWriteObjects(const QStringList& args) {
  std::optional<ObjectNameTexts> names;
  WriteKind kind{
      QStringLiteral("write-objects"),
      QStringLiteral("usage: zarn26-cli write-objects FILE.objzarn [--timeout SECONDS]\n"),
      QStringLiteral("Sends the 30 object names of an objects file to the instrument, through the\n"
                     "same requests as the objects editor's \"To device\". The file is checked before\n"
                     "the instrument is touched.\n"),
      LinkStates::WriteObjects,
      QStringLiteral("30 object names"),
      [&](const QString& path) { return (names = ReadObjectsFile(path)).has_value(); },
      [&](uint8_t* block) { ApplyObjectsFile(*names, block); },
      [](const QString& p) { return ObjectsFileRefusedMessage(p, LanguageIndex.load()); },
  };
  return RunWrite(kind, args);
}

}  // namespace zarn::cli
