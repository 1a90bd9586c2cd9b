#pragma once

#include <string>

namespace vantrelix {

// The window program's file name: beside the program in a build or a copy,
// in the install's libexec/vantrelix (../libexec/vantrelix from bin) where
// the package puts it.
inline constexpr char kWindowProgramName[] = "vantrelix-windows";

// Starts the window program in this one's place, with the same arguments;
// it names itself after `programPath` (the guard, the title, messages).
// When it cannot be started, says so and runs in console mode instead;
// gives the exit status then.
int StartWindowProgram(int argc, char** argv, const std::string& programPath);

// In the window program: the program it was started for, as
// StartWindowProgram passed it on; its own file when started by hand.
std::string StartingProgramPath(const char* argv0);

}  // namespace vantrelix
