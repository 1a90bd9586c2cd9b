// The shortcut for plain dates and times against the general rules, on random
// fields built from the shapes exports have and the ways they go wrong.
#include <gtest/gtest.h>

#include <random>

#include "fast_normalise.h"
#include "normalise.h"

namespace vantrelix {
namespace {

std::vector<RegionalSettings> SettingsUnderTest() {
  std::vector<RegionalSettings> all(8);
  // [0]: the defaults, month first, "/", ":", am/pm.
  all[1].shortDatePattern = "dd.MM.yyyy";  // day first with "."
  all[1].dateSeparatorChar = '.';
  all[1].amText = "AM";
  all[1].pmText = "PM";
  all[2].shortDatePattern = "yyyy-MM-dd";  // year first with "-", 24 hours
  all[2].dateSeparatorChar = '-';
  all[2].amText.clear();
  all[2].pmText.clear();
  all[3].shortDatePattern = "dd/MM/yy";  // designators that are prefixes of others
  all[3].amText = std::string("a");
  all[3].pmText = "Pm";
  all[4].shortDatePattern = "d.M.yyyy";  // time separator ".": no candidate reads
  all[4].dateSeparatorChar = '.';
  all[4].timeSeparatorChar = '.';
  all[4].centuryWindowYears = 0;
  all[5].shortDatePattern = "y/MM/dd";  // Japanese: year first, designators in kanji
  all[5].amText = "\xe5\x8d\x88\xe5\x89\x8d";
  all[6].shortDatePattern = "MM:dd:yy";  // a separator that is also a delimiter
  all[6].dateSeparatorChar = ':';
  all[6].centuryWindowYears = 80;
  all[7].shortDatePattern = "dd MM yyyy";  // a blank between the numbers
  all[7].dateSeparatorChar = ' ';
  return all;
}

// Random fields: mostly numbers of one to four digits between separators,
// with blanks, designators in mixed case and stray characters mixed in.
class FieldMaker {
 public:
  explicit FieldMaker(uint32_t seed) : rng_(seed) {}

  // Numbers mostly between `primary` separators, sometimes `secondary` ones;
  // `designators` in percent. Half the fields carry no other noise.
  std::string Make(char primary, char secondary, int designators) {
    const int noise = Chance(50) ? 0 : 100;
    std::string f;
    const int numbers = Chance(30) ? Pick(4) + 1 : Pick(2) + 2;
    if (Chance(noise / 10)) f += Blanks();
    for (int i = 0; i < numbers; ++i) {
      if (i > 0) f += Separator(primary, secondary, noise);
      if (Chance(noise / 12)) f += Blanks();
      f += Number(numbers == 1);
      if (Chance(noise / 12)) f += Blanks();
      if (Chance(noise / 20)) f += Stray();
    }
    if (Chance(noise / 30)) f += Separator(primary, secondary, noise);
    if (Chance(designators)) {
      if (Chance(70)) f += Blanks();
      f += Designator();
    }
    if (Chance(noise / 12)) f += Blanks();
    if (Chance(noise / 25)) f += Stray();
    return f;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool Chance(int percent) { return Pick(100) < percent; }

  // Most numbers could be a month, day, hour, minute or year; a number alone
  // is often one run together, as the fixed-column layouts have them.
  std::string Number(bool alone) {
    const int roll = Pick(100);
    if (alone && roll < 60) {
      static constexpr int kRuns[] = {2, 3, 4};  // hhmm, yymmdd, yyyymmdd
      const int run = kRuns[Pick(3)];
      std::string n = run == 4 ? std::to_string(1900 + Pick(200)) : "";
      for (int i = run == 4 ? 2 : 0; i < run; ++i) n += Padded(Pick(i == 0 ? 25 : 32), 2);
      return n;
    }
    if (roll < 50) return Padded(Pick(13), Pick(2) + 1);
    if (roll < 70) return Padded(Pick(Pick(2) ? 32 : 61), Pick(2) + 1);
    if (roll < 80) return std::to_string(1900 + Pick(200));
    static constexpr int kLengths[] = {1, 2, 3, 4, 5, 6, 8};
    std::string n;
    for (int i = kLengths[Pick(7)]; i > 0; --i) n.push_back(static_cast<char>('0' + Pick(10)));
    return n;
  }
  static std::string Padded(int value, int width) {
    std::string n = std::to_string(value);
    if (static_cast<int>(n.size()) < width) n.insert(n.begin(), '0');
    return n;
  }
  std::string Separator(char primary, char secondary, int noise) {
    static constexpr char kOthers[] = {'/', '-', '.', ':', ' ', 'a'};
    if (Chance(noise / 10)) {
      return Pick(2) ? std::string(2, primary) : std::string(1, kOthers[Pick(6)]);
    }
    return std::string(1, Chance(80) ? primary : secondary);
  }
  std::string Blanks() { return std::string(static_cast<size_t>(Pick(2) + 1), ' '); }
  std::string Designator() {
    static constexpr const char* kWords[] = {"am", "pm", "a", "p", "A", "P", "m", ""};
    std::string w = kWords[Pick(8)];
    for (char& c : w) {
      if (Chance(40)) c = static_cast<char>(c - 'a' + 'A');
    }
    if (Chance(10)) w += Pick(2) ? "m" : "x";
    return w;
  }
  std::string Stray() {
    static constexpr const char* kStray[] = {"x", "\t", "0x", "$", "\xc3\xa9", ":", "/", "Z"};
    return kStray[Pick(8)];
  }

  std::mt19937 rng_;
};

TEST(FastNormalise, GivesWhatTheGeneralRulesGive) {
  const std::vector<RegionalSettings> settings = SettingsUnderTest();
  const char delimiters[] = {'/', '-', '.', ':', ' '};
  const int years[] = {2026, 2000, 1999, 1950, 2050, 30, 9990};
  constexpr int kFieldsPerCombination = 300;
  FieldMaker maker(20261208);
  int compared = 0, generalDates = 0, fastDates = 0, generalTimes = 0, fastTimes = 0;

  for (size_t which = 0; which < settings.size(); ++which) {
    const RegionalSettings& s = settings[which];
    for (char delimiter : delimiters) {
      for (int32_t layout = -1; layout <= 11; ++layout) {
        SetupRecord record;
        record.SetDateLayout(layout);
        record.SetTimeLayout(layout);
        record.SetDateDelimiter(delimiter);
        record.SetTimeDelimiter(delimiter);
        for (int i = 0; i < kFieldsPerCombination; ++i) {
          const int year = years[i % 7];
          const auto where = [&](const std::string& input) {
            return testing::Message() << '"' << input << "\" layout " << layout << " delimiter '"
                                      << delimiter << "' settings " << which << " year " << year;
          };

          if (layout <= 7) {
            // Layout 0 is read by the regional separator, the others are cut by the delimiter.
            const std::string input = layout == 0 ? maker.Make(s.dateSeparatorChar, delimiter, 10)
                                                  : maker.Make(delimiter, s.dateSeparatorChar, 10);
            std::string general = input, both = input, fast = input;
            const bool generalRead = DateConvertGeneral(general, record, s, year);
            generalDates += generalRead;
            ASSERT_EQ(DateConvert(both, record, s, year), generalRead) << where(input);
            ASSERT_EQ(both, general) << where(input);
            if (FastDateConvert(fast, layout, delimiter, s, year)) {
              ++fastDates;
              ASSERT_TRUE(generalRead) << where(input);
            } else {
              ASSERT_EQ(fast, input) << "declined, yet changed: " << where(input);
            }
          }

          const std::string input = maker.Make(delimiter, ':', 60);
          std::string general = input, both = input, fast = input;
          const bool generalRead = TimeConvertGeneral(general, record, s);
          generalTimes += generalRead;
          ASSERT_EQ(TimeConvert(both, record, s), generalRead) << where(input);
          ASSERT_EQ(both, general) << where(input);
          if (FastTimeConvert(fast, layout, delimiter, s)) {
            ++fastTimes;
            ASSERT_TRUE(generalRead) << where(input);
          } else {
            ASSERT_EQ(fast, input) << "declined, yet changed: " << where(input);
          }
          ++compared;
        }
      }
    }
  }
  // The comparison means little if the shortcut hardly ever answers.
  EXPECT_GT(fastDates * 3, generalDates) << compared << " fields";
  EXPECT_GT(fastTimes * 3, generalTimes) << compared << " fields";
}

// The shapes of a typical export each take the shortcut.
TEST(FastNormalise, TakesThePlainShapes) {
  struct Case {
    const char* field;
    int32_t layout;
    char delimiter;
    const char* expected;
  };
  const RegionalSettings us;
  const Case dates[] = {
      {"12/28/2026", 0, '/', "12/28/26"}, {"7/4/26", 0, '/', "07/04/26"},
      {"7/4", 0, '/', "07/04/26"},        {"26-7-4", 1, '-', "07/04/26"},
      {"4/26/7", 2, '/', "07/04/26"},     {"20260704", 3, '/', "07/04/26"},
      {"260704", 4, '/', "07/04/26"},
  };
  for (const Case& c : dates) {
    std::string field = c.field;
    EXPECT_TRUE(FastDateConvert(field, c.layout, c.delimiter, us, 2026)) << c.field;
    EXPECT_EQ(field, c.expected) << c.field;
  }
  // Plain shapes that are no dates: the shortcut reads none of them.
  const Case notDates[] = {
      {"13/4/2026", 0, '/', ""}, {"0/4/2026", 0, '/', ""},  {"12/32/2026", 0, '/', ""},
      {"2/29/2026", 0, '/', ""}, {"26-13-4", 1, '-', ""},   {"20261304", 3, '/', ""},
      {"261304", 4, '/', ""},    {"13/4/2026", 6, '/', ""}, {"4/13/2026", 5, '/', ""},
  };
  for (const Case& c : notDates) {
    std::string field = c.field;
    EXPECT_FALSE(FastDateConvert(field, c.layout, c.delimiter, us, 2026)) << c.field;
    EXPECT_EQ(field, c.field);
  }
  const Case times[] = {
      {"9:30 am", 0, ':', "09:30 am"}, {"9:30PM", 1, ':', "09:30 pm"},
      {"12:05a", 2, ':', "12:05 am"},  {"1:5 p", 3, ':', "01:05 pm"},
      {"14:30", 4, ':', "02:30 pm"},   {"1430", 5, ':', "02:30 pm"},
      {"0930 pm", 7, ':', "09:30 pm"}, {"0930a", 8, ':', "09:30 am"},
      {"9.30", 10, '.', "09:30 am"},
  };
  for (const Case& c : times) {
    std::string field = c.field;
    EXPECT_TRUE(FastTimeConvert(field, c.layout, c.delimiter, us)) << c.field;
    EXPECT_EQ(field, c.expected) << c.field;
  }
}

}  // namespace
}  // namespace vantrelix
