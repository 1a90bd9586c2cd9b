#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrelix {

// The regional settings dates and times are read and written by. Filled from
// the user's locale at start-up (regional_locale.h); the engine takes them as
// a parameter.
struct RegionalSettings {
  std::string localeName = "C";  // where the settings came from, for messages
  std::string shortDatePattern = "m/d/yy";
  char dateSeparatorChar = '/';
  char timeSeparatorChar = ':';
  char decimalSeparatorChar = '.';
  std::string amText = "am";
  std::string pmText = "pm";
  uint16_t centuryWindowYears = 50;
  // Where times written with a zone ("Z", "+01:00") are converted to: an
  // IANA name; empty means UTC.
  std::string timeZone;
  // The regional language's month names (long, short and stand-alone, as
  // UTF-8, without a closing point), January first, and its weekday names:
  // what a date with a month name may be written in besides English.
  std::array<std::vector<std::string>, 12> monthNames{};
  std::vector<std::string> dayNames;
};

enum class DateFieldOrder { kMonthFirst, kDayFirst, kYearFirst };

// Which number of a date comes first, from the short date pattern: the first
// of d, m, y, e (any case) decides; none of them gives month first.
DateFieldOrder DateFieldOrderOf(std::string_view shortDatePattern);

// The numbers of a date, placed by the regional order: three numbers give
// the year too (`yearDigits`: how many digits it was written with); two
// numbers give month and day in the current year.
struct DateNumbers {
  int64_t year;
  unsigned month, day;
  int yearDigits;
};
inline DateNumbers PlaceDateNumbers(DateFieldOrder order, unsigned n1, int digits1, unsigned n2,
                                    unsigned n3, int digits3) {
  switch (order) {
    case DateFieldOrder::kMonthFirst:
      return {n3, n1, n2, digits3};
    case DateFieldOrder::kDayFirst:
      return {n3, n2, n1, digits3};
    case DateFieldOrder::kYearFirst:
    default:
      return {n1, n2, n3, digits1};
  }
}
inline DateNumbers PlaceDateNumbers(DateFieldOrder order, unsigned n1, unsigned n2,
                                    int currentYear) {
  return order == DateFieldOrder::kDayFirst ? DateNumbers{currentYear, n2, n1, 4}
                                            : DateNumbers{currentYear, n1, n2, 4};
}

// How the numbers of a date text are read: their order and the separator
// between them. A field as it came is read by the regional settings; the
// text a date layout builds is read as it was built, month first with "/".
struct DateReading {
  DateFieldOrder order;
  char separator;
};
inline constexpr DateReading kBuiltDateReading{DateFieldOrder::kMonthFirst, '/'};
DateReading RegionalDateReading(const RegionalSettings& settings);

// A year written with two digits or fewer, placed in the hundred years from
// (current year - the century window) on.
inline int64_t PlaceShortYear(int64_t year, int currentYear, int centuryWindowYears) {
  const int64_t base = int64_t{currentYear} - centuryWindowYears;
  year += (base / 100) * 100;
  if (centuryWindowYears > 0 && year < base) year += 100;
  return year;
}

// A text that is not a date or a time.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Date-time values: days since 30 December 1899, the time of day as fraction.
using DateTimeValue = double;

// Days from 30 December 1899 to the given date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
struct CivilDate {
  int64_t year;
  unsigned month;
  unsigned day;
};
CivilDate CivilFromDays(int64_t days);
bool IsLeapYear(int64_t year);
unsigned DaysInMonth(int64_t year, unsigned month);

// Reads the whole text as a date; `currentYear` fills in a missing year and
// places two-digit years. Raises EConvertError "'<text>' is not a valid date".
DateTimeValue ParseDate(std::string_view text, const RegionalSettings& settings, int currentYear);
// The same without the exception, for the conversion pass's hot loop.
std::optional<DateTimeValue> TryParseDate(std::string_view text, const RegionalSettings& settings,
                                          int currentYear);
// The same by a reading of the caller's; everything else stays regional.
std::optional<DateTimeValue> TryParseDate(std::string_view text, const RegionalSettings& settings,
                                          int currentYear, DateReading reading);

// Reads the whole text as a time of day. Raises EConvertError
// "'<text>' is not a valid time".
DateTimeValue ParseTime(std::string_view text, const RegionalSettings& settings);
std::optional<DateTimeValue> TryParseTime(std::string_view text, const RegionalSettings& settings);
// The same with `separator` between the numbers instead of the regional one:
// the texts the time layouts build always hold ":".
std::optional<DateTimeValue> TryParseTime(std::string_view text, const RegionalSettings& settings,
                                          char separator);

// A date as the import file holds it, "mm/dd/yy", with the regional date
// separator between the numbers (none for a NUL separator).
void AppendImportDate(std::string& out, DateTimeValue value, const RegionalSettings& settings);
// A time as the import file holds it, "hh:mm am" or "hh:mm pm" on the
// 12-hour clock, with the regional time separator (none for a NUL one).
void AppendImportTime(std::string& out, DateTimeValue value, const RegionalSettings& settings);

// Case-insensitive equality of marker words. ASCII letters fold directly;
// other text is compared by Qt's Unicode case folding of the UTF-8 text.
bool MarkerTextEquals(std::string_view a, std::string_view b);

}  // namespace vantrelix
