// The X11 preview window under an Xvfb of the test's own: what reaches the
// screen (read back with XGetImage), the window's geometry and names, and
// how it survives a vanished parent, the window manager and the server.
#include "preview/x11/x11_preview.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <regex>
#include <thread>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "support/display/display_test.h"
#include "support/picture_generator.h"

namespace pelnik::test {
namespace {

using Path = PreviewPainter::Path;

PreviewPicture pictureOf(const CImageBuffer &buffer) {
  return {{buffer.Pixels(), buffer.Stride(), buffer.Height()},
          buffer.Width(),
          buffer.Height(),
          buffer.BitCount()};
}

std::uint32_t rgb(int r, int g, int b) {
  return static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
         static_cast<std::uint32_t>(b);
}

// What the window must show of an 8 or 24-bit picture at its own size.
std::vector<std::uint32_t> screenOf(const CImageBuffer &b) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const int c0 = sampleAt(b, x, y, 0);
      out.push_back(b.BitCount() == 8 ? rgb(c0, c0, c0)
                                      : rgb(sampleAt(b, x, y, 2), sampleAt(b, x, y, 1), c0));
    }
  return out;
}

class PreviewWindowTest : public DisplayTest {
 protected:
  // Paints until the window shows `expected` (the first frames go to making
  // the window's image); the last read-back.
  std::vector<std::uint32_t> paintUntil(X11Preview &preview, const PreviewPicture &picture,
                                        const std::vector<std::uint32_t> &expected, int width,
                                        int height) {
    std::vector<std::uint32_t> shown;
    waitUntil([&] {
      preview.paint(picture);
      preview.present();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      shown = readWindowPixels(preview.windowId(), width, height);
      return shown == expected;
    });
    return shown;
  }
  void waitForSize(X11Preview &preview, int width, int height) {
    ASSERT_TRUE(waitUntil([&] {
      const WindowFacts f = facts(preview.windowId());
      return f.width == width && f.height == height;
    }));
  }
};

class BothImageKinds : public PreviewWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BothImageKinds, ColourPictureIsUprightOneToOneAndScaledWhenOnePixelWider) {
  X11Preview preview(this, GetParam());
  ASSERT_EQ(preview.open({0, 0, 0, 64, 48}, {64, 48}), PreviewSurface::OpenResult::Shown);
  CImageBuffer picture;
  ASSERT_EQ(picture.Create(64, 48, 24), 1);
  // Top half red, bottom half blue, with random detail in every pixel.
  fillRandomSamples(picture, 7, 255);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      std::uint8_t *p = picture.Pixels() + y * picture.Stride() + x * 3;
      p[y < 24 ? 2 : 0] = 255;
    }
  const auto shown = paintUntil(preview, pictureOf(picture), screenOf(picture), 64, 48);
  ASSERT_EQ(shown, screenOf(picture)) << "the 1:1 picture is not shown pixel for pixel";
  EXPECT_EQ(preview.lastPath(), Path::OneToOne);
  EXPECT_EQ(shown[0] >> 16, 255u) << "row 0 of the window must be the top (red) line";

  XResizeWindow(display_, preview.windowId(), 65, 48);
  XSync(display_, False);
  waitForSize(preview, 65, 48);
  // The scaled picture as the kernel makes it, then turned upright.
  CImageBuffer scaled, upright;
  ASSERT_EQ(scaled.Create(65, 48, 24), 1);
  ASSERT_EQ(upright.Create(65, 48, 24), 1);
  KernelRect d{0, 0, 65, 48}, s{0, 0, 64, 48};
  reference::scale24(scaled.Pixels(), picture.Pixels(), &d, &s, 65, 48, 64, 48, 3, 3,
                     scaled.Stride(), picture.Stride(), 0, 0);
  for (int y = 0; y < 48; ++y)
    std::memcpy(upright.Pixels() + y * upright.Stride(),
                scaled.Pixels() + (47 - y) * scaled.Stride(), 65 * 3);
  const auto shownScaled = paintUntil(preview, pictureOf(picture), screenOf(upright), 65, 48);
  ASSERT_EQ(shownScaled, screenOf(upright));
  EXPECT_EQ(preview.lastPath(), Path::Scaled);
  EXPECT_EQ(shownScaled[0] >> 16, 255u) << "the scaled picture is upside down";
  EXPECT_EQ(shownScaled[47 * 65] & 0xFF, 255u);
  EXPECT_EQ(preview.sharedMemory(), GetParam()) << "a local server takes shared memory";
}

TEST_F(PreviewWindowTest, TenBitPicturesAlwaysGoThroughTheDisplayBuffer) {
  X11Preview preview(this);
  ASSERT_EQ(preview.open({0, 0, 0, 40, 30}, {40, 30}), PreviewSurface::OpenResult::Shown);
  CImageBuffer picture, grey;
  ASSERT_EQ(picture.Create(40, 30, 16), 1);
  ASSERT_EQ(grey.Create(40, 30, 8), 1);
  fillSamples(picture, [](int x, int y, int) { return (x * 25 + y * 7) % 1024; });
  fillSamples(grey, [](int x, int y, int) { return ((x * 25 + y * 7) % 1024) >> 2; });
  const auto shown = paintUntil(preview, pictureOf(picture), screenOf(grey), 40, 30);
  EXPECT_EQ(shown, screenOf(grey));
  EXPECT_EQ(preview.lastPath(), Path::Scaled);
}

TEST_F(PreviewWindowTest, EachColourModeShowsItsReduction) {
  struct Case {
    int bits;
    int maximum;
  };
  for (const Case c : {Case{8, 255}, Case{32, 255}, Case{48, 1023}, Case{64, 1023}}) {
    SCOPED_TRACE("picture of " + std::to_string(c.bits) + " bits");
    X11Preview preview(this);
    ASSERT_EQ(preview.open({0, 0, 0, 36, 20}, {36, 20}), PreviewSurface::OpenResult::Shown);
    CImageBuffer picture, expected;
    ASSERT_EQ(picture.Create(36, 20, c.bits), 1);
    fillRandomSamples(picture, static_cast<std::uint32_t>(c.bits), c.maximum);
    const bool grey = c.bits == 8;
    ASSERT_EQ(expected.Create(36, 20, grey ? 8 : 24), 1);
    fillSamples(expected, [&](int x, int y, int channel) {
      const int v = sampleAt(picture, x, y, channel);
      return c.maximum == 1023 ? v >> 2 : v;
    });
    const auto shown = paintUntil(preview, pictureOf(picture), screenOf(expected), 36, 20);
    EXPECT_EQ(shown, screenOf(expected));
    EXPECT_EQ(preview.lastPath(), Path::OneToOne);
  }
}

TEST_F(PreviewWindowTest, ChildWindowTakesTheRectanglesLastValuesAsItsSize) {
  const Window parent = makeParent(400, 300);
  X11Preview preview(this);
  ASSERT_EQ(preview.open({static_cast<int>(parent), 10, 10, 330, 250}, {1280, 1024}),
            PreviewSurface::OpenResult::Shown);
  const WindowFacts f = facts(preview.windowId());
  EXPECT_EQ(f.parent, parent);
  EXPECT_EQ(f.x, 10);
  EXPECT_EQ(f.y, 10);
  EXPECT_EQ(f.width, 330);
  EXPECT_EQ(f.height, 250);
  EXPECT_EQ(f.name, "ActiveMovie Window");
  EXPECT_TRUE(std::regex_match(f.resClass, std::regex("VideoRenderer_[0-9a-f]{8}_[0-9a-f]{8}")))
      << f.resClass;
  EXPECT_EQ(f.resName, f.resClass);
  EXPECT_EQ(f.resClass, preview.className());
  char owner[16];
  std::snprintf(owner, sizeof owner, "%08x",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&preview)));
  X11Preview other(&preview);
  ASSERT_EQ(other.open({static_cast<int>(parent), 0, 0, 20, 20}, {}),
            PreviewSurface::OpenResult::Shown);
  EXPECT_EQ(other.className().substr(14, 8), owner) << "the class name carries the owner";
}

TEST_F(PreviewWindowTest, TopLevelWindowIsCentredAndNamed) {
  X11Preview preview(this);
  ASSERT_EQ(preview.open({0, 0, 0, 1280, 1024}, {640, 512}), PreviewSurface::OpenResult::Shown);
  const WindowFacts f = facts(preview.windowId());
  EXPECT_EQ(f.parent, DefaultRootWindow(display_));
  EXPECT_EQ(f.width, 640);
  EXPECT_EQ(f.height, 512);
  EXPECT_EQ(f.x, (1280 - 640) / 2);
  EXPECT_EQ(f.y, (1024 - 512) / 2);
  EXPECT_EQ(f.name, "Active Window");
  EXPECT_TRUE(std::regex_match(f.resClass, std::regex("VideoRenderer_[0-9a-f]{8}_[0-9a-f]{8}")));
}

class NarrowScreenTest : public PreviewWindowTest {
 protected:
  void SetUp() override { startServer(600, 800); }
};

TEST_F(NarrowScreenTest, TopLevelWindowWiderThanTheScreenStartsAtZero) {
  X11Preview preview(this);
  ASSERT_EQ(preview.open({0, 0, 0, 1280, 1024}, {640, 512}), PreviewSurface::OpenResult::Shown);
  const WindowFacts f = facts(preview.windowId());
  EXPECT_EQ(f.x, 0);
  EXPECT_EQ(f.y, (800 - 512) / 2);
  EXPECT_EQ(f.width, 640);
}

TEST_F(PreviewWindowTest, UnusableParentFailsAndNoPlacementFails) {
  X11Preview preview(this);
  EXPECT_EQ(preview.open({0x7ffffff, 0, 0, 100, 100}, {}), PreviewSurface::OpenResult::Failed);
  EXPECT_FALSE(preview.isOpen());
  const Window gone = makeParent(50, 50);
  XDestroyWindow(display_, gone);
  XSync(display_, False);
  EXPECT_EQ(preview.open({static_cast<int>(gone), 0, 0, 100, 100}, {}),
            PreviewSurface::OpenResult::Failed);
  EXPECT_EQ(preview.open({0, 0, 0, 0, 0}, {64, 48}), PreviewSurface::OpenResult::Failed);
  // The test's own connection still works: our error handler took the errors.
  EXPECT_NE(makeParent(10, 10), 0u);
}

TEST_F(PreviewWindowTest, WithoutADisplayOnlyAnExplicitParentFails) {
  XCloseDisplay(display_);
  display_ = nullptr;
  server_.reset();
  X11Preview preview(this);
  EXPECT_EQ(preview.open({0, 0, 0, 64, 48}, {64, 48}), PreviewSurface::OpenResult::Skipped);
  EXPECT_EQ(preview.open({1234, 0, 0, 64, 48}, {64, 48}), PreviewSurface::OpenResult::Failed);
  EXPECT_FALSE(preview.isOpen());
}

int g_applicationErrors = 0;
int applicationHandler(Display *, XErrorEvent *) {
  ++g_applicationErrors;
  return 0;
}

TEST_F(PreviewWindowTest, ErrorsOfOtherConnectionsGoToTheHandlerInstalledBefore) {
  XSetErrorHandler(applicationHandler);
  X11Preview preview(this);
  ASSERT_EQ(preview.open({0, 0, 0, 64, 48}, {64, 48}), PreviewSurface::OpenResult::Shown);
  // An error of the preview's own connection stays with the preview.
  EXPECT_EQ(preview.open({0x7ffffff, 0, 0, 10, 10}, {}), PreviewSurface::OpenResult::Failed);
  EXPECT_EQ(g_applicationErrors, 0);
  ASSERT_EQ(preview.open({0, 0, 0, 64, 48}, {64, 48}), PreviewSurface::OpenResult::Shown);
  // The application's errors reach the application's handler.
  XDestroyWindow(display_, 0x7ffffff);
  XSync(display_, False);
  EXPECT_EQ(g_applicationErrors, 1);
  preview.close();
  // With the last preview gone the application's handler is installed again.
  EXPECT_EQ(XSetErrorHandler(nullptr), applicationHandler);
}

// Paints a picture from a thread of its own, as the acquisition does.
class Painter {
 public:
  Painter(X11Preview &preview, const PreviewPicture &picture)
      : thread_([this, &preview, picture] {
          while (!stop_) {
            const auto start = std::chrono::steady_clock::now();
            preview.paint(picture);
            preview.present();
            const auto took = std::chrono::steady_clock::now() - start;
            longest_ = std::max<long long>(
                longest_, std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
            ++frames_;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }) {}
  ~Painter() { stop(); }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long frames() const { return frames_; }
  long long longestMs() const { return longest_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> frames_{0};
  std::atomic<long long> longest_{0};
  std::thread thread_;
};

TEST_F(PreviewWindowTest, ParentDestroyedWhilePaintingStopsThePaintingOnly) {
  const Window parent = makeParent(200, 100);
  X11Preview preview(this);
  ASSERT_EQ(preview.open({static_cast<int>(parent), 0, 0, 160, 90}, {160, 90}),
            PreviewSurface::OpenResult::Shown);
  CImageBuffer picture;
  ASSERT_EQ(picture.Create(160, 90, 24), 1);
  fillRandomSamples(picture, 3, 255);
  Painter painter(preview, pictureOf(picture));
  ASSERT_TRUE(waitUntil([&] { return preview.framesPut() > 3; }));
  XDestroyWindow(display_, parent);
  XSync(display_, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::uint64_t put = preview.framesPut();
  const long painted = painter.frames();
  ASSERT_TRUE(waitUntil([&] { return painter.frames() > painted + 20; }));
  EXPECT_EQ(preview.framesPut(), put) << "frames still go to a destroyed window";
  painter.stop();
  preview.close();
  EXPECT_FALSE(preview.isOpen());
}

TEST_F(PreviewWindowTest, ClosingThroughTheWindowManagerHidesAndAStartShowsAgain) {
  X11Preview preview(this);
  const PreviewPlacement placement{0, 0, 0, 1280, 1024};
  ASSERT_EQ(preview.open(placement, {80, 60}), PreviewSurface::OpenResult::Shown);
  const Window window = preview.windowId();
  CImageBuffer picture;
  ASSERT_EQ(picture.Create(80, 60, 24), 1);
  fillRandomSamples(picture, 5, 255);
  paintUntil(preview, pictureOf(picture), screenOf(picture), 80, 60);

  closeLikeWindowManager(window);
  ASSERT_TRUE(waitUntil([&] { return !facts(window).mapped; })) << "the window was not hidden";
  const std::uint64_t put = preview.framesPut();
  for (int i = 0; i < 20; ++i) {
    preview.paint(pictureOf(picture));
    preview.present();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(preview.framesPut(), put) << "a hidden window is still painted";

  ASSERT_EQ(preview.open(placement, {80, 60}), PreviewSurface::OpenResult::Shown);
  EXPECT_EQ(preview.windowId(), window) << "a start must reuse the window";
  EXPECT_TRUE(waitUntil([&] { return facts(window).mapped; }));
  EXPECT_EQ(topLevelsNamed("Active Window").size(), 1u);
  EXPECT_EQ(paintUntil(preview, pictureOf(picture), screenOf(picture), 80, 60), screenOf(picture));
}

TEST_P(BothImageKinds, AStoppedServerNeverHoldsUpThePainter) {
  X11Preview preview(this, GetParam());
  ASSERT_EQ(preview.open({0, 0, 0, 1280, 1024}, {320, 240}), PreviewSurface::OpenResult::Shown);
  CImageBuffer picture;
  ASSERT_EQ(picture.Create(320, 240, 24), 1);
  fillRandomSamples(picture, 9, 255);
  Painter painter(preview, pictureOf(picture));
  ASSERT_TRUE(waitUntil([&] { return preview.framesPut() > 3; }));
  server_->pause();
  const long painted = painter.frames();
  EXPECT_TRUE(waitUntil([&] { return painter.frames() > painted + 50; }, 3000))
      << "painting stalled on a stopped server";
  EXPECT_LT(painter.longestMs(), 200);
  painter.stop();
  const auto start = std::chrono::steady_clock::now();
  preview.close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  server_->resume();
}

TEST_F(PreviewWindowTest, AKilledServerEndsThePreviewNotTheProcess) {
  X11Preview preview(this);
  ASSERT_EQ(preview.open({0, 0, 0, 1280, 1024}, {320, 240}), PreviewSurface::OpenResult::Shown);
  CImageBuffer picture;
  ASSERT_EQ(picture.Create(320, 240, 24), 1);
  fillRandomSamples(picture, 11, 255);
  Painter painter(preview, pictureOf(picture));
  ASSERT_TRUE(waitUntil([&] { return preview.framesPut() > 3; }));
  XCloseDisplay(display_);
  display_ = nullptr;
  server_->kill();
  const long painted = painter.frames();
  EXPECT_TRUE(waitUntil([&] { return painter.frames() > painted + 50; }, 3000));
  painter.stop();
  preview.close();
  // A new window needs a server again; without one the default placement is skipped.
  unsetenv("DISPLAY");
  EXPECT_EQ(preview.open({0, 0, 0, 1280, 1024}, {320, 240}), PreviewSurface::OpenResult::Skipped);
}

INSTANTIATE_TEST_SUITE_P(Preview, BothImageKinds, ::testing::Values(true, false),
                         [](const auto &param) { return param.param ? "Shared" : "Plain"; });

}  // namespace
}  // namespace pelnik::test
