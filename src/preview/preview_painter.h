#pragma once
// What the preview shows of a finished picture, and how: the picture of the
// colour mode (reduced to 8-bit grey or 24-bit colour in the preview's own
// buffer where the mode needs it), drawn 1:1 when the window's client area
// is the picture's size, or scaled through the display buffer otherwise.
// Both paths leave the picture upright in a window image whose row 0 is the
// top line.
#include "imaging/image_buffer.h"
#include "preview/preview_pixels.h"
#include "preview/preview_surface.h"

namespace pelnik {

class PreviewPainter {
 public:
  enum class Path { OneToOne, Scaled };

  // Picks (and where needed reduces) the picture to show; false for an
  // empty picture or an unknown depth.
  bool choosePicture(const PreviewPicture &picture);
  // 1:1 when the client size is the picture's and the mode is not the
  // 10-bit one; the display buffer otherwise.
  Path pathFor(int clientWidth, int clientHeight) const;
  // Draws the chosen picture into a window image of the client size.
  bool draw(Path path, std::uint8_t *pixels, int width, int height, int stride,
            const WindowPixelFormat &format);

  // Scales the chosen picture to width x height into rows of `stride` bytes
  // at shownBits(), turned upside down as for a bottom-up bitmap: what a
  // system that blits bitmaps itself shows on the scaled path.
  bool scaleInto(std::uint8_t *pixels, int stride, int width, int height) const;

  // The picture chosen last: its rows (memory row 0 the top line), depth (8
  // or 24) and size.
  const std::uint8_t *shownPixels() const { return shown_; }
  int shownStride() const { return shownStride_; }
  int shownBits() const { return shownBits_; }
  int shownWidth() const { return shownWidth_; }
  int shownHeight() const { return shownHeight_; }
  const CImageBuffer &displayBuffer() const { return display_; }

 private:
  bool reduce(const PreviewPicture &picture);

  CImageBuffer reduced_;  // the mode's picture at 8 or 24 bits, when it had to be reduced
  CImageBuffer display_;  // the scaled path's picture at the client size
  const std::uint8_t *shown_ = nullptr;
  int shownStride_ = 0;
  int shownWidth_ = 0;
  int shownHeight_ = 0;
  int shownBits_ = 0;
  bool alwaysScaled_ = false;
};

}  // namespace pelnik
