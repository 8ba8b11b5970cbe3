#pragma once
// Unix-domain stream socket helpers shared by the socket transport and the
// virtual camera. Header-only so that the virtual camera uses the same code
// without linking the SDK. Sends never raise SIGPIPE (MSG_NOSIGNAL).
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

namespace pelnik::platform::unix_stream {

// Owns one file descriptor; closes it on destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

inline bool fillAddress(const std::string &path, sockaddr_un &address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Connects to the socket at `path`; an invalid descriptor when nothing answers.
inline UniqueFd connectTo(const std::string &path) {
  sockaddr_un address;
  if (!fillAddress(path, address)) return {};
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return {};
  int rc;
  do {
    rc = ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return {};
  return fd;
}

// Whether a live listener answers at `path`.
inline bool somebodyListens(const std::string &path) { return connectTo(path).valid(); }

// Binds and listens at `path` (mode 0600). A socket file left by a dead
// process is replaced; a live listener is not. Invalid descriptor on failure.
inline UniqueFd listenAt(const std::string &path, int backlog = 64) {
  sockaddr_un address;
  if (!fillAddress(path, address)) return {};
  if (somebodyListens(path)) return {};
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) return {};
    ::unlink(path.c_str());
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return {};
  if (::bind(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
    return {};
  ::chmod(path.c_str(), 0600);
  if (::listen(fd.get(), backlog) != 0) {
    ::unlink(path.c_str());
    return {};
  }
  return fd;
}

// Larger socket buffers let a whole frame move in few system calls.
inline void setBufferSizes(int fd, int bytes) {
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

// Sends every byte of the pieces; false when the peer is gone.
inline bool sendAll(int fd, iovec *pieces, int count) {
  while (count > 0) {
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = static_cast<std::size_t>(count);
    const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    auto left = static_cast<std::size_t>(sent);
    while (count > 0 && left >= pieces->iov_len) {
      left -= pieces->iov_len;
      ++pieces;
      --count;
    }
    if (count > 0) {
      pieces->iov_base = static_cast<char *>(pieces->iov_base) + left;
      pieces->iov_len -= left;
    }
  }
  return true;
}

inline bool sendAll(int fd, const void *data, std::size_t length) {
  iovec piece{const_cast<void *>(data), length};
  return sendAll(fd, &piece, 1);
}

// Receives exactly `length` bytes; false on end of stream or error.
inline bool receiveAll(int fd, void *data, std::size_t length) {
  auto *at = static_cast<char *>(data);
  while (length > 0) {
    const ssize_t got = ::recv(fd, at, length, MSG_WAITALL);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

// Receives up to `length` bytes, at least one; what arrived, or -1 at end of
// stream or on error.
inline ssize_t receiveSome(int fd, void *data, std::size_t length) {
  for (;;) {
    const ssize_t got = ::recv(fd, data, length, 0);
    if (got < 0 && errno == EINTR) continue;
    return got > 0 ? got : -1;
  }
}

// Ends every transfer on the descriptor, also one blocked in another thread.
inline void shutdownBoth(int fd) {
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

// True when the peer has closed or the connection broke (does not block).
inline bool peerHungUp(int fd) {
  pollfd entry{fd, POLLRDHUP, 0};
  if (::poll(&entry, 1, 0) <= 0) return false;
  return (entry.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace pelnik::platform::unix_stream
