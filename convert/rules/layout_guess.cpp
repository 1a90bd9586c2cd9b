#include "layout_guess.h"

#include <array>

#include "byte_scan.h"
#include "date_time_cell.h"
#include "month_names.h"
#include "normalise.h"

namespace vantrelix {

namespace {

// The current delimiter first, then every other printable byte the texts
// hold (digits and marker letters aside), in byte order.
std::vector<char> DelimitersIn(const TextCounts& texts, char current) {
  std::array<bool, 256> seen{};
  for (const auto& [text, n] : texts) {
    for (char c : text) {
      const auto u = static_cast<unsigned char>(c);
      const char lower = static_cast<char>(c | 0x20);  // the marker letters are no delimiters
      if (u > ' ' && u < 0x7F && !IsDigit(c) && lower != 'a' && lower != 'm' && lower != 'p') {
        seen[u] = true;
      }
    }
  }
  std::vector<char> out = {current};
  for (int u = 0; u < 256; ++u) {
    if (seen[static_cast<size_t>(u)] && static_cast<char>(u) != current) {
      out.push_back(static_cast<char>(u));
    }
  }
  return out;
}

constexpr size_t kTextsBetweenPauses = 512;

template <typename Convert>
int64_t CountRead(const TextCounts& texts, Convert convert,
                  const std::function<void()>& pause = {}) {
  int64_t read = 0;
  std::string field;
  size_t done = 0;
  for (const auto& [text, n] : texts) {
    if (pause && ++done % kTextsBetweenPauses == 0) pause();
    field = text;
    if (convert(field)) read += n;
  }
  return read;
}

// Tries the current choice first, so that it keeps a tie. `count` gives a
// score; the highest wins.
template <typename Count>
LayoutChoice Best(int32_t layouts, bool (*delimited)(int32_t), const TextCounts& texts,
                  int32_t currentLayout, char currentDelimiter, Count count) {
  LayoutChoice best;
  const auto consider = [&](int32_t layout, char delimiter) {
    const int64_t read = count(layout, delimiter);
    if (best.layout < 0 || read > best.read) best = {layout, delimiter, read};
  };
  const std::vector<char> delimiters = DelimitersIn(texts, currentDelimiter);
  if (currentLayout >= 0 && currentLayout < layouts) consider(currentLayout, currentDelimiter);
  for (int32_t layout = 0; layout < layouts; ++layout) {
    if (delimited(layout)) {
      for (char d : delimiters) consider(layout, d);
    } else {
      consider(layout, currentDelimiter);
    }
  }
  return best;
}

}  // namespace

int64_t DatesRead(const TextCounts& texts, const SetupRecord& record,
                  const RegionalSettings& regional, int currentYear) {
  return CountRead(
      texts, [&](std::string& field) { return DateConvert(field, record, regional, currentYear); });
}

int64_t TimesRead(const TextCounts& texts, const SetupRecord& record,
                  const RegionalSettings& regional, const std::function<void()>& pause) {
  return CountRead(
      texts, [&](std::string& field) { return TimeConvert(field, record, regional); }, pause);
}

DateTally CountDates(const TextCounts& texts, const SetupRecord& record,
                     const RegionalSettings& regional, int currentYear,
                     const std::function<void()>& pause) {
  DateTally tally(LayoutOrderOf(record.DateLayout(), regional));
  std::string field;
  size_t done = 0;
  for (const auto& [text, n] : texts) {
    if (pause && ++done % kTextsBetweenPauses == 0) pause();
    field = text;
    tally.Add(JudgeDate(field, record, regional, currentYear), n);
  }
  return tally;
}

TextShape ShapeOf(std::string_view text) {
  text = WithoutEndBlanks(text);
  if (text.find_first_of(" T") != std::string_view::npos) {
    const std::optional<DateTimeCell> cell = SplitDateTimeCell(text);
    if (cell && (ShapeOf(cell->date) == TextShape::kDate ||
                 !MonthNameDateText(cell->date, nullptr).empty())) {
      return TextShape::kDateAndTime;
    }
  }
  std::vector<size_t> runs;  // lengths of the digit runs
  std::string separators;    // the first byte between each two runs
  bool letters = false, designator = false;
  for (size_t i = 0; i < text.size();) {
    if (IsDigit(text[i])) {
      size_t end = i;
      while (end < text.size() && IsDigit(text[end])) ++end;
      runs.push_back(end - i);
      i = end;
      continue;
    }
    if (IsAsciiLetter(text[i])) {
      letters = true;
      // a, am or a.m. (p for the afternoon) right after the digits, a blank
      // between allowed, and nothing after it
      const std::string_view rest = text.substr(i);
      bool afternoon = false;
      const bool marker = MarkerLength(rest, afternoon) == rest.size();
      designator = designator || (marker && !runs.empty());
    } else if (!runs.empty() && separators.size() < runs.size()) {
      separators += text[i];
    }
    ++i;
  }
  if (designator) return TextShape::kTime;
  if (letters || runs.empty()) return TextShape::kOther;
  if (runs.size() == 1) {
    if (runs[0] == 3 || runs[0] == 4) return TextShape::kTime;
    if (runs[0] == 6 || runs[0] == 8 || runs[0] == 7) return TextShape::kDate;
    return TextShape::kOther;
  }
  const bool timeSeparators = separators.find_first_not_of(":.h") == std::string::npos;
  if (runs.size() == 2)
    return timeSeparators && runs[0] <= 2 ? TextShape::kTime : TextShape::kOther;
  if (runs.size() == 3) {
    // "9:30:15" is a time with seconds; "5.12.2026" and "2026-12-05" dates.
    if (separators == "::") return TextShape::kTime;
    return TextShape::kDate;
  }
  return TextShape::kOther;
}

namespace {

// The texts without those of the other kind's shape; `otherKind` is set when
// those are the most.
TextCounts WithoutShape(const TextCounts& texts, TextShape other, bool& otherKind) {
  TextCounts kept;
  int64_t dropped = 0, total = 0;
  for (const auto& entry : texts) {
    total += entry.second;
    if (ShapeOf(entry.first) == other) {
      dropped += entry.second;
    } else {
      kept.push_back(entry);
    }
  }
  otherKind = total > 0 && 2 * dropped > total;
  return kept;
}

}  // namespace

LayoutChoice BestDateLayout(const TextCounts& texts, const SetupRecord& current,
                            const RegionalSettings& regional, int currentYear,
                            const std::function<void()>& pause) {
  bool otherKind = false;
  const TextCounts dates = WithoutShape(texts, TextShape::kTime, otherKind);
  if (otherKind) return LayoutChoice{-1, '\0', 0, true};
  // The surely right ones count first, then the fewer doubtful.
  constexpr int64_t kSure = int64_t{1} << 40;
  SetupRecord trial = current;
  LayoutChoice best =
      Best(static_cast<int32_t>(kDateLayoutItems.size()), DateLayoutTakesDelimiter, dates,
           current.DateLayout(), current.DateDelimiter(), [&](int32_t layout, char delimiter) {
             trial.SetDateLayout(layout);
             trial.SetDateDelimiter(delimiter);
             const DateTally c = CountDates(dates, trial, regional, currentYear, pause);
             return c.Sure() * kSure + (kSure - 1 - c.Doubtful());
           });
  trial.SetDateLayout(best.layout);
  trial.SetDateDelimiter(best.delimiter);
  best.read = DatesRead(dates, trial, regional, currentYear);
  return best;
}

LayoutChoice BestTimeLayout(const TextCounts& texts, const SetupRecord& current,
                            const RegionalSettings& regional, const std::function<void()>& pause) {
  // A reading that drops letters or digits of the field counts only after the
  // whole ones: "hhmm (Military)" reads 0230pm as 02:30 am.
  constexpr int64_t kWhole = int64_t{1} << 40;
  const auto alnum = [](std::string_view text) {
    int64_t n = 0;
    for (char c : text) n += IsDigit(c) || IsAsciiLetter(c);
    return n;
  };
  bool otherKind = false;
  const TextCounts times = WithoutShape(texts, TextShape::kDate, otherKind);
  if (otherKind) return LayoutChoice{-1, '\0', 0, true};
  SetupRecord trial = current;
  LayoutChoice best =
      Best(static_cast<int32_t>(kTimeLayoutItems.size()), TimeLayoutTakesDelimiter, times,
           current.TimeLayout(), current.TimeDelimiter(), [&](int32_t layout, char delimiter) {
             trial.SetTimeLayout(layout);
             trial.SetTimeDelimiter(delimiter);
             int64_t score = 0;
             std::string field;
             size_t done = 0;
             for (const auto& [text, n] : times) {
               if (pause && ++done % kTextsBetweenPauses == 0) pause();
               field = text;
               const auto candidate = TimeCandidate(field, layout, delimiter);
               field = text;
               if (!TimeConvert(field, trial, regional)) continue;
               score += candidate && alnum(*candidate) >= alnum(text) ? n * (kWhole + 1) : n;
             }
             return score;
           });
  best.read %= kWhole;
  return best;
}

DayMonthEvidence DayMonthOf(const TextCounts& texts, int32_t layout, char delimiter) {
  // The day-first and month-first layouts build the order they were told;
  // the field's own order is the evidence.
  if (layout == kDayFirstLayout || layout == kMonthFirstLayout) layout = 0;
  bool dayFirst = false, daySecond = false;
  for (const auto& [text, n] : texts) {
    const auto candidate = DateCandidate(text, layout, delimiter);
    if (!candidate) return DayMonthEvidence::kNone;
    int numbers[2] = {0, 0};
    int found = 0;
    for (size_t i = 0; i < candidate->size() && found < 2;) {
      if (!IsDigit((*candidate)[i])) {
        ++i;
        continue;
      }
      int value = 0;
      for (; i < candidate->size() && IsDigit((*candidate)[i]); ++i) {
        value = value > 1000 ? value : value * 10 + ((*candidate)[i] - '0');
      }
      numbers[found++] = value;
    }
    if (found < 2) continue;
    const auto isDayOnly = [](int v) { return v > 12 && v <= 31; };
    dayFirst = dayFirst || (isDayOnly(numbers[0]) && numbers[1] <= 12);
    daySecond = daySecond || (isDayOnly(numbers[1]) && numbers[0] <= 12);
  }
  if (dayFirst && daySecond) return DayMonthEvidence::kBoth;
  if (dayFirst) return DayMonthEvidence::kDayFirst;
  if (daySecond) return DayMonthEvidence::kMonthFirst;
  return DayMonthEvidence::kNone;
}

}  // namespace vantrelix
