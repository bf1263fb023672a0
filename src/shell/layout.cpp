#include "layout.h"

#include <QSize>
#include <algorithm>
#include <cmath>
#include <limits>

namespace zarn {

std::vector<int> SeriesColumnWidths(int gridWidth, int gridHeight, int rowCount, int rowHeight,
                                    int columnCount) {
  std::vector<int> widths(size_t(std::max(0, columnCount)));
  int available = gridWidth - 10;
  if (int64_t(rowCount) * (rowHeight + 1) >= int64_t(gridHeight) - 2) available -= kScrollBarWidth;
  // The unit and the running position are single-precision values: the widths come
  // out exactly as the column arithmetic defines them.
  const float unit = float(double(available) / 9.2);
  float position = 0.5f;
  int used = 0;
  for (size_t k = 0; k < widths.size(); ++k) {
    const float weight = k < kColumnWeights.size() ? kColumnWeights[k] : kOtherColumnWeight;
    position = float(double(position) + double(unit) * double(weight));
    widths[k] = int(std::trunc(double(position) - double(used)));
    used += widths[k];
  }
  return widths;
}

int SeriesTableMinWidth(int numberWidth, int floor, int gridHeight, int rowCount, int rowHeight,
                        int columnCount) {
  // Column 0 grows with the table's width (by 0.6 / 9.2 of it): the first width at
  // which it is wide enough, found from a little below the estimate upward.
  constexpr int kLimit = 1 << 16;
  int width = std::max(floor, int(double(numberWidth) * 9.2 / double(kColumnWeights[0])) - 20);
  width = std::min(width, kLimit);
  for (; width < kLimit; ++width) {
    const std::vector<int> widths = SeriesColumnWidths(width, gridHeight, rowCount, rowHeight, columnCount);
    if (widths.empty() || widths[0] >= numberWidth) break;
  }
  return std::max(width, floor);
}

std::vector<int> ImpactColumnWidths(int gridWidth, int splitterWidth, int columnCount) {
  std::vector<int> widths(size_t(std::max(0, columnCount)));
  if (widths.empty()) return widths;
  widths[0] = kLabelColumnWidth;
  if (columnCount < 2) return widths;  // no blow column to share the width
  const int available = gridWidth - kLabelColumnWidth - splitterWidth;
  const float unit = float(double(available) / double(columnCount - 1) - 1.0);
  float position = float(kLabelColumnWidth);
  int used = kLabelColumnWidth;
  for (int k = 1; k < columnCount; ++k) {
    position = float(double(position) + double(unit));
    widths[size_t(k)] = int(std::trunc(double(position) - double(used)));
    used += widths[size_t(k)];
  }
  return widths;
}

Table2Height ImpactsTableHeight(int rows, int rowHeight, int frame, int gridWidth,
                                int columnsWidth, int scrollBarHeight) {
  Table2Height h;
  h.height = rows * (rowHeight + 1) + 2 * frame;
  h.scrollBar = columnsWidth > gridWidth - 2 * frame;
  if (h.scrollBar) h.height += scrollBarHeight;
  return h;
}

std::array<int, 5> KoefColumnWidths(int gridWidth, int labelWidth) {
  const int rest = gridWidth - labelWidth;
  std::array<int, 5> w{};
  w[0] = labelWidth;
  w[1] = int(std::trunc(rest * 0.25));
  w[2] = int(std::trunc((rest - w[1]) / 3.0));
  w[3] = int(std::trunc((rest - w[1] - w[2]) * 0.5));
  w[4] = int(std::trunc(double(rest - w[1] - w[2] - w[3] - 8)));
  return w;
}

std::optional<QRect> RememberedWindowPlace(const StoredWindow& stored) {
  if (!stored.left || !stored.top || !stored.width || !stored.height) return std::nullopt;
  return QRect(*stored.left, *stored.top, std::max(1, *stored.width), std::max(1, *stored.height));
}

WindowPlacement PlaceWindowFromSettings(const StoredWindow& stored, const QRect& screen,
                                        QSize minimum, int table1MinWidth) {
  const int screenWidth = screen.width();
  const int screenHeight = screen.height();
  WindowPlacement p;

  p.width = stored.width.value_or(500);
  if (screenWidth < p.width) p.width = screenWidth;
  p.width = std::max(p.width, minimum.width());

  p.height = stored.height.value_or(400);
  if (screenHeight < p.height) p.height = screenHeight;
  p.height = std::max(p.height, minimum.height());

  p.table1Width = stored.table1Width.value_or(p.width / 2);
  if (p.table1Width > p.width) p.table1Width = p.width;
  p.table1Width = std::max(p.table1Width, table1MinWidth);

  int left = stored.left.value_or((screenWidth - p.width) / 2 + screen.x());
  left -= screen.x();
  if (screenWidth - p.width < left)
    left = screenWidth - p.width;
  else if (left < 0)
    left = 0;
  p.left = left + screen.x();

  int top = stored.top.value_or((screenHeight - p.height) / 2 + screen.y());
  top -= screen.y();
  // A window that would reach below the screen goes up 25 pixels more than the
  // bottom edge needs (room for a task bar).
  if (screenHeight - p.height < top)
    top = screenHeight - p.height - 25;
  else if (top < 0)
    top = 0;
  p.top = top + screen.y();

  p.maximized = stored.maximized;
  return p;
}

}  // namespace zarn
