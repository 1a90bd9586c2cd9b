#include "fast_normalise.h"

#include <cstring>
#include <string_view>

namespace vantrelix {

namespace {

// Longer fields are never plain; the bound keeps the scratch texts on the stack.
constexpr size_t kLongestPlainField = 24;

bool IsDigit(char c) {
  return static_cast<unsigned>(c - '0') < 10u;
}
bool IsAsciiLetter(char c) {
  return static_cast<unsigned>((c | 0x20) - 'a') < 26u;
}
char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Index of the first `c` in text[from..], or text.size(). Fields are short:
// a plain loop beats a call to memchr.
size_t Find(std::string_view text, size_t from, char c) {
  while (from < text.size() && text[from] != c) ++from;
  return from;
}

// The first three parts of a text as DataDelimited takes them, in order.
struct ThreeParts {
  std::string_view part[3];
};
ThreeParts SplitThree(std::string_view text, char delimiter) {
  ThreeParts p;
  size_t at = 0;
  for (std::string_view& part : p.part) {
    if (at >= text.size()) break;  // past the end: empty, and no further parts
    const size_t stop = Find(text, at, delimiter);
    part = text.substr(at, stop - at);
    at = stop < text.size() ? stop + 1 : stop;
  }
  return p;
}

// Characters first..last (1-based) of the field, as far as it reaches.
std::string_view Columns(std::string_view field, size_t first, size_t last) {
  if (first > field.size()) return {};
  return field.substr(first - 1, last - first + 1);
}

char* Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}
// A delimited part as DataDelimited gives it: one character gets a "0" in front.
char* PutPart(char* out, std::string_view part) {
  if (part.size() == 1) *out++ = '0';
  return Put(out, part);
}

// Reads one to four digits at `p`; a longer run is left to the general reader,
// which takes at most four significant digits.
bool ReadShortNumber(const char*& p, const char* end, unsigned& value, int& digits) {
  const char* const start = p;
  value = 0;
  while (p != end && IsDigit(*p)) {
    if (p - start == 4) return false;
    value = value * 10 + static_cast<unsigned>(*p++ - '0');
  }
  digits = static_cast<int>(p - start);
  return digits > 0;
}

char Digit(unsigned value) {
  return static_cast<char>('0' + value);
}

}  // namespace

bool FastDateConvert(std::string& field, int32_t layout, char delimiter, const RegionalSettings& s,
                     int currentYear) {
  const char sep = s.dateSeparatorChar;
  // A blank, digit or missing separator, double-byte text and era years follow
  // rules of their own.
  if (sep == '\0' || sep == ' ' || IsDigit(sep) || s.doubleByteSystem) return false;
  const std::string& pattern = s.shortDatePattern;
  if ((!pattern.empty() && pattern[0] == 'g') || pattern.find('e') != std::string::npos) {
    return false;
  }
  // Layouts 1 to 4 build their text with slashes, which only "/" reads.
  if (field.size() > kLongestPlainField || (layout != 0 && sep != '/')) return false;

  char built[kLongestPlainField + 8];
  std::string_view text;
  switch (layout) {
    case 0:
      text = field;
      break;
    case 1:
    case 2: {
      const auto [p1, p2, p3] = SplitThree(field, delimiter).part;
      char* end = PutPart(built, layout == 1 ? p2 : p3);
      *end++ = '/';
      end = PutPart(end, layout == 1 ? p3 : p1);
      *end++ = '/';
      end = PutPart(end, layout == 1 ? p1 : p2);
      text = std::string_view(built, static_cast<size_t>(end - built));
      break;
    }
    case 3:
    case 4: {
      const std::string_view f = field;
      const bool yyyy = layout == 3;  // four-digit year first
      char* end = Put(built, Columns(f, yyyy ? 5 : 3, yyyy ? 6 : 4));
      *end++ = '/';
      end = Put(end, Columns(f, yyyy ? 7 : 5, yyyy ? 8 : 6));
      *end++ = '/';
      end = Put(end, Columns(f, yyyy ? 3 : 1, yyyy ? 4 : 2));
      text = std::string_view(built, static_cast<size_t>(end - built));
      break;
    }
    default:
      return false;
  }

  // Two or three numbers with the separator between them and nothing else.
  unsigned n[3];
  int digits[3];
  int count = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  for (;;) {
    if (!ReadShortNumber(p, end, n[count], digits[count])) return false;
    ++count;
    if (p == end) break;
    if (*p != sep || count == 3) return false;
    ++p;
  }
  if (count < 2) return false;

  const DateFieldOrder order = DateFieldOrderOf(pattern);
  int64_t year;
  unsigned month, day;
  if (count == 3) {
    int yearDigits = digits[2];
    switch (order) {
      case DateFieldOrder::kMonthFirst:
        month = n[0], day = n[1], year = n[2];
        break;
      case DateFieldOrder::kDayFirst:
        day = n[0], month = n[1], year = n[2];
        break;
      case DateFieldOrder::kYearFirst:
      default:
        year = n[0], month = n[1], day = n[2];
        yearDigits = digits[0];
        break;
    }
    if (yearDigits <= 2) {
      const int64_t base = int64_t{currentYear} - s.centuryWindowYears;
      year += (base / 100) * 100;
      if (s.centuryWindowYears > 0 && year < base) year += 100;
    }
  } else {
    year = currentYear;
    if (order == DateFieldOrder::kDayFirst) {
      day = n[0], month = n[1];
    } else {
      month = n[0], day = n[1];
    }
  }
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }

  const auto yy = static_cast<unsigned>(year % 100);
  const char out[8] = {Digit(month / 10), Digit(month % 10), sep,
                       Digit(day / 10),   Digit(day % 10),   sep,
                       Digit(yy / 10),    Digit(yy % 10)};
  field.assign(out, sizeof out);
  return true;
}

namespace {

// Designators the fast reader compares byte by byte: ASCII (others are
// compared by Unicode case folding), and not starting with a digit (which
// could be read as a designator in front of the hour).
bool PlainDesignator(std::string_view word) {
  if (!word.empty() && IsDigit(word[0])) return false;
  for (char c : word) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool DesignatorAt(std::string_view rest, std::string_view word) {
  if (word.empty() || rest.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (AsciiLower(rest[i]) != AsciiLower(word[i])) return false;
  }
  return true;
}

// Completes a trailing lone "a" / "p" to a designator.
void CompleteMarker(char* text, size_t& size) {
  if (size == 0) return;
  switch (text[size - 1]) {
    case 'A':
    case 'P':
      text[size++] = 'M';
      break;
    case 'a':
    case 'p':
      text[size++] = 'm';
      break;
    default:
      break;
  }
}

}  // namespace

bool FastTimeConvert(std::string& field, int32_t layout, char delimiter,
                     const RegionalSettings& s) {
  // Every candidate holds ":" between hour and minutes: another time
  // separator rejects them all, which the general rules do.
  if (s.timeSeparatorChar != ':' || field.size() > kLongestPlainField ||
      !PlainDesignator(s.amText) || !PlainDesignator(s.pmText)) {
    return false;
  }
  const std::string_view f = field;

  std::string_view hour, minutes;
  std::string_view marker;  // layout 10's, when the minute piece runs into it
  bool pieces = false;      // cut by the delimiter: one-character pieces get a "0"
  switch (layout) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 10: {
      const size_t cut = Find(f, 0, delimiter);
      if (cut == f.size()) return false;  // no minute piece
      hour = f.substr(0, cut);
      const size_t stop = Find(f, cut + 1, delimiter);
      minutes = f.substr(cut + 1, stop - cut - 1);
      pieces = true;
      if (layout == 10) {
        // A plain hour piece is its own decimal number.
        if (hour.empty() || hour.size() > 4) return false;
        unsigned number = 0;
        for (char c : hour) {
          if (!IsDigit(c)) return false;
          number = number * 10 + static_cast<unsigned>(c - '0');
        }
        if (number == 12) number = 1;
        if (stop == f.size()) {
          // The minute piece is taken after the marker was added to the field.
          marker = number > 6 ? " am" : " pm";
          if (marker.find(delimiter) != std::string_view::npos) return false;
        }
      }
      break;
    }
    case 5:
      hour = Columns(f, 1, 2), minutes = Columns(f, 3, 4);
      break;
    case 6:
    case 7:
      hour = Columns(f, 1, 2), minutes = Columns(f, 3, 7);
      break;
    case 8:
    case 9:
      hour = Columns(f, 1, 2), minutes = Columns(f, 3, 6);
      break;
    default:
      return false;
  }

  // The hour: digits only.
  if (hour.empty() || hour.size() > 4) return false;
  unsigned h = 0;
  for (char c : hour) {
    if (!IsDigit(c)) return false;
    h = h * 10 + static_cast<unsigned>(c - '0');
  }

  // The minute text as the candidate has it.
  char text[kLongestPlainField + 8];
  size_t size = 0;
  if (pieces && minutes.size() + marker.size() == 1) text[size++] = '0';
  size += static_cast<size_t>(Put(Put(text + size, minutes), marker) - (text + size));
  if (layout <= 3) {
    if (size >= 2 && text[1] == ' ') {
      std::memmove(text + 1, text, size++);
      text[0] = '0';
    }
    CompleteMarker(text, size);
  } else if (layout == 8 || layout == 9) {
    CompleteMarker(text, size);
  }

  // Minutes, then blanks and at most one designator.
  const char* p = text;
  const char* const end = text + size;
  unsigned m;
  int digits;
  if (!ReadShortNumber(p, end, m, digits)) return false;
  for (const char* q = p; q != end; ++q) {
    if (*q != ' ' && !IsAsciiLetter(*q)) return false;
  }
  while (p != end && *p == ' ') ++p;
  if (p != end) {
    const std::string_view rest(p, static_cast<size_t>(end - p));
    std::string_view word;
    bool afternoon = false;
    if (DesignatorAt(rest, s.amText)) {
      word = s.amText;
    } else if (DesignatorAt(rest, "AM")) {
      word = "AM";
    } else if (DesignatorAt(rest, s.pmText)) {
      word = s.pmText, afternoon = true;
    } else if (DesignatorAt(rest, "PM")) {
      word = "PM", afternoon = true;
    } else {
      return false;
    }
    for (p += word.size(); p != end; ++p) {
      if (*p != ' ') return false;
    }
    if (h < 1 || h > 12) return false;
    if (h == 12) h = 0;
    if (afternoon) h += 12;
  }
  if (h > 23 || m > 59) return false;

  const unsigned h12 = h % 12 == 0 ? 12 : h % 12;
  const char out[8] = {Digit(h12 / 10),
                       Digit(h12 % 10),
                       ':',
                       Digit(m / 10),
                       Digit(m % 10),
                       ' ',
                       h < 12 ? 'a' : 'p',
                       'm'};
  field.assign(out, sizeof out);
  return true;
}

}  // namespace vantrelix
