#pragma once
// The prepared pages as a word processor lays them out (the ODT, RTF and HTML exports):
// on every page the bands one below the other as table rows, consecutive rows of the
// same columns in one table (a column-heading band is its table's heading row), the
// room above each table, and what sits anywhere on the page (free cells, lines). A
// report whose page footers are only the page number ("- N -" from page 2) has them
// as the document's page footer instead.

#include <QString>
#include <vector>

#include "report/reportengine.h"

namespace zarn {

struct FlowTable {
  double gapBefore = 0;  // mm of room between the previous table (or the top margin) and this one
  double left = 0;       // mm from the page's left edge
  std::vector<double> widths;
  std::vector<const PreparedBand*> rows;
  int headerRows = 0;
};

struct FlowPage {
  std::vector<FlowTable> tables;
  std::vector<const PreparedCell*> freeCells;
  const PreparedPage* page = nullptr;
};

struct FlowDocument {
  std::vector<FlowPage> pages;
  // The page-number footer, when the report has one: its text before and after the
  // number, its height and size, and whether page 1 has it too.
  bool pageNumberFooter = false;
  QString footerBefore;
  QString footerAfter;
  double footerHeight = 0;
  float footerPt = 10;
  bool footerOnFirstPage = false;
};

FlowDocument FlowOf(const PreparedReport& report);

// The height of a line of text of `fontPt` in the report's font (its ascent and
// descent), in mm.
double LineHeightMm(double fontPt);

}  // namespace zarn
