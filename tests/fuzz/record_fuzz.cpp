// Every text the tables, the chart and the clipboard make of a process record, for any
// bytes of the record: byte 0 picks the chart view (0 = all blows, 1..16 one blow),
// byte 1 the language (bit 0) and unit (bit 1); the rest is the record, zero-padded.
// Nothing may read outside the record, and the texts keep their shape.

#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/texts.h"
#include "data/presenters.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int view = data[0] % 17;
  const int language = data[1] & 1;
  const zarn::StrengthUnit unit = (data[1] & 2) ? zarn::StrengthUnit::Kgf : zarn::StrengthUnit::MPa;
  // The record lives in a buffer of exactly its size, so that the sanitizer catches any
  // read beyond it.
  auto record = std::make_unique<uint8_t[]>(zarn::kProcessRecordSize);
  std::memset(record.get(), 0, zarn::kProcessRecordSize);
  std::memcpy(record.get(), data + 2, std::min(size - 2, zarn::kProcessRecordSize));
  const zarn::ProcessView p(record.get());

  zarn::SeriesRow row;
  zarn::FillSeriesRow(p, unit, row);
  const zarn::SeriesRow heading = zarn::SeriesTableHeading(0, language, unit);
  (void)zarn::SeriesTableHeading(1, language, unit);

  const QList<QStringList> table = zarn::ImpactsTable(p, language, unit);
  Check(table.size() == zarn::kImpactsRows);
  const qsizetype columns = std::max(2, 1 + p.shownBlowCount());
  for (const QStringList& r : table) Check(r.size() == columns);
  const QString tableText = zarn::TableText(table);
  Check(tableText.count(QStringLiteral("\r\n")) >= zarn::kImpactsRows);

  const auto coefficients = zarn::CoefficientRow(p, language);
  const auto curves = zarn::ChartCurves(p, view);
  if (view == 0) Check(int(curves.size()) == p.shownBlowCount());
  else Check(curves.size() == (view <= p.shownBlowCount() ? 1u : 0u));
  (void)zarn::LeftAxisHalfRange(curves);

  // The chart data as shown, then after the double-click trimming.
  std::vector<std::vector<zarn::ChartPoint>> series;
  for (const zarn::BlowCurve& c : curves) {
    Check(c.points.size() == zarn::kWaveSamples + 1);
    series.push_back(c.points);
  }
  const QStringList title = zarn::ChartTitle(view, language);
  const QString text = zarn::ChartDataText(heading, row, coefficients, title, series, language);
  Check(text.isEmpty() == series.empty());
  // Names are shown as stored; a name that holds a line break (never typed on the
  // instrument, but possible in damaged bytes) adds lines, so count only without one.
  const bool plainNames = !row[4].contains(u'\n') && !row[5].contains(u'\n');
  if (!series.empty() && plainNames) {
    const qsizetype lines = text.count(QStringLiteral("\r\n"));
    Check(lines == 6 + (view > 0 ? 1 : 0) + qsizetype(series[0].size()));
  }
  for (auto& s : series) {
    const int cut = zarn::FindWaveCut(s);
    Check(cut >= 0 && size_t(cut) <= s.size());
    s.resize(size_t(cut));
  }
  (void)zarn::ChartDataText(heading, row, coefficients, title, series, language);
  return 0;
}
