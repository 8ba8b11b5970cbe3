// Configuration files named in UTF-16: on Linux the system's narrow names are
// UTF-8, so every character converts (Windows uses the ANSI code page,
// tested through LoadConfigFileW in tests/api/win32).
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "device/config_file.h"
#include "platform/text_convert.h"
#include "support/test_environment.h"

namespace {

using pelnik::device::ConfigLoadResult;
using pelnik::device::ConfigurationList;

std::string fileOf(const std::string &name, const std::vector<unsigned char> &bytes) {
  const std::string path = pelnik::test::isolationRoot() + "/" + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<unsigned char> countingBytes(std::size_t n) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
  return bytes;
}

TEST(ConfigFile, WidePathsConvertOrFailAsAPathError) {
  ConfigurationList list;
  const std::string path = fileOf("\xE3\x82\xAB\xF0\x9F\x98\x80.bin", countingBytes(8));
  const auto wide = pelnik::platform::utf8ToUtf16(path);
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(list.loadWide(wide->c_str()), ConfigLoadResult::Loaded);
  EXPECT_EQ(list.size(), 1u);

  // 1023 bytes plus the terminator no longer fit; 1022 do (and fail only as a file).
  const std::u16string longest(ConfigurationList::kWidePathLimit - 2, u'a');
  EXPECT_EQ(list.loadWide((u"/" + longest.substr(1)).c_str()), ConfigLoadResult::FileFailed);
  EXPECT_EQ(list.loadWide((u"/" + longest).c_str()), ConfigLoadResult::PathFailed);
  // Three UTF-8 bytes per character: 341 of them make 1023 bytes.
  EXPECT_EQ(list.loadWide(std::u16string(341, u'\u30ab').c_str()), ConfigLoadResult::PathFailed);
  const std::u16string unpaired = u"/tmp/" + std::u16string(1, char16_t(0xD800));
  EXPECT_EQ(list.loadWide(unpaired.c_str()), ConfigLoadResult::PathFailed);
  EXPECT_EQ(list.loadWide(nullptr), ConfigLoadResult::PathFailed);
  EXPECT_EQ(list.size(), 1u);
}

}  // namespace
