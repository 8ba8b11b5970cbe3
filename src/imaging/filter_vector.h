#pragma once
// Row loops of the hot filter stages: the vector forms of x86/ (AVX2, and
// AVX-512 for some) where vector_path says the processor runs them, the
// scalar form otherwise. Every form gives the same bytes; the scalar form
// also finishes the rows' tails.
#include <cstdint>

#include "imaging/hue_tables.h"

namespace pelnik::filter_vector {

struct HueRow {
  int shift;  // position on the 1530-step circle
  const SaturationScale *scale;
};

// Hue and saturation over `pixels` pixels of 3 or 4 bytes; dst may be src.
void hueRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, const HueRow &hue);

// The 16-bit hue stage works on an 8-bit view: each of the first three
// samples of a 6- or 8-byte pixel shifted right by `down` and held at 255,
// as 4-byte pixels (the fourth byte is left undefined).
void toHueView16(std::uint8_t *view, const std::uint8_t *src, int pixels, int bpp, int down);

// A 256-entry table over the samples of `pixels` pixels of bpp bytes (1, 3
// or 4; the fourth byte of a 4-byte pixel is left as it is); dst may be src.
void tableRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
               const std::uint8_t *table);

// Brightness over `pixels` pixels of bpp bytes (1, 3 or 4; the fourth byte
// of a 4-byte pixel is left as it is); dst may be src.
void brightenRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor);
// The same for 16-bit samples (bpp 2, 6 or 8), clamped to 0..maximum.
void brightenRow16(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor,
                   int maximum);

// Column sums of the unsharp mask: sums[k] += add[k] - sub[k].
void slideColumnSums8(std::uint16_t *sums, const std::uint8_t *add, const std::uint8_t *sub,
                      int count);
// One sharpened row of 8-bit samples from byte `first` to byte `last`
// (exclusive) of the row: blur from the column sums, correction
// (s x (orig - blur)) / 10, clamped to 0..255. `bpp` 4 leaves every fourth
// byte of dst as it is.
void sharpenRow8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums, int first,
                 int last, int bpp, int sharpness);

// The 16-bit unsharp mask works on int32 copies of the samples, held at
// the bit depth's full scale.
void loadClampedRow16(std::int32_t *dst, const std::uint8_t *src, int count, int maximum);
// sums[k] += add[k] - sub[k].
void slideColumnSums32(std::int32_t *sums, const std::int32_t *add, const std::int32_t *sub,
                       int count);
// One sharpened row of 16-bit samples from sample `first` to `last`
// (exclusive), written at dst + 2k; `samplesPerPixel` 4 leaves every
// fourth sample of dst as it is.
void sharpenRow16(std::uint8_t *dst, const std::int32_t *orig, const std::int32_t *sums, int first,
                  int last, int samplesPerPixel, int sharpness, int maximum);

// The same three with the samples held in 16 bits: only for a full scale of
// at most 1023 and sharpness 0..30, where every sum (4 x 4 x 1023) and
// product (30 x 1023) fits.
void loadClampedRow16(std::int16_t *dst, const std::uint8_t *src, int count, int maximum);
void slideColumnSums16(std::int16_t *sums, const std::int16_t *add, const std::int16_t *sub,
                       int count);
void sharpenRow16(std::uint8_t *dst, const std::int16_t *orig, const std::int16_t *sums, int first,
                  int last, int samplesPerPixel, int sharpness, int maximum);

}  // namespace pelnik::filter_vector
