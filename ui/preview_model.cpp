#include "preview_model.h"

namespace vantrelix {

int PreviewColumnModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_;
}

QVariant PreviewColumnModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_) return {};
  const std::string row = Row(index.row());
  return QString::fromLocal8Bit(row.data(), static_cast<qsizetype>(row.size()));
}

void PreviewColumnModel::Append(std::string_view row) {
  bytes_.append(row);
  ends_.push_back(bytes_.size());
}

void PreviewColumnModel::Publish() {
  const int total = static_cast<int>(ends_.size());
  if (total == shown_) return;
  beginInsertRows(QModelIndex(), shown_, total - 1);
  shown_ = total;
  endInsertRows();
}

void PreviewColumnModel::Clear() {
  beginResetModel();
  bytes_.clear();
  ends_.clear();
  shown_ = 0;
  endResetModel();
}

std::string PreviewColumnModel::Row(int row) const {
  const size_t begin = row == 0 ? 0 : ends_[static_cast<size_t>(row) - 1];
  return bytes_.substr(begin, ends_[static_cast<size_t>(row)] - begin);
}

}  // namespace vantrelix
