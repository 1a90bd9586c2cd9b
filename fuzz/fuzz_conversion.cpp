// The whole pass from an arbitrary record and source: one output line per
// line read, every line seven quoted fields free of quotes, nothing left
// beside the import file. The admin commands' engine work on the same record
// (what --show describes, what --check counts, proposes and names) must not
// fail whatever the record holds: a stored layout outside the lists is named
// as such, never looked up.
#include <dirent.h>
#include <sys/stat.h>

#include "column_proposal.h"
#include "comma.h"
#include "conversion_run.h"
#include "fuzz_support.h"
#include "inouterror.h"
#include "settings_text.h"
#include "silent_host.h"
#include "source_file.h"
#include "system_calls.h"
#include "text_file.h"
#include "unread.h"

namespace {

bool IsQuotedLine(std::string_view line) {
  int fields = 0;
  size_t i = 0;
  while (i < line.size()) {
    if (fields > 0) {
      if (line[i] != ',') return false;
      ++i;
    }
    if (i >= line.size() || line[i] != '"') return false;
    const size_t close = line.find('"', i + 1);
    if (close == std::string_view::npos) return false;
    i = close + 1;
    ++fields;
  }
  return fields == 7 && i == line.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  if (size < SetupRecord::kSize) return 0;
  static const std::string folder = [] {
    // Durability is not what this target checks: without the syncs it sees
    // hundreds of times more inputs.
    Sys().fsync = [](int) { return 0; };
    std::string f = fuzz::ScratchPath("vantrelix-fuzz-pass");
    ::mkdir(f.c_str(), 0700);
    return f;
  }();
  const std::string source = folder + "/source.csv";
  fuzz::WriteScratch(source, data + SetupRecord::kSize, size - SetupRecord::kSize);
  SetupRecord record;
  std::copy(data, data + SetupRecord::kSize, record.Bytes().begin());
  for (int k = 0; k < kFieldSlotCount; ++k) {  // keep columns small so that some pick text
    record.SetPosition(static_cast<FieldSlot>(k), record.Position(static_cast<FieldSlot>(k)) % 9);
  }
  record.SetSourceFileName(source);
  const RegionalSettings regional = fuzz::Settings(data[1]);

  // --show and --check.
  const std::vector<std::string> first = ReadFirstLines(source, 20);
  const std::vector<std::string> headings =
      first.empty() ? std::vector<std::string>{} : ColumnTexts(first.front(), record.Delimiter());
  FUZZ_CHECK(DescribeSettings(record, headings).size() > kFieldSlotCount, "settings undescribed");
  {
    TextReader reader = OpenSource(source, {});
    UnreadReport report;
    CheckLines(reader, record, regional, 2026, &report);
    UnreadSummary(report, ImportFile::kNotWritten);
    ZonedTimesText(report);
  }
  const ColumnProposal proposal = ProposeColumns(first, record, regional, 2026);
  FUZZ_CHECK(!DateLayoutName(proposal.dateLayout).empty() &&
                 !TimeLayoutName(proposal.timeLayout).empty() &&
                 !DateLayoutName(record.DateLayout()).empty() &&
                 !TimeLayoutName(record.TimeLayout()).empty(),
             "a layout without a name");

  testing::SilentHost host;
  const RunResult result = ConversionRun(record, regional, 2026, folder, host);
  FUZZ_CHECK(result == RunResult::kCompleted, "the pass did not complete");
  // Read as bytes: an import of NULs and letters could look like UTF-16.
  const std::string out = [&] {
    const std::string bytes = fuzz::ReadScratch(folder + "/TOLV_D.TXT");
    std::string all;
    for (size_t start = 0; start < bytes.size();) {
      const size_t end = bytes.find("\r\n", start);
      FUZZ_CHECK(end != std::string::npos, "an output line without CR LF");
      const std::string_view line = std::string_view(bytes).substr(start, end - start);
      FUZZ_CHECK(IsQuotedLine(line), "an output line that is not seven quoted fields");
      all += line;
      all += '\n';
      start = end + 2;
    }
    return all;
  }();
  int64_t lines = 0;
  for (char c : out) lines += c == '\n';
  FUZZ_CHECK(lines == host.lastCount - (record.HasHeaderLine() ? 1 : 0),
             "lines written != lines read");
  DIR* dir = ::opendir(folder.c_str());
  int entries = 0;
  while (dirent* e = ::readdir(dir)) entries += e->d_name[0] != '.' || e->d_name[1] == 'T';
  ::closedir(dir);
  FUZZ_CHECK(entries == 2, "a temporary file was left");
  return 0;
}
