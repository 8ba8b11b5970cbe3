#include "output/tiff_writer.h"

#include <tiffio.h>

#include <cstring>
#include <memory>
#include <new>

namespace pelnik::output {
namespace {

struct TiffFormat {
  int bitsPerSample;
  int photometric;
  int samplesPerPixel;
};

bool tiffFormatOf(int bitCount, TiffFormat &format) {
  switch (bitCount) {
    case 8:
      format = {8, PHOTOMETRIC_MINISBLACK, 1};
      return true;
    case 16:
      format = {16, PHOTOMETRIC_MINISBLACK, 1};
      return true;
    case 24:
      format = {8, PHOTOMETRIC_RGB, 3};
      return true;
    case 32:
      format = {8, PHOTOMETRIC_RGB, 4};
      return true;
    case 48:
      format = {16, PHOTOMETRIC_RGB, 3};
      return true;
    case 64:
      format = {16, PHOTOMETRIC_RGB, 4};
      return true;
    default:
      return false;
  }
}

struct TiffCloser {
  void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};

}  // namespace

bool writeTiffFile(const char *path, const PictureView &picture) {
  TiffFormat format{};
  if (!path || !picture.valid() || !tiffFormatOf(picture.bitCount, format)) return false;
  // The strip is one block of unpadded rows.
  const std::size_t rowBytes = picture.rowBytes();
  const std::size_t stripBytes = rowBytes * static_cast<std::size_t>(picture.height);
  std::unique_ptr<std::uint8_t[]> strip(new (std::nothrow) std::uint8_t[stripBytes]);
  if (!strip) return false;
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(strip.get() + rowBytes * static_cast<std::size_t>(y), picture.row(y), rowBytes);
  }

  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path, "w"));
  if (!tiff) return false;
  TIFFSetField(tiff.get(), TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width));
  TIFFSetField(tiff.get(), TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height));
  TIFFSetField(tiff.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, format.bitsPerSample);
  TIFFSetField(tiff.get(), TIFFTAG_PHOTOMETRIC, format.photometric);
  TIFFSetField(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, format.samplesPerPixel);
  const bool stripWritten =
      TIFFWriteEncodedStrip(tiff.get(), 0, strip.get(), static_cast<tmsize_t>(stripBytes)) ==
      static_cast<tmsize_t>(stripBytes);
  // The directory is written when the file is flushed; closing alone would
  // hide a failure to write it.
  const bool flushed = stripWritten && TIFFFlush(tiff.get()) == 1;
  return stripWritten && flushed;
}

}  // namespace pelnik::output
