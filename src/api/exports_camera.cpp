// Camera selection and information, video format, mirrors, automatic iris
// and exposure in microseconds.
#include "PelnikSdk_R5M_LX.h"
#include "api/boundary_types.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int PELNIK_CALL Pelnik_EnumDevice(int handle, char *names) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.EnumDevice(names); });
}

int PELNIK_CALL Pelnik_EnumDeviceW(int handle, PelnikChar16 *names) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.EnumDeviceW(pelnik::utf16(names)); });
}

int PELNIK_CALL Pelnik_GetDeviceName(int handle, int number, char *text, int length) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.GetDeviceName(number, text, length); });
}

int PELNIK_CALL Pelnik_GetDeviceNameW(int handle, int number, PelnikChar16 *text, int length) {
  return pelnik::withCamera(
      handle, [=](CPelnik &c) { return c.GetDeviceNameW(number, pelnik::utf16(text), length); });
}

int PELNIK_CALL Pelnik_SetDeviceNumber(int handle, int number) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetDeviceNumber(number); });
}

int PELNIK_CALL Pelnik_GetCameraInfo(int handle, int *info) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetCameraInfo(info); });
}

int PELNIK_CALL Pelnik_SetCaptureWindow(int handle, int width, int height) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetCaptureWindow(width, height); });
}

int PELNIK_CALL Pelnik_SetCaptureWindowEx(int handle, int hTotal, int hStart, int hEffective,
                                          int vTotal, int vStart, int vEffective) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.SetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
  });
}

int PELNIK_CALL Pelnik_GetCaptureWindowEx(int handle, int *hTotal, int *hStart, int *hEffective,
                                          int *vTotal, int *vStart, int *vEffective) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.GetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
  });
}

int PELNIK_CALL Pelnik_Width(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Width(); });
}

int PELNIK_CALL Pelnik_Height(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Height(); });
}

int PELNIK_CALL Pelnik_SetColorMode(int handle, int bits) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetColorMode(bits); });
}

int PELNIK_CALL Pelnik_GetColorMode(int handle) {
  return pelnik::withCamera<-1>(handle, [](CPelnik &c) { return c.GetColorMode(); });
}

int PELNIK_CALL Pelnik_SetSubSample(int handle, int value) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetSubSample(value); });
}

int PELNIK_CALL Pelnik_GetSubSample(int handle) {
  return pelnik::withCamera<-1>(handle, [](CPelnik &c) { return c.GetSubSample(); });
}

int PELNIK_CALL Pelnik_SetWaitTime(int handle, int milliseconds) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetWaitTime(milliseconds); });
}

int PELNIK_CALL Pelnik_GetWaitTime(int handle) {
  return pelnik::withCamera<-1>(handle, [](CPelnik &c) { return c.GetWaitTime(); });
}

int PELNIK_CALL Pelnik_SetMirrorV(int handle, int on) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetMirrorV(on); });
}

int PELNIK_CALL Pelnik_GetMirrorV(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.GetMirrorV(); });
}

int PELNIK_CALL Pelnik_SetMirrorH(int handle, int on) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetMirrorH(on); });
}

int PELNIK_CALL Pelnik_GetMirrorH(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.GetMirrorH(); });
}

int PELNIK_CALL Pelnik_SetAutoIris(int handle, int mode) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetAutoIris(mode); });
}

int PELNIK_CALL Pelnik_GetAutoIris(int handle, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetAutoIris(flag); });
}

int PELNIK_CALL Pelnik_SetRealExposureTime(int handle, int microseconds) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.SetRealExposureTime(microseconds); });
}

int PELNIK_CALL Pelnik_GetRealExposureTime(int handle, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetRealExposureTime(flag); });
}

}  // extern "C"
