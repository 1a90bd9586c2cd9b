// The shortcut for plain dates and times against the general rules, on any
// bytes under every layout, delimiter and several regional settings: both
// give the same field and the same answer, and a declined field is untouched.
#include "fast_normalise.h"
#include "fuzz_support.h"
#include "normalise.h"

namespace {

vantrelix::RegionalSettings SettingsFor(uint8_t which) {
  if (which % 8 < 5) return vantrelix::fuzz::Settings(which % 8);
  vantrelix::RegionalSettings s;
  switch (which % 8) {
    case 5:  // 24 hours, no designators, day first with "-"
      s.shortDatePattern = "dd-MM-yyyy";
      s.dateSeparatorChar = '-';
      s.amText.clear();
      s.pmText.clear();
      break;
    case 6:  // designators that are prefixes of other words
      s.amText = "a";
      s.pmText = "Pm";
      break;
    default:  // no century window, a separator that is also a common delimiter
      s.shortDatePattern = "M:d:yy";
      s.dateSeparatorChar = ':';
      s.centuryWindowYears = 0;
      s.amText = "AM";
      s.pmText = "PM";
      break;
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  if (size < 5) return 0;
  static constexpr int kYears[] = {2026, 2000, 1950, 2050, 30, 9990, 1};
  const RegionalSettings s = SettingsFor(data[0]);
  const int32_t dateLayout = data[1] % 9 - 1;   // -1..7
  const int32_t timeLayout = data[2] % 13 - 1;  // -1..11
  const char delimiter = static_cast<char>(data[3]);
  const int year = kYears[data[4] % 7];
  SetupRecord record;
  record.SetDateLayout(dateLayout);
  record.SetTimeLayout(timeLayout);
  record.SetDateDelimiter(delimiter);
  record.SetTimeDelimiter(delimiter);
  const std::string input(reinterpret_cast<const char*>(data + 5), size - 5);

  std::string general = input, both = input, fast = input;
  bool read = DateConvertGeneral(general, record, s, year);
  FUZZ_CHECK(DateConvert(both, record, s, year) == read && both == general,
             "date: the shortcut differs from the general rules");
  if (!FastDateConvert(fast, dateLayout, delimiter, s, year))
    FUZZ_CHECK(fast == input, "date: declined, yet changed");

  general = input, both = input, fast = input;
  read = TimeConvertGeneral(general, record, s);
  FUZZ_CHECK(TimeConvert(both, record, s) == read && both == general,
             "time: the shortcut differs from the general rules");
  if (!FastTimeConvert(fast, timeLayout, delimiter, s))
    FUZZ_CHECK(fast == input, "time: declined, yet changed");
  return 0;
}
