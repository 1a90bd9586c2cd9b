#include "conversion_run.h"

#include <sys/stat.h>

#include <algorithm>

#include "comma.h"
#include "inouterror.h"
#include "normalise.h"
#include "posix_file.h"
#include "setup_file.h"
#include "stop_request.h"
#include "system_calls.h"
#include "text_file.h"

namespace vantrelix {

std::string MissingFileMessage(const std::string& fileName) {
  return "\"" + fileName + "\" does not exists!";
}

int64_t ConvertLines(TextReader& source, TextWriter& output, const SetupRecord& record,
                     const RegionalSettings& regional, int currentYear, ConversionHost* host) {
  int32_t columns[kFieldSlotCount];
  int32_t maxColumn = 1;
  for (int i = 0; i < kFieldSlotCount; ++i) {
    columns[i] = record.Position(static_cast<FieldSlot>(i));
    maxColumn = std::max(maxColumn, columns[i]);
  }

  std::string scratch, field, out;
  LineColumns split;
  UnreadReport unread(record, regional);
  int64_t count = 0;
  for (;;) {
    std::string_view line = source.ReadTextLineView(scratch);
    if (count == 0 && record.HasHeaderLine()) {
      line = source.ReadTextLineView(scratch);  // the header is dropped, but counted
      count = 1;
    }
    split.Split(line, maxColumn);
    out.clear();
    for (int i = 0; i < kFieldSlotCount; ++i) {
      if (i > 0) out.push_back(',');
      out.push_back('"');
      if (i == static_cast<int>(FieldSlot::kDate) || i == static_cast<int>(FieldSlot::kTime)) {
        split.ColumnInto(columns[i], field);
        const bool isDate = i == static_cast<int>(FieldSlot::kDate);
        const bool read = isDate ? DateConvert(field, record, regional, currentYear)
                                 : TimeConvert(field, record, regional);
        if (!read) {
          // An empty line's placeholder is no date or time either.
          (isDate ? unread.dates : unread.times)
              .NotRead(line.empty() || field.empty(), count + 1, split, columns[i]);
        }
        out += field;
      } else {
        split.AppendColumn(columns[i], out);
      }
      out.push_back('"');
    }
    output.WriteTextLine(out);
    ThrowIfStopRequested();
    ++count;
    if (host != nullptr) host->ShowCount(count);
    if (source.TextAtEnd()) break;
  }
  unread.linesRead = count;
  const int64_t fields = record.HasHeaderLine() ? count - 1 : count;
  unread.dates.Finish(fields);
  unread.times.Finish(fields);
  if (host != nullptr) host->ShowUnread(unread);
  return count;
}

namespace {

// An export that the practice system rewrote, cut or replaced while the pass
// read it would be imported cut short, or mixed from two exports.
bool SourceChanged(int fd, const std::string& name, const struct stat& before) {
  struct stat now {
  }, byName{};
  if (Sys().fstat(fd, &now) != 0) ThrowIoError(errno, name);
  return now.st_size != before.st_size || now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
         now.st_mtim.tv_nsec != before.st_mtim.tv_nsec || ::stat(name.c_str(), &byName) != 0 ||
         byName.st_dev != before.st_dev || byName.st_ino != before.st_ino;
}

}  // namespace

RunResult ConversionRun(const SetupRecord& record, const RegionalSettings& regional,
                        int currentYear, const std::string& dataFolder, ConversionHost& host) {
  const std::string sourceName = record.SourceFileName();
  if (sourceName.empty()) {
    host.ShowMessage(kNoFileAssignedMessage);
    host.RequestTermination();
    return RunResult::kNoFileAssigned;
  }
  if (!FileExists(sourceName)) {
    host.ShowMessage(MissingFileMessage(sourceName));
    host.RequestTermination();
    return RunResult::kSourceMissing;
  }

  // The source first: one that cannot be opened leaves the import file alone.
  TextReader source = TextReader::Open(sourceName);
  struct stat sourceStatus {};
  if (Sys().fstat(source.Fd(), &sourceStatus) != 0) ThrowIoError(errno, sourceName);
  const std::string importName = dataFolder + "/" + kImportFileName;
  TextWriter output =
      ConcerningFile(importName, [&] { return TextWriter(importName, &sourceStatus); });

  ConcerningFile(importName,
                 [&] { ConvertLines(source, output, record, regional, currentYear, &host); });
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
