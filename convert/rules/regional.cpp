#include "regional.h"

#include <QString>

#include <algorithm>
#include <cmath>

#include "byte_scan.h"

namespace vantrelix {

namespace {

// Character tests of our own: the C library's depend on the process locale,
// which Qt sets from the environment.
bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

constexpr int64_t kMsPerDay = 86'400'000;

// The scanning primitives both readers share. Positions are 0-based here.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }

  // Blanks are spaces only; a TAB is text.
  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }

  // Reads digits while the value so far is below 1000, so at most four
  // significant digits are taken and a longer run leaves its tail unread.
  bool ReadNumber(uint16_t& value, int& digits) {
    SkipBlanks();
    value = 0;
    digits = 0;
    while (pos_ < text_.size() && IsDigit(text_[pos_]) && value < 1000) {
      value = static_cast<uint16_t>(value * 10 + (text_[pos_] - '0'));  // [0, 9999]
      ++digits;
      ++pos_;
    }
    return digits > 0;
  }
  bool ReadNumber(uint16_t& value) {
    int digits;
    return ReadNumber(value, digits);
  }

  bool ReadSeparator(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool ReadMarker(std::string_view word) {
    if (word.empty()) return false;
    SkipBlanks();
    const std::string_view here = text_.substr(pos_, word.size());
    if (!MarkerTextEquals(here, word)) return false;
    pos_ += here.size();
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Two digits: every number of the import's dates and times (month, day,
// year of the century, hour, minute) lies within 0 to 99.
void AppendTwoDigits(std::string& out, int64_t value) {
  const auto n = static_cast<unsigned>((value % 100 + 100) % 100);
  const char two[2] = {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
  out.append(two, 2);
}

}  // namespace

bool MarkerTextEquals(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return a.size() == b.size();
  const auto first = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  if (first(a[0]) && first(b[0]) && AsciiLower(a[0]) != AsciiLower(b[0])) return false;
  if (IsAscii(a) && IsAscii(b)) {
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b);
  }
  const QString qa = QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size()));
  const QString qb = QString::fromLocal8Bit(b.data(), static_cast<qsizetype>(b.size()));
  return QString::compare(qa, qb, Qt::CaseInsensitive) == 0;
}

DateFieldOrder DateFieldOrderOf(std::string_view pattern) {
  for (char c : pattern) {
    switch (AsciiLower(c)) {
      case 'd':
        return DateFieldOrder::kDayFirst;
      case 'm':
        return DateFieldOrder::kMonthFirst;
      case 'y':
      case 'e':
        return DateFieldOrder::kYearFirst;
      default:
        break;
    }
  }
  return DateFieldOrder::kMonthFirst;
}

bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(int64_t year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Howard Hinnant's days_from_civil, shifted from 1970-01-01 to 1899-12-30.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);                 // [0, 399]
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // [0, 365]
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;            // [0, 146096]
  constexpr int64_t kUnixDaysOf18991230 = -25569;
  return era * 146097 + static_cast<int64_t>(doe) - 719468 - kUnixDaysOf18991230;
}

CivilDate CivilFromDays(int64_t days) {
  const int64_t z = days - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);                    // [0, 146096]
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
  const unsigned mp = (5 * doy + 2) / 153;                                     // [0, 11]
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;                             // [1, 31]
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;                                // [1, 12]
  return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

DateReading RegionalDateReading(const RegionalSettings& s) {
  return {DateFieldOrderOf(s.shortDatePattern), s.dateSeparatorChar};
}

std::optional<DateTimeValue> TryParseDate(std::string_view text, const RegionalSettings& s,
                                          int currentYear) {
  return TryParseDate(text, s, currentYear, RegionalDateReading(s));
}

std::optional<DateTimeValue> TryParseDate(std::string_view text, const RegionalSettings& s,
                                          int currentYear, DateReading reading) {
  Scanner sc(text);
  const DateFieldOrder order = reading.order;
  const char sep = reading.separator;

  uint16_t n1, n2, n3;
  int digits1, digits2, digits3;
  if (!sc.ReadNumber(n1, digits1) || !sc.ReadSeparator(sep) || !sc.ReadNumber(n2, digits2)) {
    return std::nullopt;
  }

  DateNumbers date{};
  if (sc.ReadSeparator(sep)) {
    if (!sc.ReadNumber(n3, digits3)) return std::nullopt;
    date = PlaceDateNumbers(order, n1, digits1, n2, n3, digits3);
    if (date.yearDigits <= 2) {
      date.year = PlaceShortYear(date.year, currentYear, s.centuryWindowYears);
    }
  } else {
    date = PlaceDateNumbers(order, n1, n2, currentYear);
  }
  const int64_t year = date.year;
  const unsigned month = date.month, day = date.day;

  sc.ReadSeparator(sep);  // one trailing separator is allowed
  sc.SkipBlanks();

  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  if (!sc.AtEnd()) return std::nullopt;
  return static_cast<DateTimeValue>(DaysFromCivil(year, month, day));
}

DateTimeValue ParseDate(std::string_view text, const RegionalSettings& settings, int currentYear) {
  if (auto value = TryParseDate(text, settings, currentYear)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid date");
}

std::optional<DateTimeValue> TryParseTime(std::string_view text, const RegionalSettings& s) {
  return TryParseTime(text, s, s.timeSeparatorChar);
}

std::optional<DateTimeValue> TryParseTime(std::string_view text, const RegionalSettings& s,
                                          char separator) {
  Scanner sc(text);
  enum class Marker { kNone, kMorning, kAfternoon } marker = Marker::kNone;
  const auto readMarker = [&] {
    if (sc.ReadMarker(s.amText) || sc.ReadMarker("AM")) {
      marker = Marker::kMorning;
    } else if (sc.ReadMarker(s.pmText) || sc.ReadMarker("PM")) {
      marker = Marker::kAfternoon;
    }
  };

  readMarker();
  if (marker != Marker::kNone) sc.SkipBlanks();

  uint16_t hour;
  uint16_t minutes = 0, seconds = 0, ms = 0;
  if (!sc.ReadNumber(hour)) return std::nullopt;
  if (sc.ReadSeparator(separator)) {
    if (!sc.ReadNumber(minutes)) return std::nullopt;
    if (sc.ReadSeparator(separator)) {
      if (!sc.ReadNumber(seconds)) return std::nullopt;
      if (sc.ReadSeparator(s.decimalSeparatorChar) && !sc.ReadNumber(ms)) return std::nullopt;
    }
  }
  if (marker == Marker::kNone) readMarker();

  if (marker != Marker::kNone) {
    if (hour < 1 || hour > 12) return std::nullopt;
    if (hour == 12) hour = 0;
    if (marker == Marker::kAfternoon) hour += 12;
  }
  sc.SkipBlanks();
  if (hour > 23 || minutes > 59 || seconds > 59 || ms > 999) return std::nullopt;
  if (!sc.AtEnd()) return std::nullopt;
  const int64_t total = hour * 3'600'000LL + minutes * 60'000LL + seconds * 1000LL + ms;
  return static_cast<DateTimeValue>(total) / kMsPerDay;
}

DateTimeValue ParseTime(std::string_view text, const RegionalSettings& settings) {
  if (auto value = TryParseTime(text, settings)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid time");
}

namespace {

// A value rounded to whole milliseconds: its day, and the hour and minute
// of that day.
struct DecodedValue {
  explicit DecodedValue(DateTimeValue value) {
    const auto totalMs = static_cast<int64_t>(std::llround(value * kMsPerDay));
    days = totalMs / kMsPerDay;
    int64_t msOfDay = totalMs % kMsPerDay;
    if (msOfDay < 0) msOfDay += kMsPerDay, --days;
    hour = msOfDay / 3'600'000;
    minute = msOfDay / 60'000 % 60;
  }
  int64_t days, hour, minute;
};

}  // namespace

void AppendImportDate(std::string& out, DateTimeValue value, const RegionalSettings& s) {
  const CivilDate date = CivilFromDays(DecodedValue(value).days);
  AppendTwoDigits(out, date.month);
  if (s.dateSeparatorChar != '\0') out.push_back(s.dateSeparatorChar);
  AppendTwoDigits(out, date.day);
  if (s.dateSeparatorChar != '\0') out.push_back(s.dateSeparatorChar);
  AppendTwoDigits(out, date.year % 100);
}

void AppendImportTime(std::string& out, DateTimeValue value, const RegionalSettings& s) {
  const DecodedValue v(value);
  const int64_t hour = v.hour % 12;
  AppendTwoDigits(out, hour == 0 ? 12 : hour);
  if (s.timeSeparatorChar != '\0') out.push_back(s.timeSeparatorChar);
  AppendTwoDigits(out, v.minute);
  out.append(v.hour >= 12 ? " pm" : " am");
}

}  // namespace vantrelix
