#pragma once
// The virtual camera a test embeds, on Windows: the pipe server of
// pelnik-virtcam.exe on threads of the test process. An unplugged camera's
// pipe stays, but every request to it fails as to a removed device.
#include <string>
#include <vector>

#include "virtcam/control.h"
#include "virtcam/win32/pipe_server.h"

namespace pelnik::test {

class EmbeddedCameras {
 public:
  EmbeddedCameras(std::vector<int> cameras, const virtcam::CameraOptions &camera)
      : server_(std::move(cameras), camera) {}
  bool ok() const { return server_.ok(); }
  const std::string &error() const { return server_.error(); }
  virtcam::CameraUnit *camera(int number) const { return server_.camera(number); }
  bool apply(virtcam::ControlAction action, int number) {
    virtcam::CameraUnit *unit = server_.camera(number);
    if (!unit) return false;
    using virtcam::ControlAction;
    // Unplugged here means refusing requests: the pipes stay.
    unit->apply(action);
    if (action == ControlAction::Unplug) unit->setUnplugged(true);
    if (action == ControlAction::Plug || action == ControlAction::Heal) unit->setUnplugged(false);
    return true;
  }

 private:
  virtcam::win32::PipeServer server_;
};

}  // namespace pelnik::test
