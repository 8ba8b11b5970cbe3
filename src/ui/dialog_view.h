#pragma once
// The window-system side of the settings dialogs: shows a DialogForm (with
// FLTK on Linux, from the DLL's resource templates on Windows), turns the
// user's input into DialogEvents for its controller, and shows the form again
// after every event and every drained inbox.
//
// FLTK's state is process-wide, so one dialog loop runs at a time in the
// process: a second thread asking for a dialog waits until the first has
// closed. A dialog asked for from inside an FLTK application's own loop (on
// that loop's thread) nests in it.
namespace pelnik::platform {

class DialogController;

enum class DialogRunResult {
  Closed,     // the dialog was shown and the controller finished it
  NoDisplay,  // no X display could be reached; nothing was shown
};

// Shows the controller's form modally on the calling thread and returns once
// the controller is finished. The dialog is transient for `ownerWindow` (an
// X window id, or on Windows an HWND's low 32 bits; anything else means no
// owner) and centred over it, or centred on the screen without an owner.
DialogRunResult runModalDialog(DialogController &controller, int ownerWindow);

// The process's one dialog turn, held for as long as a dialog is prepared,
// shown and concluded; another thread's turn waits until this one ends. The
// same thread may take it again (a dialog asked for from inside a dialog).
class DialogTurn {
 public:
  DialogTurn();
  ~DialogTurn();
  DialogTurn(const DialogTurn &) = delete;
  DialogTurn &operator=(const DialogTurn &) = delete;
};

}  // namespace pelnik::platform
