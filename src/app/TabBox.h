#pragma once
#include <QAbstractItemView>
#include <QColor>
#include <QTextOption>
#include <functional>
#include <vector>

#include "app/TabListModel.h"

namespace zp {

class ZTabListBox;

// (Sender, PrevItemIndex): the index that was selected before the change.
using TChangeEvent = std::function<void(ZTabListBox* sender, int prev_item_index)>;

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
  void AddLine(const QString& line, LineMark mark = LineMark::None);
  // Many lines at once: one layout and one repaint however many there are.
  void AddLines(std::vector<QString>&& lines);
  void Clear();
  int Count() const { return FModel->Count(); }
  const QString& Line(int row) const { return FModel->Line(row); }
  LineMark Mark(int row) const { return FModel->Mark(row); }

  // A gutter before every line, one line high and wide, where a marked line shows its
  // mark; none unless asked for. Text and tab stops start after it.
  void SetMarkGutter(bool shown);
  int MarkGutter() const { return FMarkGutter ? FItemHeight : 0; }
  // With a number of rows, the list asks its layout for room for that many lines, as wide
  // as its horizontal extent; without (0, the default) for a fixed size.
  void SetPreferredRows(int rows);
  // The colour of a failed line's mark and text.
  void SetFailedColour(const QColor& colour);
  const QColor& FailedColour() const { return FFailedColour; }

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
  // The same for a fixed-pitch font, worked out rather than measured: each character's
  // display columns (two for a wide one) times the character width. No font is asked per
  // line, so a list can take thousands of lines a second.
  int ColumnWidth(const QString& line) const;

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
  QSize viewportSizeHint() const override;
  void scrollContentsBy(int dx, int dy) override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void changeEvent(QEvent* event) override;

 private:
  void MeasureFont();
  void RebuildTabOption();
  // Where a tab at `x` pixels takes the text.
  qreal AfterTab(qreal x) const;
  int VisibleRows() const;
  int RowWidth() const;

  ZTabListModel* FModel;
  std::vector<int> FTabStops;
  QTextOption FTabOption;
  int FHorizontalExtent = 0;
  int FItemHeight = 1;
  int FCharWidth = 1;
  // The width of the 62 letters and digits divided by 62, unrounded: a fixed-pitch
  // font's advance, which FCharWidth may undercut by most of a pixel a character.
  qreal FCharAdvance = 1;
  int FPrevItemIndex = -1;
  bool FProgramChange = false;
  bool FMarkGutter = false;
  int FPreferredRows = 0;
  QColor FFailedColour{0xA0, 0x10, 0x10};
};

}  // namespace zp
