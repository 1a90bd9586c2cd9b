#include "guard.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "byte_scan.h"
#include "eintr.h"

namespace vantrelix {

namespace {

constexpr size_t kBlockSize = 16;
constexpr size_t kInstanceHandleOffset = 0;
constexpr size_t kApplicationHandleOffset = 4;
constexpr char kActivateRequest[] = "activate";
constexpr size_t kLongestRequest = 4096;

void WriteLe32(int fd, size_t offset, uint32_t value) {
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  [[maybe_unused]] const ssize_t n = ::pwrite(fd, bytes, sizeof bytes, static_cast<off_t>(offset));
}

uint32_t ReadLe32(int fd, size_t offset) {
  unsigned char bytes[4] = {};
  if (::pread(fd, bytes, sizeof bytes, static_cast<off_t>(offset)) != 4) return 0;
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

uint8_t guardCount = 0;

// Why an opened folder is not the user's alone (somebody else owns it,
// enters it or may plant anything in it); empty when it is.
std::string NotOursAlone(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return "is no folder";
  if (st.st_uid != ::getuid()) {
    const struct passwd* owner = ::getpwuid(st.st_uid);
    return "belongs to the user " +
           (owner != nullptr ? std::string(owner->pw_name) : std::to_string(st.st_uid));
  }
  if ((st.st_mode & 077) != 0) return "is open to other users";
  return {};
}

// Opens `path` (its last part created 0700 when `create` and missing) when
// it is a folder of the user's alone, not a link; -1 otherwise, with errno
// set and, in `why`, the reason in words.
int OpenPrivateFolder(const std::string& path, bool create, std::string* why = nullptr) {
  if (create && ::mkdir(path.c_str(), 0700) != 0 && errno == ENOENT) {
    // ~/.cache on a fresh account; it need not be private, the folder in it is.
    ::mkdir(path.substr(0, path.find_last_of('/')).c_str(), 0700);
    ::mkdir(path.c_str(), 0700);
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (why != nullptr) {
      *why = error == ELOOP || error == ENOTDIR
                 ? "is a link or no folder"
                 : "cannot be made (" + std::string(std::strerror(error)) + ")";
    }
    errno = error;
    return -1;
  }
  if (std::string reason = NotOursAlone(fd); !reason.empty()) {
    ::close(fd);
    if (why != nullptr) *why = std::move(reason);
    errno = EACCES;
    return -1;
  }
  return fd;
}

// The folder the runtime place `base` stands for, when `base` itself is
// private (a runtime folder open to others is no session's).
std::string RuntimePlace(const char* base) {
  if (base == nullptr || base[0] != '/') return "";
  const int fd = OpenPrivateFolder(base, false);
  if (fd < 0) return "";
  ::close(fd);
  return std::string(base) + "/vantrelix";
}

// A Unix socket address for the file `name` in the folder open as `folderFd`
// at `folder`. Through the descriptor (/proc/self/fd/N/name) the address is
// short whatever the folder's path, and it names the folder that was checked
// even if its path has been swapped since; without /proc the full path, when
// it fits. False when neither can be had.
bool EndpointAddress(int folderFd, const std::string& folder, const std::string& name,
                     sockaddr_un& address, socklen_t& length) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string viaDescriptor = "/proc/self/fd/" + std::to_string(folderFd);
  std::string path;
  if (folderFd >= 0 && ::access(viaDescriptor.c_str(), X_OK) == 0) {
    path = viaDescriptor + "/" + name;
  } else {
    path = folder + "/" + name;
  }
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

// The listening end of the activation endpoint: each connection brings one
// request line, "activate" and what the compositor needs to pass the focus.
class ActivationEndpoint : public QObject {
 public:
  ActivationEndpoint(int listenFd, std::function<void(const std::string&)> onActivate)
      : listenFd_(listenFd),
        listening_(new QSocketNotifier(listenFd, QSocketNotifier::Read, this)),
        onActivate_(std::move(onActivate)) {
    connect(listening_, &QSocketNotifier::activated, this, [this] { Accept(); });
  }
  ~ActivationEndpoint() override {
    delete listening_;  // before its descriptor goes
    ::close(listenFd_);
  }

 private:
  void Accept() {
    int fd;
    while ((fd = RetryOnEintr([this] {
              return ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            })) >= 0) {
      auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
      connect(notifier, &QObject::destroyed, [fd] { ::close(fd); });
      auto request = std::make_shared<std::string>();
      connect(notifier, &QSocketNotifier::activated, notifier, [this, notifier, fd, request] {
        char bytes[512];
        ssize_t n;
        while ((n = RetryOnEintr([&] { return ::read(fd, bytes, sizeof bytes); })) > 0) {
          request->append(bytes, static_cast<size_t>(n));
        }
        const bool ended = n == 0 || errno != EAGAIN || request->find('\n') != std::string::npos ||
                           request->size() > kLongestRequest;
        if (!ended) return;
        notifier->setEnabled(false);
        notifier->deleteLater();
        Handle(*request);
      });
    }
  }

  void Handle(std::string request) {
    request = request.substr(0, request.find('\n'));
    if (request.compare(0, sizeof kActivateRequest - 1, kActivateRequest) != 0) return;
    std::string token = request.substr(sizeof kActivateRequest - 1);
    token.erase(0, token.find_first_not_of(' '));
    onActivate_(token);
  }

  int listenFd_;
  QSocketNotifier* listening_;
  std::function<void(const std::string&)> onActivate_;
};

}  // namespace

std::string InstanceBlockName(const std::string& programPath) {
  std::string name = FileNameOf(programPath);
  for (char& c : name) c = AsciiUpper(c);
  return name;
}

std::vector<std::string> GuardFolderCandidates() {
  std::vector<std::string> places;
  const std::string uid = std::to_string(::getuid());
  for (const std::string& place :
       {RuntimePlace(std::getenv("XDG_RUNTIME_DIR")), RuntimePlace(("/run/user/" + uid).c_str())}) {
    if (!place.empty() && (places.empty() || places.front() != place)) places.push_back(place);
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') places.push_back(std::string(home) + "/.cache/vantrelix");
  // The account's own home too, whatever HOME says: copies started with
  // different ones still share it.
  if (const struct passwd* user = ::getpwuid(::getuid());
      user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/') {
    const std::string own = std::string(user->pw_dir) + "/.cache/vantrelix";
    if (std::find(places.begin(), places.end(), own) == places.end()) places.push_back(own);
  }
  // Not $TMPDIR: a session and cron may have different ones.
  places.push_back("/tmp/vantrelix-" + uid);
  return places;
}

TGuardApplication::TGuardApplication(const std::string& blockName) : blockName_(blockName) {
  // A copy holds every place it can use, not only the first: another copy
  // of the user's, started with another runtime folder or none, meets it in
  // the first place they share (the session's folder, the home's, /tmp's).
  const std::vector<std::string> places = GuardFolderCandidates();
  int lastError = 0;
  std::string passedOver;  // each place not used, and why
  // The folders taken, by identity: two names of one folder (a trailing
  // slash, a link to the home) would lock it twice, which flock counts as
  // two holders, and this copy would see itself as another.
  std::vector<std::pair<dev_t, ino_t>> taken;
  for (const std::string& place : places) {
    std::string why;
    const int folderFd = OpenPrivateFolder(place, true, &why);
    if (folderFd < 0) {
      lastError = errno;
      passedOver += (passedOver.empty() ? "" : "; ") + place + " " + why;
      continue;
    }
    struct stat st {};
    ::fstat(folderFd, &st);
    if (std::find(taken.begin(), taken.end(), std::pair{st.st_dev, st.st_ino}) != taken.end()) {
      ::close(folderFd);
      continue;
    }
    taken.emplace_back(st.st_dev, st.st_ino);
    if (fd_ < 0) {
      if (!TakeBlock(folderFd, place)) {
        lastError = errno;
        ::close(folderFd);
        continue;
      }
      if (previousInstanceRunning_) return;
      continue;
    }
    if (!HoldAlso(folderFd, place)) ::close(folderFd);
    if (previousInstanceRunning_) return;
  }
  if (fd_ < 0) {
    std::string tried;
    for (const std::string& place : places) tried += (tried.empty() ? "" : ", ") + place;
    if (lastError == EMFILE || lastError == ENFILE || lastError == ENOMEM) {
      problem_ = std::string(lastError == ENOMEM ? "Not enough memory" : "Too many open files") +
                 " to open the lock that keeps copies apart (" + tried + ")";
      return;
    }
    problem_ = "No private folder for the lock that keeps copies apart: " + passedOver +
               ". Remove or close (chmod 700) those of yours, or have the administrator remove "
               "those of other users; or set XDG_RUNTIME_DIR to a folder of yours with mode 0700";
    return;
  }
  // First copy: the blocks are ours; what an earlier, ended copy left is stale.
  WriteLe32(fd_, kInstanceHandleOffset, static_cast<uint32_t>(::getpid()));
  WriteLe32(fd_, kApplicationHandleOffset, 0);
  for (const HeldPlace& also : alsoHeld_) {
    WriteLe32(also.blockFd, kInstanceHandleOffset, static_cast<uint32_t>(::getpid()));
    WriteLe32(also.blockFd, kApplicationHandleOffset, 0);
  }
  RemoveStaleEndpoints();
}

namespace {

// Opens the block file in a private folder; -1 when it is not the user's
// own regular file.
int OpenBlock(int folderFd, const std::string& name, bool create) {
  const int fd =
      ::openat(folderFd, name.c_str(),
               O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT : 0), 0600);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_size < static_cast<off_t>(kBlockSize) && ::ftruncate(fd, kBlockSize) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool TGuardApplication::TakeBlock(int folderFd, const std::string& folder) {
  const int fd = OpenBlock(folderFd, blockName_ + ".block", true);
  if (fd < 0) return false;
  folderFd_ = folderFd;
  folder_ = folder;
  fd_ = fd;
  if (RetryOnEintr([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    previousInstanceRunning_ = true;
    previousInstanceWindow_ = ReadLe32(fd_, kApplicationHandleOffset);
  }
  return true;
}

bool TGuardApplication::HoldAlso(int folderFd, const std::string& folder) {
  const int fd = OpenBlock(folderFd, blockName_ + ".block", true);
  if (fd < 0) return false;
  if (RetryOnEintr([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) {
    alsoHeld_.push_back({folderFd, folder, fd});
    return true;
  }
  // Another copy holds it; its endpoint is in this folder too. The places
  // this copy took go again, so that a third copy finds only the first's.
  previousInstanceRunning_ = true;
  previousInstanceWindow_ = ReadLe32(fd, kApplicationHandleOffset);
  ::close(fd);
  for (const HeldPlace& also : alsoHeld_) {
    ::close(also.blockFd);
    ::close(also.folderFd);
  }
  alsoHeld_.clear();
  ::close(fd_);
  fd_ = -1;
  ::close(folderFd_);
  folderFd_ = folderFd;
  folder_ = folder;
  return true;
}

void TGuardApplication::RemoveStaleEndpoints() const {
  // Killed copies leave their sockets; only the lock holder may clear them.
  std::vector<int> folders = {folderFd_};
  for (const HeldPlace& also : alsoHeld_) folders.push_back(also.folderFd);
  const std::string prefix = blockName_ + ".";
  for (const int folderFd : folders) {
    const int dup = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = dup >= 0 ? ::fdopendir(dup) : nullptr;
    if (dir == nullptr) {
      if (dup >= 0) ::close(dup);
      continue;
    }
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() > prefix.size() + 5 && name.compare(0, prefix.size(), prefix) == 0 &&
          name.compare(name.size() - 5, 5, ".sock") == 0) {
        ::unlinkat(folderFd, name.c_str(), 0);
      }
    }
    ::closedir(dir);
  }
}

TGuardApplication::~TGuardApplication() {
  const std::string endpoint = EndpointFileName(static_cast<uint32_t>(::getpid()));
  if (!endpoints_.empty()) {
    endpoints_.clear();
    ::unlinkat(folderFd_, endpoint.c_str(), 0);
    for (const HeldPlace& also : alsoHeld_) ::unlinkat(also.folderFd, endpoint.c_str(), 0);
  }
  for (const HeldPlace& also : alsoHeld_) {
    ::close(also.blockFd);
    ::close(also.folderFd);
  }
  if (fd_ >= 0) ::close(fd_);  // releases the lock
  if (folderFd_ >= 0) ::close(folderFd_);
}

std::string TGuardApplication::EndpointFileName(uint32_t handle) const {
  return blockName_ + "." + std::to_string(handle) + ".sock";
}

void TGuardApplication::ListenForActivation(std::function<void(const std::string&)> onActivate) {
  if (previousInstanceRunning_ || fd_ < 0) return;
  const auto handle = static_cast<uint32_t>(::getpid());
  // An endpoint in each place held, as a later copy looks in the first place
  // it finds held.
  std::vector<std::pair<int, std::string>> folders = {{folderFd_, folder_}};
  for (const HeldPlace& also : alsoHeld_) folders.emplace_back(also.folderFd, also.folder);
  const auto shared =
      std::make_shared<std::function<void(const std::string&)>>(std::move(onActivate));
  for (const auto& [folderFd, folder] : folders) {
    sockaddr_un address;
    socklen_t length;
    if (!EndpointAddress(folderFd, folder, EndpointFileName(handle), address, length)) continue;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    ::unlinkat(folderFd, EndpointFileName(handle).c_str(), 0);  // a stale one of a reused pid
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(fd, 16) != 0) {
      ::close(fd);
      continue;
    }
    endpoints_.push_back(std::make_unique<ActivationEndpoint>(
        fd, [shared](const std::string& token) { (*shared)(token); }));
  }
  if (endpoints_.empty()) return;
  WriteLe32(fd_, kApplicationHandleOffset, handle);
  for (const HeldPlace& also : alsoHeld_) WriteLe32(also.blockFd, kApplicationHandleOffset, handle);
}

void TGuardApplication::ActivatePreviousInstance() const {
  if (!previousInstanceRunning_) return;
  sockaddr_un address;
  socklen_t length;
  if (!EndpointAddress(folderFd_, folder_, EndpointFileName(previousInstanceWindow_), address,
                       length)) {
    if (report_) {
      report_("The running copy cannot be brought to the front: the path of " + folder_ +
              " is too long for a socket address, and /proc is not mounted.");
    }
    return;
  }
  if (previousInstanceWindow_ == 0) return;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (RetryOnEintr([&] {
        return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
      }) == 0) {
    std::string request = kActivateRequest;
    // Pass on what lets a compositor give the focus to the other copy.
    for (const char* variable : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
      const char* token = std::getenv(variable);
      if (token != nullptr && token[0] != '\0') {
        request = request + " " + token;
        break;
      }
    }
    request += "\n";
    for (size_t done = 0; done < request.size();) {
      const ssize_t n =
          RetryOnEintr([&] { return ::write(fd, request.data() + done, request.size() - done); });
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  ::close(fd);
}

TOneInstance::TOneInstance(QObject* owner) : QObject(owner) {
  ++guardCount;
  if (guardCount > 1) {
    --guardCount;  // the failed component is gone again
    throw EOneInstError("TOneInstance:\rAlready one TOneInstance control in this project!");
  }
  setObjectName("OneInstance1");
}

TOneInstance::~TOneInstance() {
  --guardCount;
}

int TOneInstance::GuardCount() {
  return guardCount;
}

void TOneInstance::Loaded(const TGuardApplication* guard, const std::string& applicationTitle,
                          const std::function<void(const std::string&)>& showInformation,
                          const std::function<void()>& requestEnd) {
  if (!Enabled || guard == nullptr || !guard->PreviousInstanceRunning()) return;
  switch (Mode) {
    case oiActivateOnly:
      guard->ActivatePreviousInstance();
      break;
    case oiDefaultMessage:
      if (showInformation) showInformation("\"" + applicationTitle + "\" was already started...");
      guard->ActivatePreviousInstance();
      break;
    case oiCustom:
      if (OnCustom) {
        OnCustom(this);
      } else {
        guard->ActivatePreviousInstance();
      }
      break;
  }
  requestEnd();
}

}  // namespace vantrelix
