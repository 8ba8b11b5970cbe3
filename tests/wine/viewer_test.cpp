// pelnik-viewer.exe under Wine: it starts on the virtual camera, shows the
// SDK's preview as a child of its window, Ctrl+S snaps a BMP file and
// Ctrl+R records an AVI file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "support/display/display_test.h"
#include "wine_session.h"

namespace pelnik::test {
namespace {

std::uint32_t le32(const std::vector<unsigned char> &b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Pixels of middle brightness: the camera chart's grey ground and squares,
// which neither the preview window's black ground nor the white menu bar has.
int chartPixels(const Screenshot &shot) {
  int chart = 0;
  for (const unsigned p : shot.pixels) {
    const unsigned g = p >> 8 & 0xFF;
    if (g > 0x30 && g < 0xD0) ++chart;
  }
  return chart;
}

TEST(WineViewer, StartsShowsThePreviewAsAChildSnapsAndRecords) {
  ASSERT_EQ(missingWineTools(), "");
  XvfbServer server(1280, 1024);
  ASSERT_TRUE(server.ok()) << server.error();
  WineProgram viewer("tools/pelnik-viewer.exe", {"--virtual", "--output-dir", "{dir}"});
  ASSERT_TRUE(viewer.started()) << viewer.error();
  const auto window = waitForWindow("^Pelnik Viewer - previewing$", 60000);
  ASSERT_TRUE(window) << "exit " << viewer.waitForExit(0).value_or(-1);
  // The preview child paints the chart inside the viewer's window.
  int chart = 0, area = 0;
  EXPECT_TRUE(waitUntil(
      [&] {
        const auto shot = captureWindow(*window);
        chart = shot ? chartPixels(*shot) : 0;
        area = shot ? shot->width * shot->height : 0;
        return chart > area / 2;
      },
      20000))
      << chart << " of " << area << " pixels show the chart";
  if (const char *dir = std::getenv("PELNIK_SCREENSHOT_DIR")) {
    const auto shot = captureWindow(*window);
    ASSERT_TRUE(shot);
    EXPECT_TRUE(savePng(*shot, std::string(dir) + "/wine-viewer.png"));
  }

  ASSERT_TRUE(xdotool({"windowfocus", "--sync", std::to_string(*window)}));
  ASSERT_TRUE(pressKey("ctrl+s"));
  ASSERT_TRUE(waitForWindow("^Pelnik Viewer - saved snap-0001\\.bmp$", 10000));
  const std::vector<unsigned char> bmp = viewer.readFile("snap-0001.bmp");
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(le32(bmp, 2), bmp.size());
  const auto width = static_cast<int>(le32(bmp, 18));
  const auto height = static_cast<int>(le32(bmp, 22));
  EXPECT_GT(width, 0);
  EXPECT_GT(height, 0);

  // Ctrl+R starts a recording and stops it again; the file is a whole AVI.
  ASSERT_TRUE(pressKey("ctrl+r"));
  ASSERT_TRUE(waitForWindow("^Pelnik Viewer - recording record-0001\\.avi$", 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(pressKey("ctrl+r"));
  ASSERT_TRUE(waitForWindow("^Pelnik Viewer - recorded record-0001\\.avi$", 10000));
  const std::vector<unsigned char> avi = viewer.readFile("record-0001.avi");
  ASSERT_GT(avi.size(), 12u);
  EXPECT_EQ(std::string(avi.begin(), avi.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(avi.begin() + 8, avi.begin() + 12), "AVI ");
  EXPECT_EQ(le32(avi, 4) + 8, avi.size());

  ASSERT_TRUE(pressKey("ctrl+q"));
  EXPECT_EQ(viewer.waitForExit(20000), 0);
}

}  // namespace
}  // namespace pelnik::test
