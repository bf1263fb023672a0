#pragma once
// A small band report: a page template of bands (a title once on page 1, a page header
// on every page, one master-data band per record, a page footer) whose cells hold fixed
// texts or fields, prepared into pages of cells with their rectangles in millimetres.
// Everything the user sees of a report (preview, print, PDF and the other exports) is
// drawn from the prepared pages, so all of them agree.

#include <QColor>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace zarn {

// Page size and margins, in millimetres.
struct PageGeometry {
  double width = 210;
  double height = 297;
  double left = 20;
  double right = 5;
  double top = 5;
  double bottom = 10;
  double PrintableWidth() const { return width - left - right; }
  friend bool operator==(const PageGeometry&, const PageGeometry&) = default;
};

// How a cell's text sits in it across; it is always centred upright.
enum class CellAlign : uint8_t { Centre, Left, Right };

// One cell of a band. Its text is `field`'s value when `field` is set, else `text`,
// in which "[Page#]" stands for the page number.
struct ReportCellTemplate {
  double width = 0;  // mm; the cells of a band follow each other from the left margin
  QString text;
  QString field;
  double fontPt = 10;
  bool frame = false;   // a thin black line on all four sides
  bool number = false;  // holds a number text (spreadsheets get it as a number)
  CellAlign align = CellAlign::Centre;
};

struct ReportBandTemplate {
  double height = 0;  // mm
  std::vector<ReportCellTemplate> cells;
};

struct ReportTemplate {
  PageGeometry page;
  QString fontFamily;
  ReportBandTemplate title;       // once, at the top of page 1
  ReportBandTemplate pageHeader;  // at the top of every page, below the title on page 1
  ReportBandTemplate masterData;  // once per record
  ReportBandTemplate pageFooter;  // at the bottom of every page but the first
};

// The record source of the master-data band. The preparation calls `first` once, then
// before every record `checkEof` (which may set the flag; it starts false and stays
// true once set), fills the band with `RecNo` as the current record and moves on.
struct ReportRowSource {
  int RecNo = 0;
  int recordCount = -1;  // informative: what `first` found (-1: not told)
  std::function<void()> first;
  std::function<void(bool& eof)> checkEof;
};

// Asked for every field of every band as it is printed; a value not set prints empty.
using ReportFieldValue = std::function<void(const QString& name, QString& value)>;

// The width of `text` in mm at `fontPt`; used to shrink texts too wide for their cell.
using TextWidthMm = std::function<double(const QString& text, double fontPt)>;

// Title, PageHeader, MasterData and PageFooter are the bands of a list of records;
// a page of another kind (a series sheet) has Body bands, rows of cells one below the
// other, and Free cells placed anywhere (a chart's labels).
enum class BandKind : uint8_t { Title, PageHeader, MasterData, PageFooter, Body, Free };
inline constexpr int kBandKinds = 6;

struct PreparedCell {
  QRectF rect;  // mm from the page's top left corner
  QString text;
  float fontPt = 10;
  bool frame = false;
  bool number = false;
  CellAlign align = CellAlign::Centre;
};

// A line through points (mm from the page's top left corner), drawn with round joins:
// a chart's curves, axes and ticks.
struct PreparedLine {
  struct Point {
    float x;
    float y;
  };
  std::vector<Point> points;
  QRgb colour = 0xFF000000;  // opaque black
  float widthMm = 0.2f;
};

// The cells cells[first .. first + count) of a page belong to one band.
struct PreparedBand {
  BandKind kind;
  int first;
  int count;
};

struct PreparedPage {
  std::vector<PreparedCell> cells;
  std::vector<PreparedBand> bands;
  std::vector<PreparedLine> lines;  // drawn before the frames and texts
};

struct PreparedReport {
  PageGeometry page;
  QString fontFamily;
  std::vector<PreparedPage> pages;
};

// Lays the template out page by page. Texts wider than their cell are shrunk, to at
// least kMinFontPt (and clipped when painted if even that is too wide).
inline constexpr double kMinFontPt = 6;
inline constexpr double kCellPaddingMm = 0.5;
PreparedReport PrepareReport(const ReportTemplate& layout, ReportRowSource& rows,
                             const ReportFieldValue& fieldValue, const TextWidthMm& textWidth);
// The size a text is set in within a cell `widthMm` wide: `fontPt`, or the largest
// quarter point below it (at least `minPt`) at which it fits.
double FittedFontPt(const QString& text, double widthMm, double fontPt, const TextWidthMm& textWidth,
                    double minPt = kMinFontPt);

// Every cell whose text holds `text` (case ignored), page by page in reading order.
struct ReportHit {
  int page;
  int cell;
  friend bool operator==(const ReportHit&, const ReportHit&) = default;
};
std::vector<ReportHit> FindInReport(const PreparedReport& report, const QString& text);

// A text width function measuring with the font family's metrics (needs a
// QGuiApplication). Results are cached per text.
TextWidthMm FontTextWidth(const QString& family);

}  // namespace zarn
