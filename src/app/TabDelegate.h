#pragma once
#include <QStyledItemDelegate>

namespace zp {

class ZTabListBox;

// Paints one line as plain text with its tabs expanded to the list's tab stops; a marked
// line gets its mark in the list's gutter and its text in the mark's colour.
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

}  // namespace zp
