#include "imaging/conversion_vector.h"

#include "imaging/vector_path.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <array>

namespace pelnik::conversion_vector {

namespace {

using ShuffleMask = std::array<std::uint8_t, 16>;

// Gathers channel `channel` of 16 pixels from register `reg` of the three
// holding their 48 bytes: mask [reg][channel].
constexpr std::array<std::array<ShuffleMask, 3>, 3> gatherMasks() {
  std::array<std::array<ShuffleMask, 3>, 3> masks{};
  for (int reg = 0; reg < 3; ++reg) {
    for (int channel = 0; channel < 3; ++channel) {
      for (int pixel = 0; pixel < 16; ++pixel) {
        const int byte = pixel * 3 + channel - reg * 16;
        masks[reg][channel][pixel] =
            byte >= 0 && byte < 16 ? static_cast<std::uint8_t>(byte) : 0x80;
      }
    }
  }
  return masks;
}
constexpr auto kGather = gatherMasks();

__attribute__((target("avx2"))) inline __m128i channel(const __m128i bytes[3], int c) {
  __m128i gathered = _mm_setzero_si128();
  for (int reg = 0; reg < 3; ++reg) {
    const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i *>(kGather[reg][c].data()));
    gathered = _mm_or_si128(gathered, _mm_shuffle_epi8(bytes[reg], mask));
  }
  return gathered;
}

// 16 pixels: the weighted sum (at most 25500) fits 16 bits, and sum / 100 is
// the high half of sum x 41944 shifted right by 6, exact up to 25500.
__attribute__((target("avx2"))) int luminanceAvx2(const std::uint8_t *in, std::uint8_t *out,
                                                  int width) {
  const __m256i blueWeight = _mm256_set1_epi16(11), greenWeight = _mm256_set1_epi16(59);
  const __m256i redWeight = _mm256_set1_epi16(30);
  const __m256i reciprocal = _mm256_set1_epi16(static_cast<short>(41944));
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i bytes[3];
    for (int reg = 0; reg < 3; ++reg) {
      bytes[reg] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + x * 3 + reg * 16));
    }
    const __m256i blue = _mm256_cvtepu8_epi16(channel(bytes, 0));
    const __m256i green = _mm256_cvtepu8_epi16(channel(bytes, 1));
    const __m256i red = _mm256_cvtepu8_epi16(channel(bytes, 2));
    const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(blue, blueWeight),
                                                          _mm256_mullo_epi16(green, greenWeight)),
                                         _mm256_mullo_epi16(red, redWeight));
    const __m256i grey = _mm256_srli_epi16(_mm256_mulhi_epu16(sum, reciprocal), 6);
    const __m128i packed =
        _mm_packus_epi16(_mm256_castsi256_si128(grey), _mm256_extracti128_si256(grey, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), packed);
  }
  return x;
}

}  // namespace

int luminanceRow(const std::uint8_t *in, std::uint8_t *out, int width) {
  return vector_path::avx2() ? luminanceAvx2(in, out, width) : 0;
}

}  // namespace pelnik::conversion_vector

#else

namespace pelnik::conversion_vector {
int luminanceRow(const std::uint8_t *, std::uint8_t *, int) { return 0; }
}  // namespace pelnik::conversion_vector

#endif
