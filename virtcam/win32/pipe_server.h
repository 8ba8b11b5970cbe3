#pragma once
// The virtual camera's transport on Windows: each camera number is served as
// the named pipe "\\.\pipe\PNikR5MLX-N" (or BASE-N for another base name,
// which a kernel-mode stand-in for the driver forwards to) carrying the same requests as the
// Linux sockets. A free listening instance is always kept, since the SDK's
// streaming thread, its frame reader and its per-call opens connect at the
// same time. Destruction stops and joins every thread.
#include <windows.h>

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_wire.h"
#include "platform/win32/pipe_io.h"
#include "virtcam/camera_unit.h"

namespace pelnik::virtcam::win32 {

class PipeServer {
 public:
  PipeServer(std::vector<int> cameras, CameraOptions options,
             std::string baseName = std::string(platform::wire::kDeviceBaseName));
  ~PipeServer();
  PipeServer(const PipeServer &) = delete;
  PipeServer &operator=(const PipeServer &) = delete;

  // False when a pipe could not be made (error() says which).
  bool ok() const { return error_.empty(); }
  const std::string &error() const { return error_; }
  CameraUnit *camera(int number) const;
  static std::string pipePath(int number,
                              std::string_view baseName = platform::wire::kDeviceBaseName);
  // Whether `baseName` makes pipe names: not empty, no path separator.
  static bool validBaseName(std::string_view baseName);

 private:
  struct Connection {
    platform::win32::UniqueHandle pipe;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  platform::win32::UniqueHandle newInstance(int number);
  void listen(int number, CameraUnit &unit, platform::win32::UniqueHandle first);
  void serve(Connection &connection, CameraUnit &unit, std::uint64_t id);
  void reapFinished(bool all);

  const std::string baseName_;
  std::map<int, std::unique_ptr<CameraUnit>> units_;  // fixed after construction
  platform::win32::UniqueHandle stopping_;            // manual-reset: set once to stop
  std::string error_;
  std::atomic<std::uint64_t> nextConnectionId_{1};
  std::mutex connectionsLock_;  // guards connections_
  std::list<std::unique_ptr<Connection>> connections_;
  std::vector<std::thread> listeners_;  // owned: one per camera, joined by the destructor
};

}  // namespace pelnik::virtcam::win32
