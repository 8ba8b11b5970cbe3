#include "virtual_cameras.h"

#include <cstdlib>
#include <filesystem>

#include "virtcam/virtual_camera.h"

namespace serve {
namespace {

class EmbeddedCameras : public VirtualCameras {
 public:
  EmbeddedCameras(std::string root, const std::vector<int> &cameras) : root_(std::move(root)) {
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    pelnik::virtcam::VirtualCameraOptions options;
    options.cameras = cameras;
    server_ = std::make_unique<pelnik::virtcam::VirtualCamera>(options);
  }
  ~EmbeddedCameras() override {
    server_.reset();  // joins the server before its sockets go
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::string runtimeDirectory() const override { return root_; }
  bool ok() const { return server_ && server_->ok(); }
  std::string error() const { return server_ ? server_->error() : "not created"; }

 private:
  std::string root_;
  std::unique_ptr<pelnik::virtcam::VirtualCamera> server_;
};

}  // namespace

std::unique_ptr<VirtualCameras> startVirtualCameras(const std::vector<int> &cameras,
                                                    std::string &error) {
  char pattern[] = "/tmp/pelnik-serve-XXXXXX";
  if (!mkdtemp(pattern)) {
    error = "cannot create a private runtime directory";
    return nullptr;
  }
  auto host = std::make_unique<EmbeddedCameras>(pattern, cameras);
  if (!host->ok()) {
    error = host->error();
    return nullptr;
  }
  return host;
}

}  // namespace serve
