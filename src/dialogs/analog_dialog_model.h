#pragma once
// The analog settings dialog without a window: global gain, the four colour
// gains, exposure, the mirrors and the automatic exposure mode, each change
// reaching the camera's analog record (and, where the camera acts at once,
// the device) as the user makes it; Cancel puts everything back.
#include <string>

#include "dialogs/dialog_model.h"
#include "dialogs/dialog_texts.h"
#include "settings/setting_groups.h"

namespace pelnik::settings {

// Control ids of the analog page.
namespace analog_id {
inline constexpr GroupIds kGlobalGain{1013, 1038, 1015};
inline constexpr GroupIds kColorGainG1{1018, 1039, 1019};
inline constexpr GroupIds kColorGainR{1020, 1040, 1021};
inline constexpr GroupIds kColorGainB{1022, 1041, 1023};
inline constexpr GroupIds kColorGainG2{1024, 1042, 1025};
inline constexpr GroupIds kExposure{1026, 1043, 1027};
inline constexpr int kMirrorV = 1028;
inline constexpr int kMirrorH = 1029;
inline constexpr int kAutoIrisGain = 1036;
inline constexpr int kAutoIrisExposure = 1037;
inline constexpr int kExposureTime = 1049;
}  // namespace analog_id

enum class AnalogField {
  Global,
  ColorG1,
  ColorR,
  ColorB,
  ColorG2,
  Exposure,
  MirrorV,
  MirrorH,
  AutoIris
};

struct IntRange {
  int minimum;
  int maximum;
};

// What the dialog needs of the camera.
class AnalogDialogHost {
 public:
  virtual ~AnalogDialogHost() = default;
  virtual AnalogValues analogRecord() const = 0;
  virtual void setAnalogRecord(const AnalogValues &values) = 0;
  virtual void setAnalogField(AnalogField field, int value) = 0;
  virtual int bayerMode() const = 0;
  virtual void setBayerMode(int mode) = 0;
  // The device's current state and its limits.
  virtual int deviceGlobalGain() = 0;
  virtual int deviceExposure() = 0;
  virtual int deviceMirrorV() = 0;
  virtual int deviceMirrorH() = 0;
  virtual IntRange gainRange() const = 0;
  virtual IntRange exposureRange() const = 0;
  // Settings that act on the device at once.
  virtual void sendGlobalGain(int gain) = 0;
  virtual void sendExposure(int lines) = 0;
  virtual void sendMirrorV(int on) = 0;
  virtual void sendMirrorH(int on) = 0;
  // The camera's exposure model: milliseconds of an exposure in lines.
  virtual double exposureMilliseconds(int lines) const = 0;
};

class AnalogDialogModel final : public DialogModel {
 public:
  // Refreshes the analog record from the device and keeps a copy of it for
  // Cancel.
  AnalogDialogModel(AnalogDialogHost &host, const DialogTexts &texts);

  // The automatic exposure moved the gain or exposure: shown in the edit box,
  // not sent again (the loop has already set the device and the record).
  void showAutoGlobalGain(int gain);
  void showAutoExposure(int lines);

  // After the dialog has closed: Cancel (or closing) gives the device back
  // its gain, exposure and mirrors and restores the record; OK keeps all.
  void conclude();

 protected:
  void groupChanged(int editId, int value) override;
  void toggled(int id, bool checked) override;
  void pressed(int id) override;

 private:
  void refreshExposureTime();

  AnalogDialogHost &host_;
  AnalogValues kept_;
  int keptBayerMode_ = 0;
};

// "=%.2fms"
std::string exposureTimeText(double milliseconds);

}  // namespace pelnik::settings
