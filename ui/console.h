#pragma once

#include <string>
#include <vector>

namespace vantrelix {

// The program without a display: the pass in console mode, and the commands
// an admin sets up and checks an export with.

// The first command-line argument as the user typed it, read before Qt
// takes its own options out of the list.
std::string FirstArgument(int argc, char** argv);

// The program file's full name (of the running executable, not of a link).
std::string ProgramFilePath(const char* argv0);

// The line a second copy in console mode prints before it ends.
inline constexpr char kAnotherCopyMessage[] =
    "Another copy of the program is already running; this one ends without converting.";

// The program file's name without its folder, as messages name it.
std::string ProgramName(const std::string& programPath);

// A line on standard error, named after the program.
void ErrorLine(const std::string& programPath, const std::string& text);

// The run without a display: messages and errors go to standard error,
// the final count to standard output; gives the exit status.
int RunInConsole(const std::string& programPath, const std::string& firstArgument);

// Whether `argument` is one of the options, or begins with "-" as an option
// would: those never convert.
bool IsOptionArgument(const std::string& argument);

// Runs the option in arguments[0] with the rest of the arguments; gives the
// exit status. An unknown option prints the usage on standard error, 2.
int RunOption(const std::string& programPath, const std::vector<std::string>& arguments);

// --help and --version, on standard output.
void PrintUsage(const std::string& programPath);
void PrintVersion(const std::string& programPath);

}  // namespace vantrelix
