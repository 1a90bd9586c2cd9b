#pragma once

#include <sys/stat.h>

#include <string>

#include "file_writers.h"

namespace vantrelix {

// Whether those who may have written the settings may read the source the
// settings name: a run reads it on their behalf into the import they read.

// Who may have written the file of `status`.
FileWriters WritersOf(const struct stat& status);

// Raises "File access denied" for `path` unless each of `writers` other than
// the running user and root may read the open file `fd`: its permission bits
// for them (or its access ACL) and the search bits of the folders on its way.
void RequireReadableByWriters(const FileWriters& writers, int fd, const std::string& path);

}  // namespace vantrelix
