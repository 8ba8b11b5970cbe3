// Camera enumeration, names and switching, against virtual cameras at
// numbers 0 and 2.
#include <cstring>
#include <string>
#include <vector>

#include "exports_camera_support.h"
#include "virtcam/frame_stamp.h"

namespace {

using pelnik::test::CameraSetup;
using pelnik::test::CameraTest;
using pelnik::test::popErrors;

constexpr int kSlot = 256;

// Wide text in the header's wide type (UTF-16 on both systems).
using WideText = std::basic_string<PelnikChar16>;
WideText widen(const char *ascii) { return WideText(ascii, ascii + std::strlen(ascii)); }

class Names : public CameraTest {
 protected:
  void SetUp() override {
    CameraSetup setup;
    setup.cameras = {0, 2};
    startCameras(setup);
    handle_ = openCamera();
  }
  // The camera number in the stamp of a fresh snapshot in colour mode 8.
  int snapshotCamera() {
    std::vector<unsigned char> picture(1280 * 1024);
    EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), static_cast<int>(picture.size()), 1), 1);
    const auto stamp = pelnik::virtcam::readFrameStamp(picture.data(), 1280, 1);
    return stamp ? stamp->camera : -1;
  }
};

TEST_F(Names, EnumerationCountsPresentCamerasAndEmptiesTheRestOfTenSlots) {
  std::vector<char> names(10 * kSlot, 'x');
  EXPECT_EQ(Pelnik_EnumDevice(handle_, names.data()), 2);
  EXPECT_STREQ(&names[0], "PelnikR5M-LX_01");
  EXPECT_STREQ(&names[kSlot], "PelnikR5M-LX_02");
  for (int slot = 2; slot < 10; ++slot) EXPECT_EQ(names[slot * kSlot], '\0') << slot;

  std::vector<PelnikChar16> wide(10 * kSlot, PelnikChar16('x'));
  EXPECT_EQ(Pelnik_EnumDeviceW(handle_, wide.data()), 2);
  EXPECT_EQ(WideText(&wide[kSlot]), widen("PelnikR5M-LX_02"));
  EXPECT_EQ(wide[9 * kSlot], PelnikChar16(0));

  EXPECT_EQ(Pelnik_EnumDevice(handle_, nullptr), 0);
  EXPECT_EQ(Pelnik_EnumDeviceW(handle_, nullptr), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{9, 9}));
}

TEST_F(Names, NameNeedsRoomForItsTerminatorAndNothingBeyondIsWritten) {
  for (int length : {14, 15}) {
    std::string text(32, '#');
    EXPECT_EQ(Pelnik_GetDeviceName(handle_, 0, text.data(), length), 0) << length;
    EXPECT_EQ(text, std::string(32, '#'));
    WideText wide(32, PelnikChar16('#'));
    EXPECT_EQ(Pelnik_GetDeviceNameW(handle_, 0, wide.data(), length), 0) << length;
    EXPECT_EQ(wide, WideText(32, PelnikChar16('#')));
  }
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{9, 9, 9, 9}));

  std::string text(32, '#');
  EXPECT_EQ(Pelnik_GetDeviceName(handle_, 0, text.data(), 16), 1);
  EXPECT_STREQ(text.c_str(), "PelnikR5M-LX_01");
  EXPECT_EQ(text.substr(16), std::string(16, '#'));
  WideText wide(32, PelnikChar16('#'));
  EXPECT_EQ(Pelnik_GetDeviceNameW(handle_, 0, wide.data(), 16), 1);
  EXPECT_EQ(wide.substr(0, 16), widen("PelnikR5M-LX_01") + PelnikChar16(0));
  EXPECT_EQ(wide.substr(16), WideText(16, PelnikChar16('#')));
}

TEST_F(Names, NameUsesTheCameraNumberAndRefusesAbsentOrUnknownNumbers) {
  char text[kSlot];
  EXPECT_EQ(Pelnik_GetDeviceName(handle_, 2, text, kSlot), 1);
  EXPECT_STREQ(text, "PelnikR5M-LX_03");
  EXPECT_EQ(Pelnik_GetDeviceName(handle_, 1, text, kSlot), 0);
  EXPECT_EQ(Pelnik_GetDeviceName(handle_, 32, text, kSlot), 0);
  EXPECT_EQ(Pelnik_GetDeviceName(handle_, -1, text, kSlot), 0);
  EXPECT_EQ(Pelnik_GetDeviceName(handle_, 0, nullptr, kSlot), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{9, 9, 9, 2}));
}

TEST_F(Names, SwitchToAnAbsentCameraKeepsTheOldOne) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  EXPECT_EQ(Pelnik_SetDeviceNumber(handle_, 1), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{2});
  EXPECT_EQ(snapshotCamera(), 0);
}

TEST_F(Names, SwitchReachesTheOtherCameraAndKeepsTheFormat) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  ASSERT_EQ(Pelnik_SetGlobalGain(handle_, 300), 1);
  EXPECT_EQ(Pelnik_SetDeviceNumber(handle_, 2), 1);
  EXPECT_EQ(Pelnik_GetColorMode(handle_), 8);
  EXPECT_EQ(snapshotCamera(), 2);
  // The settings of camera 0 were saved; camera 2 had none stored.
  EXPECT_EQ(Pelnik_GetGlobalGain(handle_, nullptr), 0);
  EXPECT_EQ(Pelnik_SetDeviceNumber(handle_, 0), 1);
  EXPECT_EQ(Pelnik_GetGlobalGain(handle_, nullptr), 300);
  EXPECT_EQ(unit(0).registers().sensor[17], 300);
}

TEST_F(Names, EnumerationLeavesTheSelectedCameraAlone) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  ASSERT_EQ(Pelnik_SetDeviceNumber(handle_, 2), 1);
  char names[10 * kSlot];
  EXPECT_EQ(Pelnik_EnumDevice(handle_, names), 2);
  EXPECT_EQ(snapshotCamera(), 2);
  // Streaming claims the camera actually streamed from: camera 2 is
  // refused to another camera object, camera 0 is not.
  ASSERT_EQ(Pelnik_StartPreview(handle_), 1);
  const int other = openCamera();
  EXPECT_EQ(Pelnik_Capture(other), 1);
  EXPECT_EQ(Pelnik_Close(other), 1);
  ASSERT_EQ(Pelnik_SetDeviceNumber(other, 2), 1);
  EXPECT_EQ(Pelnik_Capture(other), 0);
  EXPECT_EQ(popErrors(other), (std::vector<int>{1, 2}));
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(Names, NoSwitchWhileAcquiring) {
  ASSERT_EQ(Pelnik_StartPreview(handle_), 1);
  EXPECT_EQ(Pelnik_SetDeviceNumber(handle_, 2), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{1});
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_EQ(Pelnik_SetDeviceNumber(handle_, 2), 1);
}

}  // namespace
