// Register, identity and IO port exports through the public header, against
// the embedded virtual camera: round trips, and clean failures when the
// camera is unplugged or the camera object has no device object.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"
#include "camera/CPelnik.h"
#include "device/claim_table.h"
#include "platform/posix/runtime_dir.h"
#include "support/message_target.h"
#include "virtcam/virtual_camera.h"

namespace {

using pelnik::virtcam::ControlAction;

using pelnik::test::MessageTarget;

int drainHistory(int handle) {
  int count = 0;
  while (Pelnik_GetLastError(handle) != 0) ++count;
  return count;
}

class DeviceExports : public ::testing::Test {
 protected:
  void SetUp() override {
    pelnik::virtcam::VirtualCameraOptions options;
    options.cameras = {0};
    options.controlSocket = false;
    camera_ = std::make_unique<pelnik::virtcam::VirtualCamera>(options);
    ASSERT_TRUE(camera_->ok()) << camera_->error();
    handle_ = Pelnik_Initialize(owner_.window());
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(drainHistory(handle_), 0) << "opening against a camera raised errors";
    owner_.errorCodes();
  }
  void TearDown() override {
    if (handle_) Pelnik_Release(handle_);
  }
  pelnik::virtcam::CameraUnit &unit() { return *camera_->camera(0); }

  MessageTarget owner_;
  std::unique_ptr<pelnik::virtcam::VirtualCamera> camera_;
  int handle_ = 0;
};

TEST_F(DeviceExports, SensorRegisterWriteIsReadBack) {
  EXPECT_EQ(Pelnik_WriteRegister(handle_, 14, 1234), 1);
  EXPECT_EQ(unit().registers().sensor[14], 1234);
  int flag = 0;
  EXPECT_EQ(Pelnik_ReadRegister(handle_, 14, &flag), 1234);
  EXPECT_EQ(flag, 1);

  // Register numbers are cut to 8 bits; the narrow form cuts the value to
  // 16 bits, the wide form passes it whole and the sensor keeps the low 16.
  EXPECT_EQ(Pelnik_WriteRegister(handle_, 0x111, 0x7ABCD), 1);
  EXPECT_EQ(unit().registers().sensor[17], 0xABCD);
  EXPECT_EQ(Pelnik_WriteRegisterEx(handle_, 17, 0x12345), 1);
  EXPECT_EQ(unit().registers().sensor[17], 0x2345);
  flag = 0;
  EXPECT_EQ(Pelnik_ReadRegisterEx(handle_, 0x211, &flag), 0x2345);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 0);
}

TEST_F(DeviceExports, SromIdentityAndIoPortRoundTrip) {
  const int before = unit().sromByte(0x1805);
  const int written = (before + 0x5B) & 0xFF;
  EXPECT_EQ(Pelnik_WriteSromID(handle_, 5, written), 1);
  EXPECT_EQ(unit().sromByte(0x1805), written);
  int flag = 0;
  EXPECT_EQ(Pelnik_ReadSromID(handle_, 5, &flag), written);
  EXPECT_EQ(flag, 1);

  EXPECT_EQ(Pelnik_SetIOPort(handle_, 0x15A), 1);
  EXPECT_EQ(unit().registers().fpga[7], 0x5A);
  unsigned char port = 0;
  EXPECT_EQ(Pelnik_GetIOPort(handle_, &port, 0, 0), 1);
  EXPECT_EQ(port, 0x5A);
  EXPECT_TRUE(owner_.errorCodes().empty());
  EXPECT_EQ(Pelnik_GetLastError(handle_), 0);
}

TEST_F(DeviceExports, UnpluggedCameraFailsEachAccessAsReported) {
  ASSERT_TRUE(camera_->apply(ControlAction::Unplug, 0));

  // Register access raises error 6 (recorded and posted).
  EXPECT_EQ(Pelnik_WriteRegister(handle_, 14, 99), 0);
  int flag = 1;
  EXPECT_EQ(Pelnik_ReadRegister(handle_, 14, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 6);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 6);
  EXPECT_EQ(owner_.errorCodes(), (std::vector<long>{6, 6}));

  // Identity bytes only post notice 1.
  flag = 1;
  EXPECT_EQ(Pelnik_ReadSromID(handle_, 5, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(Pelnik_WriteSromID(handle_, 5, 1), 0);
  EXPECT_EQ(owner_.errorCodes(), (std::vector<long>{1, 1}));

  // A failed port read returns 0 and leaves the caller's byte alone.
  unsigned char port = 0xC3;
  EXPECT_EQ(Pelnik_GetIOPort(handle_, &port, 0, 0), 0);
  EXPECT_EQ(port, 0xC3);
  EXPECT_EQ(Pelnik_SetIOPort(handle_, 1), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 0);

  // Plugged in again, the same handle works.
  ASSERT_TRUE(camera_->apply(ControlAction::Plug, 0));
  EXPECT_EQ(Pelnik_WriteRegister(handle_, 14, 77), 1);
  EXPECT_EQ(Pelnik_ReadRegister(handle_, 14, &flag), 77);
}

TEST_F(DeviceExports, CameraObjectsWithoutOwnerWindowStillClaim) {
  // Two camera objects of one process, both without an owner window.
  pelnik::CPelnik first;
  pelnik::CPelnik second;
  ASSERT_EQ(first.Open(0), 1);
  ASSERT_EQ(second.Open(0), 1);
  ASSERT_EQ(first.ClaimCamera(0), 1);
  auto table = pelnik::device::ClaimTable::open();
  ASSERT_NE(table, nullptr);
  EXPECT_TRUE(table->isClaimed(0));
  EXPECT_TRUE(second.IsCameraClaimed(0));
  EXPECT_FALSE(first.IsCameraClaimed(0));
  EXPECT_EQ(second.ClaimCamera(0), 0);
  second.ReleaseClaim(0);
  EXPECT_TRUE(table->isClaimed(0)) << "another object's release freed the claim";
  first.ReleaseClaim(0);
  EXPECT_FALSE(table->isClaimed(0));
}

TEST(DeviceExportsWithoutDevice, EachFailsWithNoDevice) {
  // A directory where the claim table belongs makes the open fail before
  // the device object is created.
  const std::string directory = pelnik::platform::ensureRuntimeDirectory();
  ASSERT_FALSE(directory.empty());
  const std::string table = directory + "/TESMOR_USBCAMERA";
  // Earlier tests of the same process (a shard under an emulator) may have
  // made the table; the directory goes again when the test ends.
  std::filesystem::remove(table);
  ASSERT_EQ(mkdir(table.c_str(), 0700), 0);
  struct RemoveAtEnd {
    std::string path;
    ~RemoveAtEnd() { rmdir(path.c_str()); }
  } removeAtEnd{table};
  MessageTarget owner;
  const int handle = Pelnik_Initialize(owner.window());
  ASSERT_NE(handle, 0);
  // The open failed with error 5 before the owner window was stored.
  EXPECT_EQ(Pelnik_GetLastError(handle), 5);
  EXPECT_EQ(Pelnik_GetLastError(handle), 0);
  EXPECT_TRUE(owner.errorCodes().empty());

  int flag = 1;
  EXPECT_EQ(Pelnik_ReadRegister(handle, 14, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(Pelnik_WriteRegisterEx(handle, 14, 1), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle), 1);
  EXPECT_EQ(Pelnik_GetLastError(handle), 1);
  EXPECT_EQ(Pelnik_GetLastError(handle), 0);

  // The other four only post: no device is notice 1, a null port is 9.
  EXPECT_EQ(Pelnik_ReadSromID(handle, 0, &flag), 0);
  EXPECT_EQ(Pelnik_WriteSromID(handle, 0, 0), 0);
  unsigned char port = 0x11;
  EXPECT_EQ(Pelnik_GetIOPort(handle, &port, 0, 0), 0);
  EXPECT_EQ(port, 0x11);
  EXPECT_EQ(Pelnik_GetIOPort(handle, nullptr, 0, 0), 0);
  EXPECT_EQ(Pelnik_SetIOPort(handle, 1), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle), 0);
  // The failed open never stored the owner window, so nothing reached it.
  EXPECT_TRUE(owner.errorCodes().empty());
  EXPECT_EQ(Pelnik_Release(handle), 1);
}

}  // namespace
