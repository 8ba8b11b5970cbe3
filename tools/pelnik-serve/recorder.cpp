#include "recorder.h"

namespace serve {

Recorder::~Recorder() { finish(); }

bool Recorder::open(const std::string &file, int framesPerSecond, std::string &error) {
  GError *failure = nullptr;
  const std::string launch =
      "appsrc name=src is-live=true format=time do-timestamp=true max-buffers=8 "
      "block=false ! queue ! videoconvert ! videorate ! video/x-raw,format=BGR,framerate=" +
      std::to_string(framesPerSecond > 0 ? framesPerSecond : 1) +
      "/1 ! avimux ! filesink name=sink";
  pipeline_ = gst_parse_launch(launch.c_str(), &failure);
  if (!pipeline_) {
    error = failure ? failure->message : "cannot build the recorder";
    g_clear_error(&failure);
    return false;
  }
  GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
  g_object_set(sink, "location", file.c_str(), nullptr);
  gst_object_unref(sink);
  source_ = GST_APP_SRC(gst_bin_get_by_name(GST_BIN(pipeline_), "src"));
  if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    error = "cannot start the recorder for " + file;
    finish();
    return false;
  }
  file_ = file;
  return true;
}

void Recorder::push(GstSample *sample) {
  if (!source_) return;
  GstCaps *caps = gst_sample_get_caps(sample);
  if (caps && (!caps_ || !gst_caps_is_equal(caps, caps_))) {
    gst_caps_replace(&caps_, caps);
    gst_app_src_set_caps(source_, caps);
  }
  GstBuffer *buffer = gst_sample_get_buffer(sample);
  if (!buffer) return;
  // Timestamps are the recorder's own arrival times (do-timestamp).
  GstBuffer *copy = gst_buffer_copy_deep(buffer);
  GST_BUFFER_PTS(copy) = GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
  gst_app_src_push_buffer(source_, copy);
}

void Recorder::finish() {
  if (!pipeline_) return;
  if (source_) {
    gst_app_src_end_of_stream(source_);
    // The index is written on EOS; a stuck pipeline must not hang the server.
    GstBus *bus = gst_element_get_bus(pipeline_);
    GstMessage *done = gst_bus_timed_pop_filtered(
        bus, 5 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (done) gst_message_unref(done);
    gst_object_unref(bus);
    gst_object_unref(source_);
    source_ = nullptr;
  }
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  gst_object_unref(pipeline_);
  pipeline_ = nullptr;
  if (caps_) gst_caps_unref(caps_);
  caps_ = nullptr;
}

}  // namespace serve
