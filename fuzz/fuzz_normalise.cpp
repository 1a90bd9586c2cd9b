// DateConvert and TimeConvert over every layout and delimiter: a field comes
// out formatted, or exactly as it came; the fixed-column layouts read only
// fields that are all theirs; the judge of a date agrees with the reading.
#include "byte_scan.h"
#include "date_tally.h"
#include "date_time_cell.h"
#include "fuzz_support.h"
#include "normalise.h"

namespace {

// Blanks at either end aside, `n` digits (or `m`) and nothing else.
bool OnlyDigits(std::string_view t, size_t n, size_t m) {
  t = vantrelix::WithoutEndBlanks(t);
  return (t.size() == n || t.size() == m) && vantrelix::AllDigits(t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  if (size < 4) return 0;
  const RegionalSettings s = fuzz::Settings(data[0]);
  SetupRecord record;
  record.SetDateLayout(static_cast<int8_t>(data[1]) % 10 - 1);  // -1..8
  record.SetTimeLayout(static_cast<int8_t>(data[1]) % 13 - 1);  // -1..11
  record.SetDateDelimiter(static_cast<char>(data[2]));
  record.SetTimeDelimiter(static_cast<char>(data[3]));
  const std::string input(reinterpret_cast<const char*>(data + 4), size - 4);

  std::string date = input;
  const bool dateRead = DateConvert(date, record, s, 2026);
  FUZZ_CHECK(date == input || fuzz::IsFormattedDate(date, s), "date neither kept nor formatted");
  if (record.DateLayout() < 0 || record.DateLayout() > 7)
    FUZZ_CHECK(date == input, "no layout, yet changed");
  // A field may hold a time behind its date; the fixed layouts read the rest.
  const std::optional<DateTimeCell> cell = SplitDateTimeCell(input);
  const std::string datePart(DatePartOf(input));
  if (dateRead && record.DateLayout() == 3)
    FUZZ_CHECK(OnlyDigits(input, 8, 8) || OnlyDigits(datePart, 8, 8), "yyyymmdd: not 8 digits");
  if (dateRead && record.DateLayout() == 4)
    FUZZ_CHECK(OnlyDigits(input, 6, 6) || OnlyDigits(datePart, 6, 6), "yymmdd: not 6 digits");
  std::string judged = input;
  const DateJudgement j = JudgeDate(judged, record, s, 2026);
  FUZZ_CHECK(judged == date, "the judge converts otherwise");
  FUZZ_CHECK(input.empty() ? j.verdict == DateVerdict::kNothingToRead
                           : (j.verdict == DateVerdict::kRead) == dateRead,
             "the judge's verdict differs from the reading");
  FUZZ_CHECK((j.differs & ~j.reads) == 0, "differs in an order it does not read in");

  std::string time = input;
  const bool timeRead = TimeConvert(time, record, s);
  FUZZ_CHECK(time == input || fuzz::IsFormattedTime(time, s), "time neither kept nor formatted");
  if (record.TimeLayout() == 5 && timeRead)
    FUZZ_CHECK(OnlyDigits(input, 3, 4) || (cell && OnlyDigits(cell->time, 3, 4)),
               "hhmm (Military): not three or four digits");
  if (input.empty()) FUZZ_CHECK(date.empty() && time.empty(), "an empty field changed");
  return 0;
}
