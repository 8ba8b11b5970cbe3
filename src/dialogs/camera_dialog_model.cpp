#include "dialogs/camera_dialog_model.h"

#include <algorithm>
#include <climits>

namespace pelnik::settings {

using platform::ControlKind;

namespace {

constexpr int kPage = 0;
constexpr int kColourModeCount = 6;
constexpr int kTenBitDepth = 10;

std::string presetText(const SizePreset &preset) {
  return std::to_string(preset.EH) + " x " + std::to_string(preset.EV);
}

}  // namespace

CameraDialogModel::CameraDialogModel(platform::SettingsStore &store, int cameraNumber,
                                     const DialogTexts &texts)
    : store_(store), cameraNumber_(cameraNumber), texts_(texts) {
  loadCameraDialog(store_, cameraNumber_, values_);

  form_.kind = platform::DialogKind::Camera;
  form_.title = texts.title;
  form_.japanese = texts.japanese;
  form_.width = 440;
  form_.height = 440;
  form_.tabs = {texts.streamTab};
  form_.tabArea = {10, 10, 420, 380};

  auto &colour =
      add(ControlKind::ListBox, camera_id::kColor, texts.colorList, kPage, {25, 45, 250, 44});
  for (const char *mode : texts.colorModes)
    colour.items.push_back(formatWithNumber(mode, kTenBitDepth));
  colour.value = values_.format.colorMode >= 0 && values_.format.colorMode < kColourModeCount
                     ? values_.format.colorMode
                     : -1;

  add(ControlKind::ListBox, camera_id::kSize, texts.sizeList, kPage, {25, 95, 250, 44});
  fillSizeList();

  auto &sub = add(ControlKind::ListBox, camera_id::kSubSample, texts.subSampleList, kPage,
                  {25, 145, 250, 44});
  sub.items = {texts.subSamples[0], texts.subSamples[1]};
  sub.value = values_.format.subSample == 1 ? 1 : 0;

  const int editTop = 200;
  const std::pair<int, const char *> edits[] = {
      {camera_id::kHTotal, texts.hTotal},         {camera_id::kVTotal, texts.vTotal},
      {camera_id::kHEffective, texts.hEffective}, {camera_id::kVEffective, texts.vEffective},
      {camera_id::kHStart, texts.hStart},         {camera_id::kVStart, texts.vStart}};
  for (std::size_t i = 0; i < std::size(edits); ++i) {
    const int column = static_cast<int>(i % 2);
    const int line = static_cast<int>(i / 2);
    const ControlKind kind = i < 2 ? ControlKind::ReadOnlyNumber : ControlKind::NumberEdit;
    add(kind, edits[i].first, edits[i].second, kPage,
        {25 + column * 200, editTop + line * 30, 185, 24});
  }
  // "Custom" starts from the table's defaults (or a preset beyond the count).
  if (values_.size >= 0 && values_.size < kMaxPresets) showPreset(values_.size, true);

  auto &wait =
      add(ControlKind::NumberEdit, camera_id::kWaitTime, texts.waitTime, kPage, {25, 295, 185, 24});
  wait.text = std::to_string(values_.format.waitTime);

  auto &clock =
      add(ControlKind::ListBox, camera_id::kClock, texts.clockList, kPage, {225, 280, 185, 44});
  for (const char *text : texts.clocks)
    clock.items.push_back(formatWithNumber(text, kHighClockMhz));
  clock.value = values_.format.clock >= 0 && values_.format.clock < 3 ? values_.format.clock : -1;
  clock.enabled = false;

  add(ControlKind::Text, camera_id::kNote, texts.note, kPage, {25, 330, 390, 50});

  add(ControlKind::Button, kIdOk, texts.ok, -1, {120, 400, 95, 28}).isDefault = true;
  add(ControlKind::Button, kIdCancel, texts.cancel, -1, {225, 400, 95, 28});
  add(ControlKind::Button, kIdApply, texts.apply, -1, {330, 400, 95, 28}).enabled = false;
}

void CameraDialogModel::fillSizeList() {
  auto &sizes = mutableControl(camera_id::kSize);
  sizes.items.clear();
  for (int i = 0; i < values_.presetCount; ++i)
    sizes.items.push_back(presetText(values_.presets[static_cast<std::size_t>(i)]));
  // A full preset table offers no "Custom": a new size would have nowhere to
  // go, and overwriting a stored preset unasked would lose it.
  if (offersCustom()) sizes.items.push_back(texts_.custom);
  sizes.value =
      values_.size >= 0 && values_.size < static_cast<int>(sizes.items.size()) ? values_.size : -1;
}

void CameraDialogModel::showPreset(int index, bool evenCustom) {
  // A chosen "Custom" keeps what the edits show.
  if (index < 0 || index >= (evenCustom ? kMaxPresets : values_.presetCount)) return;
  const SizePreset &p = values_.presets[static_cast<std::size_t>(index)];
  setEdit(camera_id::kHTotal, p.TH);
  setEdit(camera_id::kVTotal, p.TV);
  setEdit(camera_id::kHEffective, p.EH);
  setEdit(camera_id::kVEffective, p.EV);
  setEdit(camera_id::kHStart, p.EHS);
  setEdit(camera_id::kVStart, p.EVS);
}

void CameraDialogModel::editChanged(int) { setEnabled(kIdApply, true); }

void CameraDialogModel::selected(int id, int index) {
  if (id == camera_id::kSize) showPreset(index);
  setEnabled(kIdApply, true);
}

void CameraDialogModel::collect() {
  const auto selection = [this](int id, int keep) {
    const int index = control(id).value;
    return index >= 0 ? index : keep;
  };
  values_.format.colorMode = selection(camera_id::kColor, values_.format.colorMode);
  values_.format.subSample = selection(camera_id::kSubSample, values_.format.subSample);
  values_.format.clock = selection(camera_id::kClock, values_.format.clock);
  // Waits are counted in unsigned milliseconds but kept in an int.
  values_.format.waitTime = std::clamp(editValue(camera_id::kWaitTime), 0, INT_MAX);
  setEdit(camera_id::kWaitTime, values_.format.waitTime);

  const int size = control(camera_id::kSize).value;
  if (size < 0) return setEnabled(kIdApply, false);
  SizePreset edited;
  edited.TH = editValue(camera_id::kHTotal);
  edited.TV = editValue(camera_id::kVTotal);
  edited.EH = editValue(camera_id::kHEffective);
  edited.EV = editValue(camera_id::kVEffective);
  edited.EHS = editValue(camera_id::kHStart);
  edited.EVS = editValue(camera_id::kVStart);
  if (size == values_.presetCount) {
    // "Custom": a new preset before the "Custom" entry, which it then names.
    values_.presets[static_cast<std::size_t>(size)] = edited;  // Buf keeps 4
    ++values_.presetCount;
  } else {
    SizePreset &preset = values_.presets[static_cast<std::size_t>(size)];
    const std::int32_t buffers = preset.Buf;
    preset = edited;
    preset.Buf = buffers;
  }
  values_.size = size;
  fillSizeList();
  setEnabled(kIdApply, false);
}

void CameraDialogModel::pressed(int id) {
  switch (id) {
    case kIdApply:
      collect();
      saveCameraDialog(store_, cameraNumber_, values_);
      break;
    case kIdOk:
      collect();
      saveCameraDialog(store_, cameraNumber_, values_);
      end(DialogOutcome::Ok);
      break;
    case kIdCancel:
      end(DialogOutcome::Cancel);
      break;
    default:
      break;
  }
}

}  // namespace pelnik::settings
