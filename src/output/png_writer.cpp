#include "output/png_writer.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <new>

#include "output/output_file.h"

namespace pelnik::output {
namespace {

struct PngFormat {
  int bitDepth;
  int colourType;
};

bool pngFormatOf(int bitCount, PngFormat &format) {
  switch (bitCount) {
    case 8:
      format = {8, PNG_COLOR_TYPE_GRAY};
      return true;
    case 16:
      format = {16, PNG_COLOR_TYPE_GRAY};
      return true;
    case 24:
      format = {8, PNG_COLOR_TYPE_RGB};
      return true;
    case 48:
      format = {16, PNG_COLOR_TYPE_RGB};
      return true;
    case 32:
      format = {8, PNG_COLOR_TYPE_RGB_ALPHA};
      return true;
    case 64:
      format = {16, PNG_COLOR_TYPE_RGB_ALPHA};
      return true;
    default:
      return false;
  }
}

// libpng requires an error handler that does not return: print and jump back
// into the writer, which then releases everything and fails the save.
[[noreturn]] void printAndAbandon(png_structp png, png_const_charp message) {
  std::fprintf(stderr, "libpng error: %s\n", message);
  png_longjmp(png, 1);
}

// libpng's output goes to the save's file; a failed write is a library
// error, as with libpng's own file output.
void writeToFile(png_structp png, png_bytep data, png_size_t size) {
  if (!static_cast<OutputFile *>(png_get_io_ptr(png))->write(data, size))
    png_error(png, "Write Error");
}
void flushToFile(png_structp png) {
  if (!static_cast<OutputFile *>(png_get_io_ptr(png))->flush()) png_error(png, "Write Error");
}

// Only C structures and raw pointers owned by the caller live across the
// jump target, so a library error skips no destructor.
bool encode(png_structp png, png_infop info, OutputFile &file, const PictureView &picture,
            const PngFormat &format, png_bytep *rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &file, writeToFile, flushToFile);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), format.bitDepth, format.colourType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  if (!rows) png_error(png, "Zezoroded: Out of memory");
  for (int y = 0; y < picture.height; ++y) rows[y] = const_cast<png_bytep>(picture.row(y));
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  // libpng does not flush after the last chunk itself.
  flushToFile(png);
  return true;
}

// PNG stores 16-bit samples big-endian: a copy of the pixel memory, same
// row layout, with the two bytes of every sample exchanged.
std::unique_ptr<std::uint8_t[]> byteSwappedCopy(const PictureView &picture) {
  const std::size_t size = picture.byteSize();
  std::unique_ptr<std::uint8_t[]> copy(new (std::nothrow) std::uint8_t[size]);
  if (!copy) return copy;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    copy[i] = picture.pixels[i + 1];
    copy[i + 1] = picture.pixels[i];
  }
  return copy;
}

}  // namespace

bool writePngFile(const char *path, const PictureView &picture) {
  PngFormat format{};
  if (!picture.valid() || !pngFormatOf(picture.bitCount, format)) return false;
  PictureView samples = picture;
  std::unique_ptr<std::uint8_t[]> swapped;
  if (format.bitDepth == 16) {
    swapped = byteSwappedCopy(picture);
    if (!swapped) return false;
    samples.pixels = swapped.get();
  }
  OutputFile file;
  if (!file.open(path)) return false;
  // The version the SDK is compiled against: libpng refuses a structure
  // requested for any other minor version.
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, printAndAbandon, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[picture.height]);
  const bool written = encode(png, info, file, samples, format, rows.get());
  png_destroy_write_struct(&png, &info);
  return file.close() && written;
}

}  // namespace pelnik::output
