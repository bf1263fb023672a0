#pragma once
// Series sheets: a page for each chosen series with its header (number, date, time,
// material, object, direction, strength, variation, range, blows), table 2, the
// material coefficients and the chart of its blows drawn as vector lines (masked blows
// gray beneath the others, as the window's chart shows them), and at the foot what the
// sheet came from, the program's version and when it was printed. The pages are
// prepared like the series report's, so the preview, printing and every export take
// them as they are.

#include <QDateTime>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "common/units.h"
#include "data/process.h"
#include "report/reportengine.h"

namespace zarn {

// Where the sheets' series came from, for the foot of every sheet.
struct SheetSource {
  QString dataFile;        // the data file's name; empty: read from the instrument
  QString instrument;      // the instrument's version text (when not from a file)
  QString origin;          // neither: what else they came from (the lab archive), as told
  QString programVersion;  // "1.5.3"
  QDateTime printed;       // invalid: now
};

// The three texts at the foot of a sheet.
struct SheetFoot {
  QString from;
  QString program;
  QString printed;
};

class SeriesSheets {
 public:
  // One sheet per record, in the order given.
  SeriesSheets(std::vector<ProcessRecordBuffer> records, int language, StrengthUnit unit,
               SheetSource source);

  int SheetCount() const { return int(records_.size()); }
  // The pages (A4 portrait with the report's margins by default); the texts are
  // measured in the report's font.
  PreparedReport Prepare(const PageGeometry& page = {}) const;

  // The pen of the chart's curves, and how far (mm) a curve may stray from its points
  // when points that add nothing visible are left out.
  static constexpr float kCurveMm = 0.25f;
  static constexpr double kCurveToleranceMm = 0.02;

 private:
  void AddSheet(PreparedPage& page, const PageGeometry& g, const ProcessView& p,
                const TextWidthMm& width, const SheetFoot& foot) const;

  std::vector<ProcessRecordBuffer> records_;
  int language_;
  StrengthUnit unit_;
  SheetSource source_;
};

// The points of a curve (in mm) that are needed to draw it within `tolerance` mm of
// every point: the ends, and each point farther than that from the line the kept ones
// draw (Douglas-Peucker). Non-finite points must not be given.
std::vector<PreparedLine::Point> SimplifiedCurve(std::vector<PreparedLine::Point> points,
                                                 double tolerance);

// "5,7-9,12" as series numbers: single numbers and ranges N-M (N <= M), separated by
// commas, blanks allowed around them. Nothing (with `error` the reason) when the text
// is not such a list.
using SeriesRanges = std::vector<std::pair<uint32_t, uint32_t>>;
std::optional<SeriesRanges> ParseSeriesList(const QString& text, QString& error);
bool InSeriesRanges(const SeriesRanges& ranges, uint32_t number);

}  // namespace zarn
