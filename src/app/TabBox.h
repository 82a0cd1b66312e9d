#pragma once
#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <functional>
#include <vector>

namespace zp {

class ZTabListBox;

// (Sender, PrevItemIndex): the index that was selected before the change.
using TChangeEvent = std::function<void(ZTabListBox* sender, int prev_item_index)>;

// The lines of one list box. Appending is constant time whatever the list holds.
class ZTabListModel final : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  void Append(QString line);
  // Appends every line in one insertion, so views lay out and repaint once.
  void Append(std::vector<QString>&& lines);
  void Clear();
  const QString& Line(int row) const { return FLines[static_cast<std::size_t>(row)]; }
  int Count() const { return static_cast<int>(FLines.size()); }

 private:
  std::vector<QString> FLines;
};

// Paints one line as plain text with its tabs expanded to the list's tab stops.
class ZTabDelegate final : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit ZTabDelegate(ZTabListBox* box);
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  ZTabListBox* FBox;
};

// A single-selection list of text lines whose tabs expand to tab stops, with a
// horizontal extent set by its owner. Rows have one height, so scrolling, painting
// and appending cost the same with a hundred thousand lines as with ten.
class ZTabListBox : public QAbstractItemView {
  Q_OBJECT
 public:
  explicit ZTabListBox(QWidget* parent = nullptr);

  // Stops in tab units of a quarter of the average character width. One position
  // gives stops repeating at that interval; several give exactly those stops.
  void SetTabStops(const std::vector<int>& positions);
  // Width in pixels over which the lines can be scrolled sideways.
  void SetHorizontalExtent(int width);
  int HorizontalExtent() const { return FHorizontalExtent; }

  // Lines hold single-byte text; each byte is one character (Latin-1).
  void AddLine(const QString& line);
  // Many lines at once: one layout and one repaint however many there are.
  void AddLines(std::vector<QString>&& lines);
  void Clear();
  int Count() const { return FModel->Count(); }
  const QString& Line(int row) const { return FModel->Line(row); }

  // The selected line, -1 for none.
  int ItemIndex() const;
  // The program's selection request: performs it, then calls OnChange (when set)
  // whether or not the index changed.
  void SetItemIndex(int index);
  int PrevItemIndex() const { return FPrevItemIndex; }

  int TopIndex() const;
  // Clamped to the lines that exist.
  void SetTopIndex(int index);
  int ItemHeight() const { return FItemHeight; }
  // Width of the 62 letters and digits in the list's font, divided by 62.
  int AverageCharWidth() const { return FCharWidth; }
  // The layout option that expands tabs, in pixels for the current font.
  const QTextOption& TabOption() const { return FTabOption; }
  // Width in pixels of `line` with its tabs expanded to the stops, as it is painted.
  int TextWidth(const QString& line) const;

  TChangeEvent OnChange;

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void paintEvent(QPaintEvent* event) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void changeEvent(QEvent* event) override;

 private:
  void MeasureFont();
  void RebuildTabOption();
  int VisibleRows() const;
  int RowWidth() const;

  ZTabListModel* FModel;
  std::vector<int> FTabStops;
  QTextOption FTabOption;
  int FHorizontalExtent = 0;
  int FItemHeight = 1;
  int FCharWidth = 1;
  int FPrevItemIndex = -1;
  bool FProgramChange = false;
};

}  // namespace zp
