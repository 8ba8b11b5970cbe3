// Still images of the current picture and AVI recordings.
#include "PelnikSdk_R5M_LX.h"
#include "api/boundary_types.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int PELNIK_CALL Pelnik_SaveImage(int handle, const char *fileName, int format) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SaveImage(fileName, format); });
}

int PELNIK_CALL Pelnik_SaveImageW(int handle, const PelnikChar16 *fileName, int format) {
  return pelnik::withCamera(
      handle, [=](CPelnik &c) { return c.SaveImageW(pelnik::utf16(fileName), format); });
}

int PELNIK_CALL Pelnik_Record(int handle, const char *fileName, int duration, int showWindow) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.Record(fileName, duration, showWindow); });
}

int PELNIK_CALL Pelnik_RecordW(int handle, const PelnikChar16 *fileName, int duration,
                               int showWindow) {
  return pelnik::withCamera(
      handle, [=](CPelnik &c) { return c.RecordW(pelnik::utf16(fileName), duration, showWindow); });
}

}  // extern "C"
