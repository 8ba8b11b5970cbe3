#pragma once
// One camera: a pelniksrc alive as long as the server, whose pictures a tee
// hands to the RTSP clients (H.264 is encoded in the RTSP media), to the
// page (JPEG) and to the recorder (raw pictures).
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "options.h"
#include "recorder.h"

namespace serve {

// The newest JPEG of the page's branch, shared by every page client.
struct JpegFrame {
  std::uint64_t sequence = 0;
  GBytes *bytes = nullptr;  // owned; replaced as frames arrive
};

class CameraFeed {
 public:
  CameraFeed(int camera, const Options &options);
  ~CameraFeed();
  CameraFeed(const CameraFeed &) = delete;
  CameraFeed &operator=(const CameraFeed &) = delete;

  // Builds and starts the pipeline; false with `error` filled. Errors the
  // pipeline reports later are logged and the camera is started again.
  bool start(std::string &error);
  int camera() const { return camera_; }

  // RTSP media of this camera: the appsrc receives every picture (I420).
  void addRtspSource(GstAppSrc *source);
  void removeRtspSource(GstAppSrc *source);

  // The newest JPEG, referenced for the caller (null when none yet).
  GBytes *latestJpeg(std::uint64_t &sequence);
  double framesPerSecond();
  std::uint64_t framesSeen() const { return frames_.load(); }

  // Controls, by pelniksrc property name; false when the name is not a
  // control or the value is refused.
  bool setControl(const std::string &name, int value, std::string &error);
  // The controls' current values as a JSON object.
  std::string controlsJson();
  // Writes the newest picture as a PNG file; false on failure.
  bool snapshot(const std::string &file);

  bool startRecording(const std::string &file, std::string &error);
  // Finishes the file; its name, empty when nothing was recording.
  std::string stopRecording();
  bool recording();

 private:
  static GstFlowReturn onRtspSample(GstAppSink *sink, gpointer self);
  static GstFlowReturn onJpegSample(GstAppSink *sink, gpointer self);
  static GstFlowReturn onRawSample(GstAppSink *sink, gpointer self);
  static gboolean onBusMessage(GstBus *bus, GstMessage *message, gpointer self);
  static gboolean onRetry(gpointer self);
  // Stops the pipeline and starts it again every kRetrySeconds until it
  // plays: a camera unplugged or stalled comes back by itself, without
  // the server and the other cameras' clients going with it.
  void recover();
  bool setColorMode(int bits, std::string &error);
  int negotiatedBits();

  const int camera_;
  const Options &options_;
  GstElement *pipeline_ = nullptr;
  GstElement *source_ = nullptr;  // the pelniksrc, owned by the pipeline
  guint busWatch_ = 0;            // main-context sources
  guint retrySource_ = 0;

  std::mutex rtspSourcesLock_;  // guards rtspSources_
  std::vector<GstAppSrc *> rtspSources_;

  std::mutex jpegLock_;  // guards jpeg_
  JpegFrame jpeg_;

  std::mutex rateLock_;  // guards arrivals_
  std::deque<std::chrono::steady_clock::time_point> arrivals_;
  std::atomic<std::uint64_t> frames_{0};

  std::mutex recorderLock_;  // guards recorder_
  std::unique_ptr<Recorder> recorder_;
};

}  // namespace serve
