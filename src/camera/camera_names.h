#pragma once
// Display names of cameras ("PelnikR5M-LX_01") and their bounded writes
// into the caller's text areas.
#include <string>

namespace pelnik {

inline constexpr int kNameSlotCharacters = 256;
inline constexpr int kMinimumEnumerationSlots = 10;

// The name with the given display number (1 upwards).
std::string cameraDisplayName(int displayNumber);

// Writes `name` and its terminator into a caller's area of `length`
// characters; false, writing nothing, when it does not fit.
bool writeBoundedName(const std::string &name, char *text, int length);
bool writeBoundedName(const std::u16string &name, char16_t *text, int length);

}  // namespace pelnik
