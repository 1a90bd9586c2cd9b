// vantrelix-windows: the program with its windows, which vantrelix starts in
// its own place when there is a display, so that a run without one loads no
// window library. Started by hand, it chooses the window system itself.
#include <string>

#include "console.h"
#include "display.h"
#include "program.h"
#include "startup.h"
#include "window_launch.h"

int main(int argc, char** argv) {
  vantrelix::InstallStopSignalHandlers();
  const std::string programPath = vantrelix::StartingProgramPath(argv[0]);
  if (vantrelix::ChosenWindowSystem().empty() && !vantrelix::ChooseWindowSystem()) {
    return vantrelix::RunInConsole(programPath, vantrelix::FirstArgument(argc, argv));
  }
  return vantrelix::RunWithWindows(argc, argv, programPath);
}
