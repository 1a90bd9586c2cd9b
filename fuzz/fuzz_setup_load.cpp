// The settings load from arbitrary bytes: the first 152 bytes land in the
// image; a shorter file loads what it has and reports it; what follows is
// an extension, ignored bytes, or damage that is named.
#include <cstring>

#include "fuzz_support.h"
#include "inouterror.h"
#include "setup_extension.h"
#include "setup_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  static const std::string path = fuzz::ScratchPath("vantrelix-fuzz-setup");
  fuzz::WriteScratch(path, data, size);
  SetupRecord record;
  int code = 0;
  bool damaged = false;
  try {
    LoadSetup(record, path);
  } catch (const EInOutError& e) {
    code = e.ErrorCode();
  } catch (const EFileProblem& e) {
    damaged = true;
    FUZZ_CHECK(std::strstr(e.what(), "extension is damaged") != nullptr, "an unnamed problem");
  }
  const size_t loaded = size < SetupRecord::kSize ? size : SetupRecord::kSize;
  FUZZ_CHECK(code == (size < SetupRecord::kSize ? io_code::kReadBeyondEnd : 0),
             "wrong load result");
  for (size_t i = 0; i < SetupRecord::kSize; ++i) {
    FUZZ_CHECK(record.Bytes()[i] == (i < loaded ? data[i] : 0), "image differs from the file");
  }
  const bool tagged = size >= SetupRecord::kSize + 4 &&
                      std::memcmp(data + SetupRecord::kSize, kExtensionTag.data(), 4) == 0;
  FUZZ_CHECK(tagged || !damaged, "bytes without the tag taken for an extension");
  FUZZ_CHECK(tagged || record.SourceFileName().size() <= 100, "a name longer than 100");
  FUZZ_CHECK(record.SourceFileName().size() <= kMaxSourceNameLength, "a name beyond the limit");
  if (!damaged && code == 0) {
    // What loads is saved back as it came (the extension in the order written).
    SetupRecord again;
    SaveSetup(record, path);
    LoadSetup(again, path);
    FUZZ_CHECK(again.SameSettings(record), "a saved record loads otherwise");
  }
  return 0;
}
