// The field selector's reading of the source: the lines held for the preview,
// read with the window alive, and read again only for another file, another
// choice of records, or a file changed since.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>

#include "boxes.h"
#include "conversion_run.h"
#include "field_selector_text.h"
#include "posix_file.h"
#include "program_state.h"
#include "setup_file.h"
#include "source_file.h"
#include "source_lines.h"
#include "text_file.h"
#include "tform2.h"
#include "ui_form2.h"

namespace vantrelix {

void TForm2::LoadUp() {
  if (filling_) {
    // Columns, header and layouts are taken from the controls as the reading
    // ends; another file or "First 5" reads again, once this reading gives up.
    refill_ = refill_ || SourceName() != fillingKey_.name ||
              (SelectedRadioItem() != 0) != fillingKey_.allRecords;
    return;
  }
  do {
    refill_ = false;
    if (GivingUp()) return;
    LoadUpOnce();
  } while (refill_);
}

bool TForm2::AwaitsFirstChoice(const std::string& name) const {
  return name == state_.paths.dataFolder + "/" + kSampleSourceName && !FileExists(name);
}

bool TForm2::GivingUp() const {
  return closing_ || state_.terminationRequested;
}

void TForm2::LoadUpOnce() {
  const std::string name = SourceName();
  if (name.empty()) {
    // A reading given up for an emptied box leaves no half of a file shown.
    if (!linesKey_.valid && lines_.Count() > 0) {
      LinesChanging();
      lines_.Clear();
      ShowCount(ShowColumns());
      ShowReadings();
    }
    return;
  }
  previewedName_ = name;
  if (NothingNamed(name)) {
    LinesChanging();
    lines_.Clear();
    linesKey_ = {};
    ShowColumns();
    ShowReadings();
    if (AwaitsFirstChoice(name)) {
      firstStepHint_->show();
    } else {
      ShowMessageBox(state_, MissingFileMessage(name));
    }
    return;
  }
  try {
    ReadLines(name, SelectedRadioItem() != 0);
  } catch (...) {
    ShowCount(ShowColumns());  // the rows read so far stay
    ShowReadings();
    throw;
  }
  if (refill_ || GivingUp()) return;
  ShowCount(ShowColumns());
  ShowReadings();
}

void TForm2::ReadLines(const std::string& name, bool allRecords) {
  struct stat status {};
  LinesKey key;
  if (::stat(name.c_str(), &status) == 0) {
    key = {name, allRecords, true, FileVersion::Of(status)};
  }
  // The same file, unchanged since it was read: its lines are at hand.
  if (key.valid && key == linesKey_) return;
  linesKey_ = {};
  LinesChanging();
  lines_.Clear();
  lines_.HoldWhileReading({Position(FieldSlot::kDate), Position(FieldSlot::kTime)});
  TextReader reader = OpenSource(name, {});
  filling_ = true;
  fillingKey_ = {name, allRecords};
  const auto filled = qScopeGuard([this] {
    filling_ = false;
    lines_.Finish();
  });
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  int64_t read = 0;
  size_t bytesSinceClock = 0;
  bool complete = true;
  ForEachSourceLine(reader, false, 1, FieldDelimiter::kCommaOrTab, [&](const SourceLine& line) {
    lines_.Append(line.text);
    ++read;
    // A big file is read with the window alive: it redraws, and takes clicks
    // and keys, which change the controls and may ask for another reading.
    // The clock is looked at every thousand lines or megabyte.
    bytesSinceClock += line.text.size();
    if (((read & 0x3FF) == 0 || bytesSinceClock >= (1 << 20)) &&
        sinceEvents.elapsed() >= kEventsEveryMs) {
      ShowCount(read);
      ShowColumns(false);  // the rows read so far
      QCoreApplication::processEvents();
      sinceEvents.restart();
      bytesSinceClock = 0;
      if (refill_ || GivingUp()) {
        complete = false;
        return false;
      }
    }
    // "First 5 Records Only": five lines, a header among them.
    return allRecords || line.number < 5;
  });
  // What the file is written in, where it is not read as its bytes.
  const std::string_view encoding = EncodingName(reader.Encoding());
  const QString tip = ui_->Edit1->toolTip().section('\n', 0, 0);  // the design's own
  ui_->Edit1->setToolTip(encoding.empty() ? tip : tip + "\n" + FromBytes(encoding));
  reader.Close();
  if (complete) linesKey_ = key;
}

}  // namespace vantrelix
