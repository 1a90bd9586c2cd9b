#include "startup.h"

#include <unistd.h>

#include <QApplication>
#include <QEvent>

#include <QtGlobal>

#include <climits>
#include <cstdio>
#include <thread>

#include "conversion_run.h"
#include "guard.h"
#include "inouterror.h"
#include "regional_locale.h"
#include "setup_file.h"
#include "tform1.h"
#include "tform2.h"

// The logo lives in this static library; its resources must be registered
// by name, outside any namespace.
static void InitUiResources() {
  Q_INIT_RESOURCE(resources);
}

namespace vantrelix {

namespace {

constexpr char kSetupArgument[] = "SETUP";

class ConsoleHost : public ConversionHost {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void ShowCount(int64_t linesRead) override { count_ = linesRead; }
  void ShowFinished() override {
    std::printf("Records Imported = %lld --Finished--\n", static_cast<long long>(count_));
    std::fflush(stdout);
  }
  void Pause(int) override {}  // nobody is watching a console run finish
  void RequestTermination() override {}

 private:
  int64_t count_ = 0;
};

}  // namespace

bool LocaleWatcher::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::LocaleChange && watched == QCoreApplication::instance()) {
    state_.regional = RegionalSettingsFromSystem();
  }
  return QObject::eventFilter(watched, event);
}

std::string FirstArgument(int argc, char** argv) {
  return argc > 1 && argv[1] != nullptr ? argv[1] : "";
}

std::string ProgramFilePath(const char* argv0) {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) return std::string(path, static_cast<size_t>(n));
  return argv0 != nullptr ? argv0 : "vantrelix";
}

WindowProgram::WindowProgram(ProgramState& state, TGuardApplication* guard) : state_(state) {
  InitUiResources();
  form1_ = std::make_unique<TForm1>(state_, guard);
  form2_ = std::make_unique<TForm2>(state_, *form1_);
  form1_->SetFieldSelector(form2_.get());
  if (guard != nullptr) {
    // Later copies bring forward the modal window when one is open.
    guard->ListenForActivation([form1 = form1_.get()]() -> QWidget* {
      QWidget* modal = QApplication::activeModalWidget();
      return modal != nullptr ? modal : form1;
    });
  }
}

WindowProgram::~WindowProgram() = default;

void WindowProgram::Start() {
  form1_->show();
  form1_->FormActivate();
}

int RunWithWindows(int argc, char** argv, const std::string& firstArgument) {
  const std::string programPath = ProgramFilePath(argv[0]);
  QApplication app(argc, argv);
  ProgramState state;
  state.applicationTitle = ApplicationTitleFrom(programPath);
  state.regional = RegionalSettingsFromSystem();
  state.startArgument = firstArgument;
  LocaleWatcher watcher(state);
  app.installEventFilter(&watcher);
  app.setQuitOnLastWindowClosed(false);  // every end goes through one request
  TGuardApplication guard(InstanceBlockName(programPath));

  WindowProgram program(state, &guard);
  program.Start();
  app.exec();
  return state.exitCode;
}

int RunInConsole(const std::string& programPath, const std::string& firstArgument) {
  ProgramState state;
  state.applicationTitle = ApplicationTitleFrom(programPath);
  state.regional = RegionalSettingsFromSystem();
  // Console and windowed copies share one guard: a scheduled run must not
  // convert while an operator has the field selector open.
  const TGuardApplication guard(InstanceBlockName(programPath));
  state.startArgument = firstArgument;
  state.paths = LookUpDataFolder();
  const auto report = [&state](const EInOutError& e) {
    std::fprintf(stderr, "%s\n", ErrorBoxText(e.what()).c_str());
    state.Report(exit_status::kFileError);
  };

  try {
    WriteDefaultSetupIfMissing(state.record, state.paths);
    LoadSetup(state.record, state.paths.setupFileName);
  } catch (const EInOutError& e) {
    report(e);
  }
  if (guard.PreviousInstanceRunning()) {
    std::fprintf(stderr, "%s\n", kAnotherCopyMessage);
    return exit_status::kAnotherCopyRunning;
  }
  // The same second as with windows, so that scheduled runs behave alike.
  std::this_thread::sleep_for(std::chrono::seconds(1));

  if (state.startArgument == kSetupArgument) {
    std::fprintf(stderr,
                 "The field selector (SETUP) needs a desktop session; no display was found.\n");
    return exit_status::kFileError;
  }
  ConsoleHost host;
  try {
    const RunResult result = ConversionRun(state.record, state.regional, CurrentLocalYear(),
                                           state.paths.dataFolder, host);
    state.Report(result == RunResult::kCompleted ? exit_status::kCompleted
                                                 : exit_status::kNoSource);
  } catch (const EInOutError& e) {
    report(e);
  }
  return state.exitCode;
}

}  // namespace vantrelix
