#include "dialogs/analog_dialog_model.h"

#include <algorithm>
#include <cstdio>

namespace pelnik::settings {

using platform::ControlKind;

namespace {

constexpr int kPage = 0;
constexpr int kDefaultExposure = 512;

}  // namespace

std::string exposureTimeText(double milliseconds) {
  char text[64];
  std::snprintf(text, sizeof text, "=%.2fms", milliseconds);
  return text;
}

AnalogDialogModel::AnalogDialogModel(AnalogDialogHost &host, const DialogTexts &texts)
    : host_(host) {
  AnalogValues record = host_.analogRecord();
  record.globalGain = host_.deviceGlobalGain();
  record.gainG1 = record.gainR = record.gainB = record.gainG2 = 0;
  record.exposure = host_.deviceExposure();
  record.mirrorV = host_.deviceMirrorV();
  record.mirrorH = host_.deviceMirrorH();
  host_.setAnalogRecord(record);
  kept_ = record;
  keptBayerMode_ = host_.bayerMode();

  form_.kind = platform::DialogKind::Analog;
  form_.title = texts.title;
  form_.japanese = texts.japanese;
  form_.width = 470;
  form_.height = 470;
  form_.tabs = {texts.analogTab};
  form_.tabArea = {10, 10, 450, 410};

  const IntRange gain = host_.gainRange();
  const IntRange exposure = host_.exposureRange();
  int y = 45;
  auto row = [&y] {
    const platform::Rect box{25, y, 420, 44};
    y += 46;
    return box;
  };
  addValueGroup(analog_id::kGlobalGain, texts.globalGain, gain.minimum, gain.maximum, kEighthTicks,
                record.globalGain, true, kPage, row());
  // The sensor has no per-channel gains: shown, but fixed at 0.
  addValueGroup(analog_id::kColorGainG1, texts.colorGainG1, 0, 0, 0, 0, false, kPage, row());
  addValueGroup(analog_id::kColorGainR, texts.colorGainR, 0, 0, 0, 0, false, kPage, row());
  addValueGroup(analog_id::kColorGainB, texts.colorGainB, 0, 0, 0, 0, false, kPage, row());
  addValueGroup(analog_id::kColorGainG2, texts.colorGainG2, 0, 0, 0, 0, false, kPage, row());
  addValueGroup(analog_id::kExposure, texts.exposure, exposure.minimum, exposure.maximum,
                kEighthTicks, record.exposure, true, kPage, row());
  add(ControlKind::Text, analog_id::kExposureTime, texts.exposureTimeUnset, kPage,
      {300, y - 4, 140, 20});
  add(ControlKind::CheckBox, analog_id::kMirrorV, texts.mirrorV, kPage, {25, y + 20, 130, 22});
  add(ControlKind::CheckBox, analog_id::kMirrorH, texts.mirrorH, kPage, {25, y + 46, 130, 22});
  add(ControlKind::Frame, 0, texts.autoIris, kPage, {200, y + 16, 245, 58});
  add(ControlKind::CheckBox, analog_id::kAutoIrisExposure, texts.autoIrisExposure, kPage,
      {210, y + 40, 110, 22});
  add(ControlKind::CheckBox, analog_id::kAutoIrisGain, texts.autoIrisGain, kPage,
      {325, y + 40, 110, 22});
  setChecked(analog_id::kMirrorV, record.mirrorV != 0);
  setChecked(analog_id::kMirrorH, record.mirrorH != 0);
  setChecked(analog_id::kAutoIrisExposure, record.autoIris == 1);
  setChecked(analog_id::kAutoIrisGain, record.autoIris == 2);

  add(ControlKind::Button, kIdOk, texts.ok, -1, {150, 430, 95, 28}).isDefault = true;
  add(ControlKind::Button, kIdCancel, texts.cancel, -1, {255, 430, 95, 28});
  add(ControlKind::Button, kIdDefault, texts.defaults, -1, {360, 430, 100, 28});
  refreshExposureTime();
}

void AnalogDialogModel::refreshExposureTime() {
  mutableControl(analog_id::kExposureTime).text =
      exposureTimeText(host_.exposureMilliseconds(groupValue(analog_id::kExposure.edit)));
}

void AnalogDialogModel::groupChanged(int editId, int value) {
  if (editId == analog_id::kGlobalGain.edit) {
    host_.setAnalogField(AnalogField::Global, value);
    host_.sendGlobalGain(value);
  } else if (editId == analog_id::kExposure.edit) {
    host_.setAnalogField(AnalogField::Exposure, value);
    host_.sendExposure(value);
    refreshExposureTime();
  } else if (editId == analog_id::kColorGainG1.edit) {
    host_.setAnalogField(AnalogField::ColorG1, value);
  } else if (editId == analog_id::kColorGainR.edit) {
    host_.setAnalogField(AnalogField::ColorR, value);
  } else if (editId == analog_id::kColorGainB.edit) {
    host_.setAnalogField(AnalogField::ColorB, value);
  } else if (editId == analog_id::kColorGainG2.edit) {
    host_.setAnalogField(AnalogField::ColorG2, value);
  }
}

void AnalogDialogModel::toggled(int id, bool checked) {
  switch (id) {
    case analog_id::kMirrorV:
      host_.sendMirrorV(checked ? 1 : 0);
      host_.setAnalogField(AnalogField::MirrorV, checked ? 1 : 0);
      break;
    case analog_id::kMirrorH:
      host_.sendMirrorH(checked ? 1 : 0);
      host_.setAnalogField(AnalogField::MirrorH, checked ? 1 : 0);
      break;
    case analog_id::kAutoIrisExposure:
    case analog_id::kAutoIrisGain: {
      const int other = id == analog_id::kAutoIrisExposure ? analog_id::kAutoIrisGain
                                                           : analog_id::kAutoIrisExposure;
      if (checked) setChecked(other, false);
      const int mode = !checked ? 0 : (id == analog_id::kAutoIrisExposure ? 1 : 2);
      host_.setAnalogField(AnalogField::AutoIris, mode);
      break;
    }
    default:
      break;
  }
}

void AnalogDialogModel::pressed(int id) {
  switch (id) {
    case kIdOk:
      host_.setAnalogField(AnalogField::Global, groupValue(analog_id::kGlobalGain.edit));
      host_.setAnalogField(AnalogField::ColorG1, groupValue(analog_id::kColorGainG1.edit));
      host_.setAnalogField(AnalogField::ColorR, groupValue(analog_id::kColorGainR.edit));
      host_.setAnalogField(AnalogField::ColorB, groupValue(analog_id::kColorGainB.edit));
      host_.setAnalogField(AnalogField::ColorG2, groupValue(analog_id::kColorGainG2.edit));
      host_.setAnalogField(AnalogField::Exposure, groupValue(analog_id::kExposure.edit));
      end(DialogOutcome::Ok);
      break;
    case kIdCancel:
      end(DialogOutcome::Cancel);
      break;
    case kIdDefault: {
      const IntRange gain = host_.gainRange();
      const IntRange exposure = host_.exposureRange();
      const int defaultGain = std::clamp(0, gain.minimum, gain.maximum);
      const int defaultExposure = std::clamp(kDefaultExposure, exposure.minimum, exposure.maximum);
      host_.setAnalogField(AnalogField::Global, defaultGain);
      for (AnalogField f :
           {AnalogField::ColorG1, AnalogField::ColorR, AnalogField::ColorB, AnalogField::ColorG2})
        host_.setAnalogField(f, 0);
      host_.setAnalogField(AnalogField::Exposure, defaultExposure);
      host_.sendGlobalGain(defaultGain);
      host_.sendExposure(defaultExposure);
      showGroupValue(analog_id::kGlobalGain.edit, defaultGain);
      for (GroupIds g : {analog_id::kColorGainG1, analog_id::kColorGainR, analog_id::kColorGainB,
                         analog_id::kColorGainG2})
        showGroupValue(g.edit, 0);
      showGroupValue(analog_id::kExposure.edit, defaultExposure);
      refreshExposureTime();
      break;
    }
    default:
      break;
  }
}

void AnalogDialogModel::showAutoGlobalGain(int gain) {
  if (finished()) return;
  showGroupValue(analog_id::kGlobalGain.edit, gain);
}

void AnalogDialogModel::showAutoExposure(int lines) {
  if (finished()) return;
  showGroupValue(analog_id::kExposure.edit, lines);
  refreshExposureTime();
}

void AnalogDialogModel::conclude() {
  if (outcome() == DialogOutcome::Ok) return;
  host_.sendGlobalGain(kept_.globalGain);
  host_.sendExposure(kept_.exposure);
  host_.sendMirrorV(kept_.mirrorV);
  host_.sendMirrorH(kept_.mirrorH);
  host_.setAnalogRecord(kept_);
  host_.setBayerMode(keptBayerMode_);
}

}  // namespace pelnik::settings
