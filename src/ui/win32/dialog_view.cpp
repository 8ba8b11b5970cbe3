#include "ui/dialog_view.h"

#include <mutex>

namespace pelnik::platform {

namespace {

// One dialog at a time in the process, re-entered by its own thread.
std::recursive_mutex &dialogTurnLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace

DialogTurn::DialogTurn() { dialogTurnLock().lock(); }

DialogTurn::~DialogTurn() { dialogTurnLock().unlock(); }

// Until the resource-template dialogs exist, no template can be shown: the
// dialog call fails without showing anything, and the camera treats it as a
// cancelled dialog (records restored, nothing reloaded).
DialogRunResult runModalDialog(DialogController &, int) {
  std::lock_guard turn(dialogTurnLock());
  return DialogRunResult::NoDisplay;
}

}  // namespace pelnik::platform
