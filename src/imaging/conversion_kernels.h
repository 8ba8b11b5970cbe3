#pragma once
// The conversion kernels: re-striding raw frames, the Bayer demosaic,
// luminance, the preview reductions and scaling, the file-writer conversions
// and the blits of image buffers. Each exists twice: `pelnik::kernels` holds
// the forms the library runs, `pelnik::reference` the plain transcriptions
// the tests compare them with, byte for byte.
#include <cstdint>

#include "imaging/kernel.h"

namespace pelnik {

// Parameter block of the demosaic (interior and border): effective Bayer
// mode and gains, 100 = unity. The green gain is not read.
struct DemosaicBlock {
  std::int32_t bayerMode = 0;
  std::int32_t redGain = 100;
  std::int32_t greenGain = 100;
  std::int32_t blueGain = 100;
};

// Parameter block of the blits: whether rows are turned upside down, and the
// source's 256-entry colour table (blue, green, red, 0) for 8 -> 24.
struct BlitBlock {
  std::int32_t flip = 0;
  const std::uint8_t *colourTable = nullptr;
};

// The demosaic's red and blue factor: the truncated double product
// gain x 1.28 (100 gives 128), held at 0..2^19. A factor of 2^19 already
// saturates any non-zero sum, and the cap keeps sum x factor inside 32 bits.
inline std::int32_t demosaicGainFactor(std::int32_t gain) {
  const double product = static_cast<double>(gain) * 1.28;
  constexpr double cap = 1 << 19;
  if (!(product > 0.0)) return 0;
  return product >= cap ? static_cast<std::int32_t>(cap) : static_cast<std::int32_t>(product);
}

// Every kernel is declared in both namespaces with the same name.
#define PELNIK_CONVERSION_KERNELS(X)                                           \
  /* In place: packed rows of width x bytes-per-pixel moved to the stride. */  \
  X(restride8)                                                                 \
  X(restride16)                                                                \
  /* 8-bit raw -> 24/32-bit and 16-bit raw -> 48/64-bit (DemosaicBlock). */    \
  X(demosaic8Interior)                                                         \
  X(demosaic8Border)                                                           \
  X(demosaic16Interior)                                                        \
  X(demosaic16Border)                                                          \
  /* 24-bit -> 8-bit grey. */                                                  \
  X(luminance)                                                                 \
  /* Preview reductions: 16 -> 8, 48/64 -> 24, 32 -> 24. */                    \
  X(reduce16To8)                                                               \
  X(reduce48To24)                                                              \
  X(reduce32To24)                                                              \
  /* File conversions; the flipped ones turn the rows upside down. */          \
  X(tenBitTo8Flipped)                                                          \
  X(twelveBitTo8Flipped)                                                       \
  X(twelveBitTo16)                                                             \
  X(tenBitTo16)                                                                \
  X(reduce48To24Flipped)                                                       \
  X(copy24Flipped)                                                             \
  X(rowCopyFlipped)                                                            \
  X(swap24)                                                                    \
  X(copy32WithAlpha)                                                           \
  X(shift48By4)                                                                \
  X(shift48By6)                                                                \
  X(shift48By4Swapped)                                                         \
  X(shift48By6Swapped)                                                         \
  X(to64Shift4)                                                                \
  X(to64Shift6)                                                                \
  X(to64Shift4Swapped)                                                         \
  X(to64Shift6Swapped)                                                         \
  /* Image-buffer blits (BlitBlock): same depth, 8 -> 24 through the colour */ \
  /* table, 32 -> 24 dropping the fourth byte. */                              \
  X(blitSameDepth)                                                             \
  X(blit8To24)                                                                 \
  X(blit32To24)

#define PELNIK_SCALED_KERNELS(X)                                  \
  /* Nearest neighbour with a vertical flip, 8-bit and 24-bit. */ \
  X(scale8)                                                       \
  X(scale24)

#define PELNIK_DECLARE_KERNEL(name) int name(KERNEL_ARGS);
#define PELNIK_DECLARE_SCALED_KERNEL(name) int name(SCALED_KERNEL_ARGS);

namespace kernels {
PELNIK_CONVERSION_KERNELS(PELNIK_DECLARE_KERNEL)
PELNIK_SCALED_KERNELS(PELNIK_DECLARE_SCALED_KERNEL)
}  // namespace kernels

namespace reference {
PELNIK_CONVERSION_KERNELS(PELNIK_DECLARE_KERNEL)
PELNIK_SCALED_KERNELS(PELNIK_DECLARE_SCALED_KERNEL)
}  // namespace reference

#undef PELNIK_DECLARE_KERNEL
#undef PELNIK_DECLARE_SCALED_KERNEL

}  // namespace pelnik
