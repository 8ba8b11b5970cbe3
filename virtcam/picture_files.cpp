// Reading the user's scene pictures: PNG through libpng, TIFF through
// libtiff, BMP (uncompressed 8, 24 and 32 bits) by hand. Pixel values are
// taken as linear reflectance: a picture looks in the camera as it looks
// in a viewer that shows raw values.
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "virtcam/scene.h"

namespace pelnik::virtcam {

namespace {

std::uint16_t fromByte(unsigned value) {
  return std::uint16_t((value * kFullReflectance + 127) / 255);
}

ScenePicture fromInterleaved(const std::uint8_t *pixels, int width, int height, int channels,
                             std::ptrdiff_t stride) {
  ScenePicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t *row = pixels + stride * y;
    for (int x = 0; x < width; ++x) {
      const std::uint8_t *p = row + std::ptrdiff_t(x) * channels;
      picture.set(x, y, fromByte(p[0]), fromByte(p[1]), fromByte(p[2]));
    }
  }
  return picture;
}

bool loadPng(const std::string &file, ScenePicture &picture, std::string &error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) {
    error = file + ": " + image.message;
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    error = file + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  picture = fromInterleaved(pixels.data(), int(image.width), int(image.height), 3,
                            std::ptrdiff_t(image.width) * 3);
  return true;
}

bool loadTiff(const std::string &file, ScenePicture &picture, std::string &error) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  std::unique_ptr<TIFF, void (*)(TIFF *)> tiff(TIFFOpen(file.c_str(), "r"), TIFFClose);
  if (!tiff) {
    error = file + ": not a readable TIFF file";
    return false;
  }
  std::uint32_t width = 0, height = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  if (width == 0 || height == 0 || std::uint64_t(width) * height > (1u << 28)) {
    error = file + ": unusable TIFF size";
    return false;
  }
  std::vector<std::uint32_t> rgba(std::size_t(width) * height);
  if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
    error = file + ": TIFF pixels could not be read";
    return false;
  }
  picture = ScenePicture(int(width), int(height));
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t p = rgba[std::size_t(y) * width + x];
      picture.set(int(x), int(y), fromByte(TIFFGetR(p)), fromByte(TIFFGetG(p)),
                  fromByte(TIFFGetB(p)));
    }
  return true;
}

std::uint32_t le32(const std::uint8_t *p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
std::uint16_t le16(const std::uint8_t *p) { return std::uint16_t(p[0] | p[1] << 8); }

bool loadBmp(const std::string &file, ScenePicture &picture, std::string &error) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  auto fail = [&](const char *why) {
    error = file + ": " + why;
    return false;
  };
  if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return fail("not a BMP file");
  const std::uint32_t pixelOffset = le32(&data[10]);
  const std::uint32_t headerSize = le32(&data[14]);
  const auto width = static_cast<std::int32_t>(le32(&data[18]));
  const auto heightField = static_cast<std::int32_t>(le32(&data[22]));
  const std::uint16_t bits = le16(&data[28]);
  const std::uint32_t compression = le32(&data[30]);
  if (headerSize < 40 || width <= 0 || heightField == 0 || heightField == INT32_MIN)
    return fail("unusable BMP header");
  if (compression != 0 && !(compression == 3 && bits == 32))
    return fail("compressed BMP files are not supported");
  if (bits != 8 && bits != 24 && bits != 32) return fail("only 8, 24 and 32-bit BMP files");
  const bool bottomUp = heightField > 0;
  const std::int64_t height = bottomUp ? heightField : -std::int64_t(heightField);
  if (std::int64_t(width) * height > (1 << 28)) return fail("BMP too large");
  const std::size_t stride = (std::size_t(width) * bits / 8 + 3) & ~std::size_t(3);
  if (pixelOffset > data.size() || stride * std::size_t(height) > data.size() - pixelOffset)
    return fail("BMP file is truncated");
  std::uint8_t palette[256][3] = {};
  if (bits == 8) {
    const std::size_t paletteAt = 14 + headerSize;
    std::uint32_t colours = le32(&data[46]);
    if (colours == 0 || colours > 256) colours = 256;
    for (std::uint32_t i = 0; i < colours && paletteAt + 4 * i + 3 <= pixelOffset; ++i)
      for (int c = 0; c < 3; ++c) palette[i][c] = data[paletteAt + 4 * i + 2 - c];
  }
  picture = ScenePicture(width, int(height));
  for (std::int64_t y = 0; y < height; ++y) {
    const std::uint8_t *row =
        &data[pixelOffset + stride * std::size_t(bottomUp ? height - 1 - y : y)];
    for (int x = 0; x < width; ++x) {
      std::uint8_t r, g, b;
      if (bits == 8) {
        r = palette[row[x]][0];
        g = palette[row[x]][1];
        b = palette[row[x]][2];
      } else {
        const std::uint8_t *p = row + std::size_t(x) * (bits / 8);
        b = p[0];
        g = p[1];
        r = p[2];
      }
      picture.set(x, int(y), fromByte(r), fromByte(g), fromByte(b));
    }
  }
  return true;
}

}  // namespace

bool loadPicture(const std::string &file, ScenePicture &picture, std::string &error) {
  std::uint8_t magic[4] = {};
  if (std::FILE *f = std::fopen(file.c_str(), "rb")) {
    const std::size_t got = std::fread(magic, 1, 4, f);
    std::fclose(f);
    if (got < 2) {
      error = file + ": file too short";
      return false;
    }
  } else {
    error = file + ": cannot be opened";
    return false;
  }
  if (magic[0] == 0x89 && magic[1] == 'P') return loadPng(file, picture, error);
  if ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M'))
    return loadTiff(file, picture, error);
  if (magic[0] == 'B' && magic[1] == 'M') return loadBmp(file, picture, error);
  error = file + ": not a PNG, TIFF or BMP file";
  return false;
}

}  // namespace pelnik::virtcam
