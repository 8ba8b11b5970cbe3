#include "camera/application_copy.h"

#include <cstring>

namespace pelnik {

bool copyToApplication(const PictureRows &picture, void *destination, int size, int rowOrder) {
  const std::size_t needed = picture.byteSize();
  if (!destination || needed == 0 || size < 0 || static_cast<std::size_t>(size) < needed)
    return false;
  auto *out = static_cast<std::uint8_t *>(destination);
  const auto stride = static_cast<std::size_t>(picture.stride);
  if (rowOrder != 0) {
    std::memcpy(out, picture.pixels, needed);
    return true;
  }
  for (int i = 0; i < picture.rows; ++i) {
    const std::uint8_t *source =
        picture.pixels + static_cast<std::size_t>(picture.rows - 1 - i) * stride;
    std::memcpy(out + static_cast<std::size_t>(i) * stride, source, stride);
  }
  return true;
}

}  // namespace pelnik
