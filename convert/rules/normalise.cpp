#include "normalise.h"

#include <limits>

#include "byte_scan.h"
#include "date_time_cell.h"
#include "fast_normalise.h"
#include "layout_guess.h"
#include "month_names.h"

namespace vantrelix {

void DataDelimited(std::string& text, int32_t& position, char delimiter) {
  if (text.empty()) return;
  const auto length = static_cast<int64_t>(text.size());
  if (position < 1) position = 1;  // callers start at 1; never index before the text
  std::string part;
  if (position <= length) {
    for (;;) {
      const char c = text[static_cast<size_t>(position - 1)];
      if (c != delimiter) part.push_back(c);
      ++position;
      if (c == delimiter || position > length) break;
    }
    if (part.size() == 1) part.insert(part.begin(), '0');
  }
  text = std::move(part);
}

namespace {

std::string Join(std::string_view a, char sep, std::string_view b) {
  std::string out;
  out.reserve(a.size() + b.size() + 1);
  out.append(a).push_back(sep);
  out.append(b);
  return out;
}

// Writes the marker behind the numbers as "am" or "pm" when it is one of
// their spellings ("a", "P", "a.m.", "P.M", ...), so that the reading
// sees one word; other words (a locale's own designators) stay.
void NormaliseMarker(std::string& text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  size_t start = end;
  while (start > 0 && (IsAsciiLetter(text[start - 1]) || text[start - 1] == '.')) --start;
  bool afternoon = false;
  if (start == end ||
      MarkerLength(std::string_view(text).substr(start, end - start), afternoon) != end - start) {
    return;
  }
  text.replace(start, std::string::npos, afternoon ? "pm" : "am");
}

struct Pieces {
  std::string hour, minutes;
};

// The hour piece and, from the same running position, the minute piece: the
// whole rest of the field, so that seconds and a marker behind them are read
// too. A delimiter before the seconds becomes the ":" the candidate is read
// by. Layout 10 changes the field in between, which is why `between` exists.
template <typename Between>
Pieces HourAndMinutePieces(std::string& field, char delimiter, Between between) {
  Pieces p;
  int32_t position = 1;
  p.hour = field;
  DataDelimited(p.hour, position, delimiter);
  between(p.hour);
  const auto from = static_cast<size_t>(position - 1);
  p.minutes = from < field.size() ? field.substr(from) : std::string();
  const size_t seconds = p.minutes.find(delimiter);
  if (seconds != std::string::npos && seconds + 1 < p.minutes.size() &&
      IsDigit(p.minutes[seconds + 1])) {
    p.minutes[seconds] = ':';
  }
  // A lone digit is a minute ("9:5"); a lone letter is none ("9:p").
  if (p.minutes.size() == 1 && IsDigit(p.minutes[0])) p.minutes.insert(p.minutes.begin(), '0');
  return p;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

size_t MarkerLength(std::string_view text, bool& afternoon) {
  if (text.empty()) return 0;
  const char letter = static_cast<char>(text[0] | 0x20);
  if (letter != 'a' && letter != 'p') return 0;
  afternoon = letter == 'p';
  size_t n = 1;
  if (n < text.size() && text[n] == '.') ++n;
  if (n < text.size() && (text[n] | 0x20) == 'm') {
    ++n;
    if (n < text.size() && text[n] == '.') ++n;
  }
  return n;
}

int32_t ReadHourNumber(std::string_view piece) {
  size_t i = 0;
  while (i < piece.size() && piece[i] == ' ') ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';

  bool hex = false;
  if (i < piece.size() && (piece[i] == '$' || piece[i] == 'x' || piece[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < piece.size() && piece[i] == '0' &&
             (piece[i + 1] == 'x' || piece[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }

  uint32_t value = 0;
  bool anyDigit = false;
  for (; i < piece.size(); ++i) {
    const int d =
        hex ? HexDigit(piece[i]) : (piece[i] >= '0' && piece[i] <= '9' ? piece[i] - '0' : -1);
    if (d < 0) break;
    if (hex) {
      if (value > 0x0FFF'FFFFu) break;  // one more digit would not fit 32 bits
      value = value << 4 | static_cast<uint32_t>(d);
    } else {
      if (value > (static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) - d) / 10) break;
      value = value * 10 + static_cast<uint32_t>(d);
    }
    anyDigit = true;
  }
  if (!anyDigit) return 0;
  const auto magnitude = static_cast<int32_t>(value);
  if (i < piece.size()) return magnitude;  // stopped early: the digits read, no sign
  return negative ? static_cast<int32_t>(0u - value) : magnitude;
}

std::optional<std::string> DateCandidate(std::string_view field, int32_t layout, char delimiter,
                                         const RegionalSettings* regional) {
  switch (layout) {
    case 0:
      return std::string(field);
    case 1:
    case 2:
    case kDayFirstLayout:
    case kMonthFirstLayout: {
      std::string parts[3];
      int32_t position = 1;
      for (auto& part : parts) {
        part = field;
        DataDelimited(part, position, delimiter);
        // An empty part or a slash inside one would make another date of
        // the text built with slashes.
        if (part.empty() || (delimiter != '/' && part.find('/') != std::string::npos)) return "";
      }
      // Exactly three parts: anything but blanks behind them is no date.
      const auto rest = static_cast<size_t>(position - 1);
      if (rest < field.size() && !WithoutEndBlanks(field.substr(rest)).empty()) return "";
      const auto& [p1, p2, p3] = parts;
      switch (layout) {
        case 1:
          return p2 + "/" + p3 + "/" + p1;
        case 2:
          return p3 + "/" + p1 + "/" + p2;
        case kDayFirstLayout:
          return p2 + "/" + p1 + "/" + p3;
        default:
          return p1 + "/" + p2 + "/" + p3;
      }
    }
    case 3:
    case 4: {
      // Exactly eight or six digits; the century stays, so that 19000229
      // is no date.
      const std::string_view d = WithoutEndBlanks(field);
      const size_t size = layout == 3 ? 8 : 6;
      if (d.size() != size || !AllDigits(d)) return "";
      const size_t year = size - 4;
      return std::string(d.substr(year, 2)) + "/" + std::string(d.substr(year + 2, 2)) + "/" +
             std::string(d.substr(0, year));
    }
    case kMonthNameLayout:
      return MonthNameDateText(field, regional);
    default:
      return std::nullopt;
  }
}

std::optional<std::string> TimeCandidate(std::string& field, int32_t layout, char delimiter) {
  switch (layout) {
    case 0:
    case 1:
    case 2:
    case 3: {
      Pieces p = HourAndMinutePieces(field, delimiter, [](const std::string&) {});
      if (p.minutes.size() >= 2 && p.minutes[1] == ' ') p.minutes.insert(p.minutes.begin(), '0');
      NormaliseMarker(p.minutes);
      return Join(p.hour, ':', p.minutes);
    }
    case 4: {
      Pieces p = HourAndMinutePieces(field, delimiter, [](const std::string&) {});
      NormaliseMarker(p.minutes);
      return Join(p.hour, ':', p.minutes);
    }
    case 5: {
      // Four digits, or three where the hour's leading zero is missing;
      // anything else, a marker included, is no military time.
      const std::string_view t = WithoutEndBlanks(field);
      if ((t.size() != 3 && t.size() != 4) || !AllDigits(t)) return "";
      return Join(t.substr(0, t.size() - 2), ':', t.substr(t.size() - 2));
    }
    case 6:
    case 7:
    case 8:
    case 9: {
      // Two digits of hour, then the rest of the field: minutes and marker.
      const std::string_view t = WithoutEndBlanks(field);
      if (t.size() < 3) return "";
      std::string candidate = Join(t.substr(0, 2), ':', t.substr(2));
      NormaliseMarker(candidate);
      return candidate;
    }
    case 10: {
      const Pieces p = HourAndMinutePieces(field, delimiter, [&field](const std::string& hour) {
        int32_t number = ReadHourNumber(hour);
        if (number == 12) number = 1;
        field += number > 6 ? " am" : " pm";
      });
      return Join(p.hour, ':', p.minutes);
    }
    default:
      return std::nullopt;
  }
}

DateReading DateReadingOf(int32_t layout, const RegionalSettings& settings) {
  return layout == 0 ? RegionalDateReading(settings) : kBuiltDateReading;
}

namespace {

// The date and the time are taken from one column.
bool SharesDateAndTime(const SetupRecord& record) {
  const int32_t column = record.Position(FieldSlot::kDate);
  return column > 0 && column == record.Position(FieldSlot::kTime);
}

// The date a text is in the record's layout.
std::optional<DateTimeValue> ReadDate(std::string_view text, const SetupRecord& record,
                                      const RegionalSettings& settings, int currentYear) {
  const int32_t layout = record.DateLayout();
  const auto candidate = DateCandidate(text, layout, record.DateDelimiter(), &settings);
  if (!candidate) return std::nullopt;
  return TryParseDate(*candidate, settings, currentYear, DateReadingOf(layout, settings));
}

std::optional<DateTimeValue> ReadTime(std::string_view text, const SetupRecord& record,
                                      const RegionalSettings& settings) {
  // Layout 10 appends its marker to the text it reads; the field stays.
  std::string marked(text);
  const auto candidate = TimeCandidate(marked, record.TimeLayout(), record.TimeDelimiter());
  if (!candidate) return std::nullopt;
  // The candidate holds ":" whatever the regional time separator is.
  return TryParseTime(*candidate, settings, ':');
}

}  // namespace

bool DateConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings, int currentYear) {
  if (field.empty()) return false;
  std::optional<DateTimeValue> value = ReadDate(field, record, settings, currentYear);
  if (!value) {
    // A date with its time: the date part by the layout; where the time is
    // taken from this field too, a day on or back where a zoned time falls
    // on another day here. Beside a time column of its own the date is the
    // one written (a plain date stored as midnight UTC).
    const std::optional<DateTimeCell> cell = SplitDateTimeCell(field);
    if (!cell || !(value = ReadDate(cell->date, record, settings, currentYear))) return false;
    if (cell->zoned && SharesDateAndTime(record)) {
      const std::optional<LocalTime> local = ZonedToLocal(*cell, settings.timeZone);
      if (!local) return false;
      *value += local->dayShift;
    }
  }
  field.clear();
  AppendImportDate(field, *value, settings);
  return true;
}

bool TimeConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings) {
  if (field.empty()) return false;
  // A column of dates and times: a field without its time has none ("16.12.26"
  // would read as 4:12 pm by a "." delimiter).
  std::optional<DateTimeValue> value;
  if (!SharesDateAndTime(record)) value = ReadTime(field, record, settings);
  if (!value) {
    // A time behind its date (not behind any words: "Call at 9:30" is no
    // appointment time): the time part by the layout; a zoned one as the
    // clock here shows it.
    const std::optional<DateTimeCell> cell = SplitDateTimeCell(field);
    if (!cell ||
        (ShapeOf(cell->date) != TextShape::kDate &&
         MonthNameDateText(cell->date, &settings).empty()) ||
        !(value = ReadTime(cell->time, record, settings))) {
      return false;
    }
    if (cell->zoned) {
      const std::optional<LocalTime> local = ZonedToLocal(*cell, settings.timeZone);
      // Midnight lies between: a date column of its own would not follow.
      if (!local || (local->dayShift != 0 && !SharesDateAndTime(record))) return false;
      *value = (local->hour * 60 + local->minute) / 1440.0;
    }
  }
  field.clear();
  AppendImportTime(field, *value, settings);
  return true;
}

// The shortcut reads the plain fields of nearly every export; whatever it
// declines goes to the general rules, which it is held to by the tests.
bool DateConvert(std::string& field, const SetupRecord& record, const RegionalSettings& settings,
                 int currentYear) {
  return FastDateConvert(field, record.DateLayout(), record.DateDelimiter(), settings,
                         currentYear) ||
         DateConvertGeneral(field, record, settings, currentYear);
}

bool TimeConvert(std::string& field, const SetupRecord& record, const RegionalSettings& settings) {
  // The shortcut reads whole fields; a column of dates and times holds none.
  return (!SharesDateAndTime(record) &&
          FastTimeConvert(field, record.TimeLayout(), record.TimeDelimiter(), settings)) ||
         TimeConvertGeneral(field, record, settings);
}

}  // namespace vantrelix
