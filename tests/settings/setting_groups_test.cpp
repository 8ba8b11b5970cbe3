// The setting groups over the user's store file: first-open defaults, what a
// missing key or value gives, and which keys each save creates or leaves.
#include "settings/setting_groups.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "settings/reg_file_store.h"
#include "store_test_support.h"

namespace {

using namespace pelnik::settings;
using pelnik::test::fullKey;
using pelnik::test::parseStore;
using pelnik::test::storedDword;
using pelnik::test::storePath;
using pelnik::test::writeFile;

std::string storeWith(const std::string &sections) { return "REGEDIT4\n\n" + sections; }

std::string section(const std::string &belowRoot) { return "[" + fullKey(belowRoot) + "]\n"; }

// Every key of the store below our root, relative to it.
std::set<std::string> keysBelowRoot(const RegDocument &document) {
  std::set<std::string> keys;
  const std::string root = fullKey("");
  for (const auto &[path, key] : document.keys()) {
    if (path.rfind(root, 0) == 0) keys.insert(path.substr(std::min(path.size(), root.size() + 1)));
  }
  return keys;
}

std::set<std::string> valueNames(const RegDocument &document, const std::string &belowRoot) {
  std::set<std::string> names;
  for (const auto &entry : document.keys().at(fullKey(belowRoot)).entries) names.insert(entry.name);
  return names;
}

class SettingGroups : public ::testing::Test {
 protected:
  RegFileStore &store = userSettingsStore();
};

TEST_F(SettingGroups, FirstOpenWritesExactlyTheSizePresetAndFormatDefaults) {
  SizePreset geometry{11, 12, 13, 14, 15, 16, 17};
  const SizePreset before = geometry;
  EXPECT_EQ(loadSizePreset(store, 0, geometry), 0);
  EXPECT_EQ(geometry, before);

  const RegDocument document = parseStore();
  EXPECT_EQ(keysBelowRoot(document),
            (std::set<std::string>{"", "Camera_00", "Camera_00\\Size_00"}));
  EXPECT_EQ(valueNames(document, "Camera_00"),
            (std::set<std::string>{"Size", "Color", "SubSample", "WaitTime", "Clock"}));
  EXPECT_EQ(valueNames(document, "Camera_00\\Size_00"),
            (std::set<std::string>{"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"}));

  // The next open reads back the preset and the format defaults that were written.
  SizePreset loaded{1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(loadSizePreset(store, 0, loaded), 1);
  EXPECT_EQ(loaded, SizePreset{});
  FormatValues format{8, 9, 10, 11};
  EXPECT_EQ(loadFormatValues(store, 0, format), 1);
  EXPECT_EQ(format, FormatValues{});

  // A second camera on an existing root gets no defaults written.
  SizePreset other = before;
  EXPECT_EQ(loadSizePreset(store, 1, other), 0);
  EXPECT_EQ(other, before);
  EXPECT_EQ(keysBelowRoot(parseStore()).count("Camera_01"), 0u);
}

TEST_F(SettingGroups, SizeNamingAMissingPresetOrMissingValuesKeepTheGeometry) {
  writeFile(storePath(), storeWith(section("Camera_00") + "\"Size\"=dword:00000003\n\n" +
                                   section("Camera_00\\Size_00") + "\"EH\"=dword:00000280\n"));
  SizePreset geometry{1, 2, 3, 4, 5, 6, 7};
  const SizePreset before = geometry;
  EXPECT_EQ(loadSizePreset(store, 0, geometry), 0);
  EXPECT_EQ(geometry, before);

  writeFile(storePath(), storeWith(section("Camera_00") + "\"Size\"=dword:00000000\n\n" +
                                   section("Camera_00\\Size_00") + "\"EH\"=dword:00000280\n"));
  EXPECT_EQ(loadSizePreset(store, 0, geometry), 1);
  SizePreset expected = before;
  expected.EH = 0x280;
  EXPECT_EQ(geometry, expected);
}

TEST_F(SettingGroups, AnalogValuesMissingFromGainTakeTheirOwnDefaults) {
  writeFile(storePath(), storeWith(section("Camera_00\\Gain") + "\"Global\"=dword:0000012c\n"));
  AnalogValues analog{1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(loadAnalog(store, 0, analog, MirrorState{1, 0}), 1);
  AnalogValues expected;
  expected.globalGain = 300;
  expected.mirrorV = 1;
  EXPECT_EQ(analog, expected);

  // Without the key every value is a default, the mirrors from the device.
  analog = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(loadAnalog(store, 5, analog, MirrorState{0, 1}), 1);
  expected = AnalogValues{};
  expected.mirrorH = 1;
  EXPECT_EQ(analog, expected);

  const AnalogValues saved{40, 0, 0, 0, 0, 900, 1, 1, 2};
  EXPECT_EQ(saveAnalog(store, 5, saved), 1);
  AnalogValues reloaded;
  EXPECT_EQ(loadAnalog(store, 5, reloaded, {}), 1);
  EXPECT_EQ(reloaded, saved);
}

TEST_F(SettingGroups, MissingFilterAndGrayKeysResetOnlyTheirOwnSlots) {
  FilterRecord filter;
  filter.fill(77);
  EXPECT_EQ(loadFilter(store, 0, filter), 0);
  const FilterRecord filterDefaults = [] {
    FilterRecord r;
    r.fill(77);
    for (int slot = 0; slot <= 9; ++slot) r[slot] = 0;
    r[5] = r[6] = r[7] = r[8] = 100;
    r[9] = 1;
    for (int slot = 20; slot <= 28; ++slot) r[slot] = 0;
    return r;
  }();
  EXPECT_EQ(filter, filterDefaults);

  EXPECT_EQ(loadGray(store, 0, filter), 0);
  FilterRecord grayDefaults = filterDefaults;
  grayDefaults[11] = 0;
  for (int slot = 12; slot <= 15; ++slot) grayDefaults[slot] = 128;
  for (int slot = 16; slot <= 19; ++slot) grayDefaults[slot] = 0;
  EXPECT_EQ(filter, grayDefaults);

  // With the keys present, missing values leave their slots.
  writeFile(storePath(), storeWith(section("Camera_00\\Filter") + "\"Gamma\"=dword:00000050\n\n" +
                                   section("Camera_00\\Gray") + "\"GainG2\"=dword:00000010\n"));
  filter.fill(-3);
  EXPECT_EQ(loadFilter(store, 0, filter), 1);
  EXPECT_EQ(loadGray(store, 0, filter), 1);
  FilterRecord expected;
  expected.fill(-3);
  expected[8] = 0x50;
  expected[14] = 0x10;
  EXPECT_EQ(filter, expected);
}

TEST_F(SettingGroups, GraySaveNeedsTheCameraKeyTheOtherSavesCreate) {
  FilterRecord filter{};
  for (int slot = 0; slot < 30; ++slot) filter[slot] = slot * 3 - 20;
  EXPECT_EQ(saveGray(store, 2, filter), 0);
  EXPECT_FALSE(std::filesystem::exists(storePath()));

  EXPECT_EQ(saveFilter(store, 2, filter), 1);
  EXPECT_EQ(saveGray(store, 2, filter), 1);
  FilterRecord loaded;
  loaded.fill(1000);
  EXPECT_EQ(loadFilter(store, 2, loaded), 1);
  EXPECT_EQ(loadGray(store, 2, loaded), 1);
  for (int slot = 0; slot < 30; ++slot) {
    const bool stored = slot <= 9 || (slot >= 11 && slot <= 19);
    EXPECT_EQ(loaded[slot], stored ? filter[slot] : 1000) << "slot " << slot;
  }
  // Negative values are kept as their 32-bit pattern.
  EXPECT_EQ(storedDword(parseStore(), "Camera_02\\Filter", "Brightness"), 0xFFFFFFECll);
}

TEST_F(SettingGroups, DialogSaveOfFewerPresetsLeavesTheRestAndLookupUsesTheCameraKey) {
  CameraDialogValues values;
  values.presetCount = 3;
  values.presets[1] = {1280, 1024, 640, 480, 8, 16, 4};
  values.presets[2] = {1280, 1024, 320, 240, 0, 0, 2};
  values.size = 1;
  values.format = {3, 1, 25, 0};
  EXPECT_EQ(saveCameraDialog(store, 7, values), 1);
  values.presetCount = 2;
  values.presets[1].EHS = 40;
  EXPECT_EQ(saveCameraDialog(store, 7, values), 1);

  CameraDialogValues loaded;
  EXPECT_EQ(loadCameraDialog(store, 7, loaded), 1);
  EXPECT_EQ(loaded.presetCount, 3);
  EXPECT_EQ(loaded.presets[1], values.presets[1]);
  EXPECT_EQ(loaded.presets[2], values.presets[2]);
  EXPECT_EQ(loaded.size, 1);
  EXPECT_EQ(loaded.format, values.format);
  EXPECT_EQ(keysBelowRoot(parseStore()).count("Camera_07\\Size_02"), 1u);

  SizePreset geometry{};
  EXPECT_EQ(findPresetBySize(store, 7, 640, 480, geometry), PresetLookup::Found);
  EXPECT_EQ(geometry, values.presets[1]);
  SizePreset untouched{1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(findPresetBySize(store, 7, 641, 480, untouched), PresetLookup::NotFound);
  EXPECT_EQ(findPresetBySize(store, 8, 640, 480, untouched), PresetLookup::NoKey);
  EXPECT_EQ(untouched, (SizePreset{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(SettingGroups, DialogStoresSubSampleAsTheSkipFlagAndKeepsDefaultsWithoutAKey) {
  CameraDialogValues values;
  values.presetCount = 1;
  values.format.subSample = 4;  // not the "1/2 Skip" entry
  EXPECT_EQ(saveCameraDialog(store, 0, values), 1);
  EXPECT_EQ(storedDword(parseStore(), "Camera_00", "SubSample"), 0);
  values.format.subSample = 1;
  EXPECT_EQ(saveCameraDialog(store, 0, values), 1);
  EXPECT_EQ(storedDword(parseStore(), "Camera_00", "SubSample"), 1);

  CameraDialogValues untouched;
  untouched.presetCount = 9;
  untouched.format.waitTime = 99;
  EXPECT_EQ(loadCameraDialog(store, 3, untouched), 0);
  EXPECT_EQ(untouched.presetCount, 9);
  EXPECT_EQ(untouched.format.waitTime, 99);
}

TEST_F(SettingGroups, CameraNumbersNameKeysWithAtLeastTwoDigits) {
  EXPECT_EQ(cameraKeyName(7), "Camera_07");
  EXPECT_EQ(cameraKeyName(123), "Camera_123");
  const AnalogValues a{1, 1, 1, 1, 1, 700, 0, 0, 0};
  const AnalogValues b{2, 2, 2, 2, 2, 123, 1, 1, 1};
  EXPECT_EQ(saveAnalog(store, 7, a), 1);
  EXPECT_EQ(saveAnalog(store, 123, b), 1);
  const RegDocument document = parseStore();
  EXPECT_EQ(storedDword(document, "Camera_07\\Gain", "Exposure"), 700);
  EXPECT_EQ(storedDword(document, "Camera_123\\Gain", "Exposure"), 123);
  AnalogValues loaded;
  EXPECT_EQ(loadAnalog(store, 123, loaded, {}), 1);
  EXPECT_EQ(loaded, b);
}

TEST_F(SettingGroups, ValuesAreReadIntoFourBytesWhateverTheirType) {
  writeFile(storePath(),
            storeWith(section("Camera_00\\Gain") +
                      "\"Global\"=hex:05\n"                            // one byte: read
                      "\"Exposure\"=hex(b):00,01,00,00,00,00,00,00\n"  // eight: not read
                      "\"AutoIris\"=\"ab\"\n"));  // three bytes with its terminator
  AnalogValues analog;
  EXPECT_EQ(loadAnalog(store, 0, analog, {}), 1);
  EXPECT_EQ(analog.globalGain, 5);
  EXPECT_EQ(analog.exposure, AnalogValues{}.exposure);
  EXPECT_EQ(analog.autoIris, 'a' | ('b' << 8));
}

}  // namespace
