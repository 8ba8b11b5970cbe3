// The store file itself: bad files are never lost, foreign content survives,
// commits are atomic under SIGKILL and serialised between processes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "settings/reg_file_store.h"
#include "settings/setting_groups.h"
#include "store_test_support.h"

namespace {

using namespace pelnik::settings;
using pelnik::test::HelperProcess;
using pelnik::test::parseStore;
using pelnik::test::readFile;
using pelnik::test::storedDword;
using pelnik::test::storePath;
using pelnik::test::writeFile;

const std::string kOursAndForeign =
    "REGEDIT4\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00]\n"
    "\"Size\"=dword:00000000\n"
    "\"Comment\"=\"set up by hand\"\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00\\Gain]\n"
    "\"Exposure\"=dword:00000300\n"
    "\"Extra\"=hex:de,ad\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00\\Gain\\Nested]\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\OtherProduct]\n"
    "\"Key\"=dword:00000007\n";

std::vector<std::string> setAside() {
  return pelnik::platform::SettingsFile(storePath()).setAsideFiles();
}

TEST(StoreFile, ForeignKeysAndValuesSurviveGroupSaves) {
  writeFile(storePath(), kOursAndForeign);
  auto &store = userSettingsStore();
  ASSERT_EQ(saveAnalog(store, 0, AnalogValues{1, 2, 3, 4, 5, 6, 0, 1, 2}), 1);
  ASSERT_EQ(saveFilter(store, 0, FilterRecord{}), 1);
  const std::string text = readFile(storePath());
  for (const char *kept :
       {"\"Comment\"=\"set up by hand\"", "\"Extra\"=hex:de,ad", "\\Gain\\Nested]",
        "[HKEY_CURRENT_USER\\Software\\Tesmor\\OtherProduct]", "\"Key\"=dword:00000007"}) {
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  }
  const RegDocument document = parseStore();
  EXPECT_EQ(storedDword(document, "Camera_00\\Gain", "Exposure"), 6);
  EXPECT_TRUE(setAside().empty());
}

TEST(StoreFile, DesktopExportInUtf16IsReadAndRewrittenAsRegedit4) {
  std::string exported = kOursAndForeign;
  exported.replace(0, 8, "Windows Registry Editor Version 5.00");
  std::string crlf;
  for (const char c : exported) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  writeFile(storePath(), pelnik::test::utf16leWithBom(crlf));
  auto &store = userSettingsStore();
  AnalogValues analog;
  ASSERT_EQ(loadAnalog(store, 0, analog, {}), 1);
  EXPECT_EQ(analog.exposure, 0x300);

  ASSERT_EQ(saveAnalog(store, 0, analog), 1);
  const std::string rewritten = readFile(storePath());
  EXPECT_EQ(rewritten.rfind("REGEDIT4\n", 0), 0u);
  EXPECT_NE(rewritten.find("\"Comment\"=\"set up by hand\""), std::string::npos);
  EXPECT_TRUE(setAside().empty());
}

TEST(StoreFile, BadFilesLoadAsMissingAndAreKeptBeforeASaveReplacesThem) {
  std::mt19937 random(12345);
  std::string binary(4096, '\0');
  for (char &c : binary) c = static_cast<char>(random());
  const std::string truncated =
      kOursAndForeign.substr(0, kOursAndForeign.find("\\OtherProduct]") + 6);
  const std::vector<std::string> badFiles = {
      binary,
      truncated,
      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\n",
      "not a registry file\n",
      std::string("\xFF\xFE\x00\xDC", 4),
      std::string(pelnik::platform::kSettingsFileLimit + 1, 'x')};
  auto &store = userSettingsStore();
  for (std::size_t i = 0; i < badFiles.size(); ++i) {
    SCOPED_TRACE("bad file " + std::to_string(i));
    std::filesystem::remove_all(std::filesystem::path(storePath()).parent_path());
    writeFile(storePath(), badFiles[i]);

    AnalogValues analog{9, 9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(loadAnalog(store, 0, analog, {}), 1);
    EXPECT_EQ(analog, AnalogValues{});
    FilterRecord filter{};
    EXPECT_EQ(loadFilter(store, 0, filter), 0);
    EXPECT_EQ(readFile(storePath()), badFiles[i]) << "a load changed the file";

    // The first-open defaults are a save: the bad file goes aside first.
    SizePreset geometry;
    EXPECT_EQ(loadSizePreset(store, 0, geometry), 0);
    const auto kept = setAside();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readFile(kept.front()), badFiles[i]);
    EXPECT_EQ(storedDword(parseStore(), "Camera_00", "Color"), FormatValues{}.colorMode);

    // Once replaced by a good file, later saves set nothing more aside.
    EXPECT_EQ(saveAnalog(store, 0, AnalogValues{}), 1);
    EXPECT_EQ(setAside().size(), 1u);
  }
}

TEST(StoreFile, FollowsXdgConfigHomeOrElseHomeConfig) {
  const std::string home = std::getenv("HOME");
  const std::string config = std::getenv("XDG_CONFIG_HOME");
  EXPECT_EQ(storePath(), config + "/Tesmor/PelnikR5MLXSdk.reg");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(storePath(), home + "/.config/Tesmor/PelnikR5MLXSdk.reg");
  unsetenv("XDG_CONFIG_HOME");
  ASSERT_EQ(saveAnalog(userSettingsStore(), 1, AnalogValues{}), 1);
  EXPECT_TRUE(std::filesystem::exists(home + "/.config/Tesmor/PelnikR5MLXSdk.reg"));
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
}

TEST(StoreFile, MissingDirectoriesAreMadeForTheUserAlone) {
  const std::string config = std::getenv("XDG_CONFIG_HOME");
  const std::string fresh = config + "/fresh";
  setenv("XDG_CONFIG_HOME", (fresh + "/config").c_str(), 1);
  const mode_t previous = umask(0);
  const int saved = saveAnalog(userSettingsStore(), 0, AnalogValues{});
  umask(previous);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ASSERT_EQ(saved, 1);
  for (const std::string &directory : {fresh, fresh + "/config", fresh + "/config/Tesmor"}) {
    struct stat info {};
    ASSERT_EQ(stat(directory.c_str(), &info), 0) << directory;
    EXPECT_EQ(info.st_mode & 07777, 0700u) << directory;
  }
}

TEST(StoreFile, SettingsSavedInOneProcessLoadInAnother) {
  HelperProcess save({"settings_writer", "save", "4", "-17"});
  ASSERT_TRUE(save.started());
  ASSERT_EQ(save.wait(), 0);
  AnalogValues analog;
  ASSERT_EQ(loadAnalog(userSettingsStore(), 4, analog, {}), 1);
  EXPECT_EQ(analog, (AnalogValues{-17, -17, -17, -17, -17, -17, -17, -17, -17}));

  const AnalogValues mine{3, 3, 3, 3, 3, 3, 3, 3, 3};
  FilterRecord filter;
  filter.fill(3);
  ASSERT_EQ(saveAnalog(userSettingsStore(), 9, mine), 1);
  ASSERT_EQ(saveFilter(userSettingsStore(), 9, filter), 1);
  ASSERT_EQ(saveGray(userSettingsStore(), 9, filter), 1);
  HelperProcess expect({"settings_writer", "expect", "9", "3"});
  EXPECT_EQ(expect.wait(), 0);
  HelperProcess expectWrong({"settings_writer", "expect", "9", "4"});
  EXPECT_EQ(expectWrong.wait(), 1);
}

// Every group written by the helper holds one number in all its values, so a
// torn commit shows as a group of mixed values. Returns the analog group's number.
long long expectWholeGroups(const RegDocument &document, int camera) {
  const std::string cameraKey = cameraKeyName(camera);
  const std::vector<std::pair<std::string, std::vector<const char *>>> groups = {
      {"Gain",
       {"Global", "ColorG1", "ColorR", "ColorB", "ColorG2", "Exposure", "V_Mirror", "H_Mirror",
        "AutoIris"}},
      {"Filter",
       {"Brightness", "Contrast", "Hue", "Saturation", "Sharpness", "R_Gain", "G_Gain", "B_Gain",
        "Gamma", "BayerMode"}},
      {"Gray",
       {"Mode", "GainR1", "GainG1", "GainG2", "GainB1", "OffsetR1", "OffsetG1", "OffsetG2",
        "OffsetB1"}},
  };
  for (const auto &[group, names] : groups) {
    const long long first = storedDword(document, cameraKey + "\\" + group, names.front());
    for (const char *name : names) {
      EXPECT_EQ(storedDword(document, cameraKey + "\\" + group, name), first) << group << name;
    }
  }
  return storedDword(document, cameraKey + "\\Gain", "Global");
}

TEST(StoreFile, SaveKilledAtAnyMomentLeavesTheOldOrTheNewGroups) {
  ASSERT_EQ(saveAnalog(userSettingsStore(), 1, AnalogValues{0, 0, 0, 0, 0, 0, 0, 0, 0}), 1);
  std::mt19937 random(777);
  long long highest = 0;
  for (int round = 0; round < 25; ++round) {
    HelperProcess loop({"settings_writer", "loop", "1"});
    ASSERT_TRUE(loop.started());
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 30000));
    loop.killHard();
    loop.wait();
    const long long seen = expectWholeGroups(parseStore(), 1);
    EXPECT_GE(seen, 0);
    highest = std::max(highest, seen);
  }
  // Kills that all came before the helper's first save (a slow start under a
  // sanitizer) prove nothing: let one helper get going before killing it.
  if (highest == 0) {
    HelperProcess loop({"settings_writer", "loop", "1"});
    ASSERT_TRUE(loop.started());
    for (int wait = 0; wait < 500 && expectWholeGroups(parseStore(), 1) == 0; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    loop.killHard();
    loop.wait();
    highest = expectWholeGroups(parseStore(), 1);
  }
  EXPECT_GT(highest, 0) << "the helper never completed a save";
  EXPECT_TRUE(setAside().empty());
  // Temporaries of killed writers are cleared by the next commit.
  ASSERT_EQ(saveAnalog(userSettingsStore(), 1, AnalogValues{}), 1);
  for (const auto &entry :
       std::filesystem::directory_iterator(std::filesystem::path(storePath()).parent_path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
  }
}

TEST(StoreFile, TwoProcessesSavingDifferentCamerasLoseNothing) {
  constexpr int kSaves = 60;
  HelperProcess a({"settings_writer", "count", "3", std::to_string(kSaves)});
  HelperProcess b({"settings_writer", "count", "4", std::to_string(kSaves)});
  ASSERT_TRUE(a.started() && b.started());
  // This process saves a third camera meanwhile.
  for (int v = 1; v <= kSaves; ++v) {
    ASSERT_EQ(saveAnalog(userSettingsStore(), 5, AnalogValues{v, v, v, v, v, v, v, v, v}), 1);
  }
  EXPECT_EQ(a.wait(), 0);
  EXPECT_EQ(b.wait(), 0);
  HelperProcess checkA({"settings_writer", "expect", "3", std::to_string(kSaves)});
  HelperProcess checkB({"settings_writer", "expect", "4", std::to_string(kSaves)});
  EXPECT_EQ(checkA.wait(), 0);
  EXPECT_EQ(checkB.wait(), 0);
  AnalogValues mine;
  ASSERT_EQ(loadAnalog(userSettingsStore(), 5, mine, {}), 1);
  EXPECT_EQ(mine.exposure, kSaves);
}

}  // namespace
