#pragma once
// The six colour modes. The camera stores the index 0..5; applications set
// a mode by its depth (8, 16, 24, 32, 48, 64) and read it back as 8, 10,
// 24, 32, 42 or 58 (the 16-bit modes report their significant bits).
#include <optional>

namespace pelnik {

enum class RawDepth { Bits8, Bits16 };

struct ColourMode {
  int index;         // stored value
  int setBits;       // argument of Pelnik_SetColorMode
  int reportedBits;  // result of Pelnik_GetColorMode
  int outputBits;    // bits per pixel of the finished picture
  RawDepth raw;      // raw buffer the frames land in, and sample width sent to the device
  bool colour;       // false: monochrome picture
};

inline constexpr int kColourModeCount = 6;

// The mode of a stored index; none for an index outside 0..5.
std::optional<ColourMode> colourModeAt(int index);

// The mode set by a depth argument; none for anything but the six depths.
std::optional<ColourMode> colourModeForBits(int bits);

// Pelnik_GetColorMode's value for a stored index: -1 outside the table.
int reportedColourBits(int index);

}  // namespace pelnik
