#pragma once

#include <string>
#include <string_view>

#include "setup_record.h"

namespace vantrelix {

// The settings that the 152-byte record has no room for (the field delimiter,
// a source name longer than 100 bytes) follow it in the settings file:
//   "VXEX"                      tag
//   version                     16 bits, little-endian (1)
//   size of the entries         32 bits, little-endian
//   entries, each: type (16 bits), size (32 bits), that many bytes
//     1: the field delimiter, one byte (FieldDelimiter)
//     2: the whole source name, 101 to 4096 bytes, no NUL
// Entries of other types come from a later version: kept and written back.
// A program that reads only the 152 bytes ignores what follows them.
inline constexpr std::string_view kExtensionTag = "VXEX";
inline constexpr size_t kExtensionHeaderSize = 10;
// Far beyond what the entries need: a larger size is damage.
inline constexpr size_t kMaxExtensionEntries = 64 * 1024;

// The extension for the record; empty when every setting in it has the
// meaning of a file without it, so that such settings files stay 152 bytes.
std::string ExtensionBytes(const SetupRecord& record);

// The size of the entries that the header announces, or 0 when `header` does
// not start with the tag (what follows the record is then no extension).
// Raises EFileProblem for a header with the tag that is cut or damaged.
size_t ExtensionEntriesSize(std::string_view header);

// Reads the entries into the record; raises EFileProblem naming what is
// damaged.
void ReadExtensionEntries(std::string_view entries, SetupRecord& record);

}  // namespace vantrelix
