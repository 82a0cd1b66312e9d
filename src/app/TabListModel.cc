#include "app/TabListModel.h"

#include <iterator>

namespace zp {

int ZTabListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant ZTabListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Count()) return {};
  return Line(index.row());
}

LineMark ZTabListModel::Mark(int row) const {
  const auto at = static_cast<std::size_t>(row);
  return at < FMarks.size() ? FMarks[at] : LineMark::None;
}

void ZTabListModel::Append(QString line, LineMark mark) {
  const int row = Count();
  beginInsertRows({}, row, row);
  FLines.push_back(std::move(line));
  if (mark != LineMark::None) {
    FMarks.resize(FLines.size(), LineMark::None);
    FMarks.back() = mark;
  }
  endInsertRows();
}

void ZTabListModel::Append(std::vector<QString>&& lines) {
  if (lines.empty()) return;
  const int row = Count();
  beginInsertRows({}, row, row + static_cast<int>(lines.size()) - 1);
  FLines.insert(FLines.end(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
  endInsertRows();
}

void ZTabListModel::Clear() {
  beginResetModel();
  FLines.clear();
  FMarks.clear();
  endResetModel();
}

}  // namespace zp
