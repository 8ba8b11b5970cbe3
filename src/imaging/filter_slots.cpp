#include "imaging/filter_slots.h"

#include <array>

namespace pelnik {

namespace {

constexpr bool kHeld = true;  // the chain's arithmetic is defined only inside the range
constexpr bool kFree = false;

// A slot the setter checks against its range; the dialog shows the same
// range unless given another.
constexpr FilterSlotInfo ranged(int slot, int id, SlotRange range, const char *name,
                                SlotGroup group, std::int32_t defaultValue, bool chainHolds,
                                SlotRange dialog) {
  return {slot, id, SlotSetter::Range, range, name, group, defaultValue, dialog, chainHolds};
}
constexpr FilterSlotInfo ranged(int slot, int id, SlotRange range, const char *name,
                                SlotGroup group, std::int32_t defaultValue, bool chainHolds) {
  return ranged(slot, id, range, name, group, defaultValue, chainHolds, range);
}

// A slot no identifier reaches; `group` Filter means the filter load resets
// it to 0 with the stored values.
constexpr FilterSlotInfo internal(int slot, SlotGroup group, SlotRange dialog = {}) {
  return {slot, kNoFilterValueId, SlotSetter::None, {}, nullptr, group, 0, dialog, kFree};
}

constexpr SlotRange kBayerGain{0, 400};
constexpr SlotRange kGrayGain{0, 255};
constexpr SlotRange kGrayOffset{-255, 255};
// The grey page shows every gain and offset on one scale.
constexpr SlotRange kGrayPage{0, 400};
constexpr SlotRange kOnOff{0, 1};

constexpr SlotGroup kFilter = SlotGroup::Filter;
constexpr SlotGroup kGray = SlotGroup::Gray;
constexpr SlotGroup kNone = SlotGroup::None;

constexpr std::array<FilterSlotInfo, kFilterRecordSlots> kTable{{
    ranged(0, 1, {-255, 255}, "Brightness", kFilter, 0, kHeld),
    ranged(1, 2, {-127, 127}, "Contrast", kFilter, 0, kHeld),
    ranged(2, 3, {-360, 360}, "Hue", kFilter, 0, kHeld),
    ranged(3, 4, {-255, 255}, "Saturation", kFilter, 0, kHeld),
    ranged(4, 5, {0, 30}, "Sharpness", kFilter, 0, kHeld),
    ranged(5, 7, kBayerGain, "R_Gain", kFilter, 100, kHeld),
    ranged(6, 8, kBayerGain, "G_Gain", kFilter, 100, kHeld),
    ranged(7, 9, kBayerGain, "B_Gain", kFilter, 100, kHeld),
    ranged(8, 11, {0, 200}, "Gamma", kFilter, 100, kHeld),
    ranged(9, 12, {0, 3}, "BayerMode", kFilter, 1, kHeld),
    internal(10, kNone),
    ranged(11, 19, {0, 2}, "Mode", kGray, 0, kFree),
    // The calibration may store gains above the setter's range.
    ranged(12, 20, kGrayGain, "GainR1", kGray, 128, kFree, kGrayPage),
    ranged(13, 21, kGrayGain, "GainG1", kGray, 128, kFree, kGrayPage),
    ranged(14, 22, kGrayGain, "GainG2", kGray, 128, kFree, kGrayPage),
    ranged(15, 23, kGrayGain, "GainB1", kGray, 128, kFree, kGrayPage),
    ranged(16, 24, kGrayOffset, "OffsetR1", kGray, 0, kFree, kGrayPage),
    ranged(17, 25, kGrayOffset, "OffsetG1", kGray, 0, kFree, kGrayPage),
    ranged(18, 26, kGrayOffset, "OffsetG2", kGray, 0, kFree, kGrayPage),
    ranged(19, 27, kGrayOffset, "OffsetB1", kGray, 0, kFree, kGrayPage),
    internal(20, kFilter),
    internal(21, kFilter),
    internal(22, kFilter),
    internal(23, kFilter),
    internal(24, kFilter),
    // Automatic white balance: on/off, and the two flags of a single measurement.
    {25, 10, SlotSetter::Boolean, kOnOff, nullptr, kFilter, 0, kOnOff, kFree},
    internal(26, kFilter, kOnOff),
    internal(27, kFilter, kOnOff),
    internal(28, kFilter),
    // The dialog's "All frames" stores -1, which the setter does not accept.
    ranged(29, 28, kOnOff, nullptr, kNone, 0, kFree, {-1, 1}),
}};

constexpr bool indexedBySlot() {
  for (int i = 0; i < kFilterRecordSlots; ++i)
    if (kTable[static_cast<std::size_t>(i)].slot != i) return false;
  return true;
}
static_assert(indexedBySlot(), "the table is indexed by slot number");

constexpr bool storedOnlyInAGroup() {
  for (const auto &s : kTable)
    if (s.storedName && s.group == SlotGroup::None) return false;
  return true;
}
static_assert(storedOnlyInAGroup(), "a stored value needs a group key");

}  // namespace

const char *slotGroupKey(SlotGroup group) {
  switch (group) {
    case SlotGroup::Filter:
      return "Filter";
    case SlotGroup::Gray:
      return "Gray";
    case SlotGroup::None:
      break;
  }
  return nullptr;
}

std::span<const FilterSlotInfo, kFilterRecordSlots> filterSlotTable() { return kTable; }

const FilterSlotInfo &filterSlotInfo(int slot) { return kTable[static_cast<std::size_t>(slot)]; }

const FilterSlotInfo *filterSlotOfId(int id) {
  if (id < kFirstFilterValueId || id > kLastFilterValueId) return nullptr;
  for (const auto &s : kTable)
    if (s.filterValueId == id) return &s;
  return nullptr;
}

}  // namespace pelnik
