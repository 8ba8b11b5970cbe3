#include "virtcam/win32/pipe_server.h"

#include "platform/device_wire.h"

namespace pelnik::virtcam::win32 {

namespace wire = platform::wire;
using platform::win32::PipeStream;
using platform::win32::UniqueHandle;

namespace {
// Room for a request or a 64-byte reply in the pipe; frames pass in pieces.
constexpr DWORD kPipeBufferBytes = 64 * 1024;
}  // namespace

std::string PipeServer::pipePath(int number, std::string_view baseName) {
  // The camera's socket name with its base name replaced: "-" and the unit.
  const std::string unit = wire::cameraSocketName(number).substr(wire::kDeviceBaseName.size());
  return "\\\\.\\pipe\\" + std::string(baseName) + unit;
}

bool PipeServer::validBaseName(std::string_view baseName) {
  return !baseName.empty() && baseName.size() <= 64 &&
         baseName.find_first_of("\\/") == std::string_view::npos;
}

PipeServer::PipeServer(std::vector<int> cameras, CameraOptions options, std::string baseName)
    : baseName_(std::move(baseName)), stopping_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (!validBaseName(baseName_)) {
    error_ = "bad pipe base name: " + baseName_;
    return;
  }
  if (!stopping_.valid()) {
    error_ = "cannot create the stop event";
    return;
  }
  for (const int n : cameras) {
    if (n < 0 || n > 31) {
      error_ = "camera number out of range: " + std::to_string(n);
      return;
    }
    units_.emplace(n, std::make_unique<CameraUnit>(n, options));
  }
  // Every pipe has its first instance before the constructor returns, so a
  // client that starts right after finds the camera.
  std::vector<UniqueHandle> firsts;
  for (const auto &entry : units_) {
    firsts.push_back(newInstance(entry.first));
    if (!firsts.back().valid()) {
      error_ = "cannot create " + pipePath(entry.first, baseName_);
      return;
    }
  }
  std::size_t index = 0;
  for (auto &[n, unit] : units_) {
    CameraUnit &served = *unit;
    const int number = n;
    listeners_.emplace_back([this, number, &served, first = firsts[index++].release()] {
      listen(number, served, UniqueHandle(first));
    });
  }
}

PipeServer::~PipeServer() {
  if (stopping_.valid()) ::SetEvent(stopping_.get());
  for (auto &listener : listeners_) listener.join();
  reapFinished(true);
}

CameraUnit *PipeServer::camera(int number) const {
  const auto found = units_.find(number);
  return found == units_.end() ? nullptr : found->second.get();
}

UniqueHandle PipeServer::newInstance(int number) {
  return UniqueHandle(::CreateNamedPipeA(
      pipePath(number, baseName_).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0, nullptr));
}

void PipeServer::listen(int number, CameraUnit &unit, UniqueHandle first) {
  UniqueHandle pipe = std::move(first);
  while (::WaitForSingleObject(stopping_.get(), 0) != WAIT_OBJECT_0) {
    if (!pipe.valid()) {
      // Out of instances or resources for now; try again shortly.
      if (::WaitForSingleObject(stopping_.get(), 50) == WAIT_OBJECT_0) return;
      pipe = newInstance(number);
      continue;
    }
    {
      PipeStream waiting(pipe.get(), stopping_.get());
      if (!waiting.acceptClient()) {
        pipe = newInstance(number);
        continue;
      }
    }
    // The next instance before this client is served: one instance is
    // always free for the next open.
    UniqueHandle next = newInstance(number);
    auto connection = std::make_unique<Connection>();
    connection->pipe = std::move(pipe);
    pipe = std::move(next);
    Connection &c = *connection;
    const std::uint64_t id = nextConnectionId_++;
    reapFinished(false);
    std::lock_guard lock(connectionsLock_);
    c.thread = std::thread([this, &c, &unit, id] {
      serve(c, unit, id);
      c.finished = true;
    });
    connections_.push_back(std::move(connection));
  }
}

void PipeServer::serve(Connection &connection, CameraUnit &unit, std::uint64_t id) {
  HANDLE pipe = connection.pipe.get();
  PipeStream stream(pipe, stopping_.get());
  // A client that went away shows as a broken pipe on a zero-byte peek.
  CameraConnection context(id, unit.scene(), [pipe] {
    DWORD available = 0;
    return !::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr);
  });
  std::vector<std::uint8_t> body;
  for (;;) {
    wire::RequestHeader request;
    if (!stream.readAll(&request, sizeof request)) break;
    if (request.magic != wire::kRequestMagic || request.inputLength > wire::kMaxInputBytes ||
        request.outboundLength > wire::kMaxOutboundBytes ||
        request.outputLength > wire::kMaxOutputBytes ||
        request.outboundLength > request.outputLength) {
      unit.recordStreamError(id, "unreadable request header; connection dropped");
      break;
    }
    body.resize(std::size_t(request.inputLength) + request.outboundLength);
    if (!body.empty() && !stream.readAll(body.data(), body.size())) break;
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
    if (!stream.writeAll(&reply, sizeof reply)) break;
    if (!answer.payload.empty() && !stream.writeAll(answer.payload.data(), answer.payload.size()))
      break;
  }
  ::DisconnectNamedPipe(pipe);
}

void PipeServer::reapFinished(bool all) {
  std::list<std::unique_ptr<Connection>> done;
  {
    std::lock_guard lock(connectionsLock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (all || (*it)->finished) {
        done.push_back(std::move(*it));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto &c : done) c->thread.join();
}

}  // namespace pelnik::virtcam::win32
