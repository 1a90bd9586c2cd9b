#pragma once

#include <string>

#include "regional.h"
#include "setup_file.h"
#include "setup_record.h"
#include "unread.h"

namespace vantrelix {

// Exit statuses, for schedulers and scripts.
namespace exit_status {
inline constexpr int kCompleted = 0;
inline constexpr int kNoSource = 1;  // "No File Assigned!" or a missing source
// A file error, settings that could not be loaded, any other failure, or
// SETUP without a desktop.
inline constexpr int kFileError = 2;
inline constexpr int kAnotherCopyRunning = 3;
// The import file was written, but some dates or times were left as they
// came, or may have day and month swapped.
inline constexpr int kUnreadOrDoubtful = kPassLeftUnreadOrDoubtful;
// A stop signal N ends the run with 128 + N, as a shell reports it.

// How serious an outcome is: a written import with unread dates is less so
// than any status that wrote none.
inline int Severity(int status) {
  return status == kUnreadOrDoubtful ? 1 : status == kCompleted ? 0 : status + 1;
}
}  // namespace exit_status

// What lives for the whole run: the settings record, the regional settings,
// the data folder and the first argument.
struct ProgramState {
  SetupRecord record;
  RegionalSettings regional;
  DataFolderPaths paths;
  std::string startArgument;
  std::string applicationTitle = "Vantrelix";
  int exitCode = exit_status::kCompleted;
  bool terminationRequested = false;

  // Keeps the most serious outcome of the run.
  void Report(int status) {
    if (exit_status::Severity(status) > exit_status::Severity(exitCode)) exitCode = status;
  }
};

// The title of every box: the program file's name without its folder, cut
// before its first ".", every letter after the first in lower case.
std::string ApplicationTitleFrom(const std::string& programPath);

// The error box shows a message with a full stop appended when its last
// character's code is above the full stop's.
std::string ErrorBoxText(const std::string& message);

// The current year of the local clock.
int CurrentLocalYear();

// The data folder from the platform's documents folders.
DataFolderPaths LookUpDataFolder();

}  // namespace vantrelix
