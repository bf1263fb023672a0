#include "stringgrid.h"

#include "controls.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>
#include <vector>

namespace zarn {

// ---------------------------------------------------------------------------------
// The cells: a flat row-major list of texts. Row and column count changes are told to
// the views as insertions and removals, so the views keep the widths of the columns
// that stay.
class GridModel : public QAbstractTableModel {
 public:
  explicit GridModel(QObject* parent) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : cols_;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return cells_[Offset(index.column(), index.row())];
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid() || IsFixed(index.column(), index.row())) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  }

  bool IsFixed(int col, int row) const { return row < fixedRows_ || col < fixedCols_; }
  int Rows() const { return rows_; }
  int Cols() const { return cols_; }
  int FixedRows() const { return fixedRows_; }
  int FixedCols() const { return fixedCols_; }

  const QString& Cell(int col, int row) const { return cells_[Offset(col, row)]; }

  void SetCell(int col, int row, const QString& text) {
    QString& cell = cells_[Offset(col, row)];
    if (cell == text) return;
    cell = text;
    Changed(col, row, col, row);
  }

  void SetCells(int row, int firstCol, std::span<const QString> texts) {
    const int last = std::min<int>(cols_, firstCol + int(texts.size())) - 1;
    for (int c = firstCol; c <= last; ++c) cells_[Offset(c, row)] = texts[size_t(c - firstCol)];
    if (last >= firstCol) Changed(firstCol, row, last, row);
  }

  void SwapCells(int row, int firstCol, std::span<QString> texts) {
    const int last = std::min<int>(cols_, firstCol + int(texts.size())) - 1;
    for (int c = firstCol; c <= last; ++c) cells_[Offset(c, row)].swap(texts[size_t(c - firstCol)]);
    if (last >= firstCol) Changed(firstCol, row, last, row);
  }

  void SetRows(int count) {
    count = std::max(0, count);
    if (count > rows_) {
      beginInsertRows({}, rows_, count - 1);
      cells_.resize(size_t(count) * size_t(cols_));
      rows_ = count;
      endInsertRows();
    } else if (count < rows_) {
      beginRemoveRows({}, count, rows_ - 1);
      cells_.resize(size_t(count) * size_t(cols_));
      rows_ = count;
      endRemoveRows();
    }
  }

  void SetCols(int count) {
    count = std::max(0, count);
    if (count == cols_) return;
    std::vector<QString> cells(size_t(rows_) * size_t(count));
    const int keep = std::min(cols_, count);
    for (int r = 0; r < rows_; ++r)
      for (int c = 0; c < keep; ++c) cells[size_t(r) * size_t(count) + size_t(c)].swap(cells_[Offset(c, r)]);
    if (count > cols_) {
      beginInsertColumns({}, cols_, count - 1);
      cells_.swap(cells);
      cols_ = count;
      endInsertColumns();
    } else {
      beginRemoveColumns({}, count, cols_ - 1);
      cells_.swap(cells);
      cols_ = count;
      endRemoveColumns();
    }
  }

  void SetFixed(int rows, int cols) {
    fixedRows_ = std::max(0, rows);
    fixedCols_ = std::max(0, cols);
    if (rows_ > 0 && cols_ > 0) {
      // The flags changed for every cell.
      emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1));
    }
  }

  void BeginUpdate() { ++updating_; }
  void EndUpdate() {
    if (updating_ > 0 && --updating_ == 0 && pending_) {
      pending_ = false;
      if (rows_ > 0 && cols_ > 0)
        emit dataChanged(index(std::min(top_, rows_ - 1), std::min(left_, cols_ - 1)),
                         index(std::min(bottom_, rows_ - 1), std::min(right_, cols_ - 1)),
                         {Qt::DisplayRole});
    }
  }

 private:
  size_t Offset(int col, int row) const { return size_t(row) * size_t(cols_) + size_t(col); }

  void Changed(int left, int top, int right, int bottom) {
    if (updating_ == 0) {
      emit dataChanged(index(top, left), index(bottom, right), {Qt::DisplayRole});
      return;
    }
    if (!pending_) {
      pending_ = true;
      left_ = left;
      top_ = top;
      right_ = right;
      bottom_ = bottom;
      return;
    }
    left_ = std::min(left_, left);
    top_ = std::min(top_, top);
    right_ = std::max(right_, right);
    bottom_ = std::max(bottom_, bottom);
  }

  int rows_ = 0;
  int cols_ = 0;
  int fixedRows_ = 0;
  int fixedCols_ = 0;
  std::vector<QString> cells_;
  int updating_ = 0;
  bool pending_ = false;
  int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

// ---------------------------------------------------------------------------------
// Cells drawn as in a classic string grid: fixed cells raised in the button colour,
// the others in the grid's colour or the highlight when selected, the text two pixels
// in from the top left corner; a text too wide for its cell ends in "…" and is shown
// whole as the cell's tooltip.
class GridDelegate : public QStyledItemDelegate {
 public:
  GridDelegate(GridModel* model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QRect r = option.rect;
    // Fixed cells are not enabled as items (the cursor skips them), but they are drawn
    // in the normal colours, and a grid in an inactive window keeps its colours.
    const QPalette& pal = option.palette;
    constexpr QPalette::ColorGroup g = QPalette::Active;
    const bool fixed = model_->IsFixed(index.column(), index.row());
    const bool selected = !fixed && (option.state & QStyle::State_Selected);
    painter->fillRect(r, selected ? pal.color(g, QPalette::Highlight)
                                  : pal.color(g, fixed ? QPalette::Button : QPalette::Base));
    if (fixed && r.width() > 1 && r.height() > 1) {
      painter->setPen(pal.color(g, QPalette::Light));
      painter->drawLine(r.topLeft(), r.topRight());
      painter->drawLine(r.topLeft(), r.bottomLeft());
      painter->setPen(pal.color(g, QPalette::Mid));
      painter->drawLine(r.bottomLeft(), r.bottomRight());
      painter->drawLine(r.topRight(), r.bottomRight());
    }
    const QString& text = model_->Cell(index.column(), index.row());
    if (text.isEmpty()) return;
    painter->setPen(pal.color(g, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    const QString shown = FitCellText(text, QFontMetrics(option.font), r.width());
    painter->drawText(r.adjusted(2, 2, -1, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
  }

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() != QEvent::ToolTip || !index.isValid())
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString& text = model_->Cell(index.column(), index.row());
    // The rectangle asked about includes the cell's grid line; the painted one does not.
    const int width = option.rect.width() - TStringGrid::kGridLineWidth;
    if (FitCellText(text, QFontMetrics(option.font), width) == text) {
      QToolTip::hideText();
      return true;
    }
    QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    return true;
  }

 private:
  GridModel* model_;
};

// ---------------------------------------------------------------------------------
// A view of the fixed rows, the fixed columns or both, laid over the main view's edge.
// It follows the main view's scrolling and passes wheel turns on to it.
class FixedView : public QTableView {
 public:
  explicit FixedView(TStringGrid* owner) : QTableView(owner), owner_(owner) {
    setItemDelegate(owner->delegate_);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    setSelectionMode(NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerItem);
    setEditTriggers(NoEditTriggers);
    setAutoScroll(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    viewport()->setMouseTracking(true);
    viewport()->installEventFilter(owner);
    owner->ApplyRowHeight(this);
    hide();
  }
  void scrollTo(const QModelIndex&, ScrollHint) override {}

  // A fixed part shows the cells only while the grid has such a part: a view without
  // the model costs nothing when thousands of rows come and go.
  void Attach(bool needed) {
    const bool attached = model() == owner_->model_;
    if (needed && !attached) {
      setModel(owner_->model_);
      for (int c = 0; c < owner_->ColCount(); ++c) setColumnWidth(c, owner_->columnWidth(c));
    } else if (!needed && attached) {
      setModel(nullptr);
    }
    setVisible(needed);
  }

 private:
  TStringGrid* owner_;
};

// ---------------------------------------------------------------------------------

QString FitCellText(const QString& text, const QFontMetrics& metrics, int width) {
  const int room = width - TStringGrid::kTextPadding;
  if (metrics.horizontalAdvance(text) <= room) return text;
  const QString elided = metrics.elidedText(text, Qt::ElideRight, std::max(0, room));
  // Never an empty cell for a text: a cell too narrow even for "…" shows that.
  return elided.isEmpty() ? QStringLiteral("…") : elided;
}

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent) {
  model_ = new GridModel(this);
  delegate_ = new GridDelegate(model_, this);
  setModel(model_);
  setItemDelegate(delegate_);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setDefaultSectionSize(64 + kGridLineWidth);
  horizontalHeader()->setHighlightSections(false);
  setEditTriggers(NoEditTriggers);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(ScrollPerPixel);
  setVerticalScrollMode(ScrollPerItem);
  setSelectionMode(SingleSelection);
  setSelectionBehavior(SelectItems);
  setTabKeyNavigation(true);
  ApplyRowHeight(this);

  top_ = new FixedView(this);
  left_ = new FixedView(this);
  corner_ = new FixedView(this);

  // The fixed rows scroll sideways with the cells, the fixed columns up and down.
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, top_->horizontalScrollBar(),
          &QScrollBar::setValue);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, left_->verticalScrollBar(),
          &QScrollBar::setValue);
  connect(top_->horizontalScrollBar(), &QScrollBar::rangeChanged, this,
          [this] { top_->horizontalScrollBar()->setValue(horizontalScrollBar()->value()); });
  connect(left_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
          [this] { left_->verticalScrollBar()->setValue(verticalScrollBar()->value()); });
  connect(horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int col, int, int) { SyncColumnWidth(col); });
}

TStringGrid::~TStringGrid() = default;

// ---- Cells.

QString TStringGrid::Cells(int col, int row) const {
  if (col < 0 || row < 0 || col >= model_->Cols() || row >= model_->Rows()) return {};
  return model_->Cell(col, row);
}

void TStringGrid::SetCells(int col, int row, const QString& text) {
  if (col < 0 || row < 0 || col >= model_->Cols() || row >= model_->Rows()) return;
  model_->SetCell(col, row, text);
}

void TStringGrid::SetRowCells(int row, int firstCol, std::span<const QString> texts) {
  if (row < 0 || row >= model_->Rows() || firstCol < 0) return;
  model_->SetCells(row, firstCol, texts);
}

void TStringGrid::TakeRowCells(int row, int firstCol, std::span<QString> texts) {
  if (row < 0 || row >= model_->Rows() || firstCol < 0) return;
  model_->SwapCells(row, firstCol, texts);
}

QString TStringGrid::ShownText(int col, int row) const {
  return FitCellText(Cells(col, row), fontMetrics(), ColWidths(col));
}

QString TStringGrid::CellToolTip(int col, int row) const {
  const QString text = Cells(col, row);
  return ShownText(col, row) == text ? QString() : text;
}

int TStringGrid::TextWidthNeeded(int col, int firstRow) const {
  if (col < 0 || col >= ColCount()) return 0;
  const QFontMetrics metrics = fontMetrics();
  int widest = 0;
  for (int r = std::max(0, firstRow); r < RowCount(); ++r) widest = std::max(widest, metrics.horizontalAdvance(model_->Cell(col, r)));
  return widest + kTextPadding;
}

QList<QStringList> TStringGrid::Range(const GridRect& range) const {
  QList<QStringList> rows;
  if (range.IsNone()) return rows;
  for (int r = range.top; r <= range.bottom && r < RowCount(); ++r) {
    QStringList row;
    for (int c = range.left; c <= range.right && c < ColCount(); ++c) row.append(Cells(c, r));
    rows.append(row);
  }
  return rows;
}

void TStringGrid::BeginUpdate() { model_->BeginUpdate(); }
void TStringGrid::EndUpdate() { model_->EndUpdate(); }

// ---- Shape.

int TStringGrid::ColCount() const { return model_->Cols(); }
int TStringGrid::RowCount() const { return model_->Rows(); }
int TStringGrid::FixedRows() const { return model_->FixedRows(); }
int TStringGrid::FixedCols() const { return model_->FixedCols(); }

void TStringGrid::SetColCount(int count) {
  const int old = ColCount();
  model_->SetCols(count);
  for (int c = old; c < ColCount(); ++c) SyncColumnWidth(c);
  PlaceFixedViews();
}

void TStringGrid::SetRowCount(int count) {
  model_->SetRows(count);
  PlaceFixedViews();
}

void TStringGrid::SetFixedRows(int count) {
  if (count == FixedRows()) return;
  model_->SetFixed(count, FixedCols());
  PlaceFixedViews();
}

void TStringGrid::SetFixedCols(int count) {
  if (count == FixedCols()) return;
  model_->SetFixed(FixedRows(), count);
  PlaceFixedViews();
}

void TStringGrid::ApplyRowHeight(QTableView* view) const {
  QHeaderView* rows = view->verticalHeader();
  rows->setMinimumSectionSize(1);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(rowHeight_ + kGridLineWidth);
}

void TStringGrid::SetDefaultRowHeight(int height) {
  rowHeight_ = std::max(1, height);
  ApplyRowHeight(this);
  if (corner_)
    for (QTableView* view : {static_cast<QTableView*>(top_), static_cast<QTableView*>(left_),
                             static_cast<QTableView*>(corner_)})
      ApplyRowHeight(view);
  PlaceFixedViews();
}

int TStringGrid::ColWidths(int col) const {
  if (col < 0 || col >= ColCount()) return 0;
  return columnWidth(col) - kGridLineWidth;
}

void TStringGrid::SetColWidths(int col, int width) {
  if (col < 0 || col >= ColCount()) return;
  // A width below zero would hide the column's grid line; keep at least the line.
  setColumnWidth(col, std::max(0, width) + kGridLineWidth);
  SyncColumnWidth(col);
}

void TStringGrid::SyncColumnWidth(int col) {
  if (!corner_) return;
  const int width = columnWidth(col);
  for (QTableView* view : {static_cast<QTableView*>(top_), static_cast<QTableView*>(left_),
                           static_cast<QTableView*>(corner_)})
    if (view->model() == model_ && view->columnWidth(col) != width) view->setColumnWidth(col, width);
  if (col < FixedCols()) PlaceFixedViews();
}

int TStringGrid::FixedWidth() const {
  int width = 0;
  for (int c = 0; c < std::min(FixedCols(), ColCount()); ++c) width += columnWidth(c);
  return width;
}

int TStringGrid::FixedHeight() const {
  return std::min(FixedRows(), RowCount()) * (rowHeight_ + kGridLineWidth);
}

void TStringGrid::PlaceFixedViews() {
  if (!corner_) return;  // still being built
  const QRect vp = viewport()->geometry();
  const int fh = std::min(FixedHeight(), vp.height());
  const int fw = std::min(FixedWidth(), vp.width());
  top_->setGeometry(vp.x(), vp.y(), vp.width(), fh);
  left_->setGeometry(vp.x(), vp.y(), fw, vp.height());
  corner_->setGeometry(vp.x(), vp.y(), fw, fh);
  top_->Attach(fh > 0);
  left_->Attach(fw > 0);
  corner_->Attach(fh > 0 && fw > 0);
  top_->raise();
  left_->raise();
  corner_->raise();
  // A focus frame stays over them.
  if (auto* frame = findChild<TFocusFrame*>(QString(), Qt::FindDirectChildrenOnly)) frame->raise();
  top_->horizontalScrollBar()->setValue(horizontalScrollBar()->value());
  left_->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void TStringGrid::SetGridColor(const QColor& color) {
  QPalette pal = palette();
  pal.setColor(QPalette::Base, color);
  pal.setColor(QPalette::Window, color);
  setPalette(pal);
}

// ---- Current cell and selection.

int TStringGrid::Row() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : std::min(FixedRows(), std::max(0, RowCount() - 1));
}

int TStringGrid::Col() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.column() : std::min(FixedCols(), std::max(0, ColCount() - 1));
}

void TStringGrid::SetRow(int row) {
  if (RowCount() <= FixedRows() || ColCount() <= FixedCols()) return;
  row = std::clamp(row, FixedRows(), RowCount() - 1);
  const int col = std::clamp(Col(), FixedCols(), ColCount() - 1);
  const QModelIndex index = model_->index(row, col);
  QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
  if (rowSelect_) flags |= QItemSelectionModel::Rows;
  selectionModel()->setCurrentIndex(index, flags);
  scrollTo(index);
}

void TStringGrid::SetCol(int col) {
  if (RowCount() <= FixedRows() || ColCount() <= FixedCols()) return;
  col = std::clamp(col, FixedCols(), ColCount() - 1);
  const int row = std::clamp(Row(), FixedRows(), RowCount() - 1);
  const QModelIndex index = model_->index(row, col);
  QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
  if (rowSelect_) flags |= QItemSelectionModel::Rows;
  selectionModel()->setCurrentIndex(index, flags);
  scrollTo(index);
}

GridRect TStringGrid::Selection() const {
  GridRect rect;
  const QItemSelection selection = selectionModel()->selection();
  for (const QItemSelectionRange& range : selection) {
    // A whole-row selection spans the fixed columns too; they are not part of it.
    if (!range.isValid() || range.right() < FixedCols() || range.bottom() < FixedRows()) continue;
    const GridRect r{std::max(range.left(), FixedCols()), std::max(range.top(), FixedRows()),
                     range.right(), range.bottom()};
    if (rect.IsNone()) {
      rect = r;
    } else {
      rect.left = std::min(rect.left, r.left);
      rect.top = std::min(rect.top, r.top);
      rect.right = std::max(rect.right, r.right);
      rect.bottom = std::max(rect.bottom, r.bottom);
    }
  }
  return rect;
}

void TStringGrid::SetSelection(const GridRect& rect) {
  if (rect.IsNone() || rect.left >= ColCount() || rect.top >= RowCount()) {
    selectionModel()->clearSelection();
    viewport()->update();
    return;
  }
  const QItemSelection selection(
      model_->index(rect.top, rect.left),
      model_->index(std::min(rect.bottom, RowCount() - 1), std::min(rect.right, ColCount() - 1)));
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

int TStringGrid::TopRow() const { return verticalScrollBar()->value() + FixedRows(); }

// ---- Options.

void TStringGrid::SetRowSelect(bool on) {
  rowSelect_ = on;
  setSelectionBehavior(on ? SelectRows : SelectItems);
}

void TStringGrid::SetRangeSelect(bool on) {
  rangeSelect_ = on;
  setSelectionMode(on ? ContiguousSelection : SingleSelection);
}

void TStringGrid::SetColSizing(bool on) { colSizing_ = on; }

void TStringGrid::SetSelectCellHandler(std::function<bool(int, int)> handler) {
  selectCell_ = std::move(handler);
  if (selectCell_) {
    // A grid whose cells may be refused takes the focus only by a click it allows.
    setFocusPolicy(Qt::ClickFocus);
  }
}

bool TStringGrid::MayMoveTo(int col, int row) const { return !selectCell_ || selectCell_(col, row); }

// ---- Events.

void TStringGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  PlaceFixedViews();
}

void TStringGrid::updateGeometries() {
  QTableView::updateGeometries();
  PlaceFixedViews();
}

void TStringGrid::keyPressEvent(QKeyEvent* event) {
  emit KeyDown(event->key(), event->modifiers());
  if ((event->key() == Qt::Key_C && (event->modifiers() & Qt::ControlModifier)) ||
      event->matches(QKeySequence::Copy)) {
    event->accept();  // the window copies; the view must not put a cell over it
    return;
  }
  const QModelIndex before = currentIndex();
  QTableView::keyPressEvent(event);
  if (currentIndex() != before) emit Click();
}

void TStringGrid::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton) {
    // A right click opens the pop-up menu and leaves the selection alone.
    event->accept();
    return;
  }
  if (index.isValid() && !MayMoveTo(index.column(), index.row())) {
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
  pressedCurrent_ = currentIndex();
  if (index.isValid() && currentIndex().isValid()) emit Click();
}

void TStringGrid::mouseMoveEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid() && !MayMoveTo(index.column(), index.row())) return;
  QTableView::mouseMoveEvent(event);
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  // A drag that moved the current row ends like a click on the row where it ended.
  if (event->button() == Qt::LeftButton && pressedCurrent_.isValid() &&
      currentIndex() != pressedCurrent_)
    emit Click();
  pressedCurrent_ = QPersistentModelIndex();
}

QModelIndex TStringGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  QModelIndex next = QTableView::moveCursor(cursorAction, modifiers);
  if (!next.isValid()) return next;
  if (RowCount() <= FixedRows() || ColCount() <= FixedCols()) return currentIndex();
  const int row = std::max(next.row(), FixedRows());
  const int col = std::max(next.column(), FixedCols());
  if (!MayMoveTo(col, row)) return currentIndex();
  return model_->index(row, col);
}

void TStringGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  QTableView::scrollTo(index, hint);
  // The fixed rows and columns cover the edge of the cells: bring a cell that went
  // under them out again.
  if (index.row() >= FixedRows()) {
    QScrollBar* bar = verticalScrollBar();
    if (index.row() < bar->value() + FixedRows()) bar->setValue(index.row() - FixedRows());
  }
  if (index.column() >= FixedCols() && FixedCols() > 0) {
    const int x = columnViewportPosition(index.column());
    const int fw = FixedWidth();
    if (x < fw) horizontalScrollBar()->setValue(horizontalScrollBar()->value() - (fw - x));
  }
}

bool TStringGrid::eventFilter(QObject* watched, QEvent* event) {
  QTableView* view = nullptr;
  for (QTableView* v : {static_cast<QTableView*>(top_), static_cast<QTableView*>(left_),
                        static_cast<QTableView*>(corner_)})
    if (watched == v->viewport()) view = v;
  if (!view) return QTableView::eventFilter(watched, event);

  switch (event->type()) {
    case QEvent::Wheel:
      QCoreApplication::sendEvent(viewport(), event);
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      if (HandleSizing(view, event)) return true;
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton &&
          view == left_) {
        const QModelIndex index = view->indexAt(mouse->position().toPoint());
        if (index.isValid() && index.row() >= FixedRows()) FixedColumnClicked(index.row());
      }
      return true;  // fixed cells are not selected
    }
    case QEvent::ContextMenu:
      // The grid's pop-up menu belongs to the whole grid.
      QCoreApplication::sendEvent(viewport(), event);
      return true;
    default:
      return QTableView::eventFilter(watched, event);
  }
}

bool TStringGrid::HandleSizing(QTableView* view, QEvent* event) {
  auto* mouse = static_cast<QMouseEvent*>(event);
  const int x = int(mouse->position().x());
  auto edgeAt = [&](int px) -> int {
    if (!colSizing_ || view == left_) return -1;
    for (int c = 0; c < ColCount(); ++c) {
      if (view->isColumnHidden(c)) continue;
      const int edge = view->columnViewportPosition(c) + view->columnWidth(c);
      if (std::abs(px - edge) <= 2) return c;
    }
    return -1;
  };
  switch (event->type()) {
    case QEvent::MouseMove:
      if (sizingCol_ >= 0) {
        const int dx = int(mouse->globalPosition().x()) - sizingStartX_;
        SetColWidths(sizingCol_, std::max(0, sizingStartWidth_ + dx));
        return true;
      }
      if (edgeAt(x) >= 0)
        view->viewport()->setCursor(Qt::SplitHCursor);
      else
        view->viewport()->unsetCursor();
      return false;
    case QEvent::MouseButtonPress: {
      if (mouse->button() != Qt::LeftButton) return false;
      const int col = edgeAt(x);
      if (col < 0) return false;
      sizingCol_ = col;
      sizingStartX_ = int(mouse->globalPosition().x());
      sizingStartWidth_ = ColWidths(col);
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (sizingCol_ < 0) return false;
      sizingCol_ = -1;
      return true;
    default:
      return false;
  }
}

void TStringGrid::FixedColumnClicked(int row) {
  if (!MayMoveTo(0, row)) return;
  selectionModel()->clearSelection();
  selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
  emit Click();
}

}  // namespace zarn
