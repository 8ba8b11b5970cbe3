#pragma once
// The filter kernels of the image filter chain. `pelnik::kernels` holds the
// forms the library runs, `pelnik::reference` the plain pixel-by-pixel
// transcriptions that the differential tests and benchmarks compare them
// with, byte for byte.
#include <cstdint>

#include "imaging/filter_params.h"
#include "imaging/kernel.h"

namespace pelnik {

#define PELNIK_FILTER_KERNELS(X)                                                 \
  /* Gray-mode gains (GrayBlock), in place; 8-bit and 16-bit samples. */         \
  X(grayGain8)                                                                   \
  X(grayGain16)                                                                  \
  /* Gray gain calibration over the source (GrayBlock, gains written back). */   \
  X(grayCalibration)                                                             \
  /* Hue and saturation (HueBlock) on 24/32-bit and 48/64-bit pixels. */         \
  X(hueSaturation8)                                                              \
  X(hueSaturation16)                                                             \
  /* Gamma (ValueBlock): 8-bit gray, 8-bit colour (exponent limited), 16-bit. */ \
  X(gammaGray8)                                                                  \
  X(gammaColour8)                                                                \
  X(gamma16)                                                                     \
  /* Contrast, sharpness and brightness (ValueBlock), 8-bit and 16-bit. */       \
  X(contrast8)                                                                   \
  X(contrast16)                                                                  \
  X(sharpness8)                                                                  \
  X(sharpness16)                                                                 \
  X(brightness8)                                                                 \
  X(brightness16)

#define PELNIK_DECLARE_FILTER_KERNEL(name) int name(KERNEL_ARGS);
namespace kernels {
PELNIK_FILTER_KERNELS(PELNIK_DECLARE_FILTER_KERNEL)
}  // namespace kernels
namespace reference {
PELNIK_FILTER_KERNELS(PELNIK_DECLARE_FILTER_KERNEL)
}  // namespace reference
#undef PELNIK_DECLARE_FILTER_KERNEL

// Any chain of per-sample tables in one pass: the chain composes gamma and
// contrast into one table when both are on. Samples above `maximum` (16-bit
// only) become `above`. Like the stages it replaces, it touches the first
// three samples of a colour pixel.
struct SampleTableBlock {
  const std::uint8_t *table8;    // 256 entries
  const std::uint16_t *table16;  // maximum + 1 entries
  std::int32_t maximum;
  std::int32_t above;
};

// Every stage after the demosaic in one pass over the picture, row by row:
// hue and saturation (when `hueOn`), the per-sample table (when given),
// sharpness and brightness (when not 0). The same bytes as the stages in
// turn; the picture is worked on in place (a different source is copied
// in first). Source and destination must have the same pixel size.
struct RowStagesBlock {
  std::int32_t hueOn;
  HueBlock hue;
  SampleTableBlock table;  // table8 / table16 null: no table
  ValueBlock sharpness;
  ValueBlock brightness;
};

namespace kernels {
int sampleTable8(KERNEL_ARGS);
int sampleTable16(KERNEL_ARGS);
int rowStages8(KERNEL_ARGS);
int rowStages16(KERNEL_ARGS);
}  // namespace kernels

}  // namespace pelnik
