#pragma once
// The error codes a camera raises, one name each, valued by the public
// PELNIK_ERR_* names an application compares against. Everything in the
// library raises these names; the history and the messages carry the int.
#include "PelnikSdk_R5M_LX.h"

namespace pelnik {

enum class ErrorCode : int {
  None = PELNIK_ERR_NONE,
  NoDevice = PELNIK_ERR_NO_DEVICE,  // also: wrong state for the call
  CameraAbsent = PELNIK_ERR_CAMERA_ABSENT,
  ThreadFailed = PELNIK_ERR_THREAD,
  WindowOrPreset = PELNIK_ERR_WINDOW,
  MemoryOrBuffer = PELNIK_ERR_MEMORY,
  DeviceIo = PELNIK_ERR_IO,
  InvalidFormat = PELNIK_ERR_FORMAT,
  AcquisitionFailed = PELNIK_ERR_ACQUISITION,
  InvalidArgument = PELNIK_ERR_ARGUMENT,
  NotSupported = PELNIK_ERR_UNSUPPORTED,
  FileError = PELNIK_ERR_FILE,
  CameraStopped = PELNIK_ERR_STOPPED,
};

// The value that goes into the history and the messages' lParam.
constexpr int codeValue(ErrorCode code) { return static_cast<int>(code); }

// The message numbers of the notifications, from the public header.
inline constexpr unsigned int kErrorMessage = PELNIK_WM_ERROR;
inline constexpr unsigned int kFrameMessage = PELNIK_WM_FRAME;

}  // namespace pelnik
