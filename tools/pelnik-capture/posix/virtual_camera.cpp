#include "../virtual_camera.h"

#include <cstdlib>
#include <filesystem>

#include "virtcam/virtual_camera.h"

namespace capture {
namespace {

class EmbeddedHost : public VirtualCameraHost {
 public:
  EmbeddedHost(std::string root, int triggerPeriodMs) : root_(std::move(root)) {
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    pelnik::virtcam::VirtualCameraOptions options;
    options.cameras = {0};
    options.camera.triggerPeriodMs = triggerPeriodMs;
    camera_ = std::make_unique<pelnik::virtcam::VirtualCamera>(options);
  }
  ~EmbeddedHost() override {
    camera_.reset();  // stops and joins the server before its sockets go
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  bool ok() const { return camera_ && camera_->ok(); }
  std::string error() const { return camera_ ? camera_->error() : "not created"; }
  std::string runtimeDirectory() const override { return root_; }

 private:
  std::string root_;
  std::unique_ptr<pelnik::virtcam::VirtualCamera> camera_;
};

}  // namespace

std::unique_ptr<VirtualCameraHost> startVirtualCamera(int triggerPeriodMs, std::string &error) {
  char pattern[] = "/tmp/pelnik-capture-XXXXXX";
  if (!mkdtemp(pattern)) {
    error = "cannot create a private runtime directory";
    return nullptr;
  }
  auto host = std::make_unique<EmbeddedHost>(pattern, triggerPeriodMs);
  if (!host->ok()) {
    error = host->error();
    return nullptr;
  }
  return host;
}

}  // namespace capture
