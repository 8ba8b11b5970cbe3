#pragma once
// Vector rows of the conversion kernels where they pay; each returns the
// number of leading pixels it did (0 when vector_path says scalar),
// leaving the rest of the row to the scalar loop.
#include <cstdint>

namespace pelnik::conversion_vector {

// Blue-green-red bytes to (59 g + 30 r + 11 b) / 100.
int luminanceRow(const std::uint8_t *in, std::uint8_t *out, int width);

}  // namespace pelnik::conversion_vector
