#pragma once

#include <cstdlib>

#include <functional>
#include <string>

// Skips a test that this machine cannot run. Where CI runs (VANTRELIX_NO_SKIPS
// set), the test fails instead: one that never runs there catches nothing.
#define VANTRELIX_SKIP(why)                                                  \
  do {                                                                       \
    if (std::getenv("VANTRELIX_NO_SKIPS") != nullptr) GTEST_FAIL() << (why); \
    GTEST_SKIP() << (why);                                                   \
  } while (0)

namespace vantrelix::testing {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
// Names in a folder, "." and ".." left out, sorted.
std::string ListFolder(const std::string& path);

// Runs `body` in a child process (after `prepare`, in the child) and gives
// what it returned.
std::string RunInChild(const std::function<std::string()>& body,
                       const std::function<std::string()>& prepare = {});

// Runs `body` in a child process as the unprivileged user 65534 (when we are
// root, which ignores file permissions) and gives what it returned. Folders
// the child needs must be open to that user.
std::string RunUnprivileged(const std::function<std::string()>& body);

// A small tmpfs mounted for the test, for disk-full cases. Mounting needs
// root; `Mounted()` is false where the system refuses it, and `Why()` says why.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& path, const std::string& size = "64k");
  ~SmallDisk();
  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }
  // Fills the disk with a ballast file until no byte is left.
  void Fill();

 private:
  std::string path_;
  bool mounted_ = false;
  std::string why_;
};

// A copy of `program` named `name` in `folder` (programs find their other
// copies by file name, so tests that run the program use names of their own).
std::string CopyProgram(const std::string& program, const std::string& folder,
                        const std::string& name);

// Sets an environment variable for the scope, and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);  // nullptr unsets
  ~ScopedEnv();

 private:
  std::string name_;
  bool had_;
  std::string old_;
};

}  // namespace vantrelix::testing
