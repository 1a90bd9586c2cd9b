#include "console.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

#include "admin_commands.h"
#include "byte_scan.h"
#include "column_proposal.h"
#include "conversion_run.h"
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
#include "stop_request.h"
#include "text_file.h"
#include "unread.h"

namespace vantrelix {

namespace {

// Messages go to standard error, one line each, named after the program so
// that a scheduler's log says who spoke; the final count goes to standard
// output.
class ConsoleHost : public ProgramHost {
 public:
  ConsoleHost(ProgramState& state, std::string programName)
      : state_(state), programName_(std::move(programName)) {}

  void Line(const std::string& text) const { ErrorLine(programName_, text); }

  void ShowMessage(const std::string& text) override { Line(text); }
  void ShowCount(int64_t linesRead) override { count_ = linesRead; }
  // Dates and times left as they came are told once the import file is in
  // place; cron mails standard error, so the admin hears of them.
  void ShowUnread(const UnreadReport& report) override { unread_ = UnreadSummary(report); }
  void ShowFinished() override {
    for (const std::string& line : unread_) Line(line);
    std::printf("Records Imported = %lld --Finished--\n", static_cast<long long>(count_));
    std::fflush(stdout);
  }
  void Pause(int) override {}  // nobody is watching a console run finish
  void RequestTermination() override { state_.terminationRequested = true; }
  void ShowSourceName(const std::string&) override {}
  void ShowError(const StepError& error) override {
    if (error.stopSignal != 0) {
      const char* name = ::sigabbrev_np(error.stopSignal);
      Line(std::string("stopped by SIG") + (name != nullptr ? name : "?") +
           "; the previous import file was kept");
      return;
    }
    const std::string text = ErrorBoxText(error.message);
    Line(error.path.empty() ? text : error.path + ": " + text);
  }
  void RunFieldSelector() override {
    Line("The field selector (SETUP) needs a desktop session; no display was found.");
    state_.Report(exit_status::kFileError);
  }

 private:
  ProgramState& state_;
  std::string programName_;
  int64_t count_ = 0;
  std::vector<std::string> unread_;
};

// Waits, unless a stop signal comes first.
void WaitUnlessStopped(std::chrono::milliseconds wait) {
  timespec left{static_cast<time_t>(wait.count() / 1000),
                static_cast<long>(wait.count() % 1000) * 1000000L};
  while (stopSignal == 0 && ::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void WriteUsage(const std::string& programPath, std::FILE* to) {
  const std::string name = ProgramName(programPath);
  std::fprintf(to,
               "Usage: %s [SETUP]\n"
               "       %s --check [FILE] | --show | --set KEY=VALUE...\n"
               "Converts the appointment export named in the settings into TOLV's import file\n"
               "TOLV_D.TXT about one second after start, and ends.\n"
               "\n"
               "  SETUP          open the field selector (needs a desktop): the source file, the\n"
               "                 column of each field, the header line, the date and time layouts\n"
               "  --check [FILE] read the source (or FILE, without storing it) and tell what a\n"
               "                 conversion would do: the columns, the dates and times read, left\n"
               "                 as they came and doubtful, and better settings where the export\n"
               "                 suggests them; writes no file, exits as the conversion would\n"
               "  --show         show the settings\n"
               "  --set KEY=VALUE...  change and store settings, as the field selector does.\n"
               "                 Keys: source, name, phone, date, time, doctor, location, email\n"
               "                 (a column, 0 for none, up to 100), header (yes/no),\n"
               "                 date-layout and time-layout (an item's text or index, listed\n"
               "                 by --show), delimiter (comma or TAB, comma, TAB, semicolon,\n"
               "                 pipe),\n"
               "                 date-delimiter, time-delimiter (one character), and\n"
               "                 columns=auto (the columns, header and layouts proposed by the\n"
               "                 source). The whole set-up of a new export:\n"
               "                   %s --set source=/srv/export.csv columns=auto\n"
               "  -h, --help     show this help and end\n"
               "  --version      show the version and end\n"
               "\n"
               "Without a display it runs in console mode: messages go to standard error.\n"
               "Files: $VANTRELIX_COMMON_DOCUMENTS/TOLV_7_Data when that variable is set,\n"
               "otherwise TOLV_7_Data in your documents folder (~/Documents):\n"
               "  VANTRELIX_SU.DAT  the settings      TOLV_D.TXT  the import file\n"
               "Exit status: 0 converted; 4 converted, but some dates or times were left as\n"
               "they came, may be read in the wrong order or have no column (listed on\n"
               "standard error), or columns=auto found no date or time or guessed the order;\n"
               "1 no source file named, or it is missing; 2 a file error, settings that could\n"
               "not be loaded, a wrong option, or another failure; 3 another copy runs for\n"
               "this user (pgrep -a %s); 128+N stopped by signal N.\n"
               "See man %s.\n",
               name.c_str(), name.c_str(), name.c_str(), name.c_str(), name.c_str());
}

}  // namespace

std::string FirstArgument(int argc, char** argv) {
  return argc > 1 && argv[1] != nullptr ? argv[1] : "";
}

std::string ProgramFilePath(const char* argv0) {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) return std::string(path, static_cast<size_t>(n));
  return argv0 != nullptr ? argv0 : "vantrelix";
}

std::string ProgramName(const std::string& path) {
  return FileNameOf(path);
}

void ErrorLine(const std::string& programPath, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", ProgramName(programPath).c_str(), text.c_str());
}

int RunInConsole(const std::string& programPath, const std::string& firstArgument) {
  ProgramState state;
  state.applicationTitle = ApplicationTitleFrom(programPath);
  state.regional = RegionalSettingsFromSystem();
  state.startArgument = firstArgument;
  const std::string name = ProgramName(programPath);
  ConsoleHost host(state, name);
  // Console and windowed copies share one guard: a scheduled run must not
  // convert while an operator has the field selector open.
  const TGuardApplication guard(InstanceBlockName(programPath));
  if (guard.Unavailable()) {
    host.Line(guard.Problem());
    return exit_status::kFileError;
  }
  if (guard.PreviousInstanceRunning()) {
    host.Line(kAnotherCopyMessage);
    return exit_status::kAnotherCopyRunning;
  }
  state.paths = LookUpDataFolder();
  Program program(state, host);
  const auto stopped = [&] {
    if (stopSignal == 0) return false;
    host.ShowError({"", "", 128 + stopSignal, stopSignal});
    state.Report(128 + stopSignal);
    return true;
  };

  program.Activate();
  if (stopped() || state.terminationRequested) return state.exitCode;
  // The same second as with windows, so that scheduled runs behave alike.
  WaitUnlessStopped(std::chrono::seconds(1));
  if (stopped()) return state.exitCode;
  program.Tick();
  if (state.exitCode == exit_status::kNoSource) {
    host.Line("Choose the source file with '" + name + " SETUP' on the desktop, or with '" + name +
              " --set source=FILE columns=auto'.");
  }
  return state.exitCode;
}

bool IsOptionArgument(const std::string& argument) {
  return !argument.empty() && argument.front() == '-';
}

int RunOption(const std::string& programPath, const std::vector<std::string>& arguments) {
  const std::string name = ProgramName(programPath);
  const std::string option = arguments.empty() ? "" : arguments.front();
  const std::vector<std::string> rest(arguments.begin() + (arguments.empty() ? 0 : 1),
                                      arguments.end());
  if (option == "--help" || option == "-h") {
    PrintUsage(programPath);
    return exit_status::kCompleted;
  }
  if (option == "--version") {
    PrintVersion(programPath);
    return exit_status::kCompleted;
  }
  if (option == "--check") {
    if (rest.size() > 1) {
      std::fprintf(stderr, "%s: --check takes one FILE at most\n", name.c_str());
      return exit_status::kFileError;
    }
    return CheckCommand(name, rest);
  }
  if (option == "--show") return ShowCommand(name, rest);
  if (option == "--set") return SetCommand(name, programPath, rest);
  std::fprintf(stderr, "%s: unknown option %s\n", name.c_str(), QuotedForLog(option).c_str());
  WriteUsage(programPath, stderr);
  return exit_status::kFileError;
}

void PrintUsage(const std::string& programPath) {
  WriteUsage(programPath, stdout);
}

void PrintVersion(const std::string& programPath) {
  std::printf("%s %s\n", ProgramName(programPath).c_str(), VANTRELIX_VERSION);
}

}  // namespace vantrelix
