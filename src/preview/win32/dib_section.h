#pragma once
// A device-independent bitmap section selected into a memory drawing
// context compatible with the screen: what the preview blits to its window.
// Bottom-up, as the library's image buffers are described to the platform;
// 8-bit sections carry the grey ramp in their colour table.
#include <windows.h>

#include <cstdint>

namespace pelnik {

class DibSection {
 public:
  DibSection() = default;
  ~DibSection() { release(); }
  DibSection(const DibSection &) = delete;
  DibSection &operator=(const DibSection &) = delete;

  // A new section of the size at 8 or 24 bits; false, and empty, when the
  // platform refuses.
  bool create(int width, int height, int bitCount);
  // Back to empty (the previous object restored into the context first).
  void release();

  bool matches(int width, int height, int bitCount) const {
    return bitmap_ && width_ == width && height_ == height && bitCount_ == bitCount;
  }
  HDC dc() const { return dc_; }
  std::uint8_t *pixels() const { return pixels_; }
  int stride() const { return stride_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  std::uint8_t *pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  int bitCount_ = 0;
};

}  // namespace pelnik
