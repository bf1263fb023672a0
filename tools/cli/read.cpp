// zarn26-cli read: the program's link to the instrument (the same exchange loop and
// transports as the window), run until the start-up read and the object names have
// arrived whole, then the images written to a data file (and, with --archive, kept in
// the lab archive). A read that did not finish writes nothing, so an existing file
// stays as it was.

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "archive/archive.h"
#include "archive_texts.h"
#include "commandline.h"
#include "commands.h"
#include "common/filewrite.h"
#include "common/images.h"
#include "common/programsettings.h"
#include "common/texts.h"
#include "data/datafile.h"
#include "device/instrumentlink.h"
#include "device/linkstate.h"
#include "session.h"

namespace zarn::cli {

namespace {

constexpr char kReadUsage[] = "usage: zarn26-cli read OUT.zarn [--timeout SECONDS] [--archive]\n";
constexpr char kReadHelp[] =
    "usage: zarn26-cli read OUT.zarn [--timeout SECONDS] [--archive]\n"
    "\n"
    "Reads the instrument's whole memory, its materials and its object names through the\n"
    "same exchange as the program's window, and writes them to the data file OUT.zarn once\n"
    "the read has completed whole. Progress goes to stderr. An existing OUT.zarn is replaced\n"
    "only by a complete new file.\n"
    "  --timeout SECONDS  how long to wait for the instrument and the read (default 30)\n"
    "  --archive          keeps the read in the lab archive too, with the instrument's\n"
    "                     version text (the archive of the settings file, see\n"
    "                     zarn26-cli archive --help); an archive that cannot be used\n"
    "                     ends the command before the read\n"
    "\n"
    "Exit codes: 0 done, 1 OUT.zarn could not be written, 2 usage, 5 no instrument answered,\n"
    "6 the read did not finish, 7 the instrument is in use by another program, 8 the\n"
    "archive cannot be used (OUT.zarn is kept when it was written).\n";
// How long the object names may take after the start-up read, in the editors' 100 ms
// waits (they wait 2 s for a read; this leaves room for one retry after a failure).
constexpr int kObjectsWaits = 50;

// The read, as written to `out`, into the archive as well.
int KeepInArchive(Archive& archive, const DeviceImages& images, const QString& version, const QString& out) {
  const int language = LanguageIndex.load();
  const ArchiveResult<ImportOutcome> kept = archive.ImportRead(images, version, out);
  if (!kept) {
    Err(QStringLiteral("zarn26-cli read: ") + kept.error().Text(language));
    return kExitArchive;
  }
  Err(QStringLiteral("zarn26-cli read: ") +
      Phrase(txtArchiveKeptToo, {archive.Shown(), QString::number(kept->series), QString::number(kept->added)})
          .Str(language));
  return kExitOk;
}

}  // namespace

int RunRead(const QStringList& args) {
  CommandLine line({QStringLiteral("read"), QString::fromUtf8(kReadUsage), QString::fromUtf8(kReadHelp)});
  line.AddTimeout().AddOption({QStringLiteral("archive")});
  if (const auto done = line.Parse(args)) return *done;
  const std::optional<QString> file = line.OneArgument(QStringLiteral("the output file is missing"),
                                                       QStringLiteral("output file"));
  if (!file) return kExitUsage;
  const QString out = *file;
  const int timeoutS = line.TimeoutSeconds();

  LanguageIndex.store(SettingsLanguage());
  // Fail before a long read when the file cannot be written anyway.
  const QFileInfo target(out);
  const QFileInfo folder(target.absolutePath());
  const int cannot = target.isDir()      ? EISDIR
                     : !folder.isDir()   ? ENOENT
                     : !folder.isWritable() ? EACCES
                                         : 0;
  if (cannot != 0) {
    Err(QStringLiteral("zarn26-cli read: ") +
        WriteFailureMessage(FileWriteResult::Failed(cannot, out), LanguageIndex.load()));
    return kExitWriteFailed;
  }
  // Likewise when the archive asked for cannot be used.
  std::unique_ptr<Archive> archive;
  if (line.IsSet(QStringLiteral("archive"))) {
    auto opened = Archive::Open(ProgramSettings().ArchiveLocation(), Archive::OpenMode::Create);
    if (!opened) {
      Err(QStringLiteral("zarn26-cli read: ") + opened.error().Text(LanguageIndex.load()));
      return kExitArchive;
    }
    archive = std::move(*opened);
  }

  CliSink sink;
  InstrumentLink link(sink);
  const StartupEnding ending = RunStartupRead(link, sink, timeoutS);

  // The object names are not part of the start-up read: ask for them as the objects
  // editor does, with room for a retry after one failure.
  RequestResult objects;
  if (ending == StartupEnding::Read) objects = link.Transfer(LinkStates::ReadObjects, kObjectsWaits);

  const bool stopped = link.Stop();
  if (!stopped) Err(QStringLiteral("zarn26-cli read: the exchange with the instrument did not end"));

  const QString command = QStringLiteral("read");
  const QString notWritten = QStringLiteral("\"%1\" was not written").arg(out);
  int code = kExitOk;
  if (ending != StartupEnding::Read) {
    code = StartupFailure(ending, link, timeoutS, command, notWritten);
  } else if (objects.outcome != RequestOutcome::Done) {
    // A file without its object names would not be what the instrument holds.
    const LinkFailure failure = link.LastFailure();
    code = Unfinished(link, command,
                      failure.block == LinkBlock::Objects
                          ? QString()
                          : LinkFailureText({LinkBlock::Objects, LinkFault::NoReply}, LanguageIndex.load()),
                      notWritten);
  } else {
    // What the start-up read and the objects request brought, whole: the read's
    // snapshot with the object names in it.
    const ImagesView read = sink.lastRead.images;
    auto images = std::make_unique<DeviceImages>(read->images);
    std::memcpy(images->ObjectsBlock.data(), objects.block.constData(),
                std::min<size_t>(images->ObjectsBlock.size(), size_t(objects.block.size())));
    if (const FileWriteResult written = WriteDataFile(out, *images); !written) {
      // An existing OUT keeps its content.
      Err(QStringLiteral("zarn26-cli read: ") + WriteFailureMessage(written, LanguageIndex.load()));
      code = kExitWriteFailed;
    } else {
      Err(QStringLiteral("zarn26-cli read: wrote \"%1\" (%2 processes)").arg(out).arg(read->processCount));
      if (archive) code = KeepInArchive(*archive, *images, sink.lastRead.version, out);
    }
  }
  if (!stopped) {
    // The run is stuck in a transport call; destroying the component would wait for it.
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}

}  // namespace zarn::cli
