#include "settings_menu.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include "PelnikSdk_R5M_LX.h"
#include "viewer_window.h"

namespace viewer {

namespace {

using Dialog = int (*)(int handle, int parentWindow);

template <Dialog open>
void showDialog(Fl_Widget *, void *data) {
  auto *window = static_cast<ViewerWindow *>(data);
  open(window->camera().handle(), static_cast<int>(fl_xid(window)));
  window->showCameraFormat();
  window->setStatus("Settings closed");
}

}  // namespace

void addSettingsMenu(ViewerWindow &window) {
  window.menu().add("&Settings/&Analog gain and exposure...", FL_CTRL + 'g',
                    showDialog<Pelnik_SetAnalogDlg>, &window);
  window.menu().add("&Settings/&Image filter...", FL_CTRL + 'i', showDialog<Pelnik_SetImageDlg>,
                    &window);
  window.menu().add("&Settings/&Camera format...", FL_CTRL + 'f', showDialog<Pelnik_SetCameraDlg>,
                    &window);
}

}  // namespace viewer
