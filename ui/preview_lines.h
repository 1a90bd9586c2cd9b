#pragma once

#include <QByteArray>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "setup_record.h"

namespace vantrelix {

// The source's lines as the field selector read them, held once for all
// seven columns: a click on a spinner, the header box or a layout box shows
// other columns of the same lines without reading the file again.
//
// A million-line export must fit in a fraction of its size, so the lines are
// packed (zlib, fastest level) in blocks of a few thousand, on worker threads
// while the file is still being read. The date and time columns, which every
// layout change reads whole, are also held unpacked as small numbers into
// their distinct texts.
class PreviewLines {
 public:
  PreviewLines();
  ~PreviewLines();
  PreviewLines(const PreviewLines&) = delete;
  PreviewLines& operator=(const PreviewLines&) = delete;

  void Clear();
  // The columns to hold while lines are appended (those that the readings
  // will ask for); any others are dropped.
  void HoldWhileReading(std::vector<int32_t> columns);
  void Append(std::string_view line);
  // Packs the last lines; reading the lines waits for it.
  void Finish();

  size_t Count() const { return count_; }
  bool IsEmpty(size_t i) const { return empty_[i]; }
  // The line's bytes, valid until lines of two other blocks are asked for.
  std::string_view Line(size_t i) const;
  // Lines [first, end) in turn, each block unpacked once.
  void ForEach(size_t first, size_t end,
               const std::function<void(size_t i, std::string_view line)>& visit) const;

  // Where the lines are split into columns; a change drops the held columns.
  void SetDelimiter(FieldDelimiter delimiter);
  FieldDelimiter Delimiter() const { return delimiter_; }

  // A column's text of every line, by the pass's splitting rule.
  struct HeldColumn {
    int32_t column = 0;
    std::vector<std::string> texts;  // distinct
    std::vector<uint16_t> ids;       // per line, into `texts`
  };
  // Holds exactly these columns, reading the lines once for those not yet
  // held. A column of more distinct texts than an id tells is not held.
  // `pause`, where given, is called every few thousand lines (a window lets
  // its events in there, and may end the reading by raising).
  void Hold(const std::vector<int32_t>& columns, const std::function<void()>& pause = {});
  // Null when the column is not held.
  const HeldColumn* Held(int32_t column) const;

 private:
  struct Block;
  struct Holder;
  void Seal();
  void WaitForPacking() const;
  size_t BlockOf(size_t line) const;
  // The unpacked block: line ends, then the bytes.
  const QByteArray& Unpacked(size_t block) const;
  static QByteArray Unpack(const Block& block);
  static std::string_view LineOf(const QByteArray& unpacked, size_t lines, size_t k);
  void AddToHolders(std::vector<std::unique_ptr<Holder>>& holders, std::string_view line) const;
  void Keep(std::vector<std::unique_ptr<Holder>>& holders);

  std::vector<std::unique_ptr<Block>> blocks_;
  std::vector<size_t> blockFirst_;  // first line of every block
  std::string open_;                // the bytes of the block being filled
  std::vector<uint32_t> openEnds_;  // and their line ends
  size_t count_ = 0;
  std::vector<bool> empty_;
  FieldDelimiter delimiter_ = FieldDelimiter::kCommaOrTab;
  std::vector<HeldColumn> held_;
  std::vector<int32_t> notHeld_;                  // columns of too many distinct texts
  std::vector<std::unique_ptr<Holder>> filling_;  // the columns held while reading

  struct Cached {
    size_t block = SIZE_MAX;
    QByteArray bytes;
  };
  mutable std::array<Cached, 2> cache_;
  mutable size_t nextSlot_ = 0;

  std::unique_ptr<QThreadPool> packers_;
  std::atomic<int> packing_{0};
};

}  // namespace vantrelix
