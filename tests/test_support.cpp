#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vantrelix::testing {

TempDir::TempDir() {
  // Not TMPDIR: a private one (pam_tmpdir) is closed to the users that tests
  // drop to, and a long one would not fit the settings' 100-byte names.
  std::string pattern = "/tmp/vantrelix-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string ListFolder(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

std::string RunInChild(const std::function<std::string()>& body,
                       const std::function<std::string()>& prepare) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::close(fds[0]);
    std::string result = prepare ? prepare() : std::string();
    if (result.empty()) {
      try {
        result = body();
      } catch (const std::exception& e) {
        result = std::string("exception: ") + e.what();
      }
    }
    [[maybe_unused]] auto n = ::write(fds[1], result.data(), result.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) result.append(buffer, n);
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  return result;
}

std::string RunUnprivileged(const std::function<std::string()>& body) {
  if (::geteuid() != 0) return body();
  return RunInChild(body, [] {
    const bool dropped =
        ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
    return dropped ? std::string() : std::string("could not drop privileges");
  });
}

SmallDisk::SmallDisk(const std::string& path, const std::string& size) : path_(path) {
  ::mkdir(path.c_str(), 0777);
  const std::string options = "size=" + size;
  if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0) {
    mounted_ = true;
  } else {
    why_ = std::string("mounting a tmpfs was refused (") + std::strerror(errno) +
           "); needs root or CAP_SYS_ADMIN";
  }
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

void SmallDisk::Fill() {
  const std::string ballast = path_ + "/.ballast";
  const int fd = ::open(ballast.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0) throw std::runtime_error("cannot create ballast");
  std::vector<char> block(4096, 'x');
  for (size_t size = block.size(); size > 0;) {
    if (::write(fd, block.data(), size) < 0) size /= 2;
  }
  ::close(fd);
}

std::string CopyProgram(const std::string& program, const std::string& folder,
                        const std::string& name) {
  const auto copy = [](const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    ::chmod(to.c_str(), 0755);
  };
  const std::string target = folder + "/" + name;
  copy(program, target);
  // The window program goes with it, as the package installs it.
  const std::string windows = std::filesystem::path(program).replace_filename("vantrelix-windows");
  if (std::filesystem::exists(windows)) copy(windows, folder + "/vantrelix-windows");
  return target;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    ::setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

}  // namespace vantrelix::testing
