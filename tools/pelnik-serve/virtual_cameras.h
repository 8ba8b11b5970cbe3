#pragma once
// --virtual: the named cameras served by a virtual camera inside this
// process, in a private runtime directory, for a machine with nothing
// attached.
#include <memory>
#include <string>
#include <vector>

namespace serve {

class VirtualCameras {
 public:
  virtual ~VirtualCameras() = default;
  // Where the cameras' sockets are: pelnik-virtcam ctl, run with
  // XDG_RUNTIME_DIR set to it, injects faults into them.
  virtual std::string runtimeDirectory() const = 0;
};

// Points XDG_RUNTIME_DIR at a fresh private directory and serves `cameras`
// there; null with `error` set on failure. The directory goes with the host.
std::unique_ptr<VirtualCameras> startVirtualCameras(const std::vector<int> &cameras,
                                                    std::string &error);

}  // namespace serve
