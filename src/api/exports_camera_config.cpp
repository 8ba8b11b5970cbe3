// Configuration files loaded into the camera object's configuration list.
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int Pelnik_LoadConfigFileA(int handle, const char *path) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.LoadConfigFile(path); });
}

int Pelnik_LoadConfigFileW(int handle, const PelnikChar16 *path) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.LoadConfigFileW(path); });
}

}  // extern "C"
