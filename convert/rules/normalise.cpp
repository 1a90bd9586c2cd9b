#include "normalise.h"

#include <limits>

#include "fast_normalise.h"

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

// Characters first..last (1-based) of the field, as far as it reaches.
std::string_view Columns(std::string_view field, size_t first, size_t last) {
  if (first > field.size()) return {};
  return field.substr(first - 1, last - first + 1);
}

std::string Join(std::string_view a, char sep, std::string_view b) {
  std::string out;
  out.reserve(a.size() + b.size() + 1);
  out.append(a).push_back(sep);
  out.append(b);
  return out;
}

// Completes a trailing lone "a" / "p" to a marker word.
void CompleteMarker(std::string& text) {
  if (text.empty()) return;
  switch (text.back()) {
    case 'A':
    case 'P':
      text.push_back('M');
      break;
    case 'a':
    case 'p':
      text.push_back('m');
      break;
    default:
      break;
  }
}

struct Pieces {
  std::string hour, minutes;
};

// The hour piece and, from the same running position, the minute piece.
// Layout 10 changes the field in between, which is why `between` exists.
template <typename Between>
Pieces HourAndMinutePieces(std::string& field, char delimiter, Between between) {
  Pieces p;
  int32_t position = 1;
  p.hour = field;
  DataDelimited(p.hour, position, delimiter);
  between(p.hour);
  p.minutes = field;
  DataDelimited(p.minutes, position, delimiter);
  return p;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

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

std::optional<std::string> DateCandidate(std::string_view field, int32_t layout, char delimiter) {
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
      }
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
      return std::string(Columns(field, 5, 6)) + "/" + std::string(Columns(field, 7, 8)) + "/" +
             std::string(Columns(field, 3, 4));
    case 4:
      return std::string(Columns(field, 3, 4)) + "/" + std::string(Columns(field, 5, 6)) + "/" +
             std::string(Columns(field, 1, 2));
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
      CompleteMarker(p.minutes);
      return Join(p.hour, ':', p.minutes);
    }
    case 4: {
      const Pieces p = HourAndMinutePieces(field, delimiter, [](const std::string&) {});
      return Join(p.hour, ':', p.minutes);
    }
    case 5:
      return Join(Columns(field, 1, 2), ':', Columns(field, 3, 4));
    case 6:
    case 7:
      return Join(Columns(field, 1, 2), ':', Columns(field, 3, 7));
    case 8:
    case 9: {
      std::string candidate = Join(Columns(field, 1, 2), ':', Columns(field, 3, 6));
      CompleteMarker(candidate);
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

bool DateConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings, int currentYear) {
  if (field.empty()) return false;
  const int32_t layout = record.DateLayout();
  const auto candidate = DateCandidate(field, layout, record.DateDelimiter());
  if (!candidate) return false;
  const auto value =
      TryParseDate(*candidate, settings, currentYear, DateReadingOf(layout, settings));
  if (!value) return false;
  static const DateTimePattern kPattern(kDateOutputPattern);
  field.clear();
  kPattern.AppendTo(field, *value, settings);
  return true;
}

bool TimeConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings) {
  if (field.empty()) return false;
  const auto candidate = TimeCandidate(field, record.TimeLayout(), record.TimeDelimiter());
  if (!candidate) return false;
  // The candidate holds ":" whatever the regional time separator is.
  const auto value = TryParseTime(*candidate, settings, ':');
  if (!value) return false;
  static const DateTimePattern kPattern(kTimeOutputPattern);
  field.clear();
  kPattern.AppendTo(field, *value, settings);
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
  return FastTimeConvert(field, record.TimeLayout(), record.TimeDelimiter(), settings) ||
         TimeConvertGeneral(field, record, settings);
}

namespace {

unsigned TwoDigitsAt(const std::string& text, size_t at) {
  return static_cast<unsigned>(text[at] - '0') * 10 + static_cast<unsigned>(text[at + 1] - '0');
}

}  // namespace

DateVerdict JudgeDate(std::string& field, const SetupRecord& record,
                      const RegionalSettings& settings, int currentYear) {
  if (field.empty()) return DateVerdict::kNothingToRead;
  if (DateConvert(field, record, settings, currentYear)) {
    // The field is "mm/dd/yy" now, by the regional separator (none for NUL).
    const unsigned month = TwoDigitsAt(field, 0);
    const unsigned day = TwoDigitsAt(field, field.size() == 8 ? 3 : 2);
    return day <= 12 && day != month ? DateVerdict::kReadEitherWay : DateVerdict::kRead;
  }
  const int32_t layout = record.DateLayout();
  const auto candidate = DateCandidate(field, layout, record.DateDelimiter());
  if (candidate && TryParseDate(*candidate, settings, currentYear,
                                SwappedReading(DateReadingOf(layout, settings)))) {
    return DateVerdict::kUnreadSwapped;
  }
  return DateVerdict::kUnread;
}

int32_t SwappedDateLayout(const SetupRecord& record, const RegionalSettings& settings) {
  const int32_t layout = record.DateLayout();
  if (layout == kDayFirstLayout) return kMonthFirstLayout;
  if (layout == kMonthFirstLayout) return kDayFirstLayout;
  if (layout != 0) return -1;  // their swapped order is no layout
  switch (DateFieldOrderOf(settings.shortDatePattern)) {
    case DateFieldOrder::kMonthFirst:
      return kDayFirstLayout;
    case DateFieldOrder::kDayFirst:
      return kMonthFirstLayout;
    default:
      return -1;
  }
}

char SwappedDateDelimiter(const SetupRecord& record, const RegionalSettings& settings) {
  return record.DateLayout() == 0 ? settings.dateSeparatorChar : record.DateDelimiter();
}

}  // namespace vantrelix
