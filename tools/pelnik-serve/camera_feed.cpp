#include "camera_feed.h"

#include <PelnikSdk_R5M_LX.h>
#include <gst/video/video.h>

#include <sstream>

namespace serve {
namespace {

// The feed's branches: raw pictures for the recorder, I420 for the RTSP
// media and the page's JPEGs. Every queue drops the oldest picture rather
// than stall the camera for a slow consumer.
std::string describePipeline(int camera, const Options &o) {
  std::ostringstream text;
  text << "pelniksrc name=src camera=" << camera << " frame-timeout=0";
  if (o.colorMode) text << " color-mode=" << o.colorMode;
  if (!o.window.empty()) text << " window=\"" << o.window << "\"";
  if (o.subsample >= 0) text << " subsample=" << o.subsample;
  text << " ! tee name=t"
       << " t. ! queue leaky=downstream max-size-buffers=4 ! appsink name=raw sync=false"
          " max-buffers=4 drop=true"
       << " t. ! queue leaky=downstream max-size-buffers=2 ! videoconvert !"
          " video/x-raw,format=I420 ! tee name=y"
       << " y. ! queue leaky=downstream max-size-buffers=2 ! appsink name=rtsp sync=false"
          " max-buffers=2 drop=true"
       << " y. ! queue leaky=downstream max-size-buffers=2 ! jpegenc quality=80 !"
          " appsink name=jpeg sync=false max-buffers=1 drop=true";
  return text.str();
}

// The camera's settings among pelniksrc's properties: those an open camera
// takes while it streams (the element's own time-out is not one).
bool isControl(GParamSpec *param) {
  return param && std::string(param->name) != "frame-timeout" &&
         G_PARAM_SPEC_VALUE_TYPE(param) == G_TYPE_INT && (param->flags & G_PARAM_WRITABLE) &&
         (param->flags & GST_PARAM_MUTABLE_PLAYING);
}

void connectSink(GstElement *pipeline, const char *name,
                 GstFlowReturn (*callback)(GstAppSink *, gpointer), gpointer data) {
  GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), name);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = callback;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, data, nullptr);
  gst_object_unref(sink);
}

constexpr guint kRetrySeconds = 2;

}  // namespace

CameraFeed::CameraFeed(int camera, const Options &options) : camera_(camera), options_(options) {}

CameraFeed::~CameraFeed() {
  if (retrySource_) g_source_remove(retrySource_);
  if (busWatch_) g_source_remove(busWatch_);
  stopRecording();
  if (pipeline_) {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  if (jpeg_.bytes) g_bytes_unref(jpeg_.bytes);
  std::lock_guard<std::mutex> hold(rtspSourcesLock_);
  for (GstAppSrc *source : rtspSources_) gst_object_unref(source);
}

bool CameraFeed::start(std::string &error) {
  GError *failure = nullptr;
  pipeline_ = gst_parse_launch(describePipeline(camera_, options_).c_str(), &failure);
  if (!pipeline_) {
    error = std::string("camera ") + std::to_string(camera_) + ": " +
            (failure ? failure->message : "cannot build the pipeline");
    g_clear_error(&failure);
    return false;
  }
  if (failure) {  // a partial pipeline: an element is missing
    error = failure->message;
    g_clear_error(&failure);
    return false;
  }
  source_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
  gst_object_unref(source_);  // the pipeline keeps it alive
  for (const auto &[name, value] : options_.filters) {
    GParamSpec *param = g_object_class_find_property(G_OBJECT_GET_CLASS(source_), name.c_str());
    if (!isControl(param)) {
      error = "no filter value named " + name;
      return false;
    }
    g_object_set(source_, name.c_str(), value, nullptr);
  }
  connectSink(pipeline_, "raw", &CameraFeed::onRawSample, this);
  connectSink(pipeline_, "rtsp", &CameraFeed::onRtspSample, this);
  connectSink(pipeline_, "jpeg", &CameraFeed::onJpegSample, this);
  if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    error = "camera " + std::to_string(camera_) + " does not start";
    return false;
  }
  GstBus *bus = gst_element_get_bus(pipeline_);
  busWatch_ = gst_bus_add_watch(bus, &CameraFeed::onBusMessage, this);
  gst_object_unref(bus);
  return true;
}

gboolean CameraFeed::onBusMessage(GstBus *, GstMessage *message, gpointer data) {
  auto *self = static_cast<CameraFeed *>(data);
  // The first error of a failure says why; those that follow it while the
  // camera waits to start again say only that its stream ended.
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && !self->retrySource_) {
    GError *error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    g_printerr("pelnik-serve: camera %d: %s\n", self->camera_, error->message);
    g_clear_error(&error);
    self->recover();
  } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
    GError *warning = nullptr;
    gst_message_parse_warning(message, &warning, nullptr);
    g_printerr("pelnik-serve: camera %d: warning: %s\n", self->camera_, warning->message);
    g_clear_error(&warning);
  }
  return G_SOURCE_CONTINUE;
}

void CameraFeed::recover() {
  g_print("pelnik-serve: camera %d: starting it again in %u s\n", camera_, kRetrySeconds);
  retrySource_ = g_timeout_add_seconds(kRetrySeconds, &CameraFeed::onRetry, this);
}

gboolean CameraFeed::onRetry(gpointer data) {
  auto *self = static_cast<CameraFeed *>(data);
  // Down to NULL drops what the failed run left on the bus.
  gst_element_set_state(self->pipeline_, GST_STATE_NULL);
  if (gst_element_set_state(self->pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    gst_element_set_state(self->pipeline_, GST_STATE_NULL);
    return G_SOURCE_CONTINUE;  // try again in kRetrySeconds
  }
  self->retrySource_ = 0;
  return G_SOURCE_REMOVE;
}

GstFlowReturn CameraFeed::onRawSample(GstAppSink *sink, gpointer data) {
  auto *self = static_cast<CameraFeed *>(data);
  GstSample *sample = gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_EOS;
  self->frames_++;
  {
    std::lock_guard<std::mutex> hold(self->rateLock_);
    const auto now = std::chrono::steady_clock::now();
    self->arrivals_.push_back(now);
    while (!self->arrivals_.empty() && now - self->arrivals_.front() > std::chrono::seconds(2))
      self->arrivals_.pop_front();
  }
  {
    std::lock_guard<std::mutex> hold(self->recorderLock_);
    if (self->recorder_) self->recorder_->push(sample);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

GstFlowReturn CameraFeed::onRtspSample(GstAppSink *sink, gpointer data) {
  auto *self = static_cast<CameraFeed *>(data);
  GstSample *sample = gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_EOS;
  GstBuffer *buffer = gst_sample_get_buffer(sample);
  GstCaps *caps = gst_sample_get_caps(sample);
  {
    std::lock_guard<std::mutex> hold(self->rtspSourcesLock_);
    for (GstAppSrc *source : self->rtspSources_) {
      GstCaps *current = gst_app_src_get_caps(source);
      if (!current || !gst_caps_is_equal(current, caps)) gst_app_src_set_caps(source, caps);
      if (current) gst_caps_unref(current);
      // Each media stamps the picture with its own arrival time.
      GstBuffer *copy = gst_buffer_copy(buffer);
      GST_BUFFER_PTS(copy) = GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
      gst_app_src_push_buffer(source, copy);
    }
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

GstFlowReturn CameraFeed::onJpegSample(GstAppSink *sink, gpointer data) {
  auto *self = static_cast<CameraFeed *>(data);
  GstSample *sample = gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_EOS;
  GstBuffer *buffer = gst_sample_get_buffer(sample);
  GstMapInfo map;
  if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    GBytes *bytes = g_bytes_new(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    std::lock_guard<std::mutex> hold(self->jpegLock_);
    if (self->jpeg_.bytes) g_bytes_unref(self->jpeg_.bytes);
    self->jpeg_.bytes = bytes;
    self->jpeg_.sequence++;
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

void CameraFeed::addRtspSource(GstAppSrc *source) {
  std::lock_guard<std::mutex> hold(rtspSourcesLock_);
  rtspSources_.push_back(GST_APP_SRC(gst_object_ref(source)));
}

void CameraFeed::removeRtspSource(GstAppSrc *source) {
  std::lock_guard<std::mutex> hold(rtspSourcesLock_);
  for (auto it = rtspSources_.begin(); it != rtspSources_.end(); ++it)
    if (*it == source) {
      gst_object_unref(*it);
      rtspSources_.erase(it);
      return;
    }
}

GBytes *CameraFeed::latestJpeg(std::uint64_t &sequence) {
  std::lock_guard<std::mutex> hold(jpegLock_);
  sequence = jpeg_.sequence;
  return jpeg_.bytes ? g_bytes_ref(jpeg_.bytes) : nullptr;
}

double CameraFeed::framesPerSecond() {
  std::lock_guard<std::mutex> hold(rateLock_);
  if (arrivals_.size() < 2) return 0;
  const double seconds =
      std::chrono::duration<double>(arrivals_.back() - arrivals_.front()).count();
  return seconds > 0 ? double(arrivals_.size() - 1) / seconds : 0;
}

bool CameraFeed::setColorMode(int bits, std::string &error) {
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32 && bits != 48 && bits != 64) {
    error = "color-mode is 8, 16, 24, 32, 48 or 64";
    return false;
  }
  // The camera fixes its format while it streams: stop it, change, restart.
  // A recording of the old format ends here.
  stopRecording();
  gst_element_set_state(pipeline_, GST_STATE_READY);
  gst_element_get_state(pipeline_, nullptr, nullptr, 5 * GST_SECOND);
  g_object_set(source_, "color-mode", bits, nullptr);
  if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    error = "the camera does not restart in mode " + std::to_string(bits);
    return false;
  }
  return true;
}

bool CameraFeed::setControl(const std::string &name, int value, std::string &error) {
  if (name == "color-mode") return setColorMode(value, error);
  GParamSpec *param = g_object_class_find_property(G_OBJECT_GET_CLASS(source_), name.c_str());
  if (!isControl(param)) {
    error = "no control named " + name;
    return false;
  }
  g_object_set(source_, name.c_str(), value, nullptr);
  int now = 0;
  g_object_get(source_, name.c_str(), &now, nullptr);
  if (now != value) {
    error = name + " refused " + std::to_string(value) + "; it holds " + std::to_string(now);
    return false;
  }
  return true;
}

int CameraFeed::negotiatedBits() {
  // The camera's own mode, as the caps it streams with say it.
  GstPad *pad = gst_element_get_static_pad(source_, "src");
  GstCaps *caps = gst_pad_get_current_caps(pad);
  gst_object_unref(pad);
  if (!caps) return 0;
  GstVideoInfo info;
  const bool known = gst_video_info_from_caps(&info, caps);
  gst_caps_unref(caps);
  if (!known) return 0;
  switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_GRAY8:
      return 8;
    case GST_VIDEO_FORMAT_GRAY16_LE:
      return 16;
    case GST_VIDEO_FORMAT_BGR:
      return 24;
    case GST_VIDEO_FORMAT_BGRx:
      return 32;
    default:
      return 64;  // BGRA64_LE carries both 48 and 64
  }
}

std::string CameraFeed::controlsJson() {
  std::ostringstream json;
  int bits = 0;
  g_object_get(source_, "color-mode", &bits, nullptr);
  if (bits == 0) bits = negotiatedBits();
  json << "{\"color-mode\":" << bits;
  guint count = 0;
  GParamSpec **params = g_object_class_list_properties(G_OBJECT_GET_CLASS(source_), &count);
  for (guint i = 0; i < count; ++i) {
    if (!isControl(params[i])) continue;
    int value = 0;
    g_object_get(source_, params[i]->name, &value, nullptr);
    json << ",\"" << params[i]->name << "\":" << value;
  }
  g_free(params);
  json << "}";
  return json.str();
}

bool CameraFeed::snapshot(const std::string &file) {
  gboolean saved = FALSE;
  g_signal_emit_by_name(source_, "snapshot", file.c_str(), PELNIK_FILE_PNG, &saved);
  return saved;
}

bool CameraFeed::startRecording(const std::string &file, std::string &error) {
  std::lock_guard<std::mutex> hold(recorderLock_);
  if (recorder_) {
    error = "camera " + std::to_string(camera_) + " is recording already";
    return false;
  }
  auto recorder = std::make_unique<Recorder>();
  const int rate = int(framesPerSecond() + 0.5);
  if (!recorder->open(file, rate, error)) return false;
  recorder_ = std::move(recorder);
  return true;
}

std::string CameraFeed::stopRecording() {
  std::unique_ptr<Recorder> done;
  {
    std::lock_guard<std::mutex> hold(recorderLock_);
    done = std::move(recorder_);
  }
  if (!done) return {};
  // Finished outside the lock: the camera's thread goes on meanwhile.
  done->finish();
  return done->file();
}

bool CameraFeed::recording() {
  std::lock_guard<std::mutex> hold(recorderLock_);
  return recorder_ != nullptr;
}

}  // namespace serve
