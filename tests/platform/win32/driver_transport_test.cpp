// The Windows driver transport: the device path through the driver-call
// seam, the fall-back to the virtual camera's pipe, and handle hygiene.
#include "platform/win32/driver_transport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/device_wire.h"
#include "virtcam/win32/pipe_server.h"

namespace {

using pelnik::platform::kNoDeviceHandle;
using pelnik::platform::win32::DriverCalls;
using pelnik::platform::win32::DriverTransport;
namespace wire = pelnik::platform::wire;

// Stands in for the camera's driver; records what the transport asks of it.
class FakeDriver final : public DriverCalls {
 public:
  unsigned long openError = ERROR_SUCCESS;  // what open() fails with; success gives a handle
  std::vector<std::string> openedPaths;
  std::vector<std::uint32_t> codes;
  std::vector<void *> cancelled, closed;

  void *open(const char *path, unsigned long &error) override {
    std::lock_guard lock(lock_);
    openedPaths.emplace_back(path);
    error = openError;
    return openError == ERROR_SUCCESS ? &device_ : nullptr;
  }
  bool control(void *device, std::uint32_t code, const void *input, std::uint32_t inputLength,
               void *output, std::uint32_t outputLength, std::uint32_t &returned) override {
    std::lock_guard lock(lock_);
    EXPECT_EQ(device, &device_);
    codes.push_back(code);
    // Pipe 1 reads give a block whose first byte is the pipe word's low byte
    // plus one, so a test can tell the buffers were the caller's.
    if (inputLength == 4 && outputLength >= 1) {
      static_cast<std::uint8_t *>(output)[0] = static_cast<std::uint8_t>(wire::loadLe32(input) + 1);
      returned = outputLength;
      return true;
    }
    returned = 0;
    return code == wire::kCodeTimeout && inputLength == wire::kTimeoutRequestBytes;
  }
  void cancel(void *device) override {
    std::lock_guard lock(lock_);
    cancelled.push_back(device);
  }
  void close(void *device) override {
    std::lock_guard lock(lock_);
    closed.push_back(device);
  }

 private:
  std::mutex lock_;
  int device_ = 0;
};

pelnik::virtcam::CameraOptions quickCamera(int readTimeoutMs = 3000) {
  pelnik::virtcam::CameraOptions options;
  options.sensorTiming = false;
  options.defaultReadTimeoutMs = readTimeoutMs;
  return options;
}

std::array<std::uint8_t, 64> block(std::initializer_list<std::uint8_t> bytes) {
  std::array<std::uint8_t, 64> b{};
  std::copy(bytes.begin(), bytes.end(), b.begin());
  return b;
}

bool sendCommand(DriverTransport &transport, pelnik::platform::DeviceHandle handle,
                 std::array<std::uint8_t, 64> command) {
  std::uint8_t pipe[4] = {};
  wire::storeLe32(pipe, wire::kPipeCommand);
  std::uint32_t returned = 0;
  return transport.control(handle, wire::kCodePipeIn, pipe, 4, command.data(), 64, returned) &&
         returned == 64;
}

bool readReply(DriverTransport &transport, pelnik::platform::DeviceHandle handle,
               std::array<std::uint8_t, 64> &reply) {
  std::uint8_t pipe[4] = {};
  wire::storeLe32(pipe, wire::kPipeReply);
  std::uint32_t returned = 0;
  return transport.control(handle, wire::kCodePipeOut, pipe, 4, reply.data(), 64, returned) &&
         returned == 64;
}

TEST(DriverTransport, DevicePathGoesThroughTheDriverAndNeverThePipe) {
  pelnik::virtcam::win32::PipeServer server({4}, quickCamera());
  ASSERT_TRUE(server.ok()) << server.error();
  FakeDriver driver;
  DriverTransport transport(driver);
  const auto handle = transport.open("\\\\.\\PNikR5MLX-4");
  ASSERT_NE(handle, kNoDeviceHandle);
  EXPECT_FALSE(transport.isPipe(handle));
  ASSERT_EQ(driver.openedPaths, std::vector<std::string>{"\\\\.\\PNikR5MLX-4"});

  std::uint8_t pipe[4];
  wire::storeLe32(pipe, 1);
  std::uint8_t reply[64] = {};
  std::uint32_t returned = 0;
  ASSERT_TRUE(transport.control(handle, wire::kCodePipeOut, pipe, 4, reply, 64, returned));
  EXPECT_EQ(returned, 64u);
  EXPECT_EQ(reply[0], 2);
  std::uint8_t timeout[wire::kTimeoutRequestBytes] = {};
  EXPECT_TRUE(
      transport.control(handle, wire::kCodeTimeout, timeout, sizeof timeout, nullptr, 0, returned));
  EXPECT_EQ(driver.codes, (std::vector<std::uint32_t>{wire::kCodePipeOut, wire::kCodeTimeout}));
  // The virtual camera saw nothing: a machine with the driver gets the camera.
  EXPECT_TRUE(server.camera(4)->protocolLog().empty());

  transport.close(handle);
  EXPECT_EQ(driver.closed.size(), 1u);
  EXPECT_EQ(driver.cancelled.size(), 1u);
  EXPECT_FALSE(transport.control(handle, wire::kCodePipeOut, pipe, 4, reply, 64, returned));
  EXPECT_EQ(transport.openHandleCount(), 0u);
}

TEST(DriverTransport, ADeviceThatRefusesTheOpenIsNeverBypassed) {
  pelnik::virtcam::win32::PipeServer server({6}, quickCamera());
  ASSERT_TRUE(server.ok()) << server.error();
  FakeDriver driver;
  driver.openError = ERROR_ACCESS_DENIED;
  DriverTransport transport(driver);
  EXPECT_EQ(transport.open("\\\\.\\PNikR5MLX-6"), kNoDeviceHandle);
  driver.openError = ERROR_SHARING_VIOLATION;
  EXPECT_EQ(transport.open("\\\\.\\PNikR5MLX-6"), kNoDeviceHandle);
  EXPECT_EQ(transport.openHandleCount(), 0u);
}

TEST(DriverTransport, MissingDeviceFallsBackToThePipeForBothNotFoundErrors) {
  pelnik::virtcam::win32::PipeServer server({7}, quickCamera());
  ASSERT_TRUE(server.ok()) << server.error();
  for (const unsigned long error : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}) {
    FakeDriver driver;
    driver.openError = error;
    DriverTransport transport(driver);
    const auto handle = transport.open("\\\\.\\PNikR5MLX-7");
    ASSERT_NE(handle, kNoDeviceHandle) << error;
    EXPECT_TRUE(transport.isPipe(handle));
    // An SROM byte written and read back through the camera's own protocol.
    ASSERT_TRUE(sendCommand(transport, handle,
                            block({wire::command::kSromWrite, wire::command::kSromSelect,
                                   wire::command::kSromWriteMode, 0x01, 0x23, 0xA5})));
    ASSERT_TRUE(sendCommand(
        transport, handle,
        block({wire::command::kSromRead, wire::command::kSromSelect, wire::command::kSromReadMode,
               wire::command::kSromReadCount, 0x01, 0x23})));
    std::array<std::uint8_t, 64> reply{};
    ASSERT_TRUE(readReply(transport, handle, reply));
    EXPECT_EQ(reply[0], 0xA5);
    transport.close(handle);
  }
  EXPECT_GE(server.camera(7)->protocolLog().size(), 6u);
}

TEST(DriverTransport, NoDeviceAndNoPipeIsAnAbsentCamera) {
  FakeDriver driver;
  driver.openError = ERROR_FILE_NOT_FOUND;
  DriverTransport transport(driver, 200);
  EXPECT_EQ(transport.open("\\\\.\\PNikR5MLX-Z"), kNoDeviceHandle);
  EXPECT_EQ(transport.open("not a device path"), kNoDeviceHandle);
  EXPECT_EQ(transport.open("\\\\.\\..\\x"), kNoDeviceHandle);
  // Only real device paths reach the driver.
  EXPECT_EQ(driver.openedPaths.size(), 1u);
}

TEST(DriverTransport, ManySimultaneousOpensAllReachTheCamera) {
  pelnik::virtcam::win32::PipeServer server({8}, quickCamera());
  ASSERT_TRUE(server.ok()) << server.error();
  FakeDriver driver;
  driver.openError = ERROR_FILE_NOT_FOUND;
  DriverTransport transport(driver);
  std::atomic<int> reached{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        const auto handle = transport.open("\\\\.\\PNikR5MLX-8");
        if (handle == kNoDeviceHandle) continue;
        if (sendCommand(transport, handle,
                        block({wire::command::kFpgaWrite, std::uint8_t(t), std::uint8_t(round)})))
          ++reached;
        transport.close(handle);
      }
    });
  }
  for (auto &thread : threads) thread.join();
  EXPECT_EQ(reached.load(), 40);
  EXPECT_EQ(transport.openHandleCount(), 0u);
}

TEST(DriverTransport, CloseEndsAReadBlockedInAnotherThread) {
  // A stalled camera holds the read for a minute; only the close can end it.
  pelnik::virtcam::win32::PipeServer server({9}, quickCamera(60000));
  ASSERT_TRUE(server.ok()) << server.error();
  server.camera(9)->setFault(pelnik::virtcam::Fault::Stall, true);
  FakeDriver driver;
  driver.openError = ERROR_FILE_NOT_FOUND;
  DriverTransport transport(driver);
  const auto handle = transport.open("\\\\.\\PNikR5MLX-9");
  ASSERT_NE(handle, kNoDeviceHandle);
  std::atomic<int> result{-1};
  std::thread reader([&] {
    std::uint8_t pipe[4];
    wire::storeLe32(pipe, wire::kPipeImage);
    std::vector<std::uint8_t> frame(4096);
    std::uint32_t returned = 0;
    result = transport.control(handle, wire::kCodePipeIn, pipe, 4, frame.data(),
                               std::uint32_t(frame.size()), returned)
                 ? 1
                 : 0;
  });
  ::Sleep(200);
  transport.close(handle);
  reader.join();
  EXPECT_EQ(result.load(), 0);
  // The camera noticed its client going away (the server's thread ends).
  server.camera(9)->heal();
  // A closed handle's number is never handed out again.
  const auto next = transport.open("\\\\.\\PNikR5MLX-9");
  EXPECT_NE(next, handle);
  EXPECT_NE(next, kNoDeviceHandle);
  transport.close(next);
}

}  // namespace
