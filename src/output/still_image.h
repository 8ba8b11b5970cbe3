#pragma once
// Still images: one picture written to one file in the format its code
// names (BMP, raw, JPEG at three qualities, PNG, TIFF), and the file name
// of a UTF-16 path. The caller owns the picture and the locking around it;
// nothing here raises errors or touches the camera.
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
