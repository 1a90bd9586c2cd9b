#pragma once

#include "conversion_run.h"

namespace vantrelix::testing {

// A conversion host that shows nothing and remembers the last count.
class SilentHost : public ConversionHost {
 public:
  void ShowMessage(const std::string&) override {}
  void ShowCount(int64_t linesRead) override { lastCount = linesRead; }
  void ShowFinished() override {}
  void Pause(int) override {}
  void RequestTermination() override {}
  int64_t lastCount = -1;
};

}  // namespace vantrelix::testing
