#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "comma.h"
#include "date_tally.h"
#include "normalise.h"
#include "regional.h"
#include "setup_record.h"

namespace vantrelix {

// The dates or the times of one pass that could not be read and went to the
// import file as they came. Empty fields and the blank-line placeholder are
// not counted: there is nothing to read in them.
struct UnreadField {
  static constexpr size_t kExamples = 3;
  using Example = DateTally::Example;  // line: 1-based, a header line counted

  int64_t examined = 0;           // fields that held something to read
  int64_t unread = 0;             // of those, the ones left as they came
  int64_t nothingToRead = 0;      // empty fields and placeholders
  std::vector<Example> examples;  // the first kExamples of the unread ones

  // Dates only: read dates that may be read in the wrong order (DateTally),
  // set by Finish.
  int64_t doubtful = 0;
  std::vector<Example> doubtfulExamples;

  // Only the fields that were not read are noted one by one, out of line,
  // so that the pass's common path stays as it was; `examined` follows from
  // the number of fields once the pass is through.
  void NotRead(bool nothingToRead, int64_t line, const LineColumns& split, int32_t column);
  void LeftAsItCame(int64_t line, std::string_view text) {
    if (++unread <= static_cast<int64_t>(kExamples)) examples.push_back({line, std::string(text)});
  }
  void Finish(int64_t fields) { examined = fields - nothingToRead; }
};

// What one completed pass left unread, and the reading that was in force, so
// that the summary can say why.
struct UnreadReport {
  int64_t linesRead = 0;  // as "Records Imported" counts them: a header included
  UnreadField dates;
  UnreadField times;
  int32_t dateLayout = 0;
  char dateDelimiter = '/';
  int32_t timeLayout = 0;
  char timeDelimiter = ':';
  FieldDelimiter delimiter = FieldDelimiter::kCommaOrTab;
  RegionalSettings regional;
  // The dates judged in every order their column shows.
  DateTally dateTally;
  // Records that went out without a date or a time: no column is set for
  // it, or the one set is empty in every record (an export that lost a
  // column); and the columns set.
  int64_t withoutDate = 0;
  int64_t withoutTime = 0;
  int32_t dateColumn = 0;
  int32_t timeColumn = 0;
  // Quotes left open for more lines than a field can hold: their lines were
  // split as they stand, the quote taken as text.
  int64_t strayQuotes = 0;
  int64_t firstStrayQuoteLine = 0;
  // Times written with a zone ("Z", "+01:00"), converted to the local one.
  int64_t zonedTimes = 0;

  UnreadReport() = default;
  UnreadReport(const SetupRecord& record, const RegionalSettings& settings)
      : dateLayout(record.DateLayout()),
        dateDelimiter(record.DateDelimiter()),
        timeLayout(record.TimeLayout()),
        timeDelimiter(record.TimeDelimiter()),
        delimiter(record.Delimiter()),
        regional(settings),
        dateTally(LayoutOrderOf(record.DateLayout(), settings)) {}

  // The counts once every line was judged; `fields` counts the records.
  void Finish(int64_t fields, int32_t dateColumnSet, int32_t timeColumnSet);

  bool AnyUnread() const { return dates.unread > 0 || times.unread > 0; }
  bool AnyDoubtful() const { return dates.doubtful > 0; }
  bool AnyMissing() const { return withoutDate > 0 || withoutTime > 0; }
  bool AnyStrayQuote() const { return strayQuotes > 0; }
};

// The exit status of a pass that wrote the import file: 0 when every record
// has its date and time, converted and none doubtful, else 4.
inline constexpr int kPassCompleted = 0;
inline constexpr int kPassLeftUnreadOrDoubtful = 4;
int PassExitStatus(const UnreadReport& report);

// The summary of a pass that left dates or times unread, doubtful or out
// altogether, one line per element and without any prefix; empty when
// everything was read.
// A check writes no import file: its summary says what a pass would write.
enum class ImportFile { kWritten, kNotWritten };
std::vector<std::string> UnreadSummary(const UnreadReport& report,
                                       ImportFile import = ImportFile::kWritten);

// What became of times written with a zone; empty when there were none.
std::string ZonedTimesText(const UnreadReport& report);

// The parts of the summary that the field selector shows as well.
std::string DateLayoutName(int32_t layout);
std::string TimeLayoutName(int32_t layout);
std::string DateOrderName(const RegionalSettings& settings);
// A character or a text for one line of a log: quoted, control characters
// as \xNN, long texts cut.
std::string QuotedForLog(std::string_view text);

}  // namespace vantrelix
