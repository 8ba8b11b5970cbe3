#include "camera/colour_modes.h"

#include <array>

#include "PelnikModes.h"

namespace pelnik {

namespace {

// The public table in the library's own form.
constexpr ColourMode modeAt(int index) {
  const PelnikColourModeInfo &info = kPelnikColourModes[index];
  const bool wide = info.outputBits / info.channels > 8;
  return {index,
          info.setBits,
          info.reportedBits,
          info.outputBits,
          wide ? RawDepth::Bits16 : RawDepth::Bits8,
          info.channels > 1};
}

constexpr std::array<ColourMode, kColourModeCount> kModes{
    {modeAt(0), modeAt(1), modeAt(2), modeAt(3), modeAt(4), modeAt(5)}};
static_assert(kColourModeCount == PELNIK_COLOUR_MODE_COUNT);

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
