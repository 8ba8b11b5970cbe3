// The SDK on Windows end to end: the virtual camera's pipe, frames posted to
// an application window with a message loop in every acquisition mode that
// posts, and the W exports' names in and outside the thread's code page.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "support/win32/message_window.h"
#include "virtcam/win32/pipe_server.h"

namespace {

pelnik::virtcam::CameraOptions testCamera() {
  pelnik::virtcam::CameraOptions options;
  options.sensorTiming = false;
  options.maxFrameRate = 100;
  options.triggerPeriodMs = 40;  // triggered acquisition gets a trigger this often
  return options;
}

class WindowsCamera : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ok()) << server_.error();
    ASSERT_TRUE(window_.window());
    handle_ = Pelnik_Initialize(window_.window());
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Pelnik_SetDeviceNumber(handle_, 3), 1) << Pelnik_GetLastError(handle_);
    ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1) << Pelnik_GetLastError(handle_);
    picture_.resize(std::size_t((Pelnik_Width(handle_) + 3) & ~3) * Pelnik_Height(handle_));
    ASSERT_FALSE(picture_.empty());
  }
  void TearDown() override {
    if (handle_) Pelnik_Release(handle_);
  }

  pelnik::virtcam::win32::PipeServer server_{{3}, testCamera()};
  pelnik::test::MessageWindow window_;
  std::vector<unsigned char> picture_;
  int handle_ = 0;
};

TEST_F(WindowsCamera, FramesReachTheWindowInContinuousAndTriggeredAcquisition) {
  // No preview window can be made without a display: a start that wants one
  // fails with the window error instead of running without it.
  EXPECT_EQ(
      Pelnik_CallBackPreview(handle_, window_.window(), picture_.data(), int(picture_.size()), 1),
      0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), PELNIK_ERR_WINDOW);
  // The owner window hears of the error.
  const auto errors = window_.waitFor(PELNIK_WM_ERROR, 1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].lParam, PELNIK_ERR_WINDOW);
  window_.clear();
  // Frames only, no preview window.
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
  ASSERT_EQ(
      Pelnik_CallBackPreview(handle_, window_.window(), picture_.data(), int(picture_.size()), 1),
      1)
      << Pelnik_GetLastError(handle_);
  const auto continuous = window_.waitFor(PELNIK_WM_FRAME, 3);
  Pelnik_StopPreview(handle_);
  ASSERT_GE(continuous.size(), 3u);
  for (const MSG &m : continuous) {
    EXPECT_EQ(m.hwnd, window_.window());
    EXPECT_NE(m.wParam, 0u) << "error " << m.lParam;  // a frame, not the error form
  }
  // The frame was copied into the application's buffer.
  bool anyLight = false;
  for (unsigned char v : picture_) anyLight = anyLight || v != 0;
  EXPECT_TRUE(anyLight);

  window_.clear();
  ASSERT_EQ(Pelnik_Trigger(handle_, window_.window(), picture_.data(), int(picture_.size()), 1), 1)
      << Pelnik_GetLastError(handle_);
  const auto triggered = window_.waitFor(PELNIK_WM_FRAME, 1);
  Pelnik_StopPreview(handle_);
  ASSERT_GE(triggered.size(), 1u);
  EXPECT_NE(triggered[0].wParam, 0u) << "error " << triggered[0].lParam;

  // Capture and snapshot post nothing but fill the buffer.
  window_.clear();
  std::fill(picture_.begin(), picture_.end(), 0);
  ASSERT_EQ(Pelnik_SnapShot(handle_, picture_.data(), int(picture_.size()), 1), 1)
      << Pelnik_GetLastError(handle_);
  anyLight = false;
  for (unsigned char v : picture_) anyLight = anyLight || v != 0;
  EXPECT_TRUE(anyLight);
}

TEST_F(WindowsCamera, WideNamesInsideTheCodePageSaveAndOthersFailWithoutAFile) {
  ASSERT_TRUE(
      ::SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
  ASSERT_EQ(Pelnik_SnapShot(handle_, picture_.data(), int(picture_.size()), 1), 1);
  const wchar_t *inside = L"pelnik-caf\u00E9.bmp";
  ::DeleteFileW(inside);
  ASSERT_EQ(Pelnik_SaveImageW(handle_, inside, 0), 1) << Pelnik_GetLastError(handle_);
  EXPECT_NE(::GetFileAttributesW(inside), INVALID_FILE_ATTRIBUTES);
  ::DeleteFileW(inside);

  // Outside 1252: the save fails with code 1, the recording with code 12,
  // and no file appears under a name with '?' or a look-alike.
  EXPECT_EQ(Pelnik_SaveImageW(handle_, L"pelnik-\u65E5\u672C.bmp", 0), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 1);
  EXPECT_EQ(Pelnik_RecordW(handle_, L"pelnik-\u03A9.avi", 1000, 0), 0);
  EXPECT_EQ(Pelnik_GetLastError(handle_), 12);
  WIN32_FIND_DATAA found{};
  const HANDLE search = ::FindFirstFileA("pelnik-*", &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << found.cFileName;
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
}

}  // namespace
