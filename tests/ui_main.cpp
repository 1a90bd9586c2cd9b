#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <memory>

#include "test_support.h"

// The window tests need one application object for the whole run.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Run by hand, outside CTest: the guard's objects of these tests and of the
  // copies they start go into a runtime folder of their own, removed after.
  std::unique_ptr<vantrelix::testing::TempDir> runtime;
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    runtime = std::make_unique<vantrelix::testing::TempDir>();
    ::setenv("XDG_RUNTIME_DIR", runtime->Path().c_str(), 1);
  }
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
