// Times the field selector's "All Records" preview of a source file, the
// longest the window went without handling events while it filled, the
// recount of its dates and times, a change of the date column, and a scroll
// to its end afterwards (how responsive the filled window is).
//   preview_bench SOURCE        (QT_QPA_PLATFORM=offscreen, or under a display)
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include "preview_list.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "program_state.h"
#include "startup.h"
#include "tform1.h"
#include "tform2.h"
#include "updown.h"

namespace {

// The process's peak resident memory (VmHWM), in MB.
long PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kilobytes = 0;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> kilobytes;
      break;
    }
  }
  return kilobytes / 1024;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SOURCE\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  vantrelix::ProgramState state;
  const int32_t columns[] = {3, 5, 1, 2, 4, 6, 7};
  for (int k = 0; k < vantrelix::kFieldSlotCount; ++k)
    state.record.SetPosition(static_cast<vantrelix::FieldSlot>(k), columns[k]);
  state.record.SetSkipFirstLine(1);
  state.record.SetSourceFileName(argv[1]);
  vantrelix::WindowProgram program(state);
  program.Form1().Timer1()->stop();
  vantrelix::TForm2& form = program.Form2();
  form.show();
  form.FormActivate();
  app.processEvents();

  // A timer that wants to run every millisecond: its longest wait is the
  // longest the window was deaf.
  QElapsedTimer sinceTick;
  qint64 longestWait = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestWait = std::max(longestWait, sinceTick.nsecsElapsed());
    sinceTick.restart();
  });
  ticker.start(1);
  sinceTick.start();
  QElapsedTimer clock;
  clock.start();
  form.findChild<QRadioButton*>("RadioGroup1Item1")->click();  // "All Records"
  app.processEvents();
  const double fill = clock.nsecsElapsed() / 1e9;
  ticker.stop();

  // The fill includes one such recount; the layout boxes run it on every change.
  clock.restart();
  form.ShowReadings();
  const double readings = clock.nsecsElapsed() / 1e9;

  // The header box, as a spinner or a layout box would: the preview again.
  clock.restart();
  form.findChild<QCheckBox*>("CheckBox1")->click();
  app.processEvents();
  const double change = clock.nsecsElapsed() / 1e9;

  // The date spinner one column on and back: the dates are read from other
  // columns of the lines held.
  auto* dateSpinner = form.findChild<vantrelix::TUpDown*>("UpDown3");
  clock.restart();
  dateSpinner->UpButton()->click();
  dateSpinner->DownButton()->click();
  app.processEvents();
  const double spinner = clock.nsecsElapsed() / 1e9 / 2;

  auto* list = form.findChild<vantrelix::PreviewList*>("ListBox1");
  clock.restart();
  for (int i = 0; i < 20; ++i) {
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() * i / 19);
    list->viewport()->repaint();
    app.processEvents();
  }
  const double scroll = clock.nsecsElapsed() / 1e9 / 20;
  std::printf(
      "rows %d, fill %.3f s (longest without events %.0f ms; dates and times read again "
      "%.3f s), the header box %.3f s, a date spinner click %.3f s, one scroll and repaint "
      "%.2f ms\n",
      list->model()->rowCount(), fill, longestWait / 1e6, readings, change, spinner, scroll * 1000);

  // Each kind of change on the filled window: the longest the event loop
  // waited, from the change until the window is quiet again (a second
  // without work pending), and the peak memory so far.
  const auto stall = [&](const char* what, const std::function<void()>& change) {
    longestWait = 0;
    ticker.start(1);
    sinceTick.restart();
    change();
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 1000) app.processEvents(QEventLoop::AllEvents, 50);
    ticker.stop();
    std::printf("%-58s longest stall %6.0f ms, peak memory %4ld MB\n", what, longestWait / 1e6,
                PeakMegabytes());
  };
  auto* nameSpinner = form.findChild<vantrelix::TUpDown*>("UpDown1");
  auto* dateBox = form.findChild<QComboBox*>("ComboBox1");
  stall("patient spinner to the held time column (2)", [&] { nameSpinner->SetByOperator(2); });
  stall("patient spinner to a never-held column (4, doctors)",
        [&] { nameSpinner->SetByOperator(4); });
  stall("patient spinner to the e-mail column (7, ~all distinct)",
        [&] { nameSpinner->SetByOperator(7); });
  stall("date spinner to the e-mail column (7)", [&] { dateSpinner->SetByOperator(7); });
  stall("date layout change while there", [&] { dateBox->setCurrentIndex(5); });
  stall("date layout back", [&] { dateBox->setCurrentIndex(6); });
  stall("date spinner back to the dates (1)", [&] { dateSpinner->SetByOperator(1); });
  stall("the header box", [&] { form.findChild<QCheckBox*>("CheckBox1")->click(); });
  return 0;
}
