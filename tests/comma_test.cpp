#include <gtest/gtest.h>

#include <random>

#include "comma.h"
#include "comma_model.h"

namespace vantrelix {
namespace {

struct CommaCase {
  const char* name;
  std::string line;
  int32_t column;
  std::string expected;
  friend void PrintTo(const CommaCase& c, std::ostream* os) { *os << c.name; }
};

const CommaCase kCommaCases[] = {
    {"first column", "a,b,c", 1, "a"},
    {"middle column", "a,b,c", 2, "b"},
    {"last column", "a,b,c", 3, "c"},
    {"past the last column", "a,b,c", 4, ""},
    {"one-character last column", "a,b", 2, "b"},
    {"empty middle column", "a,,c", 2, ""},
    {"column after an empty one", "a,,c", 3, "c"},
    {"trailing delimiter gives empty last column", "a,b,", 3, ""},
    {"leading delimiter gives empty first column", ",x", 1, ""},
    {"column after a leading delimiter", ",x", 2, "x"},
    {"TAB and comma both delimit", "ab\tcd,ef", 2, "cd"},
    {"TAB then comma", "ab\tcd,ef", 3, "ef"},
    {"comma inside quotes is text", "\"Smith, John\",555-1234", 1, "Smith, John"},
    {"column after a quoted comma", "\"Smith, John\",555-1234", 2, "555-1234"},
    {"doubled quote is dropped", "\"a\"\"b\",c", 1, "ab"},
    {"quotes in the middle of a column", "ab\"c,d\"e,fg", 1, "abc,de"},
    {"column after inner quotes", "ab\"c,d\"e,fg", 2, "fg"},
    {"quotes only", "a,\"\",c", 2, ""},
    {"unclosed quote takes the rest", "\"a,b,c", 1, "a,b,c"},
    {"unclosed quote hides later columns", "\"a,b,c", 2, ""},
    {"blanks are kept", "a, b ,c", 2, " b "},
    {"empty line, column 0", "", 0, "--Blank Line--"},
    {"empty line, column 1", "", 1, "--Blank Line--"},
    {"empty line, column 7", "", 7, "--Blank Line--"},
    {"column 0 of a line", "a,b", 0, ""},
    {"negative column gives the first", "a,b", -5, "a"},
    {"most negative column", "a,b", INT32_MIN, "a"},
    {"huge column", "a,b", INT32_MAX, ""},
    // Quote state runs across columns.
    {"quoted TAB in an earlier column", "\"x\ty\"\tz", 2, "z"},
    {"quote opened in column 1 swallows TAB", "x\"y\tz\",w", 2, "w"},
    {"mixed TAB and comma with quotes", "\"a\tb\",c\td", 1, "a\tb"},
    {"mixed delimiters, third column", "\"a\tb\",c\td", 3, "d"},
    {"quoted empty then text", "\"\"x,y", 1, "x"},
    {"delimiter right after opening quote", "a,\",b\",c", 2, ",b"},
    {"only delimiters", ",\t,", 2, ""},
    {"only delimiters, past the end", ",\t,", 4, ""},
    {"a column far out costs nothing", "a,b,c", 2000000000, ""},
    {"bytes above 127 pass", "\xe9t\xe9,\xff", 2, "\xff"},
    {"NUL bytes are text", std::string("a\0b,c", 5), 1, std::string("a\0b", 3)},
    {"lone quote line", "\"", 1, ""},
};

class CommaTest : public ::testing::TestWithParam<CommaCase> {};

TEST_P(CommaTest, PicksTheColumn) {
  const CommaCase& c = GetParam();
  EXPECT_EQ(Comma(c.line, c.column), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, CommaTest, ::testing::ValuesIn(kCommaCases));

TEST(ColumnTexts, KeepsInnerEmptyColumnsAndDropsTrailingOnes) {
  EXPECT_EQ(ColumnTexts("a,,c,,"), (std::vector<std::string>{"a", "", "c"}));
  EXPECT_EQ(ColumnTexts("a;b", FieldDelimiter::kSemicolon), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(ColumnTexts(",,").empty());
}

TEST(LineColumns, ReusesTheBufferWithoutLeftovers) {
  LineColumns split;
  split.Split("a,b", 4);
  std::string out = "previous long text that must vanish";
  split.ColumnInto(4, out);
  EXPECT_EQ(out, "");
  split.ColumnInto(2, out);
  EXPECT_EQ(out, "b");
}

}  // namespace
}  // namespace vantrelix

namespace vantrelix {
namespace {

// The one-scan split must give exactly what the plain column rule gives.
TEST(LineColumns, AgreesWithTheModelOnRandomLines) {
  std::mt19937 rng(2026);
  const char alphabet[] = {'a', 'b', ',', '\t', '"', ' ', '\xff', ';', '|'};
  std::string line, fromSplit;
  for (int round = 0; round < 20000; ++round) {
    const auto delimiter = static_cast<FieldDelimiter>(round % kFieldDelimiterItems.size());
    LineColumns split(delimiter);
    line.clear();
    const int length = static_cast<int>(rng() % 24);
    for (int i = 0; i < length; ++i) line.push_back(alphabet[rng() % sizeof alphabet]);
    const int32_t maxColumn = static_cast<int32_t>(rng() % 9);
    split.Split(line, maxColumn);
    for (int32_t column = -2; column <= maxColumn; ++column) {
      split.ColumnInto(column, fromSplit);
      ASSERT_EQ(fromSplit, testing::ModelComma(line, column, delimiter))
          << '"' << line << "\" column " << column << " delimiter " << round % 5;
    }
  }
}

TEST(LineColumns, QuotesPastColumn64) {
  std::string line;
  for (int i = 0; i < 70; ++i) line += "\"q" + std::to_string(i) + "\",";
  LineColumns split;
  split.Split(line, 70);
  std::string out;
  for (int32_t column : {1, 63, 64, 65, 70}) {
    split.ColumnInto(column, out);
    EXPECT_EQ(out, testing::ModelComma(line, column)) << column;
  }
}

}  // namespace
}  // namespace vantrelix
