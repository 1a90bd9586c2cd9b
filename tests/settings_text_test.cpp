#include <gtest/gtest.h>

#include <string>

#include "settings_text.h"
#include "setup_record.h"

namespace vantrelix {
namespace {

// What --set takes and refuses. A refused value changes nothing; each row
// pins one edge an admin's typing can reach.
TEST(ApplySetting, TakesTheAdminsValuesAndRefusesTheRest) {
  struct Case {
    const char* key;
    std::string value;
    bool taken;
    std::string shown;  // the setting as --show would say it afterwards; "" when refused
  };
  const Case cases[] = {
      {"date", "0", true, "date: 0 (none)"},
      {"date", "100", true, "date: column 100"},
      {"date", "101", false, ""},  // past the spinners
      {"date", "-1", false, ""},
      {"date", "+3", false, ""},
      {"date", "3x", false, ""},
      {"source", "", false, ""},
      {"source", std::string(kMaxSourceNameLength, 's'), true, ""},
      {"source", std::string(kMaxSourceNameLength + 1, 's'), false, ""},
      {"header", "TRUE", true, "header: yes (the first line is skipped)"},
      {"header", "1", true, "header: yes (the first line is skipped)"},
      {"header", "false", true, "header: no"},
      {"header", "maybe", false, ""},
      {"date-layout", "7", true, "date-layout: \"dd mmm yyyy (month name)\" (7)"},
      {"date-layout", "8", false, ""},  // one past the list
      {"date-layout", " DD/MM/YY (DAY FIRST) ", true, "date-layout: \"dd/mm/yy (day first)\" (5)"},
      {"time-layout", "11", false, ""},
      {"delimiter", ";", true, "delimiter: \"semicolon\" (3)"},
      {"delimiter", "TAB", true, "delimiter: \"TAB\" (2)"},
      {"date-delimiter", "-", true, "date-delimiter: \"-\""},
      {"date-delimiter", "", false, ""},
      {"time-delimiter", "::", false, ""},
  };
  for (const Case& c : cases) {
    SetupRecord record;
    const SetupRecord before = record;
    const std::string wrong = ApplySetting(record, c.key, c.value);
    const std::string where = std::string(c.key) + "=" + c.value.substr(0, 20);
    EXPECT_EQ(wrong.empty(), c.taken) << where << ": " << wrong;
    if (!c.taken) {
      EXPECT_TRUE(record.SameSettings(before)) << where << ": changed although refused";
      continue;
    }
    if (c.shown.empty()) continue;
    bool said = false;
    for (const std::string& line : DescribeSettings(record, {})) said = said || line == c.shown;
    EXPECT_TRUE(said) << where << ": not \"" << c.shown << "\"";
  }
}

}  // namespace
}  // namespace vantrelix
