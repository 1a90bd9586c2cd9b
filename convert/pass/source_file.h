#pragma once

#include <string>
#include <vector>

#include "file_writers.h"
#include "text_file.h"

namespace vantrelix {

// Opens the export to read, by the rules every reader of it follows (the
// run, the check, the settings commands and the field selector): a regular
// file on a disk, not a folder, a pipe, a device or a file the kernel makes
// up; and one that each of `writers` (who may have written the settings that
// name it) may read too, as its contents go into the import file they read.
// The field selector passes none: what it shows goes to its operator alone.
// Raises EFileProblem naming the file.
TextReader OpenSource(const std::string& path, const FileWriters& writers,
                      size_t blockSize = TextReader::kDefaultBlockSize);

// The first `count` records of a source (fewer when it is shorter), by the
// source's line rules, opened as OpenSource opens it.
std::vector<std::string> ReadFirstLines(const std::string& path, size_t count,
                                        const FileWriters& writers = {});

}  // namespace vantrelix
