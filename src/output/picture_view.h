#pragma once
// What a writer needs of a picture: its pixel memory and geometry. Rows lie
// at `stride` bytes (a multiple of 4); row 0 is the first row in memory.
#include <cstddef>
#include <cstdint>

namespace pelnik::output {

struct PictureView {
  const std::uint8_t *pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  int bitCount = 0;

  std::size_t rowBytes() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount / 8);
  }
  std::size_t byteSize() const {
    return static_cast<std::size_t>(height) * static_cast<std::size_t>(stride);
  }
  const std::uint8_t *row(int memoryRow) const {
    return pixels + static_cast<std::size_t>(memoryRow) * static_cast<std::size_t>(stride);
  }
  bool valid() const {
    return pixels && width > 0 && height > 0 && bitCount >= 8 && bitCount % 8 == 0 &&
           static_cast<std::size_t>(stride) >= rowBytes();
  }
};

}  // namespace pelnik::output

namespace pelnik {
class CImageBuffer;
namespace output {
// The pixels of an image buffer as the writers see them (empty: no pixels).
PictureView viewOf(const CImageBuffer &picture);
}  // namespace output
}  // namespace pelnik
