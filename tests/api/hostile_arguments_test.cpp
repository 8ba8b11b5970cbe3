// Every export with hostile arguments from four threads at once: null
// pointers, negative and extreme numbers, and handles that are released,
// never issued or absurd, while a live camera is driven by the same calls.
// Meant for the address and undefined-behaviour sanitizers; without them it
// still checks that unknown handles get their not-found value and that the
// camera works afterwards.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PelnikMessages.h"
#include "exports_camera_support.h"

namespace {

using pelnik::test::CameraTest;
using pelnik::test::popErrors;

constexpr int kHostileValues[] = {INT_MIN, -1, 0, 33, 65535, INT_MAX};
// Larger than any picture (1280 x 1024 at 64 bits) and any names area, so a
// size the library trusts never runs past it.
constexpr std::size_t kScratchBytes = 12u << 20;
constexpr int kScratchInts = 64;

// The arguments of one call; the table picks what each parameter gets.
struct Args {
  int handle = 0;
  int value = 0;
  int *ints = nullptr;     // null, or kScratchInts ints holding `value`
  void *memory = nullptr;  // null, or kScratchBytes bytes
  const char *text = nullptr;
  const PelnikChar16 *wideText = nullptr;
  char *chars() const { return static_cast<char *>(memory); }
  PelnikChar16 *wideChars() const { return static_cast<PelnikChar16 *>(memory); }
  unsigned char *bytes() const { return static_cast<unsigned char *>(memory); }
};

struct Export {
  const char *name;
  int notFound;  // the result for a handle that is not registered
  int (*call)(const Args &);
};

// Every export that takes a camera handle. The dialogs find no display
// (SetUp) and take their no-display way, which still runs their whole set-up
// and conclusion.
const Export kExports[] = {
    {"Release", 0, [](const Args &a) { return Pelnik_Release(a.handle); }},
    {"GetLastError", 0, [](const Args &a) { return Pelnik_GetLastError(a.handle); }},
    {"EnumDevice", 0, [](const Args &a) { return Pelnik_EnumDevice(a.handle, a.chars()); }},
    {"EnumDeviceW", 0, [](const Args &a) { return Pelnik_EnumDeviceW(a.handle, a.wideChars()); }},
    {"GetDeviceName", 0,
     [](const Args &a) { return Pelnik_GetDeviceName(a.handle, a.value, a.chars(), a.value); }},
    {"GetDeviceNameW", 0,
     [](const Args &a) {
       return Pelnik_GetDeviceNameW(a.handle, a.value, a.wideChars(), a.value);
     }},
    {"SetDeviceNumber", 0, [](const Args &a) { return Pelnik_SetDeviceNumber(a.handle, a.value); }},
    {"GetCameraInfo", 0, [](const Args &a) { return Pelnik_GetCameraInfo(a.handle, a.ints); }},
    {"SetCaptureWindow", 0,
     [](const Args &a) { return Pelnik_SetCaptureWindow(a.handle, a.value, a.value); }},
    {"SetCaptureWindowEx", 0,
     [](const Args &a) {
       return Pelnik_SetCaptureWindowEx(a.handle, a.value, a.value, a.value, a.value, a.value,
                                        a.value);
     }},
    {"GetCaptureWindowEx", 0,
     [](const Args &a) {
       return Pelnik_GetCaptureWindowEx(a.handle, a.ints, a.ints, a.ints, a.ints, a.ints, a.ints);
     }},
    {"Width", 0, [](const Args &a) { return Pelnik_Width(a.handle); }},
    {"Height", 0, [](const Args &a) { return Pelnik_Height(a.handle); }},
    {"SetColorMode", 0, [](const Args &a) { return Pelnik_SetColorMode(a.handle, a.value); }},
    {"GetColorMode", -1, [](const Args &a) { return Pelnik_GetColorMode(a.handle); }},
    {"SetSubSample", 0, [](const Args &a) { return Pelnik_SetSubSample(a.handle, a.value); }},
    {"GetSubSample", -1, [](const Args &a) { return Pelnik_GetSubSample(a.handle); }},
    {"SetWaitTime", 0, [](const Args &a) { return Pelnik_SetWaitTime(a.handle, a.value); }},
    {"GetWaitTime", -1, [](const Args &a) { return Pelnik_GetWaitTime(a.handle); }},
    {"SetPreviewWindow", 0,
     [](const Args &a) {
       return Pelnik_SetPreviewWindow(a.handle, a.value, a.value, a.value, a.value, a.value);
     }},
    {"Preview", 0, [](const Args &a) { return Pelnik_Preview(a.handle); }},
    {"CallBackPreview", 0,
     [](const Args &a) {
       return Pelnik_CallBackPreview(a.handle, a.value, a.memory, a.value, a.value);
     }},
    {"StartPreview", 0, [](const Args &a) { return Pelnik_StartPreview(a.handle); }},
    {"StopPreview", 0, [](const Args &a) { return Pelnik_StopPreview(a.handle); }},
    {"Close", 0, [](const Args &a) { return Pelnik_Close(a.handle); }},
    {"Capture", 0, [](const Args &a) { return Pelnik_Capture(a.handle); }},
    {"SnapShot", 0,
     [](const Args &a) { return Pelnik_SnapShot(a.handle, a.memory, a.value, a.value); }},
    {"Trigger", 0,
     [](const Args &a) { return Pelnik_Trigger(a.handle, a.value, a.memory, a.value, a.value); }},
    {"GetImage", 0,
     [](const Args &a) { return Pelnik_GetImage(a.handle, a.memory, a.value, a.value); }},
    {"GetStatus", 0, [](const Args &a) { return Pelnik_GetStatus(a.handle, a.value); }},
    {"SaveImage", 0, [](const Args &a) { return Pelnik_SaveImage(a.handle, a.text, a.value); }},
    {"SaveImageW", 0,
     [](const Args &a) { return Pelnik_SaveImageW(a.handle, a.wideText, a.value); }},
    {"LoadConfigFileA", 0, [](const Args &a) { return Pelnik_LoadConfigFileA(a.handle, a.text); }},
    {"LoadConfigFileW", 0,
     [](const Args &a) { return Pelnik_LoadConfigFileW(a.handle, a.wideText); }},
    {"Record", 0, [](const Args &a) { return Pelnik_Record(a.handle, a.text, a.value, a.value); }},
    {"RecordW", 0,
     [](const Args &a) { return Pelnik_RecordW(a.handle, a.wideText, a.value, a.value); }},
    {"SetAnalogDlg", 0, [](const Args &a) { return Pelnik_SetAnalogDlg(a.handle, a.value); }},
    {"SetImageDlg", 0, [](const Args &a) { return Pelnik_SetImageDlg(a.handle, a.value); }},
    {"SetCameraDlg", 0, [](const Args &a) { return Pelnik_SetCameraDlg(a.handle, a.value); }},
    {"ReadRegister", 0,
     [](const Args &a) { return Pelnik_ReadRegister(a.handle, a.value, a.ints); }},
    {"ReadRegisterEx", 0,
     [](const Args &a) { return Pelnik_ReadRegisterEx(a.handle, a.value, a.ints); }},
    {"WriteRegister", 0,
     [](const Args &a) { return Pelnik_WriteRegister(a.handle, a.value, a.value); }},
    {"WriteRegisterEx", 0,
     [](const Args &a) { return Pelnik_WriteRegisterEx(a.handle, a.value, a.value); }},
    {"ReadSromID", 0, [](const Args &a) { return Pelnik_ReadSromID(a.handle, a.value, a.ints); }},
    {"WriteSromID", 0,
     [](const Args &a) { return Pelnik_WriteSromID(a.handle, a.value, a.value); }},
    {"GetIOPort", 0,
     [](const Args &a) { return Pelnik_GetIOPort(a.handle, a.bytes(), a.value, a.value); }},
    {"SetIOPort", 0, [](const Args &a) { return Pelnik_SetIOPort(a.handle, a.value); }},
    {"SetMirrorV", 0, [](const Args &a) { return Pelnik_SetMirrorV(a.handle, a.value); }},
    {"GetMirrorV", 0, [](const Args &a) { return Pelnik_GetMirrorV(a.handle); }},
    {"SetMirrorH", 0, [](const Args &a) { return Pelnik_SetMirrorH(a.handle, a.value); }},
    {"GetMirrorH", 0, [](const Args &a) { return Pelnik_GetMirrorH(a.handle); }},
    {"SetAutoIris", 0, [](const Args &a) { return Pelnik_SetAutoIris(a.handle, a.value); }},
    {"GetAutoIris", 0, [](const Args &a) { return Pelnik_GetAutoIris(a.handle, a.ints); }},
    {"SetRealExposureTime", 0,
     [](const Args &a) { return Pelnik_SetRealExposureTime(a.handle, a.value); }},
    {"GetRealExposureTime", 0,
     [](const Args &a) { return Pelnik_GetRealExposureTime(a.handle, a.ints); }},
    {"SetFilterValue", 0,
     [](const Args &a) { return Pelnik_SetFilterValue(a.handle, a.value, a.value); }},
    {"GetFilterValue", 0,
     [](const Args &a) { return Pelnik_GetFilterValue(a.handle, a.value, a.ints); }},
    {"SetBrightness", 0, [](const Args &a) { return Pelnik_SetBrightness(a.handle, a.value); }},
    {"GetBrightness", 0, [](const Args &a) { return Pelnik_GetBrightness(a.handle, a.ints); }},
    {"SetContrast", 0, [](const Args &a) { return Pelnik_SetContrast(a.handle, a.value); }},
    {"GetContrast", 0, [](const Args &a) { return Pelnik_GetContrast(a.handle, a.ints); }},
    {"SetHue", 0, [](const Args &a) { return Pelnik_SetHue(a.handle, a.value); }},
    {"GetHue", 0, [](const Args &a) { return Pelnik_GetHue(a.handle, a.ints); }},
    {"SetSaturation", 0, [](const Args &a) { return Pelnik_SetSaturation(a.handle, a.value); }},
    {"GetSaturation", 0, [](const Args &a) { return Pelnik_GetSaturation(a.handle, a.ints); }},
    {"SetSharpness", 0, [](const Args &a) { return Pelnik_SetSharpness(a.handle, a.value); }},
    {"GetSharpness", 0, [](const Args &a) { return Pelnik_GetSharpness(a.handle, a.ints); }},
    {"SetBayerGainRGB", 0, [](const Args &a) { return Pelnik_SetBayerGainRGB(a.handle, a.value); }},
    {"GetBayerGainRGB", 0, [](const Args &a) { return Pelnik_GetBayerGainRGB(a.handle, a.ints); }},
    {"SetBayerGainRed", 0, [](const Args &a) { return Pelnik_SetBayerGainRed(a.handle, a.value); }},
    {"GetBayerGainRed", 0, [](const Args &a) { return Pelnik_GetBayerGainRed(a.handle, a.ints); }},
    {"SetBayerGainGreen", 0,
     [](const Args &a) { return Pelnik_SetBayerGainGreen(a.handle, a.value); }},
    {"GetBayerGainGreen", 0,
     [](const Args &a) { return Pelnik_GetBayerGainGreen(a.handle, a.ints); }},
    {"SetBayerGainBlue", 0,
     [](const Args &a) { return Pelnik_SetBayerGainBlue(a.handle, a.value); }},
    {"GetBayerGainBlue", 0,
     [](const Args &a) { return Pelnik_GetBayerGainBlue(a.handle, a.ints); }},
    {"SetBayerGainAuto", 0,
     [](const Args &a) { return Pelnik_SetBayerGainAuto(a.handle, a.value); }},
    {"GetBayerGainAuto", 0,
     [](const Args &a) { return Pelnik_GetBayerGainAuto(a.handle, a.ints); }},
    {"SetGamma", 0, [](const Args &a) { return Pelnik_SetGamma(a.handle, a.value); }},
    {"GetGamma", 0, [](const Args &a) { return Pelnik_GetGamma(a.handle, a.ints); }},
    {"SetBayerMode", 0, [](const Args &a) { return Pelnik_SetBayerMode(a.handle, a.value); }},
    {"GetBayerMode", 0, [](const Args &a) { return Pelnik_GetBayerMode(a.handle, a.ints); }},
    {"SetGlobalGain", 0, [](const Args &a) { return Pelnik_SetGlobalGain(a.handle, a.value); }},
    {"GetGlobalGain", 0, [](const Args &a) { return Pelnik_GetGlobalGain(a.handle, a.ints); }},
    {"SetColorGainRed", 0, [](const Args &a) { return Pelnik_SetColorGainRed(a.handle, a.value); }},
    {"GetColorGainRed", 0, [](const Args &a) { return Pelnik_GetColorGainRed(a.handle, a.ints); }},
    {"SetColorGainGreen1", 0,
     [](const Args &a) { return Pelnik_SetColorGainGreen1(a.handle, a.value); }},
    {"GetColorGainGreen1", 0,
     [](const Args &a) { return Pelnik_GetColorGainGreen1(a.handle, a.ints); }},
    {"SetColorGainGreen2", 0,
     [](const Args &a) { return Pelnik_SetColorGainGreen2(a.handle, a.value); }},
    {"GetColorGainGreen2", 0,
     [](const Args &a) { return Pelnik_GetColorGainGreen2(a.handle, a.ints); }},
    {"SetColorGainBlue", 0,
     [](const Args &a) { return Pelnik_SetColorGainBlue(a.handle, a.value); }},
    {"GetColorGainBlue", 0,
     [](const Args &a) { return Pelnik_GetColorGainBlue(a.handle, a.ints); }},
    {"SetExposureTime", 0, [](const Args &a) { return Pelnik_SetExposureTime(a.handle, a.value); }},
    {"GetExposureTime", 0, [](const Args &a) { return Pelnik_GetExposureTime(a.handle, a.ints); }},
    {"SetGrayMode", 0, [](const Args &a) { return Pelnik_SetGrayMode(a.handle, a.value); }},
    {"GetGrayMode", 0, [](const Args &a) { return Pelnik_GetGrayMode(a.handle, a.ints); }},
    {"SetGrayGainR", 0, [](const Args &a) { return Pelnik_SetGrayGainR(a.handle, a.value); }},
    {"GetGrayGainR", 0, [](const Args &a) { return Pelnik_GetGrayGainR(a.handle, a.ints); }},
    {"SetGrayGainG1", 0, [](const Args &a) { return Pelnik_SetGrayGainG1(a.handle, a.value); }},
    {"GetGrayGainG1", 0, [](const Args &a) { return Pelnik_GetGrayGainG1(a.handle, a.ints); }},
    {"SetGrayGainG2", 0, [](const Args &a) { return Pelnik_SetGrayGainG2(a.handle, a.value); }},
    {"GetGrayGainG2", 0, [](const Args &a) { return Pelnik_GetGrayGainG2(a.handle, a.ints); }},
    {"SetGrayGainB", 0, [](const Args &a) { return Pelnik_SetGrayGainB(a.handle, a.value); }},
    {"GetGrayGainB", 0, [](const Args &a) { return Pelnik_GetGrayGainB(a.handle, a.ints); }},
    {"SetGrayOffsetR", 0, [](const Args &a) { return Pelnik_SetGrayOffsetR(a.handle, a.value); }},
    {"GetGrayOffsetR", 0, [](const Args &a) { return Pelnik_GetGrayOffsetR(a.handle, a.ints); }},
    {"SetGrayOffsetG1", 0, [](const Args &a) { return Pelnik_SetGrayOffsetG1(a.handle, a.value); }},
    {"GetGrayOffsetG1", 0, [](const Args &a) { return Pelnik_GetGrayOffsetG1(a.handle, a.ints); }},
    {"SetGrayOffsetG2", 0, [](const Args &a) { return Pelnik_SetGrayOffsetG2(a.handle, a.value); }},
    {"GetGrayOffsetG2", 0, [](const Args &a) { return Pelnik_GetGrayOffsetG2(a.handle, a.ints); }},
    {"SetGrayOffsetB", 0, [](const Args &a) { return Pelnik_SetGrayOffsetB(a.handle, a.value); }},
    {"GetGrayOffsetB", 0, [](const Args &a) { return Pelnik_GetGrayOffsetB(a.handle, a.ints); }},
    {"SetSamplingRate", 0, [](const Args &a) { return Pelnik_SetSamplingRate(a.handle, a.value); }},
    {"SetHalfClock", 0, [](const Args &a) { return Pelnik_SetHalfClock(a.handle, a.value); }},
    {"GetHalfClock", 0, [](const Args &a) { return Pelnik_GetHalfClock(a.handle, a.ints); }},
    {"SetCrossbar", 0, [](const Args &a) { return Pelnik_SetCrossbar(a.handle, a.value); }},
    {"Fps", 0, [](const Args &a) { return Pelnik_Fps(a.handle); }},
    {"Fpga_ReadRegister", 0,
     [](const Args &a) { return Pelnik_Fpga_ReadRegister(a.handle, a.value, a.ints); }},
    {"Fpga_WriteRegister", 0,
     [](const Args &a) { return Pelnik_Fpga_WriteRegister(a.handle, a.value, a.value); }},
    {"GetSamplingRate", 0, [](const Args &a) { return Pelnik_GetSamplingRate(a.handle, a.ints); }},
    {"GetVideoFormat", 0, [](const Args &a) { return Pelnik_GetVideoFormat(a.handle, a.ints); }},
    {"SetConfigFilter", 0, [](const Args &a) { return Pelnik_SetConfigFilter(a.handle, a.value); }},
    {"GetConfigFilter", 0, [](const Args &a) { return Pelnik_GetConfigFilter(a.handle); }},
};

// Releasing the live handle while other calls run on it is the one thing the
// application must never do; it gets only the other handles.
bool mayTakeLiveHandle(const Export &e) { return std::string(e.name) != "Release"; }

const char *const kTexts[] = {nullptr, "", "/nonexistent-pelnik-directory/picture"};
const PelnikChar16 *const kWideTexts[] = {nullptr, u"", u"/nonexistent-pelnik-directory/picture"};

class HostileArguments : public CameraTest {
 protected:
  void SetUp() override {
    // No preview window may open on whatever display the test runs beside.
    unsetenv("DISPLAY");
    CameraTest::SetUp();
    released_ = Pelnik_Initialize(0);
    ASSERT_NE(released_, 0);
    ASSERT_EQ(Pelnik_Release(released_), 1);
  }
  int released_ = 0;
};

TEST_F(HostileArguments, EveryExportFromFourThreadsAtOnce) {
  const int handles[] = {handle_, released_, 0, -1, INT_MIN, INT_MAX};
  std::mutex failuresLock;
  std::vector<std::string> failures;
  auto fail = [&](const std::string &what) {
    std::lock_guard<std::mutex> guard(failuresLock);
    if (failures.size() < 20) failures.push_back(what);
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      std::vector<unsigned char> scratch(kScratchBytes);
      std::vector<int> ints(kScratchInts);
      // A camera opened with a hostile owner window, alive during the run.
      const int own = Pelnik_Initialize(kHostileValues[t]);
      if (own == 0) fail("Initialize");
      if (Pelnik_GetDllVersion() != 28181791) fail("GetDllVersion");

      struct Call {
        const Export *e;
        int value, handle, variant;
      };
      std::vector<Call> calls;
      for (const Export &e : kExports)
        for (int v = 0; v < 6; ++v)
          for (int h : handles) {
            // The live camera gets two values per thread, every value
            // across the four: its calls are the slow ones.
            if (h == handle_ && (!mayTakeLiveHandle(e) || (v != t && v != t + 2))) continue;
            calls.push_back({&e, kHostileValues[v], h, (v + t) % 3});
          }
      std::shuffle(calls.begin(), calls.end(), std::mt19937(static_cast<unsigned>(t)));

      for (const Call &c : calls) {
        Args a;
        a.handle = c.handle;
        a.value = c.value;
        std::fill(ints.begin(), ints.end(), c.value);
        a.ints = c.variant == 0 ? nullptr : ints.data();
        a.memory = c.variant == 0 ? nullptr : scratch.data();
        a.text = kTexts[c.variant];
        a.wideText = kWideTexts[c.variant];
        const int result = c.e->call(a);
        if (c.handle != handle_ && result != c.e->notFound)
          fail(std::string(c.e->name) + " answered " + std::to_string(result) + " for handle " +
               std::to_string(c.handle));
      }
      for (int value : kHostileValues) {
        PelnikMsg message{};
        if (PelnikMsg_Get(value, t % 2 ? &message : nullptr, 0) != -1) fail("PelnikMsg_Get");
        if (PelnikMsg_Fd(value) != -1) fail("PelnikMsg_Fd");
        if (PelnikMsg_DestroyWindow(value) != 0) fail("PelnikMsg_DestroyWindow");
      }
      if (own != 0 && Pelnik_Release(own) != 1) fail("Release of its own camera");
    });
  for (auto &thread : threads) thread.join();
  for (const std::string &failure : failures) ADD_FAILURE() << failure;

  // Every failure was reported with a code of the table.
  for (int code : popErrors(handle_))
    EXPECT_TRUE((code >= 1 && code <= 9) || code == 11 || code == 12 || code == 13) << code;
  // The camera still works as a whole.
  EXPECT_EQ(Pelnik_Close(handle_), 1);
  ASSERT_EQ(Pelnik_SetDeviceNumber(handle_, 0), 1);
  ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 1280, 1024, 0, 1024), 1);
  ASSERT_EQ(Pelnik_SetSubSample(handle_, 0), 1);
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  std::vector<unsigned char> picture(1280 * 1024);
  EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), static_cast<int>(picture.size()), 1), 1)
      << ::testing::PrintToString(popErrors(handle_));
}

}  // namespace
