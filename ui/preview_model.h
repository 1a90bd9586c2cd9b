#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrelix {

// Bytes as an operator reads them: UTF-8 when they are valid UTF-8, else
// Windows-1252, the code page of most exports. For display only.
QString DisplayText(std::string_view bytes);

// One preview column: the rows' bytes in one buffer, turned into text only
// for the rows on screen, so that a preview of a million lines stays small
// and quick to fill.
class PreviewColumnModel : public QAbstractListModel {
 public:
  // How the conversion pass deals with a row of the date or time column.
  enum class Reading : uint8_t { kNothingToRead, kRead, kLeftAsItCame, kDoubtful };

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Rows are gathered first and shown in one batch.
  void Append(std::string_view row);
  void Publish();
  void Clear();
  std::string Row(int row) const { return std::string(RowView(row)); }
  std::string_view RowView(int row) const;
  int GatheredRows() const { return static_cast<int>(ends_.size()); }

  // Marks the rows by how the pass reads them; `writes` gives what the pass
  // writes for a row's text (its tooltip). No readings: no marks.
  void SetReadings(std::vector<Reading> readings,
                   std::function<std::string(std::string_view)> writes);
  Reading ReadingOf(int row) const;

 private:
  std::string bytes_;
  std::vector<size_t> ends_;  // end offset of every gathered row
  int shown_ = 0;
  std::vector<Reading> readings_;
  std::function<std::string(std::string_view)> writes_;
};

}  // namespace vantrelix
