#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace vantrelix {

// The file system calls the engine makes, in one table, so that tests can
// make any one of them fail (fault injection) without a preloaded library.
struct SystemCalls {
  int (*openat)(int folder, const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t size);
  ssize_t (*write)(int fd, const void* buffer, size_t size);
  int (*close)(int fd);
  int (*fsync)(int fd);
  int (*renameat)(int fromFolder, const char* from, int toFolder, const char* to);
  int (*linkat)(int fromFolder, const char* from, int toFolder, const char* to, int flags);
  int (*unlinkat)(int folder, const char* name, int flags);
  int (*mkdir)(const char* path, mode_t mode);
  int (*fstat)(int fd, struct stat* status);
  int (*fchmod)(int fd, mode_t mode);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*flock)(int fd, int operation);
  int (*ftruncate)(int fd, off_t length);
};

// The table in use; the real calls unless a test replaced entries.
SystemCalls& Sys();
// The real calls.
const SystemCalls& RealSystemCalls();

}  // namespace vantrelix
