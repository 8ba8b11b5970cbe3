#pragma once
// Still-image saving: the dispatcher behind Pelnik_SaveImage and
// Pelnik_SaveImageW.
//
// How the camera's exports use it (all of this is the export's job):
//   1. No open device: raise error 1, return 0. Pelnik_SaveImage also
//      requires the image-available flag (one finished frame): else error 1,
//      return 0. Pelnik_SaveImageW saves the buffer as it is, blank or not.
//   2. Take the frame lock; take the image buffer of the current colour mode
//      (its output buffer), none: error 1, release the lock, return 0; copy
//      it and release the lock, so the stream loses at most the time of one
//      copy (a copy that cannot be made returns 0).
//   3. Encode from the copy, outside the frame lock.
//   4. Pelnik_SaveImageW only: stillImageNameFromUtf16(name); no value:
//      error 1, release the lock, return 0.
//   5. Return SaveStillImage(name, &copy, format, 10) as it is; a 0 from
//      it raises no error.
#include <optional>
#include <string>

#include "PelnikSdk_R5M_LX.h"

namespace pelnik {

class CImageBuffer;

namespace output {

// The format codes of Pelnik_SaveImage, named as the application names them.
enum StillImageFormat : int {
  kStillBmp = PELNIK_FILE_BMP,
  kStillRaw = PELNIK_FILE_RAW,
  kStillJpegQuality100 = PELNIK_FILE_JPEG_HIGH,
  kStillJpegQuality70 = PELNIK_FILE_JPEG_MID,
  kStillJpegQuality20 = PELNIK_FILE_JPEG_LOW,
  kStillPng = PELNIK_FILE_PNG,
  kStillTiff = PELNIK_FILE_TIFF,
};

// Writes `picture` (bit count 8, 16, 24, 32, 48 or 64; 16-bit samples with
// `significantBits` valid low bits: 12, or 10 for any other value) to
// `fileName`, replacing any file of that name. The format is chosen by the
// code alone, never by the name. 1 when the file was written completely; 0
// for an unknown code (no file is made), a null or empty picture, a file
// that cannot be created, or a failed write (what was written stays). The
// picture is only read. Temporary pictures live for this call alone.
int SaveStillImage(const char *fileName, const CImageBuffer *picture, int format,
                   int significantBits) noexcept;

// The UTF-8 path of a UTF-16 file name, as Pelnik_SaveImageW needs it: no
// value for a null name, text that cannot be converted (an unpaired
// surrogate) or a path longer than 1023 bytes.
std::optional<std::string> stillImageNameFromUtf16(const char16_t *name);

}  // namespace output
}  // namespace pelnik
