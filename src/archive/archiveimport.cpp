// Imports, and the data file of an import given back.
//
// A data file is split into what gives it back byte for byte: its 24-byte header, the
// bytes of each of its four blocks (at most the block's capacity, as the reader takes
// them), and whatever follows them (a block length above its capacity leaves bytes the
// reader never reads). The data image is kept as its series (each once, in `series`),
// where they lay (the layout), and the residue: the image with every series' bytes set
// to zero, which is what is left between and around them. Giving back lays the series
// over the residue again; where two series' 8312 bytes overlap they hold the same bytes,
// since both were read from the same image.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSysInfo>
#include <algorithm>
#include <deque>
#include <cstring>
#include <unistd.h>
#include <pwd.h>

#include "archive.h"
#include "archivedb.h"
#include "archiveinternal.h"
#include "common/bytes.h"
#include "common/texts.h"
#include "data/datafile.h"

namespace zarn {
namespace {

// Larger files are no data files: the program writes 8401064 bytes; the format allows
// block lengths above the capacities, whose excess is kept as the tail.
constexpr qint64 kMaxImportSize = 2 * kDataFileSize;
constexpr size_t kCapacities[4] = {kMaterialsBlockSize, kObjectsBlockSize, kParamBlockSize, kDataImageSize};

QString LoginName() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return QString::fromLocal8Bit(pw->pw_name);
  return qEnvironmentVariable("USER");
}

// What one import brings, however it came.
struct ImportParts {
  ImportKind kind = ImportKind::File;
  QString fileName;
  QByteArray sha256;  // of the whole data file
  qint64 size = 0;
  QByteArray header;  // 24 bytes
  QByteArrayView blocks[3];  // materials, objects, parameter block bytes as the file holds them
  const uint8_t* paramBlock = nullptr;  // the whole parameter block (the directory)
  const uint8_t* dataImage = nullptr;   // the whole data image
  QByteArray tail;
  QString instrument;
};

// The series of one image: the records in directory order and where each begins. A
// record is read in place; only one that runs past the end of the image is copied
// (and cut there).
struct ImageSeries {
  std::vector<const uint8_t*> records;
  std::vector<qint64> at;
  std::vector<QByteArray> sha;
  std::vector<uint32_t> own;  // OwnSize
  std::deque<ProcessRecordBuffer> cut;
};

ImageSeries SeriesOf(const uint8_t* paramBlock, const uint8_t* dataImage) {
  ImageSeries s;
  const uint32_t count = CountProcesses(paramBlock);
  s.records.resize(count);
  s.at.resize(count);
  s.sha.resize(count);
  s.own.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = ProcessInPlace(paramBlock, dataImage, count, i);
    if (!record) {
      CopyProcess(paramBlock, dataImage, count, i, s.cut.emplace_back().data());
      record = s.cut.back().data();
    }
    s.records[i] = record;
    const DirectoryEntry e = GetDirectoryEntry(paramBlock, i);
    s.at[i] = qint64(e.page) * qint64(kDataPageSize) + e.offset;
    s.sha[i] = Sha256(QByteArrayView(record, qsizetype(kProcessRecordSize)));
    s.own[i] = OwnSize(record);
  }
  return s;
}

// The residue: the image with the own bytes of every series set to zero, as
// SparseImage keeps it. Built chunk by chunk, without a copy of the whole image.
QByteArray Residue(const uint8_t* dataImage, const ImageSeries& s) {
  std::vector<std::pair<qint64, qint64>> own(s.at.size());  // [from, to) in the image
  for (size_t i = 0; i < s.at.size(); ++i)
    own[i] = {s.at[i], std::min<qint64>(s.at[i] + qint64(s.own[i]), qint64(kDataImageSize))};
  std::sort(own.begin(), own.end());
  constexpr qsizetype kChunk = kSparseChunk;
  QByteArray out(qsizetype(kDataImageSize) / kChunk / 8, '\0');
  char chunk[kChunk];
  static const char zeros[kChunk] = {};
  size_t first = 0;  // the first extent that may reach into this chunk or a later one
  for (qsizetype c = 0; c * kChunk < qsizetype(kDataImageSize); ++c) {
    const qint64 from = c * kChunk, to = from + kChunk;
    std::memcpy(chunk, dataImage + from, kChunk);
    while (first < own.size() && own[first].second <= from) ++first;
    for (size_t k = first; k < own.size() && own[k].first < to; ++k) {
      const qint64 a = std::max(own[k].first, from), b = std::min(own[k].second, to);
      if (a < b) std::memset(chunk + (a - from), 0, size_t(b - a));
    }
    if (std::memcmp(chunk, zeros, kChunk) == 0) continue;
    out[c / 8] = char(uint8_t(out[c / 8]) | 1 << (c % 8));
    out.append(chunk, kChunk);
  }
  return out;
}

ArchiveError DataFileError(const QString& path, const QString& why = {}) {
  const QString name = QFileInfo(path).fileName();
  const QString ru = txtFileDamaged.Str(kRussian) + QStringLiteral(": ") + name;
  const QString en = txtFileDamaged.Str(kEnglish) + QStringLiteral(": ") + name;
  return MakeArchiveError(ArchiveErrorKind::DataFile, why.isEmpty() ? ru : ru + QStringLiteral(" (") + why + u')',
                          why.isEmpty() ? en : en + QStringLiteral(" (") + why + u')');
}

}  // namespace

// ---- Storing.

ArchiveResult<qint64> ArchiveStore::InstrumentId(const QString& version) {
  QSqlQuery q = db.Query();
  if (!db.Run(q, QStringLiteral("SELECT id FROM instruments WHERE version = ?"), {version})) return db.Failure(db.LastError());
  if (q.next()) return q.value(0).toLongLong();
  if (!db.Run(q, QStringLiteral("INSERT INTO instruments (version) VALUES (?) RETURNING id"), {version}) || !q.next())
    return db.Failure(db.LastError());
  return q.value(0).toLongLong();
}

ArchiveResult<qint64> ArchiveStore::PartId(QByteArrayView bytes) {
  const QByteArray sha = Sha256(bytes);
  QSqlQuery q = db.Query();
  if (!db.Run(q, QStringLiteral("SELECT id FROM parts WHERE sha256 = ?"), {sha})) return db.Failure(db.LastError());
  if (q.next()) return q.value(0).toLongLong();
  const QByteArray data = Deflate(bytes, kPartLevel);
  if (!db.Run(q, QStringLiteral("INSERT INTO parts (sha256, size, data) VALUES (?, ?, ?) RETURNING id"),
              {sha, qint64(bytes.size()), data}) ||
      !q.next())
    return db.Failure(db.LastError());
  return q.value(0).toLongLong();
}

namespace {

// One import in the current transaction.
std::optional<ArchiveError> StoreImport(ArchiveDatabase& db, const ImportParts& parts, const ImportOrigin& origin,
                                        ImportOutcome& outcome) {
  ArchiveStore store{db};
  db.cachedLayout = 0;
  db.cachedImage.clear();
  QSqlQuery q = db.Query();
  const auto failed = [&] { return std::optional<ArchiveError>(db.Failure(db.LastError())); };
  const auto instrument = store.InstrumentId(parts.instrument);
  if (!instrument) return instrument.error();
  const bool known = parts.kind == ImportKind::Read;
  const QVariant noTail(QMetaType::fromType<qint64>());

  qint64 layoutId = 0;
  qint64 partIds[5] = {};  // materials, objects, parameters, residue, tail (0: none)
  int added = 0;
  int series = 0;

  // The same bytes imported before: the same layout and parts; nothing is new.
  if (!db.Run(q, QStringLiteral("SELECT layout_id, materials_part, objects_part, param_part, residue_part, tail_part, "
                                "series FROM imports WHERE sha256 = ? AND size = ? AND header = ? ORDER BY id LIMIT 1"),
              {parts.sha256, parts.size, parts.header}))
    return failed();
  if (q.next()) {
    layoutId = q.value(0).toLongLong();
    for (int i = 0; i < 5; ++i) partIds[i] = q.value(1 + i).toLongLong();
    series = q.value(6).toInt();
    q.finish();
  } else {
    q.finish();
    const ImageSeries s = SeriesOf(parts.paramBlock, parts.dataImage);
    series = int(s.records.size());
    std::vector<qint64> ids(s.records.size());
    QSqlQuery find = db.Query();
    // The series kept already, looked up many per statement.
    QHash<QByteArray, qint64> kept;
    constexpr size_t kLookups = 256;
    for (size_t from = 0; from < s.sha.size(); from += kLookups) {
      const size_t n = std::min(kLookups, s.sha.size() - from);
      QStringList marks;
      for (size_t k = 0; k < n; ++k) marks << QStringLiteral("?");
      if (!find.prepare(QStringLiteral("SELECT id, sha256 FROM series WHERE sha256 IN (") + marks.join(u',') + u')'))
        return std::optional<ArchiveError>(db.Failure(find.lastError()));
      for (size_t k = 0; k < n; ++k) find.bindValue(int(k), s.sha[from + k]);
      if (!find.exec()) return std::optional<ArchiveError>(db.Failure(find.lastError()));
      while (find.next()) kept.insert(find.value(1).toByteArray(), find.value(0).toLongLong());
      if (find.lastError().isValid()) return std::optional<ArchiveError>(db.Failure(find.lastError()));
      find.finish();
    }
    // The new ones, each once (a series twice in one image, two entries at one place, is
    // one series).
    std::vector<size_t> fresh;
    {
      QSet<QByteArray> seen;
      for (size_t i = 0; i < s.records.size(); ++i)
        if (!kept.contains(s.sha[i]) && !seen.contains(s.sha[i])) {
          seen.insert(s.sha[i]);
          fresh.push_back(i);
        }
    }
    // Stored many rows per statement: on a server every statement is a round trip. The
    // ids come back with their SHA-256, whatever order the database returns them in. A
    // statement is prepared again only when its row count changes (the last one): SQLite
    // takes long to prepare one of 2048 values.
    constexpr size_t kSeriesRows = 128;
    constexpr int kColumns = 16;
    QSqlQuery insert = db.Query();
    QSqlQuery body = db.Query();
    size_t prepared = 0;  // the rows of the statements prepared
    for (size_t from = 0; from < fresh.size(); from += kSeriesRows) {
      const size_t rows = std::min(kSeriesRows, fresh.size() - from);
      if (rows != prepared) {
        QStringList marks, bodyMarks;
        for (size_t k = 0; k < rows; ++k) {
          marks << QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
          bodyMarks << QStringLiteral("(?, ?)");
        }
        if (!insert.prepare(QStringLiteral(
                "INSERT INTO series (sha256, head, number, taken, material, object, strength, variation_tenths, "
                "range_tenths, blows, direction, a2, a1, a0, kf, instrument_id) VALUES ") +
                            marks.join(u',') + QStringLiteral(" RETURNING id, sha256")))
          return std::optional<ArchiveError>(db.Failure(insert.lastError()));
        if (!body.prepare(QStringLiteral("INSERT INTO series_bodies (id, body) VALUES ") + bodyMarks.join(u',')))
          return std::optional<ArchiveError>(db.Failure(body.lastError()));
        prepared = rows;
      }
      for (size_t k = 0; k < rows; ++k) {
        const size_t i = fresh[from + k];
        const ProcessView p(s.records[i]);
        const SeriesColumns c = ColumnsOf(p);
        const QVariant values[kColumns] = {s.sha[i], c.head, qint64(p.number()), c.taken, p.materialName(),
                                           p.objectName(), double(p.strength()), int(p.variation()), int(p.range()),
                                           int(p.blowCount()), c.direction, double(p.a2()), double(p.a1()),
                                           double(p.a0()), double(p.Kf()), *instrument};
        for (int v = 0; v < kColumns; ++v) insert.bindValue(int(k) * kColumns + v, values[v]);
      }
      if (!insert.exec()) return std::optional<ArchiveError>(db.Failure(insert.lastError()));
      while (insert.next()) kept.insert(insert.value(1).toByteArray(), insert.value(0).toLongLong());
      if (insert.lastError().isValid()) return std::optional<ArchiveError>(db.Failure(insert.lastError()));
      insert.finish();
      for (size_t k = 0; k < rows; ++k) {
        const size_t i = fresh[from + k];
        const auto id = kept.constFind(s.sha[i]);
        if (id == kept.cend()) return std::optional<ArchiveError>(Damaged(QStringLiteral("a series not stored")));
        body.bindValue(int(2 * k), *id);
        body.bindValue(int(2 * k + 1), CompressOwn(s.records[i]));
      }
      if (!body.exec()) return std::optional<ArchiveError>(db.Failure(body.lastError()));
    }
    added = int(fresh.size());
    for (size_t i = 0; i < s.records.size(); ++i) ids[i] = kept.value(s.sha[i]);

    // The layout: the series' ids and places in directory order.
    Sha256Stream layoutHash;
    for (size_t i = 0; i < ids.size(); ++i) {
      uint8_t item[16];
      PutU32(item, uint32_t(ids[i]));
      PutU32(item + 4, uint32_t(quint64(ids[i]) >> 32));
      PutU32(item + 8, uint32_t(s.at[i]));
      PutU32(item + 12, uint32_t(i));
      layoutHash.Add(QByteArrayView(item, 16));
    }
    const QByteArray layoutSha = layoutHash.Result();
    if (!db.Run(q, QStringLiteral("SELECT id FROM layouts WHERE sha256 = ?"), {layoutSha})) return failed();
    if (q.next()) {
      layoutId = q.value(0).toLongLong();
      q.finish();
    } else {
      q.finish();
      if (!db.Run(q, QStringLiteral("INSERT INTO layouts (sha256, count) VALUES (?, ?) RETURNING id"),
                  {layoutSha, int(ids.size())}) ||
          !q.next())
        return failed();
      layoutId = q.value(0).toLongLong();
      q.finish();
      // Many rows per statement: on a server every statement is a round trip.
      constexpr size_t kRows = 256;
      QSqlQuery entry = db.Query();
      for (size_t from = 0; from < ids.size(); from += kRows) {
        const size_t rows = std::min(kRows, ids.size() - from);
        QStringList marks;
        for (size_t k = 0; k < rows; ++k) marks << QStringLiteral("(?, ?, ?, ?)");
        if (!entry.prepare(QStringLiteral("INSERT INTO layout_series (layout_id, position, series_id, at_byte) VALUES ") +
                           marks.join(u',')))
          return std::optional<ArchiveError>(db.Failure(entry.lastError()));
        for (size_t k = 0; k < rows; ++k) {
          const size_t i = from + k;
          entry.bindValue(int(4 * k), layoutId);
          entry.bindValue(int(4 * k + 1), int(i));
          entry.bindValue(int(4 * k + 2), ids[i]);
          entry.bindValue(int(4 * k + 3), s.at[i]);
        }
        if (!entry.exec()) return std::optional<ArchiveError>(db.Failure(entry.lastError()));
      }
    }

    const QByteArray residue = Residue(parts.dataImage, s);
    const QByteArrayView pieces[5] = {parts.blocks[0], parts.blocks[1], parts.blocks[2], residue, parts.tail};
    for (int i = 0; i < 5; ++i) {
      if (i == 4 && parts.tail.isEmpty()) continue;
      const auto id = store.PartId(pieces[i]);
      if (!id) return id.error();
      partIds[i] = *id;
    }
  }

  // A series seen only in files learns its instrument from a read.
  if (known && !db.Run(q,
                       QStringLiteral("UPDATE series SET instrument_id = ? WHERE instrument_id IN "
                                      "(SELECT id FROM instruments WHERE version = ?) AND id IN "
                                      "(SELECT series_id FROM layout_series WHERE layout_id = ?)"),
                       {*instrument, kUnknownInstrument.toString(), layoutId}))
    return failed();

  const QDateTime when = (origin.when.isValid() ? origin.when : QDateTime::currentDateTimeUtc()).toUTC();
  const QString host = origin.host.isEmpty() ? QSysInfo::machineHostName() : origin.host;
  const QString user = origin.user.isEmpty() ? LoginName() : origin.user;
  if (!db.Run(q,
              QStringLiteral("INSERT INTO imports (at_utc, kind, file_name, sha256, size, host, user_name, "
                             "instrument_id, series, added, layout_id, header, materials_part, objects_part, "
                             "param_part, residue_part, tail_part) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
              {UtcText(when), parts.kind == ImportKind::Read ? QStringLiteral("read") : QStringLiteral("file"),
               NotNull(parts.fileName), parts.sha256, parts.size, NotNull(host), NotNull(user), *instrument, series, added, layoutId,
               parts.header, partIds[0], partIds[1], partIds[2], partIds[3],
               partIds[4] ? QVariant(partIds[4]) : noTail}) ||
      !q.next())
    return failed();
  outcome.importId = q.value(0).toLongLong();
  outcome.series = series;
  outcome.added = added;
  return std::nullopt;
}

ArchiveResult<ImportOutcome> RunImport(ArchiveDatabase& db, const ImportParts& parts, const ImportOrigin& origin) {
  ImportOutcome outcome;
  if (auto failure = db.Transaction([&] {
        outcome = {};
        return StoreImport(db, parts, origin, outcome);
      }))
    return *failure;
  return outcome;
}

}  // namespace

ArchiveResult<ImportOutcome> Archive::ImportFile(const QString& path, const ImportOrigin& origin) {
  // Only a plain file: a pipe or a device could hold the import for ever.
  const QFileInfo info(path);
  if (!info.isFile()) return DataFileError(path);
  if (info.size() > kMaxImportSize)
    return DataFileError(path, QStringLiteral("%1 bytes; a data file has %2").arg(info.size()).arg(kDataFileSize));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return DataFileError(path);
  // The bytes are read once and checked as every open checks a data file; what is kept
  // is exactly what was checked, whatever happens to the file meanwhile.
  // (What the file held when it was looked at, and one byte more to see it grew.)
  const QByteArray bytes = file.read(std::min(info.size(), kMaxImportSize) + 1);
  DataFileLayout layout;
  if (bytes.size() < 24 || bytes.size() > kMaxImportSize ||
      CheckDataFileHeader(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size(), layout) !=
          DataFileStatus::Ok)
    return DataFileError(path);
  ImportParts parts;
  parts.kind = ImportKind::File;
  parts.fileName = path;
  parts.sha256 = Sha256(bytes);
  parts.size = bytes.size();
  parts.header = bytes.left(24);
  parts.instrument = kUnknownInstrument.toString();
  const auto block = [&](int b) {
    return QByteArrayView(bytes.constData() + layout.offset[b], qsizetype(layout.count[b]));
  };
  for (int b = 0; b < 3; ++b) parts.blocks[b] = block(b);
  const qint64 end = layout.offset[3] + qint64(layout.count[3]);
  parts.tail = bytes.sliced(end);
  // A short block leaves the rest of its image at zero, as a scratch open does.
  std::array<uint8_t, kParamBlockSize> param{};
  std::unique_ptr<uint8_t[]> image;
  parts.paramBlock = reinterpret_cast<const uint8_t*>(block(2).data());
  if (layout.count[2] < kParamBlockSize) {
    std::memcpy(param.data(), block(2).data(), layout.count[2]);
    parts.paramBlock = param.data();
  }
  parts.dataImage = reinterpret_cast<const uint8_t*>(block(3).data());
  if (layout.count[3] < kDataImageSize) {
    image.reset(new uint8_t[kDataImageSize]());
    std::memcpy(image.get(), block(3).data(), layout.count[3]);
    parts.dataImage = image.get();
  }
  return RunImport(*db_, parts, origin);
}

ArchiveResult<ImportOutcome> Archive::ImportRead(const DeviceImages& images, const QString& versionText,
                                                 const QString& savedAs, const ImportOrigin& origin) {
  ImportParts parts;
  parts.kind = ImportKind::Read;
  parts.fileName = savedAs;
  QByteArray header(24, '\0');
  std::memcpy(header.data(), kDataFileSignature, 8);
  for (int b = 0; b < 4; ++b) PutU32(reinterpret_cast<uint8_t*>(header.data()) + 8 + 4 * b, uint32_t(kCapacities[b]));
  parts.header = header;
  parts.blocks[0] = QByteArrayView(images.MaterialsBlock.data(), qsizetype(kMaterialsBlockSize));
  parts.blocks[1] = QByteArrayView(images.ObjectsBlock.data(), qsizetype(kObjectsBlockSize));
  parts.blocks[2] = QByteArrayView(images.ParamBlock.data(), qsizetype(kParamBlockSize));
  Sha256Stream hash;
  hash.Add(header);
  for (const QByteArrayView& block : parts.blocks) hash.Add(block);
  hash.Add(QByteArrayView(images.DataImage.data(), qsizetype(kDataImageSize)));
  parts.sha256 = hash.Result();
  parts.size = kDataFileSize;
  parts.paramBlock = images.ParamBlock.data();
  parts.dataImage = images.DataImage.data();
  parts.instrument = versionText.trimmed().isEmpty() ? kUnknownInstrument.toString() : versionText;
  return RunImport(*db_, parts, origin);
}

// ---- Giving back.

ArchiveResult<QByteArray> Archive::ImportFileBytes(qint64 importId) const {
  ArchiveDatabase& db = *db_;
  QSqlQuery q = db.Query();
  if (!db.Run(q, QStringLiteral("SELECT header, materials_part, objects_part, param_part, residue_part, tail_part, "
                                "layout_id, sha256 FROM imports WHERE id = ?"),
              {importId}))
    return db.Failure(db.LastError());
  if (!q.next()) return NoSuchImport(importId);
  const QByteArray header = q.value(0).toByteArray();
  qint64 partIds[5];
  for (int i = 0; i < 5; ++i) partIds[i] = q.value(1 + i).isNull() ? 0 : q.value(1 + i).toLongLong();
  const qint64 layoutId = q.value(6).toLongLong();
  const QByteArray sha = q.value(7).toByteArray();
  q.finish();

  ArchiveStore store{db};
  QByteArray pieces[5];
  for (int i = 0; i < 5; ++i) {
    if (!partIds[i] || i == 3) continue;
    auto part = store.Part(partIds[i]);
    if (!part) return part.error();
    pieces[i] = std::move(*part);
  }
  auto rebuilt = store.LayoutImage(layoutId, partIds[3]);
  if (!rebuilt) return rebuilt.error();
  pieces[3] = *rebuilt;
  if (header.size() != 24) return Damaged(QStringLiteral("import %1: its header").arg(importId));
  QByteArray file = header;
  for (int b = 0; b < 4; ++b) {
    const qsizetype count =
        qsizetype(std::min<size_t>(GetU32(reinterpret_cast<const uint8_t*>(header.constData()) + 8 + 4 * b), kCapacities[b]));
    const QByteArray& block = pieces[b];
    if (block.size() < count) return Damaged(QStringLiteral("import %1: a block").arg(importId));
    file += QByteArrayView(block.constData(), count);
  }
  file += pieces[4];
  if (Sha256(file) != sha) return Damaged(QStringLiteral("import %1: its file does not match its SHA-256").arg(importId));
  return file;
}

ArchiveResult<Done> Archive::WriteImportFile(qint64 importId, const QString& outPath) const {
  auto bytes = ImportFileBytes(importId);
  if (!bytes) return bytes.error();
  if (const FileWriteResult written = WriteFileAtomically(outPath, *bytes); !written) return OutputError(written);
  return Done{};
}

}  // namespace zarn
