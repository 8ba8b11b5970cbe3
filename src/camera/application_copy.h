#pragma once
// The copy of a finished picture into the application's buffer: rows at the
// picture's padded stride, packed one after another, in memory order (row
// order non-zero) or reversed (row order 0).
#include "imaging/picture_rows.h"

namespace pelnik {

// False, copying nothing, when the buffer is null, the picture empty, or
// `size` below the picture's byte size.
bool copyToApplication(const PictureRows &picture, void *destination, int size, int rowOrder);

}  // namespace pelnik
