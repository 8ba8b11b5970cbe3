// Dialogs opened and closed many times while the acquisition thread runs
// the auto iris and the white balance on every frame and tells the open
// dialog about it; and two threads asking for dialogs at once. Meant for
// the sanitizer builds as much as for the plain one.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "api/exports_camera_support.h"
#include "support/display/x_session.h"

namespace pelnik::test {
namespace {

constexpr int kCycles = 100;
constexpr int kWaitMs = 20000;

struct Button {
  int x;
  int y;
};
constexpr Button kAnalogCancel{302, 444};
constexpr Button kImageCancel{312, 579};
constexpr Button kCameraCancel{272, 414};

// Waits for the dialog window and clicks the button, in one xdotool run;
// bounded, so a dialog that never comes is reported rather than waited for.
bool clickWhenShown(Button button) {
  return runCommand({"timeout", "60", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                     "^Property$", "mousemove", "--window", "%1", std::to_string(button.x),
                     std::to_string(button.y), "click", "1"})
             .status == 0;
}

bool eventuallyGone(unsigned long window) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!windowMapped(window)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

class DialogStress : public CameraTest {
 protected:
  void SetUp() override {
    useLanguage("C");
    ASSERT_TRUE(xvfb_.ok()) << xvfb_.error();
    CameraTest::SetUp();
  }

  // Streaming with the white balance measuring every frame and the auto
  // iris stepping the exposure (or the gain).
  void startAutomatics(int autoIrisMode) {
    ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
    ASSERT_EQ(Pelnik_SetBayerGainAuto(handle_, 1), 1);
    ASSERT_EQ(Pelnik_SetAutoIris(handle_, autoIrisMode), 1);
    buffer_.resize(1280 * 1024 * 4);
    ASSERT_EQ(Pelnik_CallBackPreview(handle_, frames_.window(), buffer_.data(),
                                     static_cast<int>(buffer_.size()), 0),
              1);
    ASSERT_TRUE(frames_.next(10000));
  }

  // Opens the dialog kCycles times on its own thread and cancels each.
  void cycle(const std::function<int()> &open, Button cancel) {
    std::atomic<int> done{0};
    std::atomic<int> failures{0};
    std::thread dialogs([&] {
      for (int i = 0; i < kCycles; ++i) {
        if (open() != 1) ++failures;
        ++done;
      }
    });
    for (int i = 0; i < kCycles; ++i) {
      if (!clickWhenShown(cancel)) {
        ADD_FAILURE() << "dialog " << i << " did not appear";
        break;
      }
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
      while (done.load() <= i && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ASSERT_GT(done.load(), i) << "dialog " << i << " did not close";
    }
    dialogs.join();
    EXPECT_EQ(done.load(), kCycles);
    EXPECT_EQ(failures.load(), 0);
    // Frames still flow and the camera still answers.
    frames_.drain();
    EXPECT_TRUE(frames_.next(10000));
    EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  }

  XvfbServer xvfb_;
  MessageTarget frames_;
  std::vector<unsigned char> buffer_;
};

TEST_F(DialogStress, AnalogDialogOpensAndClosesWhileTheAutoIrisRuns) {
  startAutomatics(1);
  cycle([&] { return Pelnik_SetAnalogDlg(handle_, 0); }, kAnalogCancel);
  ASSERT_EQ(Pelnik_SetAutoIris(handle_, 0), 1);
}

TEST_F(DialogStress, AnalogDialogOpensAndClosesWhileTheAutoGainRuns) {
  startAutomatics(2);
  cycle([&] { return Pelnik_SetAnalogDlg(handle_, 0); }, kAnalogCancel);
}

TEST_F(DialogStress, ImageDialogOpensAndClosesWhileTheWhiteBalanceRuns) {
  startAutomatics(1);
  cycle([&] { return Pelnik_SetImageDlg(handle_, 0); }, kImageCancel);
}

TEST_F(DialogStress, CameraDialogOpensAndClosesWhileStreaming) {
  startAutomatics(1);
  cycle([&] { return Pelnik_SetCameraDlg(handle_, 0); }, kCameraCancel);
}

// Two threads ask at once: one dialog is shown, the other waits for it.
TEST_F(DialogStress, TwoThreadsOpeningDialogsTakeTurns) {
  startAutomatics(2);
  std::atomic<int> analog{-1};
  std::atomic<int> image{-1};
  std::thread first([&] { analog = Pelnik_SetAnalogDlg(handle_, 0); });
  std::thread second([&] { image = Pelnik_SetImageDlg(handle_, 0); });
  for (int closed = 0; closed < 2; ++closed) {
    const auto shown = waitForWindow("^Property$", kWaitMs);
    ASSERT_TRUE(shown);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const CommandResult visible =
        runCommand({"xdotool", "search", "--onlyvisible", "--name", "^Property$"});
    EXPECT_EQ(std::count(visible.output.begin(), visible.output.end(), '\n'), 1)
        << "more than one dialog at a time";
    const auto geometry = windowGeometry(*shown);
    ASSERT_TRUE(geometry);
    // The analog and image dialogs differ in height; close whichever it is.
    const Button cancel = geometry->height == 470 ? kAnalogCancel : kImageCancel;
    ASSERT_TRUE(clickAt(*shown, cancel.x, cancel.y));
    EXPECT_TRUE(eventuallyGone(*shown));
  }
  first.join();
  second.join();
  EXPECT_EQ(analog.load(), 1);
  EXPECT_EQ(image.load(), 1);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

}  // namespace
}  // namespace pelnik::test
