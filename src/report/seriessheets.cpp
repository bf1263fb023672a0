#include "seriessheets.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/texts.h"
#include "data/chartticks.h"
#include "data/presenters.h"
#include "report/flowlayout.h"
#include "report/seriesreport.h"

namespace zarn {
namespace {

const TextPair txtSheetTitle{u"Лист серии № %1", u"Series sheet No. %1"};
const TextPair txtSheetFromFile{u"Файл данных: %1", u"Data file: %1"};
const TextPair txtSheetFromInstrument{u"Прибор: %1", u"Instrument: %1"};
const TextPair txtSheetPrinted{u"Напечатано: %1", u"Printed: %1"};

// The sheet, in mm from the top margin down: the title, the header (five rows of two
// label-value pairs), table 2, the coefficients, the chart, and the foot on the bottom
// margin.
constexpr double kTitleHeight = 12;
constexpr double kTitlePt = 14;
constexpr double kHeaderRow = 6;
constexpr double kTableRow = 5;
constexpr double kTableLabelWidth = 38;
constexpr double kCoefficientRow = 6;
constexpr double kCoefficientLabelWidth = 45;
constexpr double kFootHeight = 6;
constexpr double kCellPt = 10;
constexpr double kTablePt = 8;
constexpr double kSmallPt = 8;
constexpr double kTickPt = 7;
constexpr double kHeadingMinPt = 4.5;
constexpr double kGap = 3;
// The chart's plot inside its room: the left axis' labels to its left, the bottom
// axis' below it.
constexpr double kLeftLabels = 14;
constexpr double kBottomLabels = 6;
constexpr double kTickMm = 1;
// Table 2 has room for the 15 blows a record holds.
constexpr int kBlowColumns = 15;

constexpr QRgb Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }
constexpr QRgb kGridColour = 0xFFD9D9D9;

bool Finite(const ChartPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

class SheetBuilder {
 public:
  SheetBuilder(PreparedPage& page, const TextWidthMm& width) : page_(page), width_(width) {}

  struct Cell {
    double width;
    QString text;
    double pt = kCellPt;
    bool frame = true;
    CellAlign align = CellAlign::Centre;
    bool number = false;
    double minPt = kMinFontPt;
  };

  // One band of cells side by side from `left`, `top`.
  void Band(BandKind kind, double left, double top, double height, std::vector<Cell> cells) {
    page_.bands.push_back({kind, int(page_.cells.size()), int(cells.size())});
    double x = left;
    for (Cell& c : cells) {
      PreparedCell out;
      out.rect = QRectF(x, top, c.width, height);
      out.fontPt = float(FittedFontPt(c.text, c.width, c.pt, width_, c.minPt));
      out.text = std::move(c.text);
      out.frame = c.frame;
      out.number = c.number;
      out.align = c.align;
      page_.cells.push_back(std::move(out));
      x += c.width;
    }
  }

  // Labels placed anywhere (the axes' numbers), as one Free band.
  void FreeCells(std::vector<PreparedCell> cells) {
    if (cells.empty()) return;
    page_.bands.push_back({BandKind::Free, int(page_.cells.size()), int(cells.size())});
    for (PreparedCell& c : cells) page_.cells.push_back(std::move(c));
  }

  void Line(std::vector<PreparedLine::Point> points, QRgb colour, float widthMm) {
    if (points.size() < 2) return;
    page_.lines.push_back({std::move(points), colour, widthMm});
  }

 private:
  PreparedPage& page_;
  const TextWidthMm& width_;
};

QString HeadingWithUnit(const SeriesRow& top, const SeriesRow& unit, int column) {
  return unit[size_t(column)].isEmpty() ? top[size_t(column)]
                                        : top[size_t(column)] + QStringLiteral(", ") + unit[size_t(column)];
}

// The direction of the series' blows (table 2's direction row): the one they share,
// else every one they have.
QString DirectionsText(const QStringList& directionRow) {
  QStringList seen;
  for (qsizetype c = 1; c < directionRow.size(); ++c) {
    if (!directionRow[c].isEmpty() && !seen.contains(directionRow[c])) seen.append(directionRow[c]);
  }
  return seen.join(QStringLiteral(", "));
}

}  // namespace

std::vector<PreparedLine::Point> SimplifiedCurve(std::vector<PreparedLine::Point> points,
                                                 double tolerance) {
  const size_t n = points.size();
  if (n <= 2) return points;
  std::vector<bool> keep(n, false);
  keep.front() = keep.back() = true;
  std::vector<std::pair<size_t, size_t>> spans{{0, n - 1}};
  const double limit = tolerance * tolerance;
  while (!spans.empty()) {
    const auto [a, b] = spans.back();
    spans.pop_back();
    if (b <= a + 1) continue;
    const double ax = points[a].x, ay = points[a].y;
    const double dx = points[b].x - ax, dy = points[b].y - ay;
    const double length2 = dx * dx + dy * dy;
    double farthest = -1;
    size_t at = a;
    for (size_t i = a + 1; i < b; ++i) {
      const double px = points[i].x - ax, py = points[i].y - ay;
      double d2;
      if (length2 <= 0) {
        d2 = px * px + py * py;
      } else {
        // The distance from the segment a-b (not its line: a curve may turn back).
        const double t = std::clamp((px * dx + py * dy) / length2, 0.0, 1.0);
        const double ex = px - t * dx, ey = py - t * dy;
        d2 = ex * ex + ey * ey;
      }
      if (d2 > farthest) {
        farthest = d2;
        at = i;
      }
    }
    if (farthest > limit) {
      keep[at] = true;
      spans.push_back({a, at});
      spans.push_back({at, b});
    }
  }
  std::vector<PreparedLine::Point> out;
  out.reserve(size_t(std::count(keep.begin(), keep.end(), true)));
  for (size_t i = 0; i < n; ++i)
    if (keep[i]) out.push_back(points[i]);
  return out;
}

std::optional<SeriesRanges> ParseSeriesList(const QString& text, QString& error) {
  SeriesRanges ranges;
  auto number = [&error](QStringView part, uint32_t& out) {
    bool ok = false;
    const qulonglong v = part.trimmed().toULongLong(&ok);
    if (!ok || v > 9999 || part.trimmed().startsWith(u'+')) {
      error = part.trimmed().isEmpty()
                  ? QStringLiteral("a number is missing")
                  : QStringLiteral("\"%1\" is not a series number (0 to 9999)").arg(part.trimmed());
      return false;
    }
    out = uint32_t(v);
    return true;
  };
  if (text.trimmed().isEmpty()) {
    error = QStringLiteral("no series given");
    return std::nullopt;
  }
  for (QStringView item : QStringView(text).split(u',')) {
    const qsizetype dash = item.indexOf(u'-');
    uint32_t from = 0, to = 0;
    if (dash < 0) {
      if (!number(item, from)) return std::nullopt;
      to = from;
    } else {
      if (!number(item.left(dash), from) || !number(item.mid(dash + 1), to)) {
        if (item.mid(dash + 1).contains(u'-')) error = QStringLiteral("\"%1\" is not a range N-M").arg(item.trimmed());
        return std::nullopt;
      }
      if (from > to) {
        error = QStringLiteral("the range %1 runs backwards (write %2-%3)")
                    .arg(item.trimmed().toString())
                    .arg(to)
                    .arg(from);
        return std::nullopt;
      }
    }
    ranges.emplace_back(from, to);
  }
  return ranges;
}

bool InSeriesRanges(const SeriesRanges& ranges, uint32_t number) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [number](const auto& r) { return number >= r.first && number <= r.second; });
}

SeriesSheets::SeriesSheets(std::vector<ProcessRecordBuffer> records, int language, StrengthUnit unit,
                           SheetSource source)
    : records_(std::move(records)), language_(language), unit_(unit), source_(std::move(source)) {}

PreparedReport SeriesSheets::Prepare(const PageGeometry& page) const {
  PreparedReport report;
  report.page = page;
  report.fontFamily = SeriesReport::FontFamily();
  const TextWidthMm width = FontTextWidth(report.fontFamily);
  const int l = language_;
  const QDateTime printed = source_.printed.isValid() ? source_.printed : QDateTime::currentDateTime();
  // Series that came from neither say what they came from, when told.
  const QString from = !source_.dataFile.isEmpty() ? txtSheetFromFile.Str(l).arg(source_.dataFile)
                       : !source_.instrument.trimmed().isEmpty()
                           ? txtSheetFromInstrument.Str(l).arg(source_.instrument.trimmed())
                           : source_.origin;
  // The foot: where the series came from, the program and its version, when printed.
  const SheetFoot foot{from, txtAppTitle.Str(l) + u' ' + source_.programVersion,
                       txtSheetPrinted.Str(l).arg(printed.toString(QStringLiteral("dd.MM.yyyy HH:mm")))};
  report.pages.reserve(records_.size());
  for (const ProcessRecordBuffer& record : records_) {
    report.pages.emplace_back();
    AddSheet(report.pages.back(), page, ProcessView(record.data()), width, foot);
  }
  return report;
}

void SeriesSheets::AddSheet(PreparedPage& page, const PageGeometry& g, const ProcessView& p,
                            const TextWidthMm& width, const SheetFoot& foot) const {
  const int l = language_;
  const double x0 = g.left;
  const double w = g.PrintableWidth();
  SheetBuilder b(page, width);
  using Cell = SheetBuilder::Cell;
  double y = g.top;

  SeriesRow row;
  FillSeriesRow(p, unit_, row);
  b.Band(BandKind::Title, x0, y, kTitleHeight, {{w, txtSheetTitle.Str(l).arg(row[0]), kTitlePt, false}});
  y += kTitleHeight + kGap;

  const QList<QStringList> impacts = ImpactsTable(p, l, unit_);
  // The header: what table 1 shows of the series, and the direction of its blows.
  const SeriesRow top = SeriesTableHeading(0, l, unit_);
  const SeriesRow unit = SeriesTableHeading(1, l, unit_);
  struct Item {
    QString label;
    QString value;
    bool number;
  };
  const Item items[10] = {
      {top[0], row[0], true},
      {top[1], row[1], false},
      {top[2], row[2], false},
      {top[4], row[4], false},
      {top[5], row[5], false},
      {txtDirection.Str(l), DirectionsText(impacts.value(1)), false},
      {HeadingWithUnit(top, unit, 3), row[3], true},
      {kVariationHeading.Str(l), row[6], true},
      {HeadingWithUnit(top, unit, 7), row[7], true},
      {top[8], row[8], true},
  };
  const double labelW = w * 0.2;
  const double valueW = w / 2 - labelW;
  for (int r = 0; r < 5; ++r) {
    std::vector<Cell> cells;
    for (int c = 0; c < 2; ++c) {
      // Down the left pair first, then the right one.
      const Item& it = items[c * 5 + r];
      cells.push_back({labelW, it.label, kCellPt, true, CellAlign::Left});
      cells.push_back({valueW, it.value, kCellPt, true, CellAlign::Left,
                       it.number && IsNumberText(it.value)});
    }
    b.Band(BandKind::Body, x0, y, kHeaderRow, std::move(cells));
    y += kHeaderRow;
  }
  y += kGap;

  // Table 2 as the window shows it.
  const double blowW = (w - kTableLabelWidth) / kBlowColumns;
  for (int r = 0; r < impacts.size(); ++r) {
    std::vector<Cell> cells;
    const QStringList& line = impacts[r];
    for (int c = 0; c < line.size(); ++c) {
      const bool isNumber = r >= 2 && c >= 1 && IsNumberText(line[c]);
      // The blows' headings ("12-st impact") share a narrow column: they may go smaller.
      cells.push_back({c == 0 ? kTableLabelWidth : blowW, line[c], kTablePt, true,
                       c == 0 ? CellAlign::Left : CellAlign::Centre, isNumber,
                       r == 0 && c > 0 ? kHeadingMinPt : kMinFontPt});
    }
    b.Band(BandKind::Body, x0, y, kTableRow, std::move(cells));
    y += kTableRow;
  }
  y += kGap;

  const std::array<QString, 5> coefficients = CoefficientRow(p, l);
  {
    std::vector<Cell> cells;
    const double each = (w - kCoefficientLabelWidth) / 4;
    for (int c = 0; c < 5; ++c)
      cells.push_back({c == 0 ? kCoefficientLabelWidth : each, coefficients[size_t(c)], kTablePt, true,
                       c == 0 ? CellAlign::Left : CellAlign::Centre});
    b.Band(BandKind::Body, x0, y, kCoefficientRow, std::move(cells));
    y += kCoefficientRow;
  }
  y += kGap;

  // The foot, on the bottom margin.
  const double footTop = g.height - g.bottom - kFootHeight;
  {
    b.Band(BandKind::Body, x0, footTop, kFootHeight,
           {{w * 0.45, foot.from, kSmallPt, false, CellAlign::Left},
            {w * 0.2, foot.program, kSmallPt, false, CellAlign::Centre},
            {w * 0.35, foot.printed, kSmallPt, false, CellAlign::Right}});
  }

  // ---- The chart: the view of all blows, with the window chart's ranges and colours.
  const QRectF plot(QPointF(x0 + kLeftLabels, y + 2), QPointF(x0 + w - 4, footTop - kGap - kBottomLabels));
  if (plot.width() < 10 || plot.height() < 10) return;  // a page set up too small for a chart
  const std::vector<BlowCurve> curves = ChartCurves(p, 0);
  double xLo = 0, xHi = 0;  // the zero line starts at 0, so 0 is always on the axis
  double dataHi = -std::numeric_limits<double>::infinity();
  for (const BlowCurve& c : curves) {
    for (const ChartPoint& pt : c.points) {
      if (!std::isfinite(pt.x)) continue;
      xLo = std::min(xLo, pt.x);
      xHi = std::max(xHi, pt.x);
      dataHi = std::max(dataHi, pt.x);
    }
  }
  if (xHi - xLo <= 0) xHi = xLo + 1;
  const double m = LeftAxisHalfRange(curves);
  const double yHalf = std::isfinite(m) && m > 0 ? m : 1.0;
  auto at = [&](double x, double v) {
    return PreparedLine::Point{float(plot.left() + (x - xLo) / (xHi - xLo) * plot.width()),
                               float(plot.bottom() - (v + yHalf) / (2 * yHalf) * plot.height())};
  };

  // Ticks as the window's chart chooses them, in tenths of a millimetre for its pixels.
  const double labelMm = width(QStringLiteral("000,0"), kTickPt) + 4;
  const double lineMm = LineHeightMm(kTickPt);
  const double stepX = TickStep(xLo, xHi, int(plot.width() * 10), int(labelMm * 10), 2, 0.1);
  const double stepY = TickStep(-yHalf, yHalf, int(plot.height() * 10), int(2 * lineMm * 10), 3);
  QLocale numbers(QLocale::Russian, QLocale::Russia);
  numbers.setNumberOptions(QLocale::OmitGroupSeparator);
  std::vector<PreparedCell> labels;
  auto label = [&](QRectF rect, double value, int decimals, CellAlign align) {
    PreparedCell c;
    c.rect = rect;
    c.text = numbers.toString(value, 'f', decimals);
    c.fontPt = float(FittedFontPt(c.text, rect.width(), kTickPt, width));
    c.align = align;
    c.number = true;
    labels.push_back(std::move(c));
  };
  const int decimalsX = TickDecimals(stepX);
  for (double t : TickValues(xLo, xHi, stepX)) {
    const PreparedLine::Point a = at(t, -yHalf), upper = at(t, yHalf);
    b.Line({upper, a}, kGridColour, 0.1f);
    b.Line({a, {a.x, float(a.y + kTickMm)}}, 0xFF000000, 0.15f);
    label(QRectF(a.x - 8, plot.bottom() + kTickMm, 16, kBottomLabels - kTickMm), t, decimalsX, CellAlign::Centre);
  }
  const int decimalsY = TickDecimals(stepY);
  for (double t : TickValues(-yHalf, yHalf, stepY)) {
    const PreparedLine::Point a = at(xLo, t), right = at(xHi, t);
    b.Line({a, right}, kGridColour, 0.1f);
    b.Line({{float(a.x - kTickMm), a.y}, a}, 0xFF000000, 0.15f);
    label(QRectF(x0, a.y - lineMm, kLeftLabels - kTickMm - 0.5, 2 * lineMm), t, decimalsY, CellAlign::Right);
  }
  b.FreeCells(std::move(labels));

  // The curves, gray ones first; a non-finite point breaks its curve.
  for (const BlowCurve& c : curves) {
    const QRgb colour = Opaque(c.gray ? kChartMaskedRgb : kChartBlowRgb);
    std::vector<PreparedLine::Point> run;
    run.reserve(c.points.size());
    auto flush = [&] {
      if (run.size() >= 2) b.Line(SimplifiedCurve(std::move(run), kCurveToleranceMm), colour, kCurveMm);
      run.clear();
    };
    for (const ChartPoint& pt : c.points) {
      if (Finite(pt)) run.push_back(at(pt.x, pt.y));
      else flush();
    }
    flush();
  }
  // The zero line from 0 to the largest x, over the curves, and the plot's frame.
  b.Line({at(0, 0), at(std::isfinite(dataHi) ? dataHi : 0.0, 0)}, Opaque(kChartZeroRgb), 0.2f);
  const PreparedLine::Point tl{float(plot.left()), float(plot.top())}, br{float(plot.right()), float(plot.bottom())};
  b.Line({tl, {br.x, tl.y}, br, {tl.x, br.y}, tl}, 0xFF000000, 0.2f);
}

}  // namespace zarn
