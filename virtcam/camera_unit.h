#pragma once
// One virtual camera behind its driver: register and SROM state, the
// request protocol, frame timing, trigger mode, injected faults and the
// protocol log. Requests arrive from connection threads; every member is
// safe to call from any thread.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "virtcam/camera_registers.h"
#include "virtcam/control.h"
#include "virtcam/frame_renderer.h"
#include "virtcam/protocol_log.h"
#include "virtcam/scene.h"

namespace pelnik::virtcam {

using Clock = std::chrono::steady_clock;

// An image read that gets no frame fails after this long unless a time-out
// request set another value (a value of 0 or less also means this one).
inline constexpr int kDefaultReadTimeoutMs = 3000;

struct CameraOptions {
  std::shared_ptr<const Scene> scene;  // null = the test chart
  NoiseSettings noise;
  bool sensorTiming = true;  // false: frames as fast as they can be made
  double maxFrameRate = 0;   // frames per second; 0 = no cap beyond the sensor's
  int triggerPeriodMs = 0;   // periodic trigger in trigger mode; 0 = software triggers only
  int defaultReadTimeoutMs = kDefaultReadTimeoutMs;
  std::size_t logCapacity = 50000;  // records per camera
  // Called with a line for every malformed request (standalone: stderr).
  std::function<void(const std::string &)> reportProtocolError;
};

// A request as it came off the wire.
struct CameraRequest {
  std::uint32_t code = 0;
  std::span<const std::uint8_t> input;
  std::uint32_t outputLength = 0;
  std::span<const std::uint8_t> outbound;  // the command block of a pipe-0 transfer
};

struct CameraReply {
  bool succeeded = false;
  std::uint32_t returned = 0;
  std::span<const std::uint8_t> payload;  // data for pipes 1 and 2
};

// What a camera keeps per connection: buffers that outlive one request and
// a way to notice that the client went away while a read waits.
class CameraConnection {
 public:
  CameraConnection(std::uint64_t id, std::shared_ptr<const Scene> scene,
                   std::function<bool()> clientGone)
      : id_(id), renderer_(std::move(scene)), clientGone_(std::move(clientGone)) {}
  std::uint64_t id() const { return id_; }
  bool clientGone() const { return clientGone_ && clientGone_(); }

 private:
  friend class CameraUnit;
  const std::uint64_t id_;
  FrameRenderer renderer_;
  std::vector<std::uint8_t> frame_;
  std::array<std::uint8_t, 64> reply_{};
  std::function<bool()> clientGone_;
};

// Faults that can be switched on at run time.
enum class Fault { Stall, ShortNextRead, ShortReads, FailCommands };

class CameraUnit {
 public:
  CameraUnit(int cameraNumber, CameraOptions options);

  int number() const { return number_; }
  const std::shared_ptr<const Scene> &scene() const { return scene_; }

  // Serves one request; may block (image reads) until a frame, a failure or
  // the time-out. Never throws.
  CameraReply handle(const CameraRequest &request, CameraConnection &connection);

  // Logs a message that could not even be read as a request (the stream is
  // then dropped).
  void recordStreamError(std::uint64_t connection, const std::string &what);

  // Run-time control.
  void setUnplugged(bool unplugged);
  bool unplugged() const;
  void setFault(Fault fault, bool on);
  void heal();  // clears stall, short reads and failing commands
  // The camera's own part of a control action (faults, trigger, healing);
  // plugging and unplugging are the server's, which owns the connections.
  void apply(ControlAction action);
  void trigger();
  // Ends every waiting read (the server is stopping).
  void shutDown();

  // State for tests and tools.
  CameraRegisters registers() const;
  void setSensorRegister(int reg, std::uint16_t value);
  void setFpgaRegister(int reg, std::uint8_t value);
  std::uint8_t sromByte(std::uint16_t address) const;
  std::uint64_t framesDelivered() const;
  int readTimeoutMs() const;  // the one image reads use now
  std::vector<ProtocolRecord> protocolLog() const { return log_.snapshot(); }
  void clearProtocolLog() { log_.clear(); }
  // The settings frame `frameNumber` would be rendered with now.
  FrameSettings frameSettings(std::uint32_t frameNumber) const;
  const CameraOptions &options() const { return options_; }

 private:
  struct Outcome {
    bool succeeded = false;
    std::uint32_t returned = 0;
    std::span<const std::uint8_t> payload;
    std::string protocolError;
    std::string failure;
  };
  Outcome dispatch(const CameraRequest &request, int pipe, CameraConnection &connection);
  Outcome executeCommand(std::span<const std::uint8_t> block, CameraConnection &connection);
  Outcome readImage(std::uint32_t length, CameraConnection &connection);
  std::optional<Clock::time_point> frameReadyAt(Clock::time_point readStart,
                                                Clock::time_point requested, Clock::time_point now);
  Clock::duration framePeriod() const;  // under stateLock_
  int readTimeoutLockedMs() const;      // under stateLock_

  const int number_;
  const CameraOptions options_;
  const std::shared_ptr<const Scene> scene_;
  const Clock::time_point epoch_;
  ProtocolLog log_;

  mutable std::mutex stateLock_;  // guards every field below
  std::condition_variable stateChanged_;
  CameraRegisters registers_;
  std::vector<std::uint8_t> srom_;
  std::array<std::uint8_t, 64> replyBlock_{};
  std::uint32_t frameLengthCommand_ = 0;
  int timeoutRequestMs_ = 0;
  std::optional<Clock::time_point> pendingFrameRequest_;
  std::optional<Clock::time_point> pendingTrigger_;
  Clock::time_point lastFrameReady_{};
  Clock::time_point lastDelivery_{};
  std::uint64_t framesDelivered_ = 0;
  bool unplugged_ = false;
  bool stopping_ = false;
  bool stalled_ = false;
  bool shortNextRead_ = false;
  bool shortReads_ = false;
  bool failCommands_ = false;
};

// SROM content of a fresh camera: identity bytes at srom::kIdentityBase derived from the
// camera number, sensor variant at srom::kSensorVariant (1 for even numbers, 2 for odd).
std::vector<std::uint8_t> seededSrom(int cameraNumber);

}  // namespace pelnik::virtcam
