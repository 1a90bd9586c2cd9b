#pragma once

#include <string>
#include <vector>

namespace vantrelix {

// The commands an admin sets up and checks an export with, from a console.
// Each prints what it found on standard output and its problems on standard
// error, named `name` (the program's), and gives the exit status; any error
// ends it with its message.

// --check [FILE]: reads the source (or FILE) as a run would, writing nothing.
int CheckCommand(const std::string& name, const std::vector<std::string>& files);
// --show: the settings, and what each key takes.
int ShowCommand(const std::string& name, const std::vector<std::string>& arguments);
// --set KEY=VALUE...: checks everything first, then stores the settings.
int SetCommand(const std::string& name, const std::string& programPath,
               const std::vector<std::string>& arguments);

}  // namespace vantrelix
