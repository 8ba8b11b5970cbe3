// The settings dialogs: modal on the calling thread, 1 once closed.
#include "PelnikSdk_R5M_LX.h"
#include "api/boundary_types.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

extern "C" {

int PELNIK_CALL Pelnik_SetAnalogDlg(int handle, PelnikWindow parentWindow) {
  return pelnik::withCamera(
      handle, [=](CPelnik &c) { return c.SetAnalogDlg(pelnik::windowId(parentWindow)); });
}

int PELNIK_CALL Pelnik_SetCameraDlg(int handle, PelnikWindow parentWindow) {
  return pelnik::withCamera(
      handle, [=](CPelnik &c) { return c.SetCameraDlg(pelnik::windowId(parentWindow)); });
}

int PELNIK_CALL Pelnik_SetImageDlg(int handle, PelnikWindow parentWindow) {
  return pelnik::withCamera(
      handle, [=](CPelnik &c) { return c.SetImageDlg(pelnik::windowId(parentWindow)); });
}

}  // extern "C"
