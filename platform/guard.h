#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrelix {

// The name copies of the program find each other by: the program file's name
// without its folder, with a to z in upper case and nothing else changed.
std::string InstanceBlockName(const std::string& programPath);

// The places where the user's guard may live, best first. Every copy of one
// user holds a lock in each that is a folder of the user's alone (owned by
// the user, not a link, closed to others; the last part is created 0700 when
// missing), the first of them with its handles, so that copies started with
// any runtime folder or none meet in the first place they share:
//   $XDG_RUNTIME_DIR/vantrelix   the session's runtime folder, when it is private
//   /run/user/<uid>/vantrelix    the same folder where the variable is not set (cron)
//   $HOME/.cache/vantrelix       no session runs
//   ~/.cache/vantrelix           the account's home, where HOME names another
//   /tmp/vantrelix-<uid>         nothing else is usable
// A place that another user holds, a link, or a folder open to others is
// passed over, never used.
std::vector<std::string> GuardFolderCandidates();

// Finds out, at start-up, whether another copy of the program is running.
//
// The 16-byte block (InstanceHandle, ApplicationHandle, MainFormHandle,
// reserved; little-endian) is a file in the user's guard folder, where no
// other user can squat it. Whether a copy runs is told by a lock on it that
// the first copy holds for its whole run: the kernel drops the lock when that
// process ends, so a crashed copy never locks later starts out (the file
// itself outlives it).
class TGuardApplication {
 public:
  // `blockName` as InstanceBlockName gives it.
  explicit TGuardApplication(const std::string& blockName);
  ~TGuardApplication();
  TGuardApplication(const TGuardApplication&) = delete;
  TGuardApplication& operator=(const TGuardApplication&) = delete;

  // No private place could be had: copies cannot be kept apart, and the
  // program must not run. Problem() says why.
  bool Unavailable() const { return !problem_.empty(); }
  const std::string& Problem() const { return problem_; }
  bool PreviousInstanceRunning() const { return previousInstanceRunning_; }
  uint32_t PreviousInstanceWindow() const { return previousInstanceWindow_; }
  // The folder of the block in use (of the running copy's, in a later copy).
  const std::string& Folder() const { return folder_; }

  // In the first copy: opens the endpoint through which later copies bring
  // it forward, and records it in the block. `onActivate` gets what a later
  // copy passed on for the compositor (an activation token, or nothing).
  void ListenForActivation(std::function<void(const std::string& token)> onActivate);
  // In a later copy: asks the first copy to come forward. A missing, stale or
  // zero handle fails without a report; an endpoint that no socket address
  // can reach is told to `report`.
  void ActivatePreviousInstance() const;
  void SetReporter(std::function<void(const std::string&)> report) { report_ = std::move(report); }

 private:
  // One more place held besides the first.
  struct HeldPlace {
    int folderFd;
    std::string folder;
    int blockFd;
  };

  bool TakeBlock(int folderFd, const std::string& folder);
  // Holds the block of one more place; false when it cannot be had, and then
  // PreviousInstanceRunning() tells whether another copy holds it.
  bool HoldAlso(int folderFd, const std::string& folder);
  void RemoveStaleEndpoints() const;
  std::string EndpointFileName(uint32_t handle) const;

  std::string blockName_;
  std::string folder_;
  int folderFd_ = -1;
  int fd_ = -1;
  std::string problem_;
  bool previousInstanceRunning_ = false;
  uint32_t previousInstanceWindow_ = 0;
  std::vector<HeldPlace> alsoHeld_;
  std::vector<std::unique_ptr<QObject>> endpoints_;
  std::function<void(const std::string&)> report_;
};

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
