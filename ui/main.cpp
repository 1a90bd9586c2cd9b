// vantrelix: converts a clinic's appointment export into TOLV's import file.
//   vantrelix          convert about one second after start, then end
//   vantrelix SETUP    open the field selector
//   vantrelix --check, --show, --set   set up and try an export from a console
// With a display, the window program (vantrelix-windows) takes this one's
// place; without one, nothing of the windows is loaded.
#include <string>
#include <vector>

#include "console.h"
#include "display.h"
#include "program.h"
#include "window_launch.h"

int main(int argc, char** argv) {
  vantrelix::InstallStopSignalHandlers();
  const std::string firstArgument = vantrelix::FirstArgument(argc, argv);
  const std::string programPath = vantrelix::ProgramFilePath(argv[0]);
  // Options never convert: an unknown one (a typo, an option of another
  // version) ends with the usage.
  if (vantrelix::IsOptionArgument(firstArgument)) {
    return vantrelix::RunOption(programPath, std::vector<std::string>(argv + 1, argv + argc));
  }
  if (!vantrelix::ChooseWindowSystem()) return vantrelix::RunInConsole(programPath, firstArgument);
  return vantrelix::StartWindowProgram(argc, argv, programPath);
}
