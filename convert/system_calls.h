#pragma once

#include <sys/types.h>

namespace vantrelix {

// The file system calls the engine makes, in one table, so that tests can
// make any one of them fail (fault injection) without a preloaded library.
struct SystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t size);
  ssize_t (*write)(int fd, const void* buffer, size_t size);
  int (*close)(int fd);
  int (*fsync)(int fd);
  int (*rename)(const char* from, const char* to);
  int (*mkdir)(const char* path, mode_t mode);
  int (*mkostemp)(char* pattern, int flags);
};

// The table in use; the real calls unless a test replaced entries.
SystemCalls& Sys();
// The real calls.
const SystemCalls& RealSystemCalls();

}  // namespace vantrelix
