#pragma once
// The lab archive: every series read from the instrument or opened from a data file,
// kept once, with every import that brought it, its instrument and its notes; in an
// SQLite file or on a PostgreSQL server (archiveaddress.h), one schema for both.
//
// What is kept (schema.cpp has the tables):
//  - a series once, identified by the SHA-256 of its 8312 record bytes: the 92-byte
//    header as it is (table 1's values, the coefficients), the blows zlib-compressed,
//    and the values the queries select and sort by as indexed columns;
//  - every import: when (UTC), what (a read or a file, its name, SHA-256 and size),
//    where (host, user), the instrument, which series at which places (its layout),
//    and the parts that give back the data file byte for byte: the header, the
//    materials, objects and parameter blocks, the data image without the series' bytes
//    (the residue), and any bytes after the blocks. Parts and layouts are kept once by
//    their SHA-256, so importing the same memory again adds one row.
//  - notes per series (text, author, time); the newest is the series' current note.
//
// One transaction per import: the archive is as before it or as after it. SQLite runs
// in WAL mode with a busy time-out, and a transaction that finds the database busy is
// tried again, so that two programs can import at once. Every value goes to the
// database bound, never inside the SQL text.
//
// An Archive is used by the thread that opened it (it owns one connection).

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include "archiveaddress.h"
#include "common/images.h"
#include "common/units.h"
#include "data/presenters.h"
#include "data/process.h"

namespace zarn {

// ---- Errors.
enum class ArchiveErrorKind {
  Unusable,  // the archive cannot be used: not there, damaged, no archive, newer, unreachable,
             // the server's refusal, a write the disk refused
  DataFile,  // the data file to import is not readable or damaged
  NotFound,  // no series or import with that id
  TooMany,   // the selection does not fit one data file
  Output,    // the output file cannot be written
};

struct ArchiveError {
  ArchiveErrorKind kind = ArchiveErrorKind::Unusable;
  QString ru, en;
  QString Text(int language) const;  // kRussian, kEnglish
};

// A value or the reason there is none.
template <typename T>
class ArchiveResult {
 public:
  ArchiveResult(T value) : value_(std::move(value)) {}                 // NOLINT: a result
  ArchiveResult(ArchiveError error) : value_(std::move(error)) {}      // NOLINT: or an error
  explicit operator bool() const { return value_.index() == 0; }
  T& operator*() { return std::get<0>(value_); }
  const T& operator*() const { return std::get<0>(value_); }
  T* operator->() { return &std::get<0>(value_); }
  const T* operator->() const { return &std::get<0>(value_); }
  const ArchiveError& error() const { return std::get<1>(value_); }

 private:
  std::variant<T, ArchiveError> value_;
};
struct Done {};

// ---- Values.
enum class ImportKind { Read, File };

// Where an import came from; empty fields are filled in (this computer's name, the
// login name, now).
struct ImportOrigin {
  QString host, user;
  QDateTime when;
};

struct ImportOutcome {
  qint64 importId = 0;
  int series = 0;  // series the file or read carried
  int added = 0;   // of those, new to the archive
  int kept() const { return series - added; }
};

// The instrument's clock as a record holds it, year 2000 + its two digits; kept as the
// number yyyymmddhhmmss, so that a clock value that is no real date still sorts.
struct InstrumentClock {
  int year = 2000, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  static InstrumentClock FromKey(qint64 key);
  static InstrumentClock Of(const ProcessView& process);
  qint64 Key() const;
  QString DateText() const;  // "2024-05-17"
  QString Text() const;      // "2024-05-17 14:03:09"
};

struct SeriesFilter {
  // Each held in the name (or the current note) in any case, every character as itself;
  // empty: any.
  QString object;
  QString material;
  QString instrument;  // the instrument's version text
  QString note;
  std::optional<QDate> from, to;  // the instrument's date, both included
};

// The instrument of a series seen only in data files, as the archive stores it.
inline constexpr QStringView kUnknownInstrument = u"unknown";

struct ArchivedSeries {
  qint64 id = 0;
  std::array<uint8_t, kProcessHeaderSize> head{};  // the record's first 92 bytes
  qint64 taken = 0;     // InstrumentClock key
  int direction = -1;   // of all its shown blows when they agree, else -1
  QString instrument;   // the version text, "unknown" for a series only seen in files
  QString note;         // the current note, "" when none
  QList<qint64> imports;  // the imports that carried it, oldest first
  // A record holding `head` and zero blows, for ProcessView's header values.
  ProcessRecordBuffer HeadRecord() const;
  // Table 1's row of this series, as FillSeriesRow fills it.
  void FillRow(StrengthUnit unit, SeriesRow& out) const;
};

// The columns the series can be ordered by: table 1's, then the instrument and the note.
// Equal values keep the list's order (the instrument's date and time, number, id).
enum class SeriesColumn { Number, Taken, TimeOfDay, Strength, Material, Object, Variation, Range, Blows, Instrument, Note };
struct SeriesOrder {
  SeriesColumn by = SeriesColumn::Taken;
  bool descending = false;
};

enum class SummaryBy { Object, Material, Day, Month, Instrument };
struct SummaryGroup {
  QString key;  // the object, material or instrument; day "2024-05-17"; month "2024-05"
  qint64 count = 0;
  double mean = 0, minimum = 0, maximum = 0;  // series strength in the unit asked for
  double deviation = 0;  // sample standard deviation (n - 1), 0 for one series
  double variation = 0;  // 100 * deviation / mean, in percent (0 when the mean is 0)
  InstrumentClock first, last;
};

// The figures of all the series of `groups` together, as one group of the same query
// over them would give (its key empty).
SummaryGroup CombinedGroup(const QList<SummaryGroup>& groups);

struct ImportEntry {
  qint64 id = 0;
  QDateTime when;  // UTC
  ImportKind kind = ImportKind::File;
  QString fileName;   // the file imported, or the file a read was saved as (may be empty)
  QByteArray sha256;  // 32 bytes of the data file as imported
  qint64 size = 0;
  QString host, user;
  QString instrument;
  int series = 0;
  int added = 0;
};

struct SeriesNote {
  QString text, author;
  QDateTime when;  // UTC
};

struct CheckReport {
  qint64 seriesChecked = 0;
  qint64 partsChecked = 0;
  QStringList problems;  // one sentence each; empty: sound
  bool ok() const { return problems.isEmpty(); }
};

using ArchiveProgress = std::function<void(qint64 done, qint64 total)>;

class ArchiveDatabase;

class Archive {
 public:
  enum class OpenMode {
    Create,    // a missing SQLite file (and its folder) is created with the schema
    Existing,  // a missing SQLite file is an error; nothing is created
  };
  static constexpr int kSchemaVersion = 1;

  // Opens the archive at `location`; an older schema is brought forward, a newer one or
  // a database that is no archive is refused and nothing is written to it.
  static ArchiveResult<std::unique_ptr<Archive>> Open(const QString& location,
                                                      OpenMode mode = OpenMode::Create);
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  const ArchiveAddress& Address() const;
  QString Shown() const { return Address().shown; }

  // ---- Imports.
  ArchiveResult<ImportOutcome> ImportFile(const QString& path, const ImportOrigin& origin = {});
  // `images` as a completed read left them (ProcessCount is counted from them); gives
  // back the data file WriteDataFile writes of them.
  ArchiveResult<ImportOutcome> ImportRead(const DeviceImages& images, const QString& versionText,
                                          const QString& savedAs = {},
                                          const ImportOrigin& origin = {});

  // ---- Queries; series ordered by the instrument's date and time, number, id.
  ArchiveResult<QList<ArchivedSeries>> List(const SeriesFilter& filter = {}) const;
  // Only the ids of the selected series, in `order`: a window lists 100 000 of them
  // and reads the rows it shows with ListOf.
  ArchiveResult<QList<qint64>> SeriesIds(const SeriesFilter& filter, SeriesOrder order = {}) const;
  // The series of `ids` in the order given; an id the archive does not hold is left out.
  ArchiveResult<QList<ArchivedSeries>> ListOf(const QList<qint64>& ids) const;
  ArchiveResult<ArchivedSeries> Series(qint64 seriesId) const;
  ArchiveResult<ProcessRecordBuffer> Record(qint64 seriesId) const;
  // Groups ordered by key.
  ArchiveResult<QList<SummaryGroup>> Summary(SummaryBy by, const SeriesFilter& filter = {},
                                             StrengthUnit unit = StrengthUnit::MPa) const;
  ArchiveResult<QList<ImportEntry>> Imports() const;  // oldest first

  // ---- Data files out, written whole or not at all.
  // The selected series, in List order, as one new data file; the materials and objects
  // blocks are those of the newest import that carried one of them. Returns the count.
  ArchiveResult<int> Export(const SeriesFilter& filter, const QString& outPath) const;
  ArchiveResult<int> ExportSeries(const QList<qint64>& seriesIds, const QString& outPath) const;
  // The data file of an import, byte for byte.
  ArchiveResult<QByteArray> ImportFileBytes(qint64 importId) const;
  ArchiveResult<Done> WriteImportFile(qint64 importId, const QString& outPath) const;

  // ---- Notes.
  ArchiveResult<Done> SetNote(qint64 seriesId, const QString& text, const QString& author = {});
  ArchiveResult<QList<SeriesNote>> Notes(qint64 seriesId) const;  // oldest first

  // The database's own integrity check, then every record and part against its SHA-256.
  ArchiveResult<CheckReport> Check(const ArchiveProgress& progress = {}) const;

 private:
  explicit Archive(std::unique_ptr<ArchiveDatabase> db);
  ArchiveResult<QList<ArchivedSeries>> Select(const SeriesFilter* filter, const QList<qint64>* ids) const;
  ArchiveResult<int> WriteSeries(const QList<ArchivedSeries>& series, const QString& outPath) const;

  std::unique_ptr<ArchiveDatabase> db_;
};

}  // namespace zarn
