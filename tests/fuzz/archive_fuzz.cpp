// Data files come from anywhere, and the archive takes them all in: feed the bytes as a
// file to the import. A file the import refuses changes nothing; a file it takes comes
// back byte for byte, and every series it carried is in the archive. With the first byte
// odd, the last block length is patched so that the lengths add up to the file size,
// which takes the import past the size check to the series.
//   archive_fuzz -max_len=16384 CORPUS
// Under AddressSanitizer the resident size climbs to about 400 MB over the first few
// thousand runs and stays there: that is the sanitizer's quarantine of freed memory
// (256 MB by default) filling up, not a leak (libFuzzer's leak check finds none;
// ASAN_OPTIONS=quarantine_size_mb=16 keeps it near 130 MB).

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "archive/archive.h"
#include "common/bytes.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

const QString& Folder() {
  static const QString folder = [] {
    const QString f = QDir::tempPath() + QStringLiteral("/archive_fuzz.%1").arg(::getpid());
    QDir().mkpath(f);
    std::atexit([] { QDir(Folder()).removeRecursively(); });
    return f;
  }();
  return folder;
}

zarn::Archive& TheArchive() {
  static std::unique_ptr<zarn::Archive> archive = [] {
    auto opened = zarn::Archive::Open(Folder() + QStringLiteral("/archive.sqlite"));
    Check(bool(opened));
    return std::move(*opened);
  }();
  return *archive;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  if ((data[0] & 1) && bytes.size() >= 24) {
    uint32_t sum = 24;
    for (int b = 0; b < 3; ++b) sum += zarn::GetU32(reinterpret_cast<const uint8_t*>(bytes.constData()) + 8 + 4 * b);
    zarn::PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + 20, uint32_t(bytes.size()) - sum);
  }
  const QString path = Folder() + QStringLiteral("/input.zarn");
  {
    QFile file(path);
    Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
  }
  zarn::Archive& archive = TheArchive();
  const qsizetype importsBefore = archive.Imports()->size();
  const auto outcome = archive.ImportFile(path);
  if (!outcome) {
    Check(outcome.error().kind == zarn::ArchiveErrorKind::DataFile);
    Check(archive.Imports()->size() == importsBefore);
    return 0;
  }
  Check(outcome->added >= 0 && outcome->added <= outcome->series);
  const auto back = archive.ImportFileBytes(outcome->importId);
  Check(bool(back) && *back == bytes);
  return 0;
}
