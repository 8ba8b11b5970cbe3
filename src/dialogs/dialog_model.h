#pragma once
// What every settings dialog model shares: the form it shows, the inbox for
// updates from other threads, how it ends, and the value groups (slider,
// spin box and edit box showing one number) every numeric setting uses.
#include <string>
#include <string_view>

#include "ui/dialog_form.h"
#include "ui/dialog_inbox.h"

namespace pelnik::settings {

enum class DialogOutcome { Open, Ok, Cancel };

// Common button ids of the dialog frames.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdDefault = 1001;
inline constexpr int kIdApply = 1002;

// The number an edit box holds: optional spaces, an optional sign and
// digits; anything else reads as 0. Values beyond an int saturate.
int editNumber(std::string_view text);

struct GroupIds {
  int slider;
  int spin;
  int edit;
};

class DialogModel : public platform::DialogController {
 public:
  const platform::DialogForm &form() const override { return form_; }
  bool finished() const override { return outcome_ != DialogOutcome::Open; }
  platform::DialogInbox &inbox() override { return inbox_; }
  void handle(const platform::DialogEvent &event) override;

  DialogOutcome outcome() const { return outcome_; }
  // The control shown under an id (a value group also by its slider or spin id).
  const platform::DialogControl &control(int id) const;
  // A value group's number: the edit box's text, clamped to the group's range.
  int groupValue(int editId) const;

 protected:
  // A tick spacing of kEighthTicks is an eighth of the range.
  static constexpr int kEighthTicks = -1;
  platform::DialogControl &addValueGroup(GroupIds ids, std::string label, int minimum, int maximum,
                                         int tick, int value, bool enabled, int page,
                                         platform::Rect box);
  platform::DialogControl &add(platform::ControlKind kind, int id, std::string label, int page,
                               platform::Rect box);
  platform::DialogControl &mutableControl(int id);
  // Shows a value in a group (slider within its range, the edit box as a
  // number) without treating it as the user's change.
  void showGroupValue(int editId, int value);
  void setChecked(int id, bool checked);
  bool isChecked(int id) const { return control(id).value != 0; }
  void setEnabled(int id, bool enabled) { mutableControl(id).enabled = enabled; }
  void end(DialogOutcome outcome) { outcome_ = outcome; }

  // The user changed a value group (slider, spin or edit box) to `value`,
  // already clamped to its range.
  virtual void groupChanged(int /*editId*/, int /*value*/) {}
  // The user changed a plain edit box's text.
  virtual void editChanged(int /*id*/) {}
  virtual void toggled(int /*id*/, bool /*checked*/) {}
  virtual void selected(int /*id*/, int /*index*/) {}
  virtual void pressed(int /*id*/) {}
  // Closing the window counts as Cancel.
  virtual void closed() { pressed(kIdCancel); }

  platform::DialogForm form_;

 private:
  void userSetGroup(platform::DialogControl &group, int value);

  platform::DialogInbox inbox_;
  DialogOutcome outcome_ = DialogOutcome::Open;
};

}  // namespace pelnik::settings
