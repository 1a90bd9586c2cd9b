// The one-scan split (and so Comma) agrees with the plain column rule on
// every column; no result holds a quote. The split of a plain line where the
// reader holds it takes exactly the first line when it is plain (LF or CR LF
// ends it, no other CR, no Ctrl-Z, its quotes closed), and splits it so.
#include <algorithm>

#include "comma.h"
#include "comma_model.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  if (size < 2) return 0;
  const int32_t maxColumn = static_cast<int8_t>(data[0]);
  const auto delimiter = static_cast<FieldDelimiter>(data[1] % kFieldDelimiterItems.size());
  const std::string_view line(reinterpret_cast<const char*>(data + 2), size - 2);
  LineColumns split(delimiter);
  split.Split(line, maxColumn);
  std::string fromSplit;
  for (int32_t column = -2; column <= maxColumn && column <= 40; ++column) {
    const std::string one = testing::ModelComma(line, column, delimiter);
    split.ColumnInto(column, fromSplit);
    FUZZ_CHECK(one == fromSplit,
               "split differs from the model at column " + std::to_string(column));
    FUZZ_CHECK(delimiter != FieldDelimiter::kCommaOrTab || Comma(line, column) == one,
               "Comma differs at column " + std::to_string(column));
    if (line.empty()) {
      FUZZ_CHECK(one == kBlankLinePlaceholder, "empty line without the placeholder");
    } else {
      FUZZ_CHECK(one.find('"') == std::string::npos, "a quote in a column");
      FUZZ_CHECK(one.size() <= line.size(), "a column longer than its line");
    }
  }

  // The plain line, by the rules written out.
  const size_t lf = line.find('\n');
  const size_t end = lf != std::string_view::npos && lf > 0 && line[lf - 1] == '\r' ? lf - 1 : lf;
  const std::string_view text = line.substr(0, end);
  const bool isPlain =
      lf != std::string_view::npos &&
      text.find_first_of(std::string_view("\r\x1a", 2)) == std::string_view::npos &&
      std::count(text.begin(), text.end(), '"') % 2 == 0;
  LineColumns plain(delimiter);
  size_t lineSize = 0;
  const size_t taken = plain.SplitPlainLine(line, maxColumn, lineSize);
  FUZZ_CHECK(taken == (isPlain ? lf + 1 : 0), "a plain line taken wrongly");
  if (taken != 0) {
    FUZZ_CHECK(lineSize == text.size(), "a plain line's size");
    for (int32_t column = -2; column <= maxColumn && column <= 40; ++column) {
      plain.ColumnInto(column, fromSplit);
      FUZZ_CHECK(
          fromSplit == testing::ModelComma(text, column, delimiter),
          "the plain line's split differs from the model at column " + std::to_string(column));
    }
  }
  return 0;
}
