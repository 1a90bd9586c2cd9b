#pragma once

#include <QString>

#include <functional>

#include <vector>

#include "layout_guess.h"
#include "preview_model.h"
#include "regional.h"
#include "setup_record.h"

namespace vantrelix {

// What the field selector's readings lines and suggestion buttons show: the
// preview's date and time columns read by the pass's rules, each row marked,
// and a better reading where one reads more dates surely right.
struct PreviewReadings {
  QString dateText, timeText;                     // "Dates: 2 of 4 read · ..."
  bool dateWarning = false, timeWarning = false;  // something left as it came or doubtful
  LayoutChoice dateSuggested, timeSuggested;
  QString dateButton, timeButton;  // the offer; empty: none
};

// Reads and marks the two columns (`blankRows`: rows from empty lines) by
// `reading`; the box texts name a layout that is none of the list. `pause`,
// where given, is called every few thousand rows or texts (see CountDates).
PreviewReadings ReadPreview(PreviewColumnModel& dateColumn, PreviewColumnModel& timeColumn,
                            const std::vector<bool>& blankRows, const SetupRecord& reading,
                            const RegionalSettings& regional, int year, const QString& dateBoxText,
                            const QString& timeBoxText, const std::function<void()>& pause = {});

}  // namespace vantrelix
