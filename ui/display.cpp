#include "display.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vantrelix {

namespace {

bool ConnectUnix(const std::string& path, bool abstractName) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t offset = abstractName ? 1 : 0;
  if (path.size() + offset >= sizeof addr.sun_path) {
    ::close(fd);
    return false;
  }
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0;
  ::close(fd);
  return ok;
}

bool ConnectTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    ok = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return ok;
}

// DISPLAY is [host]:number[.screen]; a local display listens on a socket.
bool XDisplayAnswers(const std::string& display) {
  const auto colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  if (host.empty() || host == "unix") {
    const std::string socket = "/tmp/.X11-unix/X" + number;
    return ConnectUnix(socket, false) || ConnectUnix(socket, true);
  }
  if (host[0] == '/')
    return ConnectUnix(display, false);  // a socket path, as on macOS-style setups
  return ConnectTcp(host, 6000 + std::stoi(number));
}

bool WaylandAnswers(const std::string& name) {
  if (!name.empty() && name[0] == '/') return ConnectUnix(name, false);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') return false;
  return ConnectUnix(std::string(runtime) + "/" + name, false);
}

const char* NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : nullptr;
}

}  // namespace

bool DisplayAvailable() {
  if (NonEmptyEnv("QT_QPA_PLATFORM") != nullptr) return true;
  if (const char* wayland = NonEmptyEnv("WAYLAND_DISPLAY");
      wayland != nullptr && WaylandAnswers(wayland)) {
    return true;
  }
  if (const char* x = NonEmptyEnv("DISPLAY"); x != nullptr && XDisplayAnswers(x)) return true;
  return false;
}

}  // namespace vantrelix
