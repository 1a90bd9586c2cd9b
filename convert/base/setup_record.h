#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file_writers.h"

namespace vantrelix {

// The seven output fields, in the order of the import file's columns and of
// the positions in the settings record.
enum class FieldSlot : int { kName, kPhone, kDate, kTime, kDoctor, kLocation, kEmail };
inline constexpr int kFieldSlotCount = 7;

// What separates the fields of a source line. The first is what every
// settings file without the extension means; under the others only that one
// character separates fields, and the rest are text.
enum class FieldDelimiter : uint8_t { kCommaOrTab, kComma, kTab, kSemicolon, kPipe };
inline constexpr std::array<std::string_view, 5> kFieldDelimiterItems = {
    "comma or TAB", "comma", "TAB", "semicolon", "pipe"};

// The item of one of the lists (delimiters, date or time layouts) at
// `index`; empty for an index outside the list, which stored settings may
// hold.
template <size_t N>
std::string_view ItemAt(const std::array<std::string_view, N>& items, int32_t index) {
  return index >= 0 && index < static_cast<int32_t>(N) ? items[static_cast<size_t>(index)]
                                                       : std::string_view();
}

// The longest source name the settings file keeps (the extension's limit).
inline constexpr size_t kMaxSourceNameLength = 4096;

// The highest column a field may take: the field selector's spinners stop
// there, and a setting beyond it would be cut to it when the window closes.
inline constexpr int32_t kMaxColumn = 100;

// Where each field lies in the 152-byte settings record.
namespace record_offset {
inline constexpr size_t kNameLength = 0;
inline constexpr size_t kName = 1;         // 100 characters
inline constexpr size_t kPositions = 104;  // seven 32-bit columns, in FieldSlot order
inline constexpr size_t kSkipFirstLine = 132;
inline constexpr size_t kDateLayout = 136;
inline constexpr size_t kDateDelimiter = 140;
inline constexpr size_t kTimeLayout = 144;
inline constexpr size_t kTimeDelimiter = 148;
}  // namespace record_offset

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
  // 100 so that the name never reaches into the fields behind it. A longer
  // name kept in the extension is given while the 100 bytes still hold its
  // start (a program that knows only the 152 bytes may have replaced them).
  std::string SourceFileName() const;
  // Writes the length byte and the characters only, cut to 100 characters;
  // the bytes behind the new name keep what they held. A longer name is kept
  // whole in the extension.
  void SetSourceFileName(std::string_view name);
  // The whole name when it is longer than the record holds; empty otherwise.
  const std::string& LongSourceFileName() const { return longName_; }
  // Before an extension is read: a name kept from other settings is not its.
  void ForgetLongSourceFileName() { longName_.clear(); }

  // The 1-based source column of a field (NamePos .. EmailPos); 0 for none.
  int32_t Position(FieldSlot slot) const { return ReadInt32(PositionOffset(slot)); }
  void SetPosition(FieldSlot slot, int32_t column) { WriteInt32(PositionOffset(slot), column); }

  uint8_t SkipFirstLine() const { return image_[record_offset::kSkipFirstLine]; }
  void SetSkipFirstLine(uint8_t value) { image_[record_offset::kSkipFirstLine] = value; }
  // Only the value 1 marks a header line.
  bool HasHeaderLine() const { return SkipFirstLine() == 1; }

  int32_t DateLayout() const { return ReadInt32(record_offset::kDateLayout); }
  void SetDateLayout(int32_t layout) { WriteInt32(record_offset::kDateLayout, layout); }
  char DateDelimiter() const { return static_cast<char>(image_[record_offset::kDateDelimiter]); }
  void SetDateDelimiter(char c) { image_[record_offset::kDateDelimiter] = static_cast<uint8_t>(c); }

  int32_t TimeLayout() const { return ReadInt32(record_offset::kTimeLayout); }
  void SetTimeLayout(int32_t layout) { WriteInt32(record_offset::kTimeLayout, layout); }
  char TimeDelimiter() const { return static_cast<char>(image_[record_offset::kTimeDelimiter]); }
  void SetTimeDelimiter(char c) { image_[record_offset::kTimeDelimiter] = static_cast<uint8_t>(c); }

  FieldDelimiter Delimiter() const { return delimiter_; }
  void SetDelimiter(FieldDelimiter d) { delimiter_ = d; }

  // Entries of the extension that a later version wrote and this one does
  // not know: kept as they came, so that saving does not lose them.
  std::vector<std::string> laterEntries;

  // The same settings: the image and the extension (not who wrote them).
  bool SameSettings(const SetupRecord& other) const {
    return image_ == other.image_ && delimiter_ == other.delimiter_ &&
           longName_ == other.longName_ && laterEntries == other.laterEntries;
  }

  // Who may have written the settings file the record was loaded from; not
  // part of the image.
  FileWriters writers;

 private:
  static size_t PositionOffset(FieldSlot slot) {
    return record_offset::kPositions + 4 * static_cast<size_t>(slot);
  }
  int32_t ReadInt32(size_t offset) const;
  void WriteInt32(size_t offset, int32_t value);

  Image image_{};
  FieldDelimiter delimiter_ = FieldDelimiter::kCommaOrTab;
  std::string longName_;
};

}  // namespace vantrelix
