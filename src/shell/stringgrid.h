#pragma once
// TStringGrid: a grid of text cells addressed as Cells(col, row), with fixed rows and
// columns that stay in place while the rest scrolls, a current cell (Col, Row), a
// selection rectangle, whole-row and Shift-range selection, and column sizing by
// dragging a column edge in a fixed row. Built on QTableView over a flat list of
// QStrings; the fixed rows and columns are narrow views of the same model laid over
// the edges of the main view.
//
// Widths and heights are those of the cells without their grid line: a column of
// width w takes w + 1 pixels on screen.
//
// A text wider than its cell is never shown cut as if it were whole: it ends in "…",
// and hovering over the cell shows it whole.

#include <QFontMetrics>
#include <QPersistentModelIndex>
#include <QTableView>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <span>

namespace zarn {

class GridModel;
class GridDelegate;
class FixedView;

// A cell range; all four -1 means no selection.
// `text` as a cell `width` pixels wide (its padding taken off) shows it in `metrics`:
// whole, or cut at the end with "…".
QString FitCellText(const QString& text, const QFontMetrics& metrics, int width);

struct GridRect {
  int left = -1;
  int top = -1;
  int right = -1;
  int bottom = -1;
  bool IsNone() const { return left < 0 || top < 0 || right < 0 || bottom < 0; }
  friend bool operator==(const GridRect&, const GridRect&) = default;
};

class TStringGrid : public QTableView {
  Q_OBJECT

 public:
  static constexpr int kGridLineWidth = 1;
  // A cell's text starts two pixels in from its left edge and keeps one from its right.
  static constexpr int kTextPadding = 3;

  explicit TStringGrid(QWidget* parent = nullptr);
  ~TStringGrid() override;

  // ---- Cells.
  QString Cells(int col, int row) const;  // empty outside the grid
  void SetCells(int col, int row, const QString& text);
  // Writes cells (firstCol + i, row) from `texts`, as far as the grid reaches.
  void SetRowCells(int row, int firstCol, std::span<const QString> texts);
  // The same, exchanging: `texts` gets the cells' earlier texts back.
  void TakeRowCells(int row, int firstCol, std::span<QString> texts);
  // The text as the cell draws it: cut with "…" when it is wider than its column.
  QString ShownText(int col, int row) const;
  // What hovering over the cell shows: its whole text when the cell cuts it, else empty.
  QString CellToolTip(int col, int row) const;
  // The width a column needs to show its widest text from row `firstRow` on whole.
  int TextWidthNeeded(int col, int firstRow = 0) const;
  // The texts of a cell range, row by row (for copying).
  QList<QStringList> Range(const GridRect& range) const;
  // Cell writes between BeginUpdate and EndUpdate are shown together at the end.
  void BeginUpdate();
  void EndUpdate();

  // ---- Shape.
  int ColCount() const;
  void SetColCount(int count);
  int RowCount() const;
  void SetRowCount(int count);
  int FixedRows() const;
  void SetFixedRows(int count);
  int FixedCols() const;
  void SetFixedCols(int count);
  int DefaultRowHeight() const { return rowHeight_; }
  void SetDefaultRowHeight(int height);
  int ColWidths(int col) const;
  void SetColWidths(int col, int width);

  // ---- Current cell and selection.
  int Row() const;
  int Col() const;
  // Moves the current cell (clamped to the non-fixed cells) and selects it (its whole
  // row with RowSelect). Raises no Click.
  void SetRow(int row);
  void SetCol(int col);
  GridRect Selection() const;
  void SetSelection(const GridRect& rect);
  // The first non-fixed row at the top of the scrolled area.
  int TopRow() const;

  // ---- Options.
  void SetRowSelect(bool on);    // whole rows are selected
  void SetRangeSelect(bool on);  // Shift+click and dragging select a range
  void SetColSizing(bool on);    // column edges in fixed rows can be dragged
  bool ColSizing() const { return colSizing_; }
  // Asked before the user moves the current cell to (col, row); false refuses.
  void SetSelectCellHandler(std::function<bool(int col, int row)> handler);

  // Scrolls so that the cell is visible, clear of the fixed rows and columns.
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

  // The grid's background (and the fixed cells') colour.
  void SetGridColor(const QColor& color);

 signals:
  // The user clicked a cell or moved the current cell with the keyboard. A click on
  // a cell of a fixed column (below the fixed rows) makes its column current, too.
  void Click();
  // Every key press, before the grid handles it. Ctrl+C is not handled any further.
  void KeyDown(int key, Qt::KeyboardModifiers shift);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  void updateGeometries() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class FixedView;
  void ApplyRowHeight(QTableView* view) const;
  void PlaceFixedViews();
  void SyncColumnWidth(int col);
  int FixedWidth() const;   // pixels of the fixed columns
  int FixedHeight() const;  // pixels of the fixed rows
  bool MayMoveTo(int col, int row) const;
  // Column sizing on a fixed view; returns true when it took the event.
  bool HandleSizing(QTableView* view, QEvent* event);
  void FixedColumnClicked(int row);

  GridModel* model_;
  GridDelegate* delegate_;
  FixedView* top_ = nullptr;     // the fixed rows
  FixedView* left_ = nullptr;    // the fixed columns
  FixedView* corner_ = nullptr;  // where the two meet
  int rowHeight_ = 18;
  bool rowSelect_ = false;
  bool rangeSelect_ = false;
  bool colSizing_ = false;
  std::function<bool(int, int)> selectCell_;
  QPersistentModelIndex pressedCurrent_;  // the current cell after a left press
  int sizingCol_ = -1;  // column being resized by the user
  int sizingStartX_ = 0;
  int sizingStartWidth_ = 0;
};

}  // namespace zarn
