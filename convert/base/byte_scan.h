#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrelix {

// The one digit test of the engine: ASCII only, whatever the locale.
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline std::string AsciiLowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}
// A path's last part: the file's name without its folder.
inline std::string FileNameOf(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}
// Digits and nothing else, at least one.
inline bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return !text.empty();
}
// The text without the blanks (spaces) at either end.
inline std::string_view WithoutEndBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}
// The text without blanks or TABs at either end: a heading or value as a
// reader sees it, where a TAB is no delimiter.
inline std::string_view WithoutEndBlanksOrTabs(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Ctrl-Z: a text file ends at it.
inline constexpr char kEndMark = 26;

// The splitter and the line reader look for a few bytes among many; sixteen
// at a time where the processor can.
inline constexpr size_t kScanBlock = 16;

// Bit i is set when byte i of the sixteen at `p` is `a`, `b` or `c`.
inline unsigned MatchMask16(const char* p, char a, char b, char c) {
#if defined(__SSE2__)
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(a)),
                                                 _mm_cmpeq_epi8(block, _mm_set1_epi8(b))),
                                    _mm_cmpeq_epi8(block, _mm_set1_epi8(c)));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
#else
  unsigned mask = 0;
  for (size_t i = 0; i < kScanBlock; ++i) {
    if (p[i] == a || p[i] == b || p[i] == c) mask |= 1u << i;
  }
  return mask;
#endif
}

}  // namespace vantrelix
