#include "presenters.h"

#include <algorithm>
#include <cmath>

#include "common/numbers.h"
#include "common/texts.h"

namespace zarn {
namespace {

constexpr QStringView kTab = u"\t";
constexpr QStringView kCrLf = u"\r\n";

void AppendTwoDigits(QString& out, unsigned value) {
  AppendNumber(out, double(value), NumberPattern::TwoDigits);
}

QString Number(double value, NumberPattern pattern) { return FormatNumber(value, pattern); }

// "07.03.2012, 14:05:09": the date and time cell of table 2.
QString ImpactsDateTime(const ProcessView& p) {
  QString s;
  s.reserve(24);
  AppendTwoDigits(s, p.day());
  s += u'.';
  AppendTwoDigits(s, p.month());
  s += u".20";
  AppendTwoDigits(s, p.year());
  s += u", ";
  AppendTwoDigits(s, p.hour());
  s += u':';
  AppendTwoDigits(s, p.minute());
  s += u':';
  AppendTwoDigits(s, p.second());
  return s;
}

// Direction codes 0..2 have a text; any other code (a damaged record) shows an empty
// cell rather than a text from outside the table.
QString DirectionText(int8_t code, int language) {
  if (code < 0 || code > 2) return {};
  return txtDirections[code]->Str(language);
}

QString StrengthText(float mpa, StrengthUnit unit, NumberPattern mpaPattern) {
  return Number(DisplayStrength(mpa, unit),
                unit == StrengthUnit::MPa ? mpaPattern : NumberPattern::Integer);
}

}  // namespace

// ---- Table 1

SeriesRow SeriesTableHeading(int row, int language, StrengthUnit unit) {
  SeriesRow r;
  if (row == 0) {
    r = {txtNumber.Str(language),    txtDate.Str(language),      txtTime.Str(language),
         txtStrength.Str(language),  txtMaterial.Str(language),  txtObject.Str(language),
         txtVariation.Str(language), txtSwing.Str(language),     txtImpacts.Str(language)};
  } else if (row == 1) {
    // Cells 0, 4 and 5 are never written by the layout; cell 8 is written empty.
    r[1] = txtDateFormat.Str(language);
    r[2] = txtTimeFormat.Str(language);
    r[3] = (unit == StrengthUnit::MPa ? txtUnitMPa : txtUnitKgf).Str(language);
    r[6] = txtPercent.Str(language);
    r[7] = txtPercent.Str(language);
  }
  return r;
}

void FillSeriesRow(const ProcessView& p, StrengthUnit unit, SeriesRow& out) {
  // The strings are cleared rather than replaced, so a caller that fills row after row
  // into the same SeriesRow reuses their buffers: 2688 rows are refilled on every unit
  // switch.
  for (QString& cell : out) cell.clear();
  out[0].setNum(p.number() % 10000);

  QString& date = out[1];
  AppendTwoDigits(date, p.day());
  date += u'.';
  AppendTwoDigits(date, p.month());
  date += u'.';
  AppendTwoDigits(date, p.year());

  QString& time = out[2];
  AppendTwoDigits(time, p.hour());
  time += u':';
  AppendTwoDigits(time, p.minute());
  time += u':';
  AppendTwoDigits(time, p.second());

  AppendNumber(out[3], DisplayStrength(p.strength(), unit),
               unit == StrengthUnit::MPa ? NumberPattern::OptionalTenths : NumberPattern::Integer);
  out[4] = p.materialName();
  out[5] = p.objectName();
  AppendNumber(out[6], p.variation() * 0.1, NumberPattern::OptionalTenths);
  AppendNumber(out[7], p.range() * 0.1, NumberPattern::OptionalTenths);
  // The count as the instrument stored it; table 2 and the chart show at most 15.
  out[8].setNum(p.blowCount());
}

// ---- CSV

CsvDialect CsvDialectFor(int language) { return language == kEnglish ? kCsvPoint : kCsvComma; }

bool IsNumberText(QStringView text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  auto digits = [&] {
    const qsizetype start = i;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') ++i;
    return i > start;
  };
  if (i < n && text[i] == u'-') ++i;
  if (!digits()) return false;
  if (i < n && text[i] == u',') {
    ++i;
    if (!digits()) return false;
  }
  if (i < n && text[i] == u'E') {
    ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    if (!digits()) return false;
  }
  return i == n;
}

namespace {
void AppendCsvField(QString& out, const QString& cell, bool number, const CsvDialect& dialect) {
  if (number && IsNumberText(cell)) {
    const qsizetype at = out.size();
    out += cell;
    if (dialect.decimal != u',') {
      const qsizetype comma = out.indexOf(u',', at);
      if (comma >= 0) out[comma] = QChar(dialect.decimal);
    }
    return;
  }
  bool quote = !cell.isEmpty() && (cell.front() == u' ' || cell.back() == u' ');
  for (QChar c : cell) {
    if (c == u'"' || c == u',' || c == u';' || c == u'\r' || c == u'\n') quote = true;
  }
  if (!quote) {
    out += cell;
    return;
  }
  QString q = cell;
  q.replace(u'"', QStringLiteral("\"\""));
  out += u'"';
  out += q;
  out += u'"';
}
}  // namespace

void AppendCsvRow(QString& text, std::span<const QString> cells, const CsvDialect& dialect,
                  NumberColumns numbers) {
  for (size_t c = 0; c < cells.size(); ++c) {
    if (c > 0) text += QChar(dialect.separator);
    AppendCsvField(text, cells[c], numbers.Has(int(c)), dialect);
  }
  text += QStringLiteral("\r\n");
}

QByteArray CsvBytes(const QString& text) { return QByteArray("\xEF\xBB\xBF") + text.toUtf8(); }

// ---- Table 2

QString ImpactHeading(int column, int language) {
  QString s = QString::number(column);
  s += txtNthImpact.In(language);
  return s;
}

QStringList ImpactsLabels(int language, StrengthUnit unit) {
  return {QString(),
          txtDirection.Str(language),
          txtImpactAmplitude.Str(language),
          txtRecoilAmplitude.Str(language),
          txtImpactDuration.Str(language),
          txtRecoilDuration.Str(language),
          txtImpactEnergy.Str(language),
          txtRecoilEnergy.Str(language),
          (unit == StrengthUnit::MPa ? txtStrengthMPa : txtStrengthKgf).Str(language)};
}

QList<QStringList> ImpactsTable(const ProcessView& p, int language, StrengthUnit unit) {
  const int blows = p.shownBlowCount();
  // A process without blows still shows one (empty) blow column, headed by nothing:
  // the layout heads only the columns of blows.
  const int columns = std::max(2, 1 + blows);
  QList<QStringList> rows(kImpactsRows);
  const QStringList labels = ImpactsLabels(language, unit);
  for (int r = 0; r < kImpactsRows; ++r) {
    rows[r].reserve(columns);
    rows[r].append(r == 0 ? ImpactsDateTime(p) : labels[r]);
  }
  for (int b = 0; b < blows; ++b) {
    const BlowView blow = p.blow(b);
    rows[0].append(ImpactHeading(b + 1, language));
    rows[1].append(DirectionText(blow.direction(), language));
    rows[2].append(Number(blow.impactAmplitude(), NumberPattern::Tenths));
    rows[3].append(Number(blow.recoilAmplitude(), NumberPattern::Tenths));
    rows[4].append(Number(blow.impactDuration(), NumberPattern::Tenths));
    rows[5].append(Number(blow.recoilDuration(), NumberPattern::Tenths));
    rows[6].append(Number(blow.impactEnergy(), NumberPattern::Thousandths));
    rows[7].append(Number(blow.recoilEnergy(), NumberPattern::Thousandths));
    rows[8].append(StrengthText(blow.strength(), unit, NumberPattern::Tenths));
  }
  for (QStringList& row : rows) {
    while (row.size() < columns) row.append(QString());
  }
  return rows;
}

std::array<QString, 5> CoefficientRow(const ProcessView& p, int language) {
  auto cell = [](QStringView name, float value) {
    QString s = name.toString();
    AppendNumber(s, value, NumberPattern::Scientific);
    return s;
  };
  return {txtMaterialCoefficients.Str(language), cell(u"a2=", p.a2()), cell(u"a1=", p.a1()),
          cell(u"a0=", p.a0()), cell(u"Kf=", p.Kf())};
}

// ---- Chart

std::vector<ChartPoint> BlowPoints(const ProcessView& p, int blowIndex) {
  const BlowView blow = p.blow(blowIndex);
  // The running values are sums of at most 511 signed bytes: exact in an int.
  std::array<int, kWaveSamples> values;
  int v = blow.firstSample();
  int largest = v;
  values[0] = v;
  for (int k = 1; k < kWaveSamples; ++k) {
    v += blow.delta(k - 1);
    values[k] = v;
    largest = std::max(largest, v);
  }
  // The curve is scaled so that its highest point equals the impact amplitude. A curve
  // that never rises above zero has no such scale; it is drawn as its raw values.
  const double scale = largest > 0 ? double(blow.impactAmplitude()) / largest : 1.0;
  const float spacing = blow.stepMode() == 1 ? p.timeStep() * 2 : p.timeStep();
  // The times are summed in single precision, one spacing after another; the copied
  // chart data shows the small drift that gives, and users compare those texts.
  float x = blow.waveStart();
  std::vector<ChartPoint> points;
  points.reserve(kWaveSamples + 1);
  points.push_back({0.0, 0.0});
  points.push_back({double(x), values[0] * scale});
  bool ascending = x >= 0;
  for (int k = 1; k < kWaveSamples; ++k) {
    const float previous = x;
    x += spacing;
    ascending = ascending && x >= previous;
    points.push_back({double(x), values[k] * scale});
  }
  // A chart series keeps its points in ascending x, each new point placed after those
  // with the same x. Only a negative waveStart or timeStep (or a NaN) can break the
  // order the samples arrive in; NaN times go last.
  if (!ascending) {
    std::stable_sort(points.begin(), points.end(), [](const ChartPoint& l, const ChartPoint& r) {
      if (std::isnan(r.x)) return !std::isnan(l.x);
      return l.x < r.x;
    });
  }
  return points;
}

std::vector<BlowCurve> ChartCurves(const ProcessView& p, int a) {
  std::vector<BlowCurve> curves;
  const int blows = p.shownBlowCount();
  if (a <= 0) {
    curves.reserve(size_t(blows));
    // Gray blows first, so the normal ones are drawn over them.
    for (int pass = 0; pass < 2; ++pass) {
      const bool gray = pass == 0;
      for (int b = 0; b < blows; ++b) {
        if (p.blowMasked(b) == gray) curves.push_back({b, gray, BlowPoints(p, b)});
      }
    }
  } else if (a <= blows) {
    // A column without a blow (the empty column of a process without blows) draws
    // nothing rather than the meaningless bytes of an unused blow record.
    curves.push_back({a - 1, p.blowMasked(a - 1), BlowPoints(p, a - 1)});
  }
  return curves;
}

QStringList ChartTitle(int a, int language) {
  if (a <= 0) return {QString()};
  return {ImpactHeading(a, language)};
}

double LeftAxisHalfRange(std::span<const BlowCurve> curves) {
  // The zero line is on the same axis, so 0 is always within the range.
  double top = 0;
  double bottom = 0;
  for (const BlowCurve& c : curves) {
    for (const ChartPoint& pt : c.points) {
      top = std::max(top, pt.y);
      bottom = std::min(bottom, pt.y);
    }
  }
  return std::max(top, -bottom) * 1.05;
}

int FindWaveCut(std::span<const ChartPoint> points) {
  const int n = int(points.size());
  int negative = 5;
  while (negative < n && !(points[size_t(negative)].y < 0)) ++negative;
  if (negative >= n) return n;
  int back = negative + 5;
  while (back < n && !(points[size_t(back)].y >= 0)) ++back;
  return std::min(back, n);
}

// ---- Clipboard texts

QString TableText(const QList<QStringList>& rows) {
  qsizetype length = 0;
  for (const QStringList& row : rows) {
    for (const QString& cell : row) length += cell.size() + 1;
    length += 2;
  }
  QString text;
  text.reserve(length);
  for (const QStringList& row : rows) AppendTableRow(text, row);
  return text;
}

void AppendTableRow(QString& text, std::span<const QString> cells) {
  for (size_t c = 0; c < cells.size(); ++c) {
    if (c > 0) text += kTab;
    text += cells[c];
  }
  text += kCrLf;
}

QString ChartDataText(std::span<const QString> heading, std::span<const QString> row,
                      const std::array<QString, 5>& coefficients, const QStringList& title,
                      std::span<const std::vector<ChartPoint>> series, int language) {
  if (series.empty() || series[0].empty()) return {};
  // Columns 0..5 of table 1.
  auto appendCells = [](QString& out, std::span<const QString> cells) {
    AppendTableRow(out, cells.first(std::min<size_t>(cells.size(), 6)));
  };
  const QStringView nth = txtNthImpact.In(language);

  // Series that hold points, counted from Series1 up to the first empty one.
  size_t shown = 1;
  while (shown < series.size() && shown < size_t(kMaxBlows) && !series[shown].empty()) ++shown;

  QString text;
  text.reserve(qsizetype(series[0].size() * shown * 14 + 512));
  appendCells(text, heading);
  appendCells(text, row);
  text += coefficients[0];
  text += u": ";
  for (int c = 1; c < 5; ++c) {
    if (c > 1) text += u", ";
    text += coefficients[size_t(c)];
  }
  text += kCrLf;
  text += kCrLf;

  // Curve headings: the chart title (one-blow view), or "1-й удар" when the title is the
  // single empty line of the all-blows view; then the other series.
  QString headings;
  for (const QString& line : title) {
    headings += line;
    headings += kCrLf;
  }
  if (headings.size() < 3) {
    headings = QStringLiteral("1");
    headings += nth;
  }
  text += headings;
  for (size_t k = 2; k <= shown; ++k) {
    text += kTab;
    text += kTab;
    text += QString::number(k);
    text += nth;
  }
  text += kCrLf;

  text += u"t1\tU1";
  for (size_t k = 2; k <= shown; ++k) {
    text += u"\tt";
    text += QString::number(k);
    text += u"\tU";
    text += QString::number(k);
  }
  text += kCrLf;

  // One line per point of Series1; a later series that was trimmed shorter gives empty
  // fields where it has no point.
  for (size_t j = 0; j < series[0].size(); ++j) {
    for (size_t k = 0; k < shown; ++k) {
      if (k > 0) text += kTab;
      if (j < series[k].size()) {
        AppendNumber(text, series[k][j].x, NumberPattern::Hundredths);
        text += kTab;
        AppendNumber(text, series[k][j].y, NumberPattern::Hundredths);
      } else {
        text += kTab;
      }
    }
    text += kCrLf;
  }
  return text;
}

}  // namespace zarn
