#pragma once
// What zarn26-cli archive prints: the tables of list, summary and imports as the
// clipboard's text or CSV, and their JSON.
//
// list      table 1 as `export series` prints it (its two heading rows, its nine columns
//           and texts), then the columns Instrument, Note and Id; a row per series.
// summary   the group, Series, Mean, Minimum, Maximum, Std.deviation, Variation (%),
//           First and Last (the instrument's dates, YYYY-MM-DD); two heading rows, the
//           second with the units.
// imports   Id, Time (UTC), Kind, Source, SHA-256, Series, New.
//
// JSON (raw values; the language and unit do not apply):
//   list     {"archive", "seriesCount", "series": [PROCESS fields of export's JSON from
//             "number" to "timeStep", + "id", "direction", "instrument", "note",
//             "imports": [ids]]}
//   summary  {"archive", "by", "groups": [{"key", "series", "meanMPa", "minimumMPa",
//             "maximumMPa", "deviationMPa", "variationPercent", "first", "last"}]}
//   imports  {"archive", "imports": [{"id", "time" (ISO 8601, UTC), "kind" ("read" or
//             "file"), "file", "size", "sha256", "host", "user", "instrument",
//             "series", "new"}]}

#include <QByteArray>
#include <QList>
#include <QString>

#include "archive/archive.h"
#include "common/units.h"

namespace zarn::cli {

enum class Table { Tsv, Csv };

QByteArray ListTable(const QList<ArchivedSeries>& series, Table table, int language, StrengthUnit unit);
QByteArray ListJson(const QString& archive, const QList<ArchivedSeries>& series);

QByteArray SummaryTable(const QList<SummaryGroup>& groups, SummaryBy by, Table table, int language,
                        StrengthUnit unit);
QByteArray SummaryJson(const QString& archive, const QString& by, const QList<SummaryGroup>& groups);

// The source column: the file's name for a file; for a read the instrument, and the
// file it was saved as where there is one.
QString ImportSource(const ImportEntry& entry);
QByteArray ImportsTable(const QList<ImportEntry>& imports, Table table, int language);
QByteArray ImportsJson(const QString& archive, const QList<ImportEntry>& imports);

}  // namespace zarn::cli
