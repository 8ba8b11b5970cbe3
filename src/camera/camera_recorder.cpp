#include "camera/camera_recorder.h"

#include "PelnikSdk_R5M_LX.h"
#include "camera/acquisition.h"
#include "camera/camera_pipeline.h"
#include "camera/error_history.h"
#include "camera/failure.h"
#include "platform/clock.h"
#include "platform/window_messages.h"

namespace pelnik {

CameraRecorder::CameraRecorder(Acquisition &acquisition, CameraPipeline &pipeline,
                               ErrorHistory &errors)
    : acquisition_(acquisition),
      pipeline_(pipeline),
      errors_(errors),
      recording_(*this, platform::tickCount) {}

int CameraRecorder::Record(const char *path, std::uint32_t durationMs, bool showWindow) {
  // One start or stop of acquisition and recording at a time, in the order
  // every stop takes them: acquisition's control first, then the recording's.
  auto control = acquisition_.lockControl();
  if (recording_.isRecording()) return fail(*this, ErrorCode::NoDevice);
  const bool wasIdle = acquisition_.state() == AcquisitionState::Idle;
  const int started = acquisition_.StartForRecording(showWindow);
  if (started < 0) return 0;  // the window's error is raised
  if (started == 0) return fail(*this, ErrorCode::FileError);
  auto refuse = [&](ErrorCode code) {
    // Only what this call started is undone; never under the frame lock.
    if (wasIdle) acquisition_.Close();
    return fail(*this, code);
  };

  int width = 0, height = 0, bitCount = 0;
  {
    platform::RecursiveGuard frame(acquisition_.frameLock());
    if (const CImageBuffer *picture = pipeline_.output(); picture && !picture->IsEmpty()) {
      width = picture->Width();
      height = picture->Height();
      bitCount = picture->BitCount();
    }
  }
  if (width == 0) return refuse(ErrorCode::FileError);
  switch (recording_.start(path, durationMs, width, height, bitCount)) {
    case Recording::StartResult::Started:
      break;
    case Recording::StartResult::Busy:
      return refuse(ErrorCode::NoDevice);
    case Recording::StartResult::FileFailed:
      return refuse(ErrorCode::FileError);
    case Recording::StartResult::NoMemory:
      return refuse(ErrorCode::MemoryOrBuffer);
    case Recording::StartResult::ThreadFailed:
      return refuse(ErrorCode::ThreadFailed);
  }
  // The recording has started: from now on frames go to the file alone.
  acquisition_.ClearTarget();
  return 1;
}

platform::RecursiveLock &CameraRecorder::frameLock() { return acquisition_.frameLock(); }

CImageBuffer *CameraRecorder::preparedPicture() {
  // The conversion kernels take their source as mutable; they only read it.
  return const_cast<CImageBuffer *>(pipeline_.output());
}

bool CameraRecorder::takeNewFrame(int waitMs) { return acquisition_.waitNewFrame(waitMs); }

bool CameraRecorder::cameraLost() const { return acquisition_.cameraLost(); }

int CameraRecorder::raiseError(ErrorCode code) { return errors_.raise(codeValue(code)); }

void CameraRecorder::announceEnd(int how, std::uint32_t frames) {
  platform::postWindowMessage(errors_.ownerWindow(), PELNIK_WM_RECORD_END,
                              static_cast<std::uintptr_t>(how), static_cast<std::intptr_t>(frames));
}

}  // namespace pelnik
