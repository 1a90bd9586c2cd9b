#include "tform1.h"

#include "accessibility.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <string>
#include <vector>

#include "boxes.h"
#include "conversion_run.h"
#include "guard.h"
#include "program.h"
#include "program_state.h"
#include "setup_file.h"
#include "tform2.h"
#include "ui_form1.h"
#include "unread.h"

namespace vantrelix {

void TForm1::RequestProgramEnd() {
  state_.terminationRequested = true;
  // Posted to this window, so that a request whose loop never ran dies with it.
  QMetaObject::invokeMethod(
      this, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
}

// The run in the windows. The count is drawn at most every 50 ms (and
// always at the end, or before an error), so that drawing never dominates a
// long pass.
class TForm1::WindowHost : public ProgramHost {
 public:
  explicit WindowHost(TForm1& form) : form_(form) { sinceDrawn_.start(); }

  void ShowMessage(const std::string& text) override { ShowMessageBox(form_.state_, text); }
  void ShowCount(int64_t linesRead) override {
    count_ = linesRead;
    if (sinceDrawn_.elapsed() >= 50) Draw();
  }
  void ShowUnread(const UnreadReport& report) override { unread_ = UnreadSummary(report); }
  void ShowFinished() override {
    Draw();
    form_.ui_->Label6->show();
    form_.ui_->Label6->repaint();
    // Dates left as they came, or perhaps swapped, are missed appointments
    // unless the operator hears of them before the program ends.
    if (!unread_.empty()) {
      std::string text;
      for (const std::string& line : unread_) text += (text.empty() ? "" : "\n") + line;
      ShowWarningBox(form_.state_, text);
    }
  }
  void Pause(int milliseconds) override {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
  }
  void RequestTermination() override { form_.RequestProgramEnd(); }
  void ShowSourceName(const std::string& name) override {
    form_.ui_->Label4->setText(
        QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size())));
    form_.ui_->Label4->adjustSize();
  }
  void ShowError(const StepError& error) override {
    if (count_ >= 0) Draw();  // the window shows how far the pass came
    if (error.stopSignal == 0) ShowErrorBox(form_.state_, error.message);
  }
  void RunFieldSelector() override {
    if (form_.form2_ != nullptr) form_.form2_->ShowModal();
  }

 private:
  void Draw() {
    QLabel* label = form_.ui_->Label5;
    label->setText(QString::number(count_));
    label->adjustSize();
    label->repaint();
    sinceDrawn_.restart();
  }

  TForm1& form_;
  QElapsedTimer sinceDrawn_;
  int64_t count_ = -1;  // no pass yet
  std::vector<std::string> unread_;
};

TForm1::TForm1(ProgramState& state, const TGuardApplication* guard, int startDelayMs,
               QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      state_(state),
      ui_(std::make_unique<Ui::Form1>()),
      timer1_(new QTimer(this)),
      oneInstance1_(new TOneInstance(this)),
      host_(std::make_unique<WindowHost>(*this)),
      program_(std::make_unique<Program>(state, *host_)) {
  ui_->setupUi(this);
  move(453, 170);  // the design's place; setupUi applies only its size
  InstallAccessibility();
  ui_->Image1->setAccessibleName("VANTRELIX logo");
  // Labels take the size of their text.
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label != ui_->Image1) label->adjustSize();
  }
  // The timer counts from the moment the design is read.
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(startDelayMs);
  connect(timer1_, &QTimer::timeout, this, &TForm1::Timer1Timer);
  timer1_->start();

  // A second copy brings the first forward and ends before its first tick.
  oneInstance1_->Loaded(
      guard, state_.applicationTitle,
      [this](const std::string& text) { ShowInformationBox(state_, text); },
      [this] {
        state_.Report(exit_status::kAnotherCopyRunning);
        RequestProgramEnd();
      });
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
  state_.paths = LookUpDataFolder();
}

void TForm1::FormActivate() {
  activating_ = true;
  program_->Activate();
  activating_ = false;
  // The tick runs from the event loop, never inside the activation's box.
  if (tickWaiting_) QTimer::singleShot(0, this, &TForm1::Timer1Timer);
}

void TForm1::Timer1Timer() {
  timer1_->stop();
  if (activating_) {
    tickWaiting_ = true;
    return;
  }
  program_->Tick();
}

void TForm1::SaveSetup() {
  vantrelix::SaveSetup(state_.record, state_.paths.setupFileName);
}

QString TForm1::VersionText() const {
  return ui_->Version->text();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program, through the same request.
  // Qt's quit closes every window first: that close must not ask again.
  if (!state_.terminationRequested) RequestProgramEnd();
  event->accept();
}

}  // namespace vantrelix
