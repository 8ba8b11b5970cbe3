// Configuration files: whole 8-byte records replace the list; any failure
// leaves the list as it was.
#include "device/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_convert.h"
#include "support/test_environment.h"

namespace {

using pelnik::device::ConfigLoadResult;
using pelnik::device::ConfigRecord;
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

std::uint32_t le32(const std::vector<unsigned char> &b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

TEST(ConfigFile, WholeRecordsReplaceTheListAndTrailingBytesAreIgnored) {
  ConfigurationList list;
  const auto twenty = countingBytes(20);
  ASSERT_EQ(list.load(fileOf("twenty.bin", twenty).c_str()), ConfigLoadResult::Loaded);
  EXPECT_EQ(list.records(), (std::vector<ConfigRecord>{{le32(twenty, 0), le32(twenty, 4)},
                                                       {le32(twenty, 8), le32(twenty, 12)}}));

  ASSERT_EQ(list.load(fileOf("24.bin", countingBytes(24)).c_str()), ConfigLoadResult::Loaded);
  EXPECT_EQ(list.size(), 3u);
  ASSERT_EQ(list.load(fileOf("16.bin", countingBytes(16)).c_str()), ConfigLoadResult::Loaded);
  EXPECT_EQ(list.size(), 2u);

  ASSERT_EQ(list.load(fileOf("empty.bin", {}).c_str()), ConfigLoadResult::Loaded);
  EXPECT_EQ(list.size(), 0u);
}

TEST(ConfigFile, FailedLoadsLeaveTheListAsItWas) {
  ConfigurationList list;
  ASSERT_EQ(list.load(fileOf("24.bin", countingBytes(24)).c_str()), ConfigLoadResult::Loaded);
  const auto before = list.records();

  const std::string root = pelnik::test::isolationRoot();
  const std::string tooLarge = root + "/huge.bin";
  std::ofstream(tooLarge).close();
  std::filesystem::resize_file(tooLarge, ConfigurationList::kMaxFileBytes + 8);  // sparse
  for (const std::string &path :
       {root + "/missing.bin", root, tooLarge, std::string("/dev/zero")}) {
    EXPECT_EQ(list.load(path.c_str()), ConfigLoadResult::FileFailed) << path;
    EXPECT_EQ(list.records(), before) << path;
  }
  EXPECT_EQ(list.load(nullptr), ConfigLoadResult::FileFailed);
  EXPECT_EQ(list.records(), before);
}

TEST(ConfigFile, ConcurrentLoadsLeaveOneFileWhole) {
  ConfigurationList list;
  const std::string small = fileOf("small.bin", countingBytes(16));
  const std::string large = fileOf("large.bin", countingBytes(8000));
  std::thread a([&] {
    for (int i = 0; i < 200; ++i) list.load(small.c_str());
  });
  std::thread b([&] {
    for (int i = 0; i < 200; ++i) list.load(large.c_str());
  });
  for (int i = 0; i < 200; ++i) {
    const std::size_t n = list.records().size();
    EXPECT_TRUE(n == 0 || n == 2 || n == 1000) << n;
  }
  a.join();
  b.join();
}

}  // namespace
