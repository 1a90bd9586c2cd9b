#include "tform1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "boxes.h"
#include "conversion_run.h"
#include "guard.h"
#include "normalise.h"
#include "program_state.h"
#include "setup_file.h"
#include "tform2.h"
#include "ui_form1.h"

namespace vantrelix {

void RequestProgramEnd(ProgramState& state) {
  state.terminationRequested = true;
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                            Qt::QueuedConnection);
}

// Shows the pass in the window. The count is drawn at most every 50 ms (and
// always at the end), so that drawing never dominates a long pass.
class TForm1::ProgressHost : public ConversionHost {
 public:
  explicit ProgressHost(TForm1& form) : form_(form) { sinceDrawn_.start(); }

  void ShowMessage(const std::string& text) override { ShowMessageBox(form_.state_, text); }
  void ShowCount(int64_t linesRead) override {
    count_ = linesRead;
    if (sinceDrawn_.elapsed() >= 50) Draw();
  }
  void ShowFinished() override {
    Draw();
    form_.ui_->Label6->show();
    form_.ui_->Label6->repaint();
  }
  void Pause(int milliseconds) override {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
  }
  void RequestTermination() override { RequestProgramEnd(form_.state_); }

  void Draw() {
    QLabel* label = form_.ui_->Label5;
    label->setText(QString::number(count_));
    label->adjustSize();
    label->repaint();
    sinceDrawn_.restart();
  }

 private:
  TForm1& form_;
  QElapsedTimer sinceDrawn_;
  int64_t count_ = 0;
};

TForm1::TForm1(ProgramState& state, const TGuardApplication* guard, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      state_(state),
      ui_(std::make_unique<Ui::Form1>()),
      timer1_(new QTimer(this)),
      oneInstance1_(new TOneInstance(this)) {
  ui_->setupUi(this);
  move(453, 170);  // the design's place; setupUi applies only its size
  // Labels take the size of their text.
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label != ui_->Image1) label->adjustSize();
  }
  // The timer counts from the moment the design is read.
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(1000);
  connect(timer1_, &QTimer::timeout, this, &TForm1::Timer1Timer);
  timer1_->start();

  // A second copy brings the first forward and ends before its first tick.
  oneInstance1_->Loaded(
      guard, state_.applicationTitle,
      [this](const std::string& text) { ShowInformationBox(state_, text); },
      [this] {
        state_.Report(exit_status::kAnotherCopyRunning);
        RequestProgramEnd(state_);
      });
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
  state_.paths = LookUpDataFolder();
}

void TForm1::FormActivate() {
  RunHandler(state_, [this] {
    WriteDefaultSetupIfMissing(state_.record, state_.paths);
    LoadSetup(state_.record, state_.paths.setupFileName);
    const std::string name = state_.record.SourceFileName();
    ui_->Label4->setText(QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size())));
    ui_->Label4->adjustSize();
  });
}

void TForm1::Timer1Timer() {
  timer1_->stop();
  if (state_.startArgument == "SETUP") {
    if (form2_ != nullptr) form2_->ShowModal();
    close();
    return;
  }
  ProgressHost host(*this);
  RunHandler(state_, [&] {
    const RunResult result = ConversionRun(state_.record, state_.regional, CurrentLocalYear(),
                                           state_.paths.dataFolder, host);
    state_.Report(result == RunResult::kCompleted ? exit_status::kCompleted
                                                  : exit_status::kNoSource);
  });
}

void TForm1::SaveSetup() {
  vantrelix::SaveSetup(state_.record, state_.paths.setupFileName);
}

void TForm1::DateConvert(std::string& field) const {
  vantrelix::DateConvert(field, state_.record, state_.regional, CurrentLocalYear());
}

void TForm1::TimeConvert(std::string& field) const {
  vantrelix::TimeConvert(field, state_.record, state_.regional);
}

QString TForm1::VersionText() const {
  return ui_->Version->text();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program, through the same request.
  // Qt's quit closes every window first: that close must not ask again.
  if (!state_.terminationRequested) RequestProgramEnd(state_);
  event->accept();
}

}  // namespace vantrelix
