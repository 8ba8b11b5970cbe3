// Pelnik_Record and Pelnik_RecordW against an embedded virtual camera: the
// movies are read by ffprobe and decoded by ffmpeg, and every decoded frame
// of a still scene must equal this test's own conversion of the picture
// Pelnik_GetImage returns; recordings stopped, released, on a full disk, on
// an unwritable path or under a non-ASCII name; refusals that leave a
// running stream alone.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/call_frame.h"
#include "exports_camera_support.h"
#include "output/avi_writer.h"
#include "platform/text_convert.h"
#include "support/file_bytes.h"
#include "support/small_file_system.h"
#include "support/test_environment.h"
#include "virtcam/control.h"
#include "virtcam/scene.h"

namespace {

using pelnik::test::littleU32;
using pelnik::test::readFileBytes;

using namespace std::chrono_literals;
using pelnik::test::CameraSetup;
using pelnik::test::CameraTest;
using pelnik::test::MessageTarget;
using pelnik::test::popErrors;
namespace virtcam = pelnik::virtcam;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr std::uint64_t kFullFrameChunk = 3932160 + 8;

// Colour bars over ramps, with fine detail: every channel and bit matters.
std::shared_ptr<const virtcam::Scene> chartScene() {
  virtcam::ScenePicture picture(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const auto ramp = std::uint16_t(x * 3);
      const int bar = (y / 128) % 4;
      const auto detail = std::uint16_t(((x / 3 + y / 5) % 2) * 400);
      picture.set(x, y, std::uint16_t(bar == 1 ? 3000 : std::min(ramp + detail, 4000)),
                  std::uint16_t(bar == 2 ? 2800 : ramp), std::uint16_t(bar == 3 ? 3500 : y * 3));
    }
  return virtcam::makeStillScene(std::move(picture));
}

std::string tempPath(const std::string &name) { return pelnik::test::isolationRoot() + "/" + name; }

std::string readText(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::uint64_t fileSize(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_size) : 0;
}

// What the file's own header says.
struct Header {
  std::uint32_t riffSize, frames, length, width, height, scale, rate, frameBytes;
};
Header headerOf(const std::vector<std::uint8_t> &f) {
  return {littleU32(f, 4),  littleU32(f, 48),  littleU32(f, 140), littleU32(f, 64),
          littleU32(f, 68), littleU32(f, 128), littleU32(f, 132), littleU32(f, 60) - 8};
}

// A finished movie: sizes and counts agree with what is in the file.
void expectComplete(const std::string &path, std::uint32_t frames) {
  const auto f = readFileBytes(path);
  ASSERT_GE(f.size(), 240u);
  const Header h = headerOf(f);
  EXPECT_EQ(h.riffSize, f.size() - 8);
  EXPECT_EQ(h.frames, frames);
  EXPECT_EQ(h.length, frames);
  EXPECT_EQ(f.size(), 232 + std::uint64_t(frames) * (h.frameBytes + 8) + 8 + 16 * frames);
}

struct Probe {
  std::string codec;
  int width = 0, height = 0;
  long frames = -1;
  double rate = 0;
  std::string errors;
};

// ffprobe's view: the stream and the frames it counts by reading them.
Probe probe(const std::string &path) {
  const std::string out = path + ".probe", err = path + ".probe-errors";
  const std::string command =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=codec_name,width,height,nb_read_frames,r_frame_rate -of default=nw=1 '" +
      path + "' >'" + out + "' 2>'" + err + "'";
  Probe p;
  if (std::system(command.c_str()) != 0) p.errors = "ffprobe failed. ";
  std::istringstream lines(readText(out));
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "codec_name") p.codec = value;
    if (key == "width") p.width = std::stoi(value);
    if (key == "height") p.height = std::stoi(value);
    if (key == "nb_read_frames") p.frames = std::stol(value);
    if (key == "r_frame_rate") {
      const auto slash = value.find('/');
      p.rate = std::stod(value.substr(0, slash)) / std::stod(value.substr(slash + 1));
    }
  }
  p.errors += readText(err);
  return p;
}

// Every frame decoded by ffmpeg: top line first, blue, green, red, no padding.
std::vector<std::uint8_t> decode(const std::string &path, std::string &errors) {
  const std::string out = path + ".bgr", err = path + ".decode-errors";
  const std::string command = "ffmpeg -nostdin -v error -i '" + path +
                              "' -f rawvideo -pix_fmt bgr24 -y '" + out + "' 2>'" + err + "'";
  errors = std::system(command.c_str()) == 0 ? "" : "ffmpeg failed. ";
  errors += readText(err);
  auto frames = readFileBytes(out);
  std::filesystem::remove(out);
  return frames;
}

int outputBitsOf(int setBits) { return setBits == 16 ? 16 : setBits; }

// The recorded frame of a picture as the conversion table gives it, rows
// top first here (the decoder undoes the file's bottom-up order): 8-bit
// grey through its grey ramp, 16-bit and 48/64-bit samples by bits 2-9,
// colour bytes blue, green, red with a fourth byte or sample dropped.
std::vector<std::uint8_t> expectedFrame(const std::vector<std::uint8_t> &picture, int bits,
                                        int width, int height) {
  const int stride = (width * bits / 8 + 3) / 4 * 4;
  std::vector<std::uint8_t> frame(std::size_t(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t *in = picture.data() + std::size_t(y) * stride;
      std::uint8_t *out = frame.data() + (std::size_t(y) * width + x) * 3;
      auto sample16 = [&](int i) { return unsigned(in[2 * i] | in[2 * i + 1] << 8); };
      switch (bits) {
        case 8:
          out[0] = out[1] = out[2] = in[x];
          break;
        case 16:
          out[0] = out[1] = out[2] = std::uint8_t(sample16(x) >> 2);
          break;
        case 24:
        case 32:
          for (int c = 0; c < 3; ++c) out[c] = in[x * (bits / 8) + c];
          break;
        default:
          for (int c = 0; c < 3; ++c) out[c] = std::uint8_t(sample16(x * (bits / 16) + c) >> 2);
          break;
      }
    }
  return frame;
}

bool nearStamp(int row, int height, int column) {
  return (row < 4 || row >= height - 4) && column < 16;
}

// ffmpeg decodes `frames` frames without error, each equal to `expected`
// outside the frame stamp.
void expectEveryFrame(const std::string &path, std::uint32_t frames,
                      const std::vector<std::uint8_t> &expected, int width, int height) {
  std::string errors;
  const auto decoded = decode(path, errors);
  EXPECT_EQ(errors, "");
  const std::size_t frameBytes = std::size_t(width) * height * 3;
  ASSERT_EQ(decoded.size(), frameBytes * frames);
  for (std::uint32_t k = 0; k < frames; ++k) {
    std::size_t differences = 0;
    const std::uint8_t *got = decoded.data() + k * frameBytes;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        if (nearStamp(y, height, x)) continue;
        const std::size_t at = (std::size_t(y) * width + x) * 3;
        if (!std::equal(got + at, got + at + 3, expected.begin() + long(at))) ++differences;
      }
    EXPECT_EQ(differences, 0u) << "frame " << k;
  }
}

class Recording : public CameraTest {
 protected:
  void SetUp() override {}
  void open(CameraSetup setup = {}) {
    if (!setup.scene) setup.scene = chartScene();
    startCameras(setup);
    handle_ = openCamera();
    ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  }

  // Waits for the end-of-recording message; nullopt when none comes.
  std::optional<pelnik::test::TargetMessage> recordingEnd(int timeoutMs = 20000) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      const auto m = owner_.next(timeoutMs > 0 ? 100 : 0);
      if (m && m->message == PELNIK_WM_RECORD_END) return m;
      if (!m && timeoutMs == 0) break;
    } while (std::chrono::steady_clock::now() < giveUp);
    return std::nullopt;
  }
  // Waits until the file holds at least `frames` full-frame chunks.
  bool waitForFrames(const std::string &path, std::uint64_t frames) {
    for (int i = 0; i < 2000; ++i) {
      if (fileSize(path) >= 232 + frames * kFullFrameChunk) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
};

struct ModeCase {
  int set;
  int x, y, width, height;
};

void PrintTo(const ModeCase &c, std::ostream *out) {
  *out << "colour " << c.set << ", " << c.width << " x " << c.height;
}

class RecordingReaders : public Recording, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(RecordingReaders, IndependentReadersDecodeThePictureGetImageReturns) {
  const ModeCase mode = GetParam();
  open();
  ASSERT_EQ(Pelnik_SetColorMode(handle_, mode.set), 1);
  ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, mode.x, mode.width, 1024, mode.y, mode.height),
            1);
  const std::string path = tempPath("colour" + std::to_string(mode.set) + ".avi");
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), 250, 0), 1)
      << ::testing::PrintToString(popErrors(handle_));
  const auto end = recordingEnd();
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->wParam, std::uintptr_t(PELNIK_RECORD_END_DURATION));
  const auto frames = std::uint32_t(end->lParam);
  EXPECT_GE(frames, 2u);

  // The picture of the still scene the acquisition made last.
  const int bits = outputBitsOf(mode.set);
  const int stride = (mode.width * bits / 8 + 3) / 4 * 4;
  std::vector<std::uint8_t> picture(std::size_t(stride) * mode.height);
  ASSERT_EQ(Pelnik_GetImage(handle_, picture.data(), int(picture.size()), 1), 1);
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});

  expectComplete(path, frames);
  const Header header = headerOf(readFileBytes(path));
  const Probe p = probe(path);
  EXPECT_EQ(p.errors, "");
  EXPECT_EQ(p.codec, "rawvideo");
  EXPECT_EQ(p.width, mode.width);
  EXPECT_EQ(p.height, mode.height);
  EXPECT_EQ(p.frames, long(frames));
  EXPECT_NEAR(p.rate, double(header.rate) / double(header.scale), 1e-6 * p.rate);

  expectEveryFrame(path, frames, expectedFrame(picture, bits, mode.width, mode.height), mode.width,
                   mode.height);
  std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    ColourModes, RecordingReaders,
    ::testing::Values(ModeCase{8, 0, 0, 1280, 1024}, ModeCase{16, 0, 0, 1280, 1024},
                      ModeCase{24, 0, 0, 1280, 1024}, ModeCase{32, 0, 0, 1280, 1024},
                      ModeCase{48, 0, 0, 1280, 1024}, ModeCase{64, 0, 0, 1280, 1024},
                      // Rows of 3 x 1277 bytes are padded in the file.
                      ModeCase{24, 3, 5, 1277, 1001}),
    [](const ::testing::TestParamInfo<ModeCase> &param) {
      return "Colour" + std::to_string(param.param.set) + "Width" +
             std::to_string(param.param.width);
    });

TEST_F(Recording, StoppedEarlyTheFileIsCompleteBeforeTheStopReturns) {
  open();
  const std::string path = tempPath("stopped.avi");
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), 600000, 0), 1);
  ASSERT_TRUE(waitForFrames(path, 3));
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  // No waiting: the stop has finished the file.
  const Header header = headerOf(readFileBytes(path));
  ASSERT_GE(header.frames, 3u);
  expectComplete(path, header.frames);
  const auto end = recordingEnd(0);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->wParam, std::uintptr_t(PELNIK_RECORD_END_STOPPED));
  EXPECT_EQ(std::uint32_t(end->lParam), header.frames);
  const Probe p = probe(path);
  EXPECT_EQ(p.errors, "");
  EXPECT_EQ(p.frames, long(header.frames));
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
}

TEST_F(Recording, ReleaseDuringARecordingFinishesTheFile) {
  open();
  const std::string path = tempPath("released.avi");
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), -1, 0), 1);
  ASSERT_TRUE(waitForFrames(path, 2));
  ASSERT_EQ(Pelnik_Release(handle_), 1);
  handles_.clear();
  const Header header = headerOf(readFileBytes(path));
  ASSERT_GE(header.frames, 2u);
  expectComplete(path, header.frames);
  const auto end = recordingEnd(0);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->wParam, std::uintptr_t(PELNIK_RECORD_END_STOPPED));
  EXPECT_EQ(probe(path).frames, long(header.frames));
}

TEST_F(Recording, FullDiskEndsTheRecordingWithErrorTwelveWhileAcquisitionRunsOn) {
  // Made before any thread of the test starts (see SmallFileSystem).
  pelnik::test::SmallFileSystem disk(10 * 1024 * 1024);
  ASSERT_TRUE(disk.ok()) << disk.error();
  open();
  const std::string path = disk.file("full.avi");
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), 600000, 0), 1);
  const auto end = recordingEnd();
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->wParam, std::uintptr_t(PELNIK_RECORD_END_WRITE_FAILED));
  // 10 MiB hold two full frames and their index, not three.
  EXPECT_EQ(end->lParam, 2);
  expectComplete(path, 2);
  EXPECT_EQ(probe(path).frames, 2);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{PELNIK_ERR_FILE});
  // The acquisition did not stop with the recording.
  const std::uint64_t before = unit().framesDelivered();
  for (int i = 0; i < 1000 && unit().framesDelivered() <= before + 2; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_GT(unit().framesDelivered(), before + 2);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(Recording, UnwritablePathIsRefusedAndLeavesTheCameraIdle) {
  open();
  EXPECT_EQ(Pelnik_Record(handle_, "/nonexistent-directory/movie.avi", 1000, 0), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{PELNIK_ERR_FILE});
  // Idle again: single pictures may be prepared.
  EXPECT_EQ(Pelnik_Capture(handle_), 1);
  // Capture state: a recording cannot start acquisition and leaves it as it is.
  EXPECT_EQ(Pelnik_Record(handle_, tempPath("capture.avi").c_str(), 1000, 0), 0);
  EXPECT_EQ(Pelnik_Capture(handle_), 1);
  EXPECT_EQ(Pelnik_Record(handle_, nullptr, 1000, 0), 0);
  EXPECT_EQ(Pelnik_Record(handle_, "", 1000, 0), 0);
  const auto errors = popErrors(handle_);
  ASSERT_EQ(errors.size(), 4u);  // 9, 9, then 12 after the start's own 1
  EXPECT_EQ(errors[0], PELNIK_ERR_ARGUMENT);
  EXPECT_EQ(errors[1], PELNIK_ERR_ARGUMENT);
  EXPECT_EQ(errors[2], PELNIK_ERR_FILE);
}

TEST_F(Recording, WideNamesOutsideAsciiAndUnconvertibleNames) {
  open();
  const std::u16string name =
      pelnik::platform::utf8ToUtf16(pelnik::test::isolationRoot()).value() + u"/録画-çé.avi";
  ASSERT_EQ(Pelnik_RecordW(handle_, name.c_str(), 0, 0), 1);
  const auto end = recordingEnd();
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->lParam, 2);  // a duration of 0 records two frames
  const std::string utf8 = tempPath("録画-çé.avi");
  expectComplete(utf8, 2);
  EXPECT_EQ(probe(utf8).frames, 2);

  const char16_t unpaired[] = {u'a', 0xD800, u'.', u'a', u'v', u'i', 0};
  EXPECT_EQ(Pelnik_RecordW(handle_, unpaired, 0, 0), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{PELNIK_ERR_FILE});
  Pelnik_StopPreview(handle_);
}

TEST_F(Recording, RefusedRecordDuringACallbackStreamLeavesTheStreamAlone) {
  open();
  MessageTarget callback;
  std::vector<std::uint8_t> buffer(std::size_t(kWidth) * 3 * kHeight);
  ASSERT_EQ(
      Pelnik_CallBackPreview(handle_, callback.window(), buffer.data(), int(buffer.size()), 1), 1);
  // Frame messages whose record says the picture is in the application's buffer.
  auto frameMessages = [&](int wanted, int timeoutMs) {
    int frames = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (frames < wanted && std::chrono::steady_clock::now() < giveUp) {
      const auto m = callback.next(50);
      if (!m || m->message != PELNIK_WM_FRAME || m->wParam == 0) continue;
      const PelnikFrameInfo record =
          pelnik::test::copyFrameRecord(reinterpret_cast<const PelnikFrameInfo *>(m->wParam));
      if (record.buffer == buffer.data()) ++frames;
    }
    return frames;
  };
  ASSERT_EQ(frameMessages(2, 5000), 2);
  EXPECT_EQ(Pelnik_Record(handle_, "/nonexistent-directory/movie.avi", 1000, 0), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{PELNIK_ERR_FILE});
  // The application's stream goes on into its buffer.
  callback.drain();
  EXPECT_EQ(frameMessages(3, 5000), 3);

  // A recording that starts takes the frames over from the application.
  const std::string path = tempPath("takeover.avi");
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), -1, 0), 1);
  // A second recording on the same camera is refused; the first goes on.
  EXPECT_EQ(Pelnik_Record(handle_, tempPath("second.avi").c_str(), 1000, 0), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{PELNIK_ERR_NO_DEVICE});
  EXPECT_FALSE(std::filesystem::exists(tempPath("second.avi")));
  ASSERT_TRUE(waitForFrames(path, 2));
  callback.drain();
  EXPECT_EQ(frameMessages(1, 500), 0);
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  const Header header = headerOf(readFileBytes(path));
  expectComplete(path, header.frames);
}

TEST_F(Recording, TwoRecordersOnOneFile) {
  CameraSetup setup;
  setup.cameras = {0, 1};
  open(setup);
  const int second = openCamera();
  ASSERT_EQ(Pelnik_SetDeviceNumber(second, 1), 1);
  const std::string path = tempPath("shared.avi");
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), -1, 0), 1);
  ASSERT_TRUE(waitForFrames(path, 1));
  EXPECT_EQ(Pelnik_Record(second, path.c_str(), 1000, 0), 0);
  EXPECT_EQ(popErrors(second), std::vector<int>{PELNIK_ERR_FILE});
  // The refused recorder neither emptied the file nor kept its camera running.
  EXPECT_GE(fileSize(path), 232 + kFullFrameChunk);
  EXPECT_EQ(Pelnik_Capture(second), 1);
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  expectComplete(path, headerOf(readFileBytes(path)).frames);
}

}  // namespace

namespace {

TEST_F(Recording, ColourModeChangedDuringARecordingKeepsRecordingThePreparedPicture) {
  open();
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
  const std::string path = tempPath("modechange.avi");
  ASSERT_EQ(Pelnik_Record(handle_, path.c_str(), 800, 0), 1);
  ASSERT_TRUE(waitForFrames(path, 2));
  // Takes effect at the next prepare; until then the pictures stay colour.
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  const auto end = recordingEnd();
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->wParam, std::uintptr_t(PELNIK_RECORD_END_DURATION));
  std::vector<std::uint8_t> picture(std::size_t(kWidth) * 3 * kHeight);
  ASSERT_EQ(Pelnik_GetImage(handle_, picture.data(), int(picture.size()), 1), 1);
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  const auto frames = std::uint32_t(end->lParam);
  expectComplete(path, frames);
  expectEveryFrame(path, frames, expectedFrame(picture, 24, kWidth, kHeight), kWidth, kHeight);
}

TEST_F(Recording, SizeLimitAndLostCameraEndWithACompleteFile) {
  open();
  // The writer's limit lowered to three full frames with their index.
  pelnik::withCamera(handle_, [](pelnik::CPelnik &c) {
    c.Recorder().recording().setLargestFile(232 + 3 * kFullFrameChunk + 8 + 3 * 16);
    return 1;
  });
  const std::string limited = tempPath("limited.avi");
  ASSERT_EQ(Pelnik_Record(handle_, limited.c_str(), -1, 0), 1);
  auto end = recordingEnd();
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->wParam, std::uintptr_t(PELNIK_RECORD_END_SIZE_LIMIT));
  EXPECT_EQ(end->lParam, 3);
  expectComplete(limited, 3);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});

  // Acquisition still runs: the next recording, with the format's own
  // limit again, starts without a new start.
  pelnik::withCamera(handle_, [](pelnik::CPelnik &c) {
    c.Recorder().recording().setLargestFile(pelnik::output::kAviLargestFile);
    return 1;
  });
  const std::string lost = tempPath("lost.avi");
  ASSERT_EQ(Pelnik_Record(handle_, lost.c_str(), -1, 0), 1);
  ASSERT_TRUE(waitForFrames(lost, 2));
  ASSERT_TRUE(virtual_->apply(virtcam::ControlAction::Unplug, 0));
  end = recordingEnd();
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->wParam, std::uintptr_t(PELNIK_RECORD_END_CAMERA_LOST));
  expectComplete(lost, std::uint32_t(end->lParam));
  EXPECT_EQ(probe(lost).frames, long(end->lParam));
  const auto errors = popErrors(handle_);
  EXPECT_NE(std::find(errors.begin(), errors.end(), 13), errors.end());
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

}  // namespace
