#include "posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "inouterror.h"
#include "stop_request.h"
#include "system_calls.h"

namespace vantrelix {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileDescriptor::Close() {
  const int fd = Release();
  // No retry on EINTR: on Linux the descriptor is gone whatever close says.
  if (fd >= 0 && Sys().close(fd) != 0 && errno != EINTR) ThrowIoError(errno);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileDescriptor OpenFile(const std::string& path, int flags) {
  int fd;
  do {
    fd = Sys().open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowIoError(errno, path);
  return FileDescriptor(fd);
}

size_t ReadFully(int fd, void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = Sys().read(fd, out + done, size - done);
    if (n < 0) {
      if (errno != EINTR) ThrowIoError(errno);
      ThrowIfStopRequested();
      continue;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = Sys().write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno != EINTR) ThrowIoError(errno);
      ThrowIfStopRequested();
      continue;
    }
    if (n == 0) ThrowIoError(ENOSPC);
    data.remove_prefix(static_cast<size_t>(n));
  }
}

BufferedWriter::BufferedWriter(int fd, size_t capacity) : fd_(fd), buffer_(capacity) {}

void BufferedWriter::Append(std::string_view data) {
  if (data.size() > buffer_.size() - used_) {
    Flush();
    if (data.size() >= buffer_.size()) {
      WriteFully(fd_, data);
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, data.data(), data.size());
  used_ += data.size();
}

void BufferedWriter::Flush() {
  if (used_ == 0) return;
  const size_t n = used_;
  used_ = 0;  // a failed write is not retried at the next flush
  WriteFully(fd_, std::string_view(buffer_.data(), n));
  // Start writing the block to disk now, while the pass goes on, so that the
  // final fsync has little left to wait for. Only a hint: errors show there.
  ::sync_file_range(fd_, written_, static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
  written_ += static_cast<off_t>(n);
}

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t CurrentUmask() {
  // The process is single-threaded where files are written, so the brief
  // change cannot race another thread's create.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

void SyncFolder(const std::string& folder) {
  FileDescriptor dir(Sys().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!dir.IsOpen()) ThrowIoError(errno, folder);
  if (Sys().fsync(dir.Get()) != 0 && errno != EINVAL) ThrowIoError(errno);
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target, const struct stat* mustNotBe)
    : target_(target) {
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) ThrowIoError(errno, target);

  if (exists) {
    if (mustNotBe != nullptr && existing.st_dev == mustNotBe->st_dev &&
        existing.st_ino == mustNotBe->st_ino) {
      throw EInOutError(io_code::kSharingViolation);
    }
    if (S_ISDIR(existing.st_mode)) ThrowIoError(EISDIR, target);

    // Opening for writing without truncating asks the kernel whether we may
    // write the file, and changes nothing.
    FileDescriptor probe = OpenFile(target, O_WRONLY | O_NONBLOCK);
    if (!S_ISREG(existing.st_mode)) {
      if (::ftruncate(probe.Get(), 0) != 0 && errno != EINVAL) ThrowIoError(errno);
      fd_ = std::move(probe);
      return;
    }
    probe.Close();

    // Replace what a link points at, not the link itself.
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved) != nullptr) target_ = resolved;
  }

  std::string pattern = FolderOf(target_) + "/.";
  pattern += target_.substr(target_.find_last_of('/') + 1);
  pattern += ".XXXXXX";
  const int fd = Sys().mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) ThrowIoError(errno, target_);
  fd_ = FileDescriptor(fd);
  tempPath_ = pattern;

  const mode_t mode = exists ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (::fchmod(fd, mode) != 0) ThrowIoError(errno);
  if (exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
    // Keeps the companion product's access when an administrator runs us;
    // an ordinary user may not give files away, which is fine.
    [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
  }
}

ReplacingFile::~ReplacingFile() {
  if (committed_) return;
  fd_ = FileDescriptor();
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void ReplacingFile::Commit() {
  if (tempPath_.empty()) {
    fd_.Close();
    committed_ = true;
    return;
  }
  if (Sys().fsync(fd_.Get()) != 0) ThrowIoError(errno);
  fd_.Close();
  const std::string folder = FolderOf(target_);
  SyncFolder(folder);
  if (Sys().rename(tempPath_.c_str(), target_.c_str()) != 0) ThrowIoError(errno, target_);
  committed_ = true;
  // The new file is in place now; a failure to sync its folder entry must not
  // be reported as a failed pass.
  try {
    SyncFolder(folder);
  } catch (const EInOutError&) {
  }
}

}  // namespace vantrelix
