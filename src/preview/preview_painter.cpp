#include "preview/preview_painter.h"

#include "imaging/conversion_kernels.h"

namespace pelnik {

namespace {

// The picture depth shown for a finished picture's depth: grey for the
// monochrome modes, colour for the others.
int shownBitsFor(int bitsPerPixel) { return bitsPerPixel <= 16 ? 8 : 24; }

Kernel reductionFor(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 16:
      return kernels::reduce16To8;
    case 32:
      return kernels::reduce32To24;
    case 48:
    case 64:
      return kernels::reduce48To24;
    default:
      return nullptr;
  }
}

}  // namespace

bool PreviewPainter::choosePicture(const PreviewPicture &picture) {
  shown_ = nullptr;
  const int bits = picture.bitsPerPixel;
  if (picture.rows.byteSize() == 0 || picture.width <= 0 || picture.height <= 0 ||
      picture.height > picture.rows.rows)
    return false;
  alwaysScaled_ = bits == 16;
  if (bits == 8 || bits == 24) {
    shown_ = picture.rows.pixels;
    shownStride_ = picture.rows.stride;
  } else if (!reduce(picture)) {
    return false;
  }
  shownWidth_ = picture.width;
  shownHeight_ = picture.height;
  shownBits_ = shownBitsFor(bits);
  return true;
}

bool PreviewPainter::reduce(const PreviewPicture &picture) {
  const Kernel kernel = reductionFor(picture.bitsPerPixel);
  if (!kernel) return false;
  const int bits = shownBitsFor(picture.bitsPerPixel);
  if (reduced_.Width() != picture.width || reduced_.Height() != picture.height ||
      reduced_.BitCount() != bits) {
    if (!reduced_.Create(picture.width, picture.height, bits)) return false;
  }
  KernelRect rect{0, 0, picture.width, picture.height};
  const auto srcBytes = static_cast<std::uint16_t>(picture.bitsPerPixel / 8);
  if (!kernel(reduced_.Pixels(), const_cast<std::uint8_t *>(picture.rows.pixels), &rect, 0, 0,
              static_cast<std::uint16_t>(bits / 8), srcBytes, reduced_.Stride(),
              picture.rows.stride, nullptr, 0))
    return false;
  shown_ = reduced_.Pixels();
  shownStride_ = reduced_.Stride();
  return true;
}

PreviewPainter::Path PreviewPainter::pathFor(int clientWidth, int clientHeight) const {
  if (!alwaysScaled_ && clientWidth == shownWidth_ && clientHeight == shownHeight_)
    return Path::OneToOne;
  return Path::Scaled;
}

bool PreviewPainter::draw(Path path, std::uint8_t *pixels, int width, int height, int stride,
                          const WindowPixelFormat &format) {
  if (!shown_ || !pixels || width <= 0 || height <= 0) return false;
  if (path == Path::OneToOne) {
    if (width != shownWidth_ || height != shownHeight_) return false;
    // Memory row 0 is the top line, as on the window: rows go across as they are.
    return writeWindowPixels(format, pixels, stride, shown_, shownStride_, shownBits_, width,
                             height, false);
  }
  if (display_.Width() != width || display_.Height() != height ||
      display_.BitCount() != shownBits_) {
    display_.Release();
    if (!display_.Create(width, height, shownBits_)) return false;
  }
  if (!scaleInto(display_.Pixels(), display_.Stride(), width, height)) return false;
  // The scaling turns the picture upside down for bottom-up bitmaps; the
  // window's row 0 is the top line, so its rows are taken from the bottom.
  return writeWindowPixels(format, pixels, stride, display_.Pixels(), display_.Stride(), shownBits_,
                           width, height, true);
}

bool PreviewPainter::scaleInto(std::uint8_t *pixels, int stride, int width, int height) const {
  if (!shown_ || !pixels || width <= 0 || height <= 0) return false;
  KernelRect dstRect{0, 0, width, height};
  KernelRect srcRect{0, 0, shownWidth_, shownHeight_};
  const ScaledKernel scale = shownBits_ == 8 ? kernels::scale8 : kernels::scale24;
  const auto bytes = static_cast<std::uint16_t>(shownBits_ / 8);
  return scale(pixels, const_cast<std::uint8_t *>(shown_), &dstRect, &srcRect, width, height,
               shownWidth_, shownHeight_, bytes, bytes, stride, shownStride_, 0, 0) != 0;
}

}  // namespace pelnik
