#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "regional.h"
#include "setup_record.h"
#include "text_memo.h"

namespace vantrelix {

// The shapes a date text comes in, and the orders its numbers can stand in.
// A text has one shape; the orders are those of that shape: all five for
// numbers with a separator between them, the first three for six or eight
// digits (yymmdd, ddmmyy, mmddyy; yyyymmdd, ddmmyyyy, mmddyyyy).
enum class DateShape : uint8_t { kNone, kSeparated, kSixDigits, kEightDigits };
inline constexpr int kDateShapeCount = 4;
enum DateOrder : uint8_t {
  kMonthDayYear,
  kDayMonthYear,
  kYearMonthDay,
  kYearDayMonth,
  kDayYearMonth
};
inline constexpr int kDateOrderCount = 5;
using OrderMask = uint8_t;  // bit 1 << DateOrder

// The dates a text reads as in each order of its shape: three numbers with
// one separator (any byte but a digit; blanks alone between the numbers count
// as one), blanks at either end and one trailing separator allowed; or six or
// eight digits. Two-digit years are placed by the century window.
struct DateReadings {
  DateShape shape = DateShape::kNone;
  char separator = '\0';  // the separated shape's
  OrderMask reads = 0;
  std::array<CivilDate, kDateOrderCount> dates{};
};
DateReadings ReadingsOf(std::string_view text, int currentYear, int centuryWindowYears);

// The shape and order a date layout reads in; shape kNone for a layout
// outside the list. Layout 0 reads in the regional order.
struct LayoutOrder {
  DateShape shape = DateShape::kNone;
  DateOrder order = kMonthDayYear;
};
LayoutOrder LayoutOrderOf(int32_t layout, const RegionalSettings& settings);
// The layout that reads a shape in an order, -1 when none does.
int32_t LayoutOfOrder(DateShape shape, DateOrder order);
// "month first", "ddmmyy", ...
std::string OrderName(DateShape shape, DateOrder order);

// What became of one date field.
enum class DateVerdict { kNothingToRead, kRead, kUnread };
struct DateJudgement {
  DateVerdict verdict = DateVerdict::kNothingToRead;
  DateShape shape = DateShape::kNone;
  OrderMask reads = 0;    // the orders it reads in
  OrderMask differs = 0;  // read: the orders that read it as another date than the one written
  // Of those, the ones whose year lies nearer to now than the written one's,
  // and farther from it.
  OrderMask nearer = 0, farther = 0;
  // Unread: the order in use reads it, with another separator. It tells
  // nothing of the order then.
  bool readsInUse = false;
  char separator = '\0';
};

// Converts `field` as DateConvert does and says what became of it.
DateJudgement JudgeDate(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings, int currentYear);

// Judges the dates of one pass by one reading. Exports repeat their dates
// line after line, so a text met lately is answered from memory, converted
// as before.
class DateJudge {
 public:
  DateJudge(const SetupRecord& record, const RegionalSettings& settings, int currentYear);
  // Judges a column as it stands in the line (`raw`; `quoted` when it holds
  // quotes, which its text leaves out). `written` gets the field as the
  // import file takes it, the date converted or the text as it came; it
  // lasts until the next call, or while `scratch` is left alone, and so
  // does the judgement.
  const DateJudgement& Judge(std::string_view raw, bool quoted, std::string& scratch,
                             std::string_view& written) {
    const Answer* known = memo_.Find(raw);
    if (known != nullptr && known->outSize != 0) {
      written = std::string_view(known->out, known->outSize);
      return known->judgement;
    }
    return JudgeAgain(raw, quoted, scratch, written, known);
  }

 private:
  struct Answer;
  // The text, and its judgement: `known` from memory (an unread text), or
  // judged now.
  const DateJudgement& JudgeAgain(std::string_view raw, bool quoted, std::string& scratch,
                                  std::string_view& written, const Answer* known);

  struct Answer {
    DateJudgement judgement;
    uint8_t outSize = 0;  // 0: not read, written as it came
    char out[8] = {};     // the date as written
  };
  const SetupRecord& record_;
  const RegionalSettings& settings_;
  int currentYear_;
  TextMemo<Answer> memo_;
  DateJudgement judged_;  // the last one not answered from memory
};

// The one tally of a date column that the pass, the check, the layout
// suggestion and the field selector share, so that they cannot disagree on
// which dates are doubtful. A read date is doubtful when it reads as another
// date in an order that the column shows: one in which some date reads that
// the reading in use leaves unread, or one that reads every read date of the
// column with years nearer to now (281226 as ddmmyy, 28 December 2026,
// rather than yymmdd, 26 December 2028).
class DateTally {
 public:
  struct Example {
    int64_t line;
    std::string text;
  };
  static constexpr size_t kExamples = 3;

  DateTally() = default;
  explicit DateTally(LayoutOrder inUse) : inUse_(inUse) {}

  // `n` fields judged `j`; for a possibly doubtful one, `example` gives its
  // line and text as it came, asked only for the first few.
  template <typename ExampleOf>
  void Add(const DateJudgement& j, int64_t n, ExampleOf example) {
    const auto s = static_cast<size_t>(j.shape);
    switch (j.verdict) {
      case DateVerdict::kNothingToRead:
        nothingToRead_ += n;
        return;
      case DateVerdict::kRead:
        read_ += n;
        readByReads_[s][j.reads] += n;
        for (unsigned m = j.nearer | j.farther; m != 0; m &= m - 1) {
          const int o = std::countr_zero(m);
          ((j.nearer >> o & 1) != 0 ? nearer_ : farther_)[s][static_cast<size_t>(o)] += n;
        }
        if (j.differs != 0) {
          int64_t& count = readDiffering_[s][j.differs];
          if (count < static_cast<int64_t>(kExamples)) {
            examples_.push_back({j.shape, j.differs, example()});
          }
          count += n;
        }
        break;
      case DateVerdict::kUnread:
        unread_ += n;
        if (!j.readsInUse && j.reads != 0) {
          revealed_[s] |= j.reads;
          unreadRevealing_ += n;
        }
        break;
    }
    if (j.reads != 0) BySeparator(j.shape, j.separator)[j.reads] += n;
  }
  void Add(const DateJudgement& j, int64_t n = 1) {
    Add(j, n, [] { return Example{0, {}}; });
  }

  int64_t Read() const { return read_; }
  int64_t Unread() const { return unread_; }
  int64_t NothingToRead() const { return nothingToRead_; }
  // Read dates that may be read in the wrong order, and the first of them.
  int64_t Doubtful() const;
  std::vector<Example> DoubtfulExamples() const;
  int64_t Sure() const { return read_ - Doubtful(); }
  bool IsDoubtful(const DateJudgement& j) const {
    return j.verdict == DateVerdict::kRead && (j.differs & Revealed(j.shape)) != 0;
  }
  // The orders the column shows, beside the one in use.
  OrderMask Revealed(DateShape shape) const;
  // Whether the orders shown are only those that read every date with years
  // nearer to now, no unread date.
  bool RevealedByYearsOnly() const;
  // Unread dates that read in another order, and the orders they read in.
  int64_t UnreadInOtherOrders() const;
  std::string OtherOrdersText() const;  // "month first", "month first or year first"
  // Whether the doubt is only a swap of day and month.
  bool OnlyDayMonthSwap() const;

  // The layout (and for a separated shape its delimiting char) that reads
  // the most of the column, when it reads more than the one in use; -1
  // when none does.
  struct Better {
    int32_t layout = -1;
    char delimiter = '/';
    int64_t reads = 0;
  };
  Better BetterLayout() const;

 private:
  struct Noted {
    DateShape shape;
    OrderMask differs;
    Example example;
  };
  LayoutOrder inUse_;
  int64_t read_ = 0, unread_ = 0, nothingToRead_ = 0;
  std::array<OrderMask, kDateShapeCount> revealed_{};
  std::array<std::array<int64_t, 32>, kDateShapeCount> readDiffering_{};
  std::array<std::array<int64_t, 32>, kDateShapeCount> readByReads_{};  // read dates by their reads
  std::array<std::array<int64_t, kDateOrderCount>, kDateShapeCount> nearer_{}, farther_{};
  int64_t unreadRevealing_ = 0;
  std::vector<Noted> examples_;
  // The dates by their reads and separator: a layout names one delimiting char.
  struct SeparatorReads {
    DateShape shape;
    char separator;
    std::array<int64_t, 32> byReads{};
  };
  std::vector<SeparatorReads> bySeparator_;
  std::array<int64_t, 32>& BySeparator(DateShape shape, char separator) {
    for (SeparatorReads& e : bySeparator_) {
      if (e.shape == shape && e.separator == separator) return e.byReads;
    }
    return bySeparator_.emplace_back(SeparatorReads{shape, separator, {}}).byReads;
  }
};

}  // namespace vantrelix
