#pragma once
// A finished picture's rows as the readers of a picture see them: the
// application copy, the preview and the recorder.
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

}  // namespace pelnik
