#include "dialogs/image_dialog_model.h"

#include "imaging/filter_slots.h"

namespace pelnik::settings {

using platform::ControlKind;

namespace {

constexpr int kFilterPage = 0;
constexpr int kGrayPage = 1;
constexpr int kFilterGroupCount = 9;
constexpr int kGrayGroupCount = 8;
constexpr int kFirstGraySlot = filter_slot::kGrayGainR;  // gains, then offsets
constexpr int kBayerModes = 4;
constexpr int kFilterModes = 3;

bool monochrome(int colourModeIndex) { return colourModeIndex == 0 || colourModeIndex == 1; }

// Filter-page groups enabled in the monochrome modes: brightness, contrast,
// sharpness, gamma.
bool enabledInMonochrome(int slot) {
  return slot == filter_slot::kBrightness || slot == filter_slot::kContrast ||
         slot == filter_slot::kSharpness || slot == filter_slot::kGamma;
}

}  // namespace

ImageDialogModel::ImageDialogModel(ImageDialogHost &host, const DialogTexts &texts) : host_(host) {
  kept_ = host_.filterRecord();
  const bool mono = monochrome(host_.colourModeIndex());
  grayPage_ = mono;

  form_.kind = platform::DialogKind::Image;
  form_.title = texts.title;
  form_.japanese = texts.japanese;
  form_.width = 480;
  form_.height = 600;
  form_.tabs = {texts.imageTab};
  if (grayPage_) form_.tabs.push_back(texts.grayTab);
  form_.tabArea = {10, 10, 460, 545};

  for (int i = 0; i < kFilterGroupCount; ++i) {
    const SlotRange range = filterSlotInfo(i).dialogRange;
    const bool enabled = !mono || enabledInMonochrome(i);
    addValueGroup(image_id::kFilterGroups[static_cast<std::size_t>(i)],
                  texts.filterLabels[static_cast<std::size_t>(i)], range.minimum, range.maximum,
                  image_id::kFilterTicks[static_cast<std::size_t>(i)], kept_[i], enabled,
                  kFilterPage, {25, 42 + i * 46, 430, 44});
  }
  add(ControlKind::Frame, 0, texts.bayerMode, kFilterPage, {25, 460, 200, 85});
  for (int m = 0; m < kBayerModes; ++m) {
    add(ControlKind::RadioButton, image_id::kBayerModeFirst + m, texts.bayerModes[m], kFilterPage,
        {35 + (m % 2) * 90, 483 + (m / 2) * 28, 80, 24})
        .enabled = !mono;
  }
  add(ControlKind::Frame, 0, texts.autoWhiteBalance, kFilterPage, {240, 460, 215, 85});
  add(ControlKind::Button, image_id::kWhiteBalanceOnce, texts.once, kFilterPage, {250, 485, 80, 26})
      .enabled = !mono;
  add(ControlKind::CheckBox, image_id::kWhiteBalanceAllFrames, texts.allFrames, kFilterPage,
      {340, 485, 110, 26})
      .enabled = !mono;

  if (grayPage_) {
    for (int i = 0; i < kGrayGroupCount; ++i) {
      const int slot = kFirstGraySlot + i;
      const SlotRange range = filterSlotInfo(slot).dialogRange;
      const bool offset = i >= 4;
      const std::string label = std::string(offset ? texts.grayOffset : texts.grayGain) + " " +
                                texts.graySites[static_cast<std::size_t>(i % 4)];
      addValueGroup(image_id::grayGroup(i), label, range.minimum, range.maximum,
                    image_id::kGrayTicks, kept_[slot], true, kGrayPage, {25, 42 + i * 46, 430, 44});
    }
    add(ControlKind::Frame, 0, texts.filterMode, kGrayPage, {25, 410, 430, 46});
    for (int m = 0; m < kFilterModes; ++m)
      add(ControlKind::RadioButton, image_id::kFilterModeFirst + m, texts.filterModes[m], kGrayPage,
          {35 + m * 140, 430, 135, 22});
    add(ControlKind::Frame, 0, texts.bayerMode, kGrayPage, {25, 460, 200, 85});
    for (int m = 0; m < kBayerModes; ++m)
      add(ControlKind::RadioButton, image_id::kGrayBayerModeFirst + m, texts.bayerModes[m],
          kGrayPage, {35 + (m % 2) * 90, 483 + (m / 2) * 28, 80, 24});
    add(ControlKind::Frame, 0, texts.autoGain, kGrayPage, {240, 460, 215, 85});
    add(ControlKind::Button, image_id::kGrayAutoGainOnce, texts.once, kGrayPage,
        {250, 485, 80, 26});
    add(ControlKind::CheckBox, image_id::kGrayAutoGainAllFrames, texts.allFrames, kGrayPage,
        {340, 485, 110, 26});
  }

  add(ControlKind::Button, kIdOk, texts.ok, -1, {160, 565, 95, 28}).isDefault = true;
  add(ControlKind::Button, kIdCancel, texts.cancel, -1, {265, 565, 95, 28});
  add(ControlKind::Button, kIdDefault, texts.defaults, -1, {370, 565, 100, 28});
  showRecord(kept_);
}

void ImageDialogModel::showBayerMode(int mode) {
  for (int m = 0; m < kBayerModes; ++m) {
    setChecked(image_id::kBayerModeFirst + m, m == mode);
    if (grayPage_) setChecked(image_id::kGrayBayerModeFirst + m, m == mode);
  }
}

void ImageDialogModel::showRecord(const FilterRecord &record) {
  for (int i = 0; i < kFilterGroupCount; ++i)
    showGroupValue(image_id::kFilterGroups[static_cast<std::size_t>(i)].edit, record[i]);
  showBayerMode(record[filter_slot::kBayerMode]);
  setChecked(image_id::kWhiteBalanceAllFrames,
             record[filter_slot::kWhiteBalanceEnable] != 0 &&
                 record[filter_slot::kWhiteBalanceOnceFirst] == 0 &&
                 record[filter_slot::kWhiteBalanceOnceSecond] == 0);
  if (!grayPage_) return;
  for (int i = 0; i < kGrayGroupCount; ++i)
    showGroupValue(image_id::grayGroup(i).edit, record[kFirstGraySlot + i]);
  for (int m = 0; m < kFilterModes; ++m)
    setChecked(image_id::kFilterModeFirst + m, record[filter_slot::kGrayMode] == m);
  setChecked(image_id::kGrayAutoGainAllFrames, record[filter_slot::kGrayCalibration] < 0);
}

int ImageDialogModel::slotOfGroup(int editId) const {
  for (int i = 0; i < kFilterGroupCount; ++i)
    if (image_id::kFilterGroups[static_cast<std::size_t>(i)].edit == editId) return i;
  for (int i = 0; i < kGrayGroupCount; ++i)
    if (image_id::grayGroup(i).edit == editId) return kFirstGraySlot + i;
  return -1;
}

void ImageDialogModel::groupChanged(int editId, int value) {
  const int slot = slotOfGroup(editId);
  if (slot >= 0) host_.setFilterSlot(slot, value);
}

void ImageDialogModel::toggled(int id, bool checked) {
  const auto in = [id](int first, int count) { return id >= first && id < first + count; };
  if (in(image_id::kBayerModeFirst, kBayerModes) ||
      in(image_id::kGrayBayerModeFirst, kBayerModes)) {
    const int first = in(image_id::kBayerModeFirst, kBayerModes) ? image_id::kBayerModeFirst
                                                                 : image_id::kGrayBayerModeFirst;
    const int mode = id - first;
    // A radio button is chosen, never unchosen, by a click.
    host_.setFilterSlot(filter_slot::kBayerMode, mode);
    showBayerMode(mode);
  } else if (in(image_id::kFilterModeFirst, kFilterModes)) {
    const int mode = id - image_id::kFilterModeFirst;
    host_.setFilterSlot(filter_slot::kGrayMode, mode);
    for (int m = 0; m < kFilterModes; ++m) setChecked(image_id::kFilterModeFirst + m, m == mode);
  } else if (id == image_id::kWhiteBalanceAllFrames) {
    host_.setFilterSlot(filter_slot::kWhiteBalanceEnable, checked ? 1 : 0);
    host_.setFilterSlot(filter_slot::kWhiteBalanceOnceFirst, 0);
    host_.setFilterSlot(filter_slot::kWhiteBalanceOnceSecond, 0);
  } else if (id == image_id::kGrayAutoGainAllFrames) {
    const int request = host_.filterRecord()[filter_slot::kGrayCalibration];
    host_.setFilterSlot(filter_slot::kGrayCalibration, request == 0 ? -1 : 0);
    setChecked(id, request == 0);
  }
}

void ImageDialogModel::pressed(int id) {
  switch (id) {
    case image_id::kWhiteBalanceOnce:
      host_.setFilterSlot(filter_slot::kWhiteBalanceEnable, 1);
      host_.setFilterSlot(filter_slot::kWhiteBalanceOnceFirst, 1);
      host_.setFilterSlot(filter_slot::kWhiteBalanceOnceSecond, 1);
      setChecked(image_id::kWhiteBalanceAllFrames, false);
      break;
    case image_id::kGrayAutoGainOnce:
      host_.setFilterSlot(filter_slot::kGrayCalibration, 1);
      setChecked(image_id::kGrayAutoGainAllFrames, false);
      break;
    case kIdOk: {
      for (int i = 0; i < kFilterGroupCount; ++i)
        host_.setFilterSlot(i,
                            groupValue(image_id::kFilterGroups[static_cast<std::size_t>(i)].edit));
      if (grayPage_)
        for (int i = 0; i < kGrayGroupCount; ++i)
          host_.setFilterSlot(kFirstGraySlot + i, groupValue(image_id::grayGroup(i).edit));
      for (int m = 0; m < kBayerModes; ++m)
        if (isChecked(image_id::kBayerModeFirst + m))
          host_.setFilterSlot(filter_slot::kBayerMode, m);
      end(DialogOutcome::Ok);
      break;
    }
    case kIdCancel:
      end(DialogOutcome::Cancel);
      break;
    case kIdDefault: {
      for (int slot = 0; slot <= filter_slot::kBayerMode; ++slot)
        host_.setFilterSlot(slot, filterSlotInfo(slot).defaultValue);
      if (grayPage_)
        for (int i = 0; i < kGrayGroupCount; ++i)
          host_.setFilterSlot(kFirstGraySlot + i, filterSlotInfo(kFirstGraySlot + i).defaultValue);
      showRecord(host_.filterRecord());
      break;
    }
    default:
      break;
  }
}

void ImageDialogModel::reloadFromCamera() {
  if (finished()) return;
  showRecord(host_.filterRecord());
}

void ImageDialogModel::conclude() {
  if (outcome() != DialogOutcome::Ok) host_.setFilterRecord(kept_);
}

}  // namespace pelnik::settings
