#include "startup.h"

#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <QtGlobal>

#include <climits>
#include <memory>

#include "boxes.h"
#include "console.h"
#include "display.h"
#include "guard.h"
#include "program.h"
#include "regional_locale.h"
#include "stop_request.h"
#include "tform1.h"
#include "tform2.h"

// The logo lives in this static library; its resources must be registered
// by name, outside any namespace.
static void InitUiResources() {
  Q_INIT_RESOURCE(resources);
}

namespace vantrelix {

namespace {

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

namespace {

// Once the application object exists: false when Qt could not open the
// window system chosen (and fell back); the program then runs in console
// mode.
bool WindowSystemOpened() {
  const std::string opened = QGuiApplication::platformName().toStdString();
  const std::string chosen = ChosenWindowSystem();
  // The wayland-egl and wayland-xcomposite entries are all "wayland" once open.
  if (chosen.substr(0, 7) == "wayland") return opened.substr(0, 7) == "wayland";
  return chosen.empty() || opened == chosen;
}

}  // namespace

int RunWithWindows(int argc, char** argv, const std::string& programPath) {
  const std::string firstArgument = FirstArgument(argc, argv);
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

}  // namespace vantrelix
