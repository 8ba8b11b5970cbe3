// Sensor registers, SROM identity bytes and the IO port: each export checks
// the device object, makes the one device operation and reports failure.
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

// The register number is cut to 8 bits by the camera object.
int PELNIK_CALL Pelnik_ReadRegister(int handle, int reg, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.ReadRegister(reg, flag); });
}

int PELNIK_CALL Pelnik_ReadRegisterEx(int handle, int reg, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.ReadRegister(reg, flag); });
}

int PELNIK_CALL Pelnik_WriteRegister(int handle, int reg, int value) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.WriteRegister(reg, value & 0xFFFF); });
}

// The value is passed whole; only its low 16 bits reach the sensor.
int PELNIK_CALL Pelnik_WriteRegisterEx(int handle, int reg, int value) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.WriteRegister(reg, value); });
}

int PELNIK_CALL Pelnik_ReadSromID(int handle, int index, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.ReadSromID(index, flag); });
}

int PELNIK_CALL Pelnik_WriteSromID(int handle, int index, int value) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.WriteSromID(index, value); });
}

int PELNIK_CALL Pelnik_GetIOPort(int handle, unsigned char *value, int, int) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetIOPort(value); });
}

int PELNIK_CALL Pelnik_SetIOPort(int handle, int value) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetIOPort(value); });
}

}  // extern "C"
