#pragma once
// The camera (video format) dialog without a window: colour mode, size
// presets with "Custom", subsample, wait time and clock, read from and
// written to the stored format of one camera number. The camera object
// itself changes only after OK, when it reloads what was stored.
#include <string>

#include "dialogs/dialog_model.h"
#include "dialogs/dialog_texts.h"
#include "platform/settings_store.h"
#include "settings/setting_groups.h"

namespace pelnik::settings {

namespace camera_id {
inline constexpr int kColor = 1009;
inline constexpr int kSize = 1010;
inline constexpr int kSubSample = 1012;
inline constexpr int kClock = 1014;
inline constexpr int kHTotal = 1039;
inline constexpr int kVTotal = 1040;
inline constexpr int kHEffective = 1041;
inline constexpr int kVEffective = 1042;
inline constexpr int kHStart = 1043;
inline constexpr int kVStart = 1044;
inline constexpr int kWaitTime = 1045;
inline constexpr int kNote = 1050;
}  // namespace camera_id

class CameraDialogModel final : public DialogModel {
 public:
  // Starts from the dialog defaults and runs the dialog-side load of the
  // camera number's stored format over them.
  CameraDialogModel(platform::SettingsStore &store, int cameraNumber, const DialogTexts &texts);

  // The values as last collected (by Apply or OK) or loaded.
  const CameraDialogValues &values() const { return values_; }
  // Whether the size list offers "Custom": not once all presets are in use.
  bool offersCustom() const { return values_.presetCount < kMaxPresets; }

 protected:
  void editChanged(int id) override;
  void selected(int id, int index) override;
  void pressed(int id) override;

 private:
  void fillSizeList();
  void showPreset(int index, bool evenCustom = false);
  // Reads the controls into the values, appending or overwriting a preset.
  void collect();
  int editValue(int id) const { return editNumber(control(id).text); }
  void setEdit(int id, int value) { mutableControl(id).text = std::to_string(value); }

  platform::SettingsStore &store_;
  const int cameraNumber_;
  const DialogTexts &texts_;
  CameraDialogValues values_;
};

}  // namespace pelnik::settings
