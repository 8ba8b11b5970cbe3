// pelnik-viewer's Settings menu opens the SDK's dialogs over the viewer's
// window, nested in the viewer's own loop.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/display/display_test.h"
#include "support/display/x_session.h"
#include "support/test_environment.h"
#include "viewer/viewer_process.h"

namespace pelnik::test {
namespace {

class ViewerSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    useLanguage("C");
    ASSERT_TRUE(xvfb_.ok()) << xvfb_.error();
    const std::string out = isolationRoot() + "/out";
    std::filesystem::create_directories(out);
    viewer_ = std::make_unique<ViewerProcess>(out);
    ASSERT_TRUE(viewer_->started());
  }
  bool viewerRunning() { return viewer_->running(); }

  XvfbServer xvfb_;
  std::unique_ptr<ViewerProcess> viewer_;
};

// Opens the Settings menu's entry `index` (0 analog, 1 image, 2 camera
// format): "Settings" lies right of "File" in the menu bar, the entry is
// chosen by keyboard. The dialog's window, or none.
std::optional<unsigned long> openSettingsEntry(unsigned long main, int index) {
  if (!clickOpeningPopup(main, 70, 12)) return std::nullopt;
  for (int i = 0; i <= index; ++i)
    if (!pressKey("Down")) return std::nullopt;
  if (!pressKey("Return")) return std::nullopt;
  return waitForWindow("^Property$", 20000);
}

TEST_F(ViewerSettings, EachMenuEntryOpensItsDialogOverTheViewer) {
  const auto main = waitForWindow("^Pelnik Viewer$", 20000);
  ASSERT_TRUE(main) << "the viewer did not come up";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  struct Entry {
    int index;   // in the Settings menu
    int height;  // tells the dialogs apart
    int cancelX;
    int cancelY;
  };
  for (const Entry &e :
       {Entry{0, 470, 302, 444}, Entry{1, 600, 312, 579}, Entry{2, 440, 272, 414}}) {
    const auto dialog = openSettingsEntry(*main, e.index);
    ASSERT_TRUE(dialog) << "entry " << e.index << " opened no dialog";
    const auto geometry = windowGeometry(*dialog);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->height, e.height) << e.index;
    EXPECT_NE(transientFor(*dialog), 0u) << "not transient for the viewer";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(clickAt(*dialog, e.cancelX, e.cancelY));
    EXPECT_TRUE(waitForWindowGone("^Property$", 20000)) << e.index;
    EXPECT_TRUE(viewerRunning());
  }
}

// The viewer's preview area, where the SDK's child window paints.
constexpr int kPreviewX = 10, kPreviewY = 66, kPreviewW = 640, kPreviewH = 512;

// Pixels of the preview area that are black in `after` but were not in
// `before` (what a hole left by a closed menu looks like), outside the
// rectangle `cover` (window coordinates) that another window hides.
int newlyBlack(const Screenshot &before, const Screenshot &after, const WindowGeometry &cover) {
  int count = 0;
  for (int y = kPreviewY; y < kPreviewY + kPreviewH; ++y)
    for (int x = kPreviewX; x < kPreviewX + kPreviewW; ++x) {
      const bool hidden =
          x >= cover.x && x < cover.x + cover.width && y >= cover.y && y < cover.y + cover.height;
      if (!hidden && after.at(x, y) == 0 && before.at(x, y) != 0) ++count;
    }
  return count;
}

TEST_F(ViewerSettings, AStoppedPreviewRepaintsItsLastPictureWhenAMenuAboveItCloses) {
  const auto main = waitForWindow("^Pelnik Viewer$", 20000);
  ASSERT_TRUE(main) << "the viewer did not come up";
  std::optional<Screenshot> before;
  ASSERT_TRUE(waitUntil(
      [&] {
        before = captureWindow(*main);
        return before && before->inkIn(kPreviewX, kPreviewY, kPreviewW, kPreviewH) >
                             kPreviewW * kPreviewH / 4;
      },
      20000))
      << "the preview never showed a picture";
  // The camera dialog stops the stream while it is open; the Settings menu
  // it was chosen from had covered the top of the preview.
  const auto dialog = openSettingsEntry(*main, 2);
  ASSERT_TRUE(dialog) << "the camera dialog did not open";
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const auto during = captureWindow(*main);
  ASSERT_TRUE(during);
  const auto mainAt = windowGeometry(*main);
  auto cover = windowGeometry(*dialog);
  ASSERT_TRUE(mainAt && cover);
  cover->x -= mainAt->x;
  cover->y -= mainAt->y;
  // The menu dropped below the menu bar from x 60; the dialog leaves its left
  // part in view.
  ASSERT_GT(cover->x, 100) << "the dialog covers where the menu was";
  EXPECT_LT(newlyBlack(*before, *during, *cover), 500);
  ASSERT_TRUE(clickAt(*dialog, 272, 414));
  EXPECT_TRUE(waitForWindowGone("^Property$", 20000));
}

// The viewer's Mode choice, right of its label in the row under the menu bar.
constexpr int kModeX = 265, kModeY = 33, kModeW = 100, kModeH = 25;

std::vector<unsigned> modeChoicePixels(unsigned long window) {
  std::vector<unsigned> pixels;
  const auto shot = captureWindow(window);
  if (!shot) return pixels;
  for (int y = kModeY; y < kModeY + kModeH; ++y)
    for (int x = kModeX; x < kModeX + kModeW; ++x) pixels.push_back(shot->at(x, y));
  return pixels;
}

// Picks an entry of the drop-down list under a point by keyboard: its popup
// opens on the current entry, `steps` moves up (negative) or down. Tab then
// takes the focus on, so the list is drawn without its focus highlight.
bool pickFromList(unsigned long window, int x, int y, int steps) {
  if (!clickOpeningPopup(window, x, y)) return false;
  for (int i = 0; i < (steps < 0 ? -steps : steps); ++i)
    if (!pressKey(steps < 0 ? "Up" : "Down")) return false;
  return pressKey("Return") && waitForNoPopup() && pressKey("Tab");
}

// The Mode choice once the viewer has drawn it (a loaded machine maps the
// window well before it paints): text on it, and the same on two looks.
std::vector<unsigned> drawnModeChoicePixels(unsigned long window) {
  std::vector<unsigned> last;
  std::vector<unsigned> shown;
  waitUntil(
      [&] {
        shown = modeChoicePixels(window);
        const bool drawn = !shown.empty() && std::count(shown.begin(), shown.end(), shown.front()) <
                                                 static_cast<long>(shown.size()) * 9 / 10;
        const bool settled = drawn && shown == last;
        last = shown;
        if (!settled) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return settled;
      },
      20000);
  return shown;
}

// Picks in the viewer's Mode choice and waits until it shows `expected`.
bool pickModeUntilShown(unsigned long main, int steps, const std::vector<unsigned> &expected) {
  if (!pickFromList(main, kModeX + kModeW / 2, kModeY + kModeH / 2, steps)) return false;
  return waitUntil([&] { return modeChoicePixels(main) == expected; }, 10000);
}

TEST_F(ViewerSettings, TheModeChoiceFollowsAColourModeChosenInTheCameraDialog) {
  const auto main = waitForWindow("^Pelnik Viewer$", 20000);
  ASSERT_TRUE(main) << "the viewer did not come up";
  const auto colour24 = drawnModeChoicePixels(*main);
  ASSERT_FALSE(colour24.empty());

  // Camera format dialog: the colour list's first entry (monochrome 8 bit,
  // two above colour 24), then OK.
  const auto dialog = openSettingsEntry(*main, 2);
  ASSERT_TRUE(dialog) << "the camera dialog did not open";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(pickFromList(*dialog, 140, 74, -2));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(clickAt(*dialog, 152, 414));
  ASSERT_TRUE(waitForWindowGone("^Property$", 20000));

  ASSERT_TRUE(waitUntil([&] { return modeChoicePixels(*main) != colour24; }, 5000))
      << "the Mode choice still shows colour 24";
  const std::vector<unsigned> afterDialog = drawnModeChoicePixels(*main);

  // What the choice shows for monochrome 8 when the user picks it there.
  ASSERT_TRUE(pickModeUntilShown(*main, 2, colour24))
      << "picking colour 24 in the choice did not show it";
  EXPECT_TRUE(pickModeUntilShown(*main, -2, afterDialog))
      << "after the dialog the choice did not show monochrome 8";
}

}  // namespace
}  // namespace pelnik::test
