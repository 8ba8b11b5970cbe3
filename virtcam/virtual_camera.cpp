#include "virtcam/virtual_camera.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/device_wire.h"
#include "platform/posix/runtime_dir.h"
#include "virtcam/request_header.h"

namespace pelnik::virtcam {

namespace us = platform::unix_stream;
namespace wire = platform::wire;

namespace {
constexpr int kSocketBufferBytes = 4 << 20;
constexpr int kControlReceiveTimeoutMs = 2000;
}  // namespace

VirtualCamera::VirtualCamera(VirtualCameraOptions options) : options_(std::move(options)) {
  if (!start()) stop();
}

VirtualCamera::~VirtualCamera() { stop(); }

std::string VirtualCamera::socketPath(int camera) const {
  return directory_ + "/" + wire::cameraSocketName(camera);
}

std::vector<int> VirtualCamera::cameras() const {
  std::vector<int> numbers;
  for (const auto &[n, unit] : units_) numbers.push_back(n);
  return numbers;
}

CameraUnit *VirtualCamera::camera(int camera) const {
  const auto found = units_.find(camera);
  return found == units_.end() ? nullptr : found->second.get();
}

bool VirtualCamera::start() {
  directory_ = options_.directory.empty() ? platform::ensureRuntimeDirectory() : options_.directory;
  if (directory_.empty()) {
    error_ = "the runtime directory " + platform::runtimeDirectoryPath() + " cannot be used";
    return false;
  }
  for (const int n : options_.cameras) {
    if (n < 0 || n > 31) {
      error_ = "camera number " + std::to_string(n) + " is not in 0..31";
      return false;
    }
    units_.emplace(n, std::make_unique<CameraUnit>(n, options_.camera));
  }
  wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_.valid()) {
    error_ = "no eventfd";
    return false;
  }
  for (const auto &[n, unit] : units_) {
    std::string message;
    if (!plug(n, message)) {
      error_ = message;
      return false;
    }
  }
  if (options_.controlSocket) {
    control_ = us::listenAt(controlSocketPath(directory_));
    if (!control_.valid()) {
      error_ = "cannot serve the control socket " + controlSocketPath(directory_) +
               " (is another virtual camera running?)";
      return false;
    }
  }
  acceptor_ = std::thread([this] { acceptLoop(); });
  return true;
}

void VirtualCamera::stop() {
  stopping_ = true;
  for (const auto &[n, unit] : units_) unit->shutDown();
  if (acceptor_.joinable()) {
    wakeAcceptor();
    acceptor_.join();
  }
  std::list<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard lock(connectionsLock_);
    for (auto &c : connections_) us::shutdownBoth(c->fd.get());
    connections.swap(connections_);
  }
  for (auto &c : connections)
    if (c->thread.joinable()) c->thread.join();
  {
    std::lock_guard lock(listenersLock_);
    for (auto &[n, listener] : listeners_) ::unlink(socketPath(n).c_str());
    listeners_.clear();
    retired_.clear();
  }
  if (control_.valid()) {
    ::unlink(controlSocketPath(directory_).c_str());
    control_.reset();
  }
}

void VirtualCamera::wakeAcceptor() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
}

bool VirtualCamera::plug(int camera, std::string &message) {
  CameraUnit *unit = this->camera(camera);
  if (!unit) {
    message = "camera " + std::to_string(camera) + " is not served";
    return false;
  }
  {
    std::lock_guard lock(listenersLock_);
    if (!listeners_.count(camera)) {
      us::UniqueFd listener = us::listenAt(socketPath(camera));
      if (!listener.valid()) {
        message = "cannot serve " + socketPath(camera) + " (served by another process?)";
        return false;
      }
      listeners_.emplace(camera, std::move(listener));
    }
  }
  unit->setUnplugged(false);
  if (wake_.valid()) wakeAcceptor();
  return true;
}

void VirtualCamera::unplug(int camera) {
  CameraUnit *unit = this->camera(camera);
  {
    std::lock_guard lock(listenersLock_);
    const auto found = listeners_.find(camera);
    if (found != listeners_.end()) {
      ::unlink(socketPath(camera).c_str());
      retired_.push_back(std::move(found->second));
      listeners_.erase(found);
    }
  }
  unit->setUnplugged(true);
  {
    std::lock_guard lock(connectionsLock_);
    for (auto &c : connections_)
      if (c->camera == camera) us::shutdownBoth(c->fd.get());
  }
  wakeAcceptor();
}

bool VirtualCamera::apply(ControlAction action, int camera, std::string &message) {
  CameraUnit *unit = this->camera(camera);
  if (!unit) {
    message = "camera " + std::to_string(camera) + " is not served";
    return false;
  }
  switch (action) {
    case ControlAction::Unplug:
      unplug(camera);
      break;
    case ControlAction::Plug:
      return plug(camera, message);
    case ControlAction::Heal:
      unit->apply(action);
      return plug(camera, message);
    default:
      unit->apply(action);
      break;
  }
  return true;
}

void VirtualCamera::acceptLoop() {
  std::vector<pollfd> entries;
  std::vector<int> owners;  // camera of each entry; -1 control, -2 wake
  while (!stopping_) {
    entries.clear();
    owners.clear();
    entries.push_back({wake_.get(), POLLIN, 0});
    owners.push_back(-2);
    if (control_.valid()) {
      entries.push_back({control_.get(), POLLIN, 0});
      owners.push_back(-1);
    }
    {
      std::lock_guard lock(listenersLock_);
      retired_.clear();  // nobody polls them now
      for (const auto &[n, listener] : listeners_) {
        entries.push_back({listener.get(), POLLIN, 0});
        owners.push_back(n);
      }
    }
    reapFinished();
    const int ready = ::poll(entries.data(), entries.size(), -1);
    if (ready < 0) continue;
    if (stopping_) break;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (!(entries[i].revents & POLLIN)) continue;
      if (owners[i] == -2) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t got = ::read(wake_.get(), &count, sizeof count);
      } else {
        acceptFrom(entries[i].fd, owners[i]);
      }
    }
  }
}

void VirtualCamera::acceptFrom(int listener, int camera) {
  if (camera >= 0) {
    // Only a listener still in service accepts; a retired one stays open
    // until the acceptor's next round so its descriptor is never reused
    // under the poll.
    std::lock_guard lock(listenersLock_);
    const auto found = listeners_.find(camera);
    if (found == listeners_.end() || found->second.get() != listener) return;
  }
  us::UniqueFd fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd.valid()) return;
  auto connection = std::make_unique<Connection>();
  connection->camera = camera;
  connection->fd = std::move(fd);
  Connection &c = *connection;
  std::lock_guard lock(connectionsLock_);
  if (camera >= 0) {
    us::setBufferSizes(c.fd.get(), kSocketBufferBytes);
    CameraUnit &unit = *units_.at(camera);
    const std::uint64_t id = nextConnectionId_++;
    c.thread = std::thread([this, &c, &unit, id] {
      serveCamera(c, unit, id);
      finish(c);
    });
  } else {
    c.thread = std::thread([this, &c] {
      serveControl(c);
      finish(c);
    });
  }
  connections_.push_back(std::move(connection));
}

// The peer sees the end of the connection now; the descriptor itself is
// closed when the acceptor reaps the thread.
void VirtualCamera::finish(Connection &connection) {
  us::shutdownBoth(connection.fd.get());
  connection.finished = true;
  wakeAcceptor();
}

void VirtualCamera::reapFinished() {
  std::list<std::unique_ptr<Connection>> done;
  {
    std::lock_guard lock(connectionsLock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->finished) {
        done.push_back(std::move(*it));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto &c : done) c->thread.join();
}

void VirtualCamera::serveCamera(Connection &connection, CameraUnit &unit, std::uint64_t id) {
  const int fd = connection.fd.get();
  CameraConnection context(id, unit.scene(), [fd] { return us::peerHungUp(fd); });
  std::vector<std::uint8_t> body;
  while (!stopping_) {
    wire::RequestHeader request;
    if (!us::receiveAll(fd, &request, sizeof request)) return;
    if (!acceptableRequestHeader(request)) {
      unit.recordStreamError(id, "unreadable request header; connection dropped");
      return;
    }
    body.resize(std::size_t(request.inputLength) + request.outboundLength);
    if (!us::receiveAll(fd, body.data(), body.size())) return;
    CameraRequest parsed;
    parsed.code = request.code;
    parsed.input = std::span(body.data(), request.inputLength);
    parsed.outputLength = request.outputLength;
    parsed.outbound = std::span(body.data() + request.inputLength, request.outboundLength);
    const CameraReply answer = unit.handle(parsed, context);
    wire::ReplyHeader reply;
    reply.status = answer.succeeded ? 0 : 1;
    reply.returned = answer.returned;
    reply.payloadLength = std::uint32_t(answer.payload.size());
    iovec pieces[2] = {{&reply, sizeof reply},
                       {const_cast<std::uint8_t *>(answer.payload.data()), answer.payload.size()}};
    if (!us::sendAll(fd, pieces, 2)) return;
  }
}

void VirtualCamera::serveControl(Connection &connection) {
  const int fd = connection.fd.get();
  timeval limit{kControlReceiveTimeoutMs / 1000, (kControlReceiveTimeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::string line;
  char buffer[256];
  while (line.find('\n') == std::string::npos && line.size() < 256) {
    const ssize_t got = us::receiveSome(fd, buffer, sizeof buffer);
    if (got <= 0) return;
    line.append(buffer, std::size_t(got));
  }
  line = line.substr(0, line.find('\n'));
  const auto space = line.find(' ');
  const std::string name = line.substr(0, space);
  std::string answer;
  const auto action = parseControlAction(name);
  int camera = -1;
  if (space != std::string::npos) {
    const std::string number = line.substr(space + 1);
    if (!number.empty() && number.size() <= 2 &&
        std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }))
      camera = std::stoi(number);
  }
  if (name == "list") {
    answer = "ok";
    for (const int n : cameras()) answer += " " + std::to_string(n);
  } else if (!action) {
    answer = "error: unknown action '" + name + "'";
  } else if (camera < 0) {
    answer = "error: no camera number given";
  } else {
    std::string message;
    answer = apply(*action, camera, message) ? "ok" : "error: " + message;
  }
  answer += "\n";
  us::sendAll(fd, answer.data(), answer.size());
}

}  // namespace pelnik::virtcam
