#include "preview_lines.h"

#include <QThread>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

#include "comma.h"

namespace vantrelix {

namespace {

// A block is a few hundred kilobytes: quick to unpack for the rows on screen,
// big enough to pack well.
constexpr size_t kBlockLines = 4096;
constexpr size_t kBlockBytes = 1 << 20;
constexpr int kFastestPacking = 1;
constexpr size_t kMostDistinctTexts = size_t{std::numeric_limits<uint16_t>::max()} + 1;

}  // namespace

struct PreviewLines::Block {
  size_t lines = 0;
  std::string unpacked;  // until it is packed
  QByteArray packed;
};

// Collects one column's texts, line by line.
struct PreviewLines::Holder {
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  HeldColumn held;
  std::unordered_map<std::string, uint16_t, Hash, std::equal_to<>> index;
  bool tooMany = false;
  std::string text;

  void Add(const LineColumns& split) {
    if (tooMany) return;
    split.ColumnInto(held.column, text);
    auto it = index.find(std::string_view(text));
    if (it == index.end()) {
      if (held.texts.size() == kMostDistinctTexts) {
        tooMany = true;  // not a date or time column; read from the lines instead
        held = {held.column, {}, {}};
        index.clear();
        return;
      }
      it = index.emplace(text, static_cast<uint16_t>(held.texts.size())).first;
      held.texts.push_back(text);
    }
    held.ids.push_back(it->second);
  }
};

PreviewLines::PreviewLines() : packers_(std::make_unique<QThreadPool>()) {
  packers_->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

PreviewLines::~PreviewLines() {
  WaitForPacking();
}

void PreviewLines::WaitForPacking() const {
  if (packing_.load(std::memory_order_acquire) > 0) packers_->waitForDone();
}

void PreviewLines::Clear() {
  WaitForPacking();
  blocks_.clear();
  blocks_.shrink_to_fit();
  blockFirst_.clear();
  blockFirst_.shrink_to_fit();
  open_.clear();
  open_.shrink_to_fit();
  openEnds_.clear();
  count_ = 0;
  empty_.clear();
  empty_.shrink_to_fit();
  held_.clear();
  notHeld_.clear();
  filling_.clear();
  cache_ = {};
}

void PreviewLines::HoldWhileReading(std::vector<int32_t> columns) {
  filling_.clear();
  std::sort(columns.begin(), columns.end());
  columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
  for (int32_t column : columns) {
    filling_.push_back(std::make_unique<Holder>());
    filling_.back()->held.column = column;
  }
}

void PreviewLines::AddToHolders(std::vector<std::unique_ptr<Holder>>& holders,
                                std::string_view line) const {
  if (holders.empty()) return;
  LineColumns split(delimiter_);
  split.Split(line, holders.back()->held.column);  // sorted: the last is the farthest
  for (auto& holder : holders) holder->Add(split);
}

void PreviewLines::Append(std::string_view line) {
  open_.append(line);
  openEnds_.push_back(static_cast<uint32_t>(open_.size()));
  empty_.push_back(line.empty());
  ++count_;
  AddToHolders(filling_, line);
  if (openEnds_.size() == kBlockLines || open_.size() >= kBlockBytes) Seal();
}

void PreviewLines::Seal() {
  if (openEnds_.empty()) return;
  auto block = std::make_unique<Block>();
  block->lines = openEnds_.size();
  const size_t endsBytes = openEnds_.size() * sizeof(uint32_t);
  block->unpacked.resize(endsBytes + open_.size());
  std::memcpy(block->unpacked.data(), openEnds_.data(), endsBytes);
  std::memcpy(block->unpacked.data() + endsBytes, open_.data(), open_.size());
  blockFirst_.push_back(count_ - openEnds_.size());
  open_.clear();
  if (open_.capacity() > 2 * kBlockBytes) std::string().swap(open_);  // after a huge line
  openEnds_.clear();

  Block* b = block.get();
  blocks_.push_back(std::move(block));
  const auto pack = [b] {
    b->packed = qCompress(reinterpret_cast<const uchar*>(b->unpacked.data()),
                          static_cast<qsizetype>(b->unpacked.size()), kFastestPacking);
    b->packed.squeeze();  // packing leaves room for data that would not shrink
    std::string().swap(b->unpacked);
  };
  // A reader faster than the packers would otherwise pile up unpacked blocks.
  if (packing_.load(std::memory_order_acquire) >= 2 * packers_->maxThreadCount()) {
    pack();
    return;
  }
  packing_.fetch_add(1, std::memory_order_acq_rel);
  packers_->start([this, pack] {
    pack();
    packing_.fetch_sub(1, std::memory_order_acq_rel);
  });
}

void PreviewLines::Keep(std::vector<std::unique_ptr<Holder>>& holders) {
  for (auto& holder : holders) {
    if (holder->tooMany) {
      notHeld_.push_back(holder->held.column);  // not tried again for these lines
      continue;
    }
    holder->held.ids.shrink_to_fit();
    held_.push_back(std::move(holder->held));
  }
  holders.clear();
}

void PreviewLines::Finish() {
  Seal();
  Keep(filling_);
  WaitForPacking();
}

size_t PreviewLines::BlockOf(size_t line) const {
  return static_cast<size_t>(std::upper_bound(blockFirst_.begin(), blockFirst_.end(), line) -
                             blockFirst_.begin()) -
         1;
}

std::string_view PreviewLines::LineOf(const QByteArray& unpacked, size_t lines, size_t k) {
  const char* base = unpacked.constData();
  uint32_t begin = 0, end = 0;
  if (k > 0) std::memcpy(&begin, base + (k - 1) * sizeof(uint32_t), sizeof begin);
  std::memcpy(&end, base + k * sizeof(uint32_t), sizeof end);
  return std::string_view(base + lines * sizeof(uint32_t) + begin, end - begin);
}

QByteArray PreviewLines::Unpack(const Block& block) {
  QByteArray bytes =
      qUncompress(reinterpret_cast<const uchar*>(block.packed.constData()), block.packed.size());
  // Unpacking fails only for want of memory.
  if (bytes.size() < static_cast<qsizetype>(block.lines * sizeof(uint32_t))) {
    throw std::bad_alloc();
  }
  return bytes;
}

const QByteArray& PreviewLines::Unpacked(size_t block) const {
  for (const Cached& c : cache_) {
    if (c.block == block) return c.bytes;
  }
  WaitForPacking();
  Cached& slot = cache_[nextSlot_];
  nextSlot_ = (nextSlot_ + 1) % cache_.size();
  slot.bytes = Unpack(*blocks_[block]);
  slot.block = block;
  return slot.bytes;
}

std::string_view PreviewLines::Line(size_t i) const {
  const size_t openFirst = count_ - openEnds_.size();
  if (i >= openFirst) {
    const size_t k = i - openFirst;
    const uint32_t begin = k == 0 ? 0 : openEnds_[k - 1];
    return std::string_view(open_).substr(begin, openEnds_[k] - begin);
  }
  const size_t b = BlockOf(i);
  return LineOf(Unpacked(b), blocks_[b]->lines, i - blockFirst_[b]);
}

void PreviewLines::ForEach(size_t first, size_t end,
                           const std::function<void(size_t, std::string_view)>& visit) const {
  end = std::min(end, count_);
  if (first >= end) return;
  WaitForPacking();
  const size_t openFirst = count_ - openEnds_.size();
  QByteArray unpacked;
  for (size_t b = first < openFirst ? BlockOf(first) : blocks_.size(); b < blocks_.size(); ++b) {
    const size_t blockFirst = blockFirst_[b];
    if (blockFirst >= end) return;
    const Block& block = *blocks_[b];
    unpacked = Unpack(block);
    for (size_t k = first > blockFirst ? first - blockFirst : 0;
         k < block.lines && blockFirst + k < end; ++k) {
      visit(blockFirst + k, LineOf(unpacked, block.lines, k));
    }
  }
  for (size_t i = std::max(first, openFirst); i < end; ++i) visit(i, Line(i));
}

void PreviewLines::Hold(const std::vector<int32_t>& columns, const std::function<void()>& pause) {
  std::erase_if(held_, [&](const HeldColumn& h) {
    return std::find(columns.begin(), columns.end(), h.column) == columns.end();
  });
  std::vector<int32_t> missing;
  for (int32_t column : columns) {
    if (Held(column) == nullptr &&
        std::find(notHeld_.begin(), notHeld_.end(), column) == notHeld_.end()) {
      missing.push_back(column);
    }
  }
  if (missing.empty()) return;
  std::vector<std::unique_ptr<Holder>> holders;
  std::sort(missing.begin(), missing.end());
  missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
  for (int32_t column : missing) {
    holders.push_back(std::make_unique<Holder>());
    holders.back()->held.column = column;
    holders.back()->held.ids.reserve(count_);
  }
  ForEach(0, count_, [&](size_t i, std::string_view line) {
    if (pause && i % 4096 == 4095) pause();
    AddToHolders(holders, line);
  });
  Keep(holders);
}

void PreviewLines::SetDelimiter(FieldDelimiter delimiter) {
  if (delimiter == delimiter_) return;
  delimiter_ = delimiter;
  held_.clear();  // split at the other delimiter
  notHeld_.clear();
  filling_.clear();  // held again once the reading ends
}

const PreviewLines::HeldColumn* PreviewLines::Held(int32_t column) const {
  for (const HeldColumn& h : held_) {
    if (h.column == column && h.ids.size() == count_) return &h;
  }
  return nullptr;
}

}  // namespace vantrelix
