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

// The source's lines as the preview read them, held once for all seven
// columns: a click on a spinner, the header box or a layout box shows other
// columns of the same lines without reading the file again.
class PreviewLines {
 public:
  void Clear();
  void Append(std::string_view line);
  // Room for `bytes` of lines, so that a big file is not copied as it grows.
  void Reserve(size_t bytes) { bytes_.reserve(bytes); }
  size_t Count() const { return ends_.size(); }
  std::string_view Line(size_t i) const {
    const size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }

 private:
  std::string bytes_;
  std::vector<size_t> ends_;  // end offset of every line
};

// One preview column: a column of the shared lines, split only for the rows
// on screen and for the passes over the date and time columns, so that a
// preview of a million lines stays small and quick to fill.
class PreviewColumnModel : public QAbstractListModel {
 public:
  // How the conversion pass deals with a row of the date or time column.
  enum class Reading : uint8_t { kNothingToRead, kRead, kLeftAsItCame, kDoubtful };

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Shows column `column` of `lines` from line `first` on, as `rows` rows
  // (rows past the last line are empty lines, as the pass reads them); the
  // lines must outlive the model or the next call. Null: no rows.
  void Show(const PreviewLines* lines, size_t first, int rows, int32_t column);
  // The row's text, by the pass's splitting rule.
  std::string Row(int row) const;
  // Every row's text in turn, each line split once.
  void ForEachRow(const std::function<void(int row, std::string_view text)>& visit) const;
  int Rows() const { return rows_; }

  // Marks the rows by how the pass reads them; `writes` gives what the pass
  // writes for a row's text (its tooltip). No readings: no marks.
  void SetReadings(std::vector<Reading> readings,
                   std::function<std::string(std::string_view)> writes);
  Reading ReadingOf(int row) const;

 private:
  const PreviewLines* lines_ = nullptr;
  size_t first_ = 0;
  int rows_ = 0;
  int32_t column_ = 0;
  std::vector<Reading> readings_;
  std::function<std::string(std::string_view)> writes_;
};

}  // namespace vantrelix
