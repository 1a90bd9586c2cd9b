#include "comma.h"

namespace vantrelix {

namespace {

constexpr char kQuote = '"';

bool IsDelimiter(char c) {
  return c == ',' || c == '\t';
}

}  // namespace

void CommaInto(std::string_view line, int32_t column, std::string& out) {
  out.clear();
  if (line.empty()) {
    out.assign(kBlankLinePlaceholder);
    return;
  }
  if (column == 0) return;

  // Find the column's first character: just past the (column-1)-th delimiter
  // outside quotes. The quote state runs on from the line's start.
  size_t start = 0;
  if (column >= 2) {
    const int64_t wanted = int64_t{column} - 1;
    int64_t seen = 0;
    bool quoted = false;
    size_t i = 0;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (c == kQuote) quoted = !quoted;
      if (!quoted && IsDelimiter(c) && ++seen == wanted) break;
    }
    // Not enough delimiters, or the last one ends the line: the column is absent.
    if (i + 1 >= line.size()) return;
    start = i + 1;
  }
  if (IsDelimiter(line[start])) return;

  // Copy up to the next delimiter outside quotes. The column starts outside
  // quotes: right after a delimiter, or at the line start.
  bool quoted = false;
  for (size_t i = start; i < line.size(); ++i) {
    const char c = line[i];
    if (c == kQuote) {
      quoted = !quoted;
    } else {
      out.push_back(c);
    }
    if (i + 1 < line.size() && !quoted && IsDelimiter(line[i + 1])) break;
  }
}

std::string Comma(std::string_view line, int32_t column) {
  std::string out;
  CommaInto(line, column, out);
  return out;
}

}  // namespace vantrelix
