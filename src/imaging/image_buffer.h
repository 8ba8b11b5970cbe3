#pragma once
// The library's picture container: a bitmap information header, a 256-entry
// colour table and zero-filled heap pixel memory whose rows are padded to a
// multiple of 4 bytes. Memory row 0 is the picture's top line. There is no
// drawing context in this build, for any bit count.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/kernel.h"

namespace pelnik {

// The platform's 40-byte bitmap information header, little-endian fields.
struct BitmapInfoHeader {
  std::uint32_t size = 40;
  std::int32_t width = 0;
  std::int32_t height = 0;  // positive: bottom-up for the platform
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// One colour table entry: blue, green, red, 0.
struct ColourEntry {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
};
static_assert(sizeof(ColourEntry) == 4);

class CImageBuffer {
 public:
  static constexpr int kColourTableSize = 256;
  // Colour-table modes of SetColorTable.
  static constexpr int kGreyRamp = 0;
  static constexpr int kGivenEntries = 2;

  CImageBuffer();
  ~CImageBuffer();
  CImageBuffer(const CImageBuffer &) = delete;
  CImageBuffer &operator=(const CImageBuffer &) = delete;

  // Bytes per row for a width and bit count: width x bytes per pixel rounded
  // up to a multiple of 4.
  static int StrideFor(int width, int bitCount);

  // 1 on success. Fails with 0, changing nothing, when width <= 0,
  // height <= 0 or the low 16 bits of the bit count are 0, and with 0 and an
  // empty buffer when the memory cannot be had.
  int Create(int width, int height, int bitCount);
  // A new picture of the other's header, size and bit count; 0 when the
  // other is null or empty.
  int CreateLike(const CImageBuffer *other);
  // Back to empty; harmless on an empty buffer.
  void Release();
  // This buffer made a copy of the other: header, colour table and pixel
  // memory. 0 (and empty) when the other is empty or memory cannot be had.
  int CopyFrom(const CImageBuffer &other);

  // Mode 0: the grey ramp in all 256 entries. Mode 2: `count` entries from
  // `entries` starting at `firstIndex` (kept inside the table). Other modes
  // do nothing. Returns 1.
  int SetColorTable(int mode, const ColourEntry *entries, int firstIndex, int count);

  // Copies the rectangle of the source (whole source when null; platform
  // coordinates, y = 0 the bottom line) to (x, y) here: same bit count,
  // 8 -> 24 through the source's colour table, or 32 -> 24. `flip` turns the
  // rows upside down. False for other pairs of bit counts or nothing to copy.
  bool BlitFrom(const CImageBuffer &source, const KernelRect *sourceRect, int x, int y,
                bool flip = false);

  // Writes the file header, the information header, the colour table for
  // 8 bits or fewer and the pixel memory unchanged. False when the file
  // cannot be created or truncated, or a write fails.
  bool WriteAsBmp(const char *fileName) const;

  // Runs `kernel` over the source rectangle (whole source when null) with
  // this buffer as destination, after clipping both and turning platform
  // coordinates (y = 0 the bottom line) into memory rows. The kernel's
  // result, or 0 without calling it when the clipped rectangle is empty or
  // the kernel is null. A given rectangle is updated to what the kernel was
  // handed, (0, 0, 0, 0) on failure.
  int ApplyKernel(Kernel kernel, CImageBuffer &source, KernelRect *sourceRect, int x, int y,
                  void *params = nullptr, int extra = 0);
  // Runs a scaled kernel; null rectangles mean whole buffers. No clipping.
  int ApplyScaledKernel(ScaledKernel kernel, CImageBuffer &source, const KernelRect *sourceRect,
                        const KernelRect *destRect, int extra1 = 0, int extra2 = 0);

  bool IsEmpty() const { return pixels_ == nullptr; }
  std::uint8_t *Pixels() { return pixels_.get(); }
  const std::uint8_t *Pixels() const { return pixels_.get(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  int BitCount() const { return bitCount_; }
  int BytesPerPixel() const { return bitCount_ / 8; }
  std::size_t ByteSize() const;
  const BitmapInfoHeader &InfoHeader() const { return header_; }
  const ColourEntry *ColorTable() const { return colourTable_; }
  // No build of this library has drawing contexts; kept for callers that ask.
  bool HasDrawingContext() const { return false; }

 private:
  int MakePixelMemory();

  BitmapInfoHeader header_;
  ColourEntry colourTable_[kColourTableSize];
  std::unique_ptr<std::uint8_t[]> pixels_;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  int bitCount_ = 0;
};

}  // namespace pelnik
