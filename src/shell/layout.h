#pragma once
// The main window's arithmetic, apart from the widgets: the column widths of the three
// grids and the window's place from the settings, clamped to the screen.

#include <QRect>
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "common/programsettings.h"

namespace zarn {

// Series table: its width is spread over the columns by these weights (they sum to
// 9.2 for the nine columns; any further column weighs 0.75).
inline constexpr std::array<float, 6> kColumnWeights = {0.6f, 1.0f, 1.1f, 0.75f, 2.0f, 1.5f};
inline constexpr float kOtherColumnWeight = 0.75f;
inline constexpr int kScrollBarWidth = 16;

// The widths of the series table's columns. The vertical scroll bar takes its room
// when the rows (each rowHeight plus its grid line) do not fit into the grid's height.
std::vector<int> SeriesColumnWidths(int gridWidth, int gridHeight, int rowCount, int rowHeight,
                                    int columnCount);

// The narrowest series table whose number column (column 0) is at least `numberWidth`
// wide, at least `floor` wide.
int SeriesTableMinWidth(int numberWidth, int floor, int gridHeight, int rowCount, int rowHeight,
                        int columnCount);

// The impacts table: column 0 is kLabelColumnWidth wide, the blow columns share the
// rest of the table's width.
inline constexpr int kLabelColumnWidth = 140;
std::vector<int> ImpactColumnWidths(int gridWidth, int splitterWidth, int columnCount);

// The impacts table's height: its rows (each rowHeight plus its grid line) and frame,
// and, when its columns are wider together than the room inside the frame, the
// horizontal scroll bar under them, so that the last row (Strength) stays in sight.
struct Table2Height {
  int height = 0;
  bool scrollBar = false;
};
Table2Height ImpactsTableHeight(int rows, int rowHeight, int frame, int gridWidth,
                                int columnsWidth, int scrollBarHeight);

// The coefficient strip: column 0 as wide as table 2's label column, the other four
// share the rest.
std::array<int, 5> KoefColumnWidths(int gridWidth, int labelWidth);

// The window's place at its last normal close, when all four of Left, Top, Width and
// Height are stored.
std::optional<QRect> RememberedWindowPlace(const StoredWindow& stored);

// Where the window goes at start, from its stored place (a missing value takes its
// default), clamped to the screen.
struct WindowPlacement {
  int width = 0;
  int height = 0;
  int table1Width = 0;
  int left = 0;  // absolute, within `screen`
  int top = 0;
  bool maximized = false;
};
// `minimum` is the window's minimum size, applied to the width and height as they are
// read (the series table's default width is half the width the window really gets).
WindowPlacement PlaceWindowFromSettings(const StoredWindow& stored, const QRect& screen,
                                        QSize minimum, int table1MinWidth);

}  // namespace zarn
