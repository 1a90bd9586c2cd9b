#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>

#include "regional.h"
#include "regional_locale.h"
#include "test_support.h"

namespace vantrelix {
namespace {

constexpr int kYear = 2026;

RegionalSettings Defaults() {
  return RegionalSettings{};
}
RegionalSettings DayFirstSlash() {
  RegionalSettings s;
  s.shortDatePattern = "dd/MM/yyyy";
  return s;
}
RegionalSettings DayFirstDot() {
  RegionalSettings s;
  s.shortDatePattern = "dd.MM.yy";
  s.dateSeparatorChar = '.';
  return s;
}
RegionalSettings YearFirstSlash() {
  RegionalSettings s;
  s.shortDatePattern = "yyyy/MM/dd";
  return s;
}

// "yyyy-mm-dd" of a parsed date, or "fail".
std::string DateOf(std::string_view text, const RegionalSettings& s, int year = kYear) {
  const auto v = TryParseDate(text, s, year);
  if (!v) return "fail";
  EXPECT_EQ(*v, std::floor(*v)) << "dates are whole days";
  const CivilDate d = CivilFromDays(static_cast<int64_t>(*v));
  char out[32];
  std::snprintf(out, sizeof out, "%04lld-%02u-%02u", static_cast<long long>(d.year), d.month,
                d.day);
  return out;
}

struct DateCase {
  const char* text;
  const char* expected;
  friend void PrintTo(const DateCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

void ExpectDates(const RegionalSettings& s, std::initializer_list<DateCase> cases) {
  for (const DateCase& c : cases) EXPECT_EQ(DateOf(c.text, s), c.expected) << '"' << c.text << '"';
}

TEST(ParseDate, DefaultSettings) {
  ExpectDates(Defaults(), {
                              {"7/4/26", "2026-07-04"},
                              {"7/4/76", "1976-07-04"},
                              {"7/4/75", "2075-07-04"},
                              {"7/4/00", "2000-07-04"},
                              {"7/4/2026", "2026-07-04"},
                              {"7/4", "2026-07-04"},
                              {"7/4/26/", "2026-07-04"},
                              {"  7 / 4 / 26  ", "2026-07-04"},
                              {"7/4/1999", "1999-07-04"},
                              {"7/4/099", "0099-07-04"},
                              {"7/4/026", "0026-07-04"},
                              {"7/4/0026", "0026-07-04"},
                              {"2/29/28", "2028-02-29"},
                              {"2/29/2000", "2000-02-29"},
                              {"12/31/9999", "9999-12-31"},
                              {"1/1/0001", "0001-01-01"},
                              {"007/004/26", "2026-07-04"},
                          });
}

TEST(ParseDate, DefaultSettingsRejects) {
  ExpectDates(
      Defaults(),
      {
          {"7/4/26 x", "fail"},    {"7-4-26", "fail"},   {"7/4/26//", "fail"}, {"", "fail"},
          {" ", "fail"},           {"\t7/4/26", "fail"}, {"7/4/26\t", "fail"}, {"2/29/27", "fail"},
          {"2/29/2100", "fail"},   {"13/1/26", "fail"},  {"0/1/26", "fail"},   {"1/0/26", "fail"},
          {"4/31/26", "fail"},     {"1/1/0000", "fail"}, {"7", "fail"},        {"7/", "fail"},
          {"/4/26", "fail"},       {"7/4/", "fail"},  // a second separator needs a third number
          {"12/25/12345", "fail"},                    // five digits: the tail stays unread
          {"7/4/26 am", "fail"},
      });
}

TEST(ParseDate, DayFirstSlash) {
  ExpectDates(DayFirstSlash(), {
                                   {"7/4/26", "2026-04-07"},
                                   {"25/12/26", "2026-12-25"},
                                   {"12/25/26", "fail"},
                                   {"4/7", "2026-07-04"},
                               });
}

TEST(ParseDate, DayFirstDot) {
  ExpectDates(DayFirstDot(), {
                                 {"25.12.26", "2026-12-25"},
                                 {"25/12/26", "fail"},
                                 {"25.12.", "fail"},
                                 {"25.12", "2026-12-25"},
                             });
}

TEST(ParseDate, YearFirstSlash) {
  ExpectDates(YearFirstSlash(), {
                                    {"26/7/4", "2026-07-04"},
                                    {"2026/7/4", "2026-07-04"},
                                    {"7/4", "2026-07-04"},
                                    {"76/1/2", "1976-01-02"},
                                });
}

TEST(ParseDate, CenturyWindowFollowsTheYear) {
  EXPECT_EQ(DateOf("1/1/50", Defaults(), 2000), "1950-01-01");
  EXPECT_EQ(DateOf("1/1/49", Defaults(), 2000), "2049-01-01");
  RegionalSettings noWindow;
  noWindow.centuryWindowYears = 0;
  EXPECT_EQ(DateOf("1/1/99", noWindow, 2026), "2099-01-01");
}

TEST(ParseDate, FieldOrderFromThePattern) {
  EXPECT_EQ(DateFieldOrderOf("m/d/yy"), DateFieldOrder::kMonthFirst);
  EXPECT_EQ(DateFieldOrderOf("M/d/yyyy"), DateFieldOrder::kMonthFirst);
  EXPECT_EQ(DateFieldOrderOf("dd.MM.yyyy"), DateFieldOrder::kDayFirst);
  EXPECT_EQ(DateFieldOrderOf("yyyy-MM-dd"), DateFieldOrder::kYearFirst);
  EXPECT_EQ(DateFieldOrderOf("gg ee/MM/dd"), DateFieldOrder::kYearFirst);
  EXPECT_EQ(DateFieldOrderOf(""), DateFieldOrder::kMonthFirst);
}

TEST(ParseDate, MessageNamesTheText) {
  try {
    ParseDate("7-4-26", Defaults(), kYear);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'7-4-26' is not a valid date");
  }
  EXPECT_EQ(ParseDate("1/1/1900", Defaults(), kYear), 2.0);
}

// A value as the import file holds it.
std::string ImportDate(DateTimeValue value, const RegionalSettings& settings) {
  std::string out;
  AppendImportDate(out, value, settings);
  return out;
}
std::string ImportTime(DateTimeValue value, const RegionalSettings& settings) {
  std::string out;
  AppendImportTime(out, value, settings);
  return out;
}

// "hh:mm am/pm" of a parsed time, or "fail".
std::string TimeOf(std::string_view text, const RegionalSettings& s = Defaults()) {
  const auto v = TryParseTime(text, s);
  return v ? ImportTime(*v, s) : "fail";
}

TEST(ParseTime, Shapes) {
  const std::pair<const char*, const char*> cases[] = {
      {"9:30", "09:30 am"},
      {"9:30pm", "09:30 pm"},
      {"9:30 PM", "09:30 pm"},
      {"12:15 am", "12:15 am"},
      {"12:15 pm", "12:15 pm"},
      {"0:15 am", "fail"},
      {"13:15 pm", "fail"},
      {"13:15", "01:15 pm"},
      {"24:00", "fail"},
      {"23:59", "11:59 pm"},
      {"9:60", "fail"},
      {"9", "09:00 am"},
      {"9:", "fail"},
      {"pm 9:30", "09:30 pm"},
      {"PM9:30", "09:30 pm"},
      {"9:30:45", "09:30 am"},
      {"9:30:45.5", "09:30 am"},
      {"9:30:60", "fail"},
      {"9:30.5", "fail"},
      {"9:30:45.", "fail"},
      {"9:30:45.1000", "fail"},
      {"9:30 p", "fail"},
      {"9:30 a", "fail"},
      {"9:30 am pm", "fail"},
      {"am 9:30 pm", "fail"},
      {"9:30 aM", "09:30 am"},
      {"9:30 Am", "09:30 am"},
      {" 9 : 30 ", "09:30 am"},
      {"\t9:30", "fail"},
      {"9:30\t", "fail"},
      {"", "fail"},
      {"am", "fail"},
      {"0:00", "12:00 am"},
      {"12:00", "12:00 pm"},
      {"0:05", "12:05 am"},
      {"12:00 am", "12:00 am"},
      {"12345", "fail"},
      {"09:30 x", "fail"},
      {"9:3", "09:03 am"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(TimeOf(text), expected) << '"' << text << '"';
}

TEST(ParseTime, MarkersFromTheLocale) {
  RegionalSettings upper;
  upper.amText = "AM";
  upper.pmText = "PM";
  EXPECT_EQ(TimeOf("9:30 am", upper), "09:30 am");
  EXPECT_EQ(TimeOf("9:30 PM", upper), "09:30 pm") << "output stays lower case";

  RegionalSettings none;  // a 24-hour locale without designators
  none.amText.clear();
  none.pmText.clear();
  EXPECT_EQ(TimeOf("9:30 PM", none), "09:30 pm");
  EXPECT_EQ(TimeOf("9:30", none), "09:30 am");

  RegionalSettings letter;
  letter.amText = "a";
  letter.pmText = "p";
  EXPECT_EQ(TimeOf("9:30 p", letter), "09:30 pm") << "a one-letter designator of the locale";

  RegionalSettings german;
  german.amText = "vorm.";
  german.pmText = "nachm.";
  EXPECT_EQ(TimeOf("9:30 NACHM.", german), "09:30 pm");
  EXPECT_EQ(TimeOf("9:30 pm", german), "09:30 pm") << "the literal PM still works";

  RegionalSettings unicode;
  unicode.amText = "\xC3\xA4m";  // "äm"
  unicode.pmText = "\xC3\xB6m";  // "öm"
  EXPECT_EQ(TimeOf("9:30 \xC3\x96M", unicode), "09:30 pm") << "non-ASCII case folding";
}

TEST(ParseTime, SeparatorsFromTheLocale) {
  RegionalSettings dot;
  dot.timeSeparatorChar = '.';
  dot.decimalSeparatorChar = ',';
  EXPECT_EQ(TimeOf("9.30", dot), "09.30 am");
  EXPECT_EQ(TimeOf("9:30", dot), "fail");
  EXPECT_EQ(TimeOf("9.30.15,250", dot), "09.30 am");
}

TEST(ParseTime, ValueAndMessage) {
  EXPECT_DOUBLE_EQ(ParseTime("6:00 pm", Defaults()), 0.75);
  EXPECT_DOUBLE_EQ(ParseTime("0:00:00.001", Defaults()), 1.0 / 86400000);
  try {
    ParseTime("9:30 p", Defaults());
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'9:30 p' is not a valid time");
  }
}

TEST(ImportText, DatesAndTimesWithTheRegionalSeparators) {
  const double july4 = static_cast<double>(DaysFromCivil(2026, 7, 4));
  RegionalSettings s;
  EXPECT_EQ(ImportDate(july4, s), "07/04/26");
  s.dateSeparatorChar = '.';
  EXPECT_EQ(ImportDate(july4, s), "07.04.26");
  s.dateSeparatorChar = '\0';
  EXPECT_EQ(ImportDate(july4, s), "070426") << "NUL writes nothing";

  RegionalSettings t;
  t.timeSeparatorChar = '.';
  EXPECT_EQ(ImportTime(9.5 / 24, t), "09.30 am");
  EXPECT_EQ(ImportTime(21.5 / 24, t), "09.30 pm");
  EXPECT_EQ(ImportTime(0.5 / 24, t), "12.30 am") << "half past midnight";
  EXPECT_EQ(ImportTime(12.25 / 24, t), "12.15 pm");
}

TEST(ImportText, RoundsToWholeMillisecondsAndTruncatesParts) {
  const RegionalSettings s;
  const double almost = (9 * 3600 + 30 * 60 + 59) / 86400.0 + 0.9994 / 86400;
  EXPECT_EQ(ImportTime(almost, s), "09:30 am") << "9:30:59 has minutes 30";
  const double justBelowTen = 10.0 / 24 - 0.0004 / 86400;  // rounds up to 10:00:00.000
  EXPECT_EQ(ImportTime(justBelowTen, s), "10:00 am");
  const double nearMidnight = 2.0 - 0.0004 / 86400;  // the next day's first moment
  EXPECT_EQ(ImportDate(nearMidnight, s), "01/01/00");
  EXPECT_EQ(ImportTime(nearMidnight, s), "12:00 am");
}

TEST(DayCount, EveryDayFromYear1To9999RoundTrips) {
  int64_t expected = DaysFromCivil(1, 1, 1);
  for (int64_t y = 1; y <= 9999; ++y) {
    for (unsigned m = 1; m <= 12; ++m) {
      const unsigned last = DaysInMonth(y, m);
      for (unsigned d = 1; d <= last; ++d) {
        const int64_t days = DaysFromCivil(y, m, d);
        ASSERT_EQ(days, expected) << y << "-" << m << "-" << d;
        const CivilDate back = CivilFromDays(days);
        ASSERT_TRUE(back.year == y && back.month == m && back.day == d) << days;
        ++expected;
      }
    }
  }
  EXPECT_EQ(DaysFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(DaysFromCivil(1900, 1, 1), 2);
  EXPECT_EQ(DaysFromCivil(9999, 12, 31), 2958465);
}

TEST(DayCount, RangeLimits) {
  EXPECT_EQ(DateOf("1/1/0001", Defaults()), "0001-01-01");
  EXPECT_EQ(DateOf("12/31/9999", Defaults()), "9999-12-31");
  EXPECT_EQ(DateOf("12/32/9999", Defaults()), "fail");
  EXPECT_EQ(DateOf("2/28/2100", Defaults()), "2100-02-28");
  EXPECT_EQ(DateOf("2/29/2400", Defaults()), "2400-02-29");
  EXPECT_EQ(ImportDate(DaysFromCivil(1, 1, 1), Defaults()), "01/01/01");
}

TEST(RegionalLocale, FilledFromRealLocales) {
  struct Case {
    const char* name;
    DateFieldOrder order;
    char dateSep, timeSep, decimal;
  };
  const Case cases[] = {
      {"en_US", DateFieldOrder::kMonthFirst, '/', ':', '.'},
      {"de_DE", DateFieldOrder::kDayFirst, '.', ':', ','},
      {"ja_JP", DateFieldOrder::kYearFirst, '/', ':', '.'},
      {"nl_NL", DateFieldOrder::kDayFirst, '-', ':', ','},
  };
  for (const Case& c : cases) {
    const RegionalSettings s = RegionalSettingsFromLocale(QLocale(c.name));
    EXPECT_EQ(s.localeName, c.name);
    EXPECT_EQ(DateFieldOrderOf(s.shortDatePattern), c.order) << c.name << " " << s.shortDatePattern;
    EXPECT_EQ(s.dateSeparatorChar, c.dateSep) << c.name;
    EXPECT_EQ(s.timeSeparatorChar, c.timeSep) << c.name;
    EXPECT_EQ(s.decimalSeparatorChar, c.decimal) << c.name;
  }
  const RegionalSettings us = RegionalSettingsFromLocale(QLocale("en_US"));
  EXPECT_EQ(us.amText, "AM");
  EXPECT_EQ(us.pmText, "PM");
  const RegionalSettings ja = RegionalSettingsFromLocale(QLocale("ja_JP"));
  EXPECT_EQ(ja.amText, QLocale("ja_JP").amText().toStdString());
  EXPECT_NE(ja.amText, "AM");
}

TEST(RegionalLocale, SeparatorsComeFromTheNumbersOnly) {
  // Their patterns put a designator ("AP", "B") or a word before the hour.
  const std::pair<const char*, char> cases[] = {
      {"ko_KR", ':'}, {"ko_KP", ':'}, {"zh_TW", ':'},  {"zh_HK", ':'},
      {"zh_MO", ':'}, {"zh_SG", ':'}, {"yue_HK", ':'}, {"ta_IN", ':'},
      {"ta_MY", ':'}, {"ta_SG", ':'}, {"brx_IN", ':'}, {"ks_IN", ':'},
      {"ee_GH", ':'}, {"as_IN", '.'}, {"nds_DE", '.'}, {"nds_NL", '.'}};
  for (const auto& [name, separator] : cases) {
    EXPECT_EQ(RegionalSettingsFromLocale(QLocale(name)).timeSeparatorChar, separator) << name;
  }
  for (const QLocale& locale :
       QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
    const RegionalSettings s = RegionalSettingsFromLocale(locale);
    EXPECT_NE(s.dateSeparatorChar, '\0') << locale.name().toStdString();
    EXPECT_NE(s.timeSeparatorChar, '\0') << locale.name().toStdString();
  }
}

TEST(RegionalLocale, CLocaleGivesTheDefaults) {
  const RegionalSettings s = RegionalSettingsFromLocale(QLocale::c());
  EXPECT_EQ(s.localeName, "C");
  EXPECT_EQ(s.shortDatePattern, "m/d/yy");
  EXPECT_EQ(s.dateSeparatorChar, '/');
  EXPECT_EQ(s.timeSeparatorChar, ':');
  EXPECT_EQ(s.decimalSeparatorChar, '.');
  EXPECT_EQ(s.amText, "am");
  EXPECT_EQ(s.pmText, "pm");
}

// Runs the system fill in a child with the given environment.
std::string SystemFillInChild(std::initializer_list<std::pair<const char*, const char*>> env) {
  return testing::RunInChild([&] {
    for (const char* v : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG"}) ::unsetenv(v);
    for (const auto& [k, v] : env) ::setenv(k, v, 1);
    const RegionalSettings s = RegionalSettingsFromSystem();
    return s.shortDatePattern + "|" + s.dateSeparatorChar + s.decimalSeparatorChar;
  });
}

TEST(RegionalLocale, EnvironmentPicksTheLocale) {
  EXPECT_EQ(SystemFillInChild({{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "en_US.UTF-8"}}),
            QLocale("de_DE").dateFormat(QLocale::ShortFormat).toStdString() + "|.,");
  EXPECT_EQ(SystemFillInChild({{"LANG", "C"}}), "m/d/yy|/.");
  EXPECT_EQ(SystemFillInChild({{"LANG", "POSIX"}}), "m/d/yy|/.");
  EXPECT_EQ(SystemFillInChild({}), "m/d/yy|/.");
  EXPECT_EQ(SystemFillInChild({{"LANG", "en_US.UTF-8"}, {"LC_NUMERIC", "de_DE.UTF-8"}}),
            QLocale("en_US").dateFormat(QLocale::ShortFormat).toStdString() + "|/,");
}

}  // namespace
}  // namespace vantrelix
