#pragma once
// The image settings dialog without a window: the image filter page and, in
// the monochrome colour modes, the grey filter page. Every change lands in
// the camera's filter record at once; Cancel restores the whole record.
#include <array>

#include "dialogs/dialog_model.h"
#include "dialogs/dialog_texts.h"
#include "settings/setting_groups.h"

namespace pelnik::settings {

namespace image_id {
// Filter page, in slot order 0..8 (brightness .. gamma).
inline constexpr std::array<GroupIds, 9> kFilterGroups{{{2001, 2004, 2002},
                                                        {2011, 2014, 2012},
                                                        {2021, 2024, 2022},
                                                        {2031, 2034, 2032},
                                                        {2041, 2044, 2042},
                                                        {2051, 2054, 2052},
                                                        {2061, 2063, 2062},
                                                        {2071, 2073, 2072},
                                                        {2081, 2084, 2082}}};
inline constexpr std::array<int, 9> kFilterTicks{64, 32, 90, 64, 4, 32, 32, 32, 32};
inline constexpr int kBayerModeFirst = 1030;  // 1030..1033 for modes 0..3
inline constexpr int kWhiteBalanceOnce = 2074;
inline constexpr int kWhiteBalanceAllFrames = 1035;
// Grey page: groups i = 0..7 on slots 12..19.
inline constexpr GroupIds grayGroup(int i) { return {2100 + 3 * i, 2102 + 3 * i, 2101 + 3 * i}; }
inline constexpr int kGrayTicks = 32;
inline constexpr int kFilterModeFirst = 1046;  // 1046..1048 for modes 0..2
// The grey page repeats ids of the filter page (Bayer mode buttons, Once,
// All frames) with other meanings; here they are told apart by this offset.
inline constexpr int kGrayPageOffset = platform::kRepeatedIdStep;
inline constexpr int kGrayBayerModeFirst = kGrayPageOffset + kBayerModeFirst;
inline constexpr int kGrayAutoGainOnce = kGrayPageOffset + kWhiteBalanceOnce;
inline constexpr int kGrayAutoGainAllFrames = kGrayPageOffset + kWhiteBalanceAllFrames;
}  // namespace image_id

class ImageDialogHost {
 public:
  virtual ~ImageDialogHost() = default;
  virtual int colourModeIndex() const = 0;  // 0..5
  virtual FilterRecord filterRecord() const = 0;
  virtual void setFilterSlot(int slot, int value) = 0;
  virtual void setFilterRecord(const FilterRecord &record) = 0;
};

class ImageDialogModel final : public DialogModel {
 public:
  // Keeps a copy of the filter record for Cancel.
  ImageDialogModel(ImageDialogHost &host, const DialogTexts &texts);

  bool hasGrayPage() const { return grayPage_; }
  // The camera changed the record itself (white balance, grey calibration):
  // show it again.
  void reloadFromCamera();
  // After the dialog has closed: Cancel (or closing) restores the record.
  void conclude();

 protected:
  void groupChanged(int editId, int value) override;
  void toggled(int id, bool checked) override;
  void pressed(int id) override;

 private:
  void showRecord(const FilterRecord &record);
  void showBayerMode(int mode);
  // Slot of a value group's edit id; -1 when none.
  int slotOfGroup(int editId) const;

  ImageDialogHost &host_;
  FilterRecord kept_{};
  bool grayPage_ = false;
};

}  // namespace pelnik::settings
