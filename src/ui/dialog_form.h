#pragma once
// A toolkit-free description of a modal dialog and of the state of its
// controls. A dialog model owns one DialogForm, changes it in answer to
// DialogEvents, and the view (dialog_view.h) shows whatever the form holds.
// Nothing here touches a window system, so models are tested without one.
#include <string>
#include <vector>

namespace pelnik::platform {

class DialogInbox;

enum class ControlKind {
  ValueGroup,      // slider, spin box and edit box showing one number
  CheckBox,        // value 0/1
  RadioButton,     // value 0/1; the model keeps its group exclusive
  ListBox,         // drop-down list; value = selected index, -1 none
  NumberEdit,      // edit box holding a number as text
  ReadOnlyNumber,  // edit box the user cannot change
  Text,            // static text (label)
  Frame,           // titled frame around other controls
  Button,
};

struct Rect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// A page may repeat an id another page of the same dialog uses with another
// meaning; the form tells them apart by adding this step, and a window
// system that keeps pages apart shows the control under the plain id.
inline constexpr int kRepeatedIdStep = 10000;
inline constexpr int shownControlId(int formId) { return formId % kRepeatedIdStep; }

struct DialogControl {
  ControlKind kind = ControlKind::Text;
  int id = 0;  // value group: the edit box's id
  int sliderId = 0;
  int spinId = 0;
  int page = -1;  // index of its tab page; -1 on the frame itself
  Rect box;
  std::string label;
  int minimum = 0;
  int maximum = 0;
  int tick = 0;   // slider tick spacing; 0 none
  int value = 0;  // slider position, check state or list selection
  std::string text;
  std::vector<std::string> items;
  bool enabled = true;
  bool isDefault = false;  // the button Enter presses
};

// Which of the settings dialogs a form is: a view that shows prepared
// templates picks them by it.
enum class DialogKind { Analog, Image, Camera };

struct DialogForm {
  DialogKind kind = DialogKind::Analog;
  std::string title;
  int width = 0;
  int height = 0;
  std::vector<std::string> tabs;  // one page per tab; none: no tab control
  Rect tabArea;
  int currentTab = 0;
  std::vector<DialogControl> controls;
  bool japanese = false;  // chooses a face that has the Japanese glyphs

  // By the control's id, or by a value group's slider or spin id.
  DialogControl *find(int id);
  const DialogControl *find(int id) const;
};

struct DialogEvent {
  enum class Kind {
    SliderMoved,  // value = new slider position
    SpinStepped,  // value = +1 or -1
    EditChanged,  // text = the edit box's whole text
    Toggled,      // value = 1 checked, 0 unchecked
    Selected,     // value = list index
    Pressed,      // a button
    TabChosen,    // value = page index
    Closed,       // the window was closed (Escape, close box)
  };
  Kind kind = Kind::Pressed;
  int id = 0;
  int value = 0;
  std::string text;
};

// What a view drives: the model behind one dialog.
class DialogController {
 public:
  virtual ~DialogController() = default;
  virtual const DialogForm &form() const = 0;
  virtual void handle(const DialogEvent &event) = 0;
  // True once a button or the close box has ended the dialog.
  virtual bool finished() const = 0;
  // Updates other threads queued for this dialog; run by the view on the
  // dialog's own thread.
  virtual DialogInbox &inbox() = 0;
};

}  // namespace pelnik::platform
