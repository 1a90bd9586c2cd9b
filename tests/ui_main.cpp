#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "test_support.h"

namespace {

// The test running, for the watchdog's last words.
char runningTest[512];

void SayWhichTestHung(int) {
  const char said[] = "\nwindow test still running after its time, ended: ";
  [[maybe_unused]] ssize_t n = ::write(2, said, sizeof said - 1);
  n = ::write(2, runningTest, std::strlen(runningTest));
  n = ::write(2, "\n", 1);
  ::_exit(1);
}

// A window test that fails half-way may leave its windows or a dialog open,
// which would block the next test of the same run; each test starts with none.
// One that waits for ever ends the run with its name instead of holding it,
// before CTest's own limit of 120 s would end it without one.
class OneTestAtATime : public ::testing::EmptyTestEventListener {
  static constexpr unsigned kMostSeconds = 100;

  void OnTestStart(const ::testing::TestInfo& test) override {
    std::snprintf(runningTest, sizeof runningTest, "%s.%s", test.test_suite_name(), test.name());
    ::alarm(kMostSeconds);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    // Hidden, not closed: closing the field selector would store its
    // settings, and a failed store would open a box nobody answers.
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible()) window->hide();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ::alarm(0);
  }
};

}  // namespace

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
  ::signal(SIGALRM, SayWhichTestHung);
  ::testing::UnitTest::GetInstance()->listeners().Append(new OneTestAtATime);
  return RUN_ALL_TESTS();
}
