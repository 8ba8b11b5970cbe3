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
    using virtcam::Fault;
    switch (action) {
      case ControlAction::Unplug:
        unit->setUnplugged(true);
        break;
      case ControlAction::Plug:
        unit->setUnplugged(false);
        break;
      case ControlAction::Stall:
      case ControlAction::Resume:
        unit->setFault(Fault::Stall, action == ControlAction::Stall);
        break;
      case ControlAction::Trigger:
        unit->trigger();
        break;
      case ControlAction::ShortRead:
        unit->setFault(Fault::ShortNextRead, true);
        break;
      case ControlAction::ShortReads:
        unit->setFault(Fault::ShortReads, true);
        break;
      case ControlAction::FailCommands:
        unit->setFault(Fault::FailCommands, true);
        break;
      case ControlAction::Heal:
        unit->heal();
        unit->setUnplugged(false);
        break;
    }
    return true;
  }

 private:
  virtcam::win32::PipeServer server_;
};

}  // namespace pelnik::test
