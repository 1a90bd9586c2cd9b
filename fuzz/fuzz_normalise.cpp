// DateConvert and TimeConvert over every layout and delimiter: a field comes
// out formatted, or exactly as it came (layout 10: with its marker added).
#include "fuzz_support.h"
#include "normalise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  if (size < 4) return 0;
  const RegionalSettings s = fuzz::Settings(data[0]);
  SetupRecord record;
  record.SetDateLayout(static_cast<int8_t>(data[1]) % 9 - 1);   // -1..7
  record.SetTimeLayout(static_cast<int8_t>(data[1]) % 13 - 1);  // -1..11
  record.SetDateDelimiter(static_cast<char>(data[2]));
  record.SetTimeDelimiter(static_cast<char>(data[3]));
  const std::string input(reinterpret_cast<const char*>(data + 4), size - 4);

  std::string date = input;
  DateConvert(date, record, s, 2026);
  FUZZ_CHECK(date == input || fuzz::IsFormattedDate(date, s), "date neither kept nor formatted");
  if (record.DateLayout() < 0 || record.DateLayout() > 6)
    FUZZ_CHECK(date == input, "no layout, yet changed");

  std::string time = input;
  TimeConvert(time, record, s);
  if (record.TimeLayout() == 10 && !input.empty()) {
    FUZZ_CHECK(time == input + " am" || time == input + " pm" || fuzz::IsFormattedTime(time, s),
               "layout 10: neither marked nor formatted");
  } else {
    FUZZ_CHECK(time == input || fuzz::IsFormattedTime(time, s), "time neither kept nor formatted");
  }
  if (input.empty()) FUZZ_CHECK(date.empty() && time.empty(), "an empty field changed");
  return 0;
}
