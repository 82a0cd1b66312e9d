#pragma once
#include <QAbstractListModel>
#include <QString>
#include <cstdint>
#include <vector>

namespace zp {

// How a line stands out beside its words: a failed route, a key not received.
enum class LineMark : std::uint8_t { None, Failed };

// The lines of one list box. Appending is constant time whatever the list holds; marks
// take room only once a line is marked.
class ZTabListModel final : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  void Append(QString line, LineMark mark = LineMark::None);
  // Appends every line in one insertion, so views lay out and repaint once.
  void Append(std::vector<QString>&& lines);
  void Clear();
  const QString& Line(int row) const { return FLines[static_cast<std::size_t>(row)]; }
  LineMark Mark(int row) const;
  int Count() const { return static_cast<int>(FLines.size()); }

 private:
  std::vector<QString> FLines;
  std::vector<LineMark> FMarks;  // as long as up to the last marked line
};

}  // namespace zp
