#include "archive_output.h"

#include <array>

#include "archive_texts.h"
#include "common/numbers.h"
#include "data/presenters.h"
#include "export_json.h"
#include "jsonwriter.h"
#include "tableout.h"

namespace zarn::cli {
namespace {

RowWriter WriterFor(Table table, int language) {
  RowWriter writer;
  if (table == Table::Csv) writer.csv = CsvDialectFor(language);
  return writer;
}

// Table 1's number columns and the Id.
constexpr int kListColumns = kSeriesColumns + 3;
constexpr NumberColumns kListNumbers = [] {
  NumberColumns n = kSeriesNumberColumns;
  n.Add(kListColumns - 1);
  return n;
}();

QString StrengthText(double value, StrengthUnit unit) {
  return FormatNumber(value, unit == StrengthUnit::MPa ? NumberPattern::OptionalTenths : NumberPattern::Integer);
}

QString UnitText(StrengthUnit unit, int language) {
  return (unit == StrengthUnit::MPa ? txtUnitMPa : txtUnitKgf).Str(language);
}

QString UtcText(const QDateTime& when) { return when.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")); }

}  // namespace

QByteArray ListTable(const QList<ArchivedSeries>& series, Table table, int language, StrengthUnit unit) {
  const RowWriter appendRow = WriterFor(table, language);
  QString text;
  text.reserve(series.size() * 100 + 300);
  std::array<QString, kListColumns> cells;
  for (int h = 0; h < 2; ++h) {
    const SeriesRow heading = SeriesTableHeading(h, language, unit);
    std::copy(heading.begin(), heading.end(), cells.begin());
    cells[kSeriesColumns] = h == 0 ? txtArchiveInstrument.Str(language) : QString();
    cells[kSeriesColumns + 1] = h == 0 ? txtArchiveNote.Str(language) : QString();
    cells[kSeriesColumns + 2] = h == 0 ? txtArchiveId.Str(language) : QString();
    appendRow(text, cells);
  }
  SeriesRow row;
  for (const ArchivedSeries& s : series) {
    s.FillRow(unit, row);
    std::copy(row.begin(), row.end(), cells.begin());
    cells[kSeriesColumns] = s.instrument;
    cells[kSeriesColumns + 1] = s.note;
    cells[kSeriesColumns + 2].setNum(s.id);
    appendRow(text, cells, kListNumbers);
  }
  return appendRow.Bytes(text);
}

QByteArray ListJson(const QString& archive, const QList<ArchivedSeries>& series) {
  Json j;
  j.BeginObject();
  j.Key("archive").String(archive);
  j.Key("seriesCount").Int(series.size());
  j.Key("series").BeginArray();
  for (const ArchivedSeries& s : series) {
    const ProcessRecordBuffer record = s.HeadRecord();
    j.BeginObject();
    j.Key("id").Int(s.id);
    ProcessFields(j, ProcessView(record.data()));
    j.Key("direction").Int(s.direction);
    j.Key("instrument").String(s.instrument);
    j.Key("note").String(s.note);
    j.Key("imports").BeginArray();
    for (const qint64 id : s.imports) j.Int(id);
    j.EndArray();
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Take();
}

QByteArray SummaryTable(const QList<SummaryGroup>& groups, SummaryBy by, Table table, int language,
                        StrengthUnit unit) {
  const RowWriter appendRow = WriterFor(table, language);
  const TextPair* group = by == SummaryBy::Object     ? &txtObject
                          : by == SummaryBy::Material ? &txtMaterial
                          : by == SummaryBy::Day      ? &txtArchiveDay
                          : by == SummaryBy::Month    ? &txtArchiveMonth
                                                      : &txtArchiveInstrument;
  const QString groupUnit = by == SummaryBy::Day     ? txtArchiveIsoDate.Str(language)
                            : by == SummaryBy::Month ? txtArchiveIsoMonth.Str(language)
                                                     : QString();
  const QString strength = UnitText(unit, language);
  const QString date = txtArchiveIsoDate.Str(language);
  QString text;
  appendRow(text, std::array{group->Str(language), txtArchiveSeries.Str(language), txtArchiveMean.Str(language),
                             txtArchiveMinimum.Str(language), txtArchiveMaximum.Str(language),
                             txtArchiveDeviation.Str(language), txtVariation.Str(language),
                             txtArchiveFirst.Str(language), txtArchiveLast.Str(language)});
  appendRow(text, std::array{groupUnit, QString(), strength, strength, strength, strength, txtPercent.Str(language),
                             date, date});
  // The counts and figures; a day or month group's key is a date, not a number.
  constexpr NumberColumns numbers{1, 2, 3, 4, 5, 6};
  for (const SummaryGroup& g : groups) {
    appendRow(text,
              std::array{g.key, QString::number(g.count), StrengthText(g.mean, unit), StrengthText(g.minimum, unit),
                         StrengthText(g.maximum, unit), StrengthText(g.deviation, unit),
                         FormatNumber(g.variation, NumberPattern::OptionalTenths), g.first.DateText(),
                         g.last.DateText()},
              numbers);
  }
  return appendRow.Bytes(text);
}

QByteArray SummaryJson(const QString& archive, const QString& by, const QList<SummaryGroup>& groups) {
  Json j;
  j.BeginObject();
  j.Key("archive").String(archive);
  j.Key("by").String(by);
  j.Key("groups").BeginArray();
  for (const SummaryGroup& g : groups) {
    j.BeginObject();
    j.Key("key").String(g.key);
    j.Key("series").Int(g.count);
    j.Key("meanMPa").Float(g.mean);
    j.Key("minimumMPa").Float(g.minimum);
    j.Key("maximumMPa").Float(g.maximum);
    j.Key("deviationMPa").Float(g.deviation);
    j.Key("variationPercent").Float(g.variation);
    j.Key("first").String(g.first.DateText());
    j.Key("last").String(g.last.DateText());
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Take();
}

QString ImportSource(const ImportEntry& entry) {
  if (entry.kind == ImportKind::File) return entry.fileName;
  if (entry.fileName.isEmpty()) return entry.instrument;
  return QStringLiteral("%1 (%2)").arg(entry.instrument, entry.fileName);
}

QByteArray ImportsTable(const QList<ImportEntry>& imports, Table table, int language) {
  const RowWriter appendRow = WriterFor(table, language);
  QString text;
  appendRow(text, std::array{txtArchiveId.Str(language), txtArchiveWhen.Str(language), txtArchiveKind.Str(language),
                             txtArchiveSource.Str(language), QStringLiteral("SHA-256"),
                             txtArchiveSeries.Str(language), txtArchiveNew.Str(language)});
  constexpr NumberColumns numbers{0, 5, 6};
  for (const ImportEntry& e : imports) {
    appendRow(text,
              std::array{QString::number(e.id), UtcText(e.when),
                         (e.kind == ImportKind::Read ? txtArchiveKindRead : txtArchiveKindFile).Str(language),
                         ImportSource(e), QString::fromLatin1(e.sha256.toHex()), QString::number(e.series),
                         QString::number(e.added)},
              numbers);
  }
  return appendRow.Bytes(text);
}

QByteArray ImportsJson(const QString& archive, const QList<ImportEntry>& imports) {
  Json j;
  j.BeginObject();
  j.Key("archive").String(archive);
  j.Key("imports").BeginArray();
  for (const ImportEntry& e : imports) {
    j.BeginObject();
    j.Key("id").Int(e.id);
    j.Key("time").String(e.when.toUTC().toString(Qt::ISODate));
    j.Key("kind").String(e.kind == ImportKind::Read ? QStringLiteral("read") : QStringLiteral("file"));
    j.Key("file").String(e.fileName);
    j.Key("size").Int(e.size);
    j.Key("sha256").String(QString::fromLatin1(e.sha256.toHex()));
    j.Key("host").String(e.host);
    j.Key("user").String(e.user);
    j.Key("instrument").String(e.instrument);
    j.Key("series").Int(e.series);
    j.Key("new").Int(e.added);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Take();
}

}  // namespace zarn::cli
