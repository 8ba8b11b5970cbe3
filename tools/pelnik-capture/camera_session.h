#pragma once
// One opened camera with its message targets, released on destruction.
#include <map>
#include <string>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "options.h"
#include "tool_system.h"

namespace capture {

// Error codes seen so far, from notifications and failed frames.
struct ErrorTally {
  std::map<int, int> byCode;
  void add(int code) { ++byCode[code]; }
  std::string describe() const;
  // The camera was lost or stalled: it stopped delivering pictures.
  bool cameraLost() const;
};

// Exit statuses (listed in the man page); 2 is bad usage.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitCameraLost = 3;

// "cannot write PATH: reason", the system's reason first, else the SDK's.
std::string fileFailure(const std::string &path, const std::string &sdkErrors);

// "the words (error N)" for an SDK error code.
std::string errorText(int code);

class CameraSession {
 public:
  CameraSession();
  ~CameraSession();
  CameraSession(const CameraSession &) = delete;
  CameraSession &operator=(const CameraSession &) = delete;

  bool valid() const { return handle_ != 0; }
  int handle() const { return handle_; }
  PelnikWindow callbackWindow() const { return callback_.handle(); }
  // The frame messages of streaming and triggered acquisition.
  MessageWindow &callbackMessages() { return callback_; }
  // Error notifications and the end of a recording.
  MessageWindow &ownerMessages() { return owner_; }

  // Applies every setting the options name; false with a message on failure.
  bool configure(const Options &options, std::string &error);

  // Bytes of one picture of the current format (rows padded to 4 bytes).
  int pictureBytes() const;
  int bitsPerPixel() const;
  // The sensor's size, which the capture window must lie on.
  int sensorWidth() const;
  int sensorHeight() const;

  // Takes the owner window's notifications into the tally.
  void collectNotifications(ErrorTally &tally);
  // Pops the error history into words for messages, newest first.
  std::string drainErrors();
  // Whether a camera of this number is present (its name can be read).
  bool present(int number) const;
  // Why camera `number` cannot be used, in words.
  std::string cameraUnavailable(int number);

 private:
  MessageWindow owner_;
  MessageWindow callback_;
  int handle_ = 0;
};

// Filter-value identifier of a name (Gamma, Brightness, ...); 0 when unknown.
int filterIdentifier(const std::string &name);

}  // namespace capture
