#include "system_calls.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace vantrelix {

namespace {

int RealOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

}  // namespace

const SystemCalls& RealSystemCalls() {
  static const SystemCalls calls{RealOpen, ::read,   ::write, ::close,
                                 ::fsync,  ::rename, ::mkdir, ::mkostemp};
  return calls;
}

SystemCalls& Sys() {
  static SystemCalls calls = RealSystemCalls();
  return calls;
}

}  // namespace vantrelix
