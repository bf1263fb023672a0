#pragma once
// What the archive's source files share (internal to src/archive).

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "archive.h"
#include "archivedb.h"
#include "common/filewrite.h"

namespace zarn {

// zlib levels: the series' blows, and the data-file parts (mostly zeros).
inline constexpr int kBodyLevel = 1;
inline constexpr int kPartLevel = 1;

// SHA-256 through OpenSSL, which uses the processor's SHA instructions: a full memory
// is 22 MB of series to hash at every import.
QByteArray Sha256(QByteArrayView bytes);
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  void Add(QByteArrayView bytes);
  QByteArray Result();  // and starts again

 private:
  void* context_;
};

// A residue as it is kept: the data image in 4 KiB chunks, a bitmap of those that are
// not all zero, and those chunks (archiveimport.cpp makes it). A memory the series fill
// leaves few of them. FullImage gives the image again; empty when `sparse` is none.
inline constexpr qsizetype kSparseChunk = 4096;
QByteArray FullImage(const QByteArray& sparse);

// zlib streams, one per level and thread, used again for every call.
QByteArray Deflate(QByteArrayView bytes, int level);
// Exactly `size` bytes into `out`; false when `compressed` does not give them.
bool Inflate(QByteArrayView compressed, char* out, qsizetype size);

// The columns a series is selected and sorted by.
struct SeriesColumns {
  QByteArray head;  // the first 92 bytes
  qint64 taken = 0;
  int direction = -1;
};
SeriesColumns ColumnsOf(const ProcessView& process);
// A series' own bytes: its head and the blows it took (92 + 548 per shown blow). The
// instrument packs series by these, so the rest of a series' 8312 bytes is whatever
// followed it in the image; that is kept by the layouts and residues of the imports
// that carried it, and the series keeps only its own bytes.
uint32_t OwnSize(const uint8_t* record);
// Its own blows (the own bytes after the head), compressed.
QByteArray CompressOwn(const uint8_t* record);
// Writes the own bytes of a series (head and body) to `out` (room for 8312 bytes) and
// returns how many; 0 when they do not make a series.
uint32_t OwnBytes(const QByteArray& head, const QByteArray& body, uint8_t* out);

// A text as a value for a NOT NULL column: a null QString would be bound as NULL.
inline QString NotNull(const QString& text) { return text.isNull() ? QStringLiteral("") : text; }

// "2024-05-17T14:03:09.123Z"
QString UtcText(const QDateTime& when);
QDateTime FromUtcText(const QString& text);

ArchiveError NoSuchSeries(qint64 id);
ArchiveError NoSuchImport(qint64 id);
// A part of the archive that does not hold what it should.
ArchiveError Damaged(const QString& what);
ArchiveError OutputError(const FileWriteResult& result);

// Rows that are kept once by their content, within the current transaction.
struct ArchiveStore {
  ArchiveDatabase& db;
  ArchiveResult<qint64> InstrumentId(const QString& version);
  ArchiveResult<qint64> PartId(QByteArrayView bytes);
  // A part's bytes, checked against its SHA-256.
  ArchiveResult<QByteArray> Part(qint64 id);
  // The data image of a layout: the residue `residueId` (0: that of the first import
  // with the layout), and the own bytes of every series of the layout at their places.
  // Imports with one layout may differ in their residues (what lay between and after
  // the series), so an import's own file needs its own residue. The last image is kept
  // for the next call (layouts and parts never change).
  ArchiveResult<QByteArray> LayoutImage(qint64 layoutId, qint64 residueId = 0);
};

}  // namespace zarn
