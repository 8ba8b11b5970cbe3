#include "output/jpeg_writer.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

// jpeglib.h uses FILE without including stdio.
#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "output/output_file.h"

namespace pelnik::output {
namespace {

// libjpeg's standard error manager ends a fatal error with exit(); this one
// prints the library's message and jumps back into the writer instead.
struct ReturningErrorManager {
  jpeg_error_mgr standard;
  std::jmp_buf writerResumes;
};

[[noreturn]] void returnToWriter(j_common_ptr cinfo) {
  auto *manager = reinterpret_cast<ReturningErrorManager *>(cinfo->err);
  (*cinfo->err->output_message)(cinfo);
  std::longjmp(manager->writerResumes, 1);
}

// libjpeg's output handed to the save's file a buffer at a time; a failed
// write is a library error, as with libjpeg's own file destination.
struct FileDestination {
  jpeg_destination_mgr manager;
  OutputFile *file;
  JOCTET buffer[16 * 1024];
};

void startBuffer(j_compress_ptr cinfo) {
  auto *destination = reinterpret_cast<FileDestination *>(cinfo->dest);
  destination->manager.next_output_byte = destination->buffer;
  destination->manager.free_in_buffer = sizeof destination->buffer;
}

boolean writeFullBuffer(j_compress_ptr cinfo) {
  auto *destination = reinterpret_cast<FileDestination *>(cinfo->dest);
  if (!destination->file->write(destination->buffer, sizeof destination->buffer))
    ERREXIT(cinfo, JERR_FILE_WRITE);
  startBuffer(cinfo);
  return TRUE;
}

void writeLastBytes(j_compress_ptr cinfo) {
  auto *destination = reinterpret_cast<FileDestination *>(cinfo->dest);
  const std::size_t used = sizeof destination->buffer - destination->manager.free_in_buffer;
  if (!destination->file->write(destination->buffer, used) || !destination->file->flush())
    ERREXIT(cinfo, JERR_FILE_WRITE);
}

void toRgbScanline(const std::uint8_t *bgr, std::uint8_t *rgb, int width) {
  for (int x = 0; x < width; ++x, bgr += 3, rgb += 3) {
    rgb[0] = bgr[2];
    rgb[1] = bgr[1];
    rgb[2] = bgr[0];
  }
}

// Everything between the jump target and a library error lives in C
// structures owned by the caller, so the jump skips no destructor.
bool compress(jpeg_compress_struct &cinfo, ReturningErrorManager &errors,
              FileDestination &destination, const PictureView &picture, int quality,
              bool progressive, JSAMPLE *scanline) {
  if (setjmp(errors.writerResumes)) return false;
  jpeg_create_compress(&cinfo);
  destination.manager.init_destination = startBuffer;
  destination.manager.empty_output_buffer = writeFullBuffer;
  destination.manager.term_destination = writeLastBytes;
  cinfo.dest = &destination.manager;
  const bool grey = picture.bitCount == 8;
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPROW rows[1] = {scanline};
  for (int line = 0; line < picture.height; ++line) {
    const std::uint8_t *source = picture.row(picture.height - 1 - line);
    if (grey) {
      std::memcpy(scanline, source, static_cast<std::size_t>(picture.width));
    } else {
      toRgbScanline(source, scanline, picture.width);
    }
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

}  // namespace

bool writeJpegFile(const char *path, const PictureView &bottomUp, int quality, bool progressive) {
  if (!bottomUp.valid() || (bottomUp.bitCount != 8 && bottomUp.bitCount != 24)) return false;
  OutputFile file;
  if (!file.open(path)) return false;
  const std::size_t components = bottomUp.bitCount / 8;
  std::unique_ptr<JSAMPLE[]> scanline(
      new (std::nothrow) JSAMPLE[static_cast<std::size_t>(bottomUp.width) * components]);
  if (!scanline) return false;

  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ReturningErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.standard);
  errors.standard.error_exit = returnToWriter;
  std::unique_ptr<FileDestination> destination(new (std::nothrow) FileDestination{});
  if (!destination) return false;
  destination->file = &file;
  const bool written =
      compress(cinfo, errors, *destination, bottomUp, quality, progressive, scanline.get());
  jpeg_destroy_compress(&cinfo);
  return file.close() && written;
}

}  // namespace pelnik::output
