#include <gtest/gtest.h>
#include <malloc.h>

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

// While the file is still being read (the window shows lines and holds
// columns between reads), lines not yet packed come back from where they
// are asked for, and a column held before more lines came is held again.
TEST(PreviewLines, LinesStillBeingReadComeBackAndAreHeldAgain) {
  PreviewLines lines;
  std::vector<std::string> appended;
  const auto append = [&](size_t n) {
    for (size_t k = 0; k < n; ++k) {
      const size_t i = appended.size();
      appended.push_back(
          std::string("n").append(std::to_string(i)).append(",").append(std::to_string(i % 7)));
      lines.Append(appended.back());
    }
  };
  append(4096 + 10);  // a block packed, ten lines open
  for (size_t first : {size_t{0}, size_t{4090}, size_t{4100}}) {
    size_t next = first;
    lines.ForEach(first, appended.size(), [&](size_t i, std::string_view line) {
      ASSERT_EQ(i, next++) << "from " << first;
      ASSERT_EQ(line, appended[i]);
    });
    EXPECT_EQ(next, appended.size()) << "from " << first;
  }
  lines.Hold({2});
  ASSERT_NE(lines.Held(2), nullptr);
  append(5);
  EXPECT_EQ(lines.Held(2), nullptr) << "held before the last lines came";
  lines.Hold({2});
  const PreviewLines::HeldColumn* held = lines.Held(2);
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(held->ids.size(), appended.size());
  EXPECT_EQ(held->texts[held->ids.back()], Comma(appended.back(), 2));
}

// A line far longer than a block leaves no room of its size behind once it
// is packed (the field selector stays small after a stray huge line).
TEST(PreviewLines, AHugeLineLeavesNoRoomBehind) {
  PreviewLines lines;
  lines.Append("a,b");
  const auto inUse = [] {
    const struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
  };
  const size_t before = inUse();
  lines.Append(std::string(size_t{32} << 20, 'x'));
  lines.Finish();
  // Waits for the packing; what it unpacks goes with it.
  lines.ForEach(0, 1, [](size_t, std::string_view line) { EXPECT_EQ(line, "a,b"); });
  EXPECT_LT(inUse(), before + (size_t{8} << 20));
}

}  // namespace
}  // namespace vantrelix
