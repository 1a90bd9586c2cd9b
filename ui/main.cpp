// vantrelix: converts a clinic's appointment export into TOLV's import file.
//   vantrelix          convert about one second after start, then end
//   vantrelix SETUP    open the field selector
#include "display.h"
#include "startup.h"

int main(int argc, char** argv) {
  const std::string firstArgument = vantrelix::FirstArgument(argc, argv);
  if (!vantrelix::DisplayAvailable()) {
    return vantrelix::RunInConsole(vantrelix::ProgramFilePath(argv[0]), firstArgument);
  }
  return vantrelix::RunWithWindows(argc, argv, firstArgument);
}
