#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "preview_lines.h"

namespace vantrelix {

// Bytes as an operator reads them: UTF-8 when they are valid UTF-8, else
// Windows-1252, the code page of most exports. For display only.
QString DisplayText(std::string_view bytes);

// One preview column: a column of the shared lines, split only for the rows
// on screen, or taken from the lines' held date and time columns, so that a
// preview of a million lines stays small and quick to fill.
class PreviewColumnModel : public QAbstractListModel {
 public:
  // How the conversion pass deals with a row of the date or time column.
  enum class Reading : uint8_t { kNothingToRead, kRead, kLeftAsItCame, kDoubtful };

  // The sign before a row that the pass leaves as it came ("!") or reads
  // with doubt ("?"), so that it shows without its tint too; empty for
  // others. Qt::AccessibleDescriptionRole gives the reason in words.
  static constexpr int kMarkRole = Qt::UserRole + 1;

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Shows column `column` of `lines` from line `first` on, as `rows` rows
  // (rows past the last line are empty lines, as the pass reads them); the
  // lines must outlive the model or the next call. Null: no rows.
  void Show(const PreviewLines* lines, size_t first, int rows, int32_t column);
  // The row's text, by the pass's splitting rule.
  std::string Row(int row) const;
  // Every row's text in turn, each line split once. `id` numbers the
  // distinct texts of a held column (equal texts, equal ids); -1 otherwise.
  void ForEachRow(
      const std::function<void(int row, std::string_view text, int32_t id)>& visit) const;
  int Rows() const { return rows_; }

  // Marks the rows by how the pass reads them; `writes` gives what the pass
  // writes for a row's text (its tooltip), `doubtWhy` why a doubtful row is
  // doubtful. No readings: no marks.
  void SetReadings(std::vector<Reading> readings,
                   std::function<std::string(std::string_view)> writes, QString doubtWhy = {});
  Reading ReadingOf(int row) const;

 private:
  const PreviewLines* lines_ = nullptr;
  size_t first_ = 0;
  int rows_ = 0;
  int32_t column_ = 0;
  std::vector<Reading> readings_;
  std::function<std::string(std::string_view)> writes_;
  QString doubtWhy_;
};

}  // namespace vantrelix
