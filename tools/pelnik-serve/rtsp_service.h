#pragma once
// rtsp://HOST:PORT/camN for every camera: one shared media per camera, so
// any number of clients share one encoder fed by the camera's tee.
#include <gst/rtsp-server/rtsp-server.h>

#include <memory>
#include <string>
#include <vector>

#include "camera_feed.h"

namespace serve {

class RtspService {
 public:
  RtspService() = default;
  ~RtspService();
  RtspService(const RtspService &) = delete;
  RtspService &operator=(const RtspService &) = delete;

  // Attaches the server to the default main context; false with `error`.
  bool start(const Options &options, const std::vector<std::unique_ptr<CameraFeed>> &feeds,
             std::string &error);

 private:
  GstRTSPServer *server_ = nullptr;
  guint source_ = 0;
};

}  // namespace serve
