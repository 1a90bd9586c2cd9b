#include "display.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLibraryInfo>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace vantrelix {

namespace {

const char* NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : nullptr;
}

// Opens the X display as Qt's xcb platform will, through the same library
// (it comes with the platform plugin), and closes it again: a server that
// refuses the client (no XAUTHORITY under cron or sudo) counts as none.
bool XServerAccepts() {
  const char* display = NonEmptyEnv("DISPLAY");
  if (display == nullptr) return false;
  void* xcb = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (xcb == nullptr) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
  const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
  bool accepted = false;
  if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
    void* connection = connect(display, nullptr);
    accepted = connection != nullptr && hasError(connection) == 0;
    if (connection != nullptr) disconnect(connection);  // also frees a failed one
  }
  ::dlclose(xcb);
  return accepted;
}

bool ConnectUnix(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    ::close(fd);
    return false;
  }
  std::memcpy(addr.sun_path, path.data(), path.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0;
  ::close(fd);
  return ok;
}

bool PlatformPluginInstalled(const QString& prefix) {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
  return !platforms.entryList({prefix + "*.so"}, QDir::Files).isEmpty();
}

// A compositor that answers on WAYLAND_DISPLAY, and Qt's plugin to talk to it.
bool WaylandUsable() {
  // Only a session that names its compositor: a remote shell of a user who
  // is also logged in at the desktop must not open windows there.
  const char* name = NonEmptyEnv("WAYLAND_DISPLAY");
  if (name == nullptr) return false;
  std::string socket = name;
  if (socket[0] != '/') {
    const char* runtime = NonEmptyEnv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) return false;
    socket = std::string(runtime) + "/" + socket;
  }
  return ConnectUnix(socket) && PlatformPluginInstalled("libqwayland");
}

bool XcbUsable() {
  return XServerAccepts() && PlatformPluginInstalled("libqxcb");
}

// Whether one entry of QT_QPA_PLATFORM ("name" or "name:options") can work.
bool PlatformUsable(std::string_view entry) {
  const std::string_view name = entry.substr(0, entry.find(':'));
  if (name == "xcb") return XcbUsable();
  if (name.substr(0, 7) == "wayland") return WaylandUsable();
  return !name.empty();  // offscreen, minimal, vnc, ...: nothing to check here
}

// The platform chosen, as QGuiApplication::platformName() will give it; in
// QT_QPA_PLATFORM, which a window program started from this one inherits.
std::string chosenPlatform;

// Puts the choice into QT_QPA_PLATFORM. A platform that needs a display gets
// one that needs none behind it: Qt tries the next entry instead of aborting.
bool Choose(const std::string& entry) {
  chosenPlatform = entry.substr(0, entry.find(':'));
  const bool needsDisplay = chosenPlatform == "xcb" || chosenPlatform.substr(0, 7) == "wayland";
  ::setenv("QT_QPA_PLATFORM", (needsDisplay ? entry + ";offscreen" : entry).c_str(), 1);
  return true;
}

}  // namespace

std::string ChosenWindowSystem() {
  if (!chosenPlatform.empty()) return chosenPlatform;
  const char* chosen = NonEmptyEnv("QT_QPA_PLATFORM");
  if (chosen == nullptr) return {};
  const std::string_view entry = chosen;
  return std::string(entry.substr(0, std::min(entry.find(':'), entry.find(';'))));
}

bool ChooseWindowSystem() {
  if (const char* requested = NonEmptyEnv("QT_QPA_PLATFORM")) {
    std::string_view entries = requested;
    while (!entries.empty()) {
      const size_t end = std::min(entries.find(';'), entries.size());
      const std::string entry(entries.substr(0, end));
      if (PlatformUsable(entry)) return Choose(entry);
      entries.remove_prefix(std::min(end + 1, entries.size()));
    }
    return false;
  }
  if (XcbUsable()) return Choose("xcb");
  if (WaylandUsable()) return Choose("wayland");
  return false;
}

}  // namespace vantrelix
