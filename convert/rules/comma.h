#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "setup_record.h"

namespace vantrelix {

// What an empty source line gives for every column.
inline constexpr std::string_view kBlankLinePlaceholder = "--Blank Line--";

// Column `column` (1-based) of a comma- or TAB-delimited line, with every
// double quote removed. Quotes toggle a "protected" state in which commas and
// TABs are text. Column 0 and absent columns give empty text; a column below
// 0 gives the first column; an empty line gives "--Blank Line--".
// The pass and the preview split each line once for all seven columns with
// LineColumns; this is the same rule for one column.
std::string Comma(std::string_view line, int32_t column);

// Whether `c` separates fields under `delimiter`.
bool SeparatesFields(FieldDelimiter delimiter, char c);

// One line split once for several columns: ColumnInto(n) gives what
// Comma(line, n) gives, without scanning the line again for every column.
// The line must stay alive while the object is used.
class LineColumns {
 public:
  // Which characters separate the columns: commas and TABs, or one of them.
  explicit LineColumns(FieldDelimiter delimiter = FieldDelimiter::kCommaOrTab);
  // Finds the delimiters that columns up to `maxColumn` need.
  void Split(std::string_view line, int32_t maxColumn);
  void ColumnInto(int32_t column, std::string& out) const {
    out.clear();
    AppendColumn(column, out);
  }
  // Appends the column's text to `out`.
  void AppendColumn(int32_t column, std::string& out) const;
  // The column's bytes as they stand in the line; `quoted` tells that they
  // hold double quotes, which the column's text leaves out.
  std::string_view RawColumn(int32_t column, bool& quoted) const;
  // How many columns the split found (up to maxColumn).
  size_t Count() const { return line_.empty() ? 0 : delimiters_.size() + 1; }

 private:
  char first_, second_;  // the separating characters (the same one twice, or comma and TAB)
  std::string_view line_;
  // Offsets of the delimiters outside quotes; 32 bits, since the reader caps
  // a line far below 4 GiB and a line of delimiters would need 8 bytes each.
  std::vector<uint32_t> delimiters_;
  uint64_t quotedColumns_ = 0;  // bit k: column k+1 holds a quote (k < 63); bit 63: any later
};

}  // namespace vantrelix
