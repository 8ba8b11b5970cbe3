#pragma once
// One opened camera with its message targets, released on destruction.
#include <map>
#include <string>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"
#include "options.h"

namespace capture {

// Error codes seen so far, from notifications and failed frames.
struct ErrorTally {
  std::map<int, int> byCode;
  void add(int code) { ++byCode[code]; }
  std::string describe() const;
};

class CameraSession {
 public:
  CameraSession();
  ~CameraSession();
  CameraSession(const CameraSession &) = delete;
  CameraSession &operator=(const CameraSession &) = delete;

  bool valid() const { return handle_ != 0; }
  int handle() const { return handle_; }
  int callbackWindow() const { return callback_; }
  int ownerWindow() const { return owner_; }

  // Applies every setting the options name; false with a message on failure.
  bool configure(const Options &options, std::string &error);

  // Bytes of one picture of the current format (rows padded to 4 bytes).
  int pictureBytes() const;
  int bitsPerPixel() const;

  // Takes the owner window's notifications into the tally.
  void collectNotifications(ErrorTally &tally);
  // Pops the error history into a text ("6, 2") for messages.
  std::string drainErrors();

 private:
  int owner_ = 0;
  int callback_ = 0;
  int handle_ = 0;
};

// Filter-value identifier of a name (Gamma, Brightness, ...); 0 when unknown.
int filterIdentifier(const std::string &name);

}  // namespace capture
