#include "preview_readings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "count_text.h"
#include "field_selector_text.h"
#include "normalise.h"
#include "unread.h"

namespace vantrelix {

namespace {

// Distinct texts beyond this many are not tried for a suggestion: every
// trial converts each distinct text once.
constexpr size_t kSuggestionSample = 4000;

constexpr int kRowsBetweenPauses = 2048;

// Distinct texts remembered with their judgement and count; a column of
// more (no date column of a real export has them) is judged row by row past
// them, so that its memory stays bounded.
constexpr size_t kRemembered = 65536;

struct ColumnReading {
  int64_t examined = 0;
  int64_t read = 0;
  DateTally tally;                // the column by the reading in use
  bool capped = false;            // `texts` holds only the first kRemembered texts
  int64_t doubtful = 0;           // of the read ones: may be read in the wrong order
  bool onlyDayMonthSwap = false;  // the doubt is that day and month are swapped
  TextCounts texts;               // the distinct texts with something to read
};

// Why a doubtful row of the column is doubtful, for its tooltip; empty when
// none is.
QString DoubtText(const DateTally& tally) {
  if (tally.Doubtful() == 0) return {};
  if (tally.OnlyDayMonthSwap()) {
    return "Day and month may be swapped: other dates of this column read only the other way "
           "round.";
  }
  if (tally.RevealedByYearsOnly()) {
    return "May be read in the wrong order: every date of this column reads " +
           FromBytes(tally.OtherOrdersText()) + " as well, with years nearer to now.";
  }
  return "May be read in the wrong order: other dates of this column read only " +
         FromBytes(tally.OtherOrdersText()) + ".";
}

// Marks every preview row of a date or time column by the pass's rules and
// its tally; each distinct text is converted once.
ColumnReading ReadColumn(PreviewColumnModel& model, const std::vector<bool>& blankRows,
                         DateTally tally, const std::function<DateJudgement(std::string&)>& judge,
                         const std::function<bool(std::string&)>& convert,
                         const std::function<void()>& pause) {
  using Reading = PreviewColumnModel::Reading;
  struct Seen {
    DateJudgement judgement;
    size_t index;  // into `texts`
  };
  ColumnReading result;
  std::unordered_map<std::string, Seen> seen;
  std::vector<Reading> readings(static_cast<size_t>(model.Rows()), Reading::kNothingToRead);
  std::vector<std::pair<int, DateJudgement>> mayBeDoubtful;  // read rows another order reads
  std::vector<Seen> seenById;  // held columns number their texts: no hashing per row
  Seen uncounted;              // a text past the remembered ones
  std::string field;
  model.ForEachRow([&](int row, std::string_view text, int32_t id) {
    if (pause && row % kRowsBetweenPauses == kRowsBetweenPauses - 1) pause();
    if (text.empty() || (static_cast<size_t>(row) < blankRows.size() && blankRows[row])) return;
    Seen* s = nullptr;
    if (id >= 0 && static_cast<size_t>(id) < seenById.size() &&
        seenById[static_cast<size_t>(id)].index != SIZE_MAX) {
      s = &seenById[static_cast<size_t>(id)];
    } else if (seen.size() >= kRemembered && seen.find(std::string(text)) == seen.end()) {
      result.capped = true;
      field = text;
      uncounted = Seen{judge(field), SIZE_MAX};
      s = &uncounted;
    } else {
      auto [it, fresh] = seen.try_emplace(std::string(text), Seen{{}, result.texts.size()});
      if (fresh) {
        field = text;
        it->second.judgement = judge(field);
        result.texts.emplace_back(std::string(text), 0);
      }
      s = &it->second;
      if (id >= 0) {
        if (static_cast<size_t>(id) >= seenById.size()) {
          seenById.resize(static_cast<size_t>(id) + 1, Seen{{}, SIZE_MAX});
        }
        seenById[static_cast<size_t>(id)] = *s;
      }
    }
    if (s->index != SIZE_MAX) ++result.texts[s->index].second;
    ++result.examined;
    const DateJudgement& j = s->judgement;
    tally.Add(j);
    const bool read = j.verdict == DateVerdict::kRead;
    if (read) ++result.read;
    if (read && j.differs != 0) mayBeDoubtful.emplace_back(row, j);
    readings[static_cast<size_t>(row)] = read ? Reading::kRead : Reading::kLeftAsItCame;
  });
  for (size_t i = 0; i < mayBeDoubtful.size(); ++i) {
    if (pause && i % kRowsBetweenPauses == kRowsBetweenPauses - 1) pause();
    const auto& [row, j] = mayBeDoubtful[i];
    if (tally.IsDoubtful(j)) readings[static_cast<size_t>(row)] = Reading::kDoubtful;
  }
  result.doubtful = tally.Doubtful();
  result.onlyDayMonthSwap = tally.OnlyDayMonthSwap();
  result.tally = tally;
  model.SetReadings(
      std::move(readings),
      [convert](std::string_view text) {
        std::string out(text);
        convert(out);
        return out;
      },
      DoubtText(tally));
  return result;
}

// How many rows of a column `count` says yes to, row by row (for a column
// whose texts were not all remembered).
int64_t CountRows(const PreviewColumnModel& model, const std::vector<bool>& blankRows,
                  const std::function<bool(std::string&)>& count,
                  const std::function<void()>& pause) {
  int64_t yes = 0;
  std::string field;
  model.ForEachRow([&](int row, std::string_view text, int32_t) {
    if (pause && row % kRowsBetweenPauses == kRowsBetweenPauses - 1) pause();
    if (text.empty() || (static_cast<size_t>(row) < blankRows.size() && blankRows[row])) return;
    field = text;
    yes += count(field) ? 1 : 0;
  });
  return yes;
}

TextCounts Sample(const TextCounts& texts) {
  if (texts.size() <= kSuggestionSample) return texts;
  return TextCounts(texts.begin(), texts.begin() + kSuggestionSample);
}

QString Quoted(std::string_view text) {
  return FromBytes(QuotedForLog(text));
}

QString Evidence(DayMonthEvidence evidence) {
  switch (evidence) {
    case DayMonthEvidence::kDayFirst:
      return " · the dates are day first (a first number above 12)";
    case DayMonthEvidence::kMonthFirst:
      return " · the dates are month first (a second number above 12)";
    case DayMonthEvidence::kBoth:
      return " · the dates mix both orders";
    case DayMonthEvidence::kNone:
      break;
  }
  return " · the dates do not tell the day from the month";
}

// What a reading of the preview needs besides its columns.
struct ReadingContext {
  const std::vector<bool>& blankRows;
  const SetupRecord& reading;
  const RegionalSettings& regional;
  int year;
  const std::function<void()>& pause;
};

// "Dates: 2 of 4 read, 1 of them may ...", and the box's text where it names
// no layout of the list.
QString CountsText(const char* what, const ColumnReading& c, int32_t layout,
                   const QString& boxText) {
  QString text = QString(what) + ": ";
  if (c.examined == 0) return text + "none in the preview";
  text += FromBytes(WithThousands(c.read) + " of " + WithThousands(c.examined)) + " read";
  if (c.doubtful > 0) {
    text += ", " + FromBytes(WithThousands(c.doubtful)) +
            (c.onlyDayMonthSwap ? " of them may have day and month swapped"
                                : " of them may be read in the wrong order");
  }
  if (layout < 0) {
    text += boxText.isEmpty() ? QString(" · no layout chosen")
                              : " · \"" + boxText + "\" is no layout of the list";
  }
  return text;
}

// " · day first, "." (de_DE)": the order the dates are read in, from the
// regional settings or the layout in use; empty for no layout of the list.
QString DateOrderInUse(const SetupRecord& reading, const RegionalSettings& regional) {
  const int32_t layout = reading.DateLayout();
  if (layout == 0) {
    return " · " + FromBytes(DateOrderName(regional)) + ", " +
           Quoted(std::string_view(&regional.dateSeparatorChar, 1)) + " (" +
           FromBytes(regional.localeName) + ")";
  }
  if (layout < 0 || layout >= static_cast<int32_t>(kDateLayoutItems.size())) return {};
  // A layout states its order whatever the locale.
  static constexpr const char* kOrders[] = {
      "",           "year first", "day, year, month", "year first",
      "year first", "day first",  "month first",      "month by name"};
  const char delimiter = reading.DateDelimiter();
  return " · " + QString(kOrders[layout]) +
         (DateLayoutTakesDelimiter(layout) ? ", " + Quoted(std::string_view(&delimiter, 1))
                                           : QString()) +
         " (" + FromBytes(ItemAt(kDateLayoutItems, layout)) + ")";
}

// A suggestion button's text: "Use "dd/mm/yy" with ".": reads 4 of 5 dates".
QString OfferText(std::string_view layoutName, bool takesDelimiter, char delimiter, int64_t read,
                  const std::string& ofExamined) {
  QString use = "Use " + Quoted(layoutName);
  if (takesDelimiter) use += " with " + Quoted(std::string_view(&delimiter, 1));
  return use + ": reads " + FromBytes(WithThousands(read) + " of " + ofExamined);
}

// Where dates are left as they came or doubtful: the layout that reads more
// of them surely right, offered on the button, and what the dates tell of
// their order.
void OfferDateReading(const ColumnReading& dates, const PreviewColumnModel& dateColumn,
                      const ReadingContext& in, PreviewReadings& r, QString& dateText) {
  const TextCounts sample = Sample(dates.texts);
  r.dateSuggested = BestDateLayout(sample, in.reading, in.regional, in.year, in.pause);
  SetupRecord suggested = in.reading;
  suggested.SetDateLayout(r.dateSuggested.layout);
  suggested.SetDateDelimiter(r.dateSuggested.delimiter);
  const DateTally& now = dates.tally;
  DateTally then;
  if (!dates.capped) then = CountDates(dates.texts, suggested, in.regional, in.year, in.pause);
  int64_t thenRead = then.Read();
  if (dates.capped) {
    // Past the remembered texts only the count of those read is had: the
    // suggestion is better when it reads more.
    thenRead = CountRows(
        dateColumn, in.blankRows,
        [&](std::string& field) {
          return JudgeDate(field, suggested, in.regional, in.year).verdict == DateVerdict::kRead;
        },
        in.pause);
  }
  if (r.dateSuggested.otherKind) {
    dateText += " · these look like times";
    return;
  }
  const bool better = dates.capped ? thenRead > dates.read
                                   : then.Sure() > now.Sure() || (then.Sure() == now.Sure() &&
                                                                  then.Doubtful() < now.Doubtful());
  if (better) {
    r.dateButton =
        OfferText(ItemAt(kDateLayoutItems, r.dateSuggested.layout),
                  DateLayoutTakesDelimiter(r.dateSuggested.layout), r.dateSuggested.delimiter,
                  thenRead, CountOf(dates.examined, "date", "dates"));
  }
  dateText += Evidence(DayMonthOf(sample, better ? r.dateSuggested.layout : in.reading.DateLayout(),
                                  better ? r.dateSuggested.delimiter : in.reading.DateDelimiter()));
}

// Where times are left as they came: the layout that reads more of them,
// offered on the button.
void OfferTimeReading(const ColumnReading& times, const PreviewColumnModel& timeColumn,
                      const ReadingContext& in, PreviewReadings& r, QString& timeText) {
  r.timeSuggested = BestTimeLayout(Sample(times.texts), in.reading, in.regional, in.pause);
  SetupRecord suggested = in.reading;
  suggested.SetTimeLayout(r.timeSuggested.layout);
  suggested.SetTimeDelimiter(r.timeSuggested.delimiter);
  const int64_t read =
      times.capped
          ? CountRows(
                timeColumn, in.blankRows,
                [&](std::string& field) { return TimeConvert(field, suggested, in.regional); },
                in.pause)
          : TimesRead(times.texts, suggested, in.regional, in.pause);
  if (r.timeSuggested.otherKind) {
    timeText += " · these look like dates";
  } else if (read > times.read) {
    r.timeButton =
        OfferText(ItemAt(kTimeLayoutItems, r.timeSuggested.layout),
                  TimeLayoutTakesDelimiter(r.timeSuggested.layout), r.timeSuggested.delimiter, read,
                  CountOf(times.examined, "time", "times"));
  }
}

}  // namespace

PreviewReadings ReadPreview(PreviewColumnModel& dateColumn, PreviewColumnModel& timeColumn,
                            const std::vector<bool>& blankRows, const SetupRecord& reading,
                            const RegionalSettings& regional, int year, const QString& dateBoxText,
                            const QString& timeBoxText, const std::function<void()>& pause) {
  const ReadingContext in{blankRows, reading, regional, year, pause};
  const auto convertTime = [reading, regional](std::string& field) {
    return TimeConvert(field, reading, regional);
  };
  const ColumnReading dates = ReadColumn(
      dateColumn, blankRows, DateTally(LayoutOrderOf(reading.DateLayout(), regional)),
      [reading, regional, year](std::string& field) {
        return JudgeDate(field, reading, regional, year);
      },
      [reading, regional, year](std::string& field) {
        return DateConvert(field, reading, regional, year);
      },
      pause);
  const ColumnReading times = ReadColumn(
      timeColumn, blankRows, DateTally(),
      [convertTime](std::string& field) {
        DateJudgement j;
        j.verdict = convertTime(field) ? DateVerdict::kRead : DateVerdict::kUnread;
        return j;
      },
      convertTime, pause);

  PreviewReadings r;
  QString dateText = CountsText("Dates", dates, reading.DateLayout(), dateBoxText);
  QString timeText = CountsText("Times", times, reading.TimeLayout(), timeBoxText);
  if (dates.examined > 0) dateText += DateOrderInUse(reading, regional);
  if (times.examined > 0 && reading.TimeLayout() >= 0) {
    timeText += " · " + Quoted(std::string_view(&regional.timeSeparatorChar, 1)) + " (" +
                FromBytes(regional.localeName) + ")";
  }
  if (dates.read < dates.examined || dates.doubtful > 0) {
    OfferDateReading(dates, dateColumn, in, r, dateText);
  }
  if (times.read < times.examined) OfferTimeReading(times, timeColumn, in, r, timeText);

  r.dateWarning = dates.read < dates.examined || dates.doubtful > 0;
  r.timeWarning = times.read < times.examined || times.doubtful > 0;
  // A field without a column goes out empty in every record.
  const auto missing = [](const char* what, const char* field) {
    return QString(what) + ": no column is set for the appointment " + field +
           ": every record goes out without one";
  };
  if (reading.Position(FieldSlot::kDate) <= 0) {
    dateText = missing("Dates", "date");
    r.dateWarning = true;
  }
  if (reading.Position(FieldSlot::kTime) <= 0) {
    timeText = missing("Times", "time");
    r.timeWarning = true;
  }
  r.dateText = dateText;
  r.timeText = timeText;
  return r;
}

}  // namespace vantrelix
