#include "comma.h"

#include <algorithm>
#include <cstring>

#include "byte_scan.h"

namespace vantrelix {

namespace {

constexpr char kQuote = '"';

// Appends the span with its double quotes left out.
void AppendWithoutQuotes(std::string& out, std::string_view span) {
  while (!span.empty()) {
    const auto* quote = static_cast<const char*>(std::memchr(span.data(), kQuote, span.size()));
    const size_t n = quote != nullptr ? static_cast<size_t>(quote - span.data()) : span.size();
    out.append(span.data(), n);
    span.remove_prefix(quote != nullptr ? n + 1 : n);
  }
}

char SeparatingCharacter(FieldDelimiter delimiter) {
  switch (delimiter) {
    case FieldDelimiter::kTab:
      return '\t';
    case FieldDelimiter::kSemicolon:
      return ';';
    case FieldDelimiter::kPipe:
      return '|';
    case FieldDelimiter::kCommaOrTab:
    case FieldDelimiter::kComma:
      break;
  }
  return ',';
}

}  // namespace

bool SeparatesFields(FieldDelimiter delimiter, char c) {
  return c == SeparatingCharacter(delimiter) ||
         (delimiter == FieldDelimiter::kCommaOrTab && c == '\t');
}

LineColumns::LineColumns(FieldDelimiter delimiter)
    : first_(SeparatingCharacter(delimiter)),
      second_(delimiter == FieldDelimiter::kCommaOrTab ? '\t' : first_) {}

void LineColumns::Split(std::string_view line, int32_t maxColumn) {
  line_ = line;
  delimiters_.clear();
  quotedColumns_ = 0;
  // Column n ends at the n-th delimiter: find up to maxColumn of them.
  const size_t wanted = maxColumn < 1 ? 1 : static_cast<size_t>(maxColumn);
  bool quoted = false;
  // Returns false once enough delimiters are found.
  const auto visit = [&](size_t i) {
    const char c = line[i];
    if (c == kQuote) {
      quoted = !quoted;
      quotedColumns_ |= uint64_t{1} << std::min<size_t>(delimiters_.size(), 63);
    } else if (!quoted) {
      delimiters_.push_back(static_cast<uint32_t>(i));
      if (delimiters_.size() == wanted) return false;
    }
    return true;
  };
  size_t i = 0;
  // Only the separating characters and quotes need a look.
  for (; i + kScanBlock <= line.size(); i += kScanBlock) {
    for (unsigned mask = MatchMask16(line.data() + i, first_, second_, kQuote); mask != 0;
         mask &= mask - 1) {
      if (!visit(i + static_cast<size_t>(__builtin_ctz(mask)))) return;
    }
  }
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if ((c == kQuote || c == first_ || c == second_) && !visit(i)) return;
  }
}

std::string_view LineColumns::RawColumn(int32_t column, bool& quoted) const {
  quoted = false;
  if (line_.empty()) return kBlankLinePlaceholder;
  if (column == 0) return {};
  const size_t index = column < 1 ? 0 : static_cast<size_t>(column) - 1;  // delimiters before it
  if (index > delimiters_.size()) return {};
  const size_t start = index == 0 ? 0 : delimiters_[index - 1] + 1;
  const size_t end = index < delimiters_.size() ? delimiters_[index] : line_.size();
  // A column that starts with a delimiter, or past the line's end, is empty.
  if (start >= end) return {};
  quoted = (quotedColumns_ >> std::min<size_t>(index, 63) & 1) != 0;
  return line_.substr(start, end - start);
}

void LineColumns::AppendColumn(int32_t column, std::string& out) const {
  bool quoted;
  const std::string_view span = RawColumn(column, quoted);
  if (quoted) {
    AppendWithoutQuotes(out, span);
  } else {
    out.append(span);
  }
}

std::string Comma(std::string_view line, int32_t column) {
  LineColumns split;
  split.Split(line, column);
  std::string out;
  split.ColumnInto(column, out);
  return out;
}

}  // namespace vantrelix
