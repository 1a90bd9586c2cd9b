#include "program.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <new>

#include "inouterror.h"
#include "program_state.h"
#include "setup_file.h"
#include "stop_request.h"

namespace vantrelix {

namespace {

// Describes the exception being handled; only inside a catch block.
StepError DescribeCurrentException() {
  try {
    throw;
  } catch (const EStopRequested& e) {
    return {"", "", 128 + e.Signal(), e.Signal()};
  } catch (const EFileProblem& e) {
    return {e.what(), e.Path(), exit_status::kFileError};
  } catch (const std::bad_alloc&) {
    return {"Out of memory", "", exit_status::kFileError};
  } catch (const std::exception& e) {
    return {e.what(), "", exit_status::kFileError};
  } catch (...) {
    return {"Unexpected error", "", exit_status::kFileError};
  }
}

}  // namespace

std::optional<StepError> RunCatching(const std::function<void()>& step) {
  try {
    step();
    return std::nullopt;
  } catch (...) {
    return DescribeCurrentException();
  }
}

bool Program::Guarded(const std::function<void()>& step) {
  const std::optional<StepError> error = RunCatching(step);
  if (!error) return true;
  state_.Report(error->status);
  host_.ShowError(*error);
  if (error->stopSignal != 0) host_.RequestTermination();
  return false;
}

void Program::Activate() {
  // A second copy, already asked to end, touches no file and shows nothing.
  if (state_.terminationRequested) return;
  const bool loaded = Guarded([this] {
    WriteDefaultSetupIfMissing(state_.record, state_.paths);
    LoadSetup(state_.record, state_.paths.setupFileName);
    host_.ShowSourceName(state_.record.SourceFileName());
  });
  // A record that failed to load would convert with every column 0 and
  // replace a good import file with empty fields.
  if (!loaded && state_.startArgument != kSetupArgument) host_.RequestTermination();
}

void Program::Tick() {
  if (state_.terminationRequested) return;
  if (state_.startArgument == kSetupArgument) {
    Guarded([this] { host_.RunFieldSelector(); });
    host_.RequestTermination();
    return;
  }
  Guarded([this] {
    UnreadReport unread;
    const RunResult result = ConversionRun(state_.record, state_.regional, CurrentLocalYear(),
                                           state_.paths.dataFolder, host_, &unread);
    state_.Report(result == RunResult::kCompleted ? PassExitStatus(unread)
                                                  : exit_status::kNoSource);
  });
}

namespace {

int stopPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
  stopSignal = signal;
  if (stopPipe[1] >= 0) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
  }
}

}  // namespace

void InstallStopSignalHandlers() {
  if (stopPipe[0] < 0) {
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) stopPipe[0] = stopPipe[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read returns, and the pass stops
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

namespace {

class StopSignalWatcher : public QSocketNotifier {
 public:
  StopSignalWatcher(int fd, std::function<void(int)> onStop)
      : QSocketNotifier(fd, QSocketNotifier::Read), onStop_(std::move(onStop)) {
    connect(this, &QSocketNotifier::activated, this, [this] {
      char byte;
      while (::read(stopPipe[0], &byte, 1) == 1) {
      }
      if (stopSignal != 0) onStop_(stopSignal);
    });
  }

 private:
  std::function<void(int)> onStop_;
};

}  // namespace

std::unique_ptr<QObject> WatchStopSignals(const std::function<void(int)>& onStop) {
  if (stopPipe[0] < 0) return nullptr;
  return std::make_unique<StopSignalWatcher>(stopPipe[0], onStop);
}

}  // namespace vantrelix
