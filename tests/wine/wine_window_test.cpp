// The Wine window harness itself: a Windows program's client area, found
// through its report, is read back from the screen as the program drew it.
#include <gtest/gtest.h>

#include <cstdint>

#include "wine_session.h"

namespace pelnik::test {
namespace {

TEST(WineWindows, ClientAreaReadBackIsWhatTheProgramDrew) {
  ASSERT_EQ(missingWineTools(), "");
  XvfbServer server(800, 600);
  ASSERT_TRUE(server.ok()) << server.error();
  WineProgram program("paint_probe");
  ASSERT_TRUE(program.started()) << program.error();
  const auto shown = program.waitForReport("shown", 60000);
  ASSERT_TRUE(shown) << "the program never showed its window";
  ASSERT_TRUE(waitForWindow("^Pelnik Wine Probe$", 5000));
  const int width = reportInt(*shown, "width");
  const int height = reportInt(*shown, "height");
  ASSERT_EQ(width, 160);
  ASSERT_EQ(height, 120);
  const auto shot = captureScreen(reportInt(*shown, "x"), reportInt(*shown, "y"), width, height);
  ASSERT_TRUE(shot);
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t r = static_cast<std::uint32_t>(x * 255 / (width - 1));
      const std::uint32_t g = static_cast<std::uint32_t>(y * 255 / (height - 1));
      const std::uint32_t b = ((x / 8 + y / 8) % 2) ? 0xC0u : 0x20u;
      if (shot->at(x, y) != (r << 16 | g << 8 | b)) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  program.signal("done");
  EXPECT_EQ(program.waitForExit(20000), 0);
}

}  // namespace
}  // namespace pelnik::test
