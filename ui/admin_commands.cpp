#include "admin_commands.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>

#include "column_proposal.h"
#include "comma.h"
#include "console.h"
#include "conversion_run.h"
#include "count_text.h"
#include "guard.h"
#include "inouterror.h"
#include "normalise.h"
#include "posix_file.h"
#include "program.h"
#include "program_state.h"
#include "regional_locale.h"
#include "replacing_file.h"
#include "settings_text.h"
#include "setup_file.h"
#include "source_file.h"
#include "text_file.h"
#include "unread.h"

namespace vantrelix {

namespace {

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// A relative name means the folder the admin typed it in; the timer that
// converts runs elsewhere.
std::string Absolute(const std::string& name) {
  if (name.empty() || name.front() == '/') return name;
  char here[PATH_MAX];
  if (::getcwd(here, sizeof here) == nullptr) return name;
  return std::string(here) + "/" + name;
}

// The settings of the data folder, or the defaults when none are stored
// yet; `stored` tells which.
SetupRecord LoadedSettings(const DataFolderPaths& paths, bool& stored) {
  SetupRecord record;
  // By the run's rules: whatever stands under the settings' name is loaded
  // (or refused), and a folder that a run would refuse is refused here too.
  stored = !NothingNamed(paths.setupFileName);
  if (!stored && FolderExists(paths.dataFolder)) FindInFolder(paths.setupFileName, true);
  if (stored) {
    LoadSetup(record, paths.setupFileName);
  } else {
    FillDefaultSetup(record, paths);
  }
  return record;
}

// The source's first line split into columns when the settings call it a
// header; nothing when there is none or the source cannot be read.
std::vector<std::string> Headings(const SetupRecord& record,
                                  const std::vector<std::string>& lines) {
  if (!record.HasHeaderLine() || lines.empty()) return {};
  return ColumnTexts(lines.front(), record.Delimiter());
}

std::string ProposalText(const ColumnProposal& p) {
  std::string text;
  for (int f = 0; f < kFieldSlotCount; ++f) {
    const ColumnProposal::Field& field = p.fields[static_cast<size_t>(f)];
    text +=
        "  " + std::string(kFieldKeys[static_cast<size_t>(f)]) + "=" + std::to_string(field.column);
    if (!field.why.empty()) text += " (" + field.why + ")";
    text += "\n";
  }
  text += std::string("  header=") + (p.firstLineIsHeader ? "yes" : "no") +
          " delimiter=" + QuotedForLog(kFieldDelimiterItems[static_cast<size_t>(p.delimiter)]) +
          "\n";
  // A stored layout outside the lists is named as such, never looked up.
  text += "  date-layout=" + DateLayoutName(p.dateLayout);
  if (DateLayoutTakesDelimiter(p.dateLayout)) {
    text += " date-delimiter=" + QuotedForLog(std::string_view(&p.dateDelimiter, 1));
  }
  text += "\n  time-layout=" + TimeLayoutName(p.timeLayout);
  if (TimeLayoutTakesDelimiter(p.timeLayout)) {
    text += " time-delimiter=" + QuotedForLog(std::string_view(&p.timeDelimiter, 1));
  }
  return text;
}

// Runs an admin command; any error ends it with its message and status.
int Guarded(const std::string& name, const std::function<int()>& command) {
  int status = exit_status::kCompleted;
  const std::optional<StepError> error = RunCatching([&] { status = command(); });
  if (!error) return status;
  const std::string text = ErrorBoxText(error->message);
  std::fprintf(stderr, "%s: %s\n", name.c_str(),
               (error->path.empty() ? text : error->path + ": " + text).c_str());
  return error->status;
}

// The source and each field's column with its heading and first value.
void PrintColumns(const SetupRecord& record, const std::string& source,
                  const std::vector<std::string>& lines) {
  const std::vector<std::string> headings = Headings(record, lines);
  const size_t firstData = record.HasHeaderLine() ? 1 : 0;
  const std::vector<std::string> first = firstData < lines.size()
                                             ? ColumnTexts(lines[firstData], record.Delimiter())
                                             : std::vector<std::string>{};

  Print("source: " + QuotedForLog(source) +
        (record.HasHeaderLine() ? ", its first line a header (skipped)" : ", no header line"));
  for (int f = 0; f < kFieldSlotCount; ++f) {
    const int32_t column = record.Position(static_cast<FieldSlot>(f));
    std::string line = "  " + std::string(kFieldKeys[static_cast<size_t>(f)]) + ": ";
    if (column <= 0) {
      Print(line + "none");
      continue;
    }
    line += "column " + std::to_string(column);
    const auto c = static_cast<size_t>(column);
    if (c <= headings.size()) line += ", header " + QuotedForLog(headings[c - 1]);
    line += ", first value " + QuotedForLog(c <= first.size() ? first[c - 1] : "");
    Print(line);
  }
}

int RunCheck(const std::string& name, const std::vector<std::string>& files) {
  const RegionalSettings regional = RegionalSettingsFromSystem();
  const int year = CurrentLocalYear();
  const DataFolderPaths paths = LookUpDataFolder();
  bool stored = false;
  const SetupRecord record = LoadedSettings(paths, stored);
  if (!stored) Print("No settings are stored yet in " + paths.dataFolder + ": the defaults.");
  const std::string source = files.empty() ? record.SourceFileName() : Absolute(files.front());
  if (source.empty()) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), kNoFileAssignedMessage);
    return exit_status::kNoSource;
  }
  if (NothingNamed(source)) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), MissingFileMessage(source).c_str());
    return exit_status::kNoSource;
  }
  // The settings' source is read by the run's rules; a file named here is
  // the admin's own choice.
  const FileWriters writers = files.empty() ? record.writers : FileWriters{};
  const std::vector<std::string> lines = ReadFirstLines(source, kProposalLines, writers);
  PrintColumns(record, source, lines);

  TextReader reader = OpenSource(source, writers);
  UnreadReport report;
  CheckLines(reader, record, regional, year, &report);
  const std::string_view encoding = EncodingName(reader.Encoding());
  reader.Close();
  if (!encoding.empty()) Print("encoding: " + std::string(encoding));
  const auto counts = [](const char* what, const UnreadField& f) {
    std::string text = std::string(what) + ": " + WithThousands(f.examined - f.unread) + " of " +
                       WithThousands(f.examined) + " read, " + WithThousands(f.unread) +
                       " left as they came";
    if (f.doubtful > 0) text += ", " + WithThousands(f.doubtful) + " doubtful";
    return text;
  };
  Print(CountOf(report.linesRead, "line", "lines") + " read; nothing written.");
  Print(counts("dates", report.dates));
  Print(counts("times", report.times));
  if (const std::string zoned = ZonedTimesText(report); !zoned.empty()) Print(zoned + ".");
  for (const std::string& line : UnreadSummary(report, ImportFile::kNotWritten)) {
    Print("  " + line);
  }

  const ColumnProposal proposal = ProposeColumns(lines, record, regional, year);
  if (!proposal.SameAs(record)) {
    Print("The export suggests other settings (" + name + " --set columns=auto applies them):");
    std::fputs(ProposalText(proposal).c_str(), stdout);
    std::fputc('\n', stdout);
  }
  // Whether the dates tell their order at all, whatever is stored.
  if (!proposal.dateOrderNote.empty()) Print("Date order: " + proposal.dateOrderNote + ".");
  std::fflush(stdout);
  return PassExitStatus(report);
}

int RunShow(const std::string& name, const std::vector<std::string>& arguments) {
  if (!arguments.empty()) {
    std::fprintf(stderr, "%s: --show takes no arguments\n", name.c_str());
    return exit_status::kFileError;
  }
  const DataFolderPaths paths = LookUpDataFolder();
  bool stored = false;
  const SetupRecord record = LoadedSettings(paths, stored);
  Print(stored ? "settings: " + paths.setupFileName
               : "settings: none stored yet in " + paths.dataFolder + "; the defaults");
  // The headings are read as the run reads the source: what it would
  // refuse is not shown, and the refusal ends the command as it ends a run.
  std::vector<std::string> lines;
  std::optional<StepError> refused;
  const std::string& source = record.SourceFileName();
  if (record.HasHeaderLine() && !NothingNamed(source)) {
    refused = RunCatching([&] { lines = ReadFirstLines(source, 1, record.writers); });
  }
  for (const std::string& line : DescribeSettings(record, Headings(record, lines))) Print(line);
  Print("What --set takes:");
  for (const std::string& line : SettingChoices()) Print("  " + line);
  std::fflush(stdout);
  if (!refused) return exit_status::kCompleted;
  const std::string text = ErrorBoxText(refused->message);
  std::fprintf(stderr, "%s: %s\n", name.c_str(),
               (refused->path.empty() ? text : refused->path + ": " + text).c_str());
  return refused->status;
}

// The note of a field whose column the admin gave beside columns=auto.
constexpr char kGivenByAdmin[] = "given";

// What columns=auto could not find or had to guess, on standard error. A
// proposal without a date or time column, or with a guessed order of day
// and month, ends with status 4, as the runs it sets up would.
int ReportGuesses(const std::string& name, const ColumnProposal& proposal) {
  std::string missing;
  for (int f = 0; f < kFieldSlotCount; ++f) {
    const ColumnProposal::Field& field = proposal.fields[static_cast<size_t>(f)];
    if (field.column > 0 || field.why == kGivenByAdmin) continue;
    missing += (missing.empty() ? "" : ", ") + std::string(kFieldKeys[static_cast<size_t>(f)]);
  }
  if (!missing.empty()) {
    std::fprintf(stderr, "%s: columns=auto found no column for: %s\n", name.c_str(),
                 missing.c_str());
  }
  if (!proposal.dateOrderNote.empty()) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), proposal.dateOrderNote.c_str());
  }
  const bool noDateOrTime = proposal.fields[static_cast<size_t>(FieldSlot::kDate)].column == 0 ||
                            proposal.fields[static_cast<size_t>(FieldSlot::kTime)].column == 0;
  return noDateOrTime || proposal.dateOrderGuessed ? exit_status::kUnreadOrDoubtful
                                                   : exit_status::kCompleted;
}

// The KEY=VALUE arguments of --set applied to `record`, columns=auto aside
// (`automatic`) and the keys the admin gave besides the source in `given`;
// what is wrong with the first wrong one, or "".
struct SetArguments {
  bool automatic = false;
  std::vector<std::pair<std::string, std::string>> given;
};
std::string ApplySetArguments(const std::vector<std::string>& arguments, SetupRecord& record,
                              SetArguments& out) {
  for (const std::string& argument : arguments) {
    const size_t equals = argument.find('=');
    if (equals == std::string::npos) return QuotedForLog(argument) + " is no KEY=VALUE";
    const std::string key = argument.substr(0, equals);
    std::string value = argument.substr(equals + 1);
    if (key == "columns") {
      if (value != "auto") return "the value " + QuotedForLog(value) + " of columns is not auto";
      out.automatic = true;
      continue;
    }
    if (key == "source") value = Absolute(value);
    const std::string wrong = ApplySetting(record, key, value);
    if (!wrong.empty()) return wrong;
    if (key != "source") out.given.emplace_back(key, value);
  }
  return {};
}

// The columns and readings the export's first lines suggest, applied to
// `record`; a key given beside columns=auto is the admin's choice and wins.
ColumnProposal ApplyProposal(const std::vector<std::string>& lines, SetupRecord& record,
                             const SetArguments& arguments) {
  ColumnProposal proposal =
      ProposeColumns(lines, record, RegionalSettingsFromSystem(), CurrentLocalYear());
  proposal.ApplyTo(record);
  for (const auto& [key, value] : arguments.given) {
    ApplySetting(record, key, value);
    for (int f = 0; f < kFieldSlotCount; ++f) {
      if (key == kFieldKeys[static_cast<size_t>(f)]) {
        proposal.fields[static_cast<size_t>(f)] = {record.Position(static_cast<FieldSlot>(f)),
                                                   kGivenByAdmin};
      }
    }
    if (key == "date-layout") proposal.dateOrderGuessed = false, proposal.dateOrderNote.clear();
  }
  return proposal;
}

// The settings as stored; with columns=auto, why each field's column was
// taken where its heading does not say it.
void PrintStored(const SetupRecord& record, const std::vector<std::string>& headings,
                 const ColumnProposal* proposal) {
  const std::vector<std::string> described = DescribeSettings(record, headings);
  for (size_t i = 0; i < described.size(); ++i) {
    std::string line = "  " + described[i];
    // The field lines follow the source line, in FieldSlot order.
    if (proposal != nullptr && i >= 1 && i <= kFieldSlotCount) {
      const std::string& why = proposal->fields[i - 1].why;
      // A header's name shows already; a shape, or a header not followed, says why.
      const bool headerOnly =
          why.rfind("header", 0) == 0 && why.find(", but ") == std::string::npos;
      if (!why.empty() && !headerOnly && why != kGivenByAdmin) line += " (" + why + ")";
    }
    Print(line);
  }
}

int RunSet(const std::string& name, const std::string& programPath,
           const std::vector<std::string>& arguments) {
  const auto refuse = [&](const std::string& why) {
    std::fprintf(stderr, "%s: %s; nothing was stored\n", name.c_str(), why.c_str());
    return exit_status::kFileError;
  };
  if (arguments.empty()) return refuse("--set needs KEY=VALUE arguments (see --help)");
  // The field selector stores its settings when it closes: the two must not
  // overwrite each other's.
  const TGuardApplication guard(InstanceBlockName(programPath));
  if (guard.Unavailable()) return refuse(guard.Problem());
  if (guard.PreviousInstanceRunning()) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), kAnotherCopyMessage);
    return exit_status::kAnotherCopyRunning;
  }
  const DataFolderPaths paths = LookUpDataFolder();
  bool stored = false;
  SetupRecord record = LoadedSettings(paths, stored);
  SetArguments set;
  if (const std::string wrong = ApplySetArguments(arguments, record, set); !wrong.empty()) {
    return refuse(wrong);
  }
  const std::string source = record.SourceFileName();
  // Read before anything is stored, by the rules of the runs these settings
  // will make: a source they would refuse is refused here, and nothing is
  // stored.
  const bool sourceThere = !NothingNamed(source);
  std::vector<std::string> lines;
  if (sourceThere) {
    const FileWriters writers = WritersOfReplacement(paths.setupFileName);
    lines = ReadFirstLines(source, set.automatic ? kProposalLines : 1, writers);
  }
  ColumnProposal proposal;
  if (set.automatic) {
    if (!sourceThere) return refuse("columns=auto: " + MissingFileMessage(source));
    proposal = ApplyProposal(lines, record, set);
  } else if (!sourceThere) {
    std::fprintf(stderr, "%s: note: the source %s does not exist yet\n", name.c_str(),
                 QuotedForLog(source).c_str());
  }
  if (!stored) MakeDataFolderIfMissing(paths);
  SaveSetup(record, paths.setupFileName);
  Print("stored in " + paths.setupFileName + ":");
  if (!record.HasHeaderLine()) lines.clear();
  PrintStored(record, Headings(record, lines), set.automatic ? &proposal : nullptr);
  std::fflush(stdout);
  return set.automatic ? ReportGuesses(name, proposal) : exit_status::kCompleted;
}

}  // namespace

int CheckCommand(const std::string& name, const std::vector<std::string>& files) {
  return Guarded(name, [&] { return RunCheck(name, files); });
}

int ShowCommand(const std::string& name, const std::vector<std::string>& arguments) {
  return Guarded(name, [&] { return RunShow(name, arguments); });
}

int SetCommand(const std::string& name, const std::string& programPath,
               const std::vector<std::string>& arguments) {
  return Guarded(name, [&] { return RunSet(name, programPath, arguments); });
}

}  // namespace vantrelix
