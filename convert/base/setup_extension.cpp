#include "setup_extension.h"

#include <stdexcept>

namespace vantrelix {

namespace {

constexpr uint16_t kVersion = 1;
constexpr uint16_t kDelimiterEntry = 1;
constexpr uint16_t kSourceNameEntry = 2;
constexpr size_t kEntryHeaderSize = 6;

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

uint32_t LittleEndian(std::string_view bytes) {
  uint32_t v = 0;
  for (size_t i = bytes.size(); i-- > 0;) v = v << 8 | static_cast<uint8_t>(bytes[i]);
  return v;
}

void PutEntry(std::string& out, uint16_t type, std::string_view data) {
  PutLittleEndian(out, type, 2);
  PutLittleEndian(out, static_cast<uint32_t>(data.size()), 4);
  out.append(data);
}

[[noreturn]] void Damaged(const std::string& what) {
  // The file layer names the settings file beside the message.
  throw std::runtime_error("The settings file's extension is damaged: " + what);
}

}  // namespace

std::string ExtensionBytes(const SetupRecord& record) {
  std::string entries;
  if (record.Delimiter() != FieldDelimiter::kCommaOrTab) {
    PutEntry(entries, kDelimiterEntry,
             std::string(1, static_cast<char>(static_cast<uint8_t>(record.Delimiter()))));
  }
  if (!record.LongSourceFileName().empty()) {
    PutEntry(entries, kSourceNameEntry, record.LongSourceFileName());
  }
  for (const std::string& later : record.laterEntries) entries += later;
  if (entries.empty()) return {};
  std::string out(kExtensionTag);
  PutLittleEndian(out, kVersion, 2);
  PutLittleEndian(out, static_cast<uint32_t>(entries.size()), 4);
  return out + entries;
}

size_t ExtensionEntriesSize(std::string_view header) {
  if (!header.starts_with(kExtensionTag)) return 0;
  if (header.size() < kExtensionHeaderSize) Damaged("its header is cut short");
  if (LittleEndian(header.substr(4, 2)) == 0) Damaged("version 0");
  const uint32_t size = LittleEndian(header.substr(6, 4));
  if (size == 0 || size > kMaxExtensionEntries) {
    Damaged("it announces " + std::to_string(size) + " bytes of settings");
  }
  return size;
}

void ReadExtensionEntries(std::string_view entries, SetupRecord& record) {
  bool delimiterSeen = false, nameSeen = false;
  while (!entries.empty()) {
    if (entries.size() < kEntryHeaderSize) Damaged("a setting is cut short");
    const auto type = static_cast<uint16_t>(LittleEndian(entries.substr(0, 2)));
    const uint32_t size = LittleEndian(entries.substr(2, 4));
    if (size > entries.size() - kEntryHeaderSize) Damaged("a setting is cut short");
    const std::string_view data = entries.substr(kEntryHeaderSize, size);
    if (type == kDelimiterEntry) {
      const size_t value = data.empty() ? 0xFF : static_cast<uint8_t>(data[0]);
      if (delimiterSeen || size != 1 || value >= kFieldDelimiterItems.size()) {
        Damaged("the field delimiter");
      }
      delimiterSeen = true;
      record.SetDelimiter(static_cast<FieldDelimiter>(value));
    } else if (type == kSourceNameEntry) {
      if (nameSeen || size <= SetupRecord::kMaxNameLength || size > kMaxSourceNameLength ||
          data.find('\0') != std::string_view::npos) {
        Damaged("the source file name");
      }
      nameSeen = true;
      // Only where the record's 100 bytes still hold its start.
      const std::string shortName = record.SourceFileName();
      if (record.Bytes()[record_offset::kNameLength] == SetupRecord::kMaxNameLength &&
          data.starts_with(shortName)) {
        record.SetSourceFileName(data);
      }
    } else {
      record.laterEntries.emplace_back(entries.substr(0, kEntryHeaderSize + size));
    }
    entries.remove_prefix(kEntryHeaderSize + size);
  }
}

}  // namespace vantrelix
