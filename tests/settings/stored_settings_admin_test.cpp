// Printing and resetting one camera's stored settings by hand.
#include "settings/stored_settings_admin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/settings_store.h"

namespace {

namespace fs = std::filesystem;
using pelnik::settings::describeStoredSettings;
using pelnik::settings::resetStoredSettings;

const char *kStore =
    "REGEDIT4\n\n"
    "[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=dword:00000001\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00]\n\"Color\"=dword:00000002\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00\\Gain]\n"
    "\"Exposure\"=dword:00000200\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_001]\n\"Color\"=dword:"
    "00000001\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_01\\Gain]\n"
    "\"Exposure\"=dword:00000064\n";

std::string storePath() { return pelnik::platform::SettingsFile::userStorePath(); }

void writeStore(const std::string &text) {
  fs::create_directories(fs::path(storePath()).parent_path());
  std::ofstream(storePath(), std::ios::binary) << text;
}

std::string readStore() {
  std::ifstream in(storePath(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(StoredSettingsAdmin, DescribesOnlyTheCamerasOwnKeys) {
  writeStore(kStore);
  const auto report = describeStoredSettings(0);
  EXPECT_TRUE(report.fileExists);
  EXPECT_FALSE(report.malformed);
  ASSERT_EQ(report.lines.size(), 2u);
  EXPECT_EQ(report.lines[0], "Camera_00  Color = 2");
  EXPECT_EQ(report.lines[1], "Camera_00\\Gain  Exposure = 512");
  EXPECT_TRUE(describeStoredSettings(5).lines.empty());
}

TEST(StoredSettingsAdmin, ResetRemovesTheCameraAndKeepsEverythingElse) {
  writeStore(kStore);
  std::string error;
  ASSERT_TRUE(resetStoredSettings(0, error)) << error;
  const std::string after = readStore();
  EXPECT_EQ(after.find("Camera_00]"), std::string::npos);
  EXPECT_EQ(after.find("Camera_00\\Gain"), std::string::npos);
  EXPECT_NE(after.find("Camera_001]"), std::string::npos) << "a longer name is another camera";
  EXPECT_NE(after.find("Camera_01\\Gain"), std::string::npos);
  EXPECT_NE(after.find("\"Keep\"=dword:00000001"), std::string::npos);
  EXPECT_TRUE(describeStoredSettings(0).lines.empty());
  EXPECT_EQ(describeStoredSettings(1).lines.size(), 1u);
}

TEST(StoredSettingsAdmin, MalformedStoreIsReportedAndKeptAsideByAReset) {
  writeStore("not a registry file\n[broken");
  const auto report = describeStoredSettings(0);
  EXPECT_TRUE(report.malformed);
  EXPECT_FALSE(report.problem.empty());
  std::string error;
  ASSERT_TRUE(resetStoredSettings(0, error)) << error;
  const auto again = describeStoredSettings(0);
  EXPECT_FALSE(again.malformed);
  ASSERT_EQ(again.setAside.size(), 1u);
  std::ifstream kept(again.setAside[0]);
  std::string first;
  std::getline(kept, first);
  EXPECT_EQ(first, "not a registry file");
}

TEST(StoredSettingsAdmin, ResetWithoutAStoreWritesNothing) {
  std::string error;
  EXPECT_TRUE(resetStoredSettings(3, error));
  EXPECT_FALSE(fs::exists(storePath()));
}

}  // namespace
