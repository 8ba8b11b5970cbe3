#include "camera/colour_modes.h"

#include <array>

namespace pelnik {

namespace {

constexpr std::array<ColourMode, kColourModeCount> kModes{{
    {0, 8, 8, 8, RawDepth::Bits8, false},
    {1, 16, 10, 16, RawDepth::Bits16, false},
    {2, 24, 24, 24, RawDepth::Bits8, true},
    {3, 32, 32, 32, RawDepth::Bits8, true},
    {4, 48, 42, 48, RawDepth::Bits16, true},
    {5, 64, 58, 64, RawDepth::Bits16, true},
}};

}  // namespace

std::optional<ColourMode> colourModeAt(int index) {
  if (index < 0 || index >= kColourModeCount) return std::nullopt;
  return kModes[static_cast<std::size_t>(index)];
}

std::optional<ColourMode> colourModeForBits(int bits) {
  for (const ColourMode &mode : kModes)
    if (mode.setBits == bits) return mode;
  return std::nullopt;
}

int reportedColourBits(int index) {
  const auto mode = colourModeAt(index);
  return mode ? mode->reportedBits : -1;
}

}  // namespace pelnik
