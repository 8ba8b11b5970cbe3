#pragma once
// JPEG files through libjpeg: an 8-bit grey or 24-bit (blue, green, red)
// picture whose last memory row is the top line.
#include "output/picture_view.h"

namespace pelnik::output {

// Quality as for jpeg_set_quality (force-baseline on); progressive selects
// libjpeg's simple progression. False when the file cannot be opened, the
// picture is not 8 or 24 bits, or libjpeg reports an error (a full disk);
// the process goes on and whatever was written stays on disk.
bool writeJpegFile(const char *path, const PictureView &bottomUp, int quality, bool progressive);

}  // namespace pelnik::output
