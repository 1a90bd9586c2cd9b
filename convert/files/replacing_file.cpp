#include "replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "inouterror.h"
#include "readable_by_writers.h"
#include "stop_request.h"
#include "system_calls.h"

namespace vantrelix {

namespace {

mode_t CurrentUmask() {
  // The process is single-threaded where files are written, so the brief
  // change cannot race another thread's create.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

void SyncFile(int fd, const std::string& path) {
  if (RetryInterrupted([fd] { return Sys().fsync(fd); }) != 0) ThrowIoError(errno, path);
}

// Syncs a folder's entries. A folder the user may search but not read is
// synced through its file system instead.
void SyncFolder(int folder, int fileInIt, const std::string& path) {
  const int fd = OpenAt(folder, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) {
    if (errno != EACCES) ThrowIoError(errno, path);
    if (RetryInterrupted([fileInIt] { return ::syncfs(fileInIt); }) != 0) {
      ThrowIoError(errno, path);
    }
    return;
  }
  FileDescriptor dir(fd);
  if (RetryInterrupted([fd] { return Sys().fsync(fd); }) != 0 && errno != EINVAL) {
    ThrowIoError(errno, path);
  }
}

int Lock(int fd, int operation) {
  return RetryInterrupted([=] { return Sys().flock(fd, operation); });
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6];
  if (::getentropy(bytes, sizeof bytes) != 0) {
    const auto seed = static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(::time(nullptr));
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(seed >> i * 5);
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix.push_back(kLetters[b % (sizeof kLetters - 1)]);
  return suffix;
}

std::string TemporaryPrefix(const std::string& name) {
  return "." + name + ".";
}

// Removes the temporary files of earlier runs that were killed: those whose
// lock no process holds. A folder we may not read or write keeps them.
void RemoveStaleTemporaryFiles(int folder, const std::string& name) {
  const int fd = OpenAt(folder, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  const std::string prefix = TemporaryPrefix(name);
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string_view entry = e->d_name;
    if (entry.size() != prefix.size() + 6 || entry.substr(0, prefix.size()) != prefix) continue;
    const int file = OpenAt(folder, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (file < 0) continue;
    const FileDescriptor held(file);
    struct stat st {};
    if (Sys().fstat(file, &st) == 0 && S_ISREG(st.st_mode) && Lock(file, LOCK_EX | LOCK_NB) == 0) {
      Sys().unlinkat(folder, e->d_name, 0);
    }
  }
}

// Said on standard error, in every mode: the operator of a scheduled run
// reads it in the log.
void Notice(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
}

// Stop signals wait while a file is rewritten in place: they take effect once
// it is whole again.
class StopSignalsHeld {
 public:
  StopSignalsHeld() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, signal);
    ::sigprocmask(SIG_BLOCK, &stops, &before_);
  }
  ~StopSignalsHeld() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t before_;
};

// Copies all of `from` (from its start) over `to` from its start, and cuts
// `to` to that length only then, so that no reader ever finds it shorter
// than the old or the new contents.
void CopyOver(int from, int to) {
  const auto rewind = [](int fd) {
    return RetryInterrupted([fd] { return ::lseek(fd, 0, SEEK_SET); });
  };
  if (rewind(from) != 0 || rewind(to) != 0) ThrowIoError(errno);
  std::vector<char> block(1 << 20);
  off_t size = 0;
  for (;;) {
    const size_t n = ReadFully(from, block.data(), block.size());
    if (n == 0) break;
    WriteFully(to, std::string_view(block.data(), n));
    size += static_cast<off_t>(n);
  }
  if (RetryInterrupted([&] { return Sys().ftruncate(to, size); }) != 0) ThrowIoError(errno);
}

// The permission bits a replacement gets: the read and write bits of the
// file it replaces (no set-id, sticky or execute bit of a planted file
// carries over to a patient list), or 0666 less the umask for a new one.
mode_t ReplacementMode(const struct stat* existing) {
  return existing != nullptr ? (existing->st_mode & 0666) : (0666 & ~CurrentUmask());
}

}  // namespace

FileWriters WritersOfReplacement(const std::string& target) {
  struct stat st {};
  FileWriters writers;
  if (RetryInterrupted([&] { return ::stat(target.c_str(), &st); }) == 0 && S_ISREG(st.st_mode)) {
    writers = WritersOf(st);
  } else {
    // A new file, in the folder's group where the folder hands its group
    // down (set-group-ID), else in ours.
    const auto [folderPath, name] = SplitPath(target);
    struct stat folder {};
    const bool handsDown = ::stat(folderPath.c_str(), &folder) == 0 && (folder.st_mode & S_ISGID);
    st.st_mode = S_IFREG | ReplacementMode(nullptr);
    st.st_gid = handsDown ? folder.st_gid : ::getegid();
    writers = WritersOf(st);
  }
  writers.owner = ::geteuid();
  return writers;
}

ReplacingFile::ReplacingFile(const std::string& target, const struct stat* mustNotBe)
    : target_(FindInFolder(target, true)) {
  const std::string path = target_.folderPath + "/" + target_.name;
  const struct stat& existing = target_.status;
  if (target_.exists) {
    if (mustNotBe != nullptr && existing.st_dev == mustNotBe->st_dev &&
        existing.st_ino == mustNotBe->st_ino) {
      throw EInOutError(io_code::kSharingViolation, path);
    }
    // Opening for writing without truncating asks the kernel whether we may
    // write the file, and changes nothing; the descriptor serves a rewrite in
    // place.
    inPlace_ = OpenEntry(target_, O_WRONLY);
  }

  const int folder = target_.folder.Get();
  // Whatever way this run writes, killed runs' leftovers go.
  RemoveStaleTemporaryFiles(folder, target_.name);
  // Given at the create already, so that the other users may clean up
  // after a run killed before the chmod.
  const mode_t mode = ReplacementMode(target_.exists ? &existing : nullptr);
  const int fd = OpenAt(folder, ".", O_TMPFILE | O_WRONLY, mode);
  if (fd >= 0) {
    fd_ = FileDescriptor(fd);
    unnamed_ = true;
    // Held from the moment it gets a name at the commit, so that no other
    // run takes it for stale.
    if (Lock(fd, LOCK_EX) != 0) ThrowIoError(errno, path);
  } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    CreateNamed(mode);  // a file system without unnamed files (network shares)
  } else if ((errno == EACCES || errno == EPERM) && target_.exists) {
    // The folder takes no new file, but the file may be written: the new
    // contents are gathered first and copied over it at the commit. Not
    // through a second name, though: a hard link that a member made from it
    // to someone's own file would have us write that file.
    if (existing.st_nlink > 1) {
      throw EFileProblem(
          "The file has other names (hard links) that another user may have made, and the "
          "folder takes no new files from you: it is not rewritten. The administrator removes "
          "it or lets the clinic's group create files in the folder",
          path);
    }
    const int copy = ::memfd_create("vantrelix-new", MFD_CLOEXEC);
    if (copy < 0) ThrowIoError(errno, path);
    fd_ = FileDescriptor(copy);
    return;
  } else {
    ThrowIoError(errno, path);
  }
  inPlace_ = FileDescriptor();  // a new file is written after all

  if (RetryInterrupted([&] { return Sys().fchmod(fd_.Get(), mode); }) != 0) {
    ThrowIoError(errno, path);
  }
  if (target_.exists) {
    // Keeps the companion product's and the other users' access: the group
    // where we may give it (a member of it may), the owner when root runs us.
    if (::geteuid() == 0 && existing.st_uid != 0) {
      [[maybe_unused]] const int ignored =
          Sys().fchown(fd_.Get(), existing.st_uid, existing.st_gid);
    } else if (existing.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored =
          Sys().fchown(fd_.Get(), static_cast<uid_t>(-1), existing.st_gid);
    }
  }
}

void ReplacingFile::CreateNamed(mode_t mode) {
  const int folder = target_.folder.Get();
  const std::string path = target_.folderPath + "/" + target_.name;
  for (int attempt = 0;; ++attempt) {
    const std::string name = TemporaryPrefix(target_.name) + RandomSuffix();
    const int fd = OpenAt(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    if (fd < 0) {
      if (errno == EEXIST && attempt < 100) continue;
      ThrowIoError(errno, path);
    }
    FileDescriptor file(fd);
    FolderName entry(folder, name);
    // Locked while it is written, so that no other run takes it for stale;
    // one that did so between the create and the lock took our name away.
    // Every failure below leaves the name to `entry`, which removes it.
    const bool locked = Lock(fd, LOCK_EX) == 0;
    const int lockError = errno;
    struct stat byName {
    }, byFd{};
    if (RetryInterrupted([&] { return Sys().fstat(fd, &byFd); }) != 0) ThrowIoError(errno, path);
    if (RetryInterrupted(
            [&] { return ::fstatat(folder, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW); }) != 0) {
      if (errno != ENOENT) ThrowIoError(errno, path);
      byName.st_ino = 0;
    }
    if (byName.st_ino != byFd.st_ino || byName.st_dev != byFd.st_dev) {
      entry.Release();  // not ours any more
      if (attempt < 100) continue;
      ThrowIoError(EEXIST, path);
    }
    if (!locked) ThrowIoError(lockError, path);
    fd_ = std::move(file);
    temporary_ = std::move(entry);
    return;
  }
}

ReplacingFile::~ReplacingFile() = default;  // an uncommitted name goes with temporary_

void ReplacingFile::CommitInPlace() {
  const std::string path = target_.folderPath + "/" + target_.name;
  Notice(path +
         ": the folder takes no new files, so the file is rewritten in place and its "
         "replacement is not atomic");
  const StopSignalsHeld held;
  const int out = inPlace_.Get();
  // The old contents, put back when the rewrite fails half-way (where we
  // may read the file).
  FileDescriptor previous;
  try {
    FileDescriptor old = OpenEntry(target_, O_RDONLY);
    previous = FileDescriptor(::memfd_create("vantrelix-old", MFD_CLOEXEC));
    if (previous.IsOpen()) CopyOver(old.Get(), previous.Get());
  } catch (const EFileProblem&) {
    previous = FileDescriptor();
  } catch (const std::bad_alloc&) {
    previous = FileDescriptor();
  }
  try {
    CopyOver(fd_.Get(), out);
    SyncFile(out, path);
  } catch (...) {
    if (previous.IsOpen()) {
      try {
        CopyOver(previous.Get(), out);
        SyncFile(out, path);
      } catch (const EFileProblem&) {
      } catch (const std::bad_alloc&) {
      }
    }
    throw;
  }
  // Synced and whole: a failing close must not report a failed pass.
  Sys().close(inPlace_.Release());
  fd_ = FileDescriptor();
}

void ReplacingFile::Commit() {
  const std::string path = target_.folderPath + "/" + target_.name;
  if (inPlace_.IsOpen()) {
    ConcerningFile(path, [this] { CommitInPlace(); });
    return;
  }
  const int folder = target_.folder.Get();
  SyncFile(fd_.Get(), path);
  if (unnamed_) {
    // The unnamed file gets a temporary name, then the target's: a link
    // cannot replace an existing name.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.Get());
    for (int attempt = 0;; ++attempt) {
      const std::string name = TemporaryPrefix(target_.name) + RandomSuffix();
      // Without /proc (a bare chroot) the descriptor itself is linked,
      // which the kernel allows to privileged callers only.
      const auto link = [&](int from, const char* fromName, int flags) {
        return RetryInterrupted(
            [&] { return Sys().linkat(from, fromName, folder, name.c_str(), flags); });
      };
      if (link(AT_FDCWD, self.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          (errno == ENOENT && link(fd_.Get(), "", AT_EMPTY_PATH) == 0)) {
        temporary_ = FolderName(folder, name);
        break;
      }
      if (errno != EEXIST || attempt == 100) ThrowIoError(errno, path);
    }
  }
  SyncFolder(folder, fd_.Get(), path);
  if (RetryInterrupted([&] {
        return Sys().renameat(folder, temporary_.Name().c_str(), folder, target_.name.c_str());
      }) != 0) {
    ThrowIoError(errno, path);
  }
  temporary_.Release();
  // The new file is in place now: a failure to sync its folder entry, or to
  // close the synced file, must not be reported as a failed pass.
  try {
    SyncFolder(folder, fd_.Get(), path);
  } catch (const EInOutError&) {
  }
  Sys().close(fd_.Release());
}

}  // namespace vantrelix
