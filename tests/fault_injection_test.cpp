#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <iostream>

#include "conversion_run.h"
#include "inouterror.h"
#include "setup_file.h"
#include "silent_host.h"
#include "system_calls.h"
#include "test_support.h"

namespace vantrelix {
namespace {

using testing::ReadFile;
using testing::TempDir;

// Fails the N-th call of one kind with a chosen errno; counts every call.
class FaultInjector {
 public:
  enum Kind {
    kOpen, kRead, kWrite, kClose, kFsync, kRename, kLink, kUnlink, kMkdir, kStat, kChmod, kChown,
    kKinds
  };
  static constexpr const char* kNames[kKinds] = {"open",  "read",   "write", "close",
                                                 "fsync", "rename", "link",  "unlink",
                                                 "mkdir", "fstat",  "fchmod", "fchown"};

  FaultInjector() {
    active_ = this;
    SystemCalls& s = Sys();
    s.openat = [](int d, const char* p, int f, mode_t m) {
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
  }
  ~FaultInjector() {
    Sys() = RealSystemCalls();
    active_ = nullptr;
  }

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
  bool firstStart;  // no data folder yet: the defaults are written
};

TEST(FaultInjection, EveryCallOfARealRunFailsCleanly) {
  const std::string sourceText =
      "Date,Time,Patient,Doctor,Phone\r\n7/4/2026,9:30 am,\"Roe, Jane\",Dr. Lee,555\r\n";
  int injected = 0;
  for (const Scenario& scenario : {Scenario{"later start", false}, Scenario{"first start", true}}) {
    // A clean run first, counting the calls of each kind.
    FaultInjector injector;
    const auto prepare = [&](TempDir& home) {
      const DataFolderPaths paths = DataFolderFrom(home.Path(), "");
      if (!scenario.firstStart) {
        ::mkdir(paths.dataFolder.c_str(), 0777);
        SetupRecord r;
        WriteDefaultSetupIfMissing(r, paths);
        testing::WriteFile(paths.dataFolder + "/TOLV_D.TXT", "previous import");
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
      } else {
        for (K::Kind k : {K::kOpen, K::kRead, K::kWrite, K::kClose, K::kFsync, K::kRename,
                          K::kLink, K::kStat, K::kChmod}) {
          EXPECT_GE(normal[k], 1) << K::kNames[k];
        }
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
  std::cout << "failures injected: " << injected << "\n";
}

}  // namespace
}  // namespace vantrelix
