#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "date_tally.h"
#include "regional.h"
#include "setup_record.h"

namespace vantrelix {

// The distinct texts of a date or time column, each with how often it occurs.
using TextCounts = std::vector<std::pair<std::string, int64_t>>;

// How many of the texts (counted with their occurrences) the pass reads
// with the record's date or time layout and delimiting character.
int64_t DatesRead(const TextCounts& texts, const SetupRecord& record,
                  const RegionalSettings& regional, int currentYear);
// `pause`, where given, is called every few thousand texts: a window lets
// its events in there (and may end the count by raising).
int64_t TimesRead(const TextCounts& texts, const SetupRecord& record,
                  const RegionalSettings& regional, const std::function<void()>& pause = {});

// What a reading makes of a date column, counted with the occurrences: the
// read ones, and of those the doubtful ones (DateTally).
DateTally CountDates(const TextCounts& texts, const SetupRecord& record,
                     const RegionalSettings& regional, int currentYear,
                     const std::function<void()>& pause = {});

// Whether a text has the shape of a date (three numbers, or six to eight
// digits: seven where a month or day lost its zero), of a time (an hour and
// minutes, a designator, or three or four digits), or neither. The suggestion offers a layout of
// one kind only for texts that do not have the other kind's shape.
enum class TextShape { kOther, kDate, kTime, kDateAndTime };
// A date with an English month name and a time ("Dec 14, 2026 9:30 am") is
// kDateAndTime; other month-name dates need the regional names, which only
// the readings know.
TextShape ShapeOf(std::string_view text);

struct LayoutChoice {
  int32_t layout = -1;
  char delimiter = '\0';  // used by the delimited layouts only
  int64_t read = 0;       // occurrences that the pass would read
  // No layout offered: most of the texts have the other kind's shape (a
  // date column in the time slot, say).
  bool otherKind = false;
};

// Which date (time) layout, and for the delimited ones which delimiting
// character, reads the most of the texts by the rules of the pass; for dates,
// the most that are surely right (none doubtful), so that a reading which
// swaps day and month never wins over one that does not. `current` wins a
// tie, then the lower layout. Only characters found in the texts are
// tried as delimiters. Each trial converts every text once, so callers with
// many distinct texts hand in a sample. `pause` as CountDates takes it.
LayoutChoice BestDateLayout(const TextCounts& texts, const SetupRecord& current,
                            const RegionalSettings& regional, int currentYear,
                            const std::function<void()>& pause = {});
LayoutChoice BestTimeLayout(const TextCounts& texts, const SetupRecord& current,
                            const RegionalSettings& regional,
                            const std::function<void()>& pause = {});

// What the dates tell about their order: a first number from 13 to 31 is a
// day standing first, a second one a day standing second. The numbers are
// the field's own for layout 0 and the day-first and month-first layouts,
// else those of the month/day/year text the layout builds.
enum class DayMonthEvidence { kNone, kDayFirst, kMonthFirst, kBoth };
DayMonthEvidence DayMonthOf(const TextCounts& texts, int32_t layout, char delimiter);

}  // namespace vantrelix
