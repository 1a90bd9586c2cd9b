#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "conversion_run.h"

namespace vantrelix {

struct ProgramState;

// What an error that ended a step means for the user and the exit status.
struct StepError {
  std::string message;  // the text shown, e.g. "File access denied"
  std::string path;     // the file it concerns, when known
  int status = 0;       // the exit status it gives
  int stopSignal = 0;   // a signal stopped the step: nothing went wrong
};

// Runs `step` and gives what ended it when it raised anything, else nothing:
// the one place where a step of the run, a window's handler or a console
// command is caught, whatever it raised.
std::optional<StepError> RunCatching(const std::function<void()>& step);

// What differs between a run with windows and one in a console.
class ProgramHost : public ConversionHost {
 public:
  // The source file's name once the settings are loaded (Label4).
  virtual void ShowSourceName(const std::string& name) = 0;
  // An error that ended a step: the error box, or a line on standard error.
  virtual void ShowError(const StepError& error) = 0;
  // The field selector, modal; returns once the operator has closed it.
  virtual void RunFieldSelector() = 0;
};

// The steps of a run over a host, the same with windows and in a console:
// the activation (default settings, load) and the first tick (the field
// selector or the conversion pass). Every error of a step, of any kind, ends
// the step at one place.
class Program {
 public:
  Program(ProgramState& state, ProgramHost& host) : state_(state), host_(host) {}

  // Writes the default settings when there are none and loads them. A load
  // that failed ends the program (after its error was shown) unless the
  // field selector is to open, where the operator can repair the settings.
  void Activate();
  // The first tick: the field selector for SETUP, otherwise the pass.
  void Tick();

 private:
  // Runs a step; gives false when it ended with an error.
  bool Guarded(const std::function<void()>& step);

  ProgramState& state_;
  ProgramHost& host_;
};

// The argument that opens the field selector.
inline constexpr char kSetupArgument[] = "SETUP";

// Handles SIGTERM, SIGINT and SIGHUP by setting stopSignal (the pass then
// stops and cleans up) and ignores SIGPIPE, so that a closed standard output
// does not end a conversion. Call first thing in main.
void InstallStopSignalHandlers();

// With an event loop: calls `onStop` with the signal once a stop signal has
// arrived (also one that arrived before this call) and control is back in
// the loop. Keep the object for as long as the loop runs.
std::unique_ptr<QObject> WatchStopSignals(const std::function<void(int)>& onStop);

}  // namespace vantrelix
