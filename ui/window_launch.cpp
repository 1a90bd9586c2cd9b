#include "window_launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console.h"
#include "stop_request.h"

namespace vantrelix {

namespace {

// How the program tells the window program its own file.
constexpr char kProgramPathVariable[] = "VANTRELIX_STARTED_AS";

// Where the window program lies, found from the running program's own file
// (never from PATH or the current folder); empty when it is in neither place,
// or the program's own file is not known by its full name.
std::string WindowProgramPath(const std::string& programPath) {
  if (programPath.empty() || programPath[0] != '/') return {};
  const std::string folder = programPath.substr(0, programPath.rfind('/') + 1);
  for (const std::string& candidate :
       {folder + kWindowProgramName,
        folder + VANTRELIX_WINDOWS_FROM_PROGRAM + "/" + kWindowProgramName}) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace

int StartWindowProgram(int argc, char** argv, const std::string& programPath) {
  // A stop asked for until now would be lost with this process's handlers.
  if (const int signal = stopSignal; signal != 0) return 128 + signal;
  const std::string windows = WindowProgramPath(programPath);
  int error = ENOENT;
  if (!windows.empty()) {
    ::setenv(kProgramPathVariable, programPath.c_str(), 1);
    ::execv(windows.c_str(), argv);
    error = errno;
    ::unsetenv(kProgramPathVariable);
  }
  ErrorLine(programPath, "The windows could not be opened (" +
                             (windows.empty() ? std::string(kWindowProgramName) : windows) + ": " +
                             std::strerror(error) + "); running in console mode.");
  return RunInConsole(programPath, FirstArgument(argc, argv));
}

std::string StartingProgramPath(const char* argv0) {
  if (const char* started = std::getenv(kProgramPathVariable); started != nullptr && *started) {
    std::string path = started;
    ::unsetenv(kProgramPathVariable);  // not for the programs it starts
    return path;
  }
  return ProgramFilePath(argv0);
}

}  // namespace vantrelix
