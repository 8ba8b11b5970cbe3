#include "platform/posix/socket_transport.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <atomic>

#include "platform/device_wire.h"
#include "platform/posix/runtime_dir.h"
#include "platform/posix/unix_stream.h"

namespace pelnik::platform {

namespace us = unix_stream;

namespace {
// Room for a whole 16-bit frame in the socket, so the camera side can hand a
// frame to the kernel in one go while the reader drains it.
constexpr int kSocketBufferBytes = 4 << 20;
}  // namespace

struct SocketTransport::Connection {
  explicit Connection(us::UniqueFd socket) : fd(std::move(socket)) {}
  us::UniqueFd fd;
  std::mutex requestLock;             // guards the stream between a request and its reply
  std::atomic<bool> unusable{false};  // closed, or the stream lost step
};

SocketTransport::SocketTransport(std::string directory) : directory_(std::move(directory)) {}

SocketTransport::~SocketTransport() {
  std::lock_guard lock(tableLock_);
  for (auto &[handle, connection] : connections_) us::shutdownBoth(connection->fd.get());
}

std::string SocketTransport::socketDirectory() const {
  return directory_.empty() ? ensureRuntimeDirectory() : directory_;
}

DeviceHandle SocketTransport::open(const std::string &devicePath) {
  const std::string name = wire::socketNameOfDevicePath(devicePath);
  if (name.empty()) return kNoDeviceHandle;
  const std::string directory = socketDirectory();
  if (directory.empty()) return kNoDeviceHandle;
  us::UniqueFd fd = us::connectTo(directory + "/" + name);
  if (!fd.valid()) return kNoDeviceHandle;
  us::setBufferSizes(fd.get(), kSocketBufferBytes);
  auto connection = std::make_shared<Connection>(std::move(fd));
  std::lock_guard lock(tableLock_);
  const DeviceHandle handle = nextHandle_++;
  connections_.emplace(handle, std::move(connection));
  return handle;
}

std::shared_ptr<SocketTransport::Connection> SocketTransport::find(DeviceHandle handle) const {
  std::lock_guard lock(tableLock_);
  const auto found = connections_.find(handle);
  return found == connections_.end() ? nullptr : found->second;
}

namespace {

// Reads one reply: the header, then its payload straight into `output`. The
// first receive asks for header and payload at once, so a small reply costs
// one system call and a frame lands in the caller's buffer without a copy.
bool receiveReply(int fd, wire::ReplyHeader &reply, void *output, std::uint32_t outputLength) {
  auto *headerBytes = reinterpret_cast<char *>(&reply);
  std::size_t headerGot = 0;
  std::size_t payloadGot = 0;
  while (headerGot < sizeof reply) {
    iovec pieces[2] = {{headerBytes + headerGot, sizeof reply - headerGot},
                       {output, output ? outputLength : 0}};
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = pieces[1].iov_len ? 2 : 1;
    ssize_t got;
    do {
      got = ::recvmsg(fd, &message, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    const auto count = static_cast<std::size_t>(got);
    const std::size_t intoHeader = std::min(count, sizeof reply - headerGot);
    headerGot += intoHeader;
    payloadGot = count - intoHeader;
  }
  if (reply.magic != wire::kReplyMagic || reply.payloadLength > outputLength ||
      reply.returned > outputLength || payloadGot > reply.payloadLength)
    return false;
  return us::receiveAll(fd, static_cast<char *>(output) + payloadGot,
                        reply.payloadLength - payloadGot);
}

}  // namespace

bool SocketTransport::control(DeviceHandle handle, std::uint32_t code, const void *input,
                              std::uint32_t inputLength, void *output, std::uint32_t outputLength,
                              std::uint32_t &returned) {
  returned = 0;
  if ((inputLength && !input) || (outputLength && !output)) return false;
  const auto header = wire::requestFor(code, input, inputLength, outputLength);
  if (!header) return false;
  wire::RequestHeader request = *header;
  const auto connection = find(handle);
  if (!connection) return false;
  std::lock_guard lock(connection->requestLock);
  if (connection->unusable) return false;

  iovec pieces[3] = {{&request, sizeof request},
                     {const_cast<void *>(input), inputLength},
                     {output, request.outboundLength}};
  const int fd = connection->fd.get();
  wire::ReplyHeader reply;
  if (!us::sendAll(fd, pieces, 3) || !receiveReply(fd, reply, output, outputLength)) {
    // A broken or half-read stream cannot be trusted for another request.
    connection->unusable = true;
    return false;
  }
  if (reply.status != 0) return false;
  returned = reply.returned;
  return true;
}

void SocketTransport::close(DeviceHandle handle) {
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard lock(tableLock_);
    const auto found = connections_.find(handle);
    if (found == connections_.end()) return;
    connection = std::move(found->second);
    connections_.erase(found);
  }
  // Wakes a request blocked on this handle in another thread; the descriptor
  // itself closes when that request lets go of the connection.
  connection->unusable = true;
  us::shutdownBoth(connection->fd.get());
}

std::size_t SocketTransport::openHandleCount() const {
  std::lock_guard lock(tableLock_);
  return connections_.size();
}

DeviceTransport &socketTransport() {
  static SocketTransport transport;
  return transport;
}

DeviceTransport &driverTransport() { return socketTransport(); }

}  // namespace pelnik::platform
