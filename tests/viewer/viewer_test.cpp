// pelnik-viewer run as a user runs it, on an Xvfb of the test's own and an
// embedded virtual camera, driven with xdotool and read back with XGetImage.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/display/display_test.h"
#include "support/display/x_session.h"
#include "support/test_environment.h"
#include "viewer/viewer_process.h"

namespace pelnik::test {
namespace {

constexpr int kPreviewWidth = 640;
constexpr int kPreviewHeight = 512;

int red(std::uint32_t p) { return static_cast<int>(p >> 16 & 0xFF); }
int green(std::uint32_t p) { return static_cast<int>(p >> 8 & 0xFF); }
int blue(std::uint32_t p) { return static_cast<int>(p & 0xFF); }

class Viewer : public DisplayTest {
 protected:
  void SetUp() override {
    startServer(1024, 768);
    outputDir_ = isolationRoot() + "/out";
    std::filesystem::create_directories(outputDir_);
    viewer_ = std::make_unique<ViewerProcess>(outputDir_);
    ASSERT_TRUE(viewer_->started());
  }
  void TearDown() override {
    viewer_.reset();
    DisplayTest::TearDown();
  }
  // The viewer's preview: the SDK's child window inside the viewer's window.
  Window findPreview(Window top) {
    Window found = 0;
    waitUntil([&] {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      if (XQueryTree(display_, top, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i)
          if (facts(children[i]).name == "ActiveMovie Window") found = children[i];
        if (children) XFree(children);
      }
      return found != 0;
    });
    return found;
  }
  // The test chart, seen through the preview at half its size: a red patch,
  // the white patch, the grey ramp dark to bright from left to right.
  static bool showsTheChart(const std::vector<std::uint32_t> &p) {
    if (p.size() != static_cast<std::size_t>(kPreviewWidth) * kPreviewHeight) return false;
    auto at = [&](int x, int y) { return p[static_cast<std::size_t>(y) * kPreviewWidth + x]; };
    const std::uint32_t redPatch = at(180, 180), whitePatch = at(52, 244);
    const std::uint32_t rampLeft = at(30, 320), rampRight = at(605, 320);
    return red(redPatch) > green(redPatch) + 40 && red(redPatch) > blue(redPatch) + 40 &&
           green(whitePatch) > 180 && green(rampLeft) < 60 && green(rampRight) > 180;
  }

  std::unique_ptr<ViewerProcess> viewer_;
  std::string outputDir_;
};

TEST_F(Viewer, ShowsTheMovingCameraPictureSnapsRecordsAndExitsWhenClosed) {
  const std::string ids =
      runCommand({"xdotool", "search", "--sync", "--onlyvisible", "--name", "Pelnik Viewer"})
          .output;
  ASSERT_FALSE(ids.empty()) << "the viewer's window did not appear";
  const Window top = std::stoul(ids);
  const Window preview = findPreview(top);
  ASSERT_NE(preview, 0u) << "no preview inside the viewer's window";
  const WindowFacts f = facts(preview);
  EXPECT_EQ(f.width, kPreviewWidth);
  EXPECT_EQ(f.height, kPreviewHeight);

  // A loaded sanitizer build takes well over the default wait to open the
  // camera, paint its first pictures and encode a PNG.
  constexpr int kPictureWaitMs = 30000;
  std::vector<std::uint32_t> first, second;
  ASSERT_TRUE(waitUntil(
      [&] {
        first = readWindowPixels(preview, kPreviewWidth, kPreviewHeight);
        return showsTheChart(first);
      },
      kPictureWaitMs))
      << "the preview does not show the camera's picture";
  ASSERT_TRUE(waitUntil(
      [&] {
        second = readWindowPixels(preview, kPreviewWidth, kPreviewHeight);
        return showsTheChart(second) && second != first;
      },
      kPictureWaitMs))
      << "the preview does not follow the moving scene";

  xdotool({"key", "--window", std::to_string(top), "s"});
  EXPECT_TRUE(waitUntil(
      [&] {
        for (const auto &entry : std::filesystem::directory_iterator(outputDir_))
          if (entry.path().extension() == ".png" && entry.file_size() > 1000) return true;
        return false;
      },
      kPictureWaitMs))
      << "the snapshot key saved no picture";

  // A recording started and stopped with the key leaves a finished movie.
  // Stopped once the file holds more than six full frames, however slow a
  // sanitizer build records.
  constexpr std::uintmax_t kSixFrames = 6ull * 1280 * 1024 * 3;
  const auto movieHolds = [&](std::uintmax_t bytes) {
    for (const auto &entry : std::filesystem::directory_iterator(outputDir_))
      if (entry.path().extension() == ".avi" && entry.file_size() > bytes) return true;
    return false;
  };
  xdotool({"key", "--window", std::to_string(top), "r"});
  EXPECT_TRUE(waitUntil([&] { return movieHolds(kSixFrames); }, 20000))
      << "the record key made no movie";
  xdotool({"key", "--window", std::to_string(top), "r"});
  std::string movie;
  for (const auto &entry : std::filesystem::directory_iterator(outputDir_))
    if (entry.path().extension() == ".avi") movie = entry.path().string();
  // The stop key is handled on the viewer's own time; the movie counts its
  // frames once the stop has finished it.
  std::string probe;
  EXPECT_TRUE(waitUntil(
      [&] {
        probe = runCommand({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                            "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", movie})
                    .output;
        return std::atoi(probe.c_str()) > 5;
      },
      10000))
      << "ffprobe: " << probe;

  closeLikeWindowManager(top);
  int status = -1;
  const bool exited = waitUntil([&] { return viewer_->exited(status); }, 20000);
  ASSERT_TRUE(exited) << "the viewer did not exit when its window was closed";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
}  // namespace pelnik::test
