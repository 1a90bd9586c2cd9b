// Converts one source file with the engine, without the program's fixed
// one-second start and 250 ms finish, and prints lines per second.
//   convert_bench SOURCE DATA_FOLDER
// Settings: header skipped, columns 3,5,1,2,4,6,7, default layouts and
// regional settings, as the benchmark's peers do it.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "conversion_run.h"
#include "inouterror.h"
#include "setup_record.h"

namespace {

class QuietHost : public vantrelix::ConversionHost {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void ShowCount(int64_t n) override { lines = n; }
  void ShowFinished() override {}
  void Pause(int) override {}
  void RequestTermination() override {}
  int64_t lines = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOURCE DATA_FOLDER\n", argv[0]);
    return 2;
  }
  vantrelix::SetupRecord record;
  record.SetSourceFileName(argv[1]);
  const int32_t columns[] = {3, 5, 1, 2, 4, 6, 7};
  for (int i = 0; i < vantrelix::kFieldSlotCount; ++i) {
    record.SetPosition(static_cast<vantrelix::FieldSlot>(i), columns[i]);
  }
  record.SetSkipFirstLine(1);
  record.SetDateDelimiter('/');
  record.SetTimeDelimiter(':');

  QuietHost host;
  const auto start = std::chrono::steady_clock::now();
  try {
    vantrelix::ConversionRun(record, vantrelix::RegionalSettings{}, 2026, argv[2], host);
  } catch (const vantrelix::EInOutError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%lld lines in %.3f s: %.0f lines/s\n", static_cast<long long>(host.lines), seconds,
              host.lines / seconds);
  return 0;
}
