#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <random>

#include "guard.h"
#include "program_state.h"
#include "startup.h"
#include "test_support.h"
#include "tform1.h"

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

// Hides /proc from a child, in a mount namespace of its own.
std::string HideProc() {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", "/proc", "tmpfs", 0, nullptr) != 0) {
    return std::string("cannot hide /proc: ") + std::strerror(errno);
  }
  return "";
}

TEST(TGuardApplication, SecondCopyRestoresAMinimisedFirstCopy) {
  // A socket address holds 107 bytes: the endpoint in a runtime folder of
  // 100 characters is reached through the folder's descriptor.
  struct Case {
    const char* what;
    size_t runtimeLength;
    bool withoutProc;
    bool restored;
    std::string told;
  };
  for (const Case& c : {
           Case{"short runtime folder", 0, false, true, ""},
           Case{"runtime folder of 100 characters", 100, false, true, ""},
           Case{"100 characters and no /proc: said, not silent", 100, true, false,
                "The running copy cannot be brought to the front"},
       }) {
    if (c.withoutProc && ::geteuid() != 0) continue;  // hiding /proc needs root
    SCOPED_TRACE(c.what);
    TempDir home;
    std::string runtime = home / "run";
    if (runtime.size() < c.runtimeLength) runtime.append(c.runtimeLength - runtime.size(), 'r');
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    ::mkdir((home / "TOLV_7_Data").c_str(), 0700);
    testing::ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.c_str());
    testing::ScopedEnv docs("VANTRELIX_COMMON_DOCUMENTS", home.Path().c_str());
    const std::string name = UniqueBlockName("raise");

    TGuardApplication first(name);
    ProgramState state;
    WindowProgram program(state, &first, 3600 * 1000);  // no tick during the test
    QWidget& window = program.Form1();
    window.show();
    window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMinimized(); }));

    const std::string told = testing::RunInChild(
        [&] {
          TGuardApplication second(name);
          if (second.PreviousInstanceWindow() != static_cast<uint32_t>(::getppid()))
            return std::string("the first copy's handle was not found");
          std::string said;
          second.SetReporter([&](const std::string& text) { said = text; });
          second.ActivatePreviousInstance();
          return said.substr(0, c.told.size());
        },
        c.withoutProc ? HideProc : std::function<std::string()>());
    EXPECT_EQ(told, c.told);
    EXPECT_EQ(QTest::qWaitFor([&] { return !window.isMinimized(); }, c.restored ? 5000 : 200),
              c.restored);
  }
}

// Runs `body` in a child as the user kUser (or root, who keeps an empty
// /root), where /run/user and /tmp are empty folders of the child's own (a
// mount namespace), after `prepare` has made, as root, what the case needs
// there. Nothing of it outlives the child.
constexpr uid_t kUser = 4242, kOtherUser = 4243;

std::string AsUserWithOwnRunAndTmp(const std::function<void()>& prepare,
                                   const std::function<std::string()>& body, uid_t user = kUser) {
  return testing::RunInChild(body, [&] {
    // Where the machine has no /run/user (a container), /run of the child's
    // own holds one.
    const bool runUser = testing::PathExists("/run/user");
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", runUser ? "/run/user" : "/run", "tmpfs", 0, "mode=0755") != 0 ||
        (!runUser && ::mkdir("/run/user", 0755) != 0) ||
        ::mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") != 0) {
      return std::string("no mount namespace: ") + std::strerror(errno);
    }
    prepare();
    if (user == 0) {
      if (testing::PathExists("/root") && ::mount("tmpfs", "/root", "tmpfs", 0, "mode=0700") != 0) {
        return std::string("no /root of its own: ") + std::strerror(errno);
      }
      return std::string();
    }
    if (::setgroups(0, nullptr) != 0 || ::setresgid(user, user, user) != 0 ||
        ::setresuid(user, user, user) != 0) {
      return "could not become user " + std::to_string(user);
    }
    return std::string();
  });
}

void MakeFolder(const std::string& path, mode_t mode, uid_t owner) {
  ::mkdir(path.c_str(), mode);
  ::chmod(path.c_str(), mode);
  [[maybe_unused]] const int r = ::chown(path.c_str(), owner, owner);
}

void SetOrUnset(const char* name, const char* value) {
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

bool CanRunAsAnotherUserInOwnMounts() {
  return ::geteuid() == 0 && testing::PathExists("/run");
}

TEST(GuardFolder, PrivatePlacesOnlyAndNeverSilentlyOff) {
  if (!CanRunAsAnotherUserInOwnMounts()) VANTRELIX_SKIP("needs root and /run");
  const std::string run = "/run/user/4242", tmp = "/tmp/vantrelix-4242", home = "/tmp/home";
  const auto session = [=] { MakeFolder(run, 0700, kUser); };
  const auto aHome = [=] { MakeFolder(home, 0755, kUser); };
  const std::string name = UniqueBlockName("places");
  struct Case {
    const char* what;
    std::function<void()> prepare;
    const char* runtime;  // XDG_RUNTIME_DIR, nullptr: unset
    const char* home;
    std::string folder;  // "" when no place may be used
  };
  for (const Case& c : {
           Case{"the session's runtime folder", session, "/run/user/4242", nullptr,
                run + "/vantrelix"},
           Case{"no XDG_RUNTIME_DIR (cron): the session's folder all the same", session, nullptr,
                nullptr, run + "/vantrelix"},
           Case{"no session: a folder in the home", aHome, nullptr, "/tmp/home",
                home + "/.cache/vantrelix"},
           Case{"no session, no home", [] {}, nullptr, nullptr, tmp},
           Case{"a runtime folder of another user's is passed over",
                [=] { MakeFolder(run, 0700, kOtherUser); }, "/run/user/4242", nullptr, tmp},
           Case{"a runtime folder open to others is passed over",
                [=] { MakeFolder(run, 0755, kUser); }, "/run/user/4242", nullptr, tmp},
           Case{"a block of another user's is passed over, even one open to all",
                [=] {
                  session();
                  MakeFolder(run + "/vantrelix", 0700, kUser);
                  const std::string block = run + "/vantrelix/" + name + ".block";
                  testing::WriteFile(block, "");
                  ::chmod(block.c_str(), 0666);
                  [[maybe_unused]] const int r = ::chown(block.c_str(), kOtherUser, kOtherUser);
                },
                "/run/user/4242", nullptr, tmp},
           // A relative path names another folder in every working folder.
           Case{"a relative XDG_RUNTIME_DIR is passed over",
                [] {
                  MakeFolder("/tmp/rel", 0700, kUser);
                  [[maybe_unused]] const int r = ::chdir("/tmp");
                },
                "rel", nullptr, tmp},
           Case{"a relative HOME is passed over",
                [] {
                  MakeFolder("/tmp/rel", 0755, kUser);
                  [[maybe_unused]] const int r = ::chdir("/tmp");
                },
                nullptr, "rel", tmp},
           Case{"squatted /tmp folder, a home: the home",
                [=] {
                  MakeFolder(tmp, 0777, kOtherUser);
                  aHome();
                },
                nullptr, "/tmp/home", home + "/.cache/vantrelix"},
           Case{"squatted /tmp folder and nothing else", [=] { MakeFolder(tmp, 0777, kOtherUser); },
                nullptr, nullptr, ""},
           Case{"a link at the /tmp folder",
                [=] {
                  MakeFolder("/tmp/elsewhere", 0700, kUser);
                  [[maybe_unused]] const int r = ::symlink("/tmp/elsewhere", tmp.c_str());
                },
                nullptr, nullptr, ""},
           Case{"the user's own /tmp folder open to others", [=] { MakeFolder(tmp, 0777, kUser); },
                nullptr, nullptr, ""},
       }) {
    const std::string got = AsUserWithOwnRunAndTmp(c.prepare, [&] {
      SetOrUnset("XDG_RUNTIME_DIR", c.runtime);
      SetOrUnset("HOME", c.home);
      TGuardApplication guard(name);
      if (guard.Unavailable()) {
        return guard.Problem().find(tmp) != std::string::npos ? std::string()
                                                              : "the message names no place";
      }
      struct stat st {};
      ::lstat(guard.Folder().c_str(), &st);
      TGuardApplication second(name);
      return guard.Folder() + ((st.st_mode & 07777) == 0700 ? "" : " not 0700") +
             (second.PreviousInstanceRunning() ? "" : " no lock-out");
    });
    EXPECT_EQ(got, c.folder) << c.what;
  }
}

// A folder is private to its owner, not to whoever may enter it: root (a
// timer run as root, sudo keeping the session's variables) passes over a
// user's runtime folder.
TEST(GuardFolder, RootPassesOverAUsersPrivateFolder) {
  if (!CanRunAsAnotherUserInOwnMounts()) VANTRELIX_SKIP("needs root and /run");
  const std::string got = AsUserWithOwnRunAndTmp(
      [] {
        MakeFolder("/run/user/4242", 0700, kUser);
        MakeFolder("/tmp/roothome", 0755, 0);
      },
      [] {
        ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
        ::setenv("HOME", "/tmp/roothome", 1);
        const TGuardApplication guard(UniqueBlockName("root"));
        return guard.Folder();
      },
      0);
  EXPECT_EQ(got, "/tmp/roothome/.cache/vantrelix");
}

TEST(GuardFolder, CopiesWithAndWithoutASessionMeet) {
  if (!CanRunAsAnotherUserInOwnMounts()) VANTRELIX_SKIP("needs root and /run");
  const char* const session = "/run/user/4242";
  struct Case {
    const char* what;
    const char* firstRuntime;  // XDG_RUNTIME_DIR, nullptr: unset
    const char* secondRuntime;
    bool sessionBegins;  // between the two starts
  };
  for (const Case& c : {
           Case{"desktop first, then cron", session, nullptr, false},
           Case{"cron first, then desktop", nullptr, session, false},
           Case{"cron before the session began, desktop in it", nullptr, session, true},
           Case{"a runtime folder elsewhere, then none", "/tmp/own-run", nullptr, false},
           Case{"none, then a runtime folder elsewhere", nullptr, "/tmp/own-run", false},
           Case{"two runtime folders elsewhere", "/tmp/own-run", "/tmp/other-run", false},
           // One folder under two names: held once, never taken for another copy.
           Case{"the session's folder spelt with a slash, then without", "/run/user/4242/", session,
                false},
       }) {
    const std::string got = AsUserWithOwnRunAndTmp(
        [&] {
          MakeFolder("/tmp/home", 0755, kUser);
          MakeFolder("/tmp/own-run", 0700, kUser);
          MakeFolder("/tmp/other-run", 0700, kUser);
          // Open to others until the session begins: no session's folder yet.
          MakeFolder(session, c.sessionBegins ? 0755 : 0700, kUser);
        },
        [&] {
          ::setenv("HOME", "/tmp/home", 1);
          const std::string name = UniqueBlockName("meet");
          SetOrUnset("XDG_RUNTIME_DIR", c.firstRuntime);
          TGuardApplication first(name);
          if (c.sessionBegins) ::chmod(session, 0700);
          SetOrUnset("XDG_RUNTIME_DIR", c.secondRuntime);
          TGuardApplication second(name);
          return std::string(first.PreviousInstanceRunning() ? "first sees another " : "") +
                 (second.PreviousInstanceRunning() ? "" : "second does not see the first");
        });
    EXPECT_EQ(got, "") << c.what;
  }
}

TEST(GuardFolder, NoPrivatePlaceEndsTheProgramWithAMessage) {
  if (!CanRunAsAnotherUserInOwnMounts()) VANTRELIX_SKIP("needs root and /run");
  // Read before /tmp is replaced: the build folder may be under it.
  const std::string program = testing::ReadFile(VANTRELIX_PROGRAM);
  const std::string got = AsUserWithOwnRunAndTmp(
      [&program] {
        MakeFolder("/tmp/vantrelix-4242", 0777, kOtherUser);
        // What an unguarded run would convert.
        MakeFolder("/tmp/docs", 0755, kUser);
        MakeFolder("/tmp/docs/TOLV_7_Data", 0755, kUser);
        testing::WriteFile("/tmp/docs/TOLV_7_Data/Sample_VANTRELIX.CSV", "a,b\r\n");
        // The build folder may be closed to other users (a private clone).
        MakeFolder("/tmp/bin", 0755, 0);
        testing::WriteFile("/tmp/bin/vantrelix", program);
        ::chmod("/tmp/bin/vantrelix", 0755);
      },
      [] {
        // Console mode: nothing to wait for an operator.
        for (const char* v :
             {"XDG_RUNTIME_DIR", "HOME", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
          ::unsetenv(v);
        ::setenv("VANTRELIX_COMMON_DOCUMENTS", "/tmp/docs", 1);
        int err[2];
        if (::pipe(err) != 0) return std::string("no pipe");
        const pid_t pid = ::fork();
        if (pid == 0) {
          ::dup2(err[1], 2);
          ::alarm(20);  // a run that hangs fails the test instead of holding it
          ::execl("/tmp/bin/vantrelix", "vantrelix", static_cast<char*>(nullptr));
          ::_exit(127);
        }
        ::close(err[1]);
        std::string said;
        char bytes[512];
        ssize_t n;
        while ((n = ::read(err[0], bytes, sizeof bytes)) > 0) said.append(bytes, n);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return "status " + std::to_string(WEXITSTATUS(status)) + ": " + said;
      });
  EXPECT_EQ(got.substr(0, 9), "status 2:") << got;
  EXPECT_NE(got.find("keeps copies apart"), std::string::npos) << got;
  EXPECT_NE(got.find("/tmp/vantrelix-4242"), std::string::npos) << got;
}

TEST(TGuardApplication, TooFewFileHandlesSaySo) {
  const std::string said = testing::RunInChild([] {
    // No descriptor left to open: the lowest free one is the limit.
    const int free = ::dup(0);
    ::close(free);
    const rlimit none{static_cast<rlim_t>(free), static_cast<rlim_t>(free)};
    if (::setrlimit(RLIMIT_NOFILE, &none) != 0) return std::string("no limit");
    TGuardApplication guard(UniqueBlockName("handles"));
    return guard.Problem().substr(0, 19);
  });
  EXPECT_EQ(said, "Too many open files");
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
