// Functions this camera model does not support. Each group shares one body.
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"
#include "camera/error_codes.h"

using pelnik::CPelnik;
using pelnik::ErrorCode;

namespace {

// Posts "not supported" to the owner window, records nothing, returns 0:
// this group announces by notice, unlike the configuration-filter pair.
int announceUnsupported(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) {
    c.PostNotice(ErrorCode::NotSupported);
    return 0;
  });
}

// Clears the flag and returns 0, posting nothing.
int reportNoValue(int handle, int *flag) {
  return pelnik::withCamera(handle, [flag](CPelnik &) {
    if (flag) *flag = 0;
    return 0;
  });
}

// Records "not supported" and returns -1.
int refuseConfigFilter(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) {
    c.raiseError(ErrorCode::NotSupported);
    return -1;
  });
}

}  // namespace

extern "C" {

int PELNIK_CALL Pelnik_SetSamplingRate(int handle, int) { return announceUnsupported(handle); }
int PELNIK_CALL Pelnik_SetHalfClock(int handle, int) { return announceUnsupported(handle); }
int PELNIK_CALL Pelnik_GetHalfClock(int handle, int *) { return announceUnsupported(handle); }
int PELNIK_CALL Pelnik_SetCrossbar(int handle, int) { return announceUnsupported(handle); }
int PELNIK_CALL Pelnik_Fps(int handle) { return announceUnsupported(handle); }
int PELNIK_CALL Pelnik_Fpga_ReadRegister(int handle, int, int *) {
  return announceUnsupported(handle);
}
int PELNIK_CALL Pelnik_Fpga_WriteRegister(int handle, int, int) {
  return announceUnsupported(handle);
}

int PELNIK_CALL Pelnik_GetSamplingRate(int handle, int *flag) {
  return reportNoValue(handle, flag);
}
int PELNIK_CALL Pelnik_GetVideoFormat(int handle, int *flag) { return reportNoValue(handle, flag); }

int PELNIK_CALL Pelnik_SetConfigFilter(int handle, int) { return refuseConfigFilter(handle); }
int PELNIK_CALL Pelnik_GetConfigFilter(int handle) { return refuseConfigFilter(handle); }

}  // extern "C"
