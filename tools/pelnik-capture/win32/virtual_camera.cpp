#include "../virtual_camera.h"

#include "virtcam/win32/pipe_server.h"

namespace capture {
namespace {

// pelnik-virtcam.exe's pipe server on threads of this process: the DLL finds
// camera 0's pipe when no camera's driver is installed.
class EmbeddedHost : public VirtualCameraHost {
 public:
  explicit EmbeddedHost(int triggerPeriodMs) : server_({0}, options(triggerPeriodMs)) {}
  bool ok() const { return server_.ok(); }
  const std::string &error() const { return server_.error(); }
  std::string runtimeDirectory() const override { return {}; }

 private:
  static pelnik::virtcam::CameraOptions options(int triggerPeriodMs) {
    pelnik::virtcam::CameraOptions o;
    o.triggerPeriodMs = triggerPeriodMs;
    return o;
  }
  pelnik::virtcam::win32::PipeServer server_;
};

}  // namespace

std::unique_ptr<VirtualCameraHost> startVirtualCamera(int triggerPeriodMs, std::string &error) {
  auto host = std::make_unique<EmbeddedHost>(triggerPeriodMs);
  if (!host->ok()) {
    error = host->error();
    return nullptr;
  }
  return host;
}

}  // namespace capture
