#pragma once
// The camera's recorder: the start sequence of Pelnik_Record around the
// recording, and the camera's side of the recording (frame lock, the
// prepared acquisition's picture, the new-frame signal, error reporting and
// the end-of-recording message to the owner window).
#include <cstdint>

#include "camera/recording.h"

namespace pelnik {

class Acquisition;
class CameraPipeline;
class ErrorHistory;

class CameraRecorder final : private RecordingHost {
 public:
  CameraRecorder(Acquisition &acquisition, CameraPipeline &pipeline, ErrorHistory &errors);

  // Starts continuous acquisition if needed, opens the file and starts the
  // recording thread; 1 or 0 with the error raised. A refusal leaves a
  // running acquisition, and the application's callback destination, as they
  // were; an acquisition this call started is closed again.
  int Record(const char *path, std::uint32_t durationMs, bool showWindow);
  // Ends a running recording with its file finished; joins its thread.
  void Stop() { recording_.stop(); }
  bool IsRecording() const { return recording_.isRecording(); }
  Recording &recording() { return recording_; }
  // Records a failure in the camera's history (failure.h reports through it).
  int raiseError(ErrorCode code) override;

 private:
  platform::RecursiveLock &frameLock() override;
  CImageBuffer *preparedPicture() override;
  bool takeNewFrame(int waitMs) override;
  bool cameraLost() const override;
  void announceEnd(int how, std::uint32_t frames) override;

  Acquisition &acquisition_;
  CameraPipeline &pipeline_;
  ErrorHistory &errors_;
  Recording recording_;
};

}  // namespace pelnik
