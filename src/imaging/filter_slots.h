#pragma once
// The camera's filter settings record: 30 ints, described here once. Every
// reader of the record takes its facts from this table: the filter-value
// setters (which identifier reaches which slot, the range they accept), the
// stored groups (value name, group key, default), the filter chain (which
// slots it holds inside their range) and the settings dialogs (the range a
// control shows).
//
// Slots 0-9 are the image filter ("Filter" group), 11-19 the grey filter
// ("Gray" group); 25-27 drive the automatic white balance and 29 the grey
// gain calibration; 10, 20-24 and 28 are kept but unused.
#include <cstdint>
#include <span>

namespace pelnik {

inline constexpr int kFilterRecordSlots = 30;

// Keys of Pelnik_SetFilterValue / Pelnik_GetFilterValue. Identifiers 6 (the
// three Bayer gains packed) and 13-18 (analog settings) reach no slot of
// their own; the camera handles them.
inline constexpr int kFirstFilterValueId = 1;
inline constexpr int kLastFilterValueId = 28;
inline constexpr int kNoFilterValueId = 0;

// Slot numbers by name, for the code that reads or writes one setting.
namespace filter_slot {
inline constexpr int kBrightness = 0;
inline constexpr int kContrast = 1;
inline constexpr int kHue = 2;
inline constexpr int kSaturation = 3;
inline constexpr int kSharpness = 4;
inline constexpr int kBayerGainRed = 5;
inline constexpr int kBayerGainGreen = 6;
inline constexpr int kBayerGainBlue = 7;
inline constexpr int kGamma = 8;
inline constexpr int kBayerMode = 9;
inline constexpr int kGrayMode = 11;
inline constexpr int kGrayGainR = 12;    // then G1, G2, B
inline constexpr int kGrayOffsetR = 16;  // then G1, G2, B
inline constexpr int kWhiteBalanceEnable = 25;
inline constexpr int kWhiteBalanceOnceFirst = 26;
inline constexpr int kWhiteBalanceOnceSecond = 27;
// 0 none, 1 once (cleared when served), negative: every frame.
inline constexpr int kGrayCalibration = 29;
}  // namespace filter_slot

struct SlotRange {
  int minimum = 0;
  int maximum = 0;
  constexpr bool contains(int value) const { return value >= minimum && value <= maximum; }
  constexpr int clamp(int value) const {
    return value < minimum ? minimum : value > maximum ? maximum : value;
  }
  constexpr bool operator==(const SlotRange &) const = default;
};

// The stored group a slot belongs to: its value is written under the
// group's key when it has a stored name, and the group's load gives it its
// default when the key is missing. None: no load or save touches the slot.
enum class SlotGroup { None, Filter, Gray };

// The group's key under the camera key: "Filter", "Gray"; null for None.
const char *slotGroupKey(SlotGroup group);

// How the filter-value setter writes the slot.
enum class SlotSetter {
  None,     // no identifier reaches the slot
  Range,    // a value inside setterRange is stored; any other is refused
  Boolean,  // any value is accepted and stored as 1 when non-zero, else 0
};

// One slot. A settings dialog takes a control's range from dialogRange and
// the "Default" values from defaultValue; where no dialog range differs from
// the setter's, the two are equal.
struct FilterSlotInfo {
  int slot;                   // 0..29, index into the record
  int filterValueId;          // 1..28, or kNoFilterValueId
  SlotSetter setter;          // how Pelnik_SetFilterValue writes it
  SlotRange setterRange;      // what the setter stores (Boolean: 0..1)
  const char *storedName;     // value name under the group's key; null: not stored
  SlotGroup group;            // Filter, Gray or None
  std::int32_t defaultValue;  // given by the group's load when its key is missing
  SlotRange dialogRange;      // the range a settings dialog's control shows
  bool chainHolds;            // the chain brings the slot into setterRange per frame
};

// All 30 slots, indexed by slot number.
std::span<const FilterSlotInfo, kFilterRecordSlots> filterSlotTable();
const FilterSlotInfo &filterSlotInfo(int slot);  // slot 0..29
// The slot an identifier reaches; null for identifiers outside 1..28 and
// for those without a slot of their own.
const FilterSlotInfo *filterSlotOfId(int id);

}  // namespace pelnik
