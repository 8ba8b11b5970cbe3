#pragma once
// The x86 vector forms of the filter rows (filter_vector.h): one file per
// instruction-set width under x86/, each compiled with its own flags and
// only on x86 targets, each called only when vector_path says the processor
// runs it. Each returns how far it got (pixels, bytes or samples, as the
// scalar form it stands for counts them); the scalar forms finish the rest.
//
// The vector files use nothing inline from shared headers: a copy of it
// compiled with their flags could be the one the linker keeps for every
// caller. What they need comes as plain numbers.
#include <cstdint>

#include "imaging/hue_tables.h"

namespace pelnik::filter_vector::x86 {

// A row's hue setting: whole sectors and the fraction of one to turn, and
// the saturation factor (256ths, times 256).
struct HueSetting {
  int sectors;
  int fraction;
  int factor;
};

// The hue sector tables as plain arrays, filled at compile time.
inline constexpr std::int32_t kSectorMask[6] = {kHueSectorMask[0], kHueSectorMask[1],
                                                kHueSectorMask[2], kHueSectorMask[3],
                                                kHueSectorMask[4], kHueSectorMask[5]};
inline constexpr std::int32_t kSectorStep[6] = {kHueSectorStep[0], kHueSectorStep[1],
                                                kHueSectorStep[2], kHueSectorStep[3],
                                                kHueSectorStep[4], kHueSectorStep[5]};

// AVX2 (x86/filter_avx2.cpp).
int hueRowAvx2(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
               const HueSetting &hue);
int toHueViewAvx2_16(std::uint8_t *view, const std::uint8_t *src, int pixels, int bpp, int down);
int brightenAvx2_8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor);
int brightenAvx2_16(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor,
                    int maximum);
int slideAvx2_8(std::uint16_t *sums, const std::uint8_t *add, const std::uint8_t *sub, int count);
int sharpenAvx2_8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums, int first,
                  int last, int bpp, int sharpness);
int loadClampedAvx2_16(std::int32_t *dst, const std::uint8_t *src, int count, int maximum);
int slideAvx2_32(std::int32_t *sums, const std::int32_t *add, const std::int32_t *sub, int count);
int sharpenAvx2_16(std::uint8_t *dst, const std::int32_t *orig, const std::int32_t *sums, int first,
                   int last, int samplesPerPixel, int sharpness, int maximum);
int loadClampedAvx2_16Narrow(std::int16_t *dst, const std::uint8_t *src, int count, int maximum);
int slideAvx2_16(std::int16_t *sums, const std::int16_t *add, const std::int16_t *sub, int count);
int sharpenAvx2_16Narrow(std::uint8_t *dst, const std::int16_t *orig, const std::int16_t *sums,
                         int first, int last, int samplesPerPixel, int sharpness, int maximum);

// AVX-512 with the byte permutes (x86/filter_avx512.cpp).
int hueRowAvx512(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
                 const HueSetting &hue);
int tableAvx512_8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
                  const std::uint8_t *table);
int slideAvx512_8(std::uint16_t *sums, const std::uint8_t *add, const std::uint8_t *sub, int count);
int sharpenAvx512_8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums,
                    int first, int last, int bpp, int sharpness);

}  // namespace pelnik::filter_vector::x86
