#pragma once
// How a posted update reaches an open Windows dialog: while a dialog window
// is named for an inbox, every post also posts `message` to that window, and
// the dialog drains the inbox when the message arrives. PostMessage never
// waits for the dialog's thread.
#include <windows.h>

#include "ui/dialog_inbox.h"

namespace pelnik::platform {

// Names `window` as the one to wake while it shows the inbox's dialog.
class InboxWakeTarget {
 public:
  InboxWakeTarget(DialogInbox &inbox, HWND window, UINT message);
  ~InboxWakeTarget();
  InboxWakeTarget(const InboxWakeTarget &) = delete;
  InboxWakeTarget &operator=(const InboxWakeTarget &) = delete;

 private:
  DialogInbox &inbox_;
};

}  // namespace pelnik::platform
