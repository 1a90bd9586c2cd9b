// The settings load from arbitrary bytes: the first 152 bytes land in the
// image; a shorter file loads what it has and reports it.
#include "fuzz_support.h"
#include "inouterror.h"
#include "setup_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  static const std::string path = fuzz::ScratchPath("vantrelix-fuzz-setup");
  fuzz::WriteScratch(path, data, size);
  SetupRecord record;
  int code = 0;
  try {
    LoadSetup(record, path);
  } catch (const EInOutError& e) {
    code = e.ErrorCode();
  }
  const size_t loaded = size < SetupRecord::kSize ? size : SetupRecord::kSize;
  FUZZ_CHECK(code == (size < SetupRecord::kSize ? io_code::kReadBeyondEnd : 0),
             "wrong load result");
  for (size_t i = 0; i < SetupRecord::kSize; ++i) {
    FUZZ_CHECK(record.Bytes()[i] == (i < loaded ? data[i] : 0), "image differs from the file");
  }
  FUZZ_CHECK(record.SourceFileName().size() <= 100, "a name longer than 100");
  return 0;
}
