#include "preview/win32/dib_section.h"

#include "imaging/image_buffer.h"

namespace pelnik {

namespace {

// The bitmap information header with its 256-entry colour table.
struct BitmapInfo256 {
  BITMAPINFOHEADER header;
  RGBQUAD colours[CImageBuffer::kColourTableSize];
};

}  // namespace

bool DibSection::create(int width, int height, int bitCount) {
  release();
  if (width <= 0 || height <= 0 || (bitCount != 8 && bitCount != 24)) return false;
  BitmapInfo256 info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = width;
  info.header.biHeight = height;  // positive: bottom-up
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bitCount);
  info.header.biCompression = BI_RGB;
  for (int i = 0; i < CImageBuffer::kColourTableSize; ++i) {
    const auto v = static_cast<BYTE>(i);
    info.colours[i] = RGBQUAD{v, v, v, 0};
  }
  void *bits = nullptr;
  bitmap_ = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &bits,
                             nullptr, 0);
  if (!bitmap_ || !bits) {
    release();
    return false;
  }
  dc_ = CreateCompatibleDC(nullptr);
  previous_ = dc_ ? SelectObject(dc_, bitmap_) : nullptr;
  if (!previous_ || previous_ == HGDI_ERROR) {
    previous_ = nullptr;
    release();
    return false;
  }
  if (bitCount == 8) SetDIBColorTable(dc_, 0, CImageBuffer::kColourTableSize, info.colours);
  pixels_ = static_cast<std::uint8_t *>(bits);
  width_ = width;
  height_ = height;
  bitCount_ = bitCount;
  stride_ = CImageBuffer::StrideFor(width, bitCount);
  return true;
}

void DibSection::release() {
  if (dc_ && previous_) SelectObject(dc_, previous_);
  if (bitmap_) DeleteObject(bitmap_);
  if (dc_) DeleteDC(dc_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  previous_ = nullptr;
  pixels_ = nullptr;
  width_ = height_ = stride_ = bitCount_ = 0;
}

}  // namespace pelnik
