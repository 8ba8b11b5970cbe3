#pragma once
// The camera's filter settings record described once: per slot its stored
// name and default and the range a settings dialog shows.
#include <array>
#include <cstdint>

#include "imaging/chain.h"

namespace pelnik {

struct SlotRange {
  int minimum = 0;
  int maximum = 0;
  constexpr bool contains(int value) const { return value >= minimum && value <= maximum; }
  constexpr int clamp(int value) const {
    return value < minimum ? minimum : value > maximum ? maximum : value;
  }
};

struct FilterSlotInfo {
  int slot;
  const char *storedName;  // null: not stored
  std::int32_t defaultValue;
  SlotRange setterRange;
  SlotRange dialogRange;
};

inline const FilterSlotInfo &filterSlotInfo(int slot) {
  static constexpr std::array<FilterSlotInfo, kFilterRecordSlots> kTable{{
      {0, "Brightness", 0, {-255, 255}, {-255, 255}},
      {1, "Contrast", 0, {-127, 127}, {-127, 127}},
      {2, "Hue", 0, {-360, 360}, {-360, 360}},
      {3, "Saturation", 0, {-255, 255}, {-255, 255}},
      {4, "Sharpness", 0, {0, 30}, {0, 30}},
      {5, "R_Gain", 100, {0, 400}, {0, 400}},
      {6, "G_Gain", 100, {0, 400}, {0, 400}},
      {7, "B_Gain", 100, {0, 400}, {0, 400}},
      {8, "Gamma", 100, {0, 200}, {0, 200}},
      {9, "BayerMode", 1, {0, 3}, {0, 3}},
      {10, nullptr, 0, {0, 0}, {0, 0}},
      {11, "Mode", 0, {0, 2}, {0, 2}},
      {12, "GainR1", 128, {0, 255}, {0, 400}},
      {13, "GainG1", 128, {0, 255}, {0, 400}},
      {14, "GainG2", 128, {0, 255}, {0, 400}},
      {15, "GainB1", 128, {0, 255}, {0, 400}},
      {16, "OffsetR1", 0, {-255, 255}, {0, 400}},
      {17, "OffsetG1", 0, {-255, 255}, {0, 400}},
      {18, "OffsetG2", 0, {-255, 255}, {0, 400}},
      {19, "OffsetB1", 0, {-255, 255}, {0, 400}},
      {20, nullptr, 0, {0, 0}, {0, 0}},
      {21, nullptr, 0, {0, 0}, {0, 0}},
      {22, nullptr, 0, {0, 0}, {0, 0}},
      {23, nullptr, 0, {0, 0}, {0, 0}},
      {24, nullptr, 0, {0, 0}, {0, 0}},
      {25, nullptr, 0, {0, 1}, {0, 1}},
      {26, nullptr, 0, {0, 0}, {0, 0}},
      {27, nullptr, 0, {0, 0}, {0, 0}},
      {28, nullptr, 0, {0, 0}, {0, 0}},
      {29, nullptr, 0, {0, 1}, {0, 1}},
  }};
  return kTable[static_cast<std::size_t>(slot)];
}

}  // namespace pelnik
