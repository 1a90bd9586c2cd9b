#include "comma.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrelix {

namespace {

constexpr char kQuote = '"';

bool IsDelimiter(char c) {
  return c == ',' || c == '\t';
}

// Appends the span with its double quotes left out.
void AppendWithoutQuotes(std::string& out, std::string_view span) {
  while (!span.empty()) {
    const auto* quote = static_cast<const char*>(std::memchr(span.data(), kQuote, span.size()));
    const size_t n = quote != nullptr ? static_cast<size_t>(quote - span.data()) : span.size();
    out.append(span.data(), n);
    span.remove_prefix(quote != nullptr ? n + 1 : n);
  }
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
#if defined(__SSE2__)
  // Sixteen bytes at a time: only commas, TABs and quotes need a look.
  const __m128i comma = _mm_set1_epi8(','), tab = _mm_set1_epi8('\t'),
                quote = _mm_set1_epi8(kQuote);
  for (; i + 16 <= line.size(); i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, comma), _mm_cmpeq_epi8(block, tab)),
                     _mm_cmpeq_epi8(block, quote));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
      if (!visit(i + static_cast<size_t>(__builtin_ctz(mask)))) return;
    }
  }
#endif
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if ((c == kQuote || IsDelimiter(c)) && !visit(i)) return;
  }
}

void LineColumns::AppendColumn(int32_t column, std::string& out) const {
  if (line_.empty()) {
    out.append(kBlankLinePlaceholder);
    return;
  }
  if (column == 0) return;
  const size_t index = column < 1 ? 0 : static_cast<size_t>(column) - 1;  // delimiters before it
  if (index > delimiters_.size()) return;
  const size_t start = index == 0 ? 0 : delimiters_[index - 1] + 1;
  const size_t end = index < delimiters_.size() ? delimiters_[index] : line_.size();
  // A column that starts with a delimiter, or past the line's end, is empty.
  if (start >= end) return;
  const std::string_view span = line_.substr(start, end - start);
  if ((quotedColumns_ >> std::min<size_t>(index, 63) & 1) == 0) {
    out.append(span);
  } else {
    AppendWithoutQuotes(out, span);
  }
}

std::string Comma(std::string_view line, int32_t column) {
  std::string out;
  CommaInto(line, column, out);
  return out;
}

}  // namespace vantrelix
