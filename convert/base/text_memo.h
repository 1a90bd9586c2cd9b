#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrelix {

// Answers for short texts met lately. Exports repeat their dates and times
// line after line (a few hundred distinct texts in a column of a million), so
// a pass answers a text from memory rather than reading it again. A table of
// 4096 pairs of slots; a text falls on one pair, and the one met longest ago
// gives way to a new one.
template <typename Answer>
class TextMemo {
 public:
  static constexpr size_t kLongest = 24;

  TextMemo() : slots_(kSlots) {}

  // The answer noted for `text`, or nullptr; a text that is empty or longer
  // than kLongest never has one.
  const Answer* Find(std::string_view text) {
    if (text.empty() || text.size() > kLongest) {
      last_ = nullptr;
      return nullptr;
    }
    const Key key = KeyOf(text);
    Slot* const pair = &slots_[(key.Mix() >> (64 - kSlotBits)) & ~size_t{1}];
    if (pair[0].key == key) return &pair[0].answer;
    if (pair[1].key == key) {
      std::swap(pair[0], pair[1]);  // the one met last comes first
      return &pair[0].answer;
    }
    last_ = pair;
    lastKey_ = key;
    return nullptr;
  }
  // Notes the answer for the text the last Find did not find.
  void Note(const Answer& answer) {
    if (last_ == nullptr) return;
    last_[1] = last_[0];
    last_[0].key = lastKey_;
    last_[0].answer = answer;
    last_ = nullptr;
  }

 private:
  // The text's size and bytes in three words. For a given size the words
  // hold every byte (loads that overlap where the text is shorter), so two
  // texts are equal exactly when their keys are.
  struct Key {
    uint64_t w[3] = {};
    uint64_t size = 0;  // 0: a slot never filled
    bool operator==(const Key&) const = default;
    // The product's high bits mix every byte.
    uint64_t Mix() const {
      return (w[0] ^ (w[1] << 21 | w[1] >> 43) ^ (w[2] << 42 | w[2] >> 22) ^ size) *
             0x9E3779B97F4A7C15u;
    }
  };
  static uint64_t Load8(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  }
  static Key KeyOf(std::string_view text) {
    Key k;
    const char* const p = text.data();
    const size_t n = text.size();  // 1 to kLongest
    k.size = n;
    if (n >= 8) {
      k.w[0] = Load8(p);
      k.w[1] = Load8(p + (n > 16 ? 8 : n - 8));
      if (n > 16) k.w[2] = Load8(p + n - 8);
    } else if (n >= 4) {
      uint32_t a, b;
      std::memcpy(&a, p, 4);
      std::memcpy(&b, p + n - 4, 4);
      k.w[0] = a | uint64_t{b} << 32;
    } else {
      k.w[0] = static_cast<uint8_t>(p[0]) |
               static_cast<uint64_t>(static_cast<uint8_t>(p[n / 2])) << 8 |
               static_cast<uint64_t>(static_cast<uint8_t>(p[n - 1])) << 16;
    }
    return k;
  }
  struct Slot {
    Key key;
    Answer answer{};
  };
  static constexpr int kSlotBits = 13;
  static constexpr size_t kSlots = size_t{1} << kSlotBits;
  std::vector<Slot> slots_;
  Slot* last_ = nullptr;
  Key lastKey_;
};

}  // namespace vantrelix
