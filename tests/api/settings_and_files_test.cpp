// Settings that survive, configuration files and still images, through the
// public interface against the virtual camera.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/exports_camera_support.h"
#include "platform/settings_store.h"
#include "support/test_environment.h"

namespace pelnik::test {
namespace {

namespace fs = std::filesystem;

std::string runAndRead(const std::string &command) {
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  char chunk[256];
  while (pipe && fgets(chunk, sizeof chunk, pipe.get())) out += chunk;
  return out;
}

std::string storePath() { return platform::SettingsFile::userStorePath(); }

class SettingsThroughExports : public CameraTest {};

TEST_F(SettingsThroughExports, ValuesSetHereComeBackInANewProcess) {
  ASSERT_EQ(Pelnik_SetGamma(handle_, 135), 1);
  ASSERT_EQ(Pelnik_SetGlobalGain(handle_, 40), 1);
  ASSERT_EQ(Pelnik_SetExposureTime(handle_, 700), 1);
  ASSERT_EQ(Pelnik_SetMirrorV(handle_, 1), 1);
  ASSERT_EQ(Pelnik_Release(handle_), 1);
  handles_.clear();
  // The colour mode is a format value, stored by the camera dialog only: the
  // new process sees the stored default, 24.
  EXPECT_EQ(runAndRead(helperCommandLine("tests/settings_probe")), "135 40 700 1 24\n");
  EXPECT_NE(std::ifstream(storePath()).peek(), EOF);
}

TEST_F(SettingsThroughExports, SwitchingCamerasSavesTheOldAndLoadsTheNew) {
  for (int h : handles_) Pelnik_Release(h);
  handles_.clear();
  virtual_.reset();
  CameraSetup two;
  two.cameras = {0, 2};
  startCameras(two);
  handle_ = openCamera();
  ASSERT_EQ(Pelnik_SetGamma(handle_, 130), 1);
  ASSERT_EQ(Pelnik_SetDeviceNumber(handle_, 2), 1);
  EXPECT_EQ(Pelnik_GetGamma(handle_, nullptr), 100) << "camera 2 has nothing stored";
  ASSERT_EQ(Pelnik_SetGamma(handle_, 140), 1);
  ASSERT_EQ(Pelnik_SetDeviceNumber(handle_, 0), 1);
  EXPECT_EQ(Pelnik_GetGamma(handle_, nullptr), 130);
  ASSERT_EQ(Pelnik_SetDeviceNumber(handle_, 2), 1);
  EXPECT_EQ(Pelnik_GetGamma(handle_, nullptr), 140);
}

TEST_F(SettingsThroughExports, CaptureWindowPresetsComeFromTheCamerasOwnKey) {
  // A preset stored beside the defaults the first open wrote.
  ASSERT_EQ(Pelnik_Release(handle_), 1);
  handles_.clear();
  std::string text;
  {
    std::ifstream in(storePath(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    text = s.str();
  }
  ASSERT_FALSE(text.empty());
  text +=
      "\n[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00\\Size_01]\n"
      "\"TH\"=dword:00000500\n\"TV\"=dword:00000400\n\"EH\"=dword:00000280\n"
      "\"EV\"=dword:000001e0\n\"EHS\"=dword:00000010\n\"EVS\"=dword:00000008\n"
      "\"Buf\"=dword:00000004\n";
  std::ofstream(storePath(), std::ios::binary | std::ios::trunc) << text;
  handle_ = openCamera();
  EXPECT_EQ(Pelnik_SetCaptureWindow(handle_, 640, 480), 1) << popErrors(handle_).size();
  EXPECT_EQ(Pelnik_Width(handle_), 640);
  EXPECT_EQ(Pelnik_Height(handle_), 480);
  int values[6] = {};
  Pelnik_GetCaptureWindowEx(handle_, &values[0], &values[1], &values[2], &values[3], &values[4],
                            &values[5]);
  EXPECT_EQ(values[1], 16);
  EXPECT_EQ(values[4], 8);
  EXPECT_EQ(Pelnik_SetCaptureWindow(handle_, 123, 45), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{4});
  EXPECT_EQ(Pelnik_Width(handle_), 640) << "a missing preset keeps the geometry";
}

TEST_F(SettingsThroughExports, ConfigurationFilesFailCleanly) {
  EXPECT_EQ(Pelnik_LoadConfigFileA(handle_, (isolationRoot() + "/missing.cfg").c_str()), 0);
  const std::string path = isolationRoot() + "/camera.cfg";
  std::ofstream(path, std::ios::binary) << std::string(20, '\1');
  EXPECT_EQ(Pelnik_LoadConfigFileA(handle_, path.c_str()), 1);
  const char16_t unpaired[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(Pelnik_LoadConfigFileW(handle_, unpaired), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{12});
}

// ---- still images of acquired pictures ----

class StillImagesThroughExports : public CameraTest {
 protected:
  int stride(int bits) const { return (Pelnik_Width(handle_) * bits / 8 + 3) & ~3; }
  std::vector<unsigned char> snapshot(int bits) {
    std::vector<unsigned char> picture(static_cast<std::size_t>(stride(bits)) *
                                       Pelnik_Height(handle_));
    EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), static_cast<int>(picture.size()), 1), 1)
        << popErrors(handle_).size();
    return picture;
  }
  // Compares what OpenCV decodes from `image` with the picture's memory rows
  // (top line first, blue first, 16-bit samples scaled by `scale`).
  void expectDecodedEquals(const std::string &image, const std::vector<unsigned char> &picture,
                           int bits, int channels, int scale = 1, int compared = 0) {
    const std::string samples = image + ".samples";
    std::ofstream(samples, std::ios::binary)
        .write(reinterpret_cast<const char *>(picture.data()),
               static_cast<std::streamsize>(picture.size()));
    std::ostringstream script;
    script << "import cv2, numpy as np, sys\n"
           << "w, h, s, c = " << Pelnik_Width(handle_) << ", " << Pelnik_Height(handle_) << ", "
           << stride(bits) << ", " << channels << "\n"
           << "raw = np.fromfile('" << samples << "', dtype=np.uint8).reshape(h, s)\n"
           << "dt = np.uint16 if " << bits << " in (16, 48, 64) else np.uint8\n"
           << "size = np.dtype(dt).itemsize\n"
           << "rows = raw[:, :w * c * size].copy().view(dt).reshape(h, w, c).astype(np.int64)\n"
           << "img = cv2.imread('" << image << "', cv2.IMREAD_UNCHANGED)\n"
           << "if img is None: sys.exit('unreadable')\n"
           << "img = img.reshape(h, w, -1).astype(np.int64)\n"
           << "img = img[:, :, :" << (compared ? compared : channels) << "]\n"
           << "want = rows[:, :, :img.shape[2]] * " << scale << "\n"
           << "if img.shape != want.shape: sys.exit(f'shape {img.shape} vs {want.shape}')\n"
           << "bad = np.argwhere(img != want)\n"
           << "if len(bad): sys.exit(f'first difference at {tuple(bad[0])}')\n"
           << "print('same')\n";
    const std::string scriptPath = image + ".py";
    std::ofstream(scriptPath) << script.str();
    EXPECT_EQ(runAndRead("/usr/bin/python3 " + scriptPath + " 2>&1"), "same\n") << image;
  }
  std::string file(const std::string &name) { return isolationRoot() + "/" + name; }
};

TEST_F(StillImagesThroughExports, SaveBeforeTheFirstFrameFailsButTheWideFormWritesTheBlankBuffer) {
  // Prepared for pictures, none taken yet.
  ASSERT_EQ(Pelnik_Capture(handle_), 1);
  EXPECT_EQ(Pelnik_SaveImage(handle_, file("early.bmp").c_str(), 0), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{1});
  EXPECT_FALSE(fs::exists(file("early.bmp")));
  const std::u16string wide = u"early-wide.bmp";
  const std::u16string path =
      std::u16string(isolationRoot().begin(), isolationRoot().end()) + u"/" + wide;
  // The wide form has no first-frame check: it saves the blank picture.
  ASSERT_EQ(Pelnik_SaveImageW(handle_, path.c_str(), 0), 1) << popErrors(handle_).size();
  EXPECT_EQ(fs::file_size(file("early-wide.bmp")), 3932214u);
}

TEST_F(StillImagesThroughExports, WideNamesArriveAsUtf8AndUnpairedSurrogatesFail) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  snapshot(8);
  const std::u16string root(isolationRoot().begin(), isolationRoot().end());
  const std::u16string name = root + u"/Bild-\u00e4\u6f22.png";
  ASSERT_EQ(Pelnik_SaveImageW(handle_, name.c_str(), 5), 1);
  EXPECT_TRUE(fs::exists(file("Bild-\xc3\xa4\xe6\xbc\xa2.png")));
  const std::u16string broken = root + u"/x" + char16_t(0xDC00) + u".png";
  EXPECT_EQ(Pelnik_SaveImageW(handle_, broken.c_str(), 5), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{1});
}

// The encoder works on a copy taken under the frame lock: a call that needs
// the lock (GetImage) gets it while the PNG is still being written. Had the
// save held the lock, the file would be complete when GetImage returns.
TEST_F(StillImagesThroughExports, EncodingRunsOutsideTheFrameLock) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 64), 1);
  std::vector<unsigned char> picture = snapshot(64);
  const std::string name = file("outside.png");
  std::thread saver([&] { EXPECT_EQ(Pelnik_SaveImage(handle_, name.c_str(), 5), 1); });
  while (!fs::exists(name)) std::this_thread::yield();
  EXPECT_EQ(Pelnik_GetImage(handle_, picture.data(), static_cast<int>(picture.size()), 1), 1);
  const auto sizeWhenLockFree = fs::file_size(name);
  saver.join();
  EXPECT_LT(sizeWhenLockFree, fs::file_size(name));
  expectDecodedEquals(name, picture, 64, 4, 64, 3);
}

TEST_F(StillImagesThroughExports, AcquiredColourPicturesReadBackExactly) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
  const auto picture = snapshot(24);
  for (const auto &[name, format] : {std::pair{"c24.bmp", 0}, {"c24.png", 5}, {"c24.tif", 6}}) {
    ASSERT_EQ(Pelnik_SaveImage(handle_, file(name).c_str(), format), 1) << name;
    expectDecodedEquals(file(name), picture, 24, 3);
  }
}

TEST_F(StillImagesThroughExports, AcquiredGreyAndWidePicturesReadBackExactly) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  const auto grey = snapshot(8);
  ASSERT_EQ(Pelnik_SaveImage(handle_, file("g8.png").c_str(), 5), 1);
  expectDecodedEquals(file("g8.png"), grey, 8, 1);
  ASSERT_EQ(Pelnik_SaveImage(handle_, file("g8.tif").c_str(), 6), 1);
  expectDecodedEquals(file("g8.tif"), grey, 8, 1);

  ASSERT_EQ(Pelnik_SetColorMode(handle_, 64), 1);
  const auto wide = snapshot(64);
  // 16-bit PNG samples are the stored 10-bit values times 64 (colour only:
  // the alpha rule is the writer's own).
  ASSERT_EQ(Pelnik_SaveImage(handle_, file("c64.png").c_str(), 5), 1);
  expectDecodedEquals(file("c64.png"), wide, 64, 4, 64, 3);
}

TEST_F(StillImagesThroughExports, UnknownFormatCodesWriteNothing) {
  snapshot(24);
  for (int format : {7, -1}) {
    EXPECT_EQ(Pelnik_SaveImage(handle_, file("none.img").c_str(), format), 0);
    EXPECT_FALSE(fs::exists(file("none.img")));
  }
}

}  // namespace
}  // namespace pelnik::test
