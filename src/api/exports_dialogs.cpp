// The settings dialogs: modal on the calling thread, 1 once closed.
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int Pelnik_SetAnalogDlg(int handle, int parentWindow) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetAnalogDlg(parentWindow); });
}

int Pelnik_SetCameraDlg(int handle, int parentWindow) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetCameraDlg(parentWindow); });
}

int Pelnik_SetImageDlg(int handle, int parentWindow) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetImageDlg(parentWindow); });
}

}  // extern "C"
