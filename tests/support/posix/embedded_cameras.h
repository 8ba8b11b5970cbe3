#pragma once
// The virtual camera a test embeds, on Linux: the socket server of
// pelnik-virtcam on threads of the test process.
#include <memory>
#include <string>
#include <vector>

#include "virtcam/control.h"
#include "virtcam/virtual_camera.h"

namespace pelnik::test {

class EmbeddedCameras {
 public:
  EmbeddedCameras(std::vector<int> cameras, const virtcam::CameraOptions &camera)
      : server_(options(std::move(cameras), camera)) {}
  bool ok() const { return server_.ok(); }
  const std::string &error() const { return server_.error(); }
  virtcam::CameraUnit *camera(int number) const { return server_.camera(number); }
  bool apply(virtcam::ControlAction action, int number) { return server_.apply(action, number); }

 private:
  static virtcam::VirtualCameraOptions options(std::vector<int> cameras,
                                               const virtcam::CameraOptions &camera) {
    virtcam::VirtualCameraOptions o;
    o.cameras = std::move(cameras);
    o.camera = camera;
    o.controlSocket = false;
    return o;
  }
  virtcam::VirtualCamera server_;
};

}  // namespace pelnik::test
