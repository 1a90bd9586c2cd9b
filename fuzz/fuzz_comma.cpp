// The one-scan split (and so Comma) agrees with the plain column rule on
// every column; no result holds a quote.
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
  return 0;
}
