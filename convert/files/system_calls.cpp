#include "system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

namespace vantrelix {

namespace {

int RealOpenAt(int folder, const char* path, int flags, mode_t mode) {
  return ::openat(folder, path, flags, mode);
}

}  // namespace

const SystemCalls& RealSystemCalls() {
  static const SystemCalls calls{RealOpenAt, ::read,   ::write,    ::close,    ::fsync,
                                 ::renameat, ::linkat, ::unlinkat, ::mkdir,    ::fstat,
                                 ::fchmod,   ::fchown, ::flock,    ::ftruncate};
  return calls;
}

SystemCalls& Sys() {
  static SystemCalls calls = RealSystemCalls();
  return calls;
}

}  // namespace vantrelix
