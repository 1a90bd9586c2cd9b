#pragma once

#include <algorithm>
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

// Appends a column's text, given its bytes as LineColumns::RawColumn gives
// them: with `quoted`, the double quotes left out.
void AppendColumnText(std::string& out, std::string_view raw, bool quoted);
// Copies `span` to `to` with its double quotes left out; gives the end.
char* CopyWithoutQuotes(char* to, std::string_view span);

// The texts of a line's columns by the same rule, up to the last one that is
// not empty, at most `most` of them.
inline constexpr int32_t kMostColumnTexts = 64;
std::vector<std::string> ColumnTexts(std::string_view line,
                                     FieldDelimiter delimiter = FieldDelimiter::kCommaOrTab,
                                     int32_t most = kMostColumnTexts);

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
  // Splits the plain line that `bytes` begins with, as Split does, finding
  // its end in the same scan: a line wholly in `bytes`, ended by LF or CR LF,
  // with no other CR, no Ctrl-Z and no quote left open at its end. Gives the
  // bytes it takes, its end included, and the line's size; 0 for a line
  // that is not plain, leaving the split to Split.
  size_t SplitPlainLine(std::string_view bytes, int32_t maxColumn, size_t& size);
  void ColumnInto(int32_t column, std::string& out) const {
    out.clear();
    AppendColumn(column, out);
  }
  // Appends the column's text to `out`.
  void AppendColumn(int32_t column, std::string& out) const;
  // The column's bytes as they stand in the line; `quoted` tells that they
  // hold double quotes, which the column's text leaves out.
  std::string_view RawColumn(int32_t column, bool& quoted) const {
    quoted = false;
    if (line_.empty()) return kBlankLinePlaceholder;
    if (column == 0) return {};
    const size_t index = column < 1 ? 0 : static_cast<size_t>(column) - 1;  // delimiters before it
    return RawColumnAt(index, quoted);
  }
  // The same for the column after `index` delimiters: what a pass asks of
  // every line, its columns checked once.
  std::string_view RawColumnAt(size_t index, bool& quoted) const {
    if (line_.empty()) [[unlikely]] {
      quoted = false;
      return kBlankLinePlaceholder;
    }
    // A column that starts with a delimiter, or past the line's end, is empty.
    if (index > count_ + 1) {
      quoted = false;
      return {};
    }
    const uint32_t start = bounds_[index] + 1, end = bounds_[index + 1];
    if (start >= end) {
      quoted = false;
      return {};
    }
    quoted = (quotedColumns_ >> std::min<size_t>(index, 63) & 1) != 0;
    return std::string_view(line_.data() + start, end - start);
  }
  // The line split last.
  std::string_view Line() const { return line_; }
  // How many columns the split found (up to maxColumn).
  size_t Count() const { return line_.empty() ? 0 : count_ + 1; }

 private:
  char first_, second_;  // the separating characters (the same one twice, or comma and TAB)
  std::string_view line_;
  // Where the columns end: bounds_[k] for k from 1 to count_ the offset of
  // the k-th delimiter outside quotes, then the line's size twice;
  // bounds_[0] is one before the line, so that column k runs from
  // bounds_[k - 1] + 1 to bounds_[k]. 32 bits, since the reader caps a line
  // far below 4 GiB. Only grows, so that a pass sizes it once.
  std::vector<uint32_t> bounds_{UINT32_MAX};
  size_t count_ = 0;   // delimiters found
  size_t wanted_ = 0;  // the most looked for
  // Sizes bounds_ for `maxColumn` delimiters, at most `most`; gives where
  // they go.
  uint32_t* Prepare(int32_t maxColumn, size_t most);
  // Ends the split of a line of `size` bytes with `count` delimiters found.
  void Finish(std::string_view line, size_t count);
  uint64_t quotedColumns_ = 0;  // bit k: column k+1 holds a quote (k < 63); bit 63: any later
};

}  // namespace vantrelix
