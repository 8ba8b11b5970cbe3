// The settings dialogs of the Windows build under Wine, in English and with
// Wine's system language Japanese: the Windows-side program opens each one
// through its export and compares every caption, tab label and list entry
// with its model's form; this side moves a slider and types a value with
// xdotool, ends each dialog with OK or Cancel, and checks the getters and
// the registry afterwards. An update from the acquisition thread (automatic
// exposure) is seen reaching an open dialog. With PELNIK_DIALOG_SCREENSHOTS set to a
// directory, the dialogs are kept there as PNG files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "wine_session.h"

namespace pelnik::test {
namespace {

constexpr int kShowMs = 60000;
constexpr int kCloseMs = 20000;
constexpr int kGainMax = 2047;
constexpr int kBrightnessMin = -255;
constexpr int kBrightnessMax = 255;

struct Place {
  int x = -1;
  int y = -1;
  int w = 0;
  int h = 0;
};

Place placeOf(const Report &report, const std::string &name) {
  return {reportInt(report, name + ".x"), reportInt(report, name + ".y"),
          reportInt(report, name + ".w"), reportInt(report, name + ".h")};
}

// Screen coordinates: Wine's screen is the X root.
bool clickIn(const Report &shown, int id, int dx = -1) {
  const Place p = placeOf(shown, "c" + std::to_string(id));
  if (p.x < 0 || p.w <= 0) return false;
  const int x = p.x + (dx >= 0 ? dx : p.w / 2);
  return xdotool({"mousemove", std::to_string(x), std::to_string(p.y + p.h / 2), "click", "1"});
}

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }

// Focuses a slider with a click on its track, then takes it to an end with
// the keyboard (Home: its minimum, End: its maximum).
bool moveSlider(const Report &shown, int sliderId, bool toMaximum) {
  if (!clickIn(shown, sliderId)) return false;
  settle();
  return pressKey(toMaximum ? "End" : "Home");
}

bool typeNumber(const Report &shown, int editId, int value) {
  if (!clickIn(shown, editId, 8)) return false;
  settle();
  return pressKey("End") &&
         xdotool({"key", "BackSpace", "BackSpace", "BackSpace", "BackSpace", "BackSpace",
                  "BackSpace"}) &&
         xdotool({"type", std::to_string(value)});
}

// The dialog as it shows now, kept when screenshots are asked for.
void keepPicture(const Report &shown, const std::string &name) {
  const char *dir = std::getenv("PELNIK_DIALOG_SCREENSHOTS");
  if (!dir) return;
  settle();
  const Place w = placeOf(shown, "client");
  ASSERT_GT(w.w, 0);
  const auto shot = captureScreen(w.x, w.y, w.w, w.h);
  ASSERT_TRUE(shot);
  EXPECT_TRUE(savePng(*shot, std::string(dir) + "/" + name + ".png"));
}

// The report of a dialog that has just shown: in the language asked for,
// and saying what the form says.
Report shownDialog(WineProgram &program, const std::string &kind, int language) {
  const auto shown = program.waitForReport(kind + ".shown", kShowMs);
  const std::vector<unsigned char> log = program.readFile("wine.log");
  EXPECT_TRUE(shown) << "the " << kind << " dialog did not show; "
                     << std::string(log.begin(), log.end());
  if (!shown) return {};
  EXPECT_EQ(reportInt(*shown, "language"), language);
  EXPECT_GT(reportInt(*shown, "compared"), 10) << kind;
  EXPECT_EQ(reportInt(*shown, "mismatches"), 0) << kind;
  for (const auto &[key, value] : *shown)
    if (key.rfind("mismatch.", 0) == 0) ADD_FAILURE() << kind << ": " << value;
  // Owned by the application's window and centred over it.
  const Place owner = placeOf(*shown, "owner");
  const Place window = placeOf(*shown, "window");
  EXPECT_GT(owner.w, 0) << kind << " has no owner";
  EXPECT_NEAR(window.x + window.w / 2, owner.x + owner.w / 2, 2) << kind;
  EXPECT_NEAR(window.y + window.h / 2, owner.y + owner.h / 2, 2) << kind;
  return *shown;
}

Report closedDialog(WineProgram &program, const std::string &kind) {
  const auto done = program.waitForReport(kind + ".done", kCloseMs);
  EXPECT_TRUE(done) << "the " << kind << " dialog did not close";
  if (!done) return {};
  EXPECT_EQ(reportInt(*done, "result"), 1) << kind;
  return *done;
}

// Wine takes its system language from the locale variables.
class SettingsDialogsUnderWine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(missingWineTools(), ""); }
  void useLocale(const char *locale) {
    for (const char *name : {"LANG", "LC_MESSAGES", "LANGUAGE"}) unsetenv(name);
    setenv("LC_ALL", locale, 1);
  }
  void TearDown() override { unsetenv("LC_ALL"); }
};

TEST_F(SettingsDialogsUnderWine, EnglishTextsOkKeepsAndCancelRestores) {
  useLocale("en_US.UTF-8");
  XvfbServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  WineProgram program("settings_dialog_probe", {"analog-auto", "analog", "image", "camera"});
  ASSERT_TRUE(program.started()) << program.error();

  // The acquisition thread's automatic exposure reaches the open dialog: its
  // exposure box follows the device (the program turns the loop on once the
  // dialog shows, and cancels the dialog itself).
  Report shown = shownDialog(program, "analog-auto", 1033);
  ASSERT_FALSE(shown.empty());
  EXPECT_NE(shown["auto.first"], shown["auto.last"]) << "the exposure box never changed";
  EXPECT_EQ(shown["auto.last"], shown["auto.device"]);
  closedDialog(program, "analog-auto");

  // Analog: the gain slider to an end, an exposure typed; OK keeps both.
  shown = shownDialog(program, "analog", 1033);
  ASSERT_FALSE(shown.empty());
  keepPicture(shown, "windows-dialog-analog-en");
  ASSERT_TRUE(moveSlider(shown, 1013, true));
  ASSERT_TRUE(typeNumber(shown, 1027, 100));
  settle();
  ASSERT_TRUE(clickIn(shown, 1));
  Report done = closedDialog(program, "analog");
  EXPECT_NE(reportInt(done, "before.gain"), kGainMax);
  EXPECT_NE(reportInt(done, "before.exposure"), 100);
  EXPECT_EQ(reportInt(done, "after.gain"), kGainMax);
  EXPECT_EQ(reportInt(done, "after.exposure"), 100);

  // Image: brightness to its minimum, then Cancel puts it back.
  shown = shownDialog(program, "image", 1033);
  ASSERT_FALSE(shown.empty());
  keepPicture(shown, "windows-dialog-image-en");
  ASSERT_TRUE(moveSlider(shown, 2001, false));
  settle();
  ASSERT_TRUE(clickIn(shown, 2));
  done = closedDialog(program, "image");
  const int brightness = reportInt(done, "before.brightness");
  EXPECT_NE(brightness, kBrightnessMin);
  EXPECT_EQ(reportInt(done, "after.brightness"), brightness);

  // Camera: a wait time typed; OK stores it and the camera takes it.
  shown = shownDialog(program, "camera", 1033);
  ASSERT_FALSE(shown.empty());
  keepPicture(shown, "windows-dialog-camera-en");
  ASSERT_TRUE(typeNumber(shown, 1045, 7));
  settle();
  ASSERT_TRUE(clickIn(shown, 1));
  done = closedDialog(program, "camera");
  EXPECT_NE(reportInt(done, "before.waittime"), 7);
  EXPECT_EQ(reportInt(done, "after.waittime"), 7);

  // What the camera left in the registry when it was released.
  const auto registry = program.waitForReport("registry", kCloseMs);
  ASSERT_TRUE(registry);
  EXPECT_EQ(reportInt(*registry, "gain"), kGainMax);
  EXPECT_EQ(reportInt(*registry, "exposure"), 100);
  EXPECT_EQ(reportInt(*registry, "brightness"), brightness);
  EXPECT_EQ(reportInt(*registry, "waittime"), 7);
  EXPECT_EQ(program.waitForExit(kCloseMs), 0);
}

TEST_F(SettingsDialogsUnderWine, JapaneseTextsOkKeepsAndCancelRestores) {
  useLocale("ja_JP.UTF-8");
  XvfbServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  WineProgram program("settings_dialog_probe", {"analog", "image", "camera"});
  ASSERT_TRUE(program.started()) << program.error();

  // Analog: gain and exposure changed, then Cancel gives both back.
  Report shown = shownDialog(program, "analog", 1041);
  ASSERT_FALSE(shown.empty());
  keepPicture(shown, "windows-dialog-analog-ja");
  ASSERT_TRUE(moveSlider(shown, 1013, true));
  ASSERT_TRUE(typeNumber(shown, 1027, 100));
  settle();
  ASSERT_TRUE(clickIn(shown, 2));
  Report done = closedDialog(program, "analog");
  const int gain = reportInt(done, "before.gain");
  const int exposure = reportInt(done, "before.exposure");
  EXPECT_NE(gain, kGainMax);
  EXPECT_NE(exposure, 100);
  EXPECT_EQ(reportInt(done, "after.gain"), gain);
  EXPECT_EQ(reportInt(done, "after.exposure"), exposure);

  // Image: brightness to its maximum; OK keeps it.
  shown = shownDialog(program, "image", 1041);
  ASSERT_FALSE(shown.empty());
  keepPicture(shown, "windows-dialog-image-ja");
  ASSERT_TRUE(moveSlider(shown, 2001, true));
  settle();
  ASSERT_TRUE(clickIn(shown, 1));
  done = closedDialog(program, "image");
  EXPECT_EQ(reportInt(done, "after.brightness"), kBrightnessMax);

  // Camera: a wait time typed, then Cancel: nothing stored or taken.
  shown = shownDialog(program, "camera", 1041);
  ASSERT_FALSE(shown.empty());
  keepPicture(shown, "windows-dialog-camera-ja");
  ASSERT_TRUE(typeNumber(shown, 1045, 9));
  settle();
  ASSERT_TRUE(clickIn(shown, 2));
  done = closedDialog(program, "camera");
  const int waitTime = reportInt(done, "before.waittime");
  EXPECT_NE(waitTime, 9);
  EXPECT_EQ(reportInt(done, "after.waittime"), waitTime);

  const auto registry = program.waitForReport("registry", kCloseMs);
  ASSERT_TRUE(registry);
  EXPECT_EQ(reportInt(*registry, "gain"), gain);
  EXPECT_EQ(reportInt(*registry, "exposure"), exposure);
  EXPECT_EQ(reportInt(*registry, "brightness"), kBrightnessMax);
  EXPECT_EQ(reportInt(*registry, "waittime"), waitTime);
  EXPECT_EQ(program.waitForExit(kCloseMs), 0);
}

}  // namespace
}  // namespace pelnik::test
