// The control socket and the ctl command line, and scenes from the user's
// picture files.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/test_environment.h"
#include "virtcam/virtual_camera.h"

namespace {

using namespace pelnik::virtcam;
namespace fs = std::filesystem;

int runCtl(const std::string &arguments) {
  const std::string command =
      pelnik::test::helperCommandLine("pelnik-virtcam") + " ctl " + arguments + " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Control, ActionsReachTheRunningInstance) {
  VirtualCameraOptions options;
  options.cameras = {0, 2};
  VirtualCamera camera(options);
  ASSERT_TRUE(camera.ok()) << camera.error();
  std::string message;
  ASSERT_TRUE(sendControlCommand(camera.directory(), ControlAction::Unplug, 2, message)) << message;
  EXPECT_TRUE(camera.camera(2)->unplugged());
  EXPECT_FALSE(fs::exists(camera.socketPath(2)));
  EXPECT_TRUE(fs::exists(camera.socketPath(0)));
  EXPECT_TRUE(sendControlCommand(camera.directory(), ControlAction::Heal, 2, message));
  EXPECT_FALSE(camera.camera(2)->unplugged());
  EXPECT_TRUE(fs::exists(camera.socketPath(2)));
  EXPECT_FALSE(sendControlCommand(camera.directory(), ControlAction::Stall, 1, message));
  EXPECT_NE(message.find("not served"), std::string::npos) << message;
}

TEST(Control, CommandLineExitStatus) {
  {
    VirtualCameraOptions options;
    options.cameras = {0, 2};
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.ok()) << camera.error();
    EXPECT_EQ(runCtl("fail-commands 0"), 0);
    EXPECT_EQ(runCtl("short-reads 2"), 0);
    EXPECT_EQ(runCtl("trigger 2"), 0);
    EXPECT_NE(runCtl("stall 1"), 0);    // not served
    EXPECT_NE(runCtl("explode 0"), 0);  // no such action
    EXPECT_NE(runCtl("stall 40"), 0);   // no such camera number
    EXPECT_NE(runCtl("stall"), 0);
    EXPECT_EQ(runCtl("heal 0"), 0);
  }
  EXPECT_NE(runCtl("heal 0"), 0);  // nothing runs any more
}

TEST(Control, ASecondInstanceDoesNotTakeOverServedSockets) {
  VirtualCamera first(VirtualCameraOptions{});
  ASSERT_TRUE(first.ok());
  VirtualCamera second(VirtualCameraOptions{});
  EXPECT_FALSE(second.ok());
  EXPECT_TRUE(fs::exists(first.socketPath(0)));
}

TEST(Control, StoppingRemovesTheSockets) {
  std::string zero, control;
  {
    VirtualCamera camera(VirtualCameraOptions{});
    zero = camera.socketPath(0);
    control = controlSocketPath(camera.directory());
    EXPECT_TRUE(fs::exists(zero));
    EXPECT_TRUE(fs::exists(control));
  }
  EXPECT_FALSE(fs::exists(zero));
  EXPECT_FALSE(fs::exists(control));
}

void writePng(const std::string &file, int width, int height, std::uint8_t r, std::uint8_t g,
              std::uint8_t b) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = std::uint32_t(width);
  image.height = std::uint32_t(height);
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> pixels;
  for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {r, g, b});
  ASSERT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, pixels.data(), 0, nullptr));
}

void writeTiff(const std::string &file, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  TIFF *tiff = TIFFOpen(file.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 2);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  std::uint8_t row[6] = {r, g, b, r, g, b};
  TIFFWriteScanline(tiff, row, 0, 0);
  TIFFClose(tiff);
}

// A bottom-up 24-bit BMP, 2 x 2: top row red, bottom row blue.
void writeBmp(const std::string &file) {
  std::vector<std::uint8_t> data(54 + 16, 0);
  auto le32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
  };
  data[0] = 'B';
  data[1] = 'M';
  le32(2, std::uint32_t(data.size()));
  le32(10, 54);
  le32(14, 40);
  le32(18, 2);
  le32(22, 2);
  data[26] = 1;
  data[28] = 24;
  const std::uint8_t bottom[8] = {255, 0, 0, 255, 0, 0, 0, 0};  // blue (BGR), padded
  const std::uint8_t top[8] = {0, 0, 255, 0, 0, 255, 0, 0};     // red
  std::copy(bottom, bottom + 8, data.begin() + 54);
  std::copy(top, top + 8, data.begin() + 62);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

TEST(Scenes, PictureFilesOfEachFormatAreRead) {
  const std::string dir = pelnik::test::isolationRoot();
  ScenePicture picture;
  std::string error;
  writePng(dir + "/a.png", 3, 2, 255, 128, 0);
  ASSERT_TRUE(loadPicture(dir + "/a.png", picture, error)) << error;
  EXPECT_EQ(picture.width, 3);
  EXPECT_EQ(picture.at(0, 2, 1), kFullReflectance);
  EXPECT_NEAR(picture.at(1, 0, 0), kFullReflectance / 2, 20);
  EXPECT_EQ(picture.at(2, 0, 0), 0);

  writeTiff(dir + "/b.tif", 0, 255, 0);
  ASSERT_TRUE(loadPicture(dir + "/b.tif", picture, error)) << error;
  EXPECT_EQ(picture.width, 2);
  EXPECT_EQ(picture.at(1, 1, 0), kFullReflectance);
  EXPECT_EQ(picture.at(0, 1, 0), 0);

  writeBmp(dir + "/c.bmp");
  ASSERT_TRUE(loadPicture(dir + "/c.bmp", picture, error)) << error;
  EXPECT_EQ(picture.at(0, 0, 0), kFullReflectance);  // top row red
  EXPECT_EQ(picture.at(2, 0, 0), 0);
  EXPECT_EQ(picture.at(2, 1, 1), kFullReflectance);  // bottom row blue

  std::ofstream(dir + "/d.bmp") << "BM nonsense";
  EXPECT_FALSE(loadPicture(dir + "/d.bmp", picture, error));
  EXPECT_FALSE(error.empty());
}

TEST(Scenes, ADirectoryIsPlayedInNameOrderWithTheAspectKept) {
  const std::string dir = pelnik::test::isolationRoot() + "/scene";
  fs::create_directories(dir);
  writePng(dir + "/2.png", 2, 1, 0, 0, 255);
  writePng(dir + "/1.png", 2, 1, 255, 0, 0);
  std::ofstream(dir + "/notes.txt") << "ignored";
  std::string error;
  const auto scene = loadSceneFrom(dir, error);
  ASSERT_TRUE(scene) << error;
  const int middle = kSensorHeight / 2;
  EXPECT_EQ(scene->picture(1).at(0, 640, middle), kFullReflectance);  // red first
  EXPECT_EQ(scene->picture(2).at(2, 640, middle), kFullReflectance);  // then blue
  EXPECT_EQ(&scene->picture(3), &scene->picture(1));
  // 2:1 in 1280 x 1024: 640 rows of picture, black bands above and below.
  EXPECT_EQ(scene->picture(1).at(0, 640, 100), 0);
  EXPECT_EQ(scene->picture(1).at(0, 640, 192), kFullReflectance);
  EXPECT_EQ(scene->picture(1).at(0, 640, 191), 0);

  fs::create_directories(dir + "/empty");
  EXPECT_FALSE(loadSceneFrom(dir + "/empty", error));
}

}  // namespace
