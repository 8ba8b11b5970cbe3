// The settings dialogs for real: each test starts its own X server, opens a
// dialog through the exports on a second thread, drives it with xdotool and
// reads back what it shows and what the camera holds afterwards.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "api/exports_camera_support.h"
#include "support/display/x_session.h"
#include "virtcam/camera_registers.h"

// Last: the X headers behind FLTK define names (None, Status) other headers use.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace pelnik::test {
namespace {

constexpr int kWaitMs = 15000;
const std::string kTitle = "^Property$";

// One export call on its own thread: the dialog runs there while the test
// thread drives it.
class DialogCall {
 public:
  explicit DialogCall(std::function<int()> call)
      : thread_([this, call = std::move(call)] { result_ = call(); }) {}
  ~DialogCall() {
    if (thread_.joinable()) thread_.join();
  }
  int wait() {
    thread_.join();
    return result_.load();
  }

 private:
  std::atomic<int> result_{-1};
  std::thread thread_;
};

template <class Probe>
bool eventually(Probe probe, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (probe()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return probe();
}

// Double-clicks an edit box and returns the number it shows.
std::string shownText(unsigned long window, int x, int y) {
  clickAt(window, x, y, 2);
  return primarySelection(3000).value_or("<no selection>");
}

class DialogXTest : public CameraTest {
 protected:
  void SetUp() override {
    useLanguage("C");
    ASSERT_TRUE(xvfb_.ok()) << xvfb_.error();
    CameraTest::SetUp();
  }
  XvfbServer xvfb_;
};

// Analog page: value groups in rows of 46 from y 45; edit boxes at x 353..417.
constexpr int kAnalogEditX = 385;
constexpr int analogRowY(int row) { return 45 + row * 46 + 30; }
constexpr int kAnalogOkX = 197;
constexpr int kAnalogCancelX = 302;
constexpr int kAnalogButtonY = 444;

TEST_F(DialogXTest, AnalogDialogSetsGainAndExposureAtOnceAndKeepsThemOnOk) {
  OwnerWindow owner(100, 80, 900, 800);
  ASSERT_NE(owner.id(), 0u);
  DialogCall call([&] { return Pelnik_SetAnalogDlg(handle_, static_cast<int>(owner.id())); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog) << "the analog dialog did not appear";

  // Transient for the owner and centred over it.
  EXPECT_EQ(transientFor(*dialog), owner.id());
  const auto geometry = windowGeometry(*dialog);
  ASSERT_TRUE(geometry);
  EXPECT_NEAR(geometry->x + geometry->width / 2, 100 + 450, 2);
  EXPECT_NEAR(geometry->y + geometry->height / 2, 80 + 400, 2);

  // The middle of the global gain slider.
  ASSERT_TRUE(clickAt(*dialog, 187, analogRowY(0)));
  EXPECT_TRUE(eventually([&] {
    const int gain = unit().registers().gainCode();
    return gain > 700 && gain < 1400;
  })) << "gain "
      << unit().registers().gainCode();

  // Typing 100 into the exposure edit box reaches the sensor at once.
  ASSERT_TRUE(typeInto(*dialog, kAnalogEditX, analogRowY(5), "100"));
  EXPECT_TRUE(eventually([&] { return unit().registers().exposureLines() == 100; }))
      << unit().registers().exposureLines();
  ASSERT_TRUE(pressKey("Tab"));
  EXPECT_EQ(shownText(*dialog, kAnalogEditX, analogRowY(5)), "100");

  // A typed gain beyond the sensor's range is taken as its maximum and
  // shown so once the box is left.
  ASSERT_TRUE(typeInto(*dialog, kAnalogEditX, analogRowY(0), "5000"));
  EXPECT_TRUE(eventually([&] { return unit().registers().gainCode() == 2047; }));
  ASSERT_TRUE(pressKey("Tab"));
  EXPECT_EQ(shownText(*dialog, kAnalogEditX, analogRowY(0)), "2047");

  ASSERT_TRUE(clickAt(*dialog, kAnalogOkX, kAnalogButtonY));
  EXPECT_EQ(call.wait(), 1);
  EXPECT_TRUE(waitForWindowGone(kTitle, kWaitMs));
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 100);
  EXPECT_EQ(Pelnik_GetGlobalGain(handle_, nullptr), 2047);
  EXPECT_EQ(unit().registers().exposureLines(), 100);
}

TEST_F(DialogXTest, AnalogDialogCancelGivesTheDeviceItsValuesBack) {
  ASSERT_EQ(Pelnik_SetExposureTime(handle_, 300), 1);
  ASSERT_EQ(Pelnik_SetGlobalGain(handle_, 40), 1);
  DialogCall call([&] { return Pelnik_SetAnalogDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(typeInto(*dialog, kAnalogEditX, analogRowY(5), "1234"));
  EXPECT_TRUE(eventually([&] { return unit().registers().exposureLines() == 1234; }));
  ASSERT_TRUE(clickAt(*dialog, 300, analogRowY(0)));  // far right of the gain slider
  EXPECT_TRUE(eventually([&] { return unit().registers().gainCode() > 1500; }));
  // Mirror V, below the value groups.
  ASSERT_TRUE(clickAt(*dialog, 40, 45 + 6 * 46 + 31));
  EXPECT_TRUE(eventually([&] { return Pelnik_GetMirrorV(handle_) == 1; }));

  ASSERT_TRUE(clickAt(*dialog, kAnalogCancelX, kAnalogButtonY));
  EXPECT_EQ(call.wait(), 1);
  EXPECT_EQ(unit().registers().exposureLines(), 300);
  EXPECT_EQ(unit().registers().gainCode(), 40);
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 300);
  EXPECT_EQ(Pelnik_GetMirrorV(handle_), 0);
}

TEST_F(DialogXTest, AnalogDialogShowsWhatTheAutoIrisSets) {
  ASSERT_EQ(Pelnik_SetExposureTime(handle_, 20000), 1);  // far too bright
  MessageTarget frames;
  std::vector<unsigned char> buffer(1280 * 1024 * 4);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, frames.window(), buffer.data(),
                                   static_cast<int>(buffer.size()), 0),
            1);
  DialogCall call([&] { return Pelnik_SetAnalogDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  ASSERT_EQ(Pelnik_SetAutoIris(handle_, 1), 1);
  EXPECT_TRUE(eventually([&] { return Pelnik_GetExposureTime(handle_, nullptr) < 10000; }));
  ASSERT_EQ(Pelnik_SetAutoIris(handle_, 0), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const int settled = Pelnik_GetExposureTime(handle_, nullptr);
  EXPECT_EQ(shownText(*dialog, kAnalogEditX, analogRowY(5)), std::to_string(settled));
  ASSERT_TRUE(clickAt(*dialog, kAnalogOkX, kAnalogButtonY));
  EXPECT_EQ(call.wait(), 1);
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), settled);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

// An FLTK application asks for a dialog from its own loop: the dialog nests
// in that loop (the application's timers keep running) and belongs to the
// application's window.
struct FltkApp {
  int handle = 0;
  int result = -1;
  unsigned long xid = 0;
  std::atomic<int> ticks{0};
  Fl_Window *window = nullptr;

  static void tick(void *data) {
    ++static_cast<FltkApp *>(data)->ticks;
    Fl::repeat_timeout(0.05, tick, data);
  }
  static void openDialog(void *data) {
    auto *app = static_cast<FltkApp *>(data);
    app->result = Pelnik_SetAnalogDlg(app->handle, static_cast<int>(app->xid));
    Fl::remove_timeout(tick, data);
    app->window->hide();
  }
};

TEST_F(DialogXTest, DialogOpenedFromAnFltkApplicationNestsInItsLoop) {
  FltkApp app;
  app.handle = handle_;
  Fl_Window window(200, 150, 640, 480, "Application");
  window.end();
  window.show();
  app.window = &window;
  app.xid = fl_xid(&window);
  Fl::add_timeout(0.05, FltkApp::tick, &app);
  Fl::add_timeout(0.2, FltkApp::openDialog, &app);

  std::atomic<int> ticksWhileOpen{-1};
  std::atomic<unsigned long> owner{0};
  std::thread driver([&] {
    const auto dialog = waitForWindow(kTitle, kWaitMs);
    if (!dialog) return;
    owner = transientFor(*dialog);
    const int before = app.ticks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ticksWhileOpen = app.ticks.load() - before;
    clickAt(*dialog, kAnalogCancelX, kAnalogButtonY);
  });
  Fl::run();
  driver.join();
  EXPECT_EQ(app.result, 1);
  EXPECT_EQ(owner.load(), app.xid);
  EXPECT_GT(ticksWhileOpen.load(), 3) << "the application's loop stood still";
}

TEST_F(DialogXTest, AServerThatGoesAwayClosesTheDialogNotTheProcess) {
  ASSERT_EQ(Pelnik_SetExposureTime(handle_, 300), 1);
  DialogCall call([&] { return Pelnik_SetAnalogDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(typeInto(*dialog, kAnalogEditX, analogRowY(5), "1234"));
  EXPECT_TRUE(eventually([&] { return unit().registers().exposureLines() == 1234; }));
  xvfb_.kill();
  EXPECT_EQ(call.wait(), 1);
  // Closed as Cancel: the exposure is given back.
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), 300);
  // Later dialogs find no display.
  owner_.drain();
  EXPECT_EQ(Pelnik_SetImageDlg(handle_, 0), 1);
  EXPECT_EQ(owner_.errorCodes(), std::vector<long>{4});
}

// Image filter page: rows of 46 from y 42; edit boxes at x 363..427.
constexpr int kImageEditX = 395;
constexpr int imageRowY(int row) { return 42 + row * 46 + 30; }

TEST_F(DialogXTest, ImageDialogWritesTheFilterAtOnceAndCancelRestoresIt) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
  ASSERT_EQ(Pelnik_SetBrightness(handle_, 10), 1);
  DialogCall call([&] { return Pelnik_SetImageDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(typeInto(*dialog, kImageEditX, imageRowY(1), "-50"));
  EXPECT_TRUE(eventually([&] { return Pelnik_GetContrast(handle_, nullptr) == -50; }))
      << Pelnik_GetContrast(handle_, nullptr) << " shown "
      << shownText(*dialog, kImageEditX, imageRowY(1));
  ASSERT_TRUE(clickAt(*dialog, 30, imageRowY(0)));  // brightness slider, far left
  EXPECT_TRUE(eventually([&] { return Pelnik_GetBrightness(handle_, nullptr) < -200; }));
  ASSERT_TRUE(pressKey("Escape"));  // closing counts as Cancel
  EXPECT_EQ(call.wait(), 1);
  EXPECT_EQ(Pelnik_GetContrast(handle_, nullptr), 0);
  EXPECT_EQ(Pelnik_GetBrightness(handle_, nullptr), 10);
}

TEST_F(DialogXTest, ImageDialogOkKeepsTypedValuesClampedToTheirRange) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
  DialogCall call([&] { return Pelnik_SetImageDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(typeInto(*dialog, kImageEditX, imageRowY(4), "99"));  // sharpness 0..30
  ASSERT_TRUE(pressKey("Tab"));
  EXPECT_EQ(shownText(*dialog, kImageEditX, imageRowY(4)), "30");
  ASSERT_TRUE(typeInto(*dialog, kImageEditX, imageRowY(8), "150"));  // gamma
  ASSERT_TRUE(clickAt(*dialog, 207, 579));                           // OK
  EXPECT_EQ(call.wait(), 1);
  EXPECT_EQ(Pelnik_GetSharpness(handle_, nullptr), 30);
  EXPECT_EQ(Pelnik_GetGamma(handle_, nullptr), 150);
}

TEST_F(DialogXTest, ImageDialogGreyPageOfAMonochromeCamera) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  ASSERT_EQ(Pelnik_SetGrayGainR(handle_, 128), 1);
  DialogCall call([&] { return Pelnik_SetImageDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(clickAt(*dialog, 130, 22));  // the "Gray Filter" tab
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(typeInto(*dialog, kImageEditX, imageRowY(0), "300"));  // Gain Red
  EXPECT_TRUE(eventually([&] { return Pelnik_GetGrayGainR(handle_, nullptr) == 300; }))
      << Pelnik_GetGrayGainR(handle_, nullptr);
  ASSERT_TRUE(clickAt(*dialog, 207, 579));  // OK
  EXPECT_EQ(call.wait(), 1);
  EXPECT_EQ(Pelnik_GetGrayGainR(handle_, nullptr), 300);
}

// Camera dialog: the effective-size edit boxes and the buttons.
constexpr int kHEffectiveX = 170;
constexpr int kVEffectiveX = 370;
constexpr int kEffectiveY = 242;
constexpr int kWaitTimeX = 170;
constexpr int kWaitTimeY = 307;
constexpr int kCameraOkX = 167;
constexpr int kCameraButtonY = 414;

void setSizeAndAccept(unsigned long dialog, const std::string &width, const std::string &height) {
  ASSERT_TRUE(typeInto(dialog, kHEffectiveX, kEffectiveY, width));
  ASSERT_TRUE(typeInto(dialog, kVEffectiveX, kEffectiveY, height));
  ASSERT_TRUE(clickAt(dialog, kCameraOkX, kCameraButtonY));
}

TEST_F(DialogXTest, CameraDialogOkReloadsTheFormatAndRestartsStreaming) {
  MessageTarget frames;
  std::vector<unsigned char> buffer(1280 * 1024 * 8);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, frames.window(), buffer.data(),
                                   static_cast<int>(buffer.size()), 0),
            1);
  ASSERT_TRUE(frames.next(10000)) << "no frame before the dialog";

  DialogCall call([&] { return Pelnik_SetCameraDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(typeInto(*dialog, kWaitTimeX, kWaitTimeY, "5"));
  setSizeAndAccept(*dialog, "640", "480");
  EXPECT_EQ(call.wait(), 1);

  EXPECT_EQ(Pelnik_Width(handle_), 640);
  EXPECT_EQ(Pelnik_Height(handle_), 480);
  EXPECT_EQ(Pelnik_GetWaitTime(handle_), 5);
  frames.drain();
  bool sawNewSize = false;
  for (int i = 0; i < 20 && !sawNewSize; ++i) {
    const auto m = frames.next(20000);  // generous for a loaded sanitizer build
    if (!m) Pelnik_StopPreview(handle_);
    ASSERT_TRUE(m) << "streaming did not restart";
    if (m->message != kFrameMessage || m->wParam == 0) continue;
    const PelnikFrameInfo info = copyFrameRecord(reinterpret_cast<PelnikFrameInfo *>(m->wParam));
    sawNewSize = info.width == 640 && info.height == 480;
  }
  EXPECT_TRUE(sawNewSize);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

// A stream another thread starts while the dialog is open is the newer
// one: OK must neither change the window under its reads nor point it back
// at the buffer and window of the stream the dialog stopped.
TEST_F(DialogXTest, CameraDialogLeavesAStreamStartedMeanwhileAlone) {
  // No preview window: one mapped over the dialog would take the clicks.
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, 0, 0, 0, 0, 0), 1);
  MessageTarget before;
  std::vector<unsigned char> oldBuffer(1280 * 1024 * 8);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, before.window(), oldBuffer.data(),
                                   static_cast<int>(oldBuffer.size()), 0),
            1);
  ASSERT_TRUE(before.next(10000)) << "no frame before the dialog";

  DialogCall call([&] { return Pelnik_SetCameraDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  MessageTarget meanwhile;
  std::vector<unsigned char> newBuffer(1280 * 1024 * 8);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, meanwhile.window(), newBuffer.data(),
                                   static_cast<int>(newBuffer.size()), 0),
            1);
  ASSERT_TRUE(meanwhile.next(10000)) << "the stream started meanwhile delivers nothing";
  setSizeAndAccept(*dialog, "640", "480");
  EXPECT_EQ(call.wait(), 1);

  before.drain();
  meanwhile.drain();
  int delivered = 0;
  for (int i = 0; i < 10 && delivered < 3; ++i) {
    const auto m = meanwhile.next(2000);
    if (!m || m->message != kFrameMessage || m->wParam == 0) continue;
    const PelnikFrameInfo info = copyFrameRecord(reinterpret_cast<PelnikFrameInfo *>(m->wParam));
    EXPECT_EQ(info.width, Pelnik_Width(handle_)) << "the window changed under the stream";
    EXPECT_EQ(info.height, Pelnik_Height(handle_));
    ++delivered;
  }
  EXPECT_EQ(delivered, 3) << "the stream started meanwhile stopped delivering";
  int strayFrames = 0;
  for (const pelnik::test::TargetMessage &m : before.drain())
    if (m.message == kFrameMessage) ++strayFrames;
  EXPECT_EQ(strayFrames, 0) << "frames went to the stopped stream's window and buffer";
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(DialogXTest, CameraDialogRestartsATriggerLoopWithTheNewFormat) {
  MessageTarget frames;
  std::vector<unsigned char> buffer(1280 * 1024 * 8);
  ASSERT_EQ(
      Pelnik_Trigger(handle_, frames.window(), buffer.data(), static_cast<int>(buffer.size()), 0),
      1);
  DialogCall call([&] { return Pelnik_SetCameraDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  setSizeAndAccept(*dialog, "320", "240");
  EXPECT_EQ(call.wait(), 1);

  frames.drain();
  bool delivered = false;
  for (int i = 0; i < 10 && !delivered; ++i) {
    unit().trigger();
    const auto m = frames.next(2000);
    if (!m || m->message != kFrameMessage || m->wParam == 0) continue;
    const PelnikFrameInfo info = copyFrameRecord(reinterpret_cast<PelnikFrameInfo *>(m->wParam));
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    delivered = true;
  }
  EXPECT_TRUE(delivered) << "the trigger loop did not come back";
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(DialogXTest, CameraDialogPreparesACaptureAgainWithTheNewFormat) {
  ASSERT_EQ(Pelnik_Capture(handle_), 1);
  DialogCall call([&] { return Pelnik_SetCameraDlg(handle_, 0); });
  const auto dialog = waitForWindow(kTitle, kWaitMs);
  ASSERT_TRUE(dialog);
  setSizeAndAccept(*dialog, "640", "480");
  EXPECT_EQ(call.wait(), 1);
  // Still prepared (a second Capture answers 1 at once) and snapshots have
  // the new size.
  EXPECT_EQ(Pelnik_Capture(handle_), 1);
  std::vector<unsigned char> picture(640 * 480 * 3 + 4096);
  EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), static_cast<int>(picture.size()), 0), 1);
  EXPECT_EQ(Pelnik_Width(handle_), 640);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

}  // namespace
}  // namespace pelnik::test
