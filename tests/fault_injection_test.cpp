#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>

#include "conversion_run.h"
#include "inouterror.h"
#include "posix_file.h"
#include "readable_by_writers.h"
#include "replacing_file.h"
#include "setup_file.h"
#include "silent_host.h"
#include "system_calls.h"
#include "test_support.h"

namespace vantrelix {
namespace {

using testing::ReadFile;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteFile;

// Fails the N-th call of one kind with a chosen errno; counts every call.
class FaultInjector {
 public:
  enum Kind {
    kOpen,
    kRead,
    kWrite,
    kClose,
    kFsync,
    kRename,
    kLink,
    kUnlink,
    kMkdir,
    kStat,
    kChmod,
    kChown,
    kFlock,
    kTruncate,
    kKinds
  };
  static constexpr const char* kNames[kKinds] = {"open",   "read",   "write",  "close",    "fsync",
                                                 "rename", "link",   "unlink", "mkdir",    "fstat",
                                                 "fchmod", "fchown", "flock",  "ftruncate"};

  FaultInjector() {
    active_ = this;
    SystemCalls& s = Sys();
    s.openat = [](int d, const char* p, int f, mode_t m) {
      if ((f & O_TMPFILE) == O_TMPFILE && active_->tmpfileError_ != 0) {
        errno = active_->tmpfileError_;
        return -1;
      }
      return active_->Fail(kOpen) ? -1 : Real().openat(d, p, f, m);
    };
    s.read = [](int fd, void* b, size_t n) -> ssize_t {
      return active_->Fail(kRead) ? -1 : Real().read(fd, b, n);
    };
    s.write = [](int fd, const void* b, size_t n) -> ssize_t {
      return active_->Fail(kWrite) ? -1 : Real().write(fd, b, n);
    };
    s.close = [](int fd) {
      if (active_->Fail(kClose)) {
        Real().close(fd);  // Linux frees the descriptor whatever close reports
        return -1;
      }
      return Real().close(fd);
    };
    s.fsync = [](int fd) { return active_->Fail(kFsync) ? -1 : Real().fsync(fd); };
    s.renameat = [](int a, const char* b, int c, const char* d) {
      return active_->Fail(kRename) ? -1 : Real().renameat(a, b, c, d);
    };
    s.linkat = [](int a, const char* b, int c, const char* d, int f) {
      return active_->Fail(kLink) ? -1 : Real().linkat(a, b, c, d, f);
    };
    s.unlinkat = [](int d, const char* p, int f) {
      return active_->Fail(kUnlink) ? -1 : Real().unlinkat(d, p, f);
    };
    s.mkdir = [](const char* p, mode_t m) {
      return active_->Fail(kMkdir) ? -1 : Real().mkdir(p, m);
    };
    s.fstat = [](int fd, struct stat* st) {
      return active_->Fail(kStat) ? -1 : Real().fstat(fd, st);
    };
    s.fchmod = [](int fd, mode_t m) { return active_->Fail(kChmod) ? -1 : Real().fchmod(fd, m); };
    s.fchown = [](int fd, uid_t u, gid_t g) {
      return active_->Fail(kChown) ? -1 : Real().fchown(fd, u, g);
    };
    s.flock = [](int fd, int op) { return active_->Fail(kFlock) ? -1 : Real().flock(fd, op); };
    s.ftruncate = [](int fd, off_t n) {
      return active_->Fail(kTruncate) ? -1 : Real().ftruncate(fd, n);
    };
  }
  ~FaultInjector() {
    Sys() = RealSystemCalls();
    active_ = nullptr;
  }

  // How the new file is written: unnamed (0), named where the file system
  // has no unnamed files (EOPNOTSUPP), in place where the folder takes no
  // new file (EACCES).
  void WriteMode(int tmpfileError) { tmpfileError_ = tmpfileError; }
  void Arm(Kind kind, int nth, int err) {
    kind_ = kind, nth_ = nth, errno_ = err;
    for (int& c : calls) c = 0;
  }
  int calls[kKinds] = {};

 private:
  static const SystemCalls& Real() { return RealSystemCalls(); }
  bool Fail(Kind kind) {
    if (++calls[kind] != nth_ || kind != kind_) return false;
    errno = errno_;
    return true;
  }

  static inline FaultInjector* active_ = nullptr;
  Kind kind_ = kOpen;
  int nth_ = 0;
  int errno_ = 0;
  int tmpfileError_ = 0;
};

// One start of the program's engine side: defaults, load, pass.
std::string RunOnce(const DataFolderPaths& paths) {
  try {
    SetupRecord record;
    WriteDefaultSetupIfMissing(record, paths);
    LoadSetup(record, paths.setupFileName);
    testing::SilentHost host;
    ConversionRun(record, RegionalSettings{}, 2026, paths.dataFolder, host);
  } catch (const EInOutError& e) {
    return e.what();
  }
  return "";
}

struct Scenario {
  const char* name;
  bool firstStart;   // no data folder yet: the defaults are written
  int tmpfileError;  // the write mode, as FaultInjector::WriteMode takes it
};

TEST(FaultInjection, EveryCallOfARealRunFailsCleanly) {
  const std::string sourceText =
      "Date,Time,Patient,Doctor,Phone\r\n7/4/2026,9:30 am,\"Roe, Jane\",Dr. Lee,555\r\n";
  int injected = 0;
  // Each in-place run says so on standard error.
  ::testing::internal::CaptureStderr();
  for (const Scenario& scenario :
       {Scenario{"later start", false, 0}, Scenario{"first start", true, 0},
        Scenario{"later start, named", false, EOPNOTSUPP},
        Scenario{"first start, named", true, EOPNOTSUPP},
        Scenario{"later start, in place", false, EACCES}}) {
    // A clean run first, counting the calls of each kind.
    FaultInjector injector;
    injector.WriteMode(scenario.tmpfileError);
    const auto prepare = [&](TempDir& home) {
      const DataFolderPaths paths = DataFolderFrom("", home.Path());
      if (!scenario.firstStart) {
        injector.WriteMode(0);
        ::mkdir(paths.dataFolder.c_str(), 0777);
        SetupRecord r;
        WriteDefaultSetupIfMissing(r, paths);
        testing::WriteFile(paths.dataFolder + "/TOLV_D.TXT", "previous import");
        injector.WriteMode(scenario.tmpfileError);
      }
      return paths;
    };
    int normal[FaultInjector::kKinds];
    std::string normalImport;
    {
      TempDir home;
      const DataFolderPaths paths = prepare(home);
      injector.Arm(FaultInjector::kOpen, 0, 0);
      if (!scenario.firstStart)
        testing::WriteFile(paths.dataFolder + "/Sample_VANTRELIX.CSV", sourceText);
      ASSERT_EQ(RunOnce(paths), "") << scenario.name;
      std::copy(std::begin(injector.calls), std::end(injector.calls), normal);
      // The sweep reaches every kind of call a run makes.
      using K = FaultInjector;
      if (scenario.firstStart) {
        EXPECT_EQ(normal[K::kMkdir], 1);
      } else if (scenario.tmpfileError == 0) {
        for (K::Kind k : {K::kOpen, K::kRead, K::kWrite, K::kClose, K::kFsync, K::kRename, K::kLink,
                          K::kStat, K::kChmod, K::kFlock}) {
          EXPECT_GE(normal[k], 1) << K::kNames[k];
        }
      } else if (scenario.tmpfileError == EACCES) {
        EXPECT_GE(normal[K::kTruncate], 1) << scenario.name;
      }
    }

    for (int kind = 0; kind < FaultInjector::kKinds; ++kind) {
      for (int err : {EIO, EACCES, ENOSPC}) {
        for (int nth = 1; nth <= normal[kind]; ++nth) {
          TempDir home;
          const DataFolderPaths paths = prepare(home);
          // The source is there before the run (in the first start, in the
          // folder's parent, as no data folder exists yet).
          const std::string source = scenario.firstStart
                                         ? home / "source.csv"
                                         : paths.dataFolder + "/Sample_VANTRELIX.CSV";
          testing::WriteFile(source, sourceText);
          const std::string settingsBefore =
              scenario.firstStart ? "" : ReadFile(paths.setupFileName);
          injector.Arm(static_cast<FaultInjector::Kind>(kind), nth, err);
          const std::string message = RunOnce(paths);
          ++injected;
          const std::string where = std::string(scenario.name) + ": " +
                                    FaultInjector::kNames[kind] + " #" + std::to_string(nth) +
                                    " errno " + std::to_string(err);

          if (!message.empty()) {
            // The message is the one the error table gives for the errno,
            // except where a later step reports what the failure caused.
            const bool followOn = kind == FaultInjector::kMkdir;  // shows when the file is written
            if (!followOn) {
              EXPECT_EQ(message, InOutErrorMessage(IoCodeFromErrno(err))) << where;
            }
            if (!scenario.firstStart) {
              EXPECT_EQ(ReadFile(paths.dataFolder + "/TOLV_D.TXT"), "previous import") << where;
            }
          }
          if (!scenario.firstStart) {
            EXPECT_EQ(ReadFile(paths.setupFileName), settingsBefore) << where;
          }
          // Nothing but the files of a run is left behind.
          if (testing::PathExists(paths.dataFolder)) {
            const std::string files = testing::ListFolder(paths.dataFolder);
            EXPECT_EQ(files.find(".VANTRELIX_SU.DAT."), std::string::npos)
                << where << ": " << files;
            EXPECT_EQ(files.find(".TOLV_D.TXT."), std::string::npos) << where << ": " << files;
          }
        }
      }
    }
  }
  ::testing::internal::GetCapturedStderr();
  std::cout << "failures injected: " << injected << "\n";
}

// A data folder as other users may have left it: every case checks the
// message, that the previous files are whole, and that nothing is left.
class SharedFolder : public ::testing::Test {
 protected:
  SharedFolder() {
    data = home / "TOLV_7_Data";
    ::mkdir(data.c_str(), 0777);
    record.SetSourceFileName(data + "/export.csv");
    record.SetPosition(FieldSlot::kName, 1);
    WriteFile(data + "/export.csv", "Ann\n");
    WriteFile(data + "/TOLV_D.TXT", "previous");
  }
  // The pass's message, or "" when it completed, as the user `uid` in the
  // group 4300 with umask 002. A pass that does not end within 20 s (a link
  // loop followed for ever) gives "timed out".
  std::string RunAs(uid_t uid, const std::function<std::string()>& body = {}, gid_t alsoIn = 4300) {
    const std::string result = RunInChild(
        [&] { return (body ? body() : Run()) + "#"; },
        [uid, alsoIn] {
          ::alarm(20);
          const gid_t groups[] = {4300, alsoIn};
          const bool ok = ::setgroups(2, groups) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0;
          ::umask(002);
          return ok ? std::string() : std::string("could not become ") + std::to_string(uid) + "#";
        });
    if (result.empty() || result.back() != '#') return "timed out";
    return result.substr(0, result.size() - 1);
  }
  // The pass's message, or "" when it completed.
  std::string Run() {
    try {
      testing::SilentHost host;
      ConversionRun(record, RegionalSettings{}, 2026, data, host);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  TempDir home;
  std::string data;
  SetupRecord record;
  static constexpr char kNew[] = "\"Ann\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
};

TEST_F(SharedFolder, LinksAreFollowedOnlyWhenTheirOwnerIsTrusted) {
  if (::geteuid() != 0) VANTRELIX_SKIP("needs root to act as other users");
  // The administrator's folder; user 4301 runs, other members plant.
  ::chmod(home.Path().c_str(), 0755);
  ::chmod(data.c_str(), 0777);
  ::chmod((data + "/export.csv").c_str(), 0644);
  const std::string victim = home / "victim";
  const std::string import = data + "/TOLV_D.TXT";
  struct Case {
    const char* name;
    std::string linkTo;
    uid_t owner;
    const char* message;
    bool replaced;  // the link itself gave way to the new import
  };
  for (const Case& c :
       {Case{"own link to a regular file", victim, 4301, "", false},
        Case{"root's link", victim, 0, "", false},
        Case{"link of another member: replaced", victim, 4303, "", true},
        Case{"own link to a device", "/dev/null", 4301, "Not a file on a disk: a device", false},
        // Not a new file where it points, though the runner may make one there.
        Case{"own dangling link", data + "/gone", 4301, "File access denied", false},
        Case{"own link to itself", import, 4301, "File access denied", false}}) {
    WriteFile(victim, "victim's file");
    ::chown(victim.c_str(), 4301, 4301);
    ::unlink(import.c_str());
    ASSERT_EQ(::symlink(c.linkTo.c_str(), import.c_str()), 0);
    ASSERT_EQ(::lchown(import.c_str(), c.owner, c.owner), 0);
    EXPECT_EQ(RunAs(4301), c.message) << c.name;
    const bool followed = !c.replaced && !*c.message;
    EXPECT_EQ(ReadFile(victim), followed ? kNew : "victim's file") << c.name;
    struct stat st {};
    EXPECT_EQ(::lstat(import.c_str(), &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode), !c.replaced) << c.name;
    if (c.replaced) {
      EXPECT_EQ(ReadFile(import), kNew) << c.name;
    }
    EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv") << c.name;
  }
  // The data folder itself, as a member's link to another folder.
  ::unlink(import.c_str());
  const std::string elsewhere = home / "elsewhere", linked = home / "linked";
  ::mkdir(elsewhere.c_str(), 0777);
  ::chmod(elsewhere.c_str(), 0777);
  ASSERT_EQ(::symlink(elsewhere.c_str(), linked.c_str()), 0);
  const auto runIn = [&](const std::string& folder) {
    return RunAs(4301, [&] {
      try {
        testing::SilentHost host;
        ConversionRun(record, RegionalSettings{}, 2026, folder, host);
      } catch (const std::exception& e) {
        return std::string(e.what());
      }
      return std::string();
    });
  };
  for (const auto& [owner, message] : {std::pair{4302u, "File access denied"}, std::pair{0u, ""}}) {
    ASSERT_EQ(::lchown(linked.c_str(), owner, owner), 0);
    EXPECT_EQ(runIn(linked), message) << "a data folder linked by " << owner;
    EXPECT_EQ(testing::ListFolder(elsewhere), *message ? "" : "TOLV_D.TXT") << owner;
  }
  // A folder that a member made (its parent let them): whoever owns it may
  // swap any file in it, so nothing is written or read there.
  ::unlink((elsewhere + "/TOLV_D.TXT").c_str());
  ::chown(elsewhere.c_str(), 4302, 4302);
  const std::string said = runIn(elsewhere);
  EXPECT_NE(said.find("belongs to the user"), std::string::npos) << said;
  EXPECT_NE(said.find("chmod 2770"), std::string::npos) << said;
  EXPECT_EQ(testing::ListFolder(elsewhere), "");
  // The settings file is found the same way when it is stored.
  const std::string settings = data + "/VANTRELIX_SU.DAT";
  ASSERT_EQ(::symlink(victim.c_str(), settings.c_str()), 0);
  ASSERT_EQ(::lchown(settings.c_str(), 4242, 4242), 0);
  EXPECT_THROW(LoadSetup(record, settings), EInOutError);
  SaveSetup(record, settings);  // over the link, not through it
  EXPECT_EQ(ReadFile(victim), "victim's file");
}

// A name found as a file and swapped for a link before it is opened is
// refused as such a link is, not reported as a loop of links.
TEST(FolderEntry, ANameSwappedForALinkBeforeItIsOpenedIsRefused) {
  TempDir dir;
  WriteFile(dir / "export.csv", "x");
  WriteFile(dir / "other.csv", "y");
  const FolderEntry entry = FindInFolder(dir / "export.csv");
  ASSERT_TRUE(entry.exists);
  ASSERT_EQ(::unlink((dir / "export.csv").c_str()), 0);
  ASSERT_EQ(::symlink("other.csv", (dir / "export.csv").c_str()), 0);
  try {
    OpenEntry(entry, O_RDONLY);
    ADD_FAILURE() << "opened through the link";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
}

// Hard links that a member makes (as root does here, which no kernel
// setting stops) from the shared names to another user's own files.
TEST_F(SharedFolder, HardLinksToAnotherUsersFilesAreNeverUsed) {
  if (::geteuid() != 0) VANTRELIX_SKIP("needs root to act as other users");
  ::chmod(home.Path().c_str(), 0755);
  const std::string alice = home / "alice";
  ::mkdir(alice.c_str(), 0700);
  const std::string import = data + "/TOLV_D.TXT", bashrc = alice + "/.bashrc";
  // The import file linked to her .bashrc, in a folder that takes no new
  // files from her: the rewrite in place would go into it.
  WriteFile(bashrc, "alias ls='ls -F'\n");
  ::chown(bashrc.c_str(), 4301, 4301);
  ::unlink(import.c_str());
  ASSERT_EQ(::link(bashrc.c_str(), import.c_str()), 0);
  ::chmod(data.c_str(), 0555);
  ::testing::internal::CaptureStderr();
  const std::string said = RunAs(4301);
  ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("other names (hard links)"), std::string::npos) << said;
  EXPECT_EQ(ReadFile(bashrc), "alias ls='ls -F'\n");
  ::chmod(data.c_str(), 0777);
  // Her private settings, linked as the shared ones: they name her own
  // export, which her run would copy into the import that all may read.
  const std::string own = alice + "/VANTRELIX_SU.DAT", shared = data + "/VANTRELIX_SU.DAT";
  SaveSetup(record, own);
  ::chown(own.c_str(), 4301, 4301);
  ::chown(alice.c_str(), 4301, 4301);
  ASSERT_EQ(::link(own.c_str(), shared.c_str()), 0);
  const std::string loaded = RunAs(4301, [&] {
    try {
      SetupRecord r;
      LoadSetup(r, shared);
    } catch (const EFileProblem& e) {
      return e.Path() + ": " + e.what();
    }
    return std::string("loaded");
  });
  EXPECT_EQ(
      loaded.substr(0, shared.size() + 40),
      (shared + ": The settings file has other names (hard links)").substr(0, shared.size() + 40));
}

TEST_F(SharedFolder, PipesDevicesAndKernelFilesAreRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo((data + "/pipe").c_str(), 0666), 0);
  ASSERT_EQ(::mknod((data + "/socket").c_str(), S_IFSOCK | 0666, 0), 0);
  ASSERT_EQ(::symlink((data + "/loop").c_str(), (data + "/loop").c_str()), 0);
  // A process's memory, reached through /proc as a member's link would.
  const int memory = ::memfd_create("appointments", 0);
  ASSERT_GE(memory, 0);
  ASSERT_EQ(::write(memory, "Ann\n", 4), 4);
  struct Case {
    std::string source;
    const char* message;
  };
  for (const Case& c : {
           Case{data + "/pipe",
                "Not a file on a disk: a pipe (FIFO), which would wait for a writer"},
           Case{data + "/socket", "Not a file on a disk: a socket"},
           Case{data + "/loop", "I/O error 1921: too many links in a row, or a loop of links"},
           Case{"/proc/self/fd/" + std::to_string(memory),
                "Not a file on a disk: it has no name in the file system (a deleted file, or a "
                "process's memory)"},
           Case{"/dev/zero", "Not a file on a disk: a device"},
           // 0444, so it looks readable by all, yet each reader gets its own.
           Case{"/proc/self/status",
                "Not a file on a disk: a file the kernel makes up as it is read (/proc, /sys)"},
           Case{"/sys/kernel/mm/transparent_hugepage/enabled",
                "Not a file on a disk: a file the kernel makes up as it is read (/proc, /sys)"},
       }) {
    if (!testing::PathExists(c.source)) continue;
    record.SetSourceFileName(c.source);
    EXPECT_EQ(Run(), c.message) << c.source;
    EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), "previous") << c.source;
  }
  ::close(memory);
  ASSERT_EQ(::mkfifo((data + "/VANTRELIX_SU.DAT").c_str(), 0666), 0);
  EXPECT_THROW(LoadSetup(record, data + "/VANTRELIX_SU.DAT"), EFileProblem) << "a pipe as settings";
}

// How the new file is written: unnamed (0), named where the file system has
// no unnamed files (EOPNOTSUPP), in place where the folder takes no new file
// (EACCES). Installs the open that says so.
void UseWriteMode(int tmpfileError) {
  static int error;
  error = tmpfileError;
  Sys().openat = [](int d, const char* p, int f, mode_t m) {
    if ((f & O_TMPFILE) == O_TMPFILE && error != 0) {
      errno = error;
      return -1;
    }
    return RealSystemCalls().openat(d, p, f, m);
  };
}

struct WriteMode {
  const char* name;
  int tmpfileError;
};
constexpr WriteMode kWriteModes[] = {{"unnamed", 0}, {"named", EOPNOTSUPP}, {"in place", EACCES}};

// What a member leaves under the import's name cannot stop the others'
// runs: the new import takes its place; only a folder is refused.
TEST_F(SharedFolder, PlantedNamesGiveWayToTheNewImport) {
  const std::string import = data + "/TOLV_D.TXT";
  for (const WriteMode& mode : {kWriteModes[0], kWriteModes[1]}) {
    for (const char* what : {"pipe", "socket", "folder"}) {
      ::unlink(import.c_str());
      ::rmdir(import.c_str());
      const std::string kind = what;
      const int made = kind == "pipe"     ? ::mkfifo(import.c_str(), 0666)
                       : kind == "folder" ? ::mkdir(import.c_str(), 0777)
                                          : ::mknod(import.c_str(), S_IFSOCK | 0666, 0);
      ASSERT_EQ(made, 0) << what;
      UseWriteMode(mode.tmpfileError);
      const std::string result = Run();
      Sys() = RealSystemCalls();
      const bool folder = what == std::string("folder");
      EXPECT_EQ(result, folder ? "I/O error 267: a folder, not a file" : "") << what;
      struct stat st {};
      ::lstat(import.c_str(), &st);
      EXPECT_EQ(S_ISDIR(st.st_mode), folder) << what;
      if (!folder) {
        EXPECT_EQ(ReadFile(import), kNew) << what << ", " << mode.name;
      }
      EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv") << what;
    }
  }
  ::rmdir(import.c_str());
}

TEST_F(SharedFolder, StaleTemporaryFilesOfKilledRunsAreRemovedInEveryMode) {
  for (const WriteMode& mode : kWriteModes) {
    WriteFile(data + "/.TOLV_D.TXT.Stale1", "left by a killed run");
    WriteFile(data + "/.TOLV_D.TXT.Held01", "another run is writing this");
    const int held = ::open((data + "/.TOLV_D.TXT.Held01").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    UseWriteMode(mode.tmpfileError);
    ::testing::internal::CaptureStderr();
    const std::string result = RunInChild([&] { return Run(); });  // flock is per process
    ::testing::internal::GetCapturedStderr();
    Sys() = RealSystemCalls();
    ::close(held);
    EXPECT_EQ(result, "") << mode.name;
    EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), kNew) << mode.name;
    EXPECT_EQ(testing::ListFolder(data), ".TOLV_D.TXT.Held01 TOLV_D.TXT export.csv") << mode.name;
    ::unlink((data + "/.TOLV_D.TXT.Held01").c_str());
  }
}

// The new file carries its name for a moment before the rename; another
// run's cleanup meanwhile must take it for held, not stale.
TEST_F(SharedFolder, TemporaryFileIsHeldUntilItsRename) {
  for (const WriteMode& mode : {kWriteModes[0], kWriteModes[1]}) {
    static std::string target;
    target = data + "/TOLV_D.TXT";
    UseWriteMode(mode.tmpfileError);
    Sys().renameat = [](int a, const char* b, int c, const char* d) {
      RunInChild([] {
        ReplacingFile other(target);  // cleans up, and goes without a commit
        return std::string();
      });
      return RealSystemCalls().renameat(a, b, c, d);
    };
    const std::string result = Run();
    Sys() = RealSystemCalls();
    EXPECT_EQ(result, "") << mode.name;
    EXPECT_EQ(ReadFile(target), kNew) << mode.name;
    EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv") << mode.name;
  }
}

TEST_F(SharedFolder, ModeAndGroupOfTheReplacedFile) {
  const std::string import = data + "/TOLV_D.TXT";
  struct Case {
    mode_t before, after;
  };
  for (const Case c : {Case{0660, 0660}, Case{06777, 0666}, Case{0640, 0640}}) {
    WriteFile(import, "previous");
    ::chmod(import.c_str(), c.before);
    ASSERT_EQ(::chown(import.c_str(), 4242, 4343), 0);
    EXPECT_EQ(Run(), "");
    struct stat st {};
    ::stat(import.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, c.after) << std::oct << c.before;
    EXPECT_EQ(st.st_uid, 4242u) << "root keeps the owner";
    EXPECT_EQ(st.st_gid, 4343u) << "and the group";
  }
}

// Two clinic users in one group, each running as themselves.
TEST_F(SharedFolder, GroupFolderOfTwoUsers) {
  if (::geteuid() != 0) VANTRELIX_SKIP("needs root to act as two users");
  const gid_t clinic = 4300;
  ::chown(data.c_str(), 0, clinic);
  ::chmod(data.c_str(), 0770);  // no setgid bit: the group must be kept by us
  ::chmod(home.Path().c_str(), 0755);
  const std::string import = data + "/TOLV_D.TXT";
  ::chown(import.c_str(), 4301, clinic);
  ::chmod(import.c_str(), 0660);
  ::chmod((data + "/export.csv").c_str(), 0644);
  const auto as = [&](uid_t uid) { return RunAs(uid); };
  EXPECT_EQ(as(4302), "") << "user B replaces user A's import";
  struct stat st {};
  ::stat(import.c_str(), &st);
  EXPECT_EQ(st.st_gid, clinic);
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  EXPECT_EQ(as(4301), "") << "and user A may still replace it";
  EXPECT_EQ(ReadFile(import), kNew);

  // A folder that takes no new file: the file is rewritten in place.
  ::chmod(data.c_str(), 0550);
  ::chmod(import.c_str(), 0666);
  WriteFile(import, "previous");
  EXPECT_EQ(as(4302), "");
  EXPECT_EQ(ReadFile(import), kNew);
  // A folder that may be written but not read.
  ::chmod(data.c_str(), 0730);
  WriteFile(import, "previous");
  EXPECT_EQ(as(4302), "");
  EXPECT_EQ(ReadFile(import), kNew);
  ::chmod(data.c_str(), 0777);
  EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv");
}

// The settings name the source, and whoever may write them chooses it: a
// run reads only what each of them may read, and root only what root chose.
TEST_F(SharedFolder, SourceIsReadOnlyForThoseWhoMayHaveChosenIt) {
  if (::geteuid() != 0) VANTRELIX_SKIP("needs root to act as other users");
  ::chmod(home.Path().c_str(), 0755);
  ::chmod(data.c_str(), 0777);
  const std::string open = home / "open", closed = home / "closed";
  for (const auto& [folder, mode] : {std::pair{open, 0755}, std::pair{closed, 0700}}) {
    ::mkdir(folder.c_str(), mode);
    ::chown(folder.c_str(), 4301, 4301);
  }
  const std::string settings = data + "/VANTRELIX_SU.DAT";
  // Real accounts of every Debian system: daemon, in its group 1, and the
  // group audio, which has no members (the runner joins it for this run).
  const uid_t daemonUser = 1;
  const gid_t audio = 29;
  struct Case {
    const char* name;
    uid_t settingsOwner;
    gid_t settingsGroup;
    mode_t settingsMode;
    std::string source;
    uid_t sourceOwner;
    gid_t sourceGroup;
    mode_t sourceMode;
    uid_t runAs;
    bool sourceRefused;
    bool settingsRefused;
    // The source's access ACL, {tag, permission bits, id} each: 1 owner,
    // 2 a named user, 4 the owning group, 8 a named group, 16 the mask,
    // 32 the others.
    std::vector<std::array<uint32_t, 3>> acl = {};
  };
  for (const Case& c : {
           Case{"another user's settings, a file only the runner may read", 4302, audio, 0664,
                open + "/secret", 4301, 4301, 0600, 4301, true, false},
           Case{"another user's settings, a folder only the runner may search", 4302, audio, 0664,
                closed + "/list", 4301, 4301, 0644, 4301, true, false},
           Case{"another user's settings, a file everyone may read", 4302, audio, 0664,
                open + "/list", 4301, 4301, 0644, 4301, false, false},
           Case{"another user's settings, a file their group may read", daemonUser, audio, 0664,
                open + "/list", 4301, 1, 0640, 4301, false, false},
           Case{"another user's settings, a file their group may not read", daemonUser, audio, 0664,
                open + "/list", 4301, 4300, 0640, 4301, true, false},
           Case{"own settings the group may write", 4301, 4300, 0664, open + "/secret", 4301, 4301,
                0600, 4301, true, false},
           Case{"own settings nobody else may write", 4301, 4301, 0644, open + "/secret", 4301,
                4301, 0600, 4301, false, false},
           Case{"root, another user's settings", 4302, 4302, 0644, open + "/list", 4301, 4301, 0644,
                0, false, true},
           Case{"root, own settings the group may write", 0, 4300, 0660, open + "/secret", 0, 0,
                0600, 0, true, false},
           Case{"root, own settings", 0, 0, 0644, open + "/secret", 0, 0, 0600, 0, false, false},
           // Settings anyone may write: anyone, the file's group among them,
           // must be able to read the source.
           Case{"settings anyone may write, a file only its group may read", 4301, 4301, 0666,
                open + "/list", 4301, 4300, 0640, 4301, true, false},
           Case{"settings anyone may write, a file all but its group may read", 4301, 4301, 0666,
                open + "/list", 4301, 4300, 0604, 4301, true, false},
           Case{"settings anyone may write, a file everyone may read", 4301, 4301, 0666,
                open + "/list", 4301, 4300, 0644, 4301, false, false},
           // 0640 to the eye, the group bits being the ACL's mask; the group
           // itself may read nothing.
           Case{"a group-writable settings file, an ACL that shuts its group out",
                4301,
                4300,
                0664,
                open + "/list",
                4301,
                4300,
                0640,
                4301,
                true,
                false,
                {{1, 6, 0}, {2, 4, 4302}, {4, 0, 0}, {16, 4, 0}, {32, 0, 0}}},
           // 0640 to the eye, group 4301; a named group entry lets 4300 read.
           Case{"a group-writable settings file, an ACL that lets its group read",
                4301,
                4300,
                0664,
                open + "/list",
                4301,
                4301,
                0640,
                4301,
                false,
                false,
                {{1, 6, 0}, {4, 0, 0}, {8, 4, 4300}, {16, 4, 0}, {32, 0, 0}}},
           // The named group's read is cut by the mask; the others' is not.
           Case{"a group-writable settings file, an ACL whose mask cuts the group's read",
                4301,
                4300,
                0664,
                open + "/list",
                4301,
                4301,
                0604,
                4301,
                true,
                false,
                {{1, 6, 0}, {4, 0, 0}, {8, 4, 4300}, {16, 0, 0}, {32, 4, 0}}},
       }) {
    WriteFile(c.source, "Ann\n");
    ::chown(c.source.c_str(), c.sourceOwner, c.sourceGroup);
    ::chmod(c.source.c_str(), c.sourceMode);
    if (!c.acl.empty()) {
      std::string bytes = {2, 0, 0, 0};
      for (const auto& [tag, perm, id] : c.acl) {
        for (const uint32_t v : {tag, perm}) bytes += {char(v & 0xFF), char(v >> 8)};
        for (int shift = 0; shift < 32; shift += 8) bytes += char(id >> shift & 0xFF);
      }
      ASSERT_EQ(
          ::setxattr(c.source.c_str(), "system.posix_acl_access", bytes.data(), bytes.size(), 0), 0)
          << c.name << ": " << std::strerror(errno);
    }
    record.SetSourceFileName(c.source);
    SaveSetup(record, settings);
    ::chown(settings.c_str(), c.settingsOwner, c.settingsGroup);
    ::chmod(settings.c_str(), c.settingsMode);
    WriteFile(data + "/TOLV_D.TXT", "previous");
    ::chmod((data + "/TOLV_D.TXT").c_str(), 0666);
    const std::string result = RunAs(
        c.runAs,
        [&]() -> std::string {
          try {
            SetupRecord loaded;
            LoadSetup(loaded, settings);
            testing::SilentHost host;
            ConversionRun(loaded, RegionalSettings{}, 2026, data, host);
          } catch (const EFileProblem& e) {
            // The fixed text; what follows it names whom the run would read for.
            const std::string what = e.what();
            return what.substr(0, what.find(':')) + " | " + e.Path();
          }
          return "";
        },
        audio);
    const std::string expected = c.sourceRefused     ? "File access denied | " + c.source
                                 : c.settingsRefused ? "File access denied | " + settings
                                                     : "";
    EXPECT_EQ(result, expected) << c.name;
    EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), expected.empty() ? kNew : "previous") << c.name;
    ::unlink(c.source.c_str());
  }
}

// Settings that their group may write are the word of its members: those
// the group file lists and those whose own group it is, as the machine's
// account files say, the running user aside.
TEST(WhoMayRead, TheMembersOfAGroupAreThoseListedAndThoseWhoseOwnGroupItIs) {
  if (::geteuid() != 0) VANTRELIX_SKIP("needs root to act as other users");
  // A name service cache would answer from the machine's own accounts.
  if (testing::PathExists("/var/run/nscd/socket")) VANTRELIX_SKIP("nscd answers account lookups");
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  const std::string source = dir / "list";
  WriteFile(source, "Ann\n");
  ::chown(source.c_str(), 4301, 4301);
  ::chmod(source.c_str(), 0600);  // the runner's alone
  const std::string users = "ann:x:4301:4301::/:/bin/sh\nbob:x:4302:4302::/:/bin/sh\n";
  struct Case {
    const char* name;
    std::string passwd, group;
    bool refused;
  };
  for (const Case& c : {
           Case{"a group that lists another user", users, "clinic:x:4300:ann,bob\n", true},
           Case{"a group that lists the runner alone", users, "clinic:x:4300:ann\n", false},
           Case{"a group that lists no one, another user's own",
                users + "carl:x:4303:4300::/:/bin/sh\n", "clinic:x:4300:\n", true},
           Case{"a group that lists a name with no account", users, "clinic:x:4300:ghost\n", true},
           Case{"a group with no entry", users, "other:x:4399:\n", true},
       }) {
    WriteFile(dir / "passwd", c.passwd);
    WriteFile(dir / "group", c.group);
    const std::string result = RunInChild(
        [&]() -> std::string {
          const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
          try {
            RequireReadableByWriters(FileWriters{true, 4301, 4300, true, false}, fd, source);
          } catch (const EFileProblem&) {
            return "refused";
          }
          return "read";
        },
        [&] {
          const bool ok =
              ::unshare(CLONE_NEWNS) == 0 &&
              ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
              ::mount((dir / "passwd").c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) == 0 &&
              ::mount((dir / "group").c_str(), "/etc/group", nullptr, MS_BIND, nullptr) == 0 &&
              ::setgroups(0, nullptr) == 0 && ::setgid(4301) == 0 && ::setuid(4301) == 0;
          return ok ? std::string()
                    : std::string("no account files of its own: ") + std::strerror(errno);
        });
    if (result.rfind("no account files", 0) == 0) VANTRELIX_SKIP(result);
    EXPECT_EQ(result, c.refused ? "refused" : "read") << c.name;
  }
}

// The practice system writing a new export while the pass reads it: each
// row changes one thing only.
TEST_F(SharedFolder, SourceChangedWhileItIsReadKeepsThePreviousImport) {
  enum Change { kCut, kSizeOnly, kSubSecondMtime, kReplacedByRename };
  static std::string path;
  static Change change;
  static struct stat before;
  path = data + "/export.csv";
  for (const auto& [name, c] : {std::pair{"cut", kCut}, std::pair{"size only", kSizeOnly},
                                std::pair{"sub-second mtime", kSubSecondMtime},
                                std::pair{"replaced by rename", kReplacedByRename}}) {
    std::string big;
    for (int i = 0; i < 100000; ++i) big += "Ann,555,7/4/2026,9:30 am\n";  // > 1 MiB
    WriteFile(path, big);
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    change = c;
    Sys().read = [](int fd, void* b, size_t n) -> ssize_t {
      const ssize_t got = RealSystemCalls().read(fd, b, n);
      if (change == kCut) {
        ::truncate(path.c_str(), 1000);
        return got;
      }
      const std::string copy = path + ".new";
      if (change == kReplacedByRename) {
        WriteFile(copy, ReadFile(path));
      } else if (change == kSizeOnly) {
        ::truncate(path.c_str(), before.st_size + 1);
      }
      // Times as they were, or a nanosecond later.
      timespec times[2] = {before.st_atim, before.st_mtim};
      if (change == kSubSecondMtime) times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
      const std::string& touched = change == kReplacedByRename ? copy : path;
      ::utimensat(AT_FDCWD, touched.c_str(), times, 0);
      if (change == kReplacedByRename) ::rename(copy.c_str(), path.c_str());
      Sys().read = RealSystemCalls().read;  // once
      return got;
    };
    const std::string result = Run();
    Sys() = RealSystemCalls();
    EXPECT_EQ(result, "The source file changed while it was read") << name;
    EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), "previous") << name;
    EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv") << name;
  }
}

// Where the folder takes no new file the import is written over: a reader
// never finds it shorter than before, the old tail is cut only at the end,
// the file is synced, a failure puts the old contents back, and the run says
// that the replacement is not atomic.
TEST_F(SharedFolder, InPlaceRewrite) {
  static std::string events;
  static ino_t target;
  static off_t oldSize;
  static const char* failing;
  static const auto isTarget = [](int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_ino == target;
  };
  struct Case {
    const char* name;
    std::string old;
    const char* fail;  // the call on the target that fails once, or ""
    const char* message;
    const char* events;
  };
  const std::string longOld(200, 'o');
  for (const Case& c :
       {Case{"longer old file", longOld, "", "", "write truncate sync "},
        Case{"shorter old file", "p", "", "", "write truncate sync "},
        Case{"write fails", longOld, "write", "I/O error 31", "write! write truncate sync "},
        Case{"sync fails", longOld, "fsync", "I/O error 31",
             "write truncate sync! write truncate sync "}}) {
    const std::string import = data + "/TOLV_D.TXT";
    WriteFile(import, c.old);
    struct stat st {};
    ::stat(import.c_str(), &st);
    target = st.st_ino;
    oldSize = st.st_size;
    failing = c.fail;
    events.clear();
    UseWriteMode(EACCES);
    Sys().write = [](int fd, const void* b, size_t n) -> ssize_t {
      if (!isTarget(fd)) return RealSystemCalls().write(fd, b, n);
      struct stat now {};
      ::fstat(fd, &now);
      if (events.empty() && now.st_size < oldSize) events += "shorter than before! ";
      if (std::string_view(failing) == "write") {
        failing = "";
        events += "write! ";
        errno = EIO;
        return -1;
      }
      events += "write ";
      return RealSystemCalls().write(fd, b, n);
    };
    Sys().ftruncate = [](int fd, off_t n) {
      if (isTarget(fd)) events += "truncate ";
      return RealSystemCalls().ftruncate(fd, n);
    };
    Sys().fsync = [](int fd) {
      if (!isTarget(fd)) return RealSystemCalls().fsync(fd);
      if (std::string_view(failing) == "fsync") {
        failing = "";
        events += "sync! ";
        errno = EIO;
        return -1;
      }
      events += "sync ";
      return RealSystemCalls().fsync(fd);
    };
    ::testing::internal::CaptureStderr();
    const std::string result = Run();
    const std::string said = ::testing::internal::GetCapturedStderr();
    Sys() = RealSystemCalls();
    EXPECT_EQ(result, c.message) << c.name;
    EXPECT_EQ(events, c.events) << c.name;
    EXPECT_EQ(ReadFile(import), *c.message ? c.old : kNew) << c.name;
    EXPECT_NE(said.find(import + ": the folder takes no new files"), std::string::npos)
        << c.name << ": " << said;
    EXPECT_NE(said.find("not atomic"), std::string::npos) << c.name;
  }
}

// Interrupted and partial calls are retried; a failure after the first
// block was written keeps the previous file.
TEST_F(SharedFolder, InterruptedShortAndLateFailures) {
  std::string big;
  for (int i = 0; i < 100000; ++i) big += "Ann,555\n";
  WriteFile(data + "/export.csv", big);
  static int calls;
  calls = 0;
  Sys().read = [](int fd, void* b, size_t n) -> ssize_t {
    if (++calls % 2 == 1) {
      errno = EINTR;
      return -1;
    }
    return RealSystemCalls().read(fd, b, std::min<size_t>(n, 4096));
  };
  Sys().write = [](int fd, const void* b, size_t n) -> ssize_t {
    if (++calls % 3 == 0) {
      errno = EINTR;
      return -1;
    }
    return RealSystemCalls().write(fd, b, std::min<size_t>(n, 1000));
  };
  EXPECT_EQ(Run(), "");
  std::string expected;
  for (int i = 0; i < 100000; ++i) expected += kNew;
  EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), expected);

  WriteFile(data + "/TOLV_D.TXT", "previous");
  calls = 0;
  Sys().read = RealSystemCalls().read;
  Sys().write = [](int fd, const void* b, size_t n) -> ssize_t {
    if (++calls == 2) {  // the second 1 MiB block
      errno = EDQUOT;
      return -1;
    }
    return RealSystemCalls().write(fd, b, n);
  };
  EXPECT_EQ(Run(), "Disk full");
  Sys() = RealSystemCalls();
  EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), "previous");
  EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv");
}

// Every call a signal interrupts is made again, in every write mode, also
// the reads of the settings and the reader's blocks.
TEST_F(SharedFolder, EveryInterruptedCallIsRetried) {
  enum Kind { kOpen, kRead, kWrite, kFsync, kFlock, kTruncate, kChmod, kLink, kRename, kStat };
  static Kind kind;
  static int calls[10];
  static bool interrupt;  // every other call of the kind
  static const auto interrupted = [](Kind k) {
    ++calls[k];
    if (k != kind || !(interrupt = !interrupt)) return false;
    errno = EINTR;
    return true;
  };
  const std::string settings = data + "/VANTRELIX_SU.DAT";
  for (const WriteMode& mode : kWriteModes) {
    for (const auto& [name, k] :
         {std::pair{"open", kOpen}, std::pair{"read", kRead}, std::pair{"write", kWrite},
          std::pair{"fsync", kFsync}, std::pair{"flock", kFlock}, std::pair{"ftruncate", kTruncate},
          std::pair{"fchmod", kChmod}, std::pair{"linkat", kLink}, std::pair{"renameat", kRename},
          std::pair{"fstat", kStat}}) {
      WriteFile(data + "/TOLV_D.TXT", "previous");
      SaveSetup(record, settings);
      kind = k;
      interrupt = false;
      for (int& c : calls) c = 0;
      UseWriteMode(mode.tmpfileError);
      static auto modeOpen = Sys().openat;
      modeOpen = Sys().openat;
      Sys().openat = [](int d, const char* p, int f, mode_t m) {
        return interrupted(kOpen) ? -1 : modeOpen(d, p, f, m);
      };
      Sys().read = [](int fd, void* b, size_t n) -> ssize_t {
        return interrupted(kRead) ? -1 : RealSystemCalls().read(fd, b, n);
      };
      Sys().write = [](int fd, const void* b, size_t n) -> ssize_t {
        return interrupted(kWrite) ? -1 : RealSystemCalls().write(fd, b, n);
      };
      Sys().fsync = [](int fd) { return interrupted(kFsync) ? -1 : RealSystemCalls().fsync(fd); };
      Sys().flock = [](int fd, int op) {
        return interrupted(kFlock) ? -1 : RealSystemCalls().flock(fd, op);
      };
      Sys().ftruncate = [](int fd, off_t n) {
        return interrupted(kTruncate) ? -1 : RealSystemCalls().ftruncate(fd, n);
      };
      Sys().fchmod = [](int fd, mode_t m) {
        return interrupted(kChmod) ? -1 : RealSystemCalls().fchmod(fd, m);
      };
      Sys().linkat = [](int a, const char* b, int c, const char* d, int f) {
        return interrupted(kLink) ? -1 : RealSystemCalls().linkat(a, b, c, d, f);
      };
      Sys().renameat = [](int a, const char* b, int c, const char* d) {
        return interrupted(kRename) ? -1 : RealSystemCalls().renameat(a, b, c, d);
      };
      Sys().fstat = [](int fd, struct stat* st) {
        return interrupted(kStat) ? -1 : RealSystemCalls().fstat(fd, st);
      };
      ::testing::internal::CaptureStderr();
      const std::string result = [&]() -> std::string {
        try {
          SaveSetup(record, settings);
          SetupRecord loaded;
          LoadSetup(loaded, settings);
          testing::SilentHost host;
          ConversionRun(loaded, RegionalSettings{}, 2026, data, host);
        } catch (const std::exception& e) {
          return e.what();
        }
        return "";
      }();
      ::testing::internal::GetCapturedStderr();
      Sys() = RealSystemCalls();
      const std::string where = std::string(mode.name) + ", " + name;
      EXPECT_EQ(result, "") << where;
      EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), kNew) << where;
      // Each kind the mode uses was met.
      const bool newFile = mode.tmpfileError != EACCES;
      const bool used = k == kTruncate                               ? !newFile
                        : k == kLink                                 ? mode.tmpfileError == 0
                        : k == kFlock || k == kChmod || k == kRename ? newFile
                                                                     : true;
      if (used) {
        EXPECT_GE(calls[k], 2) << where;
      }
    }
  }
  EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT VANTRELIX_SU.DAT export.csv");
}

// SIGKILL before each system call of a pass in turn, in each write mode:
// the import is the old one or the new one, and the next run leaves nothing
// else behind. (Where the folder takes no new files the new import is the
// longer one: rewritten in place, a shorter one killed before its cut would
// still end in the old one's tail, which the program says on every such run.)
TEST_F(SharedFolder, AKillAtAnySystemCallKeepsTheOldOrTheNewImport) {
  static int target, calls;
  static const auto killHere = [] {
    if (++calls == target) ::raise(SIGKILL);
  };
  const auto installKiller = [](int tmpfileError) {
    UseWriteMode(tmpfileError);
    static auto modeOpen = Sys().openat;
    modeOpen = Sys().openat;
    SystemCalls& s = Sys();
    s.openat = [](int d, const char* p, int f, mode_t m) {
      return killHere(), modeOpen(d, p, f, m);
    };
    s.read = [](int fd, void* b, size_t n) { return killHere(), RealSystemCalls().read(fd, b, n); };
    s.write = [](int fd, const void* b, size_t n) {
      return killHere(), RealSystemCalls().write(fd, b, n);
    };
    s.close = [](int fd) { return killHere(), RealSystemCalls().close(fd); };
    s.fsync = [](int fd) { return killHere(), RealSystemCalls().fsync(fd); };
    s.renameat = [](int a, const char* b, int c, const char* d) {
      return killHere(), RealSystemCalls().renameat(a, b, c, d);
    };
    s.linkat = [](int a, const char* b, int c, const char* d, int f) {
      return killHere(), RealSystemCalls().linkat(a, b, c, d, f);
    };
    s.unlinkat = [](int d, const char* p, int f) {
      return killHere(), RealSystemCalls().unlinkat(d, p, f);
    };
    s.fstat = [](int fd, struct stat* st) { return killHere(), RealSystemCalls().fstat(fd, st); };
    s.fchmod = [](int fd, mode_t m) { return killHere(), RealSystemCalls().fchmod(fd, m); };
    s.fchown = [](int fd, uid_t u, gid_t g) {
      return killHere(), RealSystemCalls().fchown(fd, u, g);
    };
    s.flock = [](int fd, int op) { return killHere(), RealSystemCalls().flock(fd, op); };
    s.ftruncate = [](int fd, off_t n) { return killHere(), RealSystemCalls().ftruncate(fd, n); };
  };
  const std::string import = data + "/TOLV_D.TXT";
  int kills = 0;
  std::string tally;  // o: the old import left, n: the new one
  for (const WriteMode& mode : kWriteModes) {
    tally += std::string(tally.empty() ? "" : " ") + mode.name + ": ";
    // The calls of a whole pass, counted without a kill.
    target = 0;
    calls = 0;
    WriteFile(import, "previous");
    ::testing::internal::CaptureStderr();
    const std::string counted = RunInChild([&] {
      installKiller(mode.tmpfileError);
      const std::string said = Run();
      return said + "#" + std::to_string(calls);
    });
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(counted.substr(0, 1), "#") << mode.name << ": " << counted;
    const int total = std::stoi(counted.substr(1));
    ASSERT_GT(total, 5) << mode.name;
    for (target = 1; target <= total; ++target) {
      WriteFile(import, "previous");
      calls = 0;
      ::testing::internal::CaptureStderr();
      const std::string result = RunInChild([&] {
        installKiller(mode.tmpfileError);
        return Run() + "#";
      });
      ::testing::internal::GetCapturedStderr();
      ++kills;
      const std::string where = std::string(mode.name) + ", killed before call " +
                                std::to_string(target) + " of " + std::to_string(total);
      EXPECT_EQ(result, "") << where << ": the run was not killed";
      const std::string left = ReadFile(import);
      EXPECT_TRUE(left == "previous" || left == kNew) << where << ": " << left;
      tally += left == kNew ? "n" : "o";
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(RunInChild([&] { return Run(); }), "") << where << ": the next run";
      ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(ReadFile(import), kNew) << where;
      EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv") << where;
    }
  }
  std::cout << "kills: " << kills << " (" << tally << ")\n";
}

// Where /proc is missing (a bare chroot) the unnamed file is linked by its
// descriptor, which root may do.
TEST_F(SharedFolder, UnnamedFileIsLinkedWithoutProc) {
  if (::geteuid() != 0) VANTRELIX_SKIP("linking a descriptor needs root");
  static std::string events;
  events.clear();
  Sys().linkat = [](int a, const char* from, int c, const char* d, int f) {
    if (std::string_view(from).substr(0, 6) == "/proc/") {
      events += "proc ";
      errno = ENOENT;
      return -1;
    }
    events += (f & AT_EMPTY_PATH) != 0 ? "descriptor " : "other ";
    return RealSystemCalls().linkat(a, from, c, d, f);
  };
  const std::string result = Run();
  Sys() = RealSystemCalls();
  EXPECT_EQ(result, "");
  EXPECT_EQ(events, "proc descriptor ");
  EXPECT_EQ(ReadFile(data + "/TOLV_D.TXT"), kNew);
  EXPECT_EQ(testing::ListFolder(data), "TOLV_D.TXT export.csv");
}

// The new file and its folder are on disk before the rename puts the file in
// place; otherwise a power cut could leave an empty or missing import file.
TEST_F(SharedFolder, FileAndFolderAreSyncedBeforeTheRename) {
  static std::string events;
  events.clear();
  Sys().fsync = [](int fd) {
    struct stat st {};
    ::fstat(fd, &st);
    events += S_ISDIR(st.st_mode) ? "sync-folder " : "sync-file ";
    return RealSystemCalls().fsync(fd);
  };
  Sys().renameat = [](int a, const char* b, int c, const char* d) {
    events += "rename ";
    return RealSystemCalls().renameat(a, b, c, d);
  };
  const std::string result = Run();
  Sys() = RealSystemCalls();
  EXPECT_EQ(result, "");
  EXPECT_EQ(events, "sync-file sync-folder rename sync-folder ");
}

}  // namespace
}  // namespace vantrelix
