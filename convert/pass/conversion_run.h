#pragma once

#include <cstdint>
#include <string>

#include "comma.h"
#include "regional.h"
#include "setup_record.h"
#include "unread.h"

namespace vantrelix {

// What the conversion pass needs from its surroundings: the main window, or
// the console when there is no display.
class ConversionHost {
 public:
  virtual ~ConversionHost() = default;
  // A foreseen problem, in a message box the operator closes.
  virtual void ShowMessage(const std::string& text) = 0;
  // Called for every line with the count so far; how often the count is
  // drawn is the host's business.
  virtual void ShowCount(int64_t linesRead) = 0;
  // After a completed pass: the dates and times it could not read and wrote
  // as they came. Called once per pass, also when everything was read.
  virtual void ShowUnread(const UnreadReport&) {}
  // The pass is complete ("--Finished--").
  virtual void ShowFinished() = 0;
  // A blocking wait, so that the operator can read the finished state.
  virtual void Pause(int milliseconds) = 0;
  // Asks for the program's end; takes effect once the caller has returned.
  virtual void RequestTermination() = 0;
};

enum class RunResult {
  kNoFileAssigned,  // "No File Assigned!"
  kSourceMissing,   // "<name>" does not exists!
  kCompleted,
};

inline constexpr char kNoFileAssignedMessage[] = "No File Assigned!";
// The message for a source file that does not exist.
std::string MissingFileMessage(const std::string& fileName);

// Converts the record's source file into TOLV_D.TXT in `dataFolder`. File
// errors raise EInOutError; the previous import file then stays as it was.
// `unread`, when given, receives what a completed pass left unread or doubtful.
RunResult ConversionRun(const SetupRecord& record, const RegionalSettings& regional,
                        int currentYear, const std::string& dataFolder, ConversionHost& host,
                        UnreadReport* unread = nullptr);

// The columns of the seven fields in a line split for them (by
// HighestColumn): the delimiters before each, -1 for a field set to none.
struct FieldColumns {
  explicit FieldColumns(const int32_t (&positions)[kFieldSlotCount]);
  // The field's column as it stands in the line (see LineColumns::RawColumn).
  std::string_view Raw(const LineColumns& split, int field, bool& quoted) const {
    return index[field] < 0 ? split.RawColumn(0, quoted)
                            : split.RawColumnAt(static_cast<size_t>(index[field]), quoted);
  }
  int32_t index[kFieldSlotCount];
};

// Writes one line of the import file: the seven fields in FieldSlot order,
// each in double quotes, separated by commas; `date` and `time` as the date
// and time rules made them. The one place that knows the import file's
// format.
class LineColumns;
class TextReader;
class TextWriter;
void WriteImportLine(TextWriter& output, const LineColumns& split, const FieldColumns& columns,
                     std::string_view date, std::string_view time);

// The pass itself, from an open source to a writer, without the checks and
// the host: gives the number of lines read (a skipped header included).
int64_t ConvertLines(TextReader& source, TextWriter& output, const SetupRecord& record,
                     const RegionalSettings& regional, int currentYear, ConversionHost* host,
                     UnreadReport* unread = nullptr);
// The same pass writing nothing: what it would read and leave unread.
int64_t CheckLines(TextReader& source, const SetupRecord& record, const RegionalSettings& regional,
                   int currentYear, UnreadReport* unread);

}  // namespace vantrelix
