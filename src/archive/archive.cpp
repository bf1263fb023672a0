// Opening, the values, the queries, the notes and the check.

#include "archive.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QMap>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unistd.h>
#include <pwd.h>

#include "archivedb.h"
#include "archiveinternal.h"
#include "common/texts.h"
#include "data/datafile.h"

namespace zarn {

// ---- Small values.

InstrumentClock InstrumentClock::FromKey(qint64 key) {
  InstrumentClock c;
  c.year = int(key >> 40);
  c.month = int(key >> 32 & 0xFF);
  c.day = int(key >> 24 & 0xFF);
  c.hour = int(key >> 16 & 0xFF);
  c.minute = int(key >> 8 & 0xFF);
  c.second = int(key & 0xFF);
  return c;
}

InstrumentClock InstrumentClock::Of(const ProcessView& p) {
  return {2000 + p.year(), p.month(), p.day(), p.hour(), p.minute(), p.second()};
}

// Each field in a byte of its own, so that every value a record can hold keeps its place.
qint64 InstrumentClock::Key() const {
  return qint64(year) << 40 | qint64(month & 0xFF) << 32 | qint64(day & 0xFF) << 24 | qint64(hour & 0xFF) << 16 |
         qint64(minute & 0xFF) << 8 | qint64(second & 0xFF);
}

QString InstrumentClock::DateText() const {
  return QStringLiteral("%1-%2-%3").arg(year, 4, 10, QLatin1Char('0')).arg(month, 2, 10, QLatin1Char('0'))
      .arg(day, 2, 10, QLatin1Char('0'));
}

QString InstrumentClock::Text() const {
  return DateText() + QStringLiteral(" %1:%2:%3").arg(hour, 2, 10, QLatin1Char('0'))
                          .arg(minute, 2, 10, QLatin1Char('0')).arg(second, 2, 10, QLatin1Char('0'));
}

ProcessRecordBuffer ArchivedSeries::HeadRecord() const {
  ProcessRecordBuffer r{};
  std::memcpy(r.data(), head.data(), head.size());
  return r;
}

void ArchivedSeries::FillRow(StrengthUnit unit, SeriesRow& out) const {
  const ProcessRecordBuffer r = HeadRecord();
  FillSeriesRow(ProcessView(r.data()), unit, out);
}

SeriesColumns ColumnsOf(const ProcessView& p) {
  SeriesColumns c;
  c.head = QByteArray(reinterpret_cast<const char*>(p.bytes()), qsizetype(kProcessHeaderSize));
  c.taken = InstrumentClock::Of(p).Key();
  const int blows = p.shownBlowCount();
  if (blows > 0) {
    c.direction = p.blow(0).direction();
    for (int b = 1; b < blows; ++b)
      if (p.blow(b).direction() != c.direction) c.direction = -1;
  }
  return c;
}

QString UtcText(const QDateTime& when) { return when.toUTC().toString(Qt::ISODateWithMs); }
QDateTime FromUtcText(const QString& text) {
  QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
  return t.toUTC();
}

ArchiveError NoSuchSeries(qint64 id) {
  return MakeArchiveError(ArchiveErrorKind::NotFound, QStringLiteral("в архиве нет серии %1").arg(id),
                          QStringLiteral("the archive holds no series %1").arg(id));
}
ArchiveError NoSuchImport(qint64 id) {
  return MakeArchiveError(ArchiveErrorKind::NotFound, QStringLiteral("в архиве нет импорта %1").arg(id),
                          QStringLiteral("the archive holds no import %1").arg(id));
}
ArchiveError Damaged(const QString& what) {
  return MakeArchiveError(ArchiveErrorKind::Unusable, QStringLiteral("архив поврежден: %1").arg(what),
                          QStringLiteral("the archive is damaged: %1").arg(what));
}
ArchiveError OutputError(const FileWriteResult& result) {
  return MakeArchiveError(ArchiveErrorKind::Output, WriteFailureMessage(result, kRussian),
                          WriteFailureMessage(result, kEnglish));
}

namespace {

QString LoginName() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return QString::fromLocal8Bit(pw->pw_name);
  return qEnvironmentVariable("USER");
}

// Of the names `sql` gives (rows of key, name), the keys of those that hold `needle` in any
// case, as one JSON array for a term "IN (the array's elements)". The names are few (the
// instruments' objects and materials lists, the instruments), so they are matched here:
// Qt folds every script's case, where the databases' lower() and LIKE fold only ASCII
// (SQLite) or follow the server's locale (PostgreSQL), and every character of the needle
// stays a plain character. One bound value however many names match.
std::optional<ArchiveError> Matching(ArchiveDatabase& db, const QString& sql, const QString& needle, QString& json) {
  QSqlQuery q = db.Query();
  if (!db.Run(q, sql)) return db.Failure(db.LastError());
  const QString folded = needle.toCaseFolded();
  QJsonArray keys;
  while (q.next())
    if (q.value(1).toString().toCaseFolded().contains(folded)) keys.append(QJsonValue::fromVariant(q.value(0)));
  if (q.lastError().isValid()) return db.Failure(q.lastError());
  json = QString::fromUtf8(QJsonDocument(keys).toJson(QJsonDocument::Compact));
  return std::nullopt;
}

// The WHERE clause of a filter into `where`, its values appended to `values`. Names and
// notes match as substrings in any case; every character of the filter is data.
std::optional<ArchiveError> Where(ArchiveDatabase& db, const SeriesFilter& f, QString& where, QVariantList& values) {
  QStringList terms;
  const bool pg = db.Postgres();
  const struct {
    const QString& needle;
    QString column, names, elements;
  } names[] = {
      {f.object, QStringLiteral("s.object"), QStringLiteral("SELECT DISTINCT object, object FROM series"),
       pg ? QStringLiteral("SELECT json_array_elements_text(?::json)") : QStringLiteral("SELECT value FROM json_each(?)")},
      {f.material, QStringLiteral("s.material"), QStringLiteral("SELECT DISTINCT material, material FROM series"),
       pg ? QStringLiteral("SELECT json_array_elements_text(?::json)") : QStringLiteral("SELECT value FROM json_each(?)")},
      {f.instrument, QStringLiteral("s.instrument_id"), QStringLiteral("SELECT id, version FROM instruments"),
       pg ? QStringLiteral("SELECT json_array_elements_text(?::json)::bigint")
          : QStringLiteral("SELECT value FROM json_each(?)")},
  };
  for (const auto& n : names) {
    if (n.needle.isEmpty()) continue;
    QString json;
    if (auto failed = Matching(db, n.names, n.needle, json)) return failed;
    terms << n.column + QStringLiteral(" IN (") + n.elements + u')';
    values << json;
  }
  if (!f.note.isEmpty()) {
    // The needle is compared as it is, in the case-folded copy of the note: no LIKE, so
    // that %, _, \ and quotes are plain characters.
    terms << (pg ? QStringLiteral("strpos(n.folded, ?) > 0") : QStringLiteral("instr(n.folded, ?) > 0"));
    values << f.note.toCaseFolded();
  }
  if (f.from) {
    terms << QStringLiteral("s.taken >= ?");
    values << InstrumentClock{f.from->year(), f.from->month(), f.from->day(), 0, 0, 0}.Key();
  }
  if (f.to) {
    terms << QStringLiteral("s.taken <= ?");
    values << InstrumentClock{f.to->year(), f.to->month(), f.to->day(), 255, 255, 255}.Key();
  }
  where = terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
  return std::nullopt;
}

bool Exec(ArchiveDatabase& db, QSqlQuery& q, const QString& sql, const QVariantList& values) {
  if (!q.prepare(sql)) return false;
  for (int i = 0; i < values.size(); ++i) q.bindValue(i, values[i]);
  (void)db;
  return q.exec();
}

const QString kSeriesFrom = QStringLiteral(
    " FROM series s JOIN instruments i ON i.id = s.instrument_id LEFT JOIN notes n ON n.id = s.note_id");

}  // namespace

// ---- Opening.

Archive::Archive(std::unique_ptr<ArchiveDatabase> db) : db_(std::move(db)) {}
Archive::~Archive() = default;

const ArchiveAddress& Archive::Address() const { return db_->Address(); }

ArchiveResult<std::unique_ptr<Archive>> Archive::Open(const QString& location, OpenMode mode) {
  QString why;
  const auto address = ParseArchiveAddress(location, &why);
  if (!address)
    return MakeArchiveError(ArchiveErrorKind::Unusable, QStringLiteral("адрес архива не годится: %1").arg(why),
                            QStringLiteral("the archive's address cannot be used: %1").arg(why));
  auto db = ArchiveDatabase::Connect(*address, mode);
  if (!db) return db.error();
  return std::unique_ptr<Archive>(new Archive(std::move(*db)));
}

// ---- Queries.

ArchiveResult<QList<ArchivedSeries>> Archive::Select(const SeriesFilter* filter, const QList<qint64>* ids) const {
  ArchiveDatabase& db = *db_;
  QVariantList values;
  QString where;
  if (filter)
    if (auto failed = Where(db, *filter, where, values)) return *failed;
  if (ids) {
    if (ids->isEmpty()) return QList<ArchivedSeries>();
    QStringList marks;
    for (qint64 id : *ids) {
      marks << QStringLiteral("?");
      values << id;
    }
    where = QStringLiteral(" WHERE s.id IN (") + marks.join(u',') + u')';
  }
  QSqlQuery q = db.Query();
  if (!Exec(db, q,
            QStringLiteral("SELECT s.id, s.head, s.taken, s.direction, i.version, n.text") + kSeriesFrom + where +
                QStringLiteral(" ORDER BY s.taken, s.number, s.id"),
            values))
    return db.Failure(q.lastError());
  QList<ArchivedSeries> list;
  QHash<qint64, qsizetype> index;
  while (q.next()) {
    ArchivedSeries s;
    s.id = q.value(0).toLongLong();
    const QByteArray head = q.value(1).toByteArray();
    if (head.size() != qsizetype(kProcessHeaderSize)) return Damaged(QStringLiteral("series %1").arg(s.id));
    std::memcpy(s.head.data(), head.constData(), s.head.size());
    s.taken = q.value(2).toLongLong();
    s.direction = q.value(3).toInt();
    s.instrument = q.value(4).toString();
    s.note = q.value(5).toString();
    index.insert(s.id, list.size());
    list.append(std::move(s));
  }
  if (q.lastError().isValid()) return db.Failure(q.lastError());
  if (list.isEmpty()) return list;
  // The imports that carried them: those of every layout they lie in.
  QSqlQuery carried = db.Query();
  if (!Exec(db, carried,
            QStringLiteral("SELECT DISTINCT ls.series_id, im.id") + kSeriesFrom +
                QStringLiteral(" JOIN layout_series ls ON ls.series_id = s.id JOIN imports im ON im.layout_id = "
                               "ls.layout_id") +
                where + QStringLiteral(" ORDER BY 1, 2"),
            values))
    return db.Failure(carried.lastError());
  while (carried.next()) {
    const auto at = index.constFind(carried.value(0).toLongLong());
    if (at != index.cend()) list[*at].imports.append(carried.value(1).toLongLong());
  }
  if (carried.lastError().isValid()) return db.Failure(carried.lastError());
  return list;
}

ArchiveResult<QList<ArchivedSeries>> Archive::List(const SeriesFilter& filter) const { return Select(&filter, nullptr); }

ArchiveResult<ArchivedSeries> Archive::Series(qint64 seriesId) const {
  const QList<qint64> ids{seriesId};
  auto list = Select(nullptr, &ids);
  if (!list) return list.error();
  if (list->isEmpty()) return NoSuchSeries(seriesId);
  return list->front();
}

ArchiveResult<ProcessRecordBuffer> Archive::Record(qint64 seriesId) const {
  ArchiveDatabase& db = *db_;
  QSqlQuery q = db.Query();
  // The series' 8312 bytes as the first image that held it has them.
  if (!db.Run(q, QStringLiteral("SELECT layout_id, at_byte FROM layout_series WHERE series_id = ? "
                                "ORDER BY layout_id LIMIT 1"),
              {seriesId}))
    return db.Failure(db.LastError());
  if (!q.next()) {
    q.finish();
    if (!db.Run(q, QStringLiteral("SELECT id FROM series WHERE id = ?"), {seriesId})) return db.Failure(db.LastError());
    if (q.next()) return Damaged(QStringLiteral("series %1 lies in no import").arg(seriesId));
    return NoSuchSeries(seriesId);
  }
  const qint64 layoutId = q.value(0).toLongLong();
  const qint64 at = q.value(1).toLongLong();
  q.finish();
  ArchiveStore store{db};
  auto image = store.LayoutImage(layoutId);
  if (!image) return image.error();
  ProcessRecordBuffer r{};
  if (at < 0 || at >= image->size()) return Damaged(QStringLiteral("series %1").arg(seriesId));
  std::memcpy(r.data(), image->constData() + at, size_t(std::min<qint64>(qint64(r.size()), image->size() - at)));
  return r;
}

ArchiveResult<QList<SummaryGroup>> Archive::Summary(SummaryBy by, const SeriesFilter& filter, StrengthUnit unit) const {
  ArchiveDatabase& db = *db_;
  QString key;
  switch (by) {
    case SummaryBy::Object: key = QStringLiteral("s.object"); break;
    case SummaryBy::Material: key = QStringLiteral("s.material"); break;
    case SummaryBy::Instrument: key = QStringLiteral("i.version"); break;
    case SummaryBy::Day: key = QStringLiteral("s.taken / 16777216"); break;
    case SummaryBy::Month: key = QStringLiteral("s.taken / 4294967296"); break;
  }
  QVariantList values;
  QString where;
  if (auto failed = Where(db, filter, where, values)) return *failed;
  QSqlQuery q = db.Query();
  if (!Exec(db, q,
            QStringLiteral("SELECT ") + key +
                QStringLiteral(", COUNT(*), SUM(s.strength), MIN(s.strength), MAX(s.strength), "
                               "SUM(s.strength * s.strength), MIN(s.taken), MAX(s.taken)") +
                kSeriesFrom + where + QStringLiteral(" GROUP BY ") + key,
            values))
    return db.Failure(q.lastError());
  const double factor = unit == StrengthUnit::MPa ? 1.0 : kKgfPerMPa;
  QList<SummaryGroup> groups;
  while (q.next()) {
    SummaryGroup g;
    if (by == SummaryBy::Day)
      g.key = InstrumentClock::FromKey(q.value(0).toLongLong() << 24).DateText();
    else if (by == SummaryBy::Month)
      g.key = InstrumentClock::FromKey(q.value(0).toLongLong() << 32).DateText().left(7);
    else
      g.key = q.value(0).toString();
    g.count = q.value(1).toLongLong();
    const double sum = q.value(2).toDouble();
    const double mean = sum / double(g.count);
    g.mean = mean * factor;
    g.minimum = q.value(3).toDouble() * factor;
    g.maximum = q.value(4).toDouble() * factor;
    if (g.count > 1) {
      const double squares = q.value(5).toDouble() - sum * mean;
      g.deviation = std::sqrt(std::max(0.0, squares / double(g.count - 1))) * factor;
    }
    g.variation = g.mean != 0 ? 100.0 * g.deviation / std::fabs(g.mean) : 0.0;
    g.first = InstrumentClock::FromKey(q.value(6).toLongLong());
    g.last = InstrumentClock::FromKey(q.value(7).toLongLong());
    groups.append(g);
  }
  if (q.lastError().isValid()) return db.Failure(q.lastError());
  // In the program's own order on both databases (their collations differ).
  std::sort(groups.begin(), groups.end(), [](const SummaryGroup& a, const SummaryGroup& b) { return a.key < b.key; });
  return groups;
}

ArchiveResult<QList<ImportEntry>> Archive::Imports() const {
  ArchiveDatabase& db = *db_;
  QSqlQuery q = db.Query();
  if (!db.Run(q, QStringLiteral("SELECT im.id, im.at_utc, im.kind, im.file_name, im.sha256, im.size, im.host, "
                                "im.user_name, i.version, im.series, im.added FROM imports im "
                                "JOIN instruments i ON i.id = im.instrument_id ORDER BY im.id")))
    return db.Failure(db.LastError());
  QList<ImportEntry> list;
  while (q.next()) {
    ImportEntry e;
    e.id = q.value(0).toLongLong();
    e.when = FromUtcText(q.value(1).toString());
    e.kind = q.value(2).toString() == u"read" ? ImportKind::Read : ImportKind::File;
    e.fileName = q.value(3).toString();
    e.sha256 = q.value(4).toByteArray();
    e.size = q.value(5).toLongLong();
    e.host = q.value(6).toString();
    e.user = q.value(7).toString();
    e.instrument = q.value(8).toString();
    e.series = q.value(9).toInt();
    e.added = q.value(10).toInt();
    list.append(e);
  }
  if (q.lastError().isValid()) return db.Failure(q.lastError());
  return list;
}

// ---- The window's queries.

ArchiveResult<QList<qint64>> Archive::SeriesIds(const SeriesFilter& filter, SeriesOrder order) const {
  ArchiveDatabase& db = *db_;
  QVariantList values;
  QString where;
  if (auto failed = Where(db, filter, where, values)) return *failed;
  QString column;
  switch (order.by) {
    case SeriesColumn::Number: column = QStringLiteral("s.number"); break;
    case SeriesColumn::Taken: break;
    case SeriesColumn::TimeOfDay: column = QStringLiteral("s.taken % 16777216"); break;
    case SeriesColumn::Strength: column = QStringLiteral("s.strength"); break;
    case SeriesColumn::Material: column = QStringLiteral("s.material"); break;
    case SeriesColumn::Object: column = QStringLiteral("s.object"); break;
    case SeriesColumn::Variation: column = QStringLiteral("s.variation_tenths"); break;
    case SeriesColumn::Range: column = QStringLiteral("s.range_tenths"); break;
    case SeriesColumn::Blows: column = QStringLiteral("s.blows"); break;
    case SeriesColumn::Instrument: column = QStringLiteral("i.version"); break;
    case SeriesColumn::Note: column = QStringLiteral("COALESCE(n.text, '')"); break;
  }
  const QString direction = order.descending ? QStringLiteral(" DESC") : QString();
  QString orderBy = QStringLiteral(" ORDER BY ");
  if (!column.isEmpty()) orderBy += column + direction + QStringLiteral(", ");
  orderBy += QStringLiteral("s.taken") + direction + QStringLiteral(", s.number") + direction +
             QStringLiteral(", s.id") + direction;
  QSqlQuery q = db.Query();
  q.setForwardOnly(true);
  if (!Exec(db, q, QStringLiteral("SELECT s.id") + kSeriesFrom + where + orderBy, values))
    return db.Failure(q.lastError());
  QList<qint64> ids;
  while (q.next()) ids.append(q.value(0).toLongLong());
  if (q.lastError().isValid()) return db.Failure(q.lastError());
  return ids;
}

ArchiveResult<QList<ArchivedSeries>> Archive::ListOf(const QList<qint64>& ids) const {
  // In pieces, each well under any database's limit of bound values.
  constexpr qsizetype kPiece = 500;
  QHash<qint64, ArchivedSeries> found;
  for (qsizetype from = 0; from < ids.size(); from += kPiece) {
    const QList<qint64> piece = ids.mid(from, kPiece);
    auto part = Select(nullptr, &piece);
    if (!part) return part.error();
    for (ArchivedSeries& s : *part) found.insert(s.id, std::move(s));
  }
  QList<ArchivedSeries> list;
  list.reserve(found.size());
  for (qint64 id : ids)
    if (const auto i = found.constFind(id); i != found.cend()) list.append(*i);
  return list;
}

SummaryGroup CombinedGroup(const QList<SummaryGroup>& groups) {
  SummaryGroup all;
  double sum = 0, squares = 0;
  bool first = true;
  for (const SummaryGroup& g : groups) {
    if (g.count <= 0) continue;
    all.count += g.count;
    sum += g.mean * double(g.count);
    squares += g.deviation * g.deviation * double(g.count - 1) + g.mean * g.mean * double(g.count);
    all.minimum = first ? g.minimum : std::min(all.minimum, g.minimum);
    all.maximum = first ? g.maximum : std::max(all.maximum, g.maximum);
    all.first = first || g.first.Key() < all.first.Key() ? g.first : all.first;
    all.last = first || g.last.Key() > all.last.Key() ? g.last : all.last;
    first = false;
  }
  if (all.count == 0) return all;
  all.mean = sum / double(all.count);
  if (all.count > 1)
    all.deviation = std::sqrt(std::max(0.0, (squares - sum * all.mean) / double(all.count - 1)));
  all.variation = all.mean != 0 ? 100.0 * all.deviation / std::fabs(all.mean) : 0.0;
  return all;
}

// ---- Notes.

ArchiveResult<Done> Archive::SetNote(qint64 seriesId, const QString& text, const QString& author) {
  ArchiveDatabase& db = *db_;
  const QString by = author.isEmpty() ? LoginName() : author;
  std::optional<ArchiveError> missing;
  auto failure = db.Transaction([&]() -> std::optional<ArchiveError> {
    missing.reset();
    QSqlQuery q = db.Query();
    if (!db.Run(q, QStringLiteral("SELECT id FROM series WHERE id = ?"), {seriesId})) return db.Failure(db.LastError());
    if (!q.next()) return missing = NoSuchSeries(seriesId);
    q.finish();
    if (!db.Run(q, QStringLiteral("INSERT INTO notes (series_id, text, folded, author, at_utc) VALUES (?, ?, ?, ?, ?) "
                                  "RETURNING id"),
                {seriesId, NotNull(text), NotNull(text.toCaseFolded()), NotNull(by), UtcText(QDateTime::currentDateTimeUtc())}) ||
        !q.next())
      return db.Failure(db.LastError());
    const qint64 noteId = q.value(0).toLongLong();
    q.finish();
    if (!db.Run(q, QStringLiteral("UPDATE series SET note_id = ? WHERE id = ?"), {noteId, seriesId}))
      return db.Failure(db.LastError());
    return std::nullopt;
  });
  if (failure) return *failure;
  return Done{};
}

ArchiveResult<QList<SeriesNote>> Archive::Notes(qint64 seriesId) const {
  ArchiveDatabase& db = *db_;
  QSqlQuery q = db.Query();
  if (!db.Run(q, QStringLiteral("SELECT id FROM series WHERE id = ?"), {seriesId})) return db.Failure(db.LastError());
  if (!q.next()) return NoSuchSeries(seriesId);
  q.finish();
  if (!db.Run(q, QStringLiteral("SELECT text, author, at_utc FROM notes WHERE series_id = ? ORDER BY id"), {seriesId}))
    return db.Failure(db.LastError());
  QList<SeriesNote> notes;
  while (q.next()) notes.append({q.value(0).toString(), q.value(1).toString(), FromUtcText(q.value(2).toString())});
  return notes;
}

// ---- Check.

ArchiveResult<CheckReport> Archive::Check(const ArchiveProgress& progress) const {
  ArchiveDatabase& db = *db_;
  CheckReport report;
  QSqlQuery q = db.Query();
  if (!db.Postgres()) {
    if (!db.Run(q, QStringLiteral("PRAGMA integrity_check"))) return db.Failure(db.LastError());
    while (q.next()) {
      const QString line = q.value(0).toString();
      if (line != u"ok") report.problems << QStringLiteral("SQLite: ") + line;
    }
    q.finish();
  }
  // Every reference leads somewhere.
  const std::pair<const char*, const char*> references[] = {
      {"SELECT COUNT(*) FROM series s LEFT JOIN series_bodies b ON b.id = s.id WHERE b.id IS NULL",
       "series without their blows"},
      {"SELECT COUNT(*) FROM series s LEFT JOIN instruments i ON i.id = s.instrument_id WHERE i.id IS NULL",
       "series without their instrument"},
      {"SELECT COUNT(*) FROM layout_series l LEFT JOIN series s ON s.id = l.series_id WHERE s.id IS NULL",
       "import places of series that are missing"},
      {"SELECT COUNT(*) FROM imports im LEFT JOIN layouts l ON l.id = im.layout_id WHERE l.id IS NULL",
       "imports without their layout"},
      {"SELECT COUNT(*) FROM imports im WHERE NOT EXISTS (SELECT 1 FROM parts p WHERE p.id = im.materials_part) "
       "OR NOT EXISTS (SELECT 1 FROM parts p WHERE p.id = im.objects_part) "
       "OR NOT EXISTS (SELECT 1 FROM parts p WHERE p.id = im.param_part) "
       "OR NOT EXISTS (SELECT 1 FROM parts p WHERE p.id = im.residue_part) "
       "OR (im.tail_part IS NOT NULL AND NOT EXISTS (SELECT 1 FROM parts p WHERE p.id = im.tail_part))",
       "imports with a missing part"},
  };
  for (const auto& [sql, what] : references) {
    if (!db.Run(q, QString::fromLatin1(sql))) return db.Failure(db.LastError());
    if (q.next() && q.value(0).toLongLong() > 0)
      report.problems << QStringLiteral("%1 %2").arg(q.value(0).toLongLong()).arg(QString::fromLatin1(what));
    q.finish();
  }
  qint64 total = 0;
  if (!db.Run(q, QStringLiteral("SELECT (SELECT COUNT(*) FROM series) + (SELECT COUNT(*) FROM parts)")))
    return db.Failure(db.LastError());
  if (q.next()) total = q.value(0).toLongLong();
  q.finish();
  qint64 done = 0;
  const auto step = [&] {
    ++done;
    if (progress && (done % 256 == 0 || done == total)) progress(done, total);
  };
  // Every record against its identity: each series in the first image that held it.
  QList<qint64> layouts;
  if (!db.Run(q, QStringLiteral("SELECT id FROM layouts ORDER BY id"))) return db.Failure(db.LastError());
  while (q.next()) layouts.append(q.value(0).toLongLong());
  q.finish();
  QSet<qint64> checked;
  ArchiveStore store{db};
  for (qint64 layoutId : layouts) {
    auto image = store.LayoutImage(layoutId);
    if (!image) {
      report.problems << QStringLiteral("layout %1: ").arg(layoutId) + image.error().Text(kEnglish);
      continue;
    }
    if (!db.Run(q, QStringLiteral("SELECT l.series_id, l.at_byte, s.sha256 FROM layout_series l "
                                  "JOIN series s ON s.id = l.series_id WHERE l.layout_id = ?"),
                {layoutId}))
      return db.Failure(db.LastError());
    ProcessRecordBuffer r;
    while (q.next()) {
      const qint64 id = q.value(0).toLongLong();
      if (checked.contains(id)) continue;
      checked.insert(id);
      const qint64 at = q.value(1).toLongLong();
      r.fill(0);
      if (at >= 0 && at < image->size())
        std::memcpy(r.data(), image->constData() + at, size_t(std::min<qint64>(qint64(r.size()), image->size() - at)));
      if (Sha256(QByteArrayView(r.data(), qsizetype(r.size()))) != q.value(2).toByteArray())
        report.problems << QStringLiteral("series %1: its record does not match its identity").arg(id);
      ++report.seriesChecked;
      step();
    }
    if (q.lastError().isValid()) return db.Failure(q.lastError());
    q.finish();
  }
  if (!db.Run(q, QStringLiteral("SELECT COUNT(*) FROM series"))) return db.Failure(db.LastError());
  if (q.next() && q.value(0).toLongLong() > checked.size())
    report.problems << QStringLiteral("%1 series lie in no import").arg(q.value(0).toLongLong() - checked.size());
  q.finish();
  if (!db.Run(q, QStringLiteral("SELECT id, sha256, size, data FROM parts ORDER BY id"))) return db.Failure(db.LastError());
  while (q.next()) {
    const qint64 size = q.value(2).toLongLong();
    QByteArray bytes(qsizetype(std::clamp<qint64>(size, 0, qint64(1) << 30)), Qt::Uninitialized);
    if (bytes.size() != size || !Inflate(q.value(3).toByteArray(), bytes.data(), bytes.size()) ||
        Sha256(bytes) != q.value(1).toByteArray())
      report.problems << QStringLiteral("part %1: its bytes do not match their SHA-256").arg(q.value(0).toLongLong());
    ++report.partsChecked;
    step();
  }
  if (q.lastError().isValid()) return db.Failure(q.lastError());
  return report;
}

}  // namespace zarn
