#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class QLocalServer;
class QWidget;

namespace vantrelix {

// The name copies of the program find each other by: the program file's name
// without its folder, with a to z in upper case and nothing else changed.
std::string InstanceBlockName(const std::string& programPath);

// The user's private folder for the guard: $XDG_RUNTIME_DIR/vantrelix when
// the runtime folder is the user's own, else vantrelix-<uid> in $TMPDIR or
// /tmp; either is
// created 0700 and used only when owned by the user and closed to others.
// Empty when neither can be had (the guard is then off).
std::string GuardFolder();

// Finds out, at start-up, whether another copy of the program is running.
//
// The 16-byte block (InstanceHandle, ApplicationHandle, MainFormHandle,
// reserved; little-endian) is a file in the user's private folder
// (GuardFolder), where no other user can squat it. Whether a copy runs is
// told by a lock on it that the first copy holds for its whole run: the
// kernel drops the lock when that process ends, so a crashed copy never locks
// later starts out (the file itself outlives it).
class TGuardApplication {
 public:
  // `blockName` as InstanceBlockName gives it.
  explicit TGuardApplication(const std::string& blockName);
  ~TGuardApplication();
  TGuardApplication(const TGuardApplication&) = delete;
  TGuardApplication& operator=(const TGuardApplication&) = delete;

  bool PreviousInstanceRunning() const { return previousInstanceRunning_; }
  uint32_t PreviousInstanceWindow() const { return previousInstanceWindow_; }

  // In the first copy: opens the endpoint through which later copies bring
  // it forward, and records it in the block. `windowToRaise` gives the window
  // to activate (the modal one when there is one).
  void ListenForActivation(std::function<QWidget*()> windowToRaise);
  // In a later copy: asks the first copy to come forward. A missing, stale or
  // zero handle fails without a report.
  void ActivatePreviousInstance() const;

  // The endpoint (a socket in the private folder) a handle stands for.
  std::string EndpointName(uint32_t handle) const;
  const std::string& BlockPath() const { return blockPath_; }

 private:
  void RemoveStaleEndpoints() const;

  std::string blockName_;
  std::string folder_;
  std::string blockPath_;
  int fd_ = -1;
  bool previousInstanceRunning_ = false;
  uint32_t previousInstanceWindow_ = 0;
  std::unique_ptr<QLocalServer> server_;
};

// Brings a window forward: restored if minimised, raised and activated.
void BringForward(QWidget* window, const QByteArray& activationToken);

class EOneInstError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TOneInstanceMode { oiActivateOnly, oiDefaultMessage, oiCustom };

// The guard component of the main window. Only one may exist in a process.
class TOneInstance : public QObject {
  Q_OBJECT

 public:
  // Raises EOneInstError when another guard component exists.
  explicit TOneInstance(QObject* owner = nullptr);
  ~TOneInstance() override;

  bool Enabled = true;
  TOneInstanceMode Mode = oiActivateOnly;
  std::function<void(TOneInstance* sender)> OnCustom;

  // Runs once the owning window's design has been read. In a later copy it
  // acts by Mode and then calls `requestEnd`.
  void Loaded(const TGuardApplication* guard, const std::string& applicationTitle,
              const std::function<void(const std::string&)>& showInformation,
              const std::function<void()>& requestEnd);

  static int GuardCount();
};

}  // namespace vantrelix
