// Configuration files loaded into the camera object's configuration list.
#include "PelnikSdk_R5M_LX.h"
#include "api/boundary_types.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int PELNIK_CALL Pelnik_LoadConfigFileA(int handle, const char *path) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.LoadConfigFile(path); });
}

int PELNIK_CALL Pelnik_LoadConfigFileW(int handle, const PelnikChar16 *path) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.LoadConfigFileW(pelnik::utf16(path)); });
}

}  // extern "C"
