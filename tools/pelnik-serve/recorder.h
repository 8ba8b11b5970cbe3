#pragma once
// An AVI of uncompressed 24-bit pictures, written by its own GStreamer
// pipeline (appsrc ! videoconvert ! avimux ! filesink) from the pictures the
// camera's tee hands over.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <string>

namespace serve {

class Recorder {
 public:
  Recorder() = default;
  ~Recorder();
  Recorder(const Recorder &) = delete;
  Recorder &operator=(const Recorder &) = delete;

  // An AVI holds a fixed frame rate: pictures are repeated or dropped to
  // `framesPerSecond` (the camera's measured rate).
  bool open(const std::string &file, int framesPerSecond, std::string &error);
  // Hands over one picture; the caps of the first fix the file's format.
  void push(GstSample *sample);
  // Ends the stream and waits (bounded) until the file is complete.
  void finish();
  const std::string &file() const { return file_; }

 private:
  GstElement *pipeline_ = nullptr;
  GstAppSrc *source_ = nullptr;
  GstCaps *caps_ = nullptr;
  std::string file_;
};

}  // namespace serve
