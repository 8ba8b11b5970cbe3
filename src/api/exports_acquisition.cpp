// Acquisition exports: continuous, single and triggered pictures.
#include "PelnikSdk_R5M_LX.h"
#include "api/boundary_types.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int PELNIK_CALL Pelnik_SetPreviewWindow(int handle, PelnikWindow parentWindow, int left, int top,
                                        int right, int bottom) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.SetPreviewWindow(pelnik::windowId(parentWindow), left, top, right, bottom);
  });
}

int PELNIK_CALL Pelnik_Preview(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Preview(); });
}

int PELNIK_CALL Pelnik_CallBackPreview(int handle, PelnikWindow callbackWindow, void *buffer,
                                       int size, int rowOrder) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.CallBackPreview(pelnik::windowId(callbackWindow), buffer, size, rowOrder);
  });
}

int PELNIK_CALL Pelnik_StartPreview(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.StartPreview(); });
}

int PELNIK_CALL Pelnik_StopPreview(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.StopPreview(); });
}

int PELNIK_CALL Pelnik_Close(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Close(); });
}

int PELNIK_CALL Pelnik_Capture(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.Capture(); });
}

int PELNIK_CALL Pelnik_SnapShot(int handle, void *buffer, int size, int rowOrder) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SnapShot(buffer, size, rowOrder); });
}

int PELNIK_CALL Pelnik_Trigger(int handle, PelnikWindow callbackWindow, void *buffer, int size,
                               int rowOrder) {
  return pelnik::withCamera(handle, [=](CPelnik &c) {
    return c.Trigger(pelnik::windowId(callbackWindow), buffer, size, rowOrder);
  });
}

int PELNIK_CALL Pelnik_GetImage(int handle, void *buffer, int size, int rowOrder) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetImage(buffer, size, rowOrder); });
}

int PELNIK_CALL Pelnik_GetStatus(int handle, int) {
  return pelnik::withCamera(handle, [](CPelnik &) { return 0; });
}

}  // extern "C"
