#include "fast_normalise.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "byte_scan.h"
#include "normalise.h"

namespace vantrelix {

namespace {

// Longer fields are never plain; the bound keeps the scratch texts on the stack.
constexpr size_t kLongestPlainField = 24;

// "00" to "99", to write two digits at once.
constexpr std::array<char, 200> kTwoDigits = [] {
  std::array<char, 200> digits{};
  for (int i = 0; i < 100; ++i) {
    digits[2 * i] = static_cast<char>('0' + i / 10);
    digits[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return digits;
}();

void PutTwoDigits(char* out, unsigned value) {
  std::memcpy(out, &kTwoDigits[2 * value], 2);
}

// Above 9 for anything but a digit.
unsigned DigitValue(char c) {
  return static_cast<unsigned char>(c) - unsigned{'0'};
}
// Reads the digits from `p` on. The texts read here always end in a
// character that is no digit (their NUL, a separator or a delimiter), so the
// run needs no bound. False unless it has one to four digits: the general
// reader takes at most four significant ones.
[[gnu::always_inline]] inline bool ReadNumber(const char*& p, unsigned& value, unsigned& digits) {
  unsigned v = DigitValue(p[0]), d;
  if (v > 9) return false;
  digits = 1;
  if ((d = DigitValue(p[1])) <= 9) {
    v = v * 10 + d, digits = 2;
    if ((d = DigitValue(p[2])) <= 9) {
      v = v * 10 + d, digits = 3;
      if ((d = DigitValue(p[3])) <= 9) {
        v = v * 10 + d, digits = 4;
        if (IsDigit(p[4])) return false;
      }
    }
  }
  p += digits;
  value = v;
  return true;
}

char* Put(char* out, std::string_view text) {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());  // an empty view may hold nullptr
  return out + text.size();
}
// A delimited part as DataDelimited gives it: one character gets a "0" in front.
char* PutPart(char* out, std::string_view part) {
  if (part.size() == 1) *out++ = '0';
  return Put(out, part);
}

// The first three parts of a text as DataDelimited takes them, in order,
// and whether anything follows them.
struct ThreeParts {
  std::string_view part[3];
  bool more = false;
};
ThreeParts SplitThree(std::string_view text, char delimiter) {
  ThreeParts p;
  size_t at = 0;
  for (std::string_view& part : p.part) {
    if (at >= text.size()) break;  // past the end: empty, and so are the next
    const size_t stop = text.find(delimiter, at);
    const size_t end = stop == std::string_view::npos ? text.size() : stop;
    part = text.substr(at, end - at);
    at = stop == std::string_view::npos ? end : stop + 1;
  }
  p.more = at < text.size();
  return p;
}

// Replaces the field by the eight characters of a written date or time in
// place, without the general assignment's bookkeeping.
[[gnu::always_inline]] inline void Overwrite(std::string& field, const char (&out)[8]) {
  if (field.size() > sizeof out) {
    field.erase(sizeof out);
  } else {
    while (field.size() < sizeof out) field.push_back(' ');
  }
  std::memcpy(field.data(), out, sizeof out);
}

// Date separators the shortcut reads: no digit, blank or NUL.
constexpr std::array<bool, 256> kPlainSeparator = [] {
  std::array<bool, 256> plain{};
  for (int c = 1; c < 256; ++c) plain[c] = !(c >= '0' && c <= '9') && c != ' ';
  return plain;
}();

// The month/day/year text of layouts 1 to 6, NUL-terminated, in `built`;
// its end, or nullptr for another layout.
char* BuildDateText(std::string_view f, int32_t layout, char delimiter, char* built) {
  char* end;
  switch (layout) {
    case 1:
    case 2:
    case kDayFirstLayout:
    case kMonthFirstLayout: {
      const ThreeParts parts = SplitThree(f, delimiter);
      if (parts.more) return nullptr;  // a fourth part, or blanks behind: the general rules
      const auto [p1, p2, p3] = parts.part;
      // Which part is the month, the day and the year.
      const std::string_view order[4][3] = {{p2, p3, p1}, {p3, p1, p2}, {p2, p1, p3}, {p1, p2, p3}};
      const auto& [month, day, year] = order[layout <= 2 ? layout - 1 : layout - 3];
      end = PutPart(built, month);
      *end++ = '/';
      end = PutPart(end, day);
      *end++ = '/';
      end = PutPart(end, year);
      break;
    }
    case 3:
    case 4: {
      // Exactly eight or six digits, the year with its century.
      const size_t year = layout == 3 ? 4 : 2;
      if (f.size() != year + 4 || !AllDigits(f)) return nullptr;
      end = Put(built, f.substr(year, 2));
      *end++ = '/';
      end = Put(end, f.substr(year + 2, 2));
      *end++ = '/';
      end = Put(end, f.substr(0, year));
      break;
    }
    default:
      return nullptr;
  }
  *end = '\0';
  return end;
}

// The text the shortcut reads a date from, and how: the field itself by the
// regional order and separator, or the month-first text a layout builds.
struct PlainDateText {
  const char* text;
  const char* end;
  char separator;
  DateFieldOrder order;
};

// Whether the shortcut takes the date at all, and if so from which text;
// `built` holds a layout's text.
[[gnu::always_inline]] inline bool PlainDateTextOf(const std::string& field, int32_t layout,
                                                   char delimiter, const RegionalSettings& s,
                                                   char (&built)[kLongestPlainField + 8],
                                                   PlainDateText& in) {
  const char sep = s.dateSeparatorChar;  // the one written
  const std::string& pattern = s.shortDatePattern;
  const char patternStart = pattern.c_str()[0];  // NUL for none
  // A NUL separator writes a shorter date.
  if (sep == '\0') return false;

  // The month/day/year text, NUL-terminated like the field.
  in.text = field.c_str();
  in.end = in.text + field.size();
  in.separator = '/';
  in.order = DateFieldOrder::kMonthFirst;
  if (layout == 0) {
    // The field as it came, by the regional order and separator; a blank or
    // digit separator follows rules of its own.
    if (sep != '/' && !kPlainSeparator[static_cast<unsigned char>(sep)]) return false;
    in.separator = sep;
    // Mostly the pattern's first letter decides.
    const char lead = static_cast<char>(patternStart | 0x20);
    in.order = lead == 'm'   ? DateFieldOrder::kMonthFirst
               : lead == 'd' ? DateFieldOrder::kDayFirst
               : lead == 'y' ? DateFieldOrder::kYearFirst
                             : DateFieldOrderOf(pattern);
  } else {
    // The text a layout builds is read as it was built: month first, "/".
    if (field.size() > kLongestPlainField ||
        !(in.end = BuildDateText(field, layout, delimiter, built))) {
      return false;
    }
    in.text = built;
  }
  return true;
}

[[gnu::always_inline]] inline bool PlainDate(std::string& field, int32_t layout, char delimiter,
                                             const RegionalSettings& s, int currentYear) {
  char built[kLongestPlainField + 8];
  PlainDateText in;
  if (!PlainDateTextOf(field, layout, delimiter, s, built, in)) return false;
  const char* const text = in.text;
  const char* const textEnd = in.end;
  const char readSep = in.separator;
  const DateFieldOrder order = in.order;
  const char sep = s.dateSeparatorChar;  // the one written

  // Two or three numbers with the separator between them and nothing else.
  const char* p = text;
  unsigned n1, n2, n3 = 0, digits1, digits2, digits3 = 0;
  if (!ReadNumber(p, n1, digits1) || *p++ != readSep || !ReadNumber(p, n2, digits2)) {
    return false;
  }
  const bool three = p != textEnd;
  if (three && textEnd - p == 5 && *p == readSep && IsDigit(p[1]) && IsDigit(p[2]) &&
      IsDigit(p[3]) && IsDigit(p[4])) {  // mostly a four-digit year ends the text
    n3 =
        DigitValue(p[1]) * 1000 + DigitValue(p[2]) * 100 + DigitValue(p[3]) * 10 + DigitValue(p[4]);
    digits3 = 4;
  } else if (three && (*p++ != readSep || !ReadNumber(p, n3, digits3) || p != textEnd)) {
    return false;
  }

  DateNumbers date = three ? PlaceDateNumbers(order, n1, digits1, n2, n3, digits3)
                           : PlaceDateNumbers(order, n1, n2, currentYear);
  if (three && date.yearDigits <= 2) {
    date.year = PlaceShortYear(date.year, currentYear, s.centuryWindowYears);
  }
  const int64_t year = date.year;
  const unsigned month = date.month, day = date.day;
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month - 1 >= 12) return false;
  if (day - 1 >= kDays[month - 1] && !(month == 2 && day == 29 && IsLeapYear(year))) return false;

  char out[8];
  PutTwoDigits(out, month);
  out[2] = sep;
  PutTwoDigits(out + 3, day);
  out[5] = sep;
  PutTwoDigits(out + 6, static_cast<unsigned>(year) % 100);  // year is 1 to 9999 here
  Overwrite(field, out);
  return true;
}

// Designators that read as "am" and "pm" without regard to case, or none
// (the literal AM and PM are always tried): what nearly every locale has.
bool IsPlainDesignator(const std::string& word, char first) {
  if (word.empty()) return true;
  return word.size() == 2 && (word[0] | 0x20) == first && (word[1] | 0x20) == 'm';
}
[[gnu::always_inline]] inline bool PlainDesignators(const RegionalSettings& s) {
  const std::string& am = s.amText;
  const std::string& pm = s.pmText;
  if (am.size() != 2 || pm.size() != 2) [[unlikely]] {
    return IsPlainDesignator(am, 'a') && IsPlainDesignator(pm, 'p');
  }
  // The usual case, two letters at a time.
  constexpr auto kAm = std::bit_cast<uint16_t>(std::array<char, 2>{'a', 'm'});
  constexpr auto kPm = std::bit_cast<uint16_t>(std::array<char, 2>{'p', 'm'});
  uint16_t a, p;
  std::memcpy(&a, am.data(), 2);
  std::memcpy(&p, pm.data(), 2);
  return (a | 0x2020) == kAm && (p | 0x2020) == kPm;
}

// Delimiters that cannot stand inside the hour, the minutes or a designator.
constexpr std::array<bool, 256> kPlainDelimiter = [] {
  std::array<bool, 256> plain{};
  for (int c = 1; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    plain[c] = !IsAsciiLetter(ch) && !IsDigit(ch) && ch != ' ';
  }
  return plain;
}();

// 0 to 23 on the 12-hour clock.
constexpr unsigned kHour12[24] = {12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
                                  12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

// Reads what follows the minutes in the candidate's minute piece: blanks and
// at most one "am" or "pm" (any case), or a lone a or p that `complete` turns
// into one. `atEnd` says where the piece ends; the piece is followed by a
// character that is neither a blank nor a letter. Gives 0 for none, 1 for am,
// 2 for pm, -1 for anything else.
template <typename AtEnd>
[[gnu::always_inline]] inline int ReadDesignator(const char*& p, AtEnd atEnd, bool complete) {
  while (*p == ' ') ++p;
  const char letter = static_cast<char>(*p | 0x20);
  if (letter != 'a' && letter != 'p') return atEnd(p) ? 0 : -1;
  if (p[1] == '.' || ((p[1] | 0x20) == 'm' && p[2] == '.')) return -1;  // "a.m.": the general rules
  if ((p[1] | 0x20) == 'm') {
    p += 2;
  } else if (complete && atEnd(p + 1)) {
    ++p;
  } else {
    return -1;
  }
  while (*p == ' ') ++p;
  return atEnd(p) ? 1 + (letter == 'p') : -1;
}

// The hour, the minutes and the designator (0 none, 1 am, 2 pm, -1 one not
// read) of the field by a time layout; false for a field the shortcut leaves.
[[gnu::always_inline]] inline bool ReadPlainTime(const std::string& field, int32_t layout,
                                                 char delimiter, unsigned& h, unsigned& m,
                                                 int& designator) {
  const char* const begin = field.c_str();
  const char* const end = begin + field.size();
  const char* p = begin;
  unsigned digits;
  const size_t size = field.size();
  const char* const q = begin + (size == 8);  // "9:30 am" and "10:30 pm" in one look
  if (static_cast<uint32_t>(layout) <= 4 && (size == 7 || size == 8) &&
      (size == 7 || IsDigit(begin[0])) && IsDigit(q[0]) && q[1] == delimiter && IsDigit(q[2]) &&
      IsDigit(q[3]) && q[4] == ' ' && ((q[5] | 0x20) == 'a' || (q[5] | 0x20) == 'p') &&
      (q[6] | 0x20) == 'm') {
    h = (size == 8 ? DigitValue(begin[0]) * 10 : 0) + DigitValue(q[0]);
    m = DigitValue(q[2]) * 10 + DigitValue(q[3]);
    designator = (q[5] | 0x20) == 'a' ? 1 : 2;
  } else if (static_cast<uint32_t>(layout) <= 4 || layout == 10) {
    // The hour piece: one to four digits up to the first delimiter (which is
    // never the NUL after the field). The minute piece runs to the next one.
    // Putting "0" before a piece that starts with a digit ("5", "5 pm")
    // changes nothing read.
    if (!ReadNumber(p, h, digits) || *p++ != delimiter || !ReadNumber(p, m, digits)) return false;
    if (*p == delimiter && IsDigit(p[1])) {
      // Seconds: read, and dropped from what is written.
      unsigned seconds;
      ++p;
      if (!ReadNumber(p, seconds, digits) || seconds > 59) return false;
      if (*p != ' ' && *p != '\0' && (*p | 0x20) != 'a' && (*p | 0x20) != 'p') return false;
    }
    const auto atEnd = [end](const char* at) { return at == end; };
    designator = ReadDesignator(p, atEnd, layout <= 4);
    if (layout == 10 && p == end) {
      // The field's marker went on before the minute piece was taken, so
      // the piece ends in it: 12 counts as 1, above 6 is morning.
      if (designator != 0) return false;
      designator = h == 12 || h <= 6 ? 2 : 1;
    }
  } else if (layout == 5) {
    // Four digits, or three without the hour's leading zero, and nothing else.
    if ((size != 3 && size != 4) || !AllDigits(field)) return false;
    const char* const minutes = end - 2;
    for (h = 0; p < minutes; ++p) h = h * 10 + DigitValue(*p);
    m = DigitValue(minutes[0]) * 10 + DigitValue(minutes[1]);
    designator = 0;
  } else if (layout >= 6 && layout <= 9) {
    // Two digits of hour, then the rest of the field: minutes and a marker.
    if (size < 3 || !IsDigit(begin[0]) || !IsDigit(begin[1])) return false;
    h = DigitValue(begin[0]) * 10 + DigitValue(begin[1]);
    p = begin + 2;
    if (!ReadNumber(p, m, digits)) return false;
    designator = ReadDesignator(
        p, [end](const char* at) { return at == end; }, true);
  } else {
    return false;
  }
  return true;
}

[[gnu::always_inline]] inline bool PlainTime(std::string& field, int32_t layout, char delimiter,
                                             const RegionalSettings& s) {
  // Every candidate holds ":" between hour and minutes and is read so; the
  // regional separator is only written, and a NUL one writes a shorter time.
  if (s.timeSeparatorChar == '\0' ||
      (delimiter != ':' && !kPlainDelimiter[static_cast<unsigned char>(delimiter)]) ||
      !PlainDesignators(s)) {
    return false;
  }
  unsigned h = 0, m = 0;
  int designator = 0;
  if (!ReadPlainTime(field, layout, delimiter, h, m, designator)) return false;
  // On the 12-hour clock a designated hour shows as it came.
  unsigned shown;
  bool afternoon;
  if (designator > 0) {
    if (h - 1 >= 12) return false;
    shown = h, afternoon = designator == 2;
  } else {
    if (designator < 0 || h > 23) return false;
    shown = kHour12[h], afternoon = h >= 12;
  }
  if (m > 59) return false;

  char out[8];
  PutTwoDigits(out, shown);
  out[2] = s.timeSeparatorChar;
  PutTwoDigits(out + 3, m);
  out[5] = ' ';
  out[6] = afternoon ? 'p' : 'a';
  out[7] = 'm';
  Overwrite(field, out);
  return true;
}

}  // namespace

bool FastDateConvert(std::string& field, int32_t layout, char delimiter, const RegionalSettings& s,
                     int currentYear) {
  return PlainDate(field, layout, delimiter, s, currentYear);
}

bool FastTimeConvert(std::string& field, int32_t layout, char delimiter,
                     const RegionalSettings& s) {
  return PlainTime(field, layout, delimiter, s);
}

}  // namespace vantrelix
