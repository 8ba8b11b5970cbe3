// The SDK's GDI preview window under Wine: its class, titles, styles and
// geometry, what every colour mode puts on the screen (read back with
// XGetImage and compared with what the portable painter makes of
// Pelnik_GetImage's picture), a parent destroyed and a window closed while
// painting, and Pelnik_Close while painting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "preview/preview_painter.h"
#include "wine_session.h"

namespace pelnik::test {
namespace {

using Path = PreviewPainter::Path;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

// The pixel layout of a 24-bit Xvfb screen as XGetImage hands it back.
const WindowPixelFormat kScreenFormat{32, 0xFF0000u, 0xFF00u, 0xFFu, false};

std::string at(const Report &r, const std::string &key) {
  const auto it = r.find(key);
  return it == r.end() ? std::string() : it->second;
}

// Screenshots for the documentation when PELNIK_SCREENSHOT_DIR names a folder.
void keepScreenshot(const std::string &name, int x, int y, int width, int height) {
  const char *dir = std::getenv("PELNIK_SCREENSHOT_DIR");
  if (!dir) return;
  const auto shot = captureScreen(x, y, width, height);
  ASSERT_TRUE(shot);
  EXPECT_TRUE(savePng(*shot, std::string(dir) + "/" + name));
}

// A mismatch's screen and expectation as PNGs, when PELNIK_SCREENSHOT_DIR is set.
void keepMismatch(int n, const Screenshot &shot, const std::vector<std::uint32_t> &expected) {
  const char *dir = std::getenv("PELNIK_SCREENSHOT_DIR");
  if (!dir) return;
  Screenshot wanted = shot;
  for (std::size_t i = 0; i < expected.size(); ++i) wanted.pixels[i] = expected[i] & 0xFFFFFFu;
  savePng(shot, std::string(dir) + "/mismatch-" + std::to_string(n) + "-shown.png");
  savePng(wanted, std::string(dir) + "/mismatch-" + std::to_string(n) + "-expected.png");
}

class WinePreview : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(missingWineTools(), "");
    ASSERT_TRUE(server_.ok()) << server_.error();
  }
  XvfbServer server_{kScreenWidth, kScreenHeight};
};

TEST_F(WinePreview, EveryColourModeIsShownAsThePainterDrawsGetImagesPicture) {
  WineProgram program("preview_probe", {"modes"});
  ASSERT_TRUE(program.started()) << program.error();
  const std::regex className("^VideoRenderer_[0-9a-f]{8}_[0-9a-f]{8}$");
  int oneToOne = 0, scaled = 0;
  for (int n = 0; n < 20; ++n) {
    const auto report = program.waitForReport("case-" + std::to_string(n), 60000);
    ASSERT_TRUE(report) << "case " << n << " never came; exit "
                        << program.waitForExit(0).value_or(-1);
    const std::string layout = at(*report, "layout");
    const int mode = reportInt(*report, "mode");
    SCOPED_TRACE("colour mode " + std::to_string(mode) + ", " + layout);
    const int width = reportInt(*report, "width");
    const int height = reportInt(*report, "height");
    const int clientWidth = reportInt(*report, "clientWidth");
    const int clientHeight = reportInt(*report, "clientHeight");
    EXPECT_TRUE(std::regex_match(at(*report, "class"), className)) << at(*report, "class");
    if (layout == "top" || layout == "half") {
      EXPECT_EQ(at(*report, "title"), "Active Window");
      EXPECT_EQ(at(*report, "style"), "0x16CF0000");
      EXPECT_EQ(at(*report, "parentIsHost"), "0");
      // The client area is the picture's size: the sensor's, halved by
      // subsample 1.
      const int divisor = layout == "half" ? 2 : 1;
      EXPECT_EQ(clientWidth, reportInt(*report, "fullWidth") / divisor);
      EXPECT_EQ(clientHeight, reportInt(*report, "fullHeight") / divisor);
      EXPECT_EQ(clientWidth, width);
      EXPECT_EQ(clientHeight, height);
      // Centred on the screen.
      EXPECT_EQ(reportInt(*report, "outerLeft"),
                std::max(0, (kScreenWidth - reportInt(*report, "outerWidth")) / 2));
      EXPECT_EQ(reportInt(*report, "outerTop"),
                std::max(0, (kScreenHeight - reportInt(*report, "outerHeight")) / 2));
    } else {
      EXPECT_EQ(at(*report, "title"), "ActiveMovie Window");
      EXPECT_EQ(at(*report, "style"), "0x52000000");
      EXPECT_EQ(at(*report, "id"), "6540");
      EXPECT_EQ(at(*report, "parentIsHost"), "1");
      // The placement's last two values are the size.
      EXPECT_EQ(clientWidth, width + (layout == "wide" ? 1 : 0));
      EXPECT_EQ(clientHeight, height);
    }

    const std::vector<unsigned char> picture =
        program.readFile("case-" + std::to_string(n) + ".raw");
    const int stride = reportInt(*report, "stride");
    ASSERT_EQ(picture.size(), static_cast<std::size_t>(stride) * height);
    PreviewPainter painter;
    ASSERT_TRUE(painter.choosePicture(
        {{picture.data(), stride, height}, width, height, reportInt(*report, "bits")}));
    const Path path = painter.pathFor(clientWidth, clientHeight);
    const bool exact = layout != "wide" && mode != 10;
    EXPECT_EQ(path, exact ? Path::OneToOne : Path::Scaled);
    (path == Path::OneToOne ? oneToOne : scaled)++;
    std::vector<std::uint32_t> expected(static_cast<std::size_t>(clientWidth) * clientHeight);
    ASSERT_TRUE(painter.draw(path, reinterpret_cast<std::uint8_t *>(expected.data()), clientWidth,
                             clientHeight, clientWidth * 4, kScreenFormat));
    const auto shot =
        captureScreen(reportInt(*report, "x"), reportInt(*report, "y"), clientWidth, clientHeight);
    ASSERT_TRUE(shot);
    int wrong = 0, firstWrong = -1;
    for (std::size_t i = 0; i < expected.size(); ++i)
      if ((expected[i] & 0xFFFFFFu) != shot->pixels[i]) {
        if (firstWrong < 0) firstWrong = static_cast<int>(i);
        ++wrong;
      }
    if (wrong != 0) keepMismatch(n, *shot, expected);
    EXPECT_EQ(wrong, 0) << "first at (" << firstWrong % clientWidth << ", "
                        << firstWrong / clientWidth << ")";
    if (mode == 24 && layout == "top")
      keepScreenshot("wine-preview-toplevel.png", reportInt(*report, "x"), reportInt(*report, "y"),
                     clientWidth, clientHeight);
    if (mode == 24 && layout == "wide")
      keepScreenshot("wine-preview-child.png", reportInt(*report, "x") - 10,
                     reportInt(*report, "y") - 10, 700, 520);
    program.signal("go-" + std::to_string(n));
  }
  EXPECT_EQ(oneToOne, 12);
  EXPECT_EQ(scaled, 8);
  EXPECT_EQ(program.waitForExit(30000), 0);
}

TEST_F(WinePreview, AVanishedParentOrAClosedWindowEndsOnlyThePainting) {
  WineProgram program("preview_probe", {"vanish"});
  ASSERT_TRUE(program.started()) << program.error();
  const auto parent = program.waitForReport("parent-gone", 60000);
  ASSERT_TRUE(parent) << "exit " << program.waitForExit(0).value_or(-1);
  EXPECT_EQ(at(*parent, "childFound"), "1");
  EXPECT_EQ(at(*parent, "childGone"), "1");
  // Frames reach the application after its window went away, and the stop
  // succeeds without an error.
  EXPECT_EQ(at(*parent, "framesAfter"), "1");
  EXPECT_EQ(at(*parent, "stop"), "1");
  EXPECT_EQ(at(*parent, "error"), "0");

  const auto shown = program.waitForReport("top-shown", 30000);
  ASSERT_TRUE(shown);
  const auto window = waitForWindow("^Active Window$", 10000);
  ASSERT_TRUE(window);
  // The user closes the window as any other: focus and alt+F4.
  ASSERT_TRUE(xdotool({"windowfocus", "--sync", std::to_string(*window)}));
  ASSERT_TRUE(pressKey("alt+F4"));
  const auto closed = program.waitForReport("top-closed", 60000);
  ASSERT_TRUE(closed) << "exit " << program.waitForExit(0).value_or(-1);
  EXPECT_EQ(at(*closed, "gone"), "1");
  EXPECT_EQ(at(*closed, "framesAfter"), "1");
  // A later start shows a window again; Pelnik_Close takes it away.
  EXPECT_EQ(at(*closed, "restarted"), "1");
  EXPECT_EQ(at(*closed, "shownAgain"), "1");
  EXPECT_EQ(at(*closed, "close"), "1");
  EXPECT_EQ(at(*closed, "goneAfterClose"), "1");
  EXPECT_EQ(program.waitForExit(30000), 0);
}

TEST_F(WinePreview, CloseWhilePaintingTwoHundredTimes) {
  WineProgram program("preview_probe", {"close", "200"});
  ASSERT_TRUE(program.started()) << program.error();
  const auto report = program.waitForReport("closed", 240000);
  ASSERT_TRUE(report) << "exit " << program.waitForExit(0).value_or(-1);
  EXPECT_EQ(at(*report, "rounds"), "200");
  EXPECT_EQ(at(*report, "whilePainting"), "200");
  EXPECT_EQ(at(*report, "failures"), "0");
  EXPECT_EQ(at(*report, "leftBehind"), "0");
  EXPECT_EQ(at(*report, "hostAlive"), "1");
  std::printf("200 closes while painting: %s ms (starts %s, first frames %s, closes %s)\n",
              at(*report, "ms").c_str(), at(*report, "startMs").c_str(),
              at(*report, "firstFrameMs").c_str(), at(*report, "closeMs").c_str());
  EXPECT_EQ(program.waitForExit(30000), 0);
}

}  // namespace
}  // namespace pelnik::test
