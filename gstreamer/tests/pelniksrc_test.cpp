// pelniksrc against a virtual camera served inside the test process: caps
// and buffer sizes per colour mode, the pictures' content, end of stream,
// errors with the SDK's code, and state cycles without leaks.
#include <dirent.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "virtcam/frame_stamp.h"
#include "virtcam/virtual_camera.h"

namespace {

using pelnik::virtcam::ControlAction;
using pelnik::virtcam::FrameStamp;
using pelnik::virtcam::readFrameStamp;

void initGstreamer() {
  static bool done = false;
  if (done) return;
  done = true;
  // This build's plugin and the two system plugins the tests use, loaded
  // in this process (a sanitized plugin cannot be scanned by the unsanitized
  // scanner program), with a registry of the test's own.
  setenv("GST_PLUGIN_PATH", PELNIK_GST_PLUGIN_DIR, 1);
  setenv("GST_PLUGIN_SYSTEM_PATH", "", 1);
  setenv("GST_REGISTRY_FORK", "no", 1);
  const std::string registry = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/gst-registry.bin";
  setenv("GST_REGISTRY", registry.c_str(), 1);
  gst_init(nullptr, nullptr);
  for (const char *name : {"libgstcoreelements.so", "libgstapp.so"}) {
    const std::string path = std::string(PELNIK_GST_SYSTEM_PLUGINS) + "/" + name;
    GError *error = nullptr;
    GstPlugin *plugin = gst_plugin_load_file(path.c_str(), &error);
    EXPECT_NE(plugin, nullptr) << path << ": " << (error ? error->message : "");
    if (plugin) gst_object_unref(plugin);
    if (error) g_error_free(error);
  }
}

class PelnikSrcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pelnik::virtcam::VirtualCameraOptions options;
    options.cameras = {0};
    camera_ = std::make_unique<pelnik::virtcam::VirtualCamera>(options);
    ASSERT_TRUE(camera_->ok()) << camera_->error();
    initGstreamer();
    ASSERT_NE(gst_element_factory_find("pelniksrc"), nullptr) << "plugin not found";
  }
  void TearDown() override {
    stop();
    camera_.reset();
  }

  // Builds "pelniksrc SRC ! CAPS ! appsink".
  void build(const std::string &source, const std::string &caps = "video/x-raw") {
    stop();
    const std::string text = "pelniksrc name=src " + source + " ! " + caps +
                             " ! appsink name=sink sync=false max-buffers=4 drop=false";
    GError *error = nullptr;
    pipeline_ = gst_parse_launch(text.c_str(), &error);
    ASSERT_EQ(error, nullptr) << error->message;
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    src_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
  }

  void play() {
    ASSERT_NE(gst_element_set_state(pipeline_, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE)
        << busError();
  }

  void stop() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(sink_);
    gst_object_unref(src_);
    gst_object_unref(pipeline_);
    pipeline_ = sink_ = src_ = nullptr;
  }

  // The next sample; null at end of stream or after an error.
  GstSample *pull(GstClockTime timeout = 10 * GST_SECOND) {
    return gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), timeout);
  }

  // The first error on the bus (waiting up to `timeout`), or null.
  GstMessage *waitError(GstClockTime timeout = 20 * GST_SECOND) {
    GstBus *bus = gst_element_get_bus(pipeline_);
    GstMessage *message = gst_bus_timed_pop_filtered(bus, timeout, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    return message;
  }

  std::string busError() {
    GstMessage *message = waitError(0);
    if (!message) return "no error on the bus";
    GError *error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error->message;
    g_error_free(error);
    gst_message_unref(message);
    return text;
  }

  static int sdkCode(GstMessage *message) {
    const GstStructure *details = nullptr;
    gst_message_parse_error_details(message, &details);
    int code = -1;
    if (details) gst_structure_get_int(details, "pelnik-error-code", &code);
    return code;
  }

  std::unique_ptr<pelnik::virtcam::VirtualCamera> camera_;
  GstElement *pipeline_ = nullptr;
  GstElement *sink_ = nullptr;
  GstElement *src_ = nullptr;
};

struct Picture {
  GstVideoInfo info;
  std::vector<std::uint8_t> bytes;
  GstClockTime pts;
  const std::uint8_t *row(int y) const {
    return bytes.data() + std::size_t(y) * GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
  }
};

Picture take(GstSample *sample) {
  Picture picture{};
  EXPECT_TRUE(gst_video_info_from_caps(&picture.info, gst_sample_get_caps(sample)));
  GstBuffer *buffer = gst_sample_get_buffer(sample);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_READ);
  picture.bytes.assign(map.data, map.data + map.size);
  gst_buffer_unmap(buffer, &map);
  picture.pts = GST_BUFFER_PTS(buffer);
  gst_sample_unref(sample);
  return picture;
}

// Rows are padded to 4 bytes, as in the SDK's own buffers.
std::size_t paddedSize(int width, int height, int bytesPerPixel) {
  return std::size_t((width * bytesPerPixel + 3) & ~3) * std::size_t(height);
}

struct ModeCase {
  const char *format;
  const char *properties;
  int bytesPerPixel;
};

TEST_F(PelnikSrcTest, CapsAndBufferSizesFollowTheColourMode) {
  const ModeCase cases[] = {
      {"GRAY8", "", 1}, {"GRAY16_LE", "", 2}, {"BGR", "", 3},
      {"BGRx", "", 4},  {"BGRA64_LE", "", 8}, {"BGRA64_LE", "color-mode=48 full-range=false", 8},
  };
  for (const ModeCase &c : cases) {
    SCOPED_TRACE(std::string(c.format) + " " + c.properties);
    build(std::string("num-buffers=2 ") + c.properties,
          std::string("video/x-raw,format=") + c.format);
    play();
    for (int i = 0; i < 2; ++i) {
      GstSample *sample = pull();
      ASSERT_NE(sample, nullptr) << busError();
      Picture p = take(sample);
      EXPECT_STREQ(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&p.info)), c.format);
      EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&p.info), 1280);
      EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&p.info), 1024);
      EXPECT_EQ(p.bytes.size(), paddedSize(1280, 1024, c.bytesPerPixel));
      if (c.bytesPerPixel == 8) {
        const auto *samples = reinterpret_cast<const std::uint16_t *>(p.bytes.data());
        std::uint16_t top = 0;
        bool opaque = true;
        for (std::size_t k = 0; k < p.bytes.size() / 2; k += 4) {
          top = std::max({top, samples[k], samples[k + 1], samples[k + 2]});
          opaque &= samples[k + 3] == 0xFFFF;
        }
        EXPECT_TRUE(opaque);
        if (std::strstr(c.properties, "full-range=false")) {
          EXPECT_LE(top, 1023);
        } else {
          EXPECT_GT(top, 1023);
        }
      }
    }
  }
}

TEST_F(PelnikSrcTest, PicturesAreWholeFramesInOrderWithTheirStamps) {
  build("num-buffers=5", "video/x-raw,format=GRAY8");
  play();
  std::optional<std::uint32_t> last;
  for (int i = 0; i < 5; ++i) {
    GstSample *sample = pull();
    ASSERT_NE(sample, nullptr) << busError();
    Picture p = take(sample);
    const auto top = readFrameStamp(p.row(0), 1280, 1);
    const auto bottom = readFrameStamp(p.row(1023), 1280, 1);
    ASSERT_TRUE(top.has_value());
    EXPECT_EQ(top, bottom);  // one frame, not parts of two
    EXPECT_EQ(top->camera, 0);
    if (last) {
      EXPECT_GT(top->frameNumber, *last);
    }
    last = top->frameNumber;
  }
}

TEST_F(PelnikSrcTest, SixteenBitSamplesAreScaledToFullRangeOrLeftAsTheyAre) {
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full ? "full range" : "as they are");
    build(std::string("num-buffers=1 full-range=") + (full ? "true" : "false"),
          "video/x-raw,format=GRAY16_LE");
    play();
    GstSample *sample = pull();
    ASSERT_NE(sample, nullptr) << busError();
    Picture p = take(sample);
    std::vector<std::uint16_t> row(1280);
    std::memcpy(row.data(), p.row(0), 2560);
    if (full) {
      // Back to the 10 significant bits: every scaled sample is v<<6 | v>>4.
      for (auto &v : row) {
        const std::uint16_t ten = std::uint16_t(v >> 6);
        ASSERT_EQ(v, std::uint16_t(ten << 6 | ten >> 4));
        v = ten;
      }
    }
    EXPECT_TRUE(readFrameStamp(reinterpret_cast<const std::uint8_t *>(row.data()), 1280, 2));
  }
}

TEST_F(PelnikSrcTest, WindowAndSubsampleGiveTheCapsSizeAndPaddedRows) {
  build("num-buffers=1 window=8,4,641,301", "video/x-raw,format=GRAY8");
  play();
  GstSample *sample = pull();
  ASSERT_NE(sample, nullptr) << busError();
  Picture p = take(sample);
  EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&p.info), 641);
  EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&p.info), 301);
  EXPECT_EQ(p.bytes.size(), paddedSize(641, 301, 1));
  EXPECT_TRUE(readFrameStamp(p.row(0), 641, 1).has_value());
  EXPECT_EQ(readFrameStamp(p.row(0), 641, 1), readFrameStamp(p.row(300), 641, 1));

  build("num-buffers=1 window=0,0,640,480 subsample=1", "video/x-raw,format=BGR");
  play();
  sample = pull();
  ASSERT_NE(sample, nullptr) << busError();
  p = take(sample);
  EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&p.info), 320);
  EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&p.info), 240);
  EXPECT_EQ(p.bytes.size(), paddedSize(320, 240, 3));
}

TEST_F(PelnikSrcTest, EndOfStreamAfterNumBuffersWithTimestampsOnThePipelineClock) {
  build("num-buffers=5", "video/x-raw,format=GRAY8");
  play();
  std::vector<GstClockTime> stamps;
  while (GstSample *sample = pull()) {
    stamps.push_back(take(sample).pts);
    // A frame's time is its arrival: never later than the clock's running time now.
    GstClock *clock = gst_element_get_clock(pipeline_);
    ASSERT_NE(clock, nullptr);
    const GstClockTime running = gst_clock_get_time(clock) - gst_element_get_base_time(pipeline_);
    gst_object_unref(clock);
    EXPECT_LE(stamps.back(), running);
  }
  EXPECT_TRUE(gst_app_sink_is_eos(GST_APP_SINK(sink_)));
  ASSERT_EQ(stamps.size(), 5u);
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    ASSERT_TRUE(GST_CLOCK_TIME_IS_VALID(stamps[i]));
    if (i) {
      EXPECT_GT(stamps[i], stamps[i - 1]);
    }
  }
  GstBus *bus = gst_element_get_bus(pipeline_);
  GstMessage *eos = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GST_MESSAGE_EOS);
  EXPECT_NE(eos, nullptr);
  if (eos) gst_message_unref(eos);
  gst_object_unref(bus);
}

TEST_F(PelnikSrcTest, FailuresArePostedWithTheSdkCode) {
  build("camera=1");  // not served
  gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  GstMessage *error = waitError();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(sdkCode(error), 2);
  gst_message_unref(error);

  build("gamma=300");  // outside the SDK's range
  gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  error = waitError();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(sdkCode(error), 9);
  gst_message_unref(error);

  build("", "video/x-raw,format=GRAY8");
  play();
  GstSample *sample = pull();
  ASSERT_NE(sample, nullptr) << busError();
  gst_sample_unref(sample);
  ASSERT_TRUE(camera_->apply(ControlAction::Unplug, 0));
  error = waitError(30 * GST_SECOND);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(sdkCode(error), 13);  // the camera stopped delivering frames
  gst_message_unref(error);
}

TEST_F(PelnikSrcTest, StalledCameraFailsAfterTheFrameTimeout) {
  build("frame-timeout=500", "video/x-raw,format=GRAY8");
  play();
  GstSample *sample = pull();
  ASSERT_NE(sample, nullptr) << busError();
  gst_sample_unref(sample);
  ASSERT_TRUE(camera_->apply(ControlAction::Stall, 0));
  GstMessage *error = waitError(10 * GST_SECOND);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(sdkCode(error), 13);
  gst_message_unref(error);
}

TEST_F(PelnikSrcTest, FilterValuesApplyWhilePlayingAndRefusalsWarn) {
  build("gamma=120", "video/x-raw,format=BGR");
  play();
  GstSample *sample = pull();
  ASSERT_NE(sample, nullptr) << busError();
  gst_sample_unref(sample);
  int gamma = 0;
  g_object_get(src_, "gamma", &gamma, nullptr);
  EXPECT_EQ(gamma, 120);
  g_object_set(src_, "gamma", 80, nullptr);
  g_object_get(src_, "gamma", &gamma, nullptr);
  EXPECT_EQ(gamma, 80);
  g_object_set(src_, "contrast", 500, nullptr);  // refused by the SDK
  GstBus *bus = gst_element_get_bus(pipeline_);
  GstMessage *warning = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GST_MESSAGE_WARNING);
  gst_object_unref(bus);
  ASSERT_NE(warning, nullptr);
  const GstStructure *details = nullptr;
  gst_message_parse_warning_details(warning, &details);
  int code = 0;
  ASSERT_NE(details, nullptr);
  gst_structure_get_int(details, "pelnik-error-code", &code);
  EXPECT_EQ(code, 9);
  gst_message_unref(warning);
  sample = pull();
  EXPECT_NE(sample, nullptr);  // the stream goes on
  if (sample) gst_sample_unref(sample);
}

TEST_F(PelnikSrcTest, RenegotiationIsRefusedWhilePlaying) {
  build("", "capsfilter name=filter caps=video/x-raw,format=GRAY8");
  play();
  GstSample *sample = pull();
  ASSERT_NE(sample, nullptr) << busError();
  gst_sample_unref(sample);
  GstElement *filter = gst_bin_get_by_name(GST_BIN(pipeline_), "filter");
  GstCaps *bgr = gst_caps_from_string("video/x-raw,format=BGR");
  g_object_set(filter, "caps", bgr, nullptr);
  gst_caps_unref(bgr);
  gst_object_unref(filter);
  // No BGR picture ever comes: either GRAY8 goes on or the stream fails.
  for (int i = 0; i < 5; ++i) {
    sample = pull(3 * GST_SECOND);
    if (!sample) break;
    Picture p = take(sample);
    EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&p.info), GST_VIDEO_FORMAT_GRAY8);
  }
  // The source offers only its running format, so the change fails to
  // negotiate and the stream stops instead of switching.
  GstMessage *error = waitError(5 * GST_SECOND);
  ASSERT_NE(error, nullptr);
  GError *gerror = nullptr;
  gchar *debug = nullptr;
  gst_message_parse_error(error, &gerror, &debug);
  EXPECT_NE(std::strstr(debug ? debug : "", "not-negotiated"), nullptr) << gerror->message;
  g_error_free(gerror);
  g_free(debug);
  gst_message_unref(error);
}

int countEntries(const char *directory) {
  int n = 0;
  if (DIR *d = opendir(directory)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

TEST_F(PelnikSrcTest, HundredStateCyclesLeakNothing) {
  build("", "video/x-raw,format=GRAY8");
  auto cycle = [&] {
    ASSERT_NE(gst_element_set_state(pipeline_, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstSample *sample = pull();
    ASSERT_NE(sample, nullptr) << busError();
    gst_sample_unref(sample);
    ASSERT_EQ(gst_element_set_state(pipeline_, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  };
  for (int i = 0; i < 3; ++i) cycle();
  const int descriptors = countEntries("/proc/self/fd");
  const int threads = countEntries("/proc/self/task");
  for (int i = 0; i < 100; ++i) {
    SCOPED_TRACE(i);
    cycle();
    if (HasFatalFailure()) return;
  }
  // The virtual camera's connections open and close on its own threads, so
  // the count moves by one either way at any moment; a descriptor left
  // behind per cycle would add a hundred.
  EXPECT_LE(countEntries("/proc/self/fd"), descriptors + 2);
  // GLib's thread pools may keep up to two idle threads of their own; a
  // thread left behind per cycle would add a hundred.
  EXPECT_LE(countEntries("/proc/self/task"), threads + 2);
  // The element keeps its properties and its refcount across the cycles.
  EXPECT_EQ(GST_OBJECT_REFCOUNT_VALUE(src_), 2);
}

// A pipeline's properties belong to it: what it set is gone for the next
// one unless it asked to save, and without caps the next one gets colour
// whatever mode was stored.
TEST_F(PelnikSrcTest, PropertiesLastForTheirPipelineUnlessSaveSettings) {
  auto heldGamma = [&](const std::string &properties) {
    build(properties, "video/x-raw,format=GRAY8");
    play();
    GstSample *sample = pull();
    EXPECT_NE(sample, nullptr) << busError();
    if (sample) gst_sample_unref(sample);
    int gamma = 0;
    g_object_get(src_, "gamma", &gamma, nullptr);  // what the open camera holds
    stop();
    return gamma;
  };
  const int stored = heldGamma("");
  ASSERT_NE(stored, 150);
  EXPECT_EQ(heldGamma("gamma=150"), 150);
  EXPECT_EQ(heldGamma(""), stored) << "a pipeline's gamma outlived it";

  // Saved on request, grey mode included; colour still comes without caps.
  EXPECT_EQ(heldGamma("gamma=150 save-settings=true"), 150);
  EXPECT_EQ(heldGamma(""), 150);
  build("num-buffers=1", "video/x-raw");
  play();
  GstSample *sample = pull();
  ASSERT_NE(sample, nullptr) << busError();
  Picture p = take(sample);
  EXPECT_STREQ(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&p.info)), "BGR");
}

// Caps carry the sensor's nominal rate for the window, and the element
// answers the latency query as a live source with at least one frame period.
TEST_F(PelnikSrcTest, CapsCarryTheNominalRateAndLatencyIsAFramePeriod) {
  struct Case {
    const char *properties;
    double lowest, highest;
  };
  // Full frame reads 1024 lines (about 31 per second); a 200-row window is
  // bounded by the 512-line default exposure (about 62 per second).
  const Case cases[] = {{"", 30.0, 32.0}, {"window=0,0,320,200", 61.0, 64.0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.properties);
    build(c.properties, "video/x-raw");
    play();
    GstSample *sample = pull();
    ASSERT_NE(sample, nullptr) << busError();
    Picture p = take(sample);
    const double rate = double(GST_VIDEO_INFO_FPS_N(&p.info)) / GST_VIDEO_INFO_FPS_D(&p.info);
    EXPECT_GT(rate, c.lowest);
    EXPECT_LT(rate, c.highest);

    GstQuery *query = gst_query_new_latency();
    ASSERT_TRUE(gst_element_query(src_, query));
    gboolean live = FALSE;
    GstClockTime minimum = 0, maximum = 0;
    gst_query_parse_latency(query, &live, &minimum, &maximum);
    gst_query_unref(query);
    EXPECT_TRUE(live);
    EXPECT_GE(minimum, GstClockTime(GST_SECOND / c.highest));
    EXPECT_LE(minimum, GstClockTime(GST_SECOND / c.lowest));
    EXPECT_TRUE(maximum == GST_CLOCK_TIME_NONE || maximum >= minimum);
  }
}

TEST_F(PelnikSrcTest, AnAbsentCameraIsNamedInWords) {
  build("camera=1");
  gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  GstMessage *error = waitError();
  ASSERT_NE(error, nullptr);
  GError *gerror = nullptr;
  gst_message_parse_error(error, &gerror, nullptr);
  EXPECT_STREQ(gerror->message, "no camera 1 is connected (error 2)");
  g_error_free(gerror);
  gst_message_unref(error);
}

// The fault matrix row of the element: each fault the in-process virtual
// camera can inject while a pipeline plays, then healing. The element posts
// only the documented codes, no state change waits past the documented
// limits, and a pipeline started again once the camera healed plays again.
struct SourceFault {
  ControlAction action;
  const char *name;
};

void PrintTo(const SourceFault &fault, std::ostream *out) { *out << fault.name; }

class PelnikSrcFaults : public PelnikSrcTest, public ::testing::WithParamInterface<SourceFault> {
 protected:
  using Clock = std::chrono::steady_clock;

  // Starts the pipeline and waits for a first picture; the time the state
  // change took counts toward the longest call.
  bool startAndPull(GstClockTime timeout) {
    build("frame-timeout=1000", "video/x-raw,format=GRAY8");
    const auto start = Clock::now();
    const bool started =
        gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    longest_ = std::max(longest_, Clock::now() - start);
    GstSample *sample = started ? pull(timeout) : nullptr;
    if (!sample) {
      noteError();
      return false;
    }
    gst_sample_unref(sample);
    return true;
  }

  // Records the code of an error waiting on the bus, if any.
  void noteError() {
    if (GstMessage *error = waitError(0)) {
      codes_.insert(sdkCode(error));
      gst_message_unref(error);
    }
  }

  void timedStop() {
    const auto start = Clock::now();
    stop();
    longest_ = std::max(longest_, Clock::now() - start);
  }

  std::set<int> codes_;
  Clock::duration longest_{};
};

TEST_P(PelnikSrcFaults, DocumentedCodesBoundedWaitsAndPlaysAgainAfterHealing) {
  ASSERT_TRUE(startAndPull(10 * GST_SECOND)) << busError();
  ASSERT_TRUE(camera_->apply(GetParam().action, 0));
  int delivered = 0;
  const auto faultEnds = Clock::now() + std::chrono::milliseconds(2500);
  while (Clock::now() < faultEnds) {
    GstSample *sample = pull(300 * GST_MSECOND);
    if (sample) {
      ++delivered;
      gst_sample_unref(sample);
    } else if (gst_app_sink_is_eos(GST_APP_SINK(sink_))) {
      break;
    }
  }
  noteError();
  ASSERT_TRUE(camera_->apply(ControlAction::Heal, 0));
  timedStop();

  // A pipeline that ended on the fault is started again, as an application
  // that saw the error would.
  bool recovered = false;
  const auto healDeadline = Clock::now() + std::chrono::seconds(15);
  while (!recovered && Clock::now() < healDeadline) recovered = startAndPull(3 * GST_SECOND);
  timedStop();

  std::string codes;
  for (int c : codes_) codes += (codes.empty() ? "" : ",") + std::to_string(c);
  std::printf(
      "fault-matrix | %-15s | %-16s | %3d pictures | codes %-12s | longest call %5lld ms | %s\n",
      "pelniksrc", GetParam().name, delivered, codes.empty() ? "-" : codes.c_str(),
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(longest_).count()),
      recovered ? "recovered" : "NOT recovered");
  EXPECT_TRUE(recovered) << "the pipeline did not play again after healing";
  EXPECT_LE(longest_, std::chrono::seconds(10));
  const std::set<int> documented{PELNIK_ERR_NO_DEVICE, PELNIK_ERR_IO, PELNIK_ERR_ACQUISITION,
                                 PELNIK_ERR_STOPPED};
  for (int code : codes_) EXPECT_TRUE(documented.count(code)) << "undocumented code " << code;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PelnikSrcFaults,
    ::testing::Values(SourceFault{ControlAction::Unplug, "unplug"},
                      SourceFault{ControlAction::Stall, "stall"},
                      SourceFault{ControlAction::ShortRead, "one short read"},
                      SourceFault{ControlAction::ShortReads, "every read short"},
                      SourceFault{ControlAction::FailCommands, "failing commands"}),
    [](const ::testing::TestParamInfo<SourceFault> &param) {
      std::string name = param.param.name;
      for (char &c : name)
        if (c == ' ') c = '_';
      return name;
    });

}  // namespace
