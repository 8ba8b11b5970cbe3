// The socket transport against the virtual camera: device paths, byte
// counts, command and reply round trips, unplug, closing a handle mid-read.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <thread>

#include "platform/device_wire.h"
#include "platform/posix/socket_transport.h"
#include "virtcam/virtual_camera.h"

namespace {

using namespace pelnik;
using platform::DeviceHandle;
using platform::kNoDeviceHandle;
namespace wire = platform::wire;
using Clock = std::chrono::steady_clock;

std::string devicePath(int camera) { return "\\\\.\\" + wire::cameraSocketName(camera); }

struct Block {
  std::array<std::uint8_t, 64> bytes{};
};

Block command(std::initializer_list<std::uint8_t> head) {
  Block b;
  std::copy(head.begin(), head.end(), b.bytes.begin());
  return b;
}

class TransportTest : public ::testing::Test {
 protected:
  TransportTest() {
    virtcam::VirtualCameraOptions options;
    options.cameras = {0, 2};
    camera_ = std::make_unique<virtcam::VirtualCamera>(options);
  }

  bool send(DeviceHandle h, Block block, std::uint32_t code = wire::kCodePipeIn) {
    std::uint8_t pipe[4] = {0, 0, 0, 0};
    std::uint32_t returned = 0;
    return transport_.control(h, code, pipe, 4, block.bytes.data(), 64, returned) && returned == 64;
  }
  bool readReply(DeviceHandle h, Block &block) {
    std::uint8_t pipe[4] = {1, 0, 0, 0};
    std::uint32_t returned = 0;
    return transport_.control(h, wire::kCodePipeOut, pipe, 4, block.bytes.data(), 64, returned) &&
           returned == 64;
  }
  bool readImage(DeviceHandle h, std::vector<std::uint8_t> &data, std::uint32_t &returned) {
    std::uint8_t pipe[4] = {2, 0, 0, 0};
    return transport_.control(h, wire::kCodePipeIn, pipe, 4, data.data(),
                              std::uint32_t(data.size()), returned);
  }

  std::unique_ptr<virtcam::VirtualCamera> camera_;
  platform::SocketTransport transport_;
};

TEST_F(TransportTest, OpensOnlyServedCamerasAndWellFormedPaths) {
  ASSERT_TRUE(camera_->ok()) << camera_->error();
  const DeviceHandle zero = transport_.open(devicePath(0));
  const DeviceHandle two = transport_.open(devicePath(2));
  EXPECT_NE(zero, kNoDeviceHandle);
  EXPECT_NE(two, kNoDeviceHandle);
  EXPECT_NE(zero, two);
  EXPECT_EQ(transport_.open(devicePath(1)), kNoDeviceHandle);
  EXPECT_EQ(transport_.open("PNikR5MLX-0"), kNoDeviceHandle);
  EXPECT_EQ(transport_.open("\\\\.\\..\\PNikR5MLX-0"), kNoDeviceHandle);
  EXPECT_EQ(transport_.open("\\\\.\\a/b"), kNoDeviceHandle);
  transport_.close(zero);
  transport_.close(two);
  EXPECT_EQ(transport_.openHandleCount(), 0u);
  // A closed handle is never served again, even by chance of a reused number.
  std::uint32_t returned = 7;
  Block block = command({0x26, 7});
  std::uint8_t pipe[4] = {};
  EXPECT_FALSE(
      transport_.control(zero, wire::kCodePipeIn, pipe, 4, block.bytes.data(), 64, returned));
  EXPECT_EQ(returned, 0u);
}

TEST_F(TransportTest, RegisterWritesAndReadsTravelBothWays) {
  const DeviceHandle h = transport_.open(devicePath(2));
  ASSERT_NE(h, kNoDeviceHandle);
  EXPECT_TRUE(send(h, command({0x04, 0x03, 14 + 0x80, 0x12, 0x34})));
  EXPECT_TRUE(send(h, command({0x04, 0x03, 14, 0, 0})));
  Block first, second;
  EXPECT_TRUE(readReply(h, first));
  EXPECT_TRUE(readReply(h, second));
  EXPECT_EQ(second.bytes[0], 0x12);
  EXPECT_EQ(second.bytes[1], 0x34);
  EXPECT_EQ(first.bytes[0], 0x12);

  EXPECT_TRUE(send(h, command({0x25, 7, 0xA5})));
  EXPECT_TRUE(send(h, command({0x26, 7})));
  Block fpga;
  EXPECT_TRUE(readReply(h, fpga));
  EXPECT_EQ(fpga.bytes[0], 0xA5);
  // Camera 0 kept its own state.
  EXPECT_EQ(camera_->camera(0)->registers().fpga[7], 0);
  EXPECT_EQ(camera_->camera(2)->registers().sensor[14], 0x1234);
  transport_.close(h);
}

TEST_F(TransportTest, ImageReadsReturnTheTransferLengthAndNoMore) {
  camera_.reset();
  virtcam::VirtualCameraOptions options;
  options.camera.sensorTiming = false;
  camera_ = std::make_unique<virtcam::VirtualCamera>(options);
  const DeviceHandle h = transport_.open(devicePath(0));
  ASSERT_NE(h, kNoDeviceHandle);
  const std::uint32_t length = 1280 * 1024;  // 8-bit power-up transfer
  std::vector<std::uint8_t> frame(length);
  std::uint32_t returned = 0;
  ASSERT_TRUE(readImage(h, frame, returned));
  EXPECT_EQ(returned, length);
  // Asking for more than the camera sends gives a short count, not garbage.
  std::vector<std::uint8_t> larger(2 * length, 0xEE);
  ASSERT_TRUE(readImage(h, larger, returned));
  EXPECT_EQ(returned, length);
  EXPECT_EQ(larger[length], 0xEE);
  // The stream stays in step after a large reply.
  EXPECT_TRUE(send(h, command({0x26, 14})));
  transport_.close(h);
}

TEST_F(TransportTest, ClosingAHandleEndsAReadInFlightAtOnce) {
  camera_->apply(virtcam::ControlAction::Stall, 0);
  const DeviceHandle h = transport_.open(devicePath(0));
  ASSERT_NE(h, kNoDeviceHandle);
  std::vector<std::uint8_t> frame(1280 * 1024);
  auto reader = std::async(std::launch::async, [&] {
    std::uint32_t returned = 0;
    const bool ok = readImage(h, frame, returned);
    return std::make_pair(ok, Clock::now());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto closedAt = Clock::now();
  transport_.close(h);
  const auto [ok, endedAt] = reader.get();
  EXPECT_FALSE(ok);
  EXPECT_LT(endedAt - closedAt, std::chrono::milliseconds(500));
}

TEST_F(TransportTest, StalledReadFailsAfterTheCameraTimeOut) {
  camera_->apply(virtcam::ControlAction::Stall, 0);
  const DeviceHandle h = transport_.open(devicePath(0));
  // Time-out request {1, 300 ms}.
  std::array<std::uint8_t, 44> timeout{};
  wire::storeLe32(timeout.data(), 1);
  wire::storeLe32(timeout.data() + 4, 300);
  std::uint32_t returned = 1;
  ASSERT_TRUE(transport_.control(h, wire::kCodeTimeout, timeout.data(), 44, nullptr, 0, returned));
  EXPECT_EQ(returned, 0u);
  std::vector<std::uint8_t> frame(1280 * 1024);
  const auto start = Clock::now();
  EXPECT_FALSE(readImage(h, frame, returned));
  const auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(290));
  EXPECT_LT(took, std::chrono::milliseconds(2000));
  // The handle still works: the failure was the camera's answer, not a broken stream.
  EXPECT_TRUE(send(h, command({0x26, 14})));
  transport_.close(h);
}

TEST_F(TransportTest, UnplugBreaksOpenConnectionsAndRefusesOpensUntilPlugged) {
  const DeviceHandle h = transport_.open(devicePath(0));
  ASSERT_NE(h, kNoDeviceHandle);
  ASSERT_TRUE(send(h, command({0x26, 14})));
  ASSERT_TRUE(camera_->apply(virtcam::ControlAction::Unplug, 0));
  EXPECT_FALSE(send(h, command({0x26, 14})));
  EXPECT_EQ(transport_.open(devicePath(0)), kNoDeviceHandle);
  // The other camera is untouched.
  const DeviceHandle other = transport_.open(devicePath(2));
  EXPECT_TRUE(send(other, command({0x26, 14})));
  ASSERT_TRUE(camera_->apply(virtcam::ControlAction::Plug, 0));
  const DeviceHandle again = transport_.open(devicePath(0));
  ASSERT_NE(again, kNoDeviceHandle);
  EXPECT_TRUE(send(again, command({0x26, 14})));
  transport_.close(h);
  transport_.close(other);
  transport_.close(again);
}

TEST_F(TransportTest, UnplugDuringAReadFailsItAtOnce) {
  camera_->apply(virtcam::ControlAction::Stall, 0);
  const DeviceHandle h = transport_.open(devicePath(0));
  std::vector<std::uint8_t> frame(1280 * 1024);
  auto reader = std::async(std::launch::async, [&] {
    std::uint32_t returned = 0;
    return readImage(h, frame, returned);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  camera_->apply(virtcam::ControlAction::Unplug, 0);
  EXPECT_FALSE(reader.get());
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  transport_.close(h);
}

}  // namespace
