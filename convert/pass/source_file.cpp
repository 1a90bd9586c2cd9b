#include "source_file.h"

#include <fcntl.h>

#include "posix_file.h"
#include "readable_by_writers.h"
#include "source_lines.h"

namespace vantrelix {

TextReader OpenSource(const std::string& path, const FileWriters& writers, size_t blockSize) {
  TextReader reader(OpenFile(path, O_RDONLY), blockSize, path);
  RequireReadableByWriters(writers, reader.Fd(), path);
  return reader;
}

std::vector<std::string> ReadFirstLines(const std::string& path, size_t count,
                                        const FileWriters& writers) {
  TextReader reader = OpenSource(path, writers, 1 << 16);
  SourceRecords records(reader);
  std::vector<std::string> lines;
  while (lines.size() < count && !records.AtEnd()) lines.emplace_back(records.Next());
  reader.Close();
  return lines;
}

}  // namespace vantrelix
