// Times the field selector's "All Records" preview of a source file, the
// recount of its dates and times, and a scroll to its end afterwards (how
// responsive the filled window is).
//   preview_bench SOURCE        (QT_QPA_PLATFORM=offscreen, or under a display)
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListView>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>

#include "program_state.h"
#include "startup.h"
#include "tform1.h"
#include "tform2.h"

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

  QElapsedTimer clock;
  clock.start();
  form.findChild<QRadioButton*>("RadioGroup1Item1")->click();  // "All Records"
  app.processEvents();
  const double fill = clock.nsecsElapsed() / 1e9;

  // The fill includes one such recount; the layout boxes run it on every change.
  clock.restart();
  form.ShowReadings();
  const double readings = clock.nsecsElapsed() / 1e9;

  // The header box, as a spinner or a layout box would: the preview again.
  clock.restart();
  form.findChild<QCheckBox*>("CheckBox1")->click();
  app.processEvents();
  const double change = clock.nsecsElapsed() / 1e9;

  auto* list = form.findChild<QListView*>("ListBox1");
  clock.restart();
  for (int i = 0; i < 20; ++i) {
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() * i / 19);
    list->viewport()->repaint();
    app.processEvents();
  }
  const double scroll = clock.nsecsElapsed() / 1e9 / 20;
  std::printf(
      "rows %d, fill %.3f s (of which dates and times read %.3f s), the header box %.3f s, "
      "one scroll and repaint %.2f ms\n",
      list->model()->rowCount(), fill, readings, change, scroll * 1000);
  return 0;
}
