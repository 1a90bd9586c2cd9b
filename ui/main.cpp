// vantrelix: converts a clinic's appointment export into TOLV's import file.
//   vantrelix          convert about one second after start, then end
//   vantrelix SETUP    open the field selector
#include "display.h"
#include "program.h"
#include "startup.h"

int main(int argc, char** argv) {
  vantrelix::InstallStopSignalHandlers();
  const std::string firstArgument = vantrelix::FirstArgument(argc, argv);
  const std::string programPath = vantrelix::ProgramFilePath(argv[0]);
  if (firstArgument == "--help" || firstArgument == "-h") {
    vantrelix::PrintUsage(programPath);
    return 0;
  }
  if (firstArgument == "--version") {
    vantrelix::PrintVersion(programPath);
    return 0;
  }
  if (!vantrelix::ChooseWindowSystem()) return vantrelix::RunInConsole(programPath, firstArgument);
  return vantrelix::RunWithWindows(argc, argv, firstArgument);
}
