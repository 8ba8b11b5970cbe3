#pragma once
// --virtual: a virtual camera served from inside this process, in a private
// runtime directory, so the tool works on a machine with nothing attached.
#include <memory>
#include <string>

namespace capture {

class VirtualCameraHost {
 public:
  virtual ~VirtualCameraHost() = default;
  virtual std::string runtimeDirectory() const = 0;
};

// Points XDG_RUNTIME_DIR at a fresh private directory and starts a virtual
// camera 0 there; in trigger mode it triggers itself every `triggerPeriodMs`
// (0: never). Null with `error` set on failure. The directory is removed
// when the host is destroyed.
std::unique_ptr<VirtualCameraHost> startVirtualCamera(int triggerPeriodMs, std::string &error);

}  // namespace capture
