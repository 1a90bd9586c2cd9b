#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace Ui {
class Form1;
}

namespace vantrelix {

struct ProgramState;
class TForm2;
class TGuardApplication;
class TOneInstance;
class Program;

// The main window: a small progress display whose one-shot timer starts the
// run about a second after the window was created.
class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // `guard`: what the single-instance detection found (none: no guard
  // acts). The guard component acts once the design has been read, before
  // FormCreate.
  // `startDelayMs`: Timer1's interval (tests shorten it).
  explicit TForm1(ProgramState& state, const TGuardApplication* guard = nullptr,
                  int startDelayMs = 1000, QWidget* parent = nullptr);
  ~TForm1() override;

  void SetFieldSelector(TForm2* form2) { form2_ = form2; }

  void FormCreate();
  void FormActivate();
  void Timer1Timer();

  void SaveSetup();
  // Asks for the program's end; it takes effect once control is back in the
  // event loop (WindowProgram::Run ends at once when it came before).
  void RequestProgramEnd();

  QTimer* Timer1() const { return timer1_; }
  QString VersionText() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class WindowHost;

  ProgramState& state_;
  std::unique_ptr<Ui::Form1> ui_;
  QTimer* timer1_;
  TOneInstance* oneInstance1_;
  TForm2* form2_ = nullptr;
  std::unique_ptr<WindowHost> host_;
  std::unique_ptr<Program> program_;
  // A tick that came while FormActivate's error box was open waits for it.
  bool activating_ = false;
  bool tickWaiting_ = false;
};

}  // namespace vantrelix
