#include "conversion_run.h"

#include <sys/stat.h>

#include "comma.h"
#include "inouterror.h"
#include "normalise.h"
#include "posix_file.h"
#include "setup_file.h"
#include "text_file.h"

namespace vantrelix {

std::string MissingFileMessage(const std::string& fileName) {
  return "\"" + fileName + "\" does not exists!";
}

int64_t ConvertLines(TextReader& source, TextWriter& output, const SetupRecord& record,
                     const RegionalSettings& regional, int currentYear, ConversionHost* host) {
  int32_t columns[kFieldSlotCount];
  for (int i = 0; i < kFieldSlotCount; ++i) columns[i] = record.Position(static_cast<FieldSlot>(i));

  std::string line, field, out;
  int64_t count = 0;
  for (;;) {
    source.ReadTextLine(line);
    if (count == 0 && record.HasHeaderLine()) {
      source.ReadTextLine(line);  // the header is dropped, but counted
      count = 1;
    }
    out.clear();
    for (int i = 0; i < kFieldSlotCount; ++i) {
      CommaInto(line, columns[i], field);
      if (i == static_cast<int>(FieldSlot::kDate))
        DateConvert(field, record, regional, currentYear);
      if (i == static_cast<int>(FieldSlot::kTime)) TimeConvert(field, record, regional);
      if (i > 0) out.push_back(',');
      out.push_back('"');
      out += field;
      out.push_back('"');
    }
    output.WriteTextLine(out);
    ++count;
    if (host != nullptr) host->ShowCount(count);
    if (source.TextAtEnd()) break;
  }
  return count;
}

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
  if (::fstat(source.Fd(), &sourceStatus) != 0) ThrowIoError(errno);
  TextWriter output(dataFolder + "/" + kImportFileName, &sourceStatus);

  ConvertLines(source, output, record, regional, currentYear, &host);

  source.Close();
  output.Close();
  host.ShowFinished();
  host.Pause(250);
  host.RequestTermination();
  return RunResult::kCompleted;
}

}  // namespace vantrelix
