#include "setup_record.h"

#include <algorithm>
#include <cstring>

namespace vantrelix {

std::string SetupRecord::SourceFileName() const {
  const size_t length = std::min<size_t>(image_[record_offset::kNameLength], kMaxNameLength);
  std::string name(reinterpret_cast<const char*>(image_.data() + record_offset::kName), length);
  if (!longName_.empty() && length == kMaxNameLength && longName_.starts_with(name)) {
    return longName_;
  }
  return name;
}

void SetupRecord::SetSourceFileName(std::string_view name) {
  const size_t length = std::min(name.size(), kMaxNameLength);
  image_[record_offset::kNameLength] = static_cast<uint8_t>(length);
  std::memcpy(image_.data() + record_offset::kName, name.data(), length);
  longName_.assign(name.size() > kMaxNameLength ? name : std::string_view());
}

int32_t SetupRecord::ReadInt32(size_t offset) const {
  const uint32_t v = uint32_t{image_[offset]} | uint32_t{image_[offset + 1]} << 8 |
                     uint32_t{image_[offset + 2]} << 16 | uint32_t{image_[offset + 3]} << 24;
  return static_cast<int32_t>(v);
}

void SetupRecord::WriteInt32(size_t offset, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) image_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace vantrelix
