// Presence, camera selection and the SROM through the fake driver.
#include <gtest/gtest.h>

#include "device/CPelnikR5MLXSdk.h"
#include "device/device_status.h"
#include "device_fakes.h"

namespace {

using pelnik::device::CPelnikR5MLXSdk;
using pelnik::test::CountingClock;
using pelnik::test::FakeTransport;
using Blocks = std::vector<std::vector<std::uint8_t>>;

class DeviceAccess : public ::testing::Test {
 protected:
  DeviceAccess() {
    transport_.present({'0', '2'});
    device_ = std::make_unique<CPelnikR5MLXSdk>(transport_, clock_);
    transport_.clearLog();
    clock_.clear();
  }
  FakeTransport transport_;
  CountingClock clock_;
  std::unique_ptr<CPelnikR5MLXSdk> device_;
};

TEST_F(DeviceAccess, ProbeMarksTheCamerasThatAnswer) {
  EXPECT_EQ(device_->IsDevicePresent(0), 1);
  EXPECT_EQ(device_->IsDevicePresent(1), 0);
  EXPECT_EQ(device_->IsDevicePresent(2), 1);
  EXPECT_EQ(device_->IsDevicePresent(40), 0);
  EXPECT_EQ(device_->IsDevicePresent(-1), 0);
  EXPECT_EQ(device_->GetMaxDevices(), 32);

  transport_.present({'5'});
  device_->ProbeDevices();
  EXPECT_EQ(device_->IsDevicePresent(0), 0);
  EXPECT_EQ(device_->IsDevicePresent(5), 1);
  EXPECT_EQ(transport_.openHandles(), 0u);
}

TEST_F(DeviceAccess, ProbeLeavesTheSelectionAlone) {
  ASSERT_EQ(device_->SelectDevice(2), 0);
  const std::string path = device_->DevicePath();
  device_->ProbeDevices();
  EXPECT_EQ(device_->GetDeviceNumber(), 2);
  EXPECT_EQ(device_->DevicePath(), path);
}

TEST_F(DeviceAccess, SelectionComposesUnitCharactersWithNBeforeM) {
  const std::vector<std::pair<int, std::string>> units = {
      {10, "-A"}, {21, "-L"}, {22, "-N"}, {23, "-M"}, {24, "-O"}, {31, "-V"}, {32, "-W"}};
  for (const auto &[n, suffix] : units) {
    EXPECT_EQ(device_->SelectDevice(n), 0);
    EXPECT_EQ(device_->GetDeviceNumber(), n);
    EXPECT_EQ(device_->DevicePath(), "\\\\.\\PNikR5MLX" + suffix) << n;
  }
}

TEST_F(DeviceAccess, NumberAbove32IsRefusedAfterTheDefaults) {
  ASSERT_EQ(device_->SelectDevice(2), 0);
  device_->SetPixelWidth(1);
  ASSERT_EQ(device_->SetWindow(0, 0, 640, 480, 1), 0);
  transport_.clearLog();
  EXPECT_EQ(device_->SelectDevice(33), pelnik::device::kStatusBadCameraNumber);
  EXPECT_EQ(device_->SelectDevice(-1), pelnik::device::kStatusBadCameraNumber);
  EXPECT_EQ(device_->GetDeviceNumber(), 2);
  EXPECT_EQ(device_->DevicePath(), "\\\\.\\PNikR5MLX-2");
  // The defaults were applied, nothing was sent.
  EXPECT_EQ(device_->PixelWidth(), 0);
  EXPECT_EQ(device_->Subsampling(), 0);
  EXPECT_EQ(device_->Geometry().pitch, 1339);
  EXPECT_EQ(device_->Geometry().firstImageRow, 10);
  EXPECT_TRUE(transport_.requests().empty());
}

TEST_F(DeviceAccess, SromReadsBelowTheIdentityAreaSendNothing) {
  std::uint8_t value = 0x5C;
  EXPECT_EQ(device_->ReadSromByte(0x17FF, value), 0);
  EXPECT_EQ(value, 0x5C);
  EXPECT_TRUE(transport_.requests().empty());
  EXPECT_TRUE(transport_.opens().empty());
}

TEST_F(DeviceAccess, SromTrafficAndWaits) {
  transport_.setReply({0xA7});
  std::uint8_t value = 0;
  EXPECT_EQ(device_->ReadSromID(0x21, value), 1);
  EXPECT_EQ(value, 0xA7);
  EXPECT_EQ(device_->ReadSromByte(0x1EB0, value), 1);
  EXPECT_EQ(device_->WriteSromID(0x21, 0x3C), 1);
  EXPECT_EQ(transport_.commands(), (Blocks{{0x41, 0x51, 0x02, 0x01, 0x18, 0x21},
                                           {0x41, 0x51, 0x02, 0x01, 0x1E, 0xB0},
                                           {0x40, 0x51, 0x03, 0x18, 0x21, 0x3C}}));
  EXPECT_EQ(clock_.waits(), (std::vector<int>{6, 6, 6, 6, 10}));
  // Two reply reads follow each read request on the same handle.
  const auto requests = transport_.requests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[1].pipe, 1);
  EXPECT_EQ(requests[2].pipe, 1);
  EXPECT_EQ(requests[2].handle, requests[0].handle);

  transport_.failCommands(true);
  EXPECT_EQ(device_->ReadSromID(0x21, value), 0);
  EXPECT_EQ(device_->WriteSromID(0x21, 0), 0);
}

}  // namespace
