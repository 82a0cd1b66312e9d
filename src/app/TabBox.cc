#include "app/TabBox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "app/TabDelegate.h"
#include "run/TextColumns.h"

namespace zp {

namespace {

// The list box's own stops when none were set: every 32 tab units (8 characters).
constexpr int kDefaultTabStop = 32;

}  // namespace

// --- list box ---

ZTabListBox::ZTabListBox(QWidget* parent)
    : QAbstractItemView(parent), FModel(new ZTabListModel(this)) {
  setModel(FModel);
  setItemDelegate(new ZTabDelegate(this));
  setSelectionMode(SingleSelection);
  setSelectionBehavior(SelectRows);
  setEditTriggers(NoEditTriggers);
  setVerticalScrollMode(ScrollPerItem);
  setHorizontalScrollMode(ScrollPerPixel);
  MeasureFont();
  RebuildTabOption();
}

void ZTabListBox::MeasureFont() {
  const QFontMetrics fm(font());
  const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
  FItemHeight = std::max(1, fm.height());
  FCharWidth = std::max(1, fm.horizontalAdvance(sample) / 62);
  FCharAdvance = std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(sample) / 62);
}

void ZTabListBox::RebuildTabOption() {
  // A tab unit is a quarter of the average character width.
  const qreal unit = FCharWidth / 4.0;
  QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
  option.setWrapMode(QTextOption::NoWrap);
  if (FTabStops.size() <= 1) {
    const int every = FTabStops.empty() ? kDefaultTabStop : FTabStops.front();
    option.setTabStopDistance(std::max(1, every) * unit);
  } else {
    QList<qreal> stops;
    for (int position : FTabStops) stops.append(position * unit);
    option.setTabArray(stops);
    // Past the last stop a tab is no wider than a blank.
    option.setTabStopDistance(std::max(1, QFontMetrics(font()).horizontalAdvance(u' ')));
  }
  FTabOption = option;
}

qreal ZTabListBox::AfterTab(qreal x) const {
  const qreal unit = FCharWidth / 4.0;
  qreal every = (FTabStops.empty() ? kDefaultTabStop : FTabStops.front()) * unit;
  if (FTabStops.size() > 1) {
    const auto next = std::find_if(FTabStops.begin(), FTabStops.end(), [&](int p) { return p * unit > x; });
    if (next != FTabStops.end()) return *next * unit;
    every = FTabOption.tabStopDistance();
  }
  every = std::max<qreal>(1, every);
  return (std::floor(x / every) + 1) * every;
}

int ZTabListBox::TextWidth(const QString& line) const {
  const QFontMetricsF fm(font());
  qreal x = 0;
  qsizetype start = 0;
  for (;;) {
    const qsizetype tab = line.indexOf(u'\t', start);
    x += fm.horizontalAdvance(line.mid(start, tab < 0 ? -1 : tab - start));
    if (tab < 0) break;
    start = tab + 1;
    x = AfterTab(x);
  }
  return static_cast<int>(std::ceil(x));
}

int ZTabListBox::ColumnWidth(const QString& line) const {
  qreal x = 0;
  int columns = 0;  // since the last tab
  const qsizetype length = line.size();
  for (qsizetype i = 0; i < length; ++i) {
    const QChar c = line[i];
    if (c == u'\t') {
      x = AfterTab(x + columns * FCharAdvance);
      columns = 0;
      continue;
    }
    char32_t code = c.unicode();
    if (c.isHighSurrogate() && i + 1 < length && line[i + 1].isLowSurrogate())
      code = QChar::surrogateToUcs4(c, line[++i]);
    columns += DisplayColumns(code);
  }
  return static_cast<int>(std::ceil(x + columns * FCharAdvance));
}

void ZTabListBox::SetTabStops(const std::vector<int>& positions) {
  FTabStops = positions;
  RebuildTabOption();
  viewport()->update();
}

void ZTabListBox::SetHorizontalExtent(int width) {
  width = std::max(0, width);
  if (width == FHorizontalExtent) return;
  FHorizontalExtent = width;
  updateGeometries();
  viewport()->update();
}

void ZTabListBox::AddLine(const QString& line, LineMark mark) { FModel->Append(line, mark); }

void ZTabListBox::SetMarkGutter(bool shown) {
  FMarkGutter = shown;
  viewport()->update();
}

void ZTabListBox::SetPreferredRows(int rows) {
  FPreferredRows = rows;
  setSizeAdjustPolicy(rows > 0 ? AdjustToContents : AdjustIgnored);
  updateGeometry();
}

QSize ZTabListBox::viewportSizeHint() const {
  if (FPreferredRows <= 0) return QAbstractItemView::viewportSizeHint();
  return {FHorizontalExtent + MarkGutter(), FPreferredRows * FItemHeight};
}

void ZTabListBox::SetFailedColour(const QColor& colour) {
  FFailedColour = colour;
  viewport()->update();
}

void ZTabListBox::AddLines(std::vector<QString>&& lines) { FModel->Append(std::move(lines)); }

void ZTabListBox::Clear() {
  FProgramChange = true;
  FModel->Clear();
  FProgramChange = false;
  updateGeometries();
  viewport()->update();
}

int ZTabListBox::ItemIndex() const {
  const QModelIndexList rows = selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void ZTabListBox::SetItemIndex(int index) {
  FProgramChange = true;
  if (index >= 0 && index < Count()) {
    const QModelIndex target = FModel->index(index);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
  } else {
    selectionModel()->clearSelection();
  }
  FProgramChange = false;
  if (OnChange) OnChange(this, FPrevItemIndex);
  FPrevItemIndex = ItemIndex();
}

void ZTabListBox::selectionChanged(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
  QAbstractItemView::selectionChanged(selected, deselected);
  if (FProgramChange) return;
  // The operator's change (mouse or keyboard); the ordinary handling above ran first.
  const int now = ItemIndex();
  if (now != FPrevItemIndex && OnChange) OnChange(this, FPrevItemIndex);
  FPrevItemIndex = now;
}

int ZTabListBox::TopIndex() const { return verticalScrollBar()->value(); }

void ZTabListBox::SetTopIndex(int index) { verticalScrollBar()->setValue(index); }

int ZTabListBox::VisibleRows() const { return std::max(1, viewport()->height() / FItemHeight); }

int ZTabListBox::RowWidth() const {
  return std::max(FHorizontalExtent, viewport()->width() + horizontalOffset());
}

QRect ZTabListBox::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  return {-horizontalOffset(), (index.row() - TopIndex()) * FItemHeight, RowWidth(),
          FItemHeight};
}

void ZTabListBox::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  const int row = index.row();
  const int top = TopIndex();
  const int rows = VisibleRows();
  switch (hint) {
    case PositionAtTop:
      SetTopIndex(row);
      break;
    case PositionAtBottom:
      SetTopIndex(row - rows + 1);
      break;
    case PositionAtCenter:
      SetTopIndex(row - rows / 2);
      break;
    case EnsureVisible:
      if (row < top) SetTopIndex(row);
      else if (row >= top + rows) SetTopIndex(row - rows + 1);
      break;
  }
}

QModelIndex ZTabListBox::indexAt(const QPoint& point) const {
  if (point.y() < 0) return {};
  const int row = TopIndex() + point.y() / FItemHeight;
  return row < Count() ? FModel->index(row) : QModelIndex();
}

QModelIndex ZTabListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  const int count = Count();
  if (count == 0) return {};
  const QModelIndex current = currentIndex();
  int row = current.isValid() ? current.row() : -1;
  switch (action) {
    case MoveUp:
    case MovePrevious:
      row = row < 0 ? 0 : row - 1;
      break;
    case MoveDown:
    case MoveNext:
      row = row + 1;
      break;
    case MovePageUp:
      row = row - std::max(1, VisibleRows() - 1);
      break;
    case MovePageDown:
      row = row + std::max(1, VisibleRows() - 1);
      break;
    case MoveHome:
      row = 0;
      break;
    case MoveEnd:
      row = count - 1;
      break;
    case MoveLeft:
    case MoveRight:
      // Sideways keys scroll the long lines, as a list box does.
      horizontalScrollBar()->triggerAction(action == MoveLeft
                                               ? QAbstractSlider::SliderSingleStepSub
                                               : QAbstractSlider::SliderSingleStepAdd);
      return current;
  }
  return FModel->index(std::clamp(row, 0, count - 1));
}

int ZTabListBox::horizontalOffset() const { return horizontalScrollBar()->value(); }

int ZTabListBox::verticalOffset() const { return TopIndex() * FItemHeight; }

bool ZTabListBox::isIndexHidden(const QModelIndex&) const { return false; }

void ZTabListBox::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) {
  const int count = Count();
  const int top = TopIndex();
  const int first = top + std::max(0, rect.top()) / FItemHeight;
  const int last = top + std::max(0, rect.bottom()) / FItemHeight;
  if (count == 0 || first >= count) return;
  selectionModel()->select(
      QItemSelection(FModel->index(first), FModel->index(std::min(last, count - 1))), flags);
}

QRegion ZTabListBox::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const int top = TopIndex();
  const int bottom = top + VisibleRows();
  for (const QItemSelectionRange& range : selection) {
    const int first = std::max(range.top(), top);
    const int last = std::min(range.bottom(), bottom);
    if (first > last) continue;
    region += visualRect(FModel->index(first)).united(visualRect(FModel->index(last)));
  }
  return region;
}

void ZTabListBox::paintEvent(QPaintEvent* event) {
  const int count = Count();
  if (count == 0) return;
  QPainter painter(viewport());
  const QRect area = event->rect();
  const int top = TopIndex();
  const int first = top + std::max(0, area.top()) / FItemHeight;
  const int last = std::min(count - 1, top + std::max(0, area.bottom()) / FItemHeight);
  QStyleOptionViewItem base;
  initViewItemOption(&base);
  const QModelIndex current = currentIndex();
  const bool focused = hasFocus();
  QItemSelectionModel* selection = selectionModel();
  for (int row = first; row <= last; ++row) {
    const QModelIndex index = FModel->index(row);
    QStyleOptionViewItem option = base;
    option.rect = visualRect(index);
    if (selection->isSelected(index)) option.state |= QStyle::State_Selected;
    if (focused && index == current) option.state |= QStyle::State_HasFocus;
    itemDelegate()->paint(&painter, option, index);
  }
}

void ZTabListBox::updateGeometries() {
  const int rows = VisibleRows();
  QScrollBar* vertical = verticalScrollBar();
  vertical->setSingleStep(1);
  vertical->setPageStep(rows);
  vertical->setRange(0, std::max(0, Count() - rows));
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setSingleStep(FCharWidth);
  horizontal->setPageStep(std::max(1, viewport()->width()));
  horizontal->setRange(0, std::max(0, FHorizontalExtent - viewport()->width()));
  QAbstractItemView::updateGeometries();
}

void ZTabListBox::scrollContentsBy(int, int) { viewport()->update(); }

void ZTabListBox::rowsInserted(const QModelIndex& parent, int start, int end) {
  QAbstractItemView::rowsInserted(parent, start, end);
  // Only the scroll range changes; nothing here walks the existing lines.
  updateGeometries();
  if (start <= TopIndex() + VisibleRows()) viewport()->update();
}

void ZTabListBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    MeasureFont();
    RebuildTabOption();
    updateGeometries();
  }
  QAbstractItemView::changeEvent(event);
}

}  // namespace zp
