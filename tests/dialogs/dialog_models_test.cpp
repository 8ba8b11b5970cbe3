// The settings dialogs without a window: the models driven by the events a
// view would send, over fake cameras that record what reaches the device.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "dialogs/analog_dialog_model.h"
#include "dialogs/camera_dialog_model.h"
#include "dialogs/image_dialog_model.h"
#include "settings/reg_file_store.h"
#include "settings/store_test_support.h"

namespace {

using namespace pelnik::settings;
using pelnik::platform::ControlKind;
using pelnik::platform::DialogEvent;
using pelnik::platform::UiLanguage;

const DialogTexts &english() { return dialogTexts(UiLanguage::English); }

DialogEvent event(DialogEvent::Kind kind, int id, int value = 0, std::string text = {}) {
  DialogEvent e;
  e.kind = kind;
  e.id = id;
  e.value = value;
  e.text = std::move(text);
  return e;
}
DialogEvent slide(int sliderId, int value) {
  return event(DialogEvent::Kind::SliderMoved, sliderId, value);
}
DialogEvent type(int editId, std::string text) {
  return event(DialogEvent::Kind::EditChanged, editId, 0, std::move(text));
}
DialogEvent toggle(int id, bool on) { return event(DialogEvent::Kind::Toggled, id, on ? 1 : 0); }
DialogEvent press(int id) { return event(DialogEvent::Kind::Pressed, id); }
DialogEvent choose(int id, int index) { return event(DialogEvent::Kind::Selected, id, index); }

// ---- analog ----

class FakeAnalogCamera : public AnalogDialogHost {
 public:
  AnalogValues record{7, 3, 3, 3, 3, 99, 0, 0, 0};
  int bayer = 1;
  int deviceGain = 200;
  int deviceLines = 800;
  int deviceV = 1;
  int deviceH = 0;
  double msPerLine = 0;  // the exposure model before it is loaded
  std::vector<std::string> deviceCalls;

  AnalogValues analogRecord() const override { return record; }
  void setAnalogRecord(const AnalogValues &values) override { record = values; }
  void setAnalogField(AnalogField field, int value) override {
    switch (field) {
      case AnalogField::Global:
        record.globalGain = value;
        break;
      case AnalogField::ColorG1:
        record.gainG1 = value;
        break;
      case AnalogField::ColorR:
        record.gainR = value;
        break;
      case AnalogField::ColorB:
        record.gainB = value;
        break;
      case AnalogField::ColorG2:
        record.gainG2 = value;
        break;
      case AnalogField::Exposure:
        record.exposure = value;
        break;
      case AnalogField::MirrorV:
        record.mirrorV = value;
        break;
      case AnalogField::MirrorH:
        record.mirrorH = value;
        break;
      case AnalogField::AutoIris:
        record.autoIris = value;
        break;
    }
  }
  int bayerMode() const override { return bayer; }
  void setBayerMode(int mode) override { bayer = mode; }
  int deviceGlobalGain() override { return deviceGain; }
  int deviceExposure() override { return deviceLines; }
  int deviceMirrorV() override { return deviceV; }
  int deviceMirrorH() override { return deviceH; }
  IntRange gainRange() const override { return {0, 2047}; }
  IntRange exposureRange() const override { return {1, 65534}; }
  void sendGlobalGain(int gain) override {
    deviceGain = gain;
    deviceCalls.push_back("gain " + std::to_string(gain));
  }
  void sendExposure(int lines) override {
    deviceLines = lines;
    deviceCalls.push_back("exposure " + std::to_string(lines));
  }
  void sendMirrorV(int on) override {
    deviceV = on;
    deviceCalls.push_back("mirrorV " + std::to_string(on));
  }
  void sendMirrorH(int on) override {
    deviceH = on;
    deviceCalls.push_back("mirrorH " + std::to_string(on));
  }
  double exposureMilliseconds(int lines) const override { return lines * msPerLine; }
};

TEST(AnalogDialogModel, OpensWithTheDeviceStateAndDisabledColourGainsOfRangeZero) {
  FakeAnalogCamera camera;
  camera.record.autoIris = 2;
  AnalogDialogModel model(camera, english());
  EXPECT_EQ(camera.record, (AnalogValues{200, 0, 0, 0, 0, 800, 1, 0, 2}));
  EXPECT_EQ(model.control(analog_id::kGlobalGain.edit).text, "200");
  EXPECT_EQ(model.control(analog_id::kGlobalGain.slider).value, 200);
  EXPECT_EQ(model.control(analog_id::kGlobalGain.edit).tick, 255);
  EXPECT_EQ(model.control(analog_id::kExposure.edit).tick, 8191);
  for (GroupIds g : {analog_id::kColorGainG1, analog_id::kColorGainR, analog_id::kColorGainB,
                     analog_id::kColorGainG2}) {
    const auto &c = model.control(g.edit);
    EXPECT_FALSE(c.enabled);
    EXPECT_EQ(c.minimum, 0);
    EXPECT_EQ(c.maximum, 0);
  }
  EXPECT_EQ(model.control(analog_id::kMirrorV).value, 1);
  EXPECT_EQ(model.control(analog_id::kAutoIrisGain).value, 1);
  EXPECT_EQ(model.control(analog_id::kAutoIrisExposure).value, 0);
  // The exposure model as constructed gives 0 milliseconds.
  EXPECT_EQ(model.control(analog_id::kExposureTime).text, "=0.00ms");
  EXPECT_TRUE(camera.deviceCalls.empty());
  EXPECT_EQ(model.form().tabs, std::vector<std::string>{"Analog Gain"});
}

TEST(AnalogDialogModel, TypingExposureSetsTheDeviceAtOnceAndUpdatesTheTime) {
  FakeAnalogCamera camera;
  camera.msPerLine = 0.03143859701231122;
  AnalogDialogModel model(camera, english());
  model.handle(type(analog_id::kExposure.edit, "100"));
  EXPECT_EQ(camera.deviceLines, 100);
  EXPECT_EQ(camera.record.exposure, 100);
  EXPECT_EQ(model.control(analog_id::kExposure.slider).value, 100);
  EXPECT_EQ(model.control(analog_id::kExposureTime).text, "=3.14ms");
}

TEST(AnalogDialogModel, TypedValuesAreClampedAndShownSoWhenTheBoxIsLeft) {
  FakeAnalogCamera camera;
  AnalogDialogModel model(camera, english());
  model.handle(type(analog_id::kGlobalGain.edit, "5000"));
  EXPECT_EQ(camera.deviceGain, 2047);
  EXPECT_EQ(model.control(analog_id::kGlobalGain.edit).text, "5000");  // still being typed
  model.handle(type(analog_id::kGlobalGain.edit, "5000"));             // the box is left
  EXPECT_EQ(model.control(analog_id::kGlobalGain.edit).text, "2047");
  model.handle(type(analog_id::kExposure.edit, "0"));
  EXPECT_EQ(camera.deviceLines, 1);
  model.handle(type(analog_id::kExposure.edit, "abc"));  // not a number: 0, then clamped
  EXPECT_EQ(camera.deviceLines, 1);
  model.handle(type(analog_id::kExposure.edit, "99999999999999"));
  EXPECT_EQ(camera.deviceLines, 65534);
}

TEST(AnalogDialogModel, SpinStepsStayInRangeAndDisabledGroupsIgnoreInput) {
  FakeAnalogCamera camera;
  camera.deviceGain = 2046;
  AnalogDialogModel model(camera, english());
  model.handle(event(DialogEvent::Kind::SpinStepped, analog_id::kGlobalGain.spin, 1));
  EXPECT_EQ(camera.deviceGain, 2047);
  model.handle(event(DialogEvent::Kind::SpinStepped, analog_id::kGlobalGain.spin, 1));
  EXPECT_EQ(camera.deviceGain, 2047);
  EXPECT_EQ(model.control(analog_id::kGlobalGain.edit).text, "2047");
  model.handle(event(DialogEvent::Kind::SpinStepped, analog_id::kGlobalGain.spin, -1));
  EXPECT_EQ(camera.deviceGain, 2046);
  model.handle(slide(analog_id::kColorGainR.slider, 5));
  model.handle(type(analog_id::kColorGainR.edit, "5"));
  EXPECT_EQ(camera.record.gainR, 0);
  EXPECT_EQ(model.control(analog_id::kColorGainR.edit).text, "0");
}

TEST(AnalogDialogModel, MirrorsActAtOnceAndAutoIrisBoxesExcludeEachOther) {
  FakeAnalogCamera camera;
  AnalogDialogModel model(camera, english());
  model.handle(toggle(analog_id::kMirrorH, true));
  EXPECT_EQ(camera.deviceH, 1);
  EXPECT_EQ(camera.record.mirrorH, 1);
  model.handle(toggle(analog_id::kAutoIrisExposure, true));
  EXPECT_EQ(camera.record.autoIris, 1);
  model.handle(toggle(analog_id::kAutoIrisGain, true));
  EXPECT_EQ(camera.record.autoIris, 2);
  EXPECT_EQ(model.control(analog_id::kAutoIrisExposure).value, 0);
  model.handle(toggle(analog_id::kAutoIrisGain, false));
  EXPECT_EQ(camera.record.autoIris, 0);
}

TEST(AnalogDialogModel, DefaultSetsGainThenExposureAndLeavesMirrorsAndAutoIris) {
  FakeAnalogCamera camera;
  camera.record.autoIris = 1;
  AnalogDialogModel model(camera, english());
  model.handle(toggle(analog_id::kMirrorH, true));
  camera.deviceCalls.clear();
  model.handle(press(kIdDefault));
  EXPECT_EQ(camera.deviceCalls, (std::vector<std::string>{"gain 0", "exposure 512"}));
  EXPECT_EQ(camera.record, (AnalogValues{0, 0, 0, 0, 0, 512, 1, 1, 1}));
  EXPECT_EQ(model.control(analog_id::kExposure.edit).text, "512");
  EXPECT_FALSE(model.finished());
}

TEST(AnalogDialogModel, CancelGivesTheDeviceItsStateBackInOrderAndRestoresTheRecord) {
  FakeAnalogCamera camera;
  AnalogDialogModel model(camera, english());
  const AnalogValues refreshed = camera.record;
  model.handle(slide(analog_id::kGlobalGain.slider, 1000));
  model.handle(type(analog_id::kExposure.edit, "42"));
  model.handle(toggle(analog_id::kMirrorV, false));
  model.handle(toggle(analog_id::kAutoIrisExposure, true));
  camera.bayer = 3;
  model.handle(event(DialogEvent::Kind::Closed, 0));
  EXPECT_EQ(model.outcome(), DialogOutcome::Cancel);
  camera.deviceCalls.clear();
  model.conclude();
  EXPECT_EQ(camera.deviceCalls,
            (std::vector<std::string>{"gain 200", "exposure 800", "mirrorV 1", "mirrorH 0"}));
  EXPECT_EQ(camera.record, refreshed);
  EXPECT_EQ(camera.bayer, 1);
}

TEST(AnalogDialogModel, OkReadsTheEditBoxesBackAndKeepsEverything) {
  FakeAnalogCamera camera;
  AnalogDialogModel model(camera, english());
  model.handle(type(analog_id::kExposure.edit, "77"));
  camera.record.exposure = 5;  // e.g. another thread
  model.handle(press(kIdOk));
  EXPECT_EQ(model.outcome(), DialogOutcome::Ok);
  camera.deviceCalls.clear();
  model.conclude();
  EXPECT_TRUE(camera.deviceCalls.empty());
  EXPECT_EQ(camera.record.exposure, 77);
  // Events after the end change nothing.
  model.handle(type(analog_id::kExposure.edit, "9"));
  EXPECT_EQ(camera.deviceLines, 77);
}

TEST(AnalogDialogModel, AutoIrisValuesAreShownButNeverSentAgain) {
  FakeAnalogCamera camera;
  AnalogDialogModel model(camera, english());
  // Queued from another thread, run on the dialog's.
  std::thread loop([&] {
    model.inbox().post([&] { model.showAutoGlobalGain(1500); });
    model.inbox().post([&] { model.showAutoExposure(3000); });
  });
  loop.join();
  EXPECT_EQ(model.inbox().drain(), 2);
  EXPECT_EQ(model.control(analog_id::kGlobalGain.edit).text, "1500");
  EXPECT_EQ(model.control(analog_id::kExposure.slider).value, 3000);
  EXPECT_TRUE(camera.deviceCalls.empty());
  EXPECT_EQ(camera.deviceGain, 200);
  // Once closed, queued updates are dropped.
  model.handle(press(kIdCancel));
  model.inbox().close();
  EXPECT_FALSE(model.inbox().post([&] { model.showAutoGlobalGain(1); }));
  EXPECT_EQ(model.inbox().drain(), 0);
}

// ---- image ----

class FakeImageCamera : public ImageDialogHost {
 public:
  int mode = 2;
  FilterRecord record{};
  FakeImageCamera() {
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<int>(i) + 1;
  }
  int colourModeIndex() const override { return mode; }
  FilterRecord filterRecord() const override { return record; }
  void setFilterSlot(int slot, int value) override {
    record[static_cast<std::size_t>(slot)] = value;
  }
  void setFilterRecord(const FilterRecord &r) override { record = r; }
};

TEST(ImageDialogModel, ColourModesHaveOneTabMonochromeTwoWithTheirEnableSets) {
  FakeImageCamera colour;
  ImageDialogModel inColour(colour, english());
  EXPECT_EQ(inColour.form().tabs, std::vector<std::string>{"Image Filter"});
  for (const GroupIds &g : image_id::kFilterGroups) EXPECT_TRUE(inColour.control(g.edit).enabled);
  EXPECT_TRUE(inColour.control(image_id::kWhiteBalanceOnce).enabled);
  EXPECT_TRUE(inColour.control(image_id::kBayerModeFirst).enabled);

  FakeImageCamera mono;
  mono.mode = 1;
  ImageDialogModel inMono(mono, english());
  EXPECT_EQ(inMono.form().tabs, (std::vector<std::string>{"Image Filter", "Gray Filter"}));
  std::vector<bool> enabled;
  for (const GroupIds &g : image_id::kFilterGroups)
    enabled.push_back(inMono.control(g.edit).enabled);
  EXPECT_EQ(enabled,
            (std::vector<bool>{true, true, false, false, true, false, false, false, true}));
  EXPECT_FALSE(inMono.control(image_id::kWhiteBalanceAllFrames).enabled);
  EXPECT_FALSE(inMono.control(image_id::kBayerModeFirst + 2).enabled);
  EXPECT_EQ(inMono.form().currentTab, 0);
  // The grey page shows 0..400 whatever its setters accept.
  const auto &offset = inMono.control(image_id::grayGroup(7).edit);
  EXPECT_EQ(offset.minimum, 0);
  EXPECT_EQ(offset.maximum, 400);
  EXPECT_EQ(offset.tick, 32);
  EXPECT_EQ(offset.page, 1);
}

TEST(ImageDialogModel, RangesAndTicksOfTheFilterPage) {
  FakeImageCamera camera;
  ImageDialogModel model(camera, english());
  const int expected[9][3] = {{-255, 255, 64}, {-127, 127, 32}, {-360, 360, 90},
                              {-255, 255, 64}, {0, 30, 4},      {0, 400, 32},
                              {0, 400, 32},    {0, 400, 32},    {0, 200, 32}};
  for (std::size_t i = 0; i < 9; ++i) {
    const auto &c = model.control(image_id::kFilterGroups[i].edit);
    EXPECT_EQ(c.minimum, expected[i][0]) << i;
    EXPECT_EQ(c.maximum, expected[i][1]) << i;
    EXPECT_EQ(c.tick, expected[i][2]) << i;
    EXPECT_EQ(c.text, std::to_string(i + 1)) << "slot value shown";
  }
}

TEST(ImageDialogModel, CancelAfterMovingEverythingRestoresAllThirtySlots) {
  FakeImageCamera camera;
  camera.mode = 0;
  const FilterRecord before = camera.record;
  ImageDialogModel model(camera, english());
  for (const GroupIds &g : image_id::kFilterGroups) model.handle(slide(g.slider, 0));
  for (int i = 0; i < 8; ++i) model.handle(slide(image_id::grayGroup(i).slider, 333));
  model.handle(toggle(image_id::kFilterModeFirst + 2, true));
  model.handle(press(image_id::kGrayAutoGainOnce));
  model.handle(toggle(image_id::kGrayBayerModeFirst + 3, true));
  EXPECT_NE(camera.record, before);
  EXPECT_EQ(camera.record[12], 333);
  EXPECT_EQ(camera.record[29], 1);
  EXPECT_EQ(camera.record[11], 2);
  camera.record[25] = 1;  // the white balance started meanwhile
  camera.record[26] = 1;
  model.handle(press(kIdCancel));
  model.conclude();
  EXPECT_EQ(camera.record, before);
}

TEST(ImageDialogModel, DefaultInColourLeavesSlotsElevenToNineteen) {
  FakeImageCamera camera;
  const FilterRecord before = camera.record;
  ImageDialogModel model(camera, english());
  model.handle(press(kIdDefault));
  const std::vector<int> filter(camera.record.begin(), camera.record.begin() + 10);
  EXPECT_EQ(filter, (std::vector<int>{0, 0, 0, 0, 0, 100, 100, 100, 100, 1}));
  for (std::size_t s = 10; s < 30; ++s) EXPECT_EQ(camera.record[s], before[s]) << s;
  EXPECT_EQ(model.control(image_id::kFilterGroups[5].edit).text, "100");
  EXPECT_EQ(model.control(image_id::kBayerModeFirst + 1).value, 1);
}

TEST(ImageDialogModel, DefaultInMonochromeAlsoResetsTheGreyGainsAndOffsets) {
  FakeImageCamera camera;
  camera.mode = 0;
  const FilterRecord before = camera.record;
  ImageDialogModel model(camera, english());
  model.handle(press(kIdDefault));
  const std::vector<int> gray(camera.record.begin() + 12, camera.record.begin() + 20);
  EXPECT_EQ(gray, (std::vector<int>{128, 128, 128, 128, 0, 0, 0, 0}));
  EXPECT_EQ(camera.record[11], before[11]);
  EXPECT_EQ(camera.record[29], before[29]);
  EXPECT_EQ(model.control(image_id::grayGroup(0).edit).text, "128");
}

TEST(ImageDialogModel, WhiteBalanceOnceAndAllFrames) {
  FakeImageCamera camera;
  ImageDialogModel model(camera, english());
  model.handle(toggle(image_id::kWhiteBalanceAllFrames, true));
  EXPECT_EQ(camera.record[25], 1);
  EXPECT_EQ(camera.record[26], 0);
  EXPECT_EQ(camera.record[27], 0);
  model.handle(press(image_id::kWhiteBalanceOnce));
  EXPECT_EQ(camera.record[25], 1);
  EXPECT_EQ(camera.record[26], 1);
  EXPECT_EQ(camera.record[27], 1);
  EXPECT_EQ(model.control(image_id::kWhiteBalanceAllFrames).value, 0);
  model.handle(toggle(image_id::kWhiteBalanceAllFrames, false));
  EXPECT_EQ(camera.record[25], 0);
}

TEST(ImageDialogModel, GreyAllFramesTogglesTheCalibrationRequest) {
  FakeImageCamera camera;
  camera.mode = 1;
  camera.record[29] = 0;
  ImageDialogModel model(camera, english());
  model.handle(toggle(image_id::kGrayAutoGainAllFrames, true));
  EXPECT_EQ(camera.record[29], -1);
  model.handle(toggle(image_id::kGrayAutoGainAllFrames, false));
  EXPECT_EQ(camera.record[29], 0);
  camera.record[29] = 1;  // a Once request pending
  model.handle(toggle(image_id::kGrayAutoGainAllFrames, true));
  EXPECT_EQ(camera.record[29], 0);
}

TEST(ImageDialogModel, BayerModeButtonsOfBothPagesShareSlotNine) {
  FakeImageCamera camera;
  camera.mode = 0;
  ImageDialogModel model(camera, english());
  model.handle(toggle(image_id::kGrayBayerModeFirst + 2, true));
  EXPECT_EQ(camera.record[9], 2);
  EXPECT_EQ(model.control(image_id::kBayerModeFirst + 2).value, 1);
  EXPECT_EQ(model.control(image_id::kBayerModeFirst + 1).value, 0);
}

TEST(ImageDialogModel, OkReadsEditBoxesIntoTheirSlots) {
  FakeImageCamera camera;
  camera.mode = 1;
  ImageDialogModel model(camera, english());
  model.handle(type(image_id::grayGroup(2).edit, "777"));
  model.handle(type(image_id::kFilterGroups[0].edit, "-400"));
  camera.record[14] = 5;
  camera.record[0] = 5;
  model.handle(press(kIdOk));
  model.conclude();
  EXPECT_EQ(camera.record[14], 400);
  EXPECT_EQ(camera.record[0], -255);
}

TEST(ImageDialogModel, ReloadShowsWhatTheCameraMeasured) {
  FakeImageCamera camera;
  ImageDialogModel model(camera, english());
  camera.record[5] = 222;
  model.inbox().post([&] { model.reloadFromCamera(); });
  model.inbox().drain();
  EXPECT_EQ(model.control(image_id::kFilterGroups[5].edit).text, "222");
}

// ---- camera (video format) ----

class CameraDialogModelTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::remove(pelnik::test::storePath()); }
  RegFileStore &store = userSettingsStore();
  CameraDialogValues stored() {
    CameraDialogValues values;
    loadCameraDialog(store, 0, values);
    return values;
  }
  void storePresets(int count) {
    CameraDialogValues values;
    values.presetCount = count;
    for (int i = 0; i < count; ++i) values.presets[static_cast<std::size_t>(i)].EH = 100 + i;
    ASSERT_EQ(saveCameraDialog(store, 0, values), 1);
  }
};

TEST_F(CameraDialogModelTest, ListsTheDocumentedTextsAndInitialStates) {
  storePresets(1);
  CameraDialogModel model(store, 0, english());
  EXPECT_EQ(model.control(camera_id::kColor).items,
            (std::vector<std::string>{"Monochrome 8bit", "Monochrome 10bit *", "Color 24bit",
                                      "Color 32bit", "Color 48bit *", "Color 64bit *"}));
  EXPECT_EQ(model.control(camera_id::kColor).value, 2);
  EXPECT_EQ(model.control(camera_id::kClock).items,
            (std::vector<std::string>{"Nomal(24MHz)", "Half(12MHz)", "High(24MHz)"}));
  EXPECT_FALSE(model.control(camera_id::kClock).enabled);
  EXPECT_EQ(model.control(camera_id::kSize).items,
            (std::vector<std::string>{"100 x 1024", "Custom"}));
  EXPECT_EQ(model.control(camera_id::kHEffective).text, "100");
  EXPECT_EQ(model.control(camera_id::kHTotal).kind, ControlKind::ReadOnlyNumber);
  EXPECT_FALSE(model.control(kIdApply).enabled);
  EXPECT_EQ(model.form().tabs, std::vector<std::string>{"Stream Format"});
}

TEST_F(CameraDialogModelTest, JapaneseTexts) {
  storePresets(1);
  CameraDialogModel model(store, 0, dialogTexts(UiLanguage::Japanese));
  EXPECT_EQ(model.control(camera_id::kColor).items[1], "白黒 10bit ※");
  EXPECT_EQ(model.control(camera_id::kClock).items[2], "高速(24MHz)");
  EXPECT_EQ(model.control(camera_id::kSize).items.back(), "カスタム");
  EXPECT_EQ(model.form().tabs, std::vector<std::string>{"ストリーム形式"});
  EXPECT_TRUE(model.form().japanese);
}

TEST_F(CameraDialogModelTest, CustomAddsAPresetBeforeCustomAndStoresTheNextKey) {
  storePresets(2);
  CameraDialogModel model(store, 0, english());
  model.handle(choose(camera_id::kSize, 2));  // "Custom": the edits keep what they show
  EXPECT_EQ(model.control(camera_id::kHEffective).text, "100");
  EXPECT_TRUE(model.control(kIdApply).enabled);
  model.handle(type(camera_id::kHEffective, "640"));
  model.handle(type(camera_id::kVEffective, "480"));
  model.handle(press(kIdApply));
  EXPECT_FALSE(model.finished());
  EXPECT_FALSE(model.control(kIdApply).enabled);
  EXPECT_EQ(model.control(camera_id::kSize).items,
            (std::vector<std::string>{"100 x 1024", "101 x 1024", "640 x 480", "Custom"}));
  EXPECT_EQ(model.control(camera_id::kSize).value, 2);
  const CameraDialogValues values = stored();
  EXPECT_EQ(values.presetCount, 3);
  EXPECT_EQ(values.size, 2);
  EXPECT_EQ(values.presets[2], (SizePreset{1280, 1024, 640, 480, 0, 0, 4}));
}

TEST_F(CameraDialogModelTest, ChoosingAPresetShowsItAndOkOverwritesIt) {
  storePresets(2);
  CameraDialogModel model(store, 0, english());
  model.handle(choose(camera_id::kSize, 1));
  EXPECT_EQ(model.control(camera_id::kHEffective).text, "101");
  model.handle(type(camera_id::kHStart, "8"));
  model.handle(choose(camera_id::kColor, 0));
  model.handle(choose(camera_id::kSubSample, 1));
  model.handle(type(camera_id::kWaitTime, "-5"));  // waits are never negative
  model.handle(press(kIdOk));
  EXPECT_EQ(model.outcome(), DialogOutcome::Ok);
  const CameraDialogValues values = stored();
  EXPECT_EQ(values.presetCount, 2);
  EXPECT_EQ(values.presets[1].EHS, 8);
  EXPECT_EQ(values.size, 1);
  EXPECT_EQ(values.format, (FormatValues{0, 1, 0, 2}));
}

TEST_F(CameraDialogModelTest, CancelStoresNothing) {
  storePresets(1);
  CameraDialogModel model(store, 0, english());
  model.handle(type(camera_id::kHEffective, "64"));
  model.handle(choose(camera_id::kColor, 5));
  model.handle(press(kIdCancel));
  EXPECT_EQ(model.outcome(), DialogOutcome::Cancel);
  EXPECT_EQ(stored().presets[0].EH, 100);
  EXPECT_EQ(stored().format.colorMode, 2);
}

TEST_F(CameraDialogModelTest, AFullPresetTableOffersNoCustom) {
  storePresets(kMaxPresets);
  CameraDialogModel model(store, 0, english());
  EXPECT_FALSE(model.offersCustom());
  const auto &sizes = model.control(camera_id::kSize).items;
  EXPECT_EQ(sizes.size(), static_cast<std::size_t>(kMaxPresets));
  EXPECT_EQ(sizes.back(), "199 x 1024");
  // A selection past the end is refused; editing the last preset still works.
  model.handle(choose(camera_id::kSize, kMaxPresets));
  EXPECT_EQ(model.control(camera_id::kSize).value, 0);
  model.handle(choose(camera_id::kSize, kMaxPresets - 1));
  model.handle(type(camera_id::kHEffective, "320"));
  model.handle(press(kIdOk));
  EXPECT_EQ(stored().presetCount, kMaxPresets);
  EXPECT_EQ(stored().presets[kMaxPresets - 1].EH, 320);
}

TEST_F(CameraDialogModelTest, WithNothingStoredCustomStartsFromTheDefaultsAndBecomesSize00) {
  CameraDialogModel model(store, 0, english());
  EXPECT_EQ(model.control(camera_id::kSize).items, std::vector<std::string>{"Custom"});
  EXPECT_EQ(model.control(camera_id::kSize).value, 0);
  EXPECT_EQ(model.control(camera_id::kHEffective).text, "1280");
  EXPECT_EQ(model.control(camera_id::kWaitTime).text, "1");
  model.handle(press(kIdOk));
  const CameraDialogValues values = stored();
  EXPECT_EQ(values.presetCount, 1);
  EXPECT_EQ(values.presets[0], SizePreset{});
}

TEST(EditNumber, ReadsSignedDecimalAndAnythingElseAsZero) {
  EXPECT_EQ(editNumber("42"), 42);
  EXPECT_EQ(editNumber(" -17 "), -17);
  EXPECT_EQ(editNumber("12abc"), 0);
  EXPECT_EQ(editNumber(""), 0);
  EXPECT_EQ(editNumber("-"), 0);
  EXPECT_EQ(editNumber("99999999999"), 2147483647);
  EXPECT_EQ(editNumber("-99999999999"), -2147483647 - 1);
}

}  // namespace
