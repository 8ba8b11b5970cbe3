#pragma once
// The virtual camera server: serves the sockets of the given camera numbers
// (and the control socket) in the runtime directory on threads of its own.
// Construct one inside a test or tool process (embedded mode), or run
// pelnik-virtcam; destruction stops every thread, joins it and removes the
// sockets.
#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/unix_stream.h"
#include "virtcam/camera_unit.h"
#include "virtcam/control.h"

namespace pelnik::virtcam {

struct VirtualCameraOptions {
  std::vector<int> cameras{0};  // camera numbers 0..31
  CameraOptions camera;         // the same for every camera
  std::string directory;        // empty = the per-user runtime directory
  bool controlSocket = true;
};

class VirtualCamera {
 public:
  explicit VirtualCamera(VirtualCameraOptions options);
  ~VirtualCamera();
  VirtualCamera(const VirtualCamera &) = delete;
  VirtualCamera &operator=(const VirtualCamera &) = delete;

  // False when serving could not start (error() says why); nothing runs then.
  bool ok() const { return error_.empty(); }
  const std::string &error() const { return error_; }

  const std::string &directory() const { return directory_; }
  std::string socketPath(int camera) const;
  std::vector<int> cameras() const;
  bool serves(int camera) const { return units_.count(camera) != 0; }
  // The camera's state and log; null when `camera` is not served.
  CameraUnit *camera(int camera) const;

  // Applies a control action; false with `message` when the camera is not
  // served or the action could not be done.
  bool apply(ControlAction action, int camera, std::string &message);
  bool apply(ControlAction action, int camera) {
    std::string ignored;
    return apply(action, camera, ignored);
  }

 private:
  struct Connection {
    int camera = -1;  // -1: a control connection
    platform::unix_stream::UniqueFd fd;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  bool start();
  void stop();
  bool plug(int camera, std::string &message);
  void unplug(int camera);
  void acceptLoop();
  void acceptFrom(int listener, int camera);
  void serveCamera(Connection &connection, CameraUnit &unit, std::uint64_t id);
  void serveControl(Connection &connection);
  void finish(Connection &connection);
  void reapFinished();
  void wakeAcceptor();

  const VirtualCameraOptions options_;
  std::string directory_;
  std::string error_;
  std::map<int, std::unique_ptr<CameraUnit>> units_;  // fixed after construction
  platform::unix_stream::UniqueFd wake_;              // eventfd that interrupts the acceptor
  platform::unix_stream::UniqueFd control_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> nextConnectionId_{1};

  std::mutex listenersLock_;  // guards listeners_ and retired_
  std::map<int, platform::unix_stream::UniqueFd> listeners_;
  // Listeners taken out of service; closed by the acceptor once it is no
  // longer polling them.
  std::vector<platform::unix_stream::UniqueFd> retired_;

  std::mutex connectionsLock_;  // guards connections_
  std::list<std::unique_ptr<Connection>> connections_;

  std::thread acceptor_;  // owned: started by start(), joined by stop()
};

}  // namespace pelnik::virtcam
