#include "ui/x11/x11_server_probe.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace pelnik::platform::x11 {

namespace {

// The local socket of ":N", "unix:N" or "/path:N" (launchd style), empty
// for other hosts.
std::string localSocketPath(const std::string &name) {
  const auto colon = name.rfind(':');
  if (colon == std::string::npos) return {};
  const std::string host = name.substr(0, colon);
  std::string number = name.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return {};
  if (host.empty() || host == "unix") return "/tmp/.X11-unix/X" + number;
  if (host.front() == '/') return host + ":" + number;
  return {};
}

// Closes the descriptor when the probe ends.
class Socket {
 public:
  Socket() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket &) = delete;
  Socket &operator=(const Socket &) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool serverAnswers(const char *displayName, int limitMs) {
  const char *name = displayName ? displayName : std::getenv("DISPLAY");
  if (!name || !*name) return false;
  const std::string path = localSocketPath(name);
  if (path.empty()) return true;
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return true;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  Socket socket;
  if (socket.fd() < 0) return true;
  // A listening socket accepts into its backlog even while its server is
  // stopped, so only the answer to a set-up tells.
  if (::connect(socket.fd(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
    return false;
  // Connection set-up: little-endian, protocol 11.0, no authorisation. Any
  // reply (accepted, refused, asked to authenticate) means it runs.
  const std::uint8_t setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  if (::send(socket.fd(), setup, sizeof setup, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof setup))
    return false;
  pollfd wait{socket.fd(), POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&wait, 1, limitMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  std::uint8_t first = 0;
  return ::recv(socket.fd(), &first, 1, 0) == 1;
}

}  // namespace pelnik::platform::x11
