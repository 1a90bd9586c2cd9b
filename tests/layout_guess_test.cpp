#include <gtest/gtest.h>

#include <cstdio>

#include "layout_guess.h"
#include "layout_record.h"
#include "normalise.h"
#include "regional_locale.h"

namespace vantrelix {
namespace {

constexpr int kYear = 2026;

struct Ymd {
  int y, m, d;
};
// Days above 12 and one month above 12 in no place, so that the layouts
// cannot stand in for each other.
const Ymd kDates[] = {{2026, 7, 4}, {2026, 12, 25}, {2027, 1, 13}, {2026, 3, 28}, {2025, 11, 2}};

TextCounts Export(const char* format, bool twoDigitYear) {
  TextCounts texts;
  for (const Ymd& d : kDates) {
    char buffer[32];
    const int year = twoDigitYear ? d.y % 100 : d.y;
    std::snprintf(buffer, sizeof buffer, format, d.m, d.d, year);
    texts.emplace_back(buffer, 1);
  }
  return texts;
}

TEST(LayoutGuess, DatesInEachLayoutAndOrder) {
  struct Case {
    const char* name;
    TextCounts texts;
    RegionalSettings regional;
    int32_t layout;
    char delimiter;  // '\0': not a delimited layout
    int64_t read;
    DayMonthEvidence evidence;
  };
  // snprintf arguments are month, day, year; %2$ picks by position.
  const Case cases[] = {
      {"mm/dd/yyyy, month first",
       Export("%1$d/%2$d/%3$d", false),
       {},
       0,
       '\0',
       5,
       DayMonthEvidence::kMonthFirst},
      {"dd/mm/yyyy, day first", Export("%2$d/%1$d/%3$d", false), testing::DayFirstSettings(), 0,
       '\0', 5, DayMonthEvidence::kDayFirst},
      {"month-first data, day-first settings", Export("%1$d/%2$d/%3$d", false),
       testing::DayFirstSettings(), 6, '/', 5, DayMonthEvidence::kMonthFirst},
      {"day-first data, month-first settings",
       Export("%2$d-%1$d-%3$d", false),
       {},
       5,
       '-',
       5,
       DayMonthEvidence::kDayFirst},
      {"yy-mm-dd",
       Export("%3$02d-%1$02d-%2$02d", true),
       {},
       1,
       '-',
       5,
       DayMonthEvidence::kMonthFirst},
      {"dd.yy.mm",
       Export("%2$02d.%3$02d.%1$02d", true),
       {},
       2,
       '.',
       5,
       DayMonthEvidence::kMonthFirst},
      {"yyyymmdd",
       Export("%3$04d%1$02d%2$02d", false),
       {},
       3,
       '\0',
       5,
       DayMonthEvidence::kMonthFirst},
      {"yymmdd", Export("%3$02d%1$02d%2$02d", true), {}, 4, '\0', 5, DayMonthEvidence::kMonthFirst},
  };
  for (const Case& c : cases) {
    // The operator's choice reads nothing: a layout the export is not in.
    const SetupRecord chosen = testing::LayoutRecord(c.layout == 4 ? 3 : 4, '/');
    const LayoutChoice best = BestDateLayout(c.texts, chosen, c.regional, kYear);
    EXPECT_EQ(best.layout, c.layout) << c.name;
    if (c.delimiter != '\0') {
      EXPECT_EQ(best.delimiter, c.delimiter) << c.name;
    }
    EXPECT_EQ(best.read, c.read) << c.name;
    EXPECT_EQ(DayMonthOf(c.texts, best.layout, best.delimiter), c.evidence) << c.name;
  }
}

TEST(LayoutGuess, DatesThatDoNotTellTheOrderKeepTheChoice) {
  const TextCounts texts = {{"1/2/26", 3}, {"3/4/26", 1}};
  // Layouts 0 and 6 read both in 2026; the operator's choice stays. Layout 1
  // reads them too, but in 2001 and 2003: the dates nearer now win.
  for (int32_t chosen : {0, kMonthFirstLayout, 1}) {
    const LayoutChoice best = BestDateLayout(texts, testing::LayoutRecord(chosen, '/'), {}, kYear);
    EXPECT_EQ(best.layout, chosen == 1 ? 0 : chosen) << chosen;
    EXPECT_EQ(best.read, 4);
  }
  EXPECT_EQ(DayMonthOf(texts, 0, '/'), DayMonthEvidence::kNone);
  EXPECT_EQ(DayMonthOf({{"13/1/2026", 1}, {"1/13/2026", 1}}, 0, '/'), DayMonthEvidence::kBoth);
}

// Whatever the machine's regional settings, the reading offered for an
// export gives the true dates: never one that swaps day and month.
TEST(LayoutGuess, OfferedReadingGivesTheTrueDates) {
  const std::pair<const char*, const char*> exports[] = {
      {"day first", "%2$02d/%1$02d/%3$d"}, {"month first", "%1$d/%2$d/%3$d"},
      {"ISO", "%3$d-%1$02d-%2$02d"},       {"yyyymmdd", "%3$d%1$02d%2$02d"},
      {"dotted", "%2$d.%1$d.%3$d"},
  };
  for (const char* locale : {"en_US", "en_GB", "de_DE", "fi_FI", "hu_HU"}) {
    const RegionalSettings regional = RegionalSettingsFromLocale(QLocale(locale));
    for (const auto& [name, format] : exports) {
      const TextCounts texts = Export(format, false);
      for (int32_t chosen : {0, 4}) {
        const LayoutChoice best =
            BestDateLayout(texts, testing::LayoutRecord(chosen, '/'), regional, kYear);
        const SetupRecord offered = testing::LayoutRecord(best.layout, best.delimiter);
        for (size_t i = 0; i < texts.size(); ++i) {
          std::string field = texts[i].first;
          ASSERT_TRUE(DateConvert(field, offered, regional, kYear))
              << locale << ", " << name << ": " << texts[i].first << " layout " << best.layout;
          char expected[16];
          const char sep = regional.dateSeparatorChar;
          std::snprintf(expected, sizeof expected, "%02d%c%02d%c%02d", kDates[i].m, sep,
                        kDates[i].d, sep, kDates[i].y % 100);
          EXPECT_EQ(field, expected) << locale << ", " << name << " layout " << best.layout;
        }
      }
    }
  }
}

// The shapes that keep a date layout from a time column and back.
TEST(ShapeOf, DatesTimesAndNeither) {
  struct Case {
    const char* text;
    TextShape shape;
  };
  const Case cases[] = {
      {"930", TextShape::kTime},         // hhmm without the hour's zero
      {"1430", TextShape::kTime},        // military
      {"261214", TextShape::kDate},      // yymmdd
      {"1122026", TextShape::kDate},     // mddyyyy: a month that lost its zero
      {"20261214", TextShape::kDate},    // yyyymmdd
      {"12345", TextShape::kOther},      // a number of no date or time
      {"9:30", TextShape::kTime},        // an hour and minutes
      {"9.30", TextShape::kTime},        //   with a dot
      {"123:45", TextShape::kOther},     // no hour has three digits
      {"9:30:15", TextShape::kTime},     // with seconds
      {"5.12.2026", TextShape::kDate},   // three numbers
      {"2026-12-05", TextShape::kDate},  //   another separator
      {"9:30 pm", TextShape::kTime},     // a designator
      {"2pm", TextShape::kTime},
      {"Room 4", TextShape::kOther},  // letters
      {"12/14/2026 9:30 am", TextShape::kDateAndTime},
  };
  for (const Case& c : cases) EXPECT_EQ(ShapeOf(c.text), c.shape) << c.text;
}

TEST(LayoutGuess, NoLayoutForTheOtherKindsShape) {
  const TextCounts dates = {{"10/20/2026", 3}, {"2026-12-05", 1}, {"9:30", 1}};
  const TextCounts times = {{"9:30 am", 2}, {"1430", 1}, {"2pm", 1}, {"12/05/2026", 1}};
  const LayoutChoice time = BestTimeLayout(dates, testing::LayoutRecord(0, '/', 0, ':'), {});
  EXPECT_TRUE(time.otherKind);
  EXPECT_EQ(time.layout, -1);
  const LayoutChoice date = BestDateLayout(times, testing::LayoutRecord(0, '/'), {}, kYear);
  EXPECT_TRUE(date.otherKind);
  EXPECT_EQ(date.layout, -1);
  EXPECT_FALSE(BestDateLayout(dates, testing::LayoutRecord(0, '/'), {}, kYear).otherKind);
  // Half of each kind: a layout is still offered.
  const TextCounts half = {{"10/20/2026", 2}, {"9:30 am", 2}};
  EXPECT_FALSE(BestDateLayout(half, testing::LayoutRecord(0, '/'), {}, kYear).otherKind);
  EXPECT_FALSE(BestTimeLayout(half, testing::LayoutRecord(0, '/', 0, ':'), {}).otherKind);
}

TEST(LayoutGuess, Times) {
  struct Case {
    TextCounts texts;
    int32_t layout;
    char delimiter;
  };
  const Case cases[] = {
      {{{"9:30 am", 1}, {"2:05 pm", 2}}, 0, ':'},  // the chosen one, kept
      {{{"9.30 am", 1}, {"2.05 pm", 1}}, 0, '.'}, {{{"1430", 1}, {"0905", 1}}, 5, '\0'},
      {{{"0930am", 1}, {"1205pm", 1}}, 6, '\0'},  {{{"0930a", 1}, {"1205p.m.", 1}}, 6, '\0'},
      {{{"0230pm", 1}, {"1205pm", 1}}, 6, '\0'},  // not 5, which drops the marker
      {{{"14h30", 1}, {"9h05", 1}}, 0, 'h'},
  };
  for (const Case& c : cases) {
    const LayoutChoice best = BestTimeLayout(c.texts, testing::LayoutRecord(0, '/', 0, ':'), {});
    EXPECT_EQ(best.layout, c.layout) << c.texts[0].first;
    if (c.delimiter != '\0') {
      EXPECT_EQ(best.delimiter, c.delimiter) << c.texts[0].first;
    }
    EXPECT_EQ(best.read,
              TimesRead(c.texts, testing::LayoutRecord(0, '/', best.layout, best.delimiter), {}));
  }
}

}  // namespace
}  // namespace vantrelix
