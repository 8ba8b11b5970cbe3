// Register traffic of the device object, byte for byte through the fake
// driver: construction, window set-up with its limits and waits, mirrors,
// clock mode, and the 16-bit cut of a sensor write.
#include <gtest/gtest.h>

#include <memory>

#include "device/CPelnikR5MLXSdk.h"
#include "device_fakes.h"

namespace {

using pelnik::device::CPelnikR5MLXSdk;
using pelnik::test::CountingClock;
using pelnik::test::FakeTransport;
using Blocks = std::vector<std::vector<std::uint8_t>>;

class RegisterControl : public ::testing::Test {
 protected:
  RegisterControl() { transport_.present({'0'}); }
  std::unique_ptr<CPelnikR5MLXSdk> construct() {
    auto device = std::make_unique<CPelnikR5MLXSdk>(transport_, clock_);
    transport_.clearLog();
    clock_.clear();
    return device;
  }
  // Sensor register writes in the log, as (register, value).
  std::vector<std::pair<int, int>> sensorWrites() const {
    std::vector<std::pair<int, int>> writes;
    for (const auto &b : transport_.commands())
      if (b[0] == 0x04 && (b[2] & 0x80)) writes.emplace_back(b[2] - 0x80, b[3] << 8 | b[4]);
    return writes;
  }
  Blocks fpgaWrites() const {
    Blocks writes;
    for (const auto &b : transport_.commands(3))
      if (b[0] == 0x25) writes.push_back(b);
    return writes;
  }
  std::vector<std::uint32_t> transferLengthCommands() const {
    std::vector<std::uint32_t> lengths;
    for (const auto &b : transport_.commands(5))
      if (b[0] == 0x09)
        lengths.push_back(b[1] | b[2] << 8 | b[3] << 16 | std::uint32_t(b[4]) << 24);
    return lengths;
  }

  FakeTransport transport_;
  CountingClock clock_;
};

TEST_F(RegisterControl, ConstructionSendsTheDocumentedTrafficInOrder) {
  CPelnikR5MLXSdk device(transport_, clock_);
  // The probe opens the 32 device paths first.
  const auto opens = transport_.opens();
  ASSERT_GE(opens.size(), 32u);
  EXPECT_EQ(opens[0], "\\\\.\\PNikR5MLX-0");
  EXPECT_EQ(opens[31], "\\\\.\\PNikR5MLX-V");

  const Blocks expected = {
      {0x0A, 0x01, 0, 0, 0, 0},           // transfer set-up for 8-bit pixels
      {0x25, 14, 0x00, 0, 0, 0},          // FPGA pixel width 8-bit
      {0x04, 0x03, 0x8A, 0x02, 0x00, 0},  // register 10 = 0x0200
      {0x09, 0x00, 0x00, 0x14, 0x00, 0},  // frame length 1310720
      {0x25, 0, 0x00, 0, 0, 0},          {0x25, 1, 0x00, 0, 0, 0},
      {0x25, 2, 0x14, 0, 0, 0},          {0x25, 3, 0x00, 0, 0, 0},
      {0x04, 0x03, 0x92, 0x00, 0x06, 0},  // register 18 = 6
      {0x04, 0x03, 0x93, 0x04, 0x00, 0},  // register 19 = 1024
      {0x04, 0x03, 0x94, 0x00, 0x06, 0},  // register 20 = 6
      {0x04, 0x03, 0x95, 0x05, 0x00, 0},  // register 21 = 1280
      {0x04, 0x03, 0x8E, 0x00, 0x00, 0},  // register 14 = 0, nothing stored yet
      {0x04, 0x03, 0x87, 0x0E, 0xC1, 0},  // register 7, no mirroring
      {0x25, 11, 0x00, 0, 0, 0},          // trigger off
      {0x04, 0x03, 0x91, 0x02, 0x00, 0},  // register 17 = 512
      {0x04, 0x03, 0x8E, 0x00, 0x40, 0},  // register 14 = 64
  };
  EXPECT_EQ(transport_.commands(), expected);
  // Past the listed bytes every block is zero, and every one is 64 bytes.
  for (const auto &r : transport_.requests()) {
    if (r.pipe != 0) continue;
    ASSERT_EQ(r.block.size(), 64u);
    for (std::size_t i = 6; i < 64; ++i) EXPECT_EQ(r.block[i], 0) << "byte " << i;
  }
  EXPECT_EQ(clock_.waits(), (std::vector<int>{5, 5, 5, 5, 5, 5, 800, 5, 5, 5}));
  EXPECT_EQ(device.GlobalGain(), 512);
  EXPECT_EQ(device.ExposureLines(), 64);
  // Each operation opened its own handle and closed it again.
  EXPECT_EQ(transport_.openHandles(), 0u);
}

TEST_F(RegisterControl, ConstructionCompletesWithoutACamera) {
  transport_.present({});
  CPelnikR5MLXSdk device(transport_, clock_);
  EXPECT_EQ(device.GetDeviceNumber(), 0);
  EXPECT_EQ(device.IsDevicePresent(0), 0);
  // Failed writes store nothing and no sensor settles.
  EXPECT_EQ(device.GlobalGain(), 0);
  EXPECT_TRUE(clock_.waits().empty());
  EXPECT_EQ(device.TransferLength(), 1310720u);
}

TEST_F(RegisterControl, SubsampledFullWindow) {
  auto device = construct();
  ASSERT_EQ(device->SetWindow(0, 0, 1280, 1024, 1), 0);
  EXPECT_EQ(sensorWrites(), (std::vector<std::pair<int, int>>{
                                {10, 0x0201}, {18, 6}, {19, 1024}, {20, 6}, {21, 1280}, {14, 64}}));
  EXPECT_EQ(fpgaWrites(),
            (Blocks{{0x25, 0, 0x00}, {0x25, 1, 0x00}, {0x25, 2, 0x05}, {0x25, 3, 0x00}}));
  EXPECT_EQ(transferLengthCommands(), (std::vector<std::uint32_t>{327680}));
  EXPECT_EQ(device->Geometry().imageWidth, 640);
  EXPECT_EQ(device->Geometry().imageHeight, 512);
  EXPECT_EQ(device->TransferLength(), 327680u);
}

TEST_F(RegisterControl, TransferLengthRoundsUpToWholeKilopixels) {
  auto device = construct();
  ASSERT_EQ(device->SetWindow(0, 0, 1279, 1024, 1), 0);
  EXPECT_EQ(device->Geometry().imageWidth, 639);
  EXPECT_EQ(device->TransferLength(), 327680u);  // 639 x 512 = 327168 rounded up
  ASSERT_EQ(device->SetWindow(1276, 1021, 4, 3, 0), 0);
  EXPECT_EQ(device->TransferLength(), 1024u);
  EXPECT_EQ(sensorWrites()[sensorWrites().size() - 5], (std::pair<int, int>{18, 1027}));
  ASSERT_EQ(device->SetWindow(0, 0, 1280, 1024, 0), 0);
  EXPECT_EQ(device->TransferLength(), 1310720u);
  EXPECT_EQ(device->TransferBytes(), 1310720u);
  device->SetPixelWidth(1);
  EXPECT_EQ(device->TransferBytes(), 2621440u);
}

TEST_F(RegisterControl, OutOfRangeWindowsAreRejectedWithNothingSent) {
  auto device = construct();
  for (const auto &w : std::vector<std::array<int, 5>>{{1277, 1021, 4, 3, 0},
                                                       {0, 0, 3, 3, 0},
                                                       {0, 0, 4, 3, 2},
                                                       {0, 0, 4, 2, 0},
                                                       {-1, 0, 4, 3, 0},
                                                       {0, 1022, 4, 3, 0}}) {
    EXPECT_EQ(device->SetWindow(w[0], w[1], w[2], w[3], w[4]), 1)
        << w[0] << "," << w[1] << " " << w[2] << "x" << w[3] << " s" << w[4];
  }
  EXPECT_TRUE(transport_.requests().empty());
  EXPECT_TRUE(clock_.waits().empty());
  EXPECT_EQ(device->AppliedWindow().width, 1280);
  EXPECT_EQ(device->TransferLength(), 1310720u);
}

TEST_F(RegisterControl, OnlyAChangedWindowWaitsForTheSensor) {
  auto device = construct();
  auto longWaits = [this] {
    int count = 0;
    for (int w : clock_.waits()) count += w == 800;
    return count;
  };
  ASSERT_EQ(device->SetWindow(8, 4, 640, 480, 0), 0);
  EXPECT_EQ(longWaits(), 1);
  ASSERT_EQ(device->SetWindow(8, 4, 640, 480, 0), 0);
  EXPECT_EQ(longWaits(), 1);
  // The subsample is part of the window.
  ASSERT_EQ(device->SetWindow(8, 4, 640, 480, 1), 0);
  EXPECT_EQ(longWaits(), 2);
}

TEST_F(RegisterControl, MirrorsShareTheReadoutRegister) {
  auto device = construct();
  EXPECT_EQ(device->SetMirrorH(1), 1);
  EXPECT_EQ(device->SetMirrorV(1), 1);
  EXPECT_EQ(device->SetMirrorH(0), 1);
  EXPECT_EQ(sensorWrites(),
            (std::vector<std::pair<int, int>>{{7, 0x0E41}, {7, 0x0E01}, {7, 0x0E81}}));
  EXPECT_EQ(device->MirrorV(), 1);
  EXPECT_EQ(device->MirrorH(), 0);
}

TEST_F(RegisterControl, FailedWritesKeepTheStoredValues) {
  auto device = construct();
  transport_.failCommands(true);
  EXPECT_EQ(device->SetGlobalGain(900), 0);
  EXPECT_EQ(device->SetExposureLines(900), 0);
  EXPECT_EQ(device->WriteSensorRegister(14, 1), 0);
  EXPECT_EQ(device->GlobalGain(), 512);
  EXPECT_EQ(device->ExposureLines(), 64);
  EXPECT_TRUE(clock_.waits().empty());
  std::uint8_t value = 0xEE;
  EXPECT_EQ(device->ReadFpgaRegister(7, value), 0);
  EXPECT_EQ(value, 0);
}

TEST_F(RegisterControl, ClockModeAndValueCuts) {
  auto device = construct();
  transport_.setReply({3});
  std::uint8_t mode = 0;
  EXPECT_EQ(device->ReadClockMode(mode), 1);
  EXPECT_EQ(mode, 2);
  transport_.setReply({1});
  EXPECT_EQ(device->ReadClockMode(mode), 1);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(device->WriteClockMode(7), 1);
  EXPECT_EQ(fpgaWrites().back(), (std::vector<std::uint8_t>{0x25, 15, 0}));

  // A read sends its command, then reads pipe 1 twice.
  transport_.clearLog();
  transport_.setReply({0x12, 0x34});
  std::uint16_t word = 0;
  EXPECT_EQ(device->ReadSensorRegister(0x8E, word), 1);
  EXPECT_EQ(word, 0x1234);
  const auto requests = transport_.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(std::vector<std::uint8_t>(requests[0].block.begin(), requests[0].block.begin() + 3),
            (std::vector<std::uint8_t>{0x04, 0x03, 0x0E}));
  EXPECT_EQ(requests[1].pipe, 1);
  EXPECT_EQ(requests[2].pipe, 1);

  transport_.clearLog();
  EXPECT_EQ(device->WriteSensorRegister(0x10E, 0x12345), 1);
  EXPECT_EQ(transport_.commands(5), (Blocks{{0x04, 0x03, 0x8E, 0x23, 0x45}}));
}

}  // namespace
