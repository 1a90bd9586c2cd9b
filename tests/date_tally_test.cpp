#include <gtest/gtest.h>

#include "comma.h"
#include "date_tally.h"
#include "layout_guess.h"
#include "layout_record.h"
#include "normalise.h"

namespace vantrelix {
namespace {

constexpr int kYear = 2026;

TEST(ReadingsOf, EachOrderOfTheShape) {
  struct Case {
    const char* text;
    DateShape shape;
    OrderMask reads;  // bits of DateOrder
  };
  constexpr OrderMask MDY = 1, DMY = 2, YMD = 4, YDM = 8, DYM = 16;
  const Case cases[] = {
      {"12/04/26", DateShape::kSeparated, MDY | DMY | YMD},  // 2012-04-26 too
      {"12/14/26", DateShape::kSeparated, MDY},
      {"25.12.2026", DateShape::kSeparated, DMY},
      {" 2026-12-05 ", DateShape::kSeparated, YMD | YDM},
      {"10 08 2072", DateShape::kSeparated, MDY | DMY},  // blanks alone separate
      {"7/4/26/", DateShape::kSeparated, MDY | DMY | YMD},
      {"04/26/07", DateShape::kSeparated, MDY | YDM | DYM},
      {"7/4/26 x", DateShape::kNone, 0},
      {"7/4-26", DateShape::kNone, 0},
      {"7/4", DateShape::kNone, 0},
      {"12345/1/1", DateShape::kNone, 0},
      {"260704", DateShape::kSixDigits, YMD | DMY},  // 2026-07-04, 26 Jul 2004
      {"150595", DateShape::kSixDigits, DMY},        // a birthday
      {"14112026", DateShape::kEightDigits, DMY},
      {"20261114", DateShape::kEightDigits, YMD},
      {"11142026", DateShape::kEightDigits, MDY},
      {"2026111", DateShape::kNone, 0},
  };
  for (const Case& c : cases) {
    const DateReadings r = ReadingsOf(c.text, kYear, 50);
    EXPECT_EQ(r.shape, c.shape) << c.text;
    EXPECT_EQ(r.reads, c.reads) << c.text;
  }
  EXPECT_EQ(ReadingsOf("12/04/26", kYear, 50).dates[kYearMonthDay].year, 2012);
}

// A column judged by one reading: how many are read, left, doubtful, and the
// layout that would read the most of it.
// A date answered from memory must be the one a fresh reading gives: texts
// that differ in one byte, at any place and of any length, are never taken
// for each other, quoted or not.
TEST(DateJudge, AnswersFromMemoryAsAFreshReadingDoes) {
  const SetupRecord record = testing::LayoutRecord(0, '/');
  const RegionalSettings regional;
  DateJudge judge(record, regional, kYear);
  std::vector<std::string> texts = {"12/04/26", "12/14/26", "\"12/04/26\"",   "2026-12-05",    "",
                                    "7/4/26",   "7/4/2026", "\"7/4/\"\"26\"", "--Blank Line--"};
  for (size_t size = 1; size <= 30; ++size) {
    const std::string base = std::string("11/28/2025 10/03/2025 01/02/2026").substr(0, size);
    for (size_t at = 0; at < size; ++at) {
      std::string other = base;
      other[at] = other[at] == '1' ? '2' : '1';
      texts.push_back(base);
      texts.push_back(other);
    }
  }
  std::string scratch, fresh;
  std::string_view written;
  for (int round = 0; round < 3; ++round) {  // the first fills the memory, the others ask it
    for (const std::string& raw : texts) {
      const bool quoted = raw.find('"') != std::string::npos;
      const DateJudgement j = judge.Judge(raw, quoted, scratch, written);
      fresh.clear();
      AppendColumnText(fresh, raw, quoted);
      const DateJudgement expected = JudgeDate(fresh, record, regional, kYear);
      EXPECT_EQ(written, fresh) << raw;
      EXPECT_EQ(j.verdict, expected.verdict) << raw;
      EXPECT_EQ(j.reads, expected.reads) << raw;
      EXPECT_EQ(j.differs, expected.differs) << raw;
    }
  }
}

TEST(DateTally, DoubtOverEveryOrderTheColumnShows) {
  RegionalSettings yearFirst;
  yearFirst.shortDatePattern = "yy/MM/dd";
  RegionalSettings noSeparator;  // writes "mmddyy"
  noSeparator.dateSeparatorChar = '\0';
  struct Case {
    const char* name;
    RegionalSettings regional;
    int32_t layout;
    char delimiter;
    TextCounts column;
    int64_t read, unread, doubtful;
    int32_t better;  // -1: none reads more
    bool swapOnly;
  };
  const Case cases[] = {
      {"a US export under a day-first locale",
       testing::DayFirstSettings(),
       0,
       '/',
       {{"12/14/2026", 3}, {"12/04/2026", 2}},
       2,
       3,
       2,
       kMonthFirstLayout,
       true},
      {"a year-first locale reads 12/04/26 as 2012",
       yearFirst,
       0,
       '/',
       {{"12/04/26", 1}, {"12/14/26", 1}},
       1,
       1,
       1,
       kMonthFirstLayout,
       false},
      {"a stated order that nothing contradicts",
       {},
       kMonthFirstLayout,
       '/',
       {{"12/04/2026", 4}, {"11/05/2026", 1}},
       5,
       0,
       0,
       -1,
       false},
      {"a stated order that one date contradicts",
       {},
       kMonthFirstLayout,
       '/',
       {{"12/04/2026", 4}, {"25/12/2026", 1}},
       4,
       1,
       4,
       kDayFirstLayout,
       true},
      // 05/05 reads as one date either way round: nothing to doubt.
      {"a stated order that one date contradicts, and a day equal to its month",
       {},
       kMonthFirstLayout,
       '/',
       {{"05/05/2026", 2}, {"25/12/2026", 1}},
       2,
       1,
       0,
       kDayFirstLayout,
       false},
      {"six digits that read only as ddmmyy",
       {},
       4,
       '/',
       {{"260704", 1}, {"150595", 1}},
       1,
       1,
       1,
       -1,
       false},
      {"ddmmyyyy under yyyymmdd: no layout reads it",
       {},
       3,
       '/',
       {{"01022026", 1}, {"14112026", 1}},
       0,
       2,
       0,
       -1,
       false},
      {"the same day either way is no doubt",
       {},
       kDayFirstLayout,
       '/',
       {{"05/05/2026", 1}, {"25/12/2026", 1}, {"12/13/2026", 1}},
       2,
       1,
       0,
       -1,
       true},
      {"the same day either way, written without separators",
       noSeparator,
       kMonthFirstLayout,
       '/',
       {{"05/05/2026", 1}, {"25/12/2026", 1}},
       1,
       1,
       0,
       kDayFirstLayout,
       true},
      {"a date left for its separator tells nothing of the order",
       {},
       kMonthFirstLayout,
       '/',
       {{"12/04/2026", 3}, {"03-04-2026", 1}},
       3,
       1,
       0,
       -1,
       false},
      {"ddmmyy read as yymmdd: every date is nearer now the other way",
       {},
       4,
       '/',
       {{"281226", 1}, {"050127", 1}},
       2,
       0,
       2,
       -1,
       false},
      {"yymmdd nearer now than as ddmmyy: no doubt",
       {},
       4,
       '/',
       {{"261228", 1}, {"270105", 1}},
       2,
       0,
       0,
       -1,
       false},
      {"a delimited export under yyyymmdd",
       {},
       3,
       '/',
       {{"10 08 2072", 1}},
       0,
       1,
       0,
       kMonthFirstLayout,
       false},
  };
  for (const Case& c : cases) {
    const DateTally t =
        CountDates(c.column, testing::LayoutRecord(c.layout, c.delimiter), c.regional, kYear);
    EXPECT_EQ(t.Read(), c.read) << c.name;
    EXPECT_EQ(t.Unread(), c.unread) << c.name;
    EXPECT_EQ(t.Doubtful(), c.doubtful) << c.name;
    EXPECT_EQ(t.Sure(), c.read - c.doubtful) << c.name;
    EXPECT_EQ(t.BetterLayout().layout, c.better) << c.name;
    if (c.doubtful > 0) {
      EXPECT_EQ(t.OnlyDayMonthSwap(), c.swapOnly) << c.name;
    }
  }
}

TEST(DateTally, DoubtfulExamplesAreTheFirstInLineOrder) {
  DateTally tally(LayoutOrderOf(kMonthFirstLayout, {}));
  const SetupRecord record = testing::LayoutRecord(kMonthFirstLayout, '/');
  int64_t line = 0;
  for (const char* text :
       {"12/14/2026", "01/02/2026", "25/12/2026", "03/04/2026", "05/06/2026", "07/08/2026"}) {
    std::string field = text;
    ++line;
    tally.Add(JudgeDate(field, record, {}, kYear), 1, [&] {
      return DateTally::Example{line, text};
    });
  }
  ASSERT_EQ(tally.Doubtful(), 4);
  const std::vector<DateTally::Example> e = tally.DoubtfulExamples();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].line, 2);
  EXPECT_EQ(e[1].text, "03/04/2026");
  EXPECT_EQ(tally.OtherOrdersText(), "day first");
}

}  // namespace
}  // namespace vantrelix
