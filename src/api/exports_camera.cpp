// Camera selection and information, video format, mirrors, automatic iris
// and exposure in microseconds.
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int Pelnik_EnumDevice(int handle, char *names) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.EnumDevice(names); });
}

int Pelnik_EnumDeviceW(int handle, PelnikChar16 *names) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.EnumDeviceW(names); });
}

int Pelnik_GetDeviceName(int handle, int number, char *text, int length) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.GetDeviceName(number, text, length); });
}

int Pelnik_GetDeviceNameW(int handle, int number, PelnikChar16 *text, int length) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.GetDeviceNameW(number, text, length); });
}

int Pelnik_SetDeviceNumber(int handle, int number) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetDeviceNumber(number); });
}

int Pelnik_GetCameraInfo(int handle, int *info) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetCameraInfo(info); });
}

int Pelnik_SetCaptureWindow(int handle, int width, int height) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetCaptureWindow(width, height); });
}

int Pelnik_SetCaptureWindowEx(int handle, int hTotal, int hStart, int hEffective, int vTotal,
                              int vStart, int vEffective) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.SetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
  });
}

int Pelnik_GetCaptureWindowEx(int handle, int *hTotal, int *hStart, int *hEffective, int *vTotal,
                              int *vStart, int *vEffective) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.GetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
  });
}

int Pelnik_Width(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Width(); });
}

int Pelnik_Height(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Height(); });
}

int Pelnik_SetColorMode(int handle, int bits) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetColorMode(bits); });
}

int Pelnik_GetColorMode(int handle) {
  return pelnik::withCamera<-1>(handle, [](CPelnik &c) { return c.GetColorMode(); });
}

int Pelnik_SetSubSample(int handle, int value) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetSubSample(value); });
}

int Pelnik_GetSubSample(int handle) {
  return pelnik::withCamera<-1>(handle, [](CPelnik &c) { return c.GetSubSample(); });
}

int Pelnik_SetWaitTime(int handle, int milliseconds) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetWaitTime(milliseconds); });
}

int Pelnik_GetWaitTime(int handle) {
  return pelnik::withCamera<-1>(handle, [](CPelnik &c) { return c.GetWaitTime(); });
}

int Pelnik_SetMirrorV(int handle, int on) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetMirrorV(on); });
}

int Pelnik_GetMirrorV(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.GetMirrorV(); });
}

int Pelnik_SetMirrorH(int handle, int on) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetMirrorH(on); });
}

int Pelnik_GetMirrorH(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.GetMirrorH(); });
}

int Pelnik_SetAutoIris(int handle, int mode) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetAutoIris(mode); });
}

int Pelnik_GetAutoIris(int handle, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetAutoIris(flag); });
}

int Pelnik_SetRealExposureTime(int handle, int microseconds) {
  return pelnik::withCamera(handle,
                            [=](CPelnik &c) { return c.SetRealExposureTime(microseconds); });
}

int Pelnik_GetRealExposureTime(int handle, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetRealExposureTime(flag); });
}

}  // extern "C"
