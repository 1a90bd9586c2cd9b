// ParseDate and ParseTime under several regional settings: a date formats as
// a valid "mm/dd/yy", a time lies within the day and formats as "hh:mm am".
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "regional.h"

namespace {

std::string WrittenDate(vantrelix::DateTimeValue value, const vantrelix::RegionalSettings& s) {
  std::string out;
  vantrelix::AppendImportDate(out, value, s);
  return out;
}

std::string WrittenTime(vantrelix::DateTimeValue value, const vantrelix::RegionalSettings& s) {
  std::string out;
  vantrelix::AppendImportTime(out, value, s);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  if (size < 1) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const RegionalSettings s = fuzz::Settings(data[0]);
  const int year = 1900 + data[0] % 200;
  if (const auto date = TryParseDate(text, s, year)) {
    FUZZ_CHECK(*date == std::floor(*date), "a date with a time part");
    FUZZ_CHECK(*date >= DaysFromCivil(1, 1, 1) && *date <= DaysFromCivil(9999, 12, 31),
               "date out of range");
    FUZZ_CHECK(fuzz::IsFormattedDate(WrittenDate(*date, s), s), "bad date text");
    FUZZ_CHECK(ParseDate(text, s, year) == *date, "ParseDate and TryParseDate differ");
  } else {
    bool threw = false;
    try {
      ParseDate(text, s, year);
    } catch (const EConvertError& e) {
      // what() is a C string: a NUL in the text ends it there on both sides.
      const std::string expected = "'" + std::string(text) + "' is not a valid date";
      threw = std::strcmp(e.what(), expected.c_str()) == 0;
    }
    FUZZ_CHECK(threw, "a failed date without its message");
  }
  if (const auto time = TryParseTime(text, s)) {
    FUZZ_CHECK(*time >= 0 && *time < 1, "a time outside the day");
    FUZZ_CHECK(fuzz::IsFormattedTime(WrittenTime(*time, s), s), "bad time text");
  }
  return 0;
}
