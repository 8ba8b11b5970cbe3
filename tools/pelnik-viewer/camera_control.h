#pragma once
// The viewer's camera: everything it asks of the SDK, free of the toolkit.
// The preview is a child of an X window given by the caller; frames and
// errors arrive as messages on a message target whose descriptor the caller
// watches.
#include <string>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"

namespace viewer {

// "the words (error N)" for an SDK error code.
std::string errorWords(int code);

struct CameraEntry {
  int number = 0;
  std::string name;
};

struct PreviewArea {
  unsigned long parent = 0;  // X window id
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class CameraControl {
 public:
  CameraControl();
  ~CameraControl();
  CameraControl(const CameraControl &) = delete;
  CameraControl &operator=(const CameraControl &) = delete;

  bool valid() const { return handle_ != 0; }
  int handle() const { return handle_; }
  int messageFd() const { return PelnikMsg_Fd(messages_); }

  std::vector<CameraEntry> cameras();
  bool selectCamera(int number);

  // Starts (or restarts) the preview in the area; frame messages follow.
  bool start(const PreviewArea &area);
  void stop();
  bool running() const { return running_; }

  // Colour modes by their set value (8, 16, 24, 32, 48, 64); subsample 0..3.
  bool setColourMode(int bits);
  int colourMode() const { return Pelnik_GetColorMode(handle_); }
  bool setSubsample(int value);
  int subsample() const { return Pelnik_GetSubSample(handle_); }

  bool snapshot(const std::string &path);
  bool startRecording(const std::string &path);
  // Ends the recording (the acquisition stop finishes the file) and goes
  // on previewing.
  void stopRecording();
  bool recording() const { return recording_; }

  // Takes the waiting messages: the newest frame rate (frames per second
  // times ten, -1 when no frame came) and the error codes posted.
  int takeMessages(std::vector<int> &errors);
  // The error codes of the last failed call, newest first, as text.
  std::string lastErrors();

 private:
  // Runs `change` with the preview stopped, then starts it again.
  bool whileStopped(bool (CameraControl::*change)(int), int value);
  bool applyColourMode(int bits) { return Pelnik_SetColorMode(handle_, bits) == 1; }
  bool applySubsample(int value) { return Pelnik_SetSubSample(handle_, value) == 1; }
  bool applyCamera(int number) { return Pelnik_SetDeviceNumber(handle_, number) == 1; }

  int messages_ = 0;
  int handle_ = 0;
  PreviewArea area_;
  bool running_ = false;
  bool recording_ = false;
};

}  // namespace viewer
