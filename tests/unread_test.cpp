#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "unread.h"

namespace vantrelix {
namespace {

using Lines = std::vector<std::string>;

UnreadField Tally(int64_t examined, std::vector<UnreadField::Example> unread, int64_t more = 0) {
  UnreadField f;
  f.examined = examined;
  f.unread = static_cast<int64_t>(unread.size()) + more;
  f.examples = std::move(unread);
  return f;
}

TEST(UnreadSummary, Text) {
  RegionalSettings gb;
  gb.localeName = "en_GB";
  gb.shortDatePattern = "dd/MM/yyyy";

  struct Case {
    const char* name;
    UnreadReport report;
    Lines lines;
    ImportFile import = ImportFile::kWritten;
  };
  std::vector<Case> cases;
  {
    UnreadReport r;
    r.linesRead = 5;
    r.dates = Tally(4, {});
    cases.push_back({"everything read", r, {}});
  }
  {
    UnreadReport r;
    r.linesRead = 61;
    r.dates = Tally(60, {{2, "12/14/2026"}, {4, "12/25/2026"}, {9, "11/13/2026"}}, 35);
    r.regional = gb;
    cases.push_back(
        {"dates only, more than the examples",
         r,
         {"38 of 60 dates not read, written to TOLV_D.TXT as they came (61 lines read):",
          "  line 2: \"12/14/2026\"", "  line 4: \"12/25/2026\"", "  line 9: \"11/13/2026\"",
          "  and 35 more",
          "read by date layout \"mm/dd/yy\" with delimiting char \"/\", time layout \"hh:mm am\" "
          "with delimiting char \":\"",
          "regional settings en_GB: day first, date separator \"/\", time separator \":\", "
          "designators \"am\" and \"pm\""}});
  }
  {
    UnreadReport r;
    r.linesRead = 2;
    r.dateLayout = -1;
    r.timeLayout = 4;
    r.timeDelimiter = '\t';
    r.dates = Tally(1, {{1, "7/4/26"}});
    r.times = Tally(1, {{2, "9:30\t" + std::string(70, 'x')}});
    cases.push_back({"no layout, control characters, a long text",
                     r,
                     {"1 of 1 date not read, written to TOLV_D.TXT as it came (2 lines read):",
                      "  line 1: \"7/4/26\"",
                      "1 of 1 time not read, written to TOLV_D.TXT as it came (2 lines read):",
                      "  line 2: \"9:30\\x09" + std::string(55, 'x') + "\"...",
                      "read by date layout none (-1) with delimiting char \"/\", time layout "
                      "\"hh:mm (Military) \" with delimiting char \"\\x09\"",
                      "regional settings C: month first, date separator \"/\", time separator "
                      "\":\", designators \"am\" and \"pm\""}});
  }
  {
    UnreadReport r;
    r.linesRead = 3;
    r.times = Tally(2, {{3, "25:00"}});
    cases.push_back({"a check, which writes nothing",
                     r,
                     {"1 of 2 times not read, would be written to TOLV_D.TXT as it came (3 lines "
                      "read):",
                      "  line 3: \"25:00\"",
                      "read by date layout \"mm/dd/yy\" with delimiting char \"/\", time layout "
                      "\"hh:mm am\" with delimiting char \":\"",
                      "regional settings C: month first, date separator \"/\", time separator "
                      "\":\", designators \"am\" and \"pm\""},
                     ImportFile::kNotWritten});
  }
  {
    UnreadReport r;
    r.linesRead = 1205;
    r.withoutTime = 1204;
    r.dates = Tally(1204, {});
    cases.push_back({"no time column",
                     r,
                     {"no column is set for the appointment time: 1,204 records went out without "
                      "one",
                      "read by date layout \"mm/dd/yy\" with delimiting char \"/\", time layout "
                      "\"hh:mm am\" with delimiting char \":\"",
                      "regional settings C: month first, date separator \"/\", time separator "
                      "\":\", designators \"am\" and \"pm\""}});
  }
  for (const Case& c : cases) EXPECT_EQ(UnreadSummary(c.report, c.import), c.lines) << c.name;
}

// Where the texts left as they came show why, the summary says what to set.
// A long text is cut for the log, never inside a character of several bytes.
TEST(QuotedForLog, CutsBetweenCharacters) {
  struct Case {
    const char* name;
    std::string text;
    std::string quoted;
  };
  std::string twoByte;
  for (int i = 0; i < 40; ++i) twoByte += "\xC3\xBC";  // ü
  // Built by append: g++ 12 warns wrongly of "literal" + string in a release build.
  const auto quoted = [](std::string_view text, std::string_view after) {
    return std::string("\"").append(text).append("\"").append(after);
  };
  const Case cases[] = {
      {"short", "9:30", "\"9:30\""},
      {"a control character", "a\tb", "\"a\\x09b\""},
      {"sixty bytes", std::string(60, 'a'), quoted(std::string(60, 'a'), "")},
      {"cut after sixty", std::string(61, 'a'), quoted(std::string(60, 'a'), "...")},
      {"cut before the character the sixtieth byte begins", std::string("a").append(twoByte),
       quoted(std::string("a").append(twoByte.substr(0, 58)), "...")},
      {"cut after whole characters", twoByte, quoted(twoByte.substr(0, 60), "...")},
  };
  for (const Case& c : cases) EXPECT_EQ(QuotedForLog(c.text), c.quoted) << c.name;
}

TEST(UnreadSummary, NamesTheCause) {
  struct Case {
    const char* name;
    FieldDelimiter delimiter;
    int32_t dateLayout;
    std::string date;
    std::string cause;  // empty: none of the causes
  };
  const Case cases[] = {
      {"semicolons", FieldDelimiter::kCommaOrTab, 0, " Hans;14.12.2026;09:30;Dr. Weber",
       "  this export is separated by semicolons: --set delimiter=semicolon"},
      {"pipes", FieldDelimiter::kComma, 0, "Roe|12/14/2026|9:30",
       "  this export is separated by pipes: --set delimiter=pipe"},
      {"commas under semicolons", FieldDelimiter::kSemicolon, 0, "Roe,12/14/2026,9:30",
       "  this export is separated by commas: --set delimiter=\"comma or TAB\""},
      {"month names", FieldDelimiter::kCommaOrTab, 0, "Dec 14, 2026",
       "  these dates have month names: --set date-layout=\"dd mmm yyyy (month name)\""},
      {"no time behind the date", FieldDelimiter::kCommaOrTab, 0, "12/14/2026 9h30",
       "  these dates hold more than a date, and what follows it is no time (hh:mm, seconds, "
       "am/pm, a zone)"},
      {"just another order", FieldDelimiter::kCommaOrTab, 0, "2026.14.12", ""},
  };
  for (const Case& c : cases) {
    UnreadReport r;
    r.linesRead = 1;
    r.delimiter = c.delimiter;
    r.dateLayout = c.dateLayout;
    r.dates = Tally(1, {{1, c.date}});
    const Lines lines = UnreadSummary(r);
    const bool named = std::find(lines.begin(), lines.end(), c.cause) != lines.end();
    EXPECT_TRUE(c.cause.empty() ? lines.size() == 4 : named) << c.name << ": " << lines[2];
  }
  UnreadReport stray;
  stray.linesRead = 9;
  stray.strayQuotes = 2;
  stray.firstStrayQuoteLine = 4;
  EXPECT_EQ(UnreadSummary(stray).front(),
            "2 quotes were left open (the first on source line 4): written as text, their lines "
            "split as they stand; check those records");
  EXPECT_EQ(PassExitStatus(stray), 4);
}

}  // namespace
}  // namespace vantrelix
