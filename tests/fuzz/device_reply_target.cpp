// Fuzz target for the device layer fed by a hostile camera: a socket server
// in the runtime directory answers every request from the fuzz input (right
// replies, failures, replies of any length, torn payloads, garbage headers,
// a stale reply queued ahead of the next request, a dropped connection) while
// the device object probes, reads registers, reads a single frame and starts
// and stops streaming. The device layer must answer with its status codes,
// never touch memory outside its buffers and never hang.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/CPelnikR5MLXSdk.h"
#include "device/device_status.h"
#include "platform/device_wire.h"
#include "platform/posix/socket_transport.h"
#include "platform/posix/unix_stream.h"

namespace wire = pelnik::platform::wire;
namespace us = pelnik::platform::unix_stream;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

class NoWaitClock final : public pelnik::device::DeviceClock {
 public:
  void sleepMs(int) override {}
};

// The input as a script the server reads its answers from; once it is used
// up every connection is dropped, so the device layer sees failures only.
class ReplyScript {
 public:
  ReplyScript(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  bool take(std::uint8_t &byte) {
    std::lock_guard guard(scriptLock_);
    if (at_ >= size_) return false;
    byte = data_[at_++];
    return true;
  }
  std::uint32_t take32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      std::uint8_t byte = 0;
      take(byte);
      value |= std::uint32_t(byte) << (8 * i);
    }
    return value;
  }
  // `length` payload bytes: the script's next bytes, repeated when short.
  std::vector<std::uint8_t> payload(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    std::lock_guard guard(scriptLock_);
    const std::size_t start = at_;
    for (std::size_t i = 0; i < length && size_ > 0; ++i)
      bytes[i] = data_[(start + i) % size_] ^ std::uint8_t(i >> 8);
    at_ = std::min(size_, at_ + std::min<std::size_t>(length, 64));
    return bytes;
  }

 private:
  const std::uint8_t *data_;
  const std::size_t size_;
  std::mutex scriptLock_;  // guards at_
  std::size_t at_ = 0;
};

class HostileCamera {
 public:
  HostileCamera(const std::string &socketPath, ReplyScript &script)
      : script_(script), listener_(us::listenAt(socketPath)) {
    require(listener_.valid());
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~HostileCamera() {
    stopping_ = true;
    us::shutdownBoth(listener_.get());
    acceptor_.join();
    std::lock_guard guard(connectionsLock_);
    for (auto &c : connections_) {
      us::shutdownBoth(c.fd.get());
      c.thread.join();
    }
  }

 private:
  struct Connection {
    us::UniqueFd fd;
    std::thread thread;
  };

  void acceptLoop() {
    while (!stopping_) {
      const int fd = ::accept(listener_.get(), nullptr, nullptr);
      if (fd < 0) {
        if (errno == EINTR) continue;
        return;
      }
      std::lock_guard guard(connectionsLock_);
      connections_.push_back(Connection{us::UniqueFd(fd), {}});
      Connection &c = connections_.back();
      c.thread = std::thread([this, fd] { serve(fd); });
    }
  }

  static bool sendReply(int fd, std::uint32_t status, std::uint32_t returned,
                        const std::vector<std::uint8_t> &payload, std::uint32_t declared) {
    wire::ReplyHeader reply;
    reply.status = status;
    reply.returned = returned;
    reply.payloadLength = declared;
    iovec pieces[2] = {{&reply, sizeof reply},
                       {const_cast<std::uint8_t *>(payload.data()), payload.size()}};
    return us::sendAll(fd, pieces, 2);
  }

  void serve(int fd) {
    std::vector<std::uint8_t> body;
    for (;;) {
      wire::RequestHeader request;
      if (!us::receiveAll(fd, &request, sizeof request)) break;
      // The device layer must always send well-formed requests.
      require(request.magic == wire::kRequestMagic && request.inputLength <= wire::kMaxInputBytes &&
              request.outboundLength <= request.outputLength);
      body.resize(std::size_t(request.inputLength) + request.outboundLength);
      if (!us::receiveAll(fd, body.data(), body.size())) break;
      std::uint8_t action = 0;
      if (!script_.take(action)) break;
      const std::uint32_t wanted = request.outputLength;
      bool keep = true;
      switch (action % 8) {
        case 0:  // the camera goes away mid-request
          keep = false;
          break;
        case 1:  // a right answer with fuzzed bytes
          keep = sendReply(fd, 0, wanted, script_.payload(wanted), wanted);
          break;
        case 2:  // the request fails
          keep = sendReply(fd, script_.take32() | 1, 0, {}, 0);
          break;
        case 3: {  // lengths at random; a payload beyond the buffer is cut
          const std::uint32_t status = script_.take32() & 1;
          const std::uint32_t returned = script_.take32();
          const std::uint32_t declared = script_.take32();
          const std::size_t sent = std::min<std::uint32_t>(declared, wanted);
          keep =
              sendReply(fd, status, returned, script_.payload(sent), declared) && sent == declared;
          break;
        }
        case 4: {  // a torn payload, then the connection ends
          const std::uint32_t cut = wanted ? script_.take32() % wanted : 0;
          sendReply(fd, 0, wanted, script_.payload(cut), wanted);
          keep = false;
          break;
        }
        case 5: {  // a stale reply queued ahead of the next request's
          const std::uint32_t extra = script_.take32() % (wire::kBlockBytes + 1);
          keep = sendReply(fd, 0, wanted, script_.payload(wanted), wanted) &&
                 sendReply(fd, 0, extra, script_.payload(extra), extra);
          break;
        }
        case 6: {  // a header that is not one
          const auto garbage = script_.payload(sizeof(wire::ReplyHeader));
          keep = us::sendAll(fd, garbage.data(), garbage.size());
          break;
        }
        default: {  // a frame of the wrong length: fewer bytes than asked
          const std::uint32_t declared = wanted ? script_.take32() % (wanted + 1) : 0;
          const std::uint32_t returned = declared ? script_.take32() % (declared + 1) : 0;
          keep = sendReply(fd, 0, returned, script_.payload(declared), declared);
          break;
        }
      }
      if (!keep) break;
    }
    us::shutdownBoth(fd);
  }

  ReplyScript &script_;
  us::UniqueFd listener_;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex connectionsLock_;  // guards connections_
  std::list<Connection> connections_;
};

const std::string &socketDirectory() {
  static const std::string directory = [] {
    const auto path = std::filesystem::temp_directory_path() /
                      ("pelnik-fuzz-device-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    return path.string();
  }();
  return directory;
}

// The copy out of a frame writes exactly the packed window, never past it.
void fetchChecked(pelnik::device::CPelnikR5MLXSdk &sdk, bool single) {
  constexpr std::size_t kGuard = 64;
  const std::size_t bytes = sdk.PackedWindowBytes();
  std::vector<std::uint8_t> destination(bytes + kGuard, 0xA5);
  const int status = single ? sdk.FetchSingleFrame(destination.data(), bytes)
                            : sdk.FetchFrame(destination.data(), bytes);
  (void)status;
  require(std::all_of(destination.begin() + std::ptrdiff_t(bytes), destination.end(),
                      [](std::uint8_t b) { return b == 0xA5; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace pelnik::device;
  const std::string directory = socketDirectory();
  const std::string socketPath = directory + "/" + wire::cameraSocketName(0);
  std::filesystem::remove(socketPath);
  ReplyScript script(data, size);
  HostileCamera camera(socketPath, script);
  {
    pelnik::platform::SocketTransport transport(directory);
    NoWaitClock clock;
    CPelnikR5MLXSdk sdk(transport, clock);
    std::uint8_t byte = 0;
    sdk.ReadSromID(0, byte);
    std::uint16_t value = 0;
    sdk.ReadSensorRegister(0x07, value);
    sdk.ReadFpgaRegister(0x01, byte);
    sdk.ReadClockMode(byte);
    sdk.SetPixelWidth(size & 1);
    const int geometry = sdk.SetFrameGeometry(64, 0, 64, 48, 0, 48, 2);
    require(geometry == kStatusOk || geometry == kStatusNoMemory);
    const int read = sdk.ReadSingleFrame();
    require(read == kStatusOk || read == kStatusNoHandle || read == kStatusImageFailed);
    fetchChecked(sdk, true);
    sdk.CloseFrameReader();
    if (sdk.StartStreaming() == kStatusOk) sdk.StopStreaming();
    require(!sdk.StreamingThreadLive());
  }
  require(std::filesystem::remove(socketPath));
  return 0;
}
