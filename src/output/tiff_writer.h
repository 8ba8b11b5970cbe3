#pragma once
// TIFF files through libtiff: one uncompressed strip of contiguous samples.
#include "output/picture_view.h"

namespace pelnik::output {

// The picture's rows are in memory order (top line first), its samples
// already in file order (red, green, blue, and a fourth when bitCount is 32
// or 64), 16-bit samples in the machine's byte order. Rows are written
// without padding. False when the file cannot be opened or libtiff reports
// an error writing the strip or the directory.
bool writeTiffFile(const char *path, const PictureView &picture);

}  // namespace pelnik::output
