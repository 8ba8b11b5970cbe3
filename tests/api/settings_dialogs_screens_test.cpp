// What the dialogs show in each language, read back from the X server, and
// what the exports do where no dialog can be shown. With
// PELNIK_DIALOG_SCREENSHOTS set to a directory, the captures are kept there
// as PNG files (the documentation's pictures come from here).
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "api/exports_camera_support.h"
#include "support/display/x_session.h"
#include "support/test_environment.h"

namespace pelnik::test {
namespace {

constexpr int kWaitMs = 15000;
const std::string kTitle = "^Property$";

// Opens a dialog on another thread, captures it, and closes it with Escape.
Screenshot captureDialog(const std::function<int()> &open, const std::string &name,
                         const std::function<void(unsigned long)> &before = {}) {
  std::atomic<int> result{-1};
  std::thread call([&] { result = open(); });
  Screenshot shot;
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  EXPECT_TRUE(dialog) << name << " did not appear";
  if (dialog) {
    if (before) {
      // The window is mapped; let it draw before it is clicked.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      before(*dialog);
    }
    // Let the view finish drawing what the last event changed.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto captured = captureWindow(*dialog);
    EXPECT_TRUE(captured);
    if (captured) shot = *captured;
    if (const char *dir = std::getenv("PELNIK_DIALOG_SCREENSHOTS")) {
      EXPECT_TRUE(savePng(shot, std::string(dir) + "/" + name + ".png"));
    }
    clickAt(*dialog, 5, 5);
    pressKey("Escape");
  }
  call.join();
  EXPECT_EQ(result.load(), 1);
  return shot;
}

class DialogScreens : public CameraTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.ok()) << xvfb_.error();
    CameraTest::SetUp();
  }
  XvfbServer xvfb_;
};

// The same dialog in both languages: same size, other texts. The Japanese
// labels are drawn (a face with the glyphs was found), not left empty.
struct Area {
  int x, y, w, h;
};

void expectBothLanguages(const std::function<int()> &open, const std::string &name,
                         Area cancelCaption,
                         const std::function<void(unsigned long)> &before = {}) {
  useLanguage("C");
  const Screenshot english = captureDialog(open, name + "-en", before);
  // A Japanese language with no generated locale behind it.
  useLanguage("ja_JP.UTF-8");
  const Screenshot japanese = captureDialog(open, name + "-ja", before);
  ASSERT_GT(english.width, 0);
  ASSERT_EQ(english.width, japanese.width);
  ASSERT_EQ(english.height, japanese.height);
  int differing = 0;
  for (std::size_t i = 0; i < english.pixels.size(); ++i)
    if (english.pixels[i] != japanese.pixels[i]) ++differing;
  EXPECT_GT(differing, 500) << "the Japanese dialog looks like the English one";
  // The Cancel button's caption ("キャンセル") is drawn, and not as "Cancel".
  const Area &a = cancelCaption;
  EXPECT_GT(japanese.inkIn(a.x, a.y, a.w, a.h), 40);
  EXPECT_GT(english.inkIn(a.x, a.y, a.w, a.h), 40);
  int captionDiffers = 0;
  for (int y = a.y; y < a.y + a.h; ++y)
    for (int x = a.x; x < a.x + a.w; ++x)
      if (english.at(x, y) != japanese.at(x, y)) ++captionDiffers;
  EXPECT_GT(captionDiffers, 40);
}

TEST_F(DialogScreens, AnalogDialogInEnglishAndJapanese) {
  expectBothLanguages([&] { return Pelnik_SetAnalogDlg(handle_, 0); }, "analog",
                      {262, 436, 80, 16});
}

TEST_F(DialogScreens, ImageDialogInEnglishAndJapanese) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
  expectBothLanguages([&] { return Pelnik_SetImageDlg(handle_, 0); }, "image", {272, 571, 80, 16});
}

TEST_F(DialogScreens, ImageDialogGreyPageOfAMonochromeCamera) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  // The second tab, right of "Image Filter".
  expectBothLanguages([&] { return Pelnik_SetImageDlg(handle_, 0); }, "image-gray",
                      {272, 571, 80, 16}, [](unsigned long dialog) { clickAt(dialog, 130, 22); });
}

TEST_F(DialogScreens, CameraDialogInEnglishAndJapanese) {
  expectBothLanguages([&] { return Pelnik_SetCameraDlg(handle_, 0); }, "camera",
                      {232, 406, 80, 16});
}

// ---- no display ----

class NoDisplay : public CameraTest {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    CameraTest::SetUp();
  }
};

TEST_F(NoDisplay, EachDialogReturnsOneLikeCancelAndPostsNotice4) {
  ASSERT_EQ(Pelnik_SetExposureTime(handle_, 321), 1);
  ASSERT_EQ(Pelnik_SetBrightness(handle_, -12), 1);
  owner_.drain();
  for (auto open : {Pelnik_SetAnalogDlg, Pelnik_SetImageDlg, Pelnik_SetCameraDlg}) {
    EXPECT_EQ(open(handle_, 0), 1);
    EXPECT_EQ(owner_.errorCodes(), std::vector<long>{4});
    EXPECT_EQ(Pelnik_GetLastError(handle_), 0) << "a notice is not recorded";
  }
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 321);
  EXPECT_EQ(Pelnik_GetBrightness(handle_, nullptr), -12);
}

TEST_F(NoDisplay, CameraDialogLeavesStreamingRunning) {
  MessageTarget frames;
  std::vector<unsigned char> buffer(1280 * 1024 * 4);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, frames.window(), buffer.data(),
                                   static_cast<int>(buffer.size()), 0),
            1);
  EXPECT_EQ(Pelnik_SetCameraDlg(handle_, 0), 1);
  frames.drain();
  EXPECT_TRUE(frames.next(10000)) << "streaming did not come back";
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(NoDisplay, AnUnreachableDisplayCountsAsNone) {
  setenv("DISPLAY", ":4093", 1);  // no server there
  EXPECT_EQ(Pelnik_SetAnalogDlg(handle_, 0), 1);
  EXPECT_EQ(owner_.errorCodes(), std::vector<long>{4});
  unsetenv("DISPLAY");
}

// A recording running when the camera dialog opens is finished, not resumed.
TEST_F(NoDisplay, CameraDialogFinishesARunningRecording) {
  const std::string path = isolationRoot() + "/dialog.avi";
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), 600000, 0), 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::error_code ec;
  while (std::filesystem::file_size(path, ec) < (8u << 20) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_GE(std::filesystem::file_size(path, ec), 8u << 20) << "the recording did not run";
  owner_.drain();

  EXPECT_EQ(Pelnik_SetCameraDlg(handle_, 0), 1);
  bool ended = false;
  for (const pelnik::test::TargetMessage &m : owner_.drain())
    if (m.message == PELNIK_WM_RECORD_END)
      ended = m.wParam == static_cast<std::uintptr_t>(PELNIK_RECORD_END_STOPPED);
  EXPECT_TRUE(ended) << "no end of the recording was announced";
  const auto size = std::filesystem::file_size(path, ec);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(std::filesystem::file_size(path, ec), size) << "the recording went on";
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST(DialogExports, UnknownHandlesAnswerZero) {
  EXPECT_EQ(Pelnik_SetAnalogDlg(987654, 0), 0);
  EXPECT_EQ(Pelnik_SetImageDlg(987654, 0), 0);
  EXPECT_EQ(Pelnik_SetCameraDlg(987654, 0), 0);
}

}  // namespace
}  // namespace pelnik::test
