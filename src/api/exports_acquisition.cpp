// Acquisition exports: continuous, single and triggered pictures.
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int Pelnik_SetPreviewWindow(int handle, int parentWindow, int left, int top, int right,
                            int bottom) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.SetPreviewWindow(parentWindow, left, top, right, bottom);
  });
}

int Pelnik_Preview(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Preview(); });
}

int Pelnik_CallBackPreview(int handle, int callbackWindow, void *buffer, int size, int rowOrder) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.CallBackPreview(callbackWindow, buffer, size, rowOrder);
  });
}

int Pelnik_StartPreview(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.StartPreview(); });
}

int Pelnik_StopPreview(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.StopPreview(); });
}

int Pelnik_Close(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Close(); });
}

int Pelnik_Capture(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Capture(); });
}

int Pelnik_SnapShot(int handle, void *buffer, int size, int rowOrder) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SnapShot(buffer, size, rowOrder); });
}

int Pelnik_Trigger(int handle, int callbackWindow, void *buffer, int size, int rowOrder) {
  return pelnik::withCamera(
      handle, [=](CPelnik &c) { return c.Trigger(callbackWindow, buffer, size, rowOrder); });
}

int Pelnik_GetImage(int handle, void *buffer, int size, int rowOrder) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetImage(buffer, size, rowOrder); });
}

int Pelnik_GetStatus(int handle, int) {
  return pelnik::withCamera(handle, [](CPelnik &) { return 0; });
}

}  // extern "C"
