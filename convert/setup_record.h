#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrelix {

// The seven output fields, in the order of the import file's columns and of
// the positions in the settings record.
enum class FieldSlot : int { kName, kPhone, kDate, kTime, kDoctor, kLocation, kEmail };
inline constexpr int kFieldSlotCount = 7;

// The settings that drive a conversion, held as the 152-byte image of the
// settings file and read and written in place (little-endian). The image is
// the truth: filler and stale name bytes are carried through load and save.
class SetupRecord {
 public:
  static constexpr size_t kSize = 152;
  static constexpr size_t kMaxNameLength = 100;

  using Image = std::array<uint8_t, kSize>;

  Image& Bytes() { return image_; }
  const Image& Bytes() const { return image_; }

  // The stored name; a length byte above 100 (never written by us) is cut to
  // 100 so that the name never reaches into the fields behind it.
  std::string SourceFileName() const;
  // Writes the length byte and the characters only, cut to 100 characters;
  // the bytes behind the new name keep what they held.
  void SetSourceFileName(std::string_view name);

  int32_t Position(FieldSlot slot) const { return ReadInt32(104 + 4 * static_cast<int>(slot)); }
  void SetPosition(FieldSlot slot, int32_t column) {
    WriteInt32(104 + 4 * static_cast<int>(slot), column);
  }
  int32_t NamePos() const { return Position(FieldSlot::kName); }
  int32_t PhonePos() const { return Position(FieldSlot::kPhone); }
  int32_t DatePos() const { return Position(FieldSlot::kDate); }
  int32_t TimePos() const { return Position(FieldSlot::kTime); }
  int32_t DoctorPos() const { return Position(FieldSlot::kDoctor); }
  int32_t LocationPos() const { return Position(FieldSlot::kLocation); }
  int32_t EmailPos() const { return Position(FieldSlot::kEmail); }

  uint8_t SkipFirstLine() const { return image_[132]; }
  void SetSkipFirstLine(uint8_t value) { image_[132] = value; }
  // Only the value 1 marks a header line.
  bool HasHeaderLine() const { return SkipFirstLine() == 1; }

  int32_t DateLayout() const { return ReadInt32(136); }
  void SetDateLayout(int32_t layout) { WriteInt32(136, layout); }
  char DateDelimiter() const { return static_cast<char>(image_[140]); }
  void SetDateDelimiter(char c) { image_[140] = static_cast<uint8_t>(c); }

  int32_t TimeLayout() const { return ReadInt32(144); }
  void SetTimeLayout(int32_t layout) { WriteInt32(144, layout); }
  char TimeDelimiter() const { return static_cast<char>(image_[148]); }
  void SetTimeDelimiter(char c) { image_[148] = static_cast<uint8_t>(c); }

 private:
  int32_t ReadInt32(size_t offset) const;
  void WriteInt32(size_t offset, int32_t value);

  Image image_{};
};

}  // namespace vantrelix
