#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "comma.h"

namespace vantrelix::testing {

// The column rule written plainly, one scan per column: the model that the
// one-scan splitter (and so Comma) is checked against.
inline std::string ModelComma(std::string_view line, int32_t column,
                              FieldDelimiter delimiter = FieldDelimiter::kCommaOrTab) {
  const auto isDelimiter = [delimiter](char c) {
    switch (delimiter) {
      case FieldDelimiter::kCommaOrTab:
        return c == ',' || c == '\t';
      case FieldDelimiter::kComma:
        return c == ',';
      case FieldDelimiter::kTab:
        return c == '\t';
      case FieldDelimiter::kSemicolon:
        return c == ';';
      case FieldDelimiter::kPipe:
        return c == '|';
    }
    return false;
  };
  if (line.empty()) return std::string(kBlankLinePlaceholder);
  if (column == 0) return {};
  // The column's first character: just past the (column-1)-th delimiter
  // outside quotes; the quote state runs on from the line's start.
  size_t start = 0;
  if (column >= 2) {
    int64_t seen = 0;
    bool quoted = false;
    size_t i = 0;
    for (; i < line.size(); ++i) {
      if (line[i] == '"') quoted = !quoted;
      if (!quoted && isDelimiter(line[i]) && ++seen == int64_t{column} - 1) break;
    }
    if (i + 1 >= line.size()) return {};  // absent, or the delimiter ends the line
    start = i + 1;
  }
  if (isDelimiter(line[start])) return {};
  std::string out;
  bool quoted = false;
  for (size_t i = start; i < line.size(); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else {
      out.push_back(line[i]);
    }
    if (i + 1 < line.size() && !quoted && isDelimiter(line[i + 1])) break;
  }
  return out;
}

}  // namespace vantrelix::testing
