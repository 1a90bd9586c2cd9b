#pragma once

#include <csignal>
#include <exception>

namespace vantrelix {

// The signal that asked the program to stop (SIGTERM, SIGINT, SIGHUP), or 0.
// Set from a signal handler; long loops and interrupted system calls look at
// it, so that a stop ends the work through the same unwinding as an error:
// temporary files are removed and the previous import file stays.
extern volatile std::sig_atomic_t stopSignal;

// The work was stopped by a signal.
class EStopRequested : public std::exception {
 public:
  explicit EStopRequested(int signal) : signal_(signal) {}
  int Signal() const { return signal_; }
  const char* what() const noexcept override { return "stopped by a signal"; }

 private:
  int signal_;
};

inline void ThrowIfStopRequested() {
  if (const int signal = stopSignal; signal != 0) throw EStopRequested(signal);
}

}  // namespace vantrelix
