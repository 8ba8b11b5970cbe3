#pragma once
// PNG files through libpng. The picture's rows are in memory order (top line
// first); 16-bit samples are little-endian words, which the writer stores
// big-endian as PNG wants.
#include "output/picture_view.h"

namespace pelnik::output {

// Bit count 8 or 16: grey; 24 or 48: RGB; 32 or 64: RGB with alpha; the
// colour channels are in the stored blue, green, red (, fourth) order and
// appear in the file as red, green, blue (, alpha). False when the file
// cannot be opened or libpng reports an error; libpng's message is printed
// to standard error as "libpng error: <message>".
bool writePngFile(const char *path, const PictureView &picture);

}  // namespace pelnik::output
