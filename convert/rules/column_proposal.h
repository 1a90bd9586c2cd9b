#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "regional.h"
#include "setup_record.h"

namespace vantrelix {

// Which column each field most likely is in, read off the first lines of an
// export: the header's names where it has them, the data's shapes elsewhere.
struct ColumnProposal {
  struct Field {
    int32_t column = 0;  // 1-based; 0: nothing fits
    std::string why;     // for instance "header 'Appt Date'" or "looks like times"
  };
  std::array<Field, kFieldSlotCount> fields;
  bool firstLineIsHeader = false;
  // The readings that read the proposed date and time columns best.
  int32_t dateLayout = 0;
  char dateDelimiter = '/';
  int32_t timeLayout = 0;
  char timeDelimiter = ':';
  // Whether no date of the export tells the day from the month, so that the
  // order was guessed, and in words how the order was chosen (empty when
  // the proposed dates tell it themselves).
  bool dateOrderGuessed = false;
  std::string dateOrderNote;
  // What separates the fields: the one character that splits the lines
  // alike, or commas and TABs as ever when either does.
  FieldDelimiter delimiter = FieldDelimiter::kCommaOrTab;

  // Puts the columns, the header flag and the readings into `record`.
  void ApplyTo(SetupRecord& record) const;
  // Whether `record` already holds all of it.
  bool SameAs(const SetupRecord& record) const;
};

// The proposal for an export whose first lines (without line ends) are
// `lines`; `current` gives the readings that win a tie.
ColumnProposal ProposeColumns(const std::vector<std::string>& lines, const SetupRecord& current,
                              const RegionalSettings& regional, int currentYear);

// The field delimiter that splits most of `lines` (quotes respected) into one
// number of columns, two or more, the most columns winning: commas and TABs
// together when the export has only one of them, `current` when no
// delimiter splits the lines alike.
FieldDelimiter ProposeDelimiter(const std::vector<std::string>& lines, FieldDelimiter current);

// The proposal for the export the settings were made for: a field whose
// stored column holds values that fit it keeps that column, and so does one
// the proposal found nothing for, so that an offer never undoes or clears
// an operator's choice.
ColumnProposal KeepChosenColumns(ColumnProposal proposal, const std::vector<std::string>& lines,
                                 const SetupRecord& stored, const RegionalSettings& regional);

// How many lines of an export the proposal reads.
inline constexpr size_t kProposalLines = 200;

}  // namespace vantrelix
