#pragma once
// The copy of a finished picture into the application's buffer: rows at the
// picture's padded stride, packed one after another, in memory order (row
// order non-zero) or reversed (row order 0).
#include <cstddef>
#include <cstdint>

namespace pelnik {

struct PictureRows {
  const std::uint8_t *pixels = nullptr;
  int stride = 0;  // bytes per row, padded
  int rows = 0;

  // Bytes the application's buffer needs; 0 for an empty picture.
  std::size_t byteSize() const {
    if (!pixels || stride <= 0 || rows <= 0) return 0;
    return static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows);
  }
};

// False, copying nothing, when the buffer is null, the picture empty, or
// `size` below the picture's byte size.
bool copyToApplication(const PictureRows &picture, void *destination, int size, int rowOrder);

}  // namespace pelnik
