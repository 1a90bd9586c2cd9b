#include "conversion_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "comma.h"
#include "date_time_cell.h"
#include "inouterror.h"
#include "normalise.h"
#include "posix_file.h"
#include "setup_file.h"
#include "source_file.h"
#include "source_lines.h"
#include "stop_request.h"
#include "system_calls.h"
#include "text_file.h"

namespace vantrelix {

std::string MissingFileMessage(const std::string& fileName) {
  return "\"" + fileName + "\" does not exists!";
}

namespace {

// Copies a column's bytes without their double quotes; gives the end.
char* CopyWithoutQuotes(char* to, std::string_view from) {
  while (!from.empty()) {
    const auto* quote = static_cast<const char*>(std::memchr(from.data(), '"', from.size()));
    const size_t n = quote != nullptr ? static_cast<size_t>(quote - from.data()) : from.size();
    std::memcpy(to, from.data(), n);
    to += n;
    from.remove_prefix(quote != nullptr ? n + 1 : n);
  }
  return to;
}

}  // namespace

void BuildImportLine(const LineColumns& split, const int32_t (&columns)[kFieldSlotCount],
                     std::string_view date, std::string_view time, std::string& out) {
  std::string_view texts[kFieldSlotCount];
  bool quoted[kFieldSlotCount] = {};
  size_t size = 3 * kFieldSlotCount - 1;  // two quotes a field, a comma between fields
  for (int i = 0; i < kFieldSlotCount; ++i) {
    texts[i] = i == static_cast<int>(FieldSlot::kDate)   ? date
               : i == static_cast<int>(FieldSlot::kTime) ? time
                                                         : split.RawColumn(columns[i], quoted[i]);
    size += texts[i].size();
  }
  // Written in one go into room for the longest the line can be; quotes left
  // out of the columns make it shorter.
  out.resize(size);
  char* const begin = out.data();
  char* p = begin;
  for (int i = 0; i < kFieldSlotCount; ++i) {
    if (i > 0) *p++ = ',';
    *p++ = '"';
    if (quoted[i]) {
      p = CopyWithoutQuotes(p, texts[i]);
    } else if (!texts[i].empty()) {
      std::memcpy(p, texts[i].data(), texts[i].size());
      p += texts[i].size();
    }
    *p++ = '"';
  }
  out.resize(static_cast<size_t>(p - begin));
}

namespace {

// The pass over the lines: each line's date and time judged and counted,
// then handed to `write` with the seven columns.
template <typename Write>
int64_t PassLines(TextReader& source, const SetupRecord& record, const RegionalSettings& regional,
                  int currentYear, ConversionHost* host, UnreadReport* unreadOut, Write&& write) {
  int32_t columns[kFieldSlotCount];
  for (int i = 0; i < kFieldSlotCount; ++i) columns[i] = record.Position(static_cast<FieldSlot>(i));
  const int32_t dateColumn = columns[static_cast<int>(FieldSlot::kDate)];
  const int32_t timeColumn = columns[static_cast<int>(FieldSlot::kTime)];

  std::string date, time;
  UnreadReport unread(record, regional);
  DateJudge judge(record, regional, currentYear);
  SourceRecords records(source);
  const int64_t count = ForEachSourceLine(
      records, record.HasHeaderLine(), HighestColumn(columns), record.Delimiter(),
      [&](const SourceLine& line) {
        line.split.ColumnInto(dateColumn, date);
        const DateJudgement judged = judge.Judge(date);
        if (line.text.empty()) {
          unread.dates.NotRead(true, records.FirstLine(), line.split, dateColumn);  // a placeholder
        } else {
          unread.dateTally.Add(judged, 1, [&] {
            DateTally::Example e{records.FirstLine(), {}};
            line.split.ColumnInto(dateColumn, e.text);
            return e;
          });
          if (judged.verdict != DateVerdict::kRead) {
            unread.dates.NotRead(judged.verdict == DateVerdict::kNothingToRead, records.FirstLine(),
                                 line.split, dateColumn);
          }
        }
        line.split.ColumnInto(timeColumn, time);
        const bool zoned = EndsInZone(time);
        if (TimeConvert(time, record, regional)) {
          unread.zonedTimes += zoned;
        } else {
          unread.times.NotRead(line.text.empty() || time.empty(), records.FirstLine(), line.split,
                               timeColumn);
        }
        write(line.split, columns, date, time);
        ThrowIfStopRequested();
        if (host != nullptr) host->ShowCount(line.number);
        return true;
      });
  unread.linesRead = count;
  unread.strayQuotes = records.StrayQuotes();
  unread.firstStrayQuoteLine = records.FirstStrayQuoteLine();
  const int64_t fields = record.HasHeaderLine() ? count - 1 : count;
  unread.Finish(fields, dateColumn, timeColumn);
  if (host != nullptr) host->ShowUnread(unread);
  if (unreadOut != nullptr) *unreadOut = std::move(unread);
  return count;
}

}  // namespace

int64_t ConvertLines(TextReader& source, TextWriter& output, const SetupRecord& record,
                     const RegionalSettings& regional, int currentYear, ConversionHost* host,
                     UnreadReport* unread) {
  std::string out;
  return PassLines(source, record, regional, currentYear, host, unread,
                   [&](const LineColumns& split, const int32_t(&columns)[kFieldSlotCount],
                       const std::string& date, const std::string& time) {
                     BuildImportLine(split, columns, date, time, out);
                     output.WriteTextLine(out);
                   });
}

int64_t CheckLines(TextReader& source, const SetupRecord& record, const RegionalSettings& regional,
                   int currentYear, UnreadReport* unread) {
  return PassLines(source, record, regional, currentYear, nullptr, unread,
                   [](const LineColumns&, const int32_t(&)[kFieldSlotCount], const std::string&,
                      const std::string&) {});
}

namespace {

// An export that the practice system rewrote, cut or replaced while the pass
// read it would be imported cut short, or mixed from two exports.
bool SourceChanged(int fd, const std::string& name, const struct stat& before) {
  struct stat now {
  }, byName{};
  if (RetryInterrupted([&] { return Sys().fstat(fd, &now); }) != 0) ThrowIoError(errno, name);
  return now.st_size != before.st_size || now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
         now.st_mtim.tv_nsec != before.st_mtim.tv_nsec ||
         RetryInterrupted([&] { return ::stat(name.c_str(), &byName); }) != 0 ||
         byName.st_dev != before.st_dev || byName.st_ino != before.st_ino;
}

}  // namespace

RunResult ConversionRun(const SetupRecord& record, const RegionalSettings& regional,
                        int currentYear, const std::string& dataFolder, ConversionHost& host,
                        UnreadReport* unread) {
  const std::string sourceName = record.SourceFileName();
  if (sourceName.empty()) {
    host.ShowMessage(kNoFileAssignedMessage);
    host.RequestTermination();
    return RunResult::kNoFileAssigned;
  }
  if (NothingNamed(sourceName)) {
    host.ShowMessage(MissingFileMessage(sourceName));
    host.RequestTermination();
    return RunResult::kSourceMissing;
  }

  // The source first: one that cannot be opened leaves the import file alone.
  TextReader source = OpenSource(sourceName, record.writers);
  struct stat sourceStatus {};
  if (RetryInterrupted([&] { return Sys().fstat(source.Fd(), &sourceStatus); }) != 0) {
    ThrowIoError(errno, sourceName);
  }
  const std::string importName = dataFolder + "/" + kImportFileName;
  TextWriter output =
      ConcerningFile(importName, [&] { return TextWriter(importName, &sourceStatus); });

  ConcerningFile(importName, [&] {
    try {
      ConvertLines(source, output, record, regional, currentYear, &host, unread);
    } catch (const std::bad_alloc&) {
      // What takes memory in a pass is a source line.
      throw EInOutError(io_code::kNotEnoughMemory, sourceName);
    }
  });
  if (SourceChanged(source.Fd(), sourceName, sourceStatus)) {
    throw ESourceProblem("The source file changed while it was read", sourceName);
  }
  ConcerningFile(sourceName, [&] { source.Close(); });
  ConcerningFile(importName, [&] { output.Close(); });
  host.ShowFinished();
  host.Pause(250);
  host.RequestTermination();
  return RunResult::kCompleted;
}

}  // namespace vantrelix
