// The preview window through the public header, against the embedded
// virtual camera and an Xvfb of the test's own: what a user sees, and that
// nothing done to the window or the server stops acquisition or the process.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "exports_camera_support.h"
#include "support/display/display_test.h"
#include "virtcam/scene.h"

namespace pelnik::test {
namespace {

constexpr int kWindowError = 4;

// A scene without moving parts: every frame is the same picture.
std::shared_ptr<const virtcam::Scene> stillScene() {
  virtcam::ScenePicture picture(1280, 1024);
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1280; ++x)
      picture.set(x, y, static_cast<std::uint16_t>(x * 3), static_cast<std::uint16_t>(y * 4 % 4096),
                  static_cast<std::uint16_t>(y < 120 ? 4000 : 300));
  return virtcam::makeStillScene(std::move(picture));
}

class PreviewExports : public CameraTest {
 protected:
  void SetUp() override {
    server_ = std::make_unique<XvfbServer>(screenWidth_, screenHeight_);
    ASSERT_TRUE(server_->ok()) << server_->error();
    display_ = XOpenDisplay(server_->display().c_str());
    ASSERT_NE(display_, nullptr);
    CameraSetup setup;
    setup.sensorTiming = false;
    setup.maxFrameRate = 200;
    setup.scene = scene_;
    startCameras(setup);
    handle_ = openCamera();
    ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  }
  void TearDown() override {
    CameraTest::TearDown();
    if (display_) XCloseDisplay(display_);
  }
  // Small frames, so that even a sanitizer build delivers many a second.
  void smallFrames() {
    ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 320, 1024, 0, 240), 1);
  }
  // Frame messages that arrive within `ms`.
  int framesWithin(int ms) {
    int frames = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      const auto m = callback_.next(20);
      if (m && m->message == kFrameMessage && m->wParam != 0) ++frames;
    }
    return frames;
  }
  bool firstFrame() {
    for (int i = 0; i < 200; ++i) {
      const auto m = callback_.next(50);
      if (m && m->message == kFrameMessage && m->wParam != 0) return true;
    }
    return false;
  }
  Window makeParent(int width, int height) {
    Window w =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0,
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
    XMapWindow(display_, w);
    XSync(display_, False);
    return w;
  }
  Window onlyChild(Window parent) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    Window child = 0;
    XSync(display_, False);
    if (XQueryTree(display_, parent, &root, &up, &children, &count) && count == 1)
      child = children[0];
    if (children) XFree(children);
    return child;
  }
  std::vector<Window> activeWindows() {
    std::vector<Window> found;
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    XSync(display_, False);
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &up, &children, &count)) {
      for (unsigned i = 0; i < count; ++i) {
        char *name = nullptr;
        if (XFetchName(display_, children[i], &name) && name) {
          if (std::string(name) == "Active Window") found.push_back(children[i]);
          XFree(name);
        }
      }
    }
    if (children) XFree(children);
    return found;
  }
  bool mapped(Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(display_, w, &a) && a.map_state != IsUnmapped;
  }

  int screenWidth_ = 1280;
  int screenHeight_ = 1024;
  std::shared_ptr<const virtcam::Scene> scene_ = virtcam::makeTestChart();
  std::unique_ptr<XvfbServer> server_;
  Display *display_ = nullptr;
  MessageTarget callback_;
};

class StillPreview : public PreviewExports {
 protected:
  void SetUp() override {
    scene_ = stillScene();
    PreviewExports::SetUp();
  }
};

// The still scene's picture at 320 x 240 in colour 24, in a child window of
// exactly that size.
class StillPreviewOneToOne : public StillPreview {
 protected:
  void SetUp() override {
    StillPreview::SetUp();
    ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 320, 1024, 0, 240), 1);
    ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
    parent_ = makeParent(400, 300);
    ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, static_cast<int>(parent_), 0, 0, 320, 240), 1);
  }
  // The window shows what Pelnik_GetImage returns, upright, pixel for pixel;
  // `next` is run between read-backs (to trigger another picture).
  void expectWindowShowsThePicture(const std::function<void()> &next = [] {}) {
    const Window child = onlyChild(parent_);
    ASSERT_NE(child, 0u);
    const int stride = (320 * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(stride) * 240);
    ASSERT_EQ(Pelnik_GetImage(handle_, picture.data(), static_cast<int>(picture.size()), 1), 1);
    std::vector<std::uint32_t> expected;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) {
        const std::uint8_t *p = picture.data() + y * stride + x * 3;
        expected.push_back(static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]);
      }
    // Every frame is the same picture but for the frame stamp at the start of
    // the first and last rows, which the comparison leaves out.
    auto stamped = [](int x, int y) { return x < 16 && (y < 4 || y >= 236); };
    auto sameOutsideStamps = [&](const std::vector<std::uint32_t> &a) {
      if (a.size() != expected.size()) return false;
      for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
          if (!stamped(x, y) && a[y * 320 + x] != expected[y * 320 + x]) return false;
      return true;
    };
    std::vector<std::uint32_t> shown;
    EXPECT_TRUE(waitUntil([&] {
      next();
      shown = readWindowPixels(child, 320, 240);
      return sameOutsideStamps(shown);
    })) << "the window does not show the camera's picture";
    // The scene is blue in its top rows: so must the window's top rows be.
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_GT(shown[10 * 320 + 10] & 0xFF, shown[230 * 320 + 10] & 0xFF);
  }

  Window parent_ = 0;
};

TEST_F(StillPreviewOneToOne, StreamShowsThePictureUprightPixelForPixel) {
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(firstFrame());
  expectWindowShowsThePicture();
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(StillPreviewOneToOne, TriggeredPicturesArePaintedToo) {
  ASSERT_EQ(Pelnik_Trigger(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(waitUntil([&] {
    unit().trigger();
    return callback_.next(100).has_value();
  }));
  expectWindowShowsThePicture([&] { unit().trigger(); });
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(PreviewExports, ExplicitParentThatIsNoWindowIsErrorFourAndStartsNothing) {
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, 0x7ffffff, 10, 10, 330, 250), 1);
  EXPECT_EQ(Pelnik_Preview(handle_), 0);
  const auto errors = popErrors(handle_);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), kWindowError);
  EXPECT_EQ(Pelnik_Capture(handle_), 1) << "a refused preview left acquisition running";
}

TEST_F(PreviewExports, WithoutADisplayTheDefaultPlacementRunsAndAParentIsErrorFour) {
  XCloseDisplay(display_);
  display_ = nullptr;
  server_.reset();
  unsetenv("DISPLAY");
  ASSERT_EQ(Pelnik_Preview(handle_), 1);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, 1234, 0, 0, 100, 100), 1);
  EXPECT_EQ(Pelnik_Preview(handle_), 0);
  EXPECT_EQ(popErrors(handle_).back(), kWindowError);
}

class NarrowScreen : public PreviewExports {
 protected:
  void SetUp() override {
    screenWidth_ = 600;
    screenHeight_ = 800;
    PreviewExports::SetUp();
  }
};

TEST_F(NarrowScreen, TopLevelForSubsampleOneHalvesTheImageAndStartsAtZero) {
  ASSERT_EQ(Pelnik_SetSubSample(handle_, 1), 1);
  ASSERT_EQ(Pelnik_Preview(handle_), 1);
  const auto windows = activeWindows();
  ASSERT_EQ(windows.size(), 1u);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(display_, windows[0], &a));
  EXPECT_EQ(a.width, 640);
  EXPECT_EQ(a.height, 512);
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, (800 - 512) / 2);
  EXPECT_EQ(Pelnik_Close(handle_), 1);
  EXPECT_TRUE(activeWindows().empty()) << "Pelnik_Close left its window";
}

TEST_F(PreviewExports, ParentDestroyedWhilePaintingLeavesAcquisitionRunning) {
  smallFrames();
  const Window parent = makeParent(400, 300);
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, static_cast<int>(parent), 0, 0, 400, 300), 1);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(firstFrame());
  XDestroyWindow(display_, parent);
  XSync(display_, False);
  EXPECT_GT(framesWithin(1000), 5) << "frames stopped with the window";
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_EQ(Pelnik_Close(handle_), 1);
}

TEST_F(PreviewExports, WindowClosedByTheUserIsHiddenAndShownByTheNextStart) {
  smallFrames();
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(firstFrame());
  auto windows = activeWindows();
  ASSERT_EQ(windows.size(), 1u);
  const Window window = windows[0];
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  XSendEvent(display_, window, False, NoEventMask, &e);
  XSync(display_, False);
  EXPECT_TRUE(waitUntil([&] { return !mapped(window); }));
  EXPECT_GT(framesWithin(1000), 3) << "acquisition stopped with the window";
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  ASSERT_EQ(Pelnik_Preview(handle_), 1);
  EXPECT_TRUE(waitUntil([&] { return mapped(window); })) << "the next start did not show it";
  EXPECT_EQ(activeWindows(), std::vector<Window>{window}) << "a start made a second window";
  EXPECT_EQ(Pelnik_Close(handle_), 1);
}

TEST_F(PreviewExports, StoppedServerNeitherStopsFramesNorHoldsUpStop) {
  smallFrames();
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(firstFrame());
  server_->pause();
  EXPECT_GT(framesWithin(1000), 5) << "frames stopped with the server";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Pelnik_Close(handle_), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  server_->resume();
}

TEST_F(PreviewExports, KilledServerNeitherStopsFramesNorEndsTheProcess) {
  smallFrames();
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(firstFrame());
  XCloseDisplay(display_);
  display_ = nullptr;
  server_->kill();
  EXPECT_GT(framesWithin(1000), 5) << "frames stopped with the server";
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_EQ(Pelnik_Close(handle_), 1);
}

// Pelnik_Close while frames are painted, on each paint path in turn.
class CloseWhilePainting : public PreviewExports, public ::testing::WithParamInterface<int> {};

TEST_P(CloseWhilePainting, TwoHundredTimes) {
  ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 160, 1024, 0, 120), 1);
  const Window parent = makeParent(300, 200);
  // Width 160 is the image's (1:1); 161 goes through the display buffer.
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, static_cast<int>(parent), 0, 0, GetParam(), 120), 1);
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1) << i;
    ASSERT_TRUE(firstFrame()) << i;
    ASSERT_EQ(Pelnik_Close(handle_), 1);
    callback_.drain();
  }
  EXPECT_EQ(onlyChild(parent), 0u) << "a closed preview left its window";
}

INSTANTIATE_TEST_SUITE_P(Paths, CloseWhilePainting, ::testing::Values(160, 161),
                         [](const auto &param) {
                           return param.param == 160 ? "OneToOne" : "Scaled";
                         });

}  // namespace
}  // namespace pelnik::test
