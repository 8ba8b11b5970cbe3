// Video format, colour modes, filter values, exposure and camera information
// through the public header, against the embedded virtual camera.
#include <array>
#include <fstream>
#include <string>

#include "exports_camera_support.h"
#include "settings/reg_file_store.h"
#include "settings/setting_groups.h"
#include "support/test_environment.h"

namespace {

using pelnik::test::CameraTest;
using pelnik::test::popErrors;

using Format = CameraTest;

TEST_F(Format, FirstOpenTakesTheStoredFormatDefaults) {
  // A store without the root key gets the first-open defaults written,
  // which the open sequence then loads: colour 24, wait time 1.
  EXPECT_EQ(Pelnik_Width(handle_), 1280);
  EXPECT_EQ(Pelnik_Height(handle_), 1024);
  EXPECT_EQ(Pelnik_GetColorMode(handle_), 24);
  EXPECT_EQ(Pelnik_GetSubSample(handle_), 0);
  EXPECT_EQ(Pelnik_GetWaitTime(handle_), 1);
  int flag = 0;
  EXPECT_EQ(Pelnik_GetGamma(handle_, &flag), 100);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(Pelnik_GetBayerGainRed(handle_, nullptr), 100);
  EXPECT_EQ(Pelnik_GetBayerMode(handle_, nullptr), 1);
  EXPECT_EQ(Pelnik_GetGrayGainG2(handle_, nullptr), 128);
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 512);
  EXPECT_EQ(unit().registers().sensor[14], 512);
  EXPECT_EQ(Pelnik_GetGlobalGain(handle_, nullptr), 0);
}

TEST_F(Format, ColourModesMapSetDepthsToReportedBits) {
  const std::array<std::array<int, 2>, 6> modes{
      {{8, 8}, {16, 10}, {24, 24}, {32, 32}, {48, 42}, {64, 58}}};
  for (const auto &[set, reported] : modes) {
    EXPECT_EQ(Pelnik_SetColorMode(handle_, set), 1);
    EXPECT_EQ(Pelnik_GetColorMode(handle_), reported);
  }
  EXPECT_EQ(Pelnik_SetColorMode(handle_, 12), 0);
  EXPECT_EQ(Pelnik_GetColorMode(handle_), 58);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{9});
  EXPECT_EQ(owner_.errorCodes(), std::vector<long>{9});
}

TEST_F(Format, RefusedValuesOfSubsampleAndWaitTimeRecordNothing) {
  EXPECT_EQ(Pelnik_SetSubSample(handle_, 2), 0);
  EXPECT_EQ(Pelnik_SetWaitTime(handle_, -1), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 0);
  EXPECT_EQ(Pelnik_SetSubSample(handle_, 1), 1);
  EXPECT_EQ(Pelnik_GetSubSample(handle_), 1);
  EXPECT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  EXPECT_EQ(Pelnik_GetWaitTime(handle_), 0);
}

TEST_F(Format, RegionOutsideTheSensorIsKeptButFailsAcquisition) {
  EXPECT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1300, 100, 1200, 1024, 0, 1024), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{7});
  std::array<int, 6> v{};
  EXPECT_EQ(Pelnik_GetCaptureWindowEx(handle_, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 1);
  EXPECT_EQ(v, (std::array<int, 6>{1300, 100, 1200, 1024, 0, 1024}));
  EXPECT_EQ(Pelnik_Capture(handle_), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{1, 7}));
  // The sensor still has the last window it accepted.
  EXPECT_EQ(unit().registers().sensor[21], 1280);
}

TEST_F(Format, WindowBelowTheSensorMinimumIsAnInvalidFormat) {
  // Inside the sensor, so the region check passes, but the sensor refuses
  // a window narrower than 4 columns; buffers sized for it would be overrun
  // by the frames of the old window.
  EXPECT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 3, 1024, 0, 100), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{7});
  EXPECT_EQ(Pelnik_Capture(handle_), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{1, 7}));
  EXPECT_EQ(Pelnik_SnapShot(handle_, nullptr, 0, 1), 0);

  // The smallest window the sensor takes works end to end.
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 1276, 4, 1024, 1021, 3), 1);
  std::array<unsigned char, 12> picture{};
  EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), 12, 1), 1);
  popErrors(handle_);
  EXPECT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 1280, 1024, 0, 1024), 1);
}

TEST_F(Format, CaptureWindowSelectsAStoredPreset) {
  // The first open stored Size_00 (full frame) only.
  EXPECT_EQ(Pelnik_SetCaptureWindow(handle_, 640, 480), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{4});
  ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 8, 640, 1024, 8, 480), 1);
  EXPECT_EQ(Pelnik_SetCaptureWindow(handle_, 1280, 1024), 1);
  EXPECT_EQ(Pelnik_Width(handle_), 1280);
  EXPECT_EQ(Pelnik_Height(handle_), 1024);
  EXPECT_EQ(unit().registers().sensor[20], 6);
}

TEST_F(Format, StoredPresetOutsideTheSensorFallsBackToFullFrame) {
  {
    auto session = pelnik::settings::userSettingsStore().beginWrite();
    ASSERT_TRUE(session);
    auto preset = session->createKey(pelnik::platform::SettingsSession::currentUser(),
                                     "Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00\\Size_00");
    ASSERT_TRUE(preset);
    ASSERT_TRUE(session->writeValue(*preset, "EHS", 100));
    ASSERT_TRUE(session->writeValue(*preset, "EH", 1200));
    ASSERT_TRUE(session->writeValue(*preset, "Buf", 9));
    ASSERT_TRUE(session->commit());
  }
  const int reopened = Pelnik_Initialize(0);
  ASSERT_NE(reopened, 0);
  handles_.push_back(reopened);
  EXPECT_EQ(popErrors(reopened), std::vector<int>{7});
  std::array<int, 6> v{};
  EXPECT_EQ(Pelnik_GetCaptureWindowEx(reopened, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 1);
  EXPECT_EQ(v, (std::array<int, 6>{1280, 0, 1280, 1024, 0, 1024}));
  EXPECT_EQ(Pelnik_Capture(reopened), 1);
}

using FilterValues = CameraTest;

TEST_F(FilterValues, EachIdentifierAcceptsExactlyItsRange) {
  struct Range {
    int id, minimum, maximum;
  };
  const Range ranges[] = {{1, -255, 255},  {2, -127, 127}, {3, -360, 360}, {4, -255, 255},
                          {5, 0, 30},      {7, 0, 400},    {8, 0, 400},    {9, 0, 400},
                          {11, 0, 200},    {12, 0, 3},     {13, 0, 2047},  {18, 1, 65534},
                          {19, 0, 2},      {20, 0, 255},   {23, 0, 255},   {24, -255, 255},
                          {27, -255, 255}, {28, 0, 1}};
  for (const Range &r : ranges) {
    SCOPED_TRACE(r.id);
    EXPECT_EQ(Pelnik_SetFilterValue(handle_, r.id, r.minimum), 1);
    EXPECT_EQ(Pelnik_GetFilterValue(handle_, r.id, nullptr), r.minimum);
    EXPECT_EQ(Pelnik_SetFilterValue(handle_, r.id, r.maximum), 1);
    EXPECT_EQ(Pelnik_SetFilterValue(handle_, r.id, r.minimum - 1), 0);
    EXPECT_EQ(Pelnik_SetFilterValue(handle_, r.id, r.maximum + 1), 0);
    EXPECT_EQ(Pelnik_GetFilterValue(handle_, r.id, nullptr), r.maximum);
    EXPECT_EQ(popErrors(handle_), (std::vector<int>{9, 9}));
  }
}

TEST_F(FilterValues, IdentifiersOutsideTheTableFailWithTheirFlagCleared) {
  for (int id : {0, 29, -1}) {
    int flag = 1;
    EXPECT_EQ(Pelnik_SetFilterValue(handle_, id, 0), 0);
    EXPECT_EQ(Pelnik_GetFilterValue(handle_, id, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(popErrors(handle_), (std::vector<int>{9, 9}));
  }
}

TEST_F(FilterValues, NamedMembersReachTheirIdentifier) {
  EXPECT_EQ(Pelnik_SetBrightness(handle_, 40), 1);
  EXPECT_EQ(Pelnik_GetFilterValue(handle_, 1, nullptr), 40);
  EXPECT_EQ(Pelnik_SetBrightness(handle_, -300), 0);
  EXPECT_EQ(Pelnik_GetBrightness(handle_, nullptr), 40);
  EXPECT_EQ(Pelnik_SetFilterValue(handle_, 27, -7), 1);
  EXPECT_EQ(Pelnik_GetGrayOffsetB(handle_, nullptr), -7);
  EXPECT_EQ(Pelnik_SetGrayGainG1(handle_, 77), 1);
  EXPECT_EQ(Pelnik_GetFilterValue(handle_, 21, nullptr), 77);
  EXPECT_EQ(Pelnik_SetSharpness(handle_, 30), 1);
  EXPECT_EQ(Pelnik_GetFilterValue(handle_, 5, nullptr), 30);
}

TEST_F(FilterValues, BayerGainsPackAndSplitWithoutRangeChecks) {
  const int packed = 50 | 100 << 8 | 200 << 16;
  EXPECT_EQ(Pelnik_SetBayerGainRGB(handle_, packed), 1);
  EXPECT_EQ(Pelnik_GetBayerGainRed(handle_, nullptr), 50);
  EXPECT_EQ(Pelnik_GetBayerGainGreen(handle_, nullptr), 100);
  EXPECT_EQ(Pelnik_GetBayerGainBlue(handle_, nullptr), 200);
  EXPECT_EQ(Pelnik_GetBayerGainRGB(handle_, nullptr), packed);
  // A gain above one byte reads back through its low byte only.
  EXPECT_EQ(Pelnik_SetBayerGainRed(handle_, 300), 1);
  EXPECT_EQ(Pelnik_GetBayerGainRGB(handle_, nullptr), (300 & 0xFF) | 100 << 8 | 200 << 16);
  EXPECT_EQ(Pelnik_SetBayerGainAuto(handle_, 5), 1);
  EXPECT_EQ(Pelnik_GetBayerGainAuto(handle_, nullptr), 1);
}

TEST_F(FilterValues, ChannelGainsTakeOnlyZero) {
  EXPECT_EQ(Pelnik_SetColorGainRed(handle_, 5), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{9});
  EXPECT_EQ(Pelnik_SetColorGainRed(handle_, 0), 1);
  int flag = 0;
  EXPECT_EQ(Pelnik_GetColorGainRed(handle_, &flag), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(Pelnik_SetColorGainBlue(handle_, -1), 0);
}

TEST_F(FilterValues, GainAndExposureActOnTheSensorAtOnce) {
  EXPECT_EQ(Pelnik_SetGlobalGain(handle_, 700), 1);
  EXPECT_EQ(unit().registers().sensor[17], 700);
  EXPECT_EQ(Pelnik_GetGlobalGain(handle_, nullptr), 700);
  EXPECT_EQ(Pelnik_SetExposureTime(handle_, 1000), 1);
  EXPECT_EQ(unit().registers().sensor[14], 1000);
  // The getters report the sensor's value, also when changed behind the
  // filter functions.
  EXPECT_EQ(Pelnik_WriteRegister(handle_, 17, 33), 1);
  EXPECT_EQ(Pelnik_GetGlobalGain(handle_, nullptr), 700);
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 1000);
}

TEST_F(FilterValues, ExposureInMicrosecondsTruncatesBothWays) {
  EXPECT_EQ(Pelnik_SetRealExposureTime(handle_, 1000), 1);
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 31);
  EXPECT_EQ(unit().registers().sensor[14], 31);
  int flag = 0;
  EXPECT_EQ(Pelnik_GetRealExposureTime(handle_, &flag), 974);
  EXPECT_EQ(flag, 1);
  // Below one line, and beyond the sensor's longest exposure.
  EXPECT_EQ(Pelnik_SetRealExposureTime(handle_, 31), 0);
  EXPECT_EQ(Pelnik_SetRealExposureTime(handle_, 2147483647), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{9, 9}));
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 31);
}

TEST_F(FilterValues, AutoIrisModeOutsideRangeIsOnlyAnnounced) {
  EXPECT_EQ(Pelnik_SetAutoIris(handle_, 2), 1);
  int flag = 0;
  EXPECT_EQ(Pelnik_GetAutoIris(handle_, &flag), 2);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(Pelnik_SetAutoIris(handle_, 3), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 0);
  EXPECT_EQ(owner_.errorCodes(), std::vector<long>{9});
  EXPECT_EQ(Pelnik_GetAutoIris(handle_, nullptr), 2);
}

TEST_F(FilterValues, MirrorsReachTheReadoutMode) {
  EXPECT_EQ(Pelnik_SetMirrorH(handle_, 1), 1);
  EXPECT_EQ(unit().registers().sensor[7], 0x0E41);
  EXPECT_EQ(Pelnik_SetMirrorV(handle_, 7), 1);
  EXPECT_EQ(unit().registers().sensor[7], 0x0E01);
  EXPECT_EQ(Pelnik_GetMirrorV(handle_), 1);
  EXPECT_EQ(Pelnik_GetMirrorH(handle_), 1);
}

TEST_F(FilterValues, CameraInfoNeedsThirtySixBytes) {
  std::array<int, 10> info{};
  info[0] = 35;
  EXPECT_EQ(Pelnik_GetCameraInfo(handle_, info.data()), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{5});
  info[0] = 36;
  info[9] = -1;
  EXPECT_EQ(Pelnik_GetCameraInfo(handle_, info.data()), 1);
  EXPECT_EQ(info, (std::array<int, 10>{36, 1280, 1024, 0, 2047, 0, 0, 1, 65534, -1}));
  EXPECT_EQ(Pelnik_GetCameraInfo(handle_, nullptr), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{9});
}

using ConfigFiles = CameraTest;

TEST_F(ConfigFiles, LoadsThroughBothFormsAndRefusesBadPaths) {
  const std::string path = pelnik::test::isolationRoot() + "/camera.cfg";
  std::ofstream(path, std::ios::binary) << std::string(20, '\x01');
  EXPECT_EQ(Pelnik_LoadConfigFileA(handle_, path.c_str()), 1);
  const std::u16string wide(path.begin(), path.end());  // the path is ASCII
  EXPECT_EQ(Pelnik_LoadConfigFileW(handle_, wide.c_str()), 1);
  EXPECT_EQ(Pelnik_LoadConfigFileA(handle_, (path + ".missing").c_str()), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 0);
  EXPECT_EQ(Pelnik_LoadConfigFileA(handle_, nullptr), 0);
  EXPECT_EQ(Pelnik_LoadConfigFileW(handle_, u""), 0);
  const char16_t unpaired[] = {u'a', char16_t(0xD800), u'b', 0};
  EXPECT_EQ(Pelnik_LoadConfigFileW(handle_, unpaired), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{12, 9, 9}));
}

}  // namespace
