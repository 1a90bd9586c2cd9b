#include "comma.h"

#include <algorithm>
#include <cstring>

#include "byte_scan.h"

namespace vantrelix {

namespace {

constexpr char kQuote = '"';

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

namespace {

// The bytes of sixteen that a plain line's scan looks at, a mask each (bit
// i for byte i): quotes, the first separating character, and control
// characters (line ends, Ctrl-Z and TAB among them), the first separating
// character left out. Three looks a byte: a TAB that separates is told
// from the other control characters byte by byte, as few as they are.
struct BlockMasks {
  uint32_t quotes, delimiters, control;
};
class PlainLineMasks {
 public:
#if defined(__SSE2__)
  explicit PlainLineMasks(char a)
      : a_(_mm_set1_epi8(a)), quote_(_mm_set1_epi8(kQuote)), lastControl_(_mm_set1_epi8(31)) {}
#else
  explicit PlainLineMasks(char a) : a_(a) {}
#endif
  // Thirty-two bytes at once.
  BlockMasks Of32(const char* p) const {
    const BlockMasks low = Of(p), high = Of(p + kScanBlock);
    const BlockMasks m{low.quotes | high.quotes << 16, low.delimiters | high.delimiters << 16,
                       low.control | high.control << 16};
    return {m.quotes, m.delimiters, m.control & ~m.delimiters};
  }

 private:
  BlockMasks Of(const char* p) const {
#if defined(__SSE2__)
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(block, lastControl_), block);
    return {static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, quote_))),
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, a_))),
            static_cast<uint32_t>(_mm_movemask_epi8(control))};
#else
    BlockMasks m{0, 0, 0};
    for (size_t i = 0; i < kScanBlock; ++i) {
      const char c = p[i];
      if (c == kQuote) m.quotes |= 1u << i;
      if (c == a_) m.delimiters |= 1u << i;
      if (static_cast<unsigned char>(c) <= 31) m.control |= 1u << i;
    }
    return m;
#endif
  }

#if defined(__SSE2__)
  __m128i a_, quote_, lastControl_;
#else
  char a_;
#endif
};

}  // namespace

[[gnu::always_inline]] inline uint32_t* LineColumns::Prepare(int32_t maxColumn, size_t most) {
  quotedColumns_ = 0;
  // Column n ends at the n-th delimiter: find up to maxColumn of them, and
  // no more than `most` bytes can hold (a stored column far out costs
  // neither memory nor time).
  wanted_ = std::min(maxColumn < 1 ? size_t{1} : static_cast<size_t>(maxColumn), most);
  if (bounds_.size() < wanted_ + 3) bounds_.resize(wanted_ + 3);
  return bounds_.data() + 1;
}

[[gnu::always_inline]] inline void LineColumns::Finish(std::string_view line, size_t count) {
  line_ = line;
  count_ = count;
  const auto size = static_cast<uint32_t>(line.size());
  // The last column ends with the line; the one after it is empty, and
  // RawColumnAt asks no further.
  bounds_[count + 1] = size;
  bounds_[count + 2] = size;
}

namespace {

// Bit i: the parity of bits 0 to i of `x`.
inline uint32_t PrefixParity32(uint32_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  return x;
}

}  // namespace

size_t LineColumns::SplitPlainLine(std::string_view bytes, int32_t maxColumn, size_t& size) {
  uint32_t* const found = Prepare(maxColumn, bytes.size() + 1);
  const size_t wanted = wanted_;
  const char* const data = bytes.data();
  const PlainLineMasks masks(first_);
  // A second separating character is a TAB, a control character.
  const bool tabSeparates = second_ != first_;
  size_t count = 0;
  uint32_t open = 0;  // all ones while a quote is open
  // One block of 32 bytes from `at` (only those in `before` read): 0 while
  // the line goes on, then the bytes it takes, or -1 for no plain line.
  const auto block = [&](const char* bytesAt, size_t at, uint32_t before)
                         __attribute__((always_inline))
                             ->ptrdiff_t {
    const BlockMasks m = masks.Of32(bytesAt);
    uint32_t delimiters = m.delimiters;
    // The line's end: the first LF, or CR LF. A lone CR or a Ctrl-Z is no
    // plain line; any other control character is text.
    unsigned endAt = 0, endSize = 0;
    for (uint32_t c = m.control & before; c != 0; c &= c - 1) {
      const auto k = static_cast<unsigned>(__builtin_ctz(c));
      const char ch = bytesAt[k];
      if (tabSeparates && ch == '\t') {
        delimiters |= c & (0 - c);
        continue;
      }
      if (ch == '\n') {
        endSize = 1;
      } else if (ch == '\r') {
        if (at + k + 1 >= bytes.size() || data[at + k + 1] != '\n') return -1;
        endSize = 2;
      } else if (ch == kEndMark) {
        return -1;
      } else {
        continue;
      }
      endAt = k;
      before = (uint32_t{1} << k) - 1;
      break;
    }
    uint32_t quotes = m.quotes & before;
    delimiters &= before;
    if (quotes == 0 && open == 0) {
      for (; delimiters != 0 && count < wanted; delimiters &= delimiters - 1) {
        found[count++] = static_cast<uint32_t>(at + static_cast<size_t>(__builtin_ctz(delimiters)));
      }
    } else {
      // Delimiters count outside quotes only; a quote marks its column, the
      // one that the next delimiter ends.
      const uint32_t within = open ^ PrefixParity32(quotes);
      open = (within >> 31) != 0 ? ~uint32_t{0} : 0;
      for (delimiters &= ~within; delimiters != 0 && count < wanted; delimiters &= delimiters - 1) {
        const uint32_t below = quotes & ((delimiters & (0 - delimiters)) - 1);
        if (below != 0) {
          quotedColumns_ |= uint64_t{1} << std::min<size_t>(count, 63);
          quotes &= ~below;
        }
        found[count++] = static_cast<uint32_t>(at + static_cast<size_t>(__builtin_ctz(delimiters)));
      }
      if (quotes != 0 && count < wanted) {
        quotedColumns_ |= uint64_t{1} << std::min<size_t>(count, 63);
      }
    }
    if (endSize == 0) return 0;
    if (open != 0) return -1;  // a quote left open: the record goes on
    size = at + endAt;
    Finish(std::string_view(data, size), count);
    return static_cast<ptrdiff_t>(size + endSize);
  };
  constexpr size_t kStep = 2 * kScanBlock;
  size_t at = 0;
  for (; at + kStep <= bytes.size(); at += kStep) {
    if (const ptrdiff_t taken = block(data + at, at, ~uint32_t{0}); taken != 0) {
      return taken < 0 ? 0 : static_cast<size_t>(taken);
    }
  }
  if (at < bytes.size()) {
    // The last bytes read ahead, copied so that no load passes their end.
    const size_t n = bytes.size() - at;
    char last[kStep] = {};
    std::memcpy(last, data + at, n);
    if (const ptrdiff_t taken = block(last, at, (uint32_t{1} << n) - 1); taken != 0) {
      return taken < 0 ? 0 : static_cast<size_t>(taken);
    }
  }
  return 0;  // the line goes on past what was read ahead
}

void LineColumns::Split(std::string_view line, int32_t maxColumn) {
  uint32_t* const found = Prepare(maxColumn, line.size() + 1);
  const size_t wanted = wanted_;
  size_t count = 0;
  bool quoted = false;
  // Returns false once enough delimiters are found.
  const auto visit = [&](size_t i) __attribute__((always_inline)) {
    if (line[i] == kQuote) {
      quoted = !quoted;
      quotedColumns_ |= uint64_t{1} << std::min<size_t>(count, 63);
    } else if (!quoted) {
      found[count++] = static_cast<uint32_t>(i);
      if (count == wanted) return false;
    }
    return true;
  };
  const auto scan = [&] {
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
  };
  scan();
  Finish(line, count);
}

char* CopyWithoutQuotes(char* to, std::string_view span) {
  while (!span.empty()) {
    const auto* quote = static_cast<const char*>(std::memchr(span.data(), kQuote, span.size()));
    const size_t n = quote != nullptr ? static_cast<size_t>(quote - span.data()) : span.size();
    std::memcpy(to, span.data(), n);
    to += n;
    span.remove_prefix(quote != nullptr ? n + 1 : n);
  }
  return to;
}

void AppendColumnText(std::string& out, std::string_view raw, bool quoted) {
  if (quoted) {
    const size_t before = out.size();
    out.resize(before + raw.size());
    out.resize(static_cast<size_t>(CopyWithoutQuotes(out.data() + before, raw) - out.data()));
  } else {
    out.append(raw);
  }
}

void LineColumns::AppendColumn(int32_t column, std::string& out) const {
  bool quoted;
  const std::string_view raw = RawColumn(column, quoted);
  AppendColumnText(out, raw, quoted);
}

std::vector<std::string> ColumnTexts(std::string_view line, FieldDelimiter delimiter,
                                     int32_t most) {
  LineColumns split(delimiter);
  split.Split(line, most);
  std::vector<std::string> out;
  std::string text;
  for (int32_t c = 1; c <= most; ++c) {
    split.ColumnInto(c, text);
    out.push_back(text);
  }
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

std::string Comma(std::string_view line, int32_t column) {
  LineColumns split;
  split.Split(line, column);
  std::string out;
  split.ColumnInto(column, out);
  return out;
}

}  // namespace vantrelix
