#include "startup.h"

#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "boxes.h"
#include "conversion_run.h"
#include "display.h"
#include "guard.h"
#include "inouterror.h"
#include "program.h"
#include "regional_locale.h"
#include "setup_file.h"
#include "stop_request.h"
#include "tform1.h"
#include "tform2.h"
#include "unread.h"

// The logo lives in this static library; its resources must be registered
// by name, outside any namespace.
static void InitUiResources() {
  Q_INIT_RESOURCE(resources);
}

namespace vantrelix {

namespace {

std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

// A line on standard error, named after the program.
void ErrorLine(const std::string& programPath, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", BaseName(programPath).c_str(), text.c_str());
}

// Messages go to standard error, one line each, named after the program so
// that a scheduler's log says who spoke; the final count goes to standard
// output.
class ConsoleHost : public ProgramHost {
 public:
  ConsoleHost(ProgramState& state, std::string programName)
      : state_(state), programName_(std::move(programName)) {}

  void Line(const std::string& text) const { ErrorLine(programName_, text); }

  void ShowMessage(const std::string& text) override { Line(text); }
  void ShowCount(int64_t linesRead) override { count_ = linesRead; }
  // Dates and times left as they came are told once the import file is in
  // place; cron mails standard error, so the admin hears of them.
  void ShowUnread(const UnreadReport& report) override { unread_ = UnreadSummary(report); }
  void ShowFinished() override {
    for (const std::string& line : unread_) Line(line);
    std::printf("Records Imported = %lld --Finished--\n", static_cast<long long>(count_));
    std::fflush(stdout);
  }
  void Pause(int) override {}  // nobody is watching a console run finish
  void RequestTermination() override { state_.terminationRequested = true; }
  void ShowSourceName(const std::string&) override {}
  void ShowError(const StepError& error) override {
    if (error.stopSignal != 0) {
      const char* name = ::sigabbrev_np(error.stopSignal);
      Line(std::string("stopped by SIG") + (name != nullptr ? name : "?") +
           "; the previous import file was kept");
      return;
    }
    const std::string text = ErrorBoxText(error.message);
    Line(error.path.empty() ? text : error.path + ": " + text);
  }
  void RunFieldSelector() override {
    Line("The field selector (SETUP) needs a desktop session; no display was found.");
    state_.Report(exit_status::kFileError);
  }

 private:
  ProgramState& state_;
  std::string programName_;
  int64_t count_ = 0;
  std::vector<std::string> unread_;
};

// Waits, unless a stop signal comes first.
void WaitUnlessStopped(std::chrono::milliseconds wait) {
  timespec left{static_cast<time_t>(wait.count() / 1000),
                static_cast<long>(wait.count() % 1000) * 1000000L};
  while (stopSignal == 0 && ::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// What a later copy asked for: the window restored if minimised, raised and
// activated; the token lets a Wayland compositor pass the focus.
void BringForward(QWidget* window, const std::string& activationToken) {
  if (window == nullptr) return;
  if (!activationToken.empty()) qputenv("XDG_ACTIVATION_TOKEN", activationToken.c_str());
  if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->raise();
  window->activateWindow();
}

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

WindowProgram::WindowProgram(ProgramState& state, TGuardApplication* guard, int startDelayMs)
    : state_(state) {
  InitUiResources();
  form1_ = std::make_unique<TForm1>(state_, guard, startDelayMs);
  form2_ = std::make_unique<TForm2>(state_, *form1_);
  form1_->SetFieldSelector(form2_.get());
  if (guard != nullptr) {
    // Later copies bring forward the modal window when one is open.
    guard->ListenForActivation([form1 = form1_.get()](const std::string& token) {
      QWidget* modal = QApplication::activeModalWidget();
      BringForward(modal != nullptr ? modal : form1, token);
    });
  }
}

WindowProgram::~WindowProgram() = default;

void WindowProgram::Start() {
  form1_->show();
  form1_->FormActivate();
}

int WindowProgram::Run() {
  Start();
  // An end asked for before the loop runs (a second copy, a failed load, the
  // window closed from a box) ends here: the box's own loop may have taken
  // the quit that was posted for it.
  if (!state_.terminationRequested) QApplication::exec();
  return state_.exitCode;
}

int RunWithWindows(int argc, char** argv, const std::string& firstArgument) {
  const std::string programPath = ProgramFilePath(argv[0]);
  auto application = std::make_unique<QApplication>(argc, argv);
  if (!WindowSystemOpened()) {
    // The display went away after it was probed: Qt fell back to no screen.
    application.reset();
    return RunInConsole(programPath, firstArgument);
  }
  QApplication& app = *application;
  ProgramState state;
  state.applicationTitle = ApplicationTitleFrom(programPath);
  state.regional = RegionalSettingsFromSystem();
  state.startArgument = firstArgument;
  LocaleWatcher watcher(state);
  app.installEventFilter(&watcher);
  app.setQuitOnLastWindowClosed(false);  // every end goes through one request
  // A stop signal ends every event loop, a box's or the field selector's too;
  // the settings are not stored then.
  const auto stopWatcher = WatchStopSignals([&state](int signal) {
    state.Report(128 + signal);
    state.terminationRequested = true;
    QCoreApplication::exit(state.exitCode);
  });
  TGuardApplication guard(InstanceBlockName(programPath));
  if (guard.Unavailable()) {
    ErrorLine(programPath, guard.Problem());
    ShowErrorBox(state, guard.Problem());
    state.Report(exit_status::kFileError);
    return state.exitCode;
  }
  guard.SetReporter([&programPath](const std::string& text) { ErrorLine(programPath, text); });

  WindowProgram program(state, &guard);
  return program.Run();
}

int RunInConsole(const std::string& programPath, const std::string& firstArgument) {
  ProgramState state;
  state.applicationTitle = ApplicationTitleFrom(programPath);
  state.regional = RegionalSettingsFromSystem();
  state.startArgument = firstArgument;
  const std::string name = BaseName(programPath);
  ConsoleHost host(state, name);
  // Console and windowed copies share one guard: a scheduled run must not
  // convert while an operator has the field selector open.
  const TGuardApplication guard(InstanceBlockName(programPath));
  if (guard.Unavailable()) {
    host.Line(guard.Problem());
    return exit_status::kFileError;
  }
  if (guard.PreviousInstanceRunning()) {
    host.Line(kAnotherCopyMessage);
    return exit_status::kAnotherCopyRunning;
  }
  state.paths = LookUpDataFolder();
  Program program(state, host);
  const auto stopped = [&] {
    if (stopSignal == 0) return false;
    host.ShowError({"", "", 128 + stopSignal, stopSignal});
    state.Report(128 + stopSignal);
    return true;
  };

  program.Activate();
  if (stopped() || state.terminationRequested) return state.exitCode;
  // The same second as with windows, so that scheduled runs behave alike.
  WaitUnlessStopped(std::chrono::seconds(1));
  if (stopped()) return state.exitCode;
  program.Tick();
  if (state.exitCode == exit_status::kNoSource) {
    host.Line("Choose the source file with '" + name + " SETUP' on the desktop.");
  }
  return state.exitCode;
}

void PrintUsage(const std::string& programPath) {
  const std::string name = BaseName(programPath);
  std::printf(
      "Usage: %s [SETUP]\n"
      "Converts the appointment export named in the settings into TOLV's import file\n"
      "TOLV_D.TXT about one second after start, and ends.\n"
      "\n"
      "  SETUP       open the field selector (needs a desktop): the source file, the\n"
      "              column of each field, the header line, the date and time layouts\n"
      "  -h, --help  show this help and end\n"
      "  --version   show the version and end\n"
      "\n"
      "Without a display it runs in console mode: messages go to standard error.\n"
      "Files: $VANTRELIX_COMMON_DOCUMENTS/TOLV_7_Data when that variable is set,\n"
      "otherwise TOLV_7_Data in your documents folder (~/Documents):\n"
      "  VANTRELIX_SU.DAT  the settings      TOLV_D.TXT  the import file\n"
      "Exit status: 0 converted; 1 no source file named, or it is missing;\n"
      "2 a file error, settings that could not be loaded, or another failure;\n"
      "3 another copy runs for this user (pgrep -a %s); 128+N stopped by signal N.\n"
      "See man %s.\n",
      name.c_str(), name.c_str(), name.c_str());
}

void PrintVersion(const std::string& programPath) {
  std::printf("%s %s\n", BaseName(programPath).c_str(), VANTRELIX_VERSION);
}

}  // namespace vantrelix
