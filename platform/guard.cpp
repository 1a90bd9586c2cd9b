#include "guard.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vantrelix {

namespace {

constexpr size_t kBlockSize = 16;
constexpr size_t kInstanceHandleOffset = 0;
constexpr size_t kApplicationHandleOffset = 4;

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

constexpr char kActivateRequest[] = "activate";

}  // namespace

std::string InstanceBlockName(const std::string& programPath) {
  std::string name = programPath.substr(programPath.find_last_of('/') + 1);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

namespace {

// A folder that is ours alone: owned by us, not a link, nobody else may
// enter it. Created when missing.
bool PrivateFolder(const std::string& path) {
  ::mkdir(path.c_str(), 0700);
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

std::string GuardFolder() {
  // The session's runtime folder is private to the user; elsewhere (cron,
  // a root shell) a folder of the user's own under /tmp, which another user
  // who made it first cannot pass off as ours.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && PrivateFolder(runtime)) {
    const std::string folder = std::string(runtime) + "/vantrelix";
    if (PrivateFolder(folder)) return folder;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
  const std::string folder = base + "/vantrelix-" + std::to_string(::getuid());
  return PrivateFolder(folder) ? folder : std::string();
}

TGuardApplication::TGuardApplication(const std::string& blockName) : blockName_(blockName) {
  folder_ = GuardFolder();
  if (folder_.empty()) return;  // no private place: run as a first copy
  blockPath_ = folder_ + "/" + blockName + ".block";
  fd_ = ::open(blockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_size < static_cast<off_t>(kBlockSize) && ::ftruncate(fd_, kBlockSize) != 0)) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    // First copy: the block is ours; what an earlier, ended copy left is stale.
    WriteLe32(fd_, kInstanceHandleOffset, static_cast<uint32_t>(::getpid()));
    WriteLe32(fd_, kApplicationHandleOffset, 0);
    RemoveStaleEndpoints();
    return;
  }
  previousInstanceRunning_ = true;
  previousInstanceWindow_ = ReadLe32(fd_, kApplicationHandleOffset);
}

void TGuardApplication::RemoveStaleEndpoints() const {
  // Killed copies leave their sockets; only the lock holder may clear them.
  DIR* dir = ::opendir(folder_.c_str());
  if (dir == nullptr) return;
  const std::string prefix = blockName_ + ".";
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() > prefix.size() + 5 && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - 5, 5, ".sock") == 0) {
      ::unlink((folder_ + "/" + name).c_str());
    }
  }
  ::closedir(dir);
}

TGuardApplication::~TGuardApplication() {
  server_.reset();
  if (fd_ >= 0) ::close(fd_);  // releases the lock
}

std::string TGuardApplication::EndpointName(uint32_t handle) const {
  return folder_ + "/" + blockName_ + "." + std::to_string(handle) + ".sock";
}

void TGuardApplication::ListenForActivation(std::function<QWidget*()> windowToRaise) {
  if (previousInstanceRunning_ || fd_ < 0) return;
  const auto handle = static_cast<uint32_t>(::getpid());
  const QString name = QString::fromStdString(EndpointName(handle));
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name)) {
    server_.reset();
    return;
  }
  QObject::connect(
      server_.get(), &QLocalServer::newConnection, server_.get(),
      [server = server_.get(), windowToRaise] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
          QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
          QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, windowToRaise] {
            const QByteArray request = socket->readAll().trimmed();
            if (!request.startsWith(kActivateRequest)) return;
            const QByteArray token = request.mid(sizeof kActivateRequest).trimmed();
            BringForward(windowToRaise(), token);
          });
        }
      });
  WriteLe32(fd_, kApplicationHandleOffset, handle);
}

void TGuardApplication::ActivatePreviousInstance() const {
  if (!previousInstanceRunning_ || previousInstanceWindow_ == 0) return;
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(EndpointName(previousInstanceWindow_)));
  if (!socket.waitForConnected(500)) return;
  QByteArray request = kActivateRequest;
  // Pass on what lets a compositor give the focus to the other copy.
  for (const char* variable : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
    const QByteArray token = qgetenv(variable);
    if (!token.isEmpty()) {
      request += " " + token;
      break;
    }
  }
  socket.write(request + "\n");
  socket.waitForBytesWritten(500);
  socket.disconnectFromServer();
}

void BringForward(QWidget* window, const QByteArray& activationToken) {
  if (window == nullptr) return;
  if (!activationToken.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", activationToken);
  if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->raise();
  window->activateWindow();
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
