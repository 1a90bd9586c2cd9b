#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "program_state.h"

namespace vantrelix {

class TForm1;
class TForm2;
class TGuardApplication;

// Linux broadcasts no change of the regional settings; Qt reports one as
// QEvent::LocaleChange to the application, and then they are read again.
class LocaleWatcher : public QObject {
 public:
  explicit LocaleWatcher(ProgramState& state) : state_(state) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ProgramState& state_;
};

// Both windows, created and started in the order of a run: Form1 (its timer
// counting from then on, the guard, FormCreate), Form2 hidden, Form1 shown,
// FormActivate. The event loop is the caller's.
class WindowProgram {
 public:
  // `startDelayMs`: the first tick's delay (tests shorten it).
  explicit WindowProgram(ProgramState& state, TGuardApplication* guard = nullptr,
                         int startDelayMs = 1000);
  ~WindowProgram();
  void Start();
  // Start, then the event loop unless an end was asked for already; gives
  // the exit status.
  int Run();
  TForm1& Form1() { return *form1_; }
  TForm2& Form2() { return *form2_; }

 private:
  ProgramState& state_;
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
};

// The whole program with windows; gives the exit status. `programPath`: the
// program as it was started (its name names the guard and the title).
int RunWithWindows(int argc, char** argv, const std::string& programPath);

}  // namespace vantrelix
