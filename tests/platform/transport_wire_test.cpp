// The socket transport against a small hand-written server: what goes on
// the wire, byte counts, failure replies, a server that lies or hangs up.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/device_wire.h"
#include "platform/posix/runtime_dir.h"
#include "platform/posix/socket_transport.h"
#include "platform/posix/unix_stream.h"

namespace {

using namespace pelnik::platform;
namespace us = unix_stream;

// Serves one connection with `script`, on a thread joined by the destructor.
class ScriptedServer {
 public:
  using Script = std::function<void(int fd)>;
  explicit ScriptedServer(Script script) {
    listener_ = us::listenAt(ensureRuntimeDirectory() + "/Scripted-0");
    thread_ = std::thread([this, script = std::move(script)] {
      us::UniqueFd fd(::accept(listener_.get(), nullptr, nullptr));
      if (fd.valid()) script(fd.get());
    });
  }
  ~ScriptedServer() {
    us::shutdownBoth(listener_.get());
    thread_.join();
  }
  static std::string path() { return "\\\\.\\Scripted-0"; }

 private:
  us::UniqueFd listener_;
  std::thread thread_;
};

struct Received {
  wire::RequestHeader header;
  std::vector<std::uint8_t> body;
};

Received receiveRequest(int fd) {
  Received r;
  us::receiveAll(fd, &r.header, sizeof r.header);
  r.body.resize(r.header.inputLength + r.header.outboundLength);
  us::receiveAll(fd, r.body.data(), r.body.size());
  return r;
}

void reply(int fd, std::uint32_t status, std::uint32_t returned,
           const std::vector<std::uint8_t> &payload, std::uint32_t claimedPayload) {
  wire::ReplyHeader header;
  header.status = status;
  header.returned = returned;
  header.payloadLength = claimedPayload;
  us::sendAll(fd, &header, sizeof header);
  if (!payload.empty()) us::sendAll(fd, payload.data(), payload.size());
}

TEST(TransportWire, PipeZeroCarriesItsBlockAndReadsCarryTheirData) {
  Received command, read;
  ScriptedServer server([&](int fd) {
    command = receiveRequest(fd);
    reply(fd, 0, 64, {}, 0);
    read = receiveRequest(fd);
    const std::vector<std::uint8_t> data(1000, 0x5A);
    reply(fd, 0, 1000, data, 1000);  // fewer bytes than asked
  });
  SocketTransport transport;
  const DeviceHandle h = transport.open(ScriptedServer::path());
  ASSERT_NE(h, kNoDeviceHandle);
  std::uint8_t block[64] = {0x25, 7, 3};
  std::uint8_t commandPipe[4] = {0, 0, 0, 0};
  std::uint32_t returned = 0;
  ASSERT_TRUE(transport.control(h, wire::kCodePipeIn, commandPipe, 4, block, 64, returned));
  EXPECT_EQ(returned, 64u);
  std::vector<std::uint8_t> image(4096, 0);
  std::uint8_t imagePipe[4] = {2, 0, 0, 0};
  ASSERT_TRUE(transport.control(h, wire::kCodePipeIn, imagePipe, 4, image.data(), 4096, returned));
  EXPECT_EQ(returned, 1000u);
  EXPECT_EQ(image[999], 0x5A);
  EXPECT_EQ(image[1000], 0);
  transport.close(h);

  EXPECT_EQ(command.header.code, wire::kCodePipeIn);
  EXPECT_EQ(command.header.inputLength, 4u);
  EXPECT_EQ(command.header.outboundLength, 64u);
  ASSERT_EQ(command.body.size(), 68u);
  EXPECT_EQ(command.body[4], 0x25);
  EXPECT_EQ(command.body[6], 3);
  // An image read sends no data along, only the pipe word.
  EXPECT_EQ(read.header.outputLength, 4096u);
  EXPECT_EQ(read.header.outboundLength, 0u);
  EXPECT_EQ(read.body, std::vector<std::uint8_t>({2, 0, 0, 0}));
}

TEST(TransportWire, AFailureReplyFailsTheRequestButKeepsTheHandle) {
  ScriptedServer server([&](int fd) {
    receiveRequest(fd);
    reply(fd, 1, 0, {}, 0);
    receiveRequest(fd);
    reply(fd, 0, 64, {}, 0);
  });
  SocketTransport transport;
  const DeviceHandle h = transport.open(ScriptedServer::path());
  std::uint8_t block[64] = {0x01};
  std::uint8_t pipe[4] = {};
  std::uint32_t returned = 99;
  EXPECT_FALSE(transport.control(h, wire::kCodePipeIn, pipe, 4, block, 64, returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_TRUE(transport.control(h, wire::kCodePipeIn, pipe, 4, block, 64, returned));
  transport.close(h);
}

TEST(TransportWire, AReplyLongerThanTheBufferIsRefusedAndTheHandleRetired) {
  ScriptedServer server([&](int fd) {
    receiveRequest(fd);
    reply(fd, 0, 64, std::vector<std::uint8_t>(128, 1), 128);
  });
  SocketTransport transport;
  const DeviceHandle h = transport.open(ScriptedServer::path());
  std::uint8_t buffer[64 + 16] = {};
  std::uint8_t pipe[4] = {1, 0, 0, 0};
  std::uint32_t returned = 0;
  EXPECT_FALSE(transport.control(h, wire::kCodePipeOut, pipe, 4, buffer, 64, returned));
  EXPECT_EQ(buffer[64], 0);  // nothing written past the caller's buffer
  EXPECT_FALSE(transport.control(h, wire::kCodePipeOut, pipe, 4, buffer, 64, returned));
  transport.close(h);
}

TEST(TransportWire, APeerThatHangsUpFailsTheRequestWithoutSigpipe) {
  std::signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end this test process
  ScriptedServer server([](int fd) { us::shutdownBoth(fd); });
  SocketTransport transport;
  const DeviceHandle h = transport.open(ScriptedServer::path());
  ASSERT_NE(h, kNoDeviceHandle);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::vector<std::uint8_t> block(64, 0);
  std::uint8_t pipe[4] = {};
  std::uint32_t returned = 0;
  for (int i = 0; i < 3; ++i)
    EXPECT_FALSE(transport.control(h, wire::kCodePipeIn, pipe, 4, block.data(), 64, returned));
  transport.close(h);
}

TEST(TransportWire, BadArgumentsFailWithoutTraffic) {
  SocketTransport transport;
  std::uint32_t returned = 5;
  std::uint8_t pipe[4] = {};
  EXPECT_FALSE(transport.control(12345, wire::kCodePipeIn, pipe, 4, nullptr, 0, returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(transport.open(""), kNoDeviceHandle);
  EXPECT_EQ(transport.open("\\\\.\\"), kNoDeviceHandle);
  EXPECT_EQ(transport.open("\\\\.\\Nobody-0"), kNoDeviceHandle);
  transport.close(12345);  // unknown handles are ignored
}

}  // namespace
