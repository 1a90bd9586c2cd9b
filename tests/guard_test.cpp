#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QWidget>

#include <random>

#include "guard.h"
#include "test_support.h"

namespace vantrelix {
namespace {

using testing::TempDir;

// A block name of this test run's own, so that nothing else interferes.
std::string UniqueBlockName(const char* what) {
  return std::string("VTGUARDTEST-") + what + "-" + std::to_string(::getpid());
}

TEST(InstanceBlockName, UpperCasesAToZOnly) {
  EXPECT_EQ(InstanceBlockName("/usr/bin/vantrelix"), "VANTRELIX");
  EXPECT_EQ(InstanceBlockName("/Tools/Conv.exe"), "CONV.EXE");
  EXPECT_EQ(InstanceBlockName("vantrelix"), "VANTRELIX");
  EXPECT_EQ(InstanceBlockName("/opt/h\xC3\xA9llo-2"), "H\xC3\xA9LLO-2") << "other bytes stay";
}

TEST(TGuardApplication, SecondGuardSeesTheFirstUntilItEnds) {
  const std::string name = UniqueBlockName("pair");
  auto first = std::make_unique<TGuardApplication>(name);
  EXPECT_FALSE(first->PreviousInstanceRunning());
  {
    TGuardApplication second(name);
    EXPECT_TRUE(second.PreviousInstanceRunning());
    EXPECT_EQ(second.PreviousInstanceWindow(), 0u) << "no endpoint was opened";
  }
  first.reset();
  TGuardApplication third(name);
  EXPECT_FALSE(third.PreviousInstanceRunning());
}

TEST(TGuardApplication, KilledFirstCopyLocksNobodyOut) {
  const std::string name = UniqueBlockName("killed");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    TGuardApplication guard(name);
    [[maybe_unused]] auto n = ::write(ready[1], guard.PreviousInstanceRunning() ? "2" : "1", 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, '1');
  {
    TGuardApplication whileRunning(name);
    EXPECT_TRUE(whileRunning.PreviousInstanceRunning());
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  TGuardApplication after(name);
  EXPECT_FALSE(after.PreviousInstanceRunning())
      << "the shared object outlived the copy, its lock did not";
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(TGuardApplication, CopiesStartedAtTheSameInstantHaveExactlyOneFirst) {
  const std::string name = UniqueBlockName("race");
  for (int round = 0; round < 50; ++round) {
    int go[2], hold[2], results[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(hold), 0);
    ASSERT_EQ(::pipe(results), 0);
    pid_t pids[3];
    for (pid_t& pid : pids) {
      pid = ::fork();
      if (pid == 0) {
        ::close(go[1]);
        ::close(hold[1]);
        char c;
        [[maybe_unused]] auto r = ::read(go[0], &c, 1);  // all start together
        TGuardApplication guard(name);
        [[maybe_unused]] auto w =
            ::write(results[1], guard.PreviousInstanceRunning() ? "s" : "f", 1);
        [[maybe_unused]] auto h = ::read(hold[0], &c, 1);  // keeps the guard until released
        ::_exit(0);
      }
    }
    ::close(go[0]);
    ::close(hold[0]);
    ::close(results[1]);
    ::close(go[1]);  // EOF: every child starts at once
    std::string got;
    char c;
    while (got.size() < 3 && ::read(results[0], &c, 1) == 1) got.push_back(c);
    ::close(hold[1]);
    for (pid_t pid : pids) ::waitpid(pid, nullptr, 0);
    ::close(results[0]);
    ASSERT_EQ(std::count(got.begin(), got.end(), 'f'), 1) << "round " << round << ": " << got;
  }
}

TEST(TGuardApplication, SecondCopyRestoresAMinimisedFirstCopy) {
  const std::string name = UniqueBlockName("raise");
  TGuardApplication first(name);
  QWidget window;
  window.show();
  window.setWindowState(Qt::WindowMinimized);
  QApplication::processEvents();
  ASSERT_TRUE(window.isMinimized());
  first.ListenForActivation([&window] { return &window; });

  TGuardApplication second(name);
  ASSERT_TRUE(second.PreviousInstanceRunning());
  EXPECT_EQ(second.PreviousInstanceWindow(), static_cast<uint32_t>(::getpid()));
  second.ActivatePreviousInstance();
  QElapsedTimer clock;
  clock.start();
  while (window.isMinimized() && clock.elapsed() < 3000)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_FALSE(window.isMinimized());
  EXPECT_TRUE(window.isVisible());
}

TEST(GuardFolder, ObjectsOfAnotherUserAreNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's folders";
  TempDir tmp;
  const std::string runtime = tmp / "run",
                    squat = tmp / ("vantrelix-" + std::to_string(::getuid()));
  ::mkdir(runtime.c_str(), 0700);
  ::chown(runtime.c_str(), 4242, 4242);  // not our runtime folder
  ::mkdir(squat.c_str(), 0777);
  ::chown(squat.c_str(), 4242, 4242);  // made first by another user
  testing::ScopedEnv r("XDG_RUNTIME_DIR", runtime.c_str());
  testing::ScopedEnv t("TMPDIR", tmp.Path().c_str());
  EXPECT_EQ(GuardFolder(), "");
  {
    const std::string name = UniqueBlockName("squat");
    TGuardApplication first(name), second(name);
    EXPECT_FALSE(second.PreviousInstanceRunning()) << "no lock-out: the guard is off";
  }
  ::rmdir(squat.c_str());
  EXPECT_EQ(GuardFolder(), squat);
  struct stat st {};
  ::stat(squat.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(TGuardApplication, StaleHandleFailsQuietly) {
  const std::string name = UniqueBlockName("stale");
  TGuardApplication first(name);
  TGuardApplication second(name);
  second.ActivatePreviousInstance();  // handle 0: nothing to reach, no report
  SUCCEED();
}

TEST(TOneInstance, OnlyOneInAProcess) {
  TOneInstance one;
  EXPECT_EQ(TOneInstance::GuardCount(), 1);
  try {
    TOneInstance two;
    FAIL() << "a second guard component was created";
  } catch (const EOneInstError& e) {
    EXPECT_STREQ(e.what(), "TOneInstance:\rAlready one TOneInstance control in this project!");
  }
  EXPECT_EQ(TOneInstance::GuardCount(), 1);
  EXPECT_TRUE(one.Enabled);
  EXPECT_EQ(one.Mode, oiActivateOnly);
}

TEST(TOneInstance, LoadedActsByMode) {
  const std::string name = UniqueBlockName("modes");
  TGuardApplication first(name);
  TGuardApplication second(name);
  struct Case {
    TOneInstanceMode mode;
    bool enabled;
    bool custom;
    std::string shown;
    int custom_calls;
    bool ends;
  };
  for (const Case& c :
       {Case{oiActivateOnly, true, false, "", 0, true},
        Case{oiDefaultMessage, true, false, "\"Vantrelix\" was already started...", 0, true},
        Case{oiCustom, true, true, "", 1, true}, Case{oiCustom, true, false, "", 0, true},
        Case{oiActivateOnly, false, false, "", 0, false}}) {
    TOneInstance guard;
    guard.Mode = c.mode;
    guard.Enabled = c.enabled;
    int customCalls = 0;
    if (c.custom) guard.OnCustom = [&](TOneInstance* sender) { customCalls += sender == &guard; };
    std::string shown;
    bool ended = false;
    guard.Loaded(
        &second, "Vantrelix", [&](const std::string& t) { shown = t; }, [&] { ended = true; });
    EXPECT_EQ(shown, c.shown) << c.mode;
    EXPECT_EQ(customCalls, c.custom_calls) << c.mode;
    EXPECT_EQ(ended, c.ends) << c.mode;
  }
  TOneInstance inFirstCopy;
  bool ended = false;
  inFirstCopy.Loaded(&first, "Vantrelix", {}, [&] { ended = true; });
  EXPECT_FALSE(ended) << "the first copy goes on";
}

// Real copies of the program.
class ProgramCopies : public ::testing::Test {
 protected:
  ProgramCopies() : env_("VANTRELIX_COMMON_DOCUMENTS", home_.Path().c_str()) {
    data_ = home_ / "TOLV_7_Data";
    ::mkdir(data_.c_str(), 0777);
    program_ = testing::CopyProgram(VANTRELIX_PROGRAM, home_.Path(),
                                    "vtcopy" + std::to_string(::getpid()));
  }
  ~ProgramCopies() override {
    for (QProcess* p : started_) {
      p->kill();
      p->waitForFinished(3000);
      delete p;
    }
  }

  QProcess* Start(const std::string& program, const QStringList& args, bool windows) {
    auto* p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
    if (windows) env.insert("QT_QPA_PLATFORM", "offscreen");
    p->setProcessEnvironment(env);
    p->start(QString::fromStdString(program), args);
    p->waitForStarted(5000);
    started_.push_back(p);
    return p;
  }
  // Waits until the program has its settings file (its start-up is done).
  void WaitForStartUp() {
    QElapsedTimer clock;
    clock.start();
    while (!testing::PathExists(data_ + "/VANTRELIX_SU.DAT") && clock.elapsed() < 5000)
      ::usleep(20000);
    ::usleep(300000);
  }
  struct Ended {
    int exitCode;
    qint64 ms;
    std::string err;
  };
  Ended RunToEnd(const std::string& program, const QStringList& args, bool windows) {
    QElapsedTimer clock;
    clock.start();
    QProcess* p = Start(program, args, windows);
    p->waitForFinished(10000);
    return {p->exitCode(), clock.elapsed(), p->readAllStandardError().toStdString()};
  }

  TempDir home_;
  testing::ScopedEnv env_;
  std::string data_, program_;
  std::vector<QProcess*> started_;
};

TEST_F(ProgramCopies, SecondCopyEndsAtOnceWhileTheFirstShowsTheFieldSelector) {
  testing::WriteFile(data_ + "/Sample_VANTRELIX.CSV", "H\r\na,b\r\n");
  Start(program_, {"SETUP"}, true);
  WaitForStartUp();
  for (const QStringList& args : {QStringList{}, QStringList{"SETUP"}, QStringList{"x"}}) {
    for (bool windows : {true, false}) {
      const Ended e = RunToEnd(program_, args, windows);
      EXPECT_EQ(e.exitCode, 3) << args.join(" ").toStdString() << " windows " << windows;
      if (!windows) {
        EXPECT_NE(e.err.find("already running"), std::string::npos) << e.err;
      }
    }
  }
  EXPECT_FALSE(testing::PathExists(data_ + "/TOLV_D.TXT"));
  EXPECT_EQ(started_.front()->state(), QProcess::Running) << "the first copy goes on";
}

TEST_F(ProgramCopies, SecondWindowedCopyWithABrokenLoadStillEnds) {
  testing::WriteFile(data_ + "/Sample_VANTRELIX.CSV", "H\r\na,b\r\n");
  Start(program_, {"SETUP"}, true);
  WaitForStartUp();
  // The second copy's error box would otherwise take the end request, and
  // its tick would convert under the open field selector.
  ::truncate((data_ + "/VANTRELIX_SU.DAT").c_str(), 10);
  const Ended e = RunToEnd(program_, {}, true);
  EXPECT_EQ(e.exitCode, 3);
  EXPECT_FALSE(testing::PathExists(data_ + "/TOLV_D.TXT"));
}

TEST_F(ProgramCopies, FirstConsoleCopyCompletesItsOwnWork) {
  // Long enough that the first copy is still busy when the second starts.
  std::string source = "H\r\n";
  for (int i = 0; i < 400000; ++i) source += "7/4/2026,9:30 am,Ann,Dr. Lee,555\r\n";
  testing::WriteFile(data_ + "/Sample_VANTRELIX.CSV", source);
  QProcess* first = Start(program_, {}, false);
  WaitForStartUp();  // the first copy now waits for its first second to pass
  const Ended second = RunToEnd(program_, {}, false);
  EXPECT_EQ(second.exitCode, 3);
  EXPECT_NE(second.err.find("already running"), std::string::npos);
  ASSERT_TRUE(first->waitForFinished(10000));
  EXPECT_EQ(first->exitCode(), 0);
  EXPECT_EQ(testing::ReadFile(data_ + "/TOLV_D.TXT").substr(0, 51),
            "\"Ann\",\"555\",\"07/04/26\",\"09:30 am\",\"Dr. Lee\",\"\",\"\"\r\n");
}

TEST_F(ProgramCopies, KilledFirstCopyDoesNotBlockTheNext) {
  QProcess* first = Start(program_, {"SETUP"}, true);
  WaitForStartUp();
  ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
  first->waitForFinished(3000);
  const Ended next = RunToEnd(program_, {}, false);
  EXPECT_EQ(next.exitCode, 1) << next.err;  // a first copy: it looked for the sample source
}

TEST_F(ProgramCopies, NamesDifferingOnlyInCaseSeeEachOther) {
  testing::WriteFile(data_ + "/Sample_VANTRELIX.CSV", "H\r\n7/4/2026,9:30 am,Ann\r\n");
  const std::string base = "vtcase" + std::to_string(::getpid());
  std::string upper = base;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  const std::string lower = testing::CopyProgram(VANTRELIX_PROGRAM, home_.Path(), base);
  const std::string shouting = testing::CopyProgram(VANTRELIX_PROGRAM, home_.Path(), upper);
  const std::string other = testing::CopyProgram(VANTRELIX_PROGRAM, home_.Path(), base + "x");
  Start(lower, {"SETUP"}, true);
  WaitForStartUp();
  EXPECT_EQ(RunToEnd(shouting, {}, false).exitCode, 3);
  EXPECT_EQ(RunToEnd(other, {}, false).exitCode, 0) << "another name is another program";
}

}  // namespace
}  // namespace vantrelix
