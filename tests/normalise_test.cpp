#include <gtest/gtest.h>

#include "layout_record.h"
#include "normalise.h"
#include "regional_locale.h"

namespace vantrelix {
namespace {

constexpr int kYear = 2026;

std::string Date(std::string field, int32_t layout, char delimiter = '/',
                 const RegionalSettings& s = RegionalSettings{}) {
  DateConvert(field, testing::LayoutRecord(layout, delimiter), s, kYear);
  return field;
}

std::string Time(std::string field, int32_t layout, char delimiter = ':',
                 const RegionalSettings& s = RegionalSettings{}) {
  TimeConvert(field, testing::LayoutRecord(0, '/', layout, delimiter), s);
  return field;
}

struct DataDelimitedStep {
  int32_t from;
  std::string part;
  int32_t to;
};

TEST(DataDelimited, CarriesThePosition) {
  struct Case {
    std::string text;
    char delimiter;
    std::vector<DataDelimitedStep> steps;
  };
  const Case cases[] = {
      {"12/5/2026", '/', {{1, "12", 4}, {4, "05", 6}, {6, "2026", 10}, {10, "", 10}}},
      {"9:30", ':', {{1, "09", 3}, {3, "30", 5}}},
      {"/26", '/', {{1, "", 2}}},
      {"a//b", '/', {{1, "0a", 3}, {3, "", 4}, {4, "0b", 5}}},
      {" ", '/', {{1, "0 ", 2}}},
      {"abc", '/', {{1, "abc", 4}, {4, "", 4}}},
      {"", '/', {{1, "", 1}}},
      {"A/a", 'a', {{1, "A/", 4}}},  // byte comparison: case matters
  };
  for (const Case& c : cases) {
    for (const DataDelimitedStep& step : c.steps) {
      std::string text = c.text;
      int32_t position = step.from;
      DataDelimited(text, position, c.delimiter);
      EXPECT_EQ(text, step.part) << c.text << " from " << step.from;
      EXPECT_EQ(position, step.to) << c.text << " from " << step.from;
    }
  }
}

struct FieldCase {
  const char* field;
  int32_t layout;
  char delimiter;
  const char* expected;
  friend void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << '"' << c.field << "\" layout " << c.layout;
  }
};

TEST(DateConvert, DefaultSettings) {
  const FieldCase cases[] = {
      {"7/4/2026", 0, '/', "07/04/26"},
      {"7/4/26", 0, '/', "07/04/26"},
      {"7/4", 0, '/', "07/04/26"},
      {"12/31/1999", 0, '/', "12/31/99"},
      {" 7 / 4 / 26 ", 0, '/', "07/04/26"},
      {"07/04/2026 10:30", 0, '/', "07/04/26"},  // the time is the time layout's
      {"2026-07-04", 0, '/', "2026-07-04"},
      {"7.4.26", 0, '/', "7.4.26"},
      {"July 4", 0, '/', "July 4"},
      {"2/29/2100", 0, '/', "2/29/2100"},
      {"26/7/4", 1, '/', "07/04/26"},
      {"2026/7/4", 1, '/', "07/04/26"},
      {"26-7-4", 1, '-', "07/04/26"},
      {"26/7/4", 1, '-', "26/7/4"},
      {"26/07/04/9", 1, '/', "26/07/04/9"},
      {"26/7", 1, '/', "26/7"},
      {"4/26/7", 2, '/', "07/04/26"},
      {"04/2026/07", 2, '/', "07/04/26"},
      {"20260704", 3, '/', "07/04/26"},
      {"19991231", 3, '/', "12/31/99"},
      {"19000229", 3, '/', "19000229"},
      {"2026-07-04", 3, '/', "2026-07-04"},
      {" 20260704", 3, '/', "07/04/26"},
      {"20260704 ", 3, '/', "07/04/26"},
      {"2026074", 3, '/', "2026074"},
      {"260704", 4, '/', "07/04/26"},
      {"261304", 4, '/', "261304"},
      // Every character is accounted for, or the field stays as it came.
      {"14112026", 4, '/', "14112026"},
      {"14112026", 3, '/', "14112026"},
      {"10 08 2072", 3, '/', "10 08 2072"},
      {"14/12/2026/x", 5, '/', "14/12/2026/x"},
      {"14/12/2026/", 5, '/', "12/14/26"},
      {"14/12", 5, '/', "14/12"},
      {"26/7/4 x", 1, '/', "26/7/4 x"},
      {"7/4-26-x", 1, '-', "7/4-26-x"},
  };
  for (const FieldCase& c : cases) {
    EXPECT_EQ(Date(c.field, c.layout, c.delimiter), c.expected)
        << '"' << c.field << "\" layout " << c.layout;
  }
}

TEST(DateConvert, LayoutsOutsideTheListChangeNothing) {
  for (int32_t layout : {-1, 7, 11, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(Date("7/4/26", layout), "7/4/26") << layout;
  }
}

TEST(DateConvert, EmptyAndBlankLineFieldsStay) {
  for (int32_t layout = -1; layout <= 7; ++layout) {
    for (char delimiter : {'/', '-', '\0', 'B', '-'}) {
      EXPECT_EQ(Date("", layout, delimiter), "") << layout;
      EXPECT_EQ(Date("--Blank Line--", layout, delimiter), "--Blank Line--") << layout;
    }
  }
}

RegionalSettings Regional(const char* pattern, char dateSeparator = '/', char timeSeparator = ':') {
  RegionalSettings s;
  s.shortDatePattern = pattern;
  s.dateSeparatorChar = dateSeparator;
  s.timeSeparatorChar = timeSeparator;
  return s;
}

// The text a layout builds is read as it was built, whatever the regional
// order and separators; only layout 0 reads the field by the regional rules,
// and the output takes the regional separators.
TEST(DateConvert, BuiltTextIsReadAsBuiltUnderEveryRegionalOrder) {
  struct Case {
    const char* settings;
    const char* field;
    int32_t layout;
    char delimiter;
    const char* expected;
  };
  const std::pair<const char*, RegionalSettings> kinds[] = {
      {"month first", Regional("M/d/yyyy")},
      {"day first", Regional("dd/MM/yyyy")},
      {"year first", Regional("yyyy-MM-dd", '-')},
      {"dot", Regional("dd.MM.yy", '.', '.')},
  };
  const Case cases[] = {
      {"month first", "7/4/2026", 0, '/', "07/04/26"},
      {"day first", "4/7/2026", 0, '/', "07/04/26"},
      {"year first", "2026-07-04", 0, '/', "07-04-26"},
      {"dot", "25.12.26", 0, '/', "12.25.26"},
      {"day first", "20260704", 3, '/', "07/04/26"},
      {"day first", "20261225", 3, '/', "12/25/26"},
      {"year first", "20260704", 3, '/', "07-04-26"},
      {"dot", "26/7/4", 1, '/', "07.04.26"},
      {"dot", "4/26/7", 2, '/', "07.04.26"},
      {"dot", "20260704", 3, '/', "07.04.26"},
      {"dot", "260704", 4, '/', "07.04.26"},
      // Day first and month first, cut by the delimiting char.
      {"month first", "4/7/2026", 5, '/', "07/04/26"},
      {"month first", "25-12-2026", 5, '-', "12/25/26"},
      {"month first", "25/12/2026", 5, '-', "25/12/2026"},
      {"month first", "13/13/2026", 5, '/', "13/13/2026"},
      {"day first", "7/4/2026", 6, '/', "07/04/26"},
      {"day first", "12.25.2026", 6, '.', "12/25/26"},
      {"day first", "25/12/2026", 6, '/', "25/12/2026"},
      {"year first", "5/12/2026", 5, '/', "12-05-26"},
      {"dot", "5.12.2026", 5, '.', "12.05.26"},
      {"dot", "12/5/26", 6, '/', "12.05.26"},
  };
  for (const Case& c : cases) {
    const RegionalSettings* s = nullptr;
    for (const auto& [name, settings] : kinds)
      if (std::string_view(name) == c.settings) s = &settings;
    ASSERT_NE(s, nullptr) << c.settings;
    EXPECT_EQ(Date(c.field, c.layout, c.delimiter, *s), c.expected)
        << c.settings << ": \"" << c.field << "\" layout " << c.layout;
  }
}

TEST(DateCandidate, BuildsMonthDayYear) {
  EXPECT_EQ(DateCandidate("26/7/4", 1, '/'), "07/04/26");
  EXPECT_EQ(DateCandidate("4/26/7", 2, '/'), "07/04/26");
  EXPECT_EQ(DateCandidate("20260704", 3, '/'), "07/04/2026") << "the century stays";
  EXPECT_EQ(DateCandidate("2026074", 3, '/'), "");
  EXPECT_EQ(DateCandidate("26", 4, '/'), "");
  EXPECT_EQ(DateCandidate("x", 3, '/'), "");
  EXPECT_EQ(DateCandidate("4/7/2026", 5, '/'), "07/04/2026");
  EXPECT_EQ(DateCandidate("7-4-2026", 6, '-'), "07/04/2026");
  EXPECT_EQ(DateCandidate("x", 8, '/'), std::nullopt);
}

// Month names as practice and calendar programs write them, in English and
// in the regional language.
TEST(DateConvert, MonthNames) {
  struct Case {
    const char* field;
    const char* locale;
    const char* expected;  // the field itself when not read
  };
  const Case cases[] = {
      {"14-Dec-2026", "C", "12/14/26"},
      {" 14 Dec 2026 ", "C", "12/14/26"},
      {"Dec 14, 2026", "C", "12/14/26"},
      {"December 14, 2026", "C", "12/14/26"},
      {"Tuesday, December 14, 2026", "C", "12/14/26"},
      {"DEC. 14 2026", "C", "12/14/26"},
      {"December 14th, 2026", "C", "12/14/26"},
      {"2026 Dec 14", "C", "12/14/26"},
      {"14 Sept 76", "C", "09/14/76"},
      {"1 Mar 27", "C", "03/01/27"},
      {"December 14, 2026 9:30 am", "C", "12/14/26"},
      {"14. Dezember 2026", "de_DE", "12.14.26"},  // by the regional separator
      {"Mo., 14. Dez. 2026", "de_DE", "12.14.26"},
      {"14 d\xc3\xa9"
       "c. 2026",
       "fr_FR", "12/14/26"},
      {"14 D\xc3\x89"
       "CEMBRE 2026",
       "fr_FR", "12/14/26"},
      {"14-mrt-2026", "nl_NL", "03-14-26"},
      {"14 Dezember 2026", "C", "14 Dezember 2026"},
      {"14 Dec", "C", "14 Dec"},
      {"Dec 2026", "C", "Dec 2026"},
      {"14 Foo 2026", "C", "14 Foo 2026"},
      {"31 Nov 2026", "C", "31 Nov 2026"},
      {"14 Dec 2026 x", "C", "14 Dec 2026 x"},
      {"14 De 2026", "C", "14 De 2026"},
      {"14 Dec 12026", "C", "14 Dec 12026"},
      {"14/12/2026", "C", "14/12/2026"},
  };
  for (const Case& c : cases) {
    const RegionalSettings s = RegionalSettingsFromLocale(QLocale(c.locale));
    EXPECT_EQ(Date(c.field, kMonthNameLayout, '/', s), c.expected) << c.field << " " << c.locale;
  }
}

struct TimeCase {
  const char* field;
  const char* candidate;  // nullptr: not given
  const char* expected;   // nullptr: unchanged
};

void ExpectTimes(std::initializer_list<int32_t> layouts, std::initializer_list<TimeCase> cases) {
  for (int32_t layout : layouts) {
    for (const TimeCase& c : cases) {
      std::string field = c.field;
      if (c.candidate != nullptr) {
        EXPECT_EQ(TimeCandidate(field, layout, ':'), c.candidate)
            << c.field << " layout " << layout;
      }
      EXPECT_EQ(Time(c.field, layout), c.expected != nullptr ? c.expected : c.field)
          << '"' << c.field << "\" layout " << layout;
    }
  }
}

TEST(TimeConvert, Layouts0To3) {
  ExpectTimes({0, 1, 2, 3}, {
                                {"9:30 am", "09:30 am", "09:30 am"},
                                {"9:30pm", "09:30pm", "09:30 pm"},
                                {"12:05a", "12:05am", "12:05 am"},
                                {"1:5 p", "01:05 pm", "01:05 pm"},
                                {"7:45 P", "07:45 pm", "07:45 pm"},
                                {"9:30 a.m.", "09:30 am", "09:30 am"},
                                {"9:30p.m.", "09:30pm", "09:30 pm"},
                                {"9:30 P.M", "09:30 pm", "09:30 pm"},
                                {"9:30 p.m.x", "09:30 p.m.x", nullptr},
                                {"9:p", nullptr, nullptr},  // no minute
                                {"7:A", nullptr, nullptr},
                                {"14:30", "14:30", "02:30 pm"},
                                {"9:30:15 pm", "09:30:15 pm", "09:30 pm"},
                                {"12:30:00 AM", "12:30:00 am", "12:30 am"},
                                {"9:30:15 p", "09:30:15 pm", "09:30 pm"},
                                {"9:30 p ", "09:30 pm", "09:30 pm"},
                                {"9:30:", "09:30:", nullptr},
                                {"13:15 pm", "13:15 pm", nullptr},
                                {"9:30 pm x", "09:30 pm x", nullptr},
                                {"1030 pm", "1030 pm:", nullptr},
                                {"10::30", "10::30", nullptr},
                            });
}

TEST(TimeConvert, Layout4) {
  ExpectTimes({4}, {
                       {"14:30", "14:30", "02:30 pm"},
                       {"9:5", "09:05", "09:05 am"},
                       {"0:00", "00:00", "12:00 am"},
                       {"23:59", "23:59", "11:59 pm"},
                       {"2:30 pm", "02:30 pm", "02:30 pm"},
                       {"14:30:00", "14:30:00", "02:30 pm"},
                       {"14:05:59", "14:05:59", "02:05 pm"},
                       {"14:05:60", "14:05:60", nullptr},
                       {"24:00", "24:00", nullptr},
                       {"1030", "1030:", nullptr},
                       {"2:30 p", "02:30 pm", "02:30 pm"},
                       {"2:30 p.m.", "02:30 pm", "02:30 pm"},
                       {"9:p", nullptr, nullptr},
                   });
}

TEST(TimeConvert, Layout5) {
  ExpectTimes({5}, {
                       {"1430", "14:30", "02:30 pm"},
                       {"0905", "09:05", "09:05 am"},
                       {"905", "9:05", "09:05 am"},
                       {" 1430 ", "14:30", "02:30 pm"},
                       {"143059", "", nullptr},
                       {"0805PM", "", nullptr},
                       {"12", "", nullptr},
                   });
}

TEST(TimeConvert, Layouts6And7) {
  ExpectTimes({6, 7}, {
                          {"0930am", "09:30am", "09:30 am"},
                          {"0930 pm", "09:30 pm", "09:30 pm"},
                          {"1200 PM", "12:00 pm", "12:00 pm"},
                          {"0930 a.m.", "09:30 am", "09:30 am"},
                          {"1530", "15:30", "03:30 pm"},
                          {"0930 am x", "09:30 am x", nullptr},
                          {"0930 a", "09:30 am", "09:30 am"},
                          {"930am", "93:0am", nullptr},
                      });
}

TEST(TimeConvert, Layouts8And9) {
  ExpectTimes({8, 9}, {
                          {"0930a", "09:30am", "09:30 am"},
                          {"0930 p", "09:30 pm", "09:30 pm"},
                          {"0930 pm", "09:30 pm", "09:30 pm"},
                          {"0930 P", "09:30 pm", "09:30 pm"},
                          {"0930am", "09:30am", "09:30 am"},
                          {"1530", "15:30", "03:30 pm"},
                          {"930a", "93:0am", nullptr},
                      });
}

TEST(TimeConvert, Layout10MarkerFromTheHour) {
  struct Case {
    const char* field;
    const char* withMarker;
    const char* candidate;
    const char* expected;
  };
  const Case cases[] = {
      {"7:00", "7:00 am", "07:00 am", "07:00 am"},
      {"9:30", "9:30 am", "09:30 am", "09:30 am"},
      {"11:59", "11:59 am", "11:59 am", "11:59 am"},
      {"12:15", "12:15 pm", "12:15 pm", "12:15 pm"},
      {"1:05", "1:05 pm", "01:05 pm", "01:05 pm"},
      {"6:59", "6:59 pm", "06:59 pm", "06:59 pm"},
      {"9:30:15", "9:30:15 am", "09:30:15 am", "09:30 am"},
      // Not read: the field goes out as it came, without the marker.
      {"0:30", "0:30 pm", "00:30 pm", "0:30"},
      {"14:30", "14:30 am", "14:30 am", "14:30"},
      {"9:30 pm", "9:30 pm am", "09:30 pm am", "9:30 pm"},
      {"9", "9 am", "09: am", "9"},
      {"10::30", "10::30 am", "10::30 am", "10::30"},
      {"6.15 PM", "6.15 PM pm", "6.15 PM: pm", "6.15 PM"},
  };
  for (const Case& c : cases) {
    std::string field = c.field;
    EXPECT_EQ(TimeCandidate(field, 10, ':'), c.candidate) << c.field;
    EXPECT_EQ(field, c.withMarker) << c.field;
    EXPECT_EQ(Time(c.field, 10), c.expected) << c.field;
  }
}

TEST(TimeConvert, OtherEdges) {
  for (int32_t layout = -1; layout <= 11; ++layout) EXPECT_EQ(Time("", layout), "") << layout;
  for (int32_t layout : {-1, 11, 1000}) EXPECT_EQ(Time("9:30", layout), "9:30") << layout;
  EXPECT_EQ(Time("9.30 pm", 0, '.'), "09:30 pm") << "the candidate still uses ':'";

  // The candidate a layout builds holds ":" whatever the regional time
  // separator; the output takes the regional one.
  RegionalSettings dot;
  dot.timeSeparatorChar = '.';
  EXPECT_EQ(Time("14:30", 4, ':', dot), "02.30 pm");
  EXPECT_EQ(Time("1430", 5, ':', dot), "02.30 pm");
  EXPECT_EQ(Time("9:30", 10, ':', dot), "09.30 am");
  EXPECT_EQ(Time("9.30", 0, '.', dot), "09.30 am");

  RegionalSettings upper;
  upper.amText = "AM";
  upper.pmText = "PM";
  EXPECT_EQ(Time("9:30pm", 0, ':', upper), "09:30 pm");
  EXPECT_EQ(Time("0930a", 8, ':', upper), "09:30 am");
}

TEST(ReadHourNumber, SignedIntegerReading) {
  const std::pair<const char*, int32_t> cases[] = {
      {"07", 7},
      {"9a", 9},
      {"x", 0},
      {"", 0},
      {"  12", 12},
      {"-5", -5},
      {"+5", 5},
      {"-5a", 5},
      {"$1F", 31},
      {"x10", 16},
      {"0x1a", 26},
      {"0XFF", 255},
      {"$", 0},
      {"0x", 0},
      {"-", 0},
      {"2147483647", 2147483647},
      {"2147483648", 214748364},
      {"-2147483647", -2147483647},
      {"$FFFFFFFF", -1},
      {"$123456789", 0x12345678},
      {"00", 0},
      {"0", 0},
      {"1 2", 1},
  };
  for (const auto& [piece, value] : cases)
    EXPECT_EQ(ReadHourNumber(piece), value) << '"' << piece << '"';
}

TEST(LayoutLists, ItemTexts) {
  EXPECT_EQ(kDateLayoutItems.size(), 8u);
  EXPECT_EQ(kDateLayoutItems[5], "dd/mm/yy (day first)");
  EXPECT_EQ(kDateLayoutItems[6], "mm/dd/yy (month first)");
  EXPECT_EQ(kDateLayoutItems[7], "dd mmm yyyy (month name)");
  EXPECT_EQ(kTimeLayoutItems.size(), 11u);
  EXPECT_EQ(kTimeLayoutItems[4], "hh:mm (Military) ") << "item 4 ends in a blank";
  EXPECT_EQ(kTimeLayoutItems[4].size(), 17u);
  EXPECT_EQ(kTimeLayoutItems[5], "hhmm (Military)");
  EXPECT_EQ(kTimeLayoutItems[10], "hh:mm (7am-6:59pm)");
}

}  // namespace
}  // namespace vantrelix

namespace vantrelix {
namespace {

// Spreadsheets, database reports and booking systems write the date and the
// time in one field; each layout reads its part, and a zoned time is moved
// to the zone here, its date with it.
TEST(DateAndTimeInOneField, EachPartByItsLayout) {
  struct Case {
    const char* field;
    int32_t dateLayout;
    char dateDelimiter;
    int32_t timeLayout;
    const char* zone;
    const char* date;  // as written: the field itself when not read
    const char* time;
    bool oneColumn = true;  // the date and the time field name its column
  };
  const Case cases[] = {
      {"12/14/2026 8:00", 0, '/', 0, "", "12/14/26", "08:00 am"},
      {"12/14/2026 8:00:00 PM", 0, '/', 0, "", "12/14/26", "08:00 pm"},
      {"12/14/2026  9:30 p.m. ", kMonthFirstLayout, '/', 0, "", "12/14/26", "09:30 pm"},
      {"2026-12-14 09:30:00", 1, '-', 4, "", "12/14/26", "09:30 am"},
      {"2026-12-14 14:05:00.0", 1, '-', 4, "", "12/14/26", "02:05 pm"},
      {"2026-12-14T09:30:00", 1, '-', 0, "", "12/14/26", "09:30 am"},
      {"20261214 083000", 3, '/', 5, "", "12/14/26", "08:30 am"},
      {"20261214T1430", 3, '/', 5, "", "12/14/26", "02:30 pm"},
      {"14.12.2026 17:45", kDayFirstLayout, '.', 4, "", "12/14/26", "05:45 pm"},
      // Zones: the clock here, the date with it where midnight lies between.
      {"2026-12-14T23:30:00Z", 1, '-', 0, "Europe/Berlin", "12/15/26", "12:30 am"},
      {"2026-07-14T12:00:00Z", 1, '-', 0, "Europe/Berlin", "07/14/26", "02:00 pm"},
      {"2026-12-15T01:30:00+01:00", 1, '-', 0, "", "12/15/26", "12:30 am"},
      {"2026-12-15T00:30:00+0100", 1, '-', 0, "", "12/14/26", "11:30 pm"},
      {"2026-12-14T22:30:00-0500", 1, '-', 0, "", "12/15/26", "03:30 am"},
      {"2026-12-14 09:30:00 +01:00", 1, '-', 0, "Unknown/Zone", "12/14/26", "08:30 am"},
      // Not read: the whole field must be a date and a time.
      {"12/14/2026 25:00", 0, '/', 0, "", "12/14/2026 25:00", "12/14/2026 25:00"},
      {"12/14/2026 9:30 x", 0, '/', 0, "", "12/14/2026 9:30 x", "12/14/2026 9:30 x"},
      {"12/14/2026 13:30 pm", 0, '/', 0, "", "12/14/2026 13:30 pm", "12/14/2026 13:30 pm"},
      {"2026-12-14 0930", 1, '-', 5, "", "2026-12-14 0930", "2026-12-14 0930"},
      {"12/14/2026 09:30Z", 0, '/', 0, "", "12/14/2026 09:30Z", "12/14/2026 09:30Z"},
      {"Call at 9:30", 0, '/', 0, "", "Call at 9:30", "Call at 9:30"},
      {"Room 12 9:30", 0, '/', 0, "", "Room 12 9:30", "Room 12 9:30"},
      {"Tue, Dec 14, 2026 9:30 am", kMonthNameLayout, '/', 0, "", "12/14/26", "09:30 am"},
      {"2026-12-14 13:00-14:00", 1, '-', 0, "", "2026-12-14 13:00-14:00",
       "2026-12-14 13:00-14:00"},                                         // a range, no zone
      {"16.12.26", kDayFirstLayout, '.', 0, "", "12/16/26", "16.12.26"},  // no time in it
      // Beside a time column of its own: the date as written; a time whose
      // day is another here is not read.
      {"2026-12-14T00:00:00Z", 1, '-', 0, "America/New_York", "12/14/26", "2026-12-14T00:00:00Z",
       false},
      {"2026-12-14T15:00:00Z", 1, '-', 0, "America/New_York", "12/14/26", "10:00 am", false},
      {"2026-12-14T09:30:00+15:00", 1, '-', 0, "", "2026-12-14T09:30:00+15:00",
       "2026-12-14T09:30:00+15:00"},
  };
  for (const Case& c : cases) {
    RegionalSettings s;
    s.timeZone = c.zone;
    SetupRecord r = testing::LayoutRecord(
        c.dateLayout, c.dateDelimiter, c.timeLayout,
        std::string_view(c.field).find(':') == std::string_view::npos ? '.' : ':');
    r.SetPosition(FieldSlot::kDate, 3);
    r.SetPosition(FieldSlot::kTime, c.oneColumn ? 3 : 4);
    std::string date = c.field, time = c.field;
    DateConvert(date, r, s, kYear);
    TimeConvert(time, r, s);
    EXPECT_EQ(date, c.date) << c.field;
    EXPECT_EQ(time, c.time) << c.field;
  }
}

}  // namespace
}  // namespace vantrelix
