#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comma.h"
#include "preview_lines.h"

namespace vantrelix {
namespace {

// Packed lines come back byte for byte, whichever block they fell in, and
// the held columns agree with the splitting rule on every line.
TEST(PreviewLines, LinesAndHeldColumnsComeBackAsAppended) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    bool holdWhileReading;
    std::vector<bool> held;  // columns 1 and 2
  };
  std::vector<std::string> many, long_lines, odd_bytes, distinct;
  for (int i = 0; i < 20000; ++i) {
    // Appended piece by piece: g++ 12 warns wrongly of "literal" + string.
    std::string line;
    if (i % 997 != 0)
      line.append("n").append(std::to_string(i)).append(",").append(std::to_string(i % 12));
    many.push_back(line);
  }
  for (int i = 0; i < 6; ++i) {
    long_lines.push_back(std::string(i % 2 ? 700000 : 3, static_cast<char>('a' + i)) + ",x");
  }
  odd_bytes = {std::string("a\0b,\"q,\"\"\",c", 12), "\xE9\xFF,\r", ",", "\"unclosed,"};
  for (int i = 0; i < 65537; ++i) distinct.push_back(std::to_string(i) + ",same");
  const std::vector<std::string> mostDistinct(distinct.begin(), distinct.end() - 1);
  const Case cases[] = {
      {"many blocks and empty lines", many, true, {true, true}},
      {"lines longer than a block", long_lines, false, {true, true}},
      {"quotes, NUL and high bytes", odd_bytes, true, {true, true}},
      {"as many distinct texts as ids tell", mostDistinct, true, {true, true}},
      {"more distinct texts than ids tell", distinct, true, {false, true}},
  };
  for (const Case& c : cases) {
    PreviewLines lines;
    if (c.holdWhileReading) lines.HoldWhileReading({2, 1});
    for (const std::string& line : c.lines) lines.Append(line);
    lines.Finish();
    if (!c.holdWhileReading) lines.Hold({1, 2});
    ASSERT_EQ(lines.Count(), c.lines.size()) << c.name;
    // Backwards, so that no block is at hand from the line before.
    for (size_t i = c.lines.size(); i-- > 0;) {
      ASSERT_EQ(lines.Line(i), c.lines[i]) << c.name << " line " << i;
      ASSERT_EQ(lines.IsEmpty(i), c.lines[i].empty()) << c.name << " line " << i;
    }
    const size_t first = c.lines.size() / 3, end = c.lines.size() - 1;
    size_t next = first;
    lines.ForEach(first, end, [&](size_t i, std::string_view line) {
      ASSERT_EQ(i, next++) << c.name;
      ASSERT_EQ(line, c.lines[i]) << c.name;
    });
    EXPECT_EQ(next, end) << c.name;
    for (int32_t column : {1, 2}) {
      const PreviewLines::HeldColumn* held = lines.Held(column);
      ASSERT_EQ(held != nullptr, c.held[column - 1]) << c.name << " column " << column;
      if (held == nullptr) continue;
      for (size_t i = 0; i < c.lines.size(); ++i) {
        ASSERT_EQ(held->texts[held->ids[i]], Comma(c.lines[i], column))
            << c.name << " column " << column << " line " << i;
      }
    }
    lines.Hold({2});
    EXPECT_EQ(lines.Held(1), nullptr) << c.name << ": only the columns asked for stay";
  }
}

}  // namespace
}  // namespace vantrelix
