#pragma once
// The raw dump: a picture's pixel memory exactly as it lies, row padding
// included, top row first, no header.
#include "output/picture_view.h"

namespace pelnik::output {

// False when the file cannot be opened or a write fails (the partial file
// stays on disk).
bool writeRawFile(const char *path, const PictureView &picture);

}  // namespace pelnik::output
