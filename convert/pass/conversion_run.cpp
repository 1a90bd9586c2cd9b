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
#include "text_memo.h"

namespace vantrelix {

std::string MissingFileMessage(const std::string& fileName) {
  return "\"" + fileName + "\" does not exists!";
}

namespace {

// Copies a column's bytes; gives the end. Columns are short: a few loads
// that may overlap, rather than a call.
[[gnu::always_inline]] inline char* CopyColumn(char* to, std::string_view from) {
  const char* const f = from.data();
  const size_t n = from.size();
  const auto copy = [&](auto word) {
    // Two words, the second ending where the text ends.
    decltype(word) head, tail;
    std::memcpy(&head, f, sizeof word);
    std::memcpy(&tail, f + n - sizeof word, sizeof word);
    std::memcpy(to, &head, sizeof word);
    std::memcpy(to + n - sizeof word, &tail, sizeof word);
  };
  struct Sixteen {
    uint64_t half[2];
  };
  if (n >= 8) {
    if (n <= 16) {
      copy(uint64_t{});
    } else if (n <= 32) {
      copy(Sixteen{});
    } else {
      std::memcpy(to, f, n);
    }
  } else if (n >= 4) {
    copy(uint32_t{});
  } else if (n > 0) {
    to[0] = f[0];
    to[n / 2] = f[n / 2];
    to[n - 1] = f[n - 1];
  }
  return to + n;
}

// Whether the eight bytes of `w` hold a double quote.
[[gnu::always_inline]] inline bool QuoteIn(uint64_t w) {
  w ^= 0x2222222222222222u;  // a quote becomes a zero byte
  return ((w - 0x0101010101010101u) & ~w & 0x8080808080808080u) != 0;
}

// Whether `text` holds a double quote, eight bytes at a time.
bool HoldsQuote(std::string_view text) {
  const auto word = [&](size_t at) {
    uint64_t w;
    std::memcpy(&w, text.data() + at, 8);
    return w;
  };
  const size_t n = text.size();
  if (n < 8) return text.find('"') != std::string_view::npos;
  // Words from the start, the last one ending where the text ends.
  for (size_t at = 0; at + 8 < n; at += 8) {
    if (QuoteIn(word(at))) return true;
  }
  return QuoteIn(word(n - 8));
}

// A quoted column as it mostly comes, a quote at each end and eight to
// sixteen bytes between them, none a quote: copied in two words, looked at
// for quotes on the way. Gives the end, or nullptr for any other column.
[[gnu::always_inline]] inline char* CopyWrapped(char* to, std::string_view from) {
  if (from.size() < 10 || from.size() > 18 || from.front() != '"' || from.back() != '"') {
    return nullptr;
  }
  const char* const f = from.data() + 1;
  const size_t n = from.size() - 2;
  uint64_t head, tail;
  std::memcpy(&head, f, 8);
  std::memcpy(&tail, f + n - 8, 8);
  if (QuoteIn(head) || QuoteIn(tail)) return nullptr;
  std::memcpy(to, &head, 8);
  std::memcpy(to + n - 8, &tail, 8);
  return to + n;
}

// Copies a column's bytes without their double quotes; gives the end.
char* CopyQuotedColumn(char* to, std::string_view from) {
  // Mostly a column in quotes, none inside.
  if (from.size() >= 2 && from.front() == '"' && from.back() == '"') {
    const std::string_view inside(from.data() + 1, from.size() - 2);
    if (!HoldsQuote(inside)) return CopyColumn(to, inside);
  }
  return CopyWithoutQuotes(to, from);
}

}  // namespace

FieldColumns::FieldColumns(const int32_t (&positions)[kFieldSlotCount]) {
  for (int i = 0; i < kFieldSlotCount; ++i) {
    index[i] = positions[i] == 0 ? -1 : std::max(positions[i], 1) - 1;
  }
}

void WriteImportLine(TextWriter& output, const LineColumns& split, const FieldColumns& columns,
                     std::string_view date, std::string_view time) {
  const auto field = [&](int i, bool& quoted) __attribute__((always_inline)) {
    quoted = false;
    if (i == static_cast<int>(FieldSlot::kDate)) return date;
    if (i == static_cast<int>(FieldSlot::kTime)) return time;
    return columns.Raw(split, i, quoted);
  };
  const auto fill = [&](char* p) __attribute__((always_inline)) {
#pragma GCC unroll 7
    for (int i = 0; i < kFieldSlotCount; ++i) {
      if (i > 0) *p++ = ',';
      *p++ = '"';
      bool quoted;
      const std::string_view text = field(i, quoted);
      if (!quoted) {
        p = CopyColumn(p, text);
      } else if (char* const end = CopyWrapped(p, text)) {
        p = end;
      } else {
        p = CopyQuotedColumn(p, text);
      }
      *p++ = '"';
    }
    return p;
  };
  // Written in one go into room for the longest the line can be: each of
  // the five columns at most the whole line, two quotes a field and a comma
  // between fields. A long line is measured first.
  constexpr size_t kMarks = 3 * kFieldSlotCount - 1;
  constexpr size_t kMeasuredAbove = 4096;
  const size_t longest = std::max(split.Line().size(), kBlankLinePlaceholder.size());
  size_t most = (kFieldSlotCount - 2) * longest + date.size() + time.size() + kMarks;
  if (longest > kMeasuredAbove) {
    most = kMarks;
    for (int i = 0; i < kFieldSlotCount; ++i) {
      bool quoted;
      most += field(i, quoted).size();
    }
  }
  output.WriteTextLineWith(most, fill);
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
  const FieldColumns fieldColumns(columns);
  constexpr int kDate = static_cast<int>(FieldSlot::kDate);
  constexpr int kTime = static_cast<int>(FieldSlot::kTime);

  std::string dateText, timeText;
  UnreadReport unread(record, regional);
  DateJudge judge(record, regional, currentYear);
  // Times converted lately, as they stood in the line; unread ones are left
  // out, to be noted one by one.
  struct ReadTime {
    bool zoned = false;
    uint8_t size = 0;
    char text[14] = {};
  };
  TextMemo<ReadTime> readTimes;
  SourceRecords records(source);
  const int64_t count = ForEachSourceLine(
      records, record.HasHeaderLine(), HighestColumn(columns), record.Delimiter(),
      [&](const SourceLine& line) {
        bool quoted;
        const std::string_view rawDate = fieldColumns.Raw(line.split, kDate, quoted);
        std::string_view date;
        const DateJudgement& judged = judge.Judge(rawDate, quoted, dateText, date);
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
        const std::string_view rawTime = fieldColumns.Raw(line.split, kTime, quoted);
        std::string_view time;
        if (const ReadTime* known = readTimes.Find(rawTime)) {
          unread.zonedTimes += known->zoned;
          time = std::string_view(known->text, known->size);
        } else {
          timeText.clear();
          AppendColumnText(timeText, rawTime, quoted);
          const bool zoned = EndsInZone(timeText);
          if (TimeConvert(timeText, record, regional)) {
            unread.zonedTimes += zoned;
            if (timeText.size() <= sizeof ReadTime::text) {
              ReadTime read{zoned, static_cast<uint8_t>(timeText.size()), {}};
              std::memcpy(read.text, timeText.data(), timeText.size());
              readTimes.Note(read);
            }
          } else {
            unread.times.NotRead(line.text.empty() || timeText.empty(), records.FirstLine(),
                                 line.split, timeColumn);
          }
          time = timeText;
        }
        write(line.split, fieldColumns, date, time);
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
  return PassLines(
      source, record, regional, currentYear, host, unread,
      [&](const LineColumns& split, const FieldColumns& columns, std::string_view date,
          std::string_view time) { WriteImportLine(output, split, columns, date, time); });
}

int64_t CheckLines(TextReader& source, const SetupRecord& record, const RegionalSettings& regional,
                   int currentYear, UnreadReport* unread) {
  return PassLines(
      source, record, regional, currentYear, nullptr, unread,
      [](const LineColumns&, const FieldColumns&, std::string_view, std::string_view) {});
}

namespace {

// An export that the practice system rewrote, cut or replaced while the pass
// read it would be imported cut short, or mixed from two exports.
bool SourceChanged(int fd, const std::string& name, const struct stat& before) {
  struct stat now {
  }, byName{};
  if (RetryInterrupted([&] { return Sys().fstat(fd, &now); }) != 0) ThrowIoError(errno, name);
  return !(FileVersion::Of(now) == FileVersion::Of(before)) ||
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
