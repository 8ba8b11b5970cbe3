// Still-image names in UTF-16 become UTF-8 paths on Linux, the system's
// narrow names (Windows converts with the ANSI code page: tests/api/win32).
#include <gtest/gtest.h>

#include <string>

#include "output/still_image.h"
#include "sample_pictures.h"

namespace {

using namespace pelnik;
using pelnik::test::fileExists;
using pelnik::test::SamplePicture;

TEST(StillImageNames, Utf16NamesBecomeUtf8PathsOrFail) {
  const std::u16string name = u"Aufnahme_\u00e4\u00df_\u65e5\u672c_\U0001F4F7.tif";
  const auto converted = output::stillImageNameFromUtf16(name.c_str());
  ASSERT_TRUE(converted);
  EXPECT_EQ(*converted, "Aufnahme_\xC3\xA4\xC3\x9F_\xE6\x97\xA5\xE6\x9C\xAC_\xF0\x9F\x93\xB7.tif");

  SamplePicture source(8, 4, 8);
  const std::string path = test::scratchDirectory() + "/" + *converted;
  ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillTiff, 10), 1);
  EXPECT_TRUE(fileExists(path));

  const char16_t unpaired[] = {u'a', char16_t(0xD83D), u'b', 0};
  EXPECT_FALSE(output::stillImageNameFromUtf16(unpaired));
  EXPECT_FALSE(output::stillImageNameFromUtf16(nullptr));
  // The name must fit 1023 bytes once converted; each U+00E4 takes two.
  EXPECT_TRUE(output::stillImageNameFromUtf16(std::u16string(1023, u'x').c_str()));
  EXPECT_FALSE(output::stillImageNameFromUtf16(std::u16string(1024, u'x').c_str()));
  EXPECT_FALSE(output::stillImageNameFromUtf16(std::u16string(512, u'\u00e4').c_str()));
}

}  // namespace
