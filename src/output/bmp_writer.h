#pragma once
// Uncompressed BMP files at the picture's own bit count (8, 16, 24, 32, 48 or
// 64), with a positive height, so the file holds the bottom line first.
#include <cstddef>
#include <cstdint>

#include "output/picture_view.h"

namespace pelnik::output {

inline constexpr std::size_t kBmpFileHeaderBytes = 14;
inline constexpr std::size_t kBmpInfoHeaderBytes = 40;
inline constexpr std::size_t kBmpColourTableBytes = 256 * 4;

// 54, or 1078 when a colour table follows the headers (8 bits or fewer).
std::uint32_t bmpPixelOffset(int bitCount);

// `bottomUp` is the picture with its rows already reversed in memory: its
// first memory row is the picture's bottom line. An 8-bit picture is written
// with the grey-ramp colour table. False when the file cannot be opened, when
// the file would exceed the 4 GiB a BMP header can state, or when a write
// fails (the partial file stays on disk).
bool writeBmpFile(const char *path, const PictureView &bottomUp);

}  // namespace pelnik::output
