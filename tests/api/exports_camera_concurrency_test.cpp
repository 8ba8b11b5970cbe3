// Two cameras streaming while application threads change settings, read
// values, swap the callback buffer and copy the picture. Meant for the
// thread sanitizer; without it the test still checks that every call keeps
// answering and every frame arrives whole.
#include <atomic>
#include <thread>
#include <vector>

#include "exports_camera_support.h"

namespace {

using pelnik::test::CameraSetup;
using pelnik::test::CameraTest;
using pelnik::test::MessageTarget;
using pelnik::test::TargetMessage;

class Concurrency : public CameraTest {
 protected:
  void SetUp() override {
    CameraSetup setup;
    setup.cameras = {0, 1};
    startCameras(setup);
    first_ = openCamera();
    second_ = openCamera();
    ASSERT_EQ(Pelnik_SetDeviceNumber(second_, 1), 1);
    // Frames only: no preview windows.
    for (int h : {first_, second_})
      ASSERT_EQ(Pelnik_SetPreviewWindow(h, PelnikWindow{}, 0, 0, 0, 0), 1);
  }
  int first_ = 0;
  int second_ = 0;
};

TEST_F(Concurrency, SettingsAndReadsWhileTwoCamerasStream) {
  constexpr int kBytes = 3840 * 1024;  // colour 24, full frame
  MessageTarget callbacks[2];
  std::vector<unsigned char> buffers[2][2] = {
      {std::vector<unsigned char>(kBytes), std::vector<unsigned char>(kBytes)},
      {std::vector<unsigned char>(kBytes), std::vector<unsigned char>(kBytes)}};
  const int handles[2] = {first_, second_};
  for (int c = 0; c < 2; ++c) {
    ASSERT_EQ(Pelnik_SetColorMode(handles[c], 24), 1);
    ASSERT_EQ(Pelnik_SetWaitTime(handles[c], 0), 1);
    ASSERT_EQ(
        Pelnik_CallBackPreview(handles[c], callbacks[c].window(), buffers[c][0].data(), kBytes, 1),
        1);
  }

  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < 2; ++c) {
    const int h = handles[c];
    threads.emplace_back([&, h] {  // settings the chain reads per frame
      for (int i = 0; !stop; ++i) {
        Pelnik_SetGamma(h, 80 + i % 40);
        Pelnik_SetBrightness(h, i % 50 - 25);
        Pelnik_SetBayerGainRGB(h, 100 | (100 + i % 20) << 8 | 100 << 16);
        Pelnik_SetSharpness(h, i % 3);
        Pelnik_SetWaitTime(h, i % 2);
        Pelnik_SetColorMode(h, (i % 2) ? 24 : 32);  // applies at the next prepare only
      }
    });
    threads.emplace_back([&, h] {  // readers
      while (!stop) {
        int flag = 0;
        Pelnik_GetGamma(h, &flag);
        if (flag != 1) ++failures;
        Pelnik_GetBayerGainRGB(h, nullptr);
        Pelnik_GetColorMode(h);
        Pelnik_Width(h);
        Pelnik_GetExposureTime(h, nullptr);
        Pelnik_GetRealExposureTime(h, nullptr);
      }
    });
    threads.emplace_back([&, h, c] {  // pictures and buffer swaps
      std::vector<unsigned char> copy(kBytes);
      for (int i = 0; !stop; ++i) {
        if (!Pelnik_GetImage(h, copy.data(), kBytes, i % 2)) ++failures;
        Pelnik_CallBackPreview(h, callbacks[c].window(), buffers[c][i % 2].data(), kBytes, 1);
      }
    });
  }

  // Five frames each, however slow a sanitizer makes them.
  int frames[2] = {0, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline && (frames[0] < 5 || frames[1] < 5)) {
    for (int c = 0; c < 2; ++c) {
      for (const TargetMessage &m : callbacks[c].drain())
        if (m.message == PELNIK_WM_FRAME && m.wParam != 0) ++frames[c];
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  stop = true;
  for (auto &thread : threads) thread.join();
  for (int c = 0; c < 2; ++c) EXPECT_EQ(Pelnik_StopPreview(handles[c]), 1);

  EXPECT_EQ(failures, 0);
  EXPECT_GE(frames[0], 5);
  EXPECT_GE(frames[1], 5);
  for (int c = 0; c < 2; ++c)
    EXPECT_EQ(pelnik::test::popErrors(handles[c]), std::vector<int>{}) << "camera " << c;
}

TEST_F(Concurrency, PictureReadsWhileSnapshotsRecreateTheBuffers) {
  // Every snapshot outside capture mode prepares again, re-creating the
  // buffers of the colour mode; readers on other threads must never see
  // them half-made or freed.
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    std::vector<unsigned char> copy(8 * 1280 * 1024);
    while (!stop) Pelnik_GetImage(first_, copy.data(), static_cast<int>(copy.size()), 1);
  });
  const int depths[] = {8, 64, 24, 16};
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(Pelnik_SetColorMode(first_, depths[i % 4]), 1);
    EXPECT_EQ(Pelnik_SnapShot(first_, nullptr, 0, 1), 1);
  }
  stop = true;
  reader.join();
  EXPECT_EQ(pelnik::test::popErrors(first_), std::vector<int>{});
}

}  // namespace
