#include "output/still_image.h"

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "output/jpeg_writer.h"
#include "output/output_kernels.h"
#include "output/png_writer.h"
#include "output/raw_writer.h"
#include "output/tiff_writer.h"
#include "platform/text_convert.h"

namespace pelnik::output {

PictureView viewOf(const CImageBuffer &picture) {
  return {picture.Pixels(), picture.Width(), picture.Height(), picture.Stride(),
          picture.BitCount()};
}

namespace {

constexpr std::size_t kLongestFileName = 1023;

bool isPictureBitCount(int bitCount) {
  switch (bitCount) {
    case 8:
    case 16:
    case 24:
    case 32:
    case 48:
    case 64:
      return true;
    default:
      return false;
  }
}

bool twelveBits(int significantBits) { return significantBits == 12; }

// A temporary picture of the source's size made by one file conversion; no
// value when it cannot be created, so the save writes nothing.
std::optional<PictureView> converted(CImageBuffer &scratch, CImageBuffer &source, int bitCount,
                                     Kernel conversion) {
  if (!scratch.Create(source.Width(), source.Height(), bitCount)) return std::nullopt;
  scratch.ApplyKernel(conversion, source, nullptr, 0, 0);
  return viewOf(scratch);
}

bool saveBmp(const char *fileName, CImageBuffer &source) {
  // The file holds the bottom line first, as a positive BMP height says.
  CImageBuffer upsideDown;
  return converted(upsideDown, source, source.BitCount(), kernels::rowCopyFlipped) &&
         upsideDown.WriteAsBmp(fileName);
}

// 8-bit grey or 24-bit colour, the top line in the last memory row.
bool saveJpeg(const char *fileName, CImageBuffer &source, int quality, int significantBits) {
  CImageBuffer scratch;
  std::optional<PictureView> picture;
  switch (source.BitCount()) {
    case 8:
      picture = converted(scratch, source, 8, kernels::rowCopyFlipped);
      break;
    case 16:
      picture = converted(
          scratch, source, 8,
          twelveBits(significantBits) ? kernels::twelveBitTo8Flipped : kernels::tenBitTo8Flipped);
      break;
    case 24:
    case 32:
      // A blit with a vertical flip; a 32-bit pixel loses its fourth byte.
      if (scratch.Create(source.Width(), source.Height(), 24) &&
          scratch.BlitFrom(source, nullptr, 0, 0, true)) {
        picture = viewOf(scratch);
      }
      break;
    default:
      picture = converted(scratch, source, 24, kernels::reduce48To24Flipped);
      break;
  }
  return picture && writeJpegFile(fileName, *picture, quality, true);
}

// Rows and channel order kept (libpng is asked for blue-first input); 16-bit
// samples moved to the top bits; a spare fourth channel made opaque.
bool savePng(const char *fileName, CImageBuffer &source, int significantBits) {
  const bool twelve = twelveBits(significantBits);
  CImageBuffer scratch;
  std::optional<PictureView> picture;
  switch (source.BitCount()) {
    case 8:
    case 24:
      picture = viewOf(source);
      break;
    case 16:
      picture =
          converted(scratch, source, 16, twelve ? kernels::twelveBitTo16 : kernels::tenBitTo16);
      break;
    case 32:
      picture = converted(scratch, source, 32, kernels::copy32WithAlpha);
      break;
    case 48:
      picture = converted(scratch, source, 48, twelve ? kernels::shift48By4 : kernels::shift48By6);
      break;
    default:
      picture = converted(scratch, source, 64, twelve ? kernels::to64Shift4 : kernels::to64Shift6);
      break;
  }
  return picture && writePngFile(fileName, *picture);
}

// Rows kept, colour reordered red first, 16-bit samples moved to the top bits.
bool saveTiff(const char *fileName, CImageBuffer &source, int significantBits) {
  const bool twelve = twelveBits(significantBits);
  CImageBuffer scratch;
  std::optional<PictureView> picture;
  switch (source.BitCount()) {
    case 8:
      picture = viewOf(source);
      break;
    case 16:
      picture =
          converted(scratch, source, 16, twelve ? kernels::twelveBitTo16 : kernels::tenBitTo16);
      break;
    case 24:
      picture = converted(scratch, source, 24, kernels::swap24);
      break;
    case 32:
      picture = converted(scratch, source, 32, swap32KeepingFourth);
      break;
    case 48:
      picture = converted(scratch, source, 48,
                          twelve ? kernels::shift48By4Swapped : kernels::shift48By6Swapped);
      break;
    default:
      picture = converted(scratch, source, 64,
                          twelve ? kernels::to64Shift4Swapped : kernels::to64Shift6Swapped);
      break;
  }
  return picture && writeTiffFile(fileName, *picture);
}

bool save(const char *fileName, CImageBuffer &source, int format, int significantBits) {
  switch (format) {
    case kStillBmp:
      return saveBmp(fileName, source);
    case kStillRaw:
      return writeRawFile(fileName, viewOf(source));
    case kStillJpegQuality100:
      return saveJpeg(fileName, source, 100, significantBits);
    case kStillJpegQuality70:
      return saveJpeg(fileName, source, 70, significantBits);
    case kStillJpegQuality20:
      return saveJpeg(fileName, source, 20, significantBits);
    case kStillPng:
      return savePng(fileName, source, significantBits);
    case kStillTiff:
      return saveTiff(fileName, source, significantBits);
    default:
      return false;
  }
}

}  // namespace

int SaveStillImage(const char *fileName, const CImageBuffer *picture, int format,
                   int significantBits) noexcept {
  if (!fileName || !picture || picture->IsEmpty() || !isPictureBitCount(picture->BitCount())) {
    return 0;
  }
  try {
    // The kernel application takes its source as a mutable buffer; the file
    // conversions only read it.
    return save(fileName, const_cast<CImageBuffer &>(*picture), format, significantBits) ? 1 : 0;
  } catch (...) {
    // Nothing here is meant to throw; no exception may reach the export.
    return 0;
  }
}

std::optional<std::string> stillImageNameFromUtf16(const char16_t *name) {
  std::optional<std::string> path = platform::wideToSystemNarrow(name);
  if (path && path->size() > kLongestFileName) return std::nullopt;
  return path;
}

}  // namespace pelnik::output
