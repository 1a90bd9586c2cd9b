#pragma once

#include <QAbstractListModel>

#include <string>
#include <string_view>
#include <vector>

namespace vantrelix {

// One preview column: the rows' bytes in one buffer, turned into text only
// for the rows on screen, so that a preview of a million lines stays small
// and quick to fill.
class PreviewColumnModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Rows are gathered first and shown in one batch.
  void Append(std::string_view row);
  void Publish();
  void Clear();
  std::string Row(int row) const;

 private:
  std::string bytes_;
  std::vector<size_t> ends_;  // end offset of every gathered row
  int shown_ = 0;
};

}  // namespace vantrelix
