#include "imaging/white_balance.h"

#include <cstring>
#include <limits>

#include "imaging/conversion_kernels.h"
#include "imaging/filter_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PELNIK_X86 1
#endif
#include "imaging/vector_path.h"

namespace pelnik {

namespace {

// The integer part of a gain, held inside the int range (a nearly black
// class can make the ratio larger than any int).
std::int32_t gainOf(double value) {
  constexpr double top = std::numeric_limits<std::int32_t>::max();
  if (!(value > 0.0)) return 0;
  return value >= top ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(value);
}

void storeMeasured(const BayerClassSums &sums, DemosaicBlock &block) {
  MeasuredGains gains{};
  if (!measuredGains(sums, gains)) return;
  block.redGain = gains.red;
  block.greenGain = 100;
  block.blueGain = gains.blue;
}

// Adds one sample to its class by the flags of its site.
void addSample(BayerClassSums &sums, int rowFlag, int columnFlag, std::uint64_t v) {
  if (rowFlag == columnFlag) {
    sums.green += v;
    ++sums.greenCount;
  } else if (rowFlag == 0) {
    sums.blue += v;
    ++sums.blueCount;
  } else {
    sums.red += v;
    ++sums.redCount;
  }
}

// Adds a row's even-column and odd-column sums to the classes of the two
// sites they hold.
void addRow(BayerClassSums &sums, int rowFlag, int firstColumnFlag, std::uint64_t evenSum,
            std::uint64_t evenCount, std::uint64_t oddSum, std::uint64_t oddCount) {
  auto add = [&](int columnFlag, std::uint64_t sum, std::uint64_t count) {
    if (rowFlag == columnFlag) {
      sums.green += sum;
      sums.greenCount += count;
    } else if (rowFlag == 0) {
      sums.blue += sum;
      sums.blueCount += count;
    } else {
      sums.red += sum;
      sums.redCount += count;
    }
  };
  add(firstColumnFlag, evenSum, evenCount);
  add(firstColumnFlag ^ 1, oddSum, oddCount);
}

#ifdef PELNIK_X86
// Even-column and odd-column byte sums of one row, 32 bytes per step.
__attribute__((target("avx2"))) int rowSumsAvx2(const std::uint8_t *row, int width,
                                                std::uint64_t &even, std::uint64_t &odd) {
  const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
  const __m256i zero = _mm256_setzero_si256();
  __m256i evenSums = zero, oddSums = zero;
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row + x));
    evenSums = _mm256_add_epi64(evenSums, _mm256_sad_epu8(_mm256_and_si256(v, lowBytes), zero));
    oddSums = _mm256_add_epi64(oddSums, _mm256_sad_epu8(_mm256_srli_epi16(v, 8), zero));
  }
  alignas(32) std::uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), evenSums);
  even += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), oddSums);
  odd += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  return x;
}

// The same for 16-bit samples, 16 per step: each 64-bit lane holds samples
// even, odd, even, odd, summed in 64 bits.
__attribute__((target("avx2"))) int rowSumsAvx2_16(const std::uint8_t *row, int width,
                                                   std::uint64_t &even, std::uint64_t &odd) {
  const __m256i low16 = _mm256_set1_epi64x(0xFFFF);
  __m256i evenSums = _mm256_setzero_si256(), oddSums = _mm256_setzero_si256();
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row + 2 * x));
    evenSums = _mm256_add_epi64(
        evenSums, _mm256_add_epi64(_mm256_and_si256(v, low16),
                                   _mm256_and_si256(_mm256_srli_epi64(v, 32), low16)));
    oddSums = _mm256_add_epi64(oddSums,
                               _mm256_add_epi64(_mm256_and_si256(_mm256_srli_epi64(v, 16), low16),
                                                _mm256_srli_epi64(v, 48)));
  }
  alignas(32) std::uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), evenSums);
  even += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), oddSums);
  odd += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  return x;
}
#endif

template <int SampleBytes>
int measure(KERNEL_ARGS) {
  (void)extra;
  DemosaicBlock &block = kernelBlock<DemosaicBlock>(params);
  const KernelRows rows =
      kernelRows(dst, src, *rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  BayerClassSums sums;
  for (int i = 0; i < rows.height; ++i) {
    const std::uint8_t *in = rows.srcRow(i);
    std::uint64_t even = 0, odd = 0;
    int x = 0;
#ifdef PELNIK_X86
    if (SampleBytes == 1 && rows.srcBpp == 1 && vector_path::avx2())
      x = rowSumsAvx2(in, rows.width, even, odd);
    if (SampleBytes == 2 && rows.srcBpp == 2 && vector_path::avx2())
      x = rowSumsAvx2_16(in, rows.width, even, odd);
#endif
    for (; x + 1 < rows.width; x += 2) {
      if (SampleBytes == 1) {
        even += in[x * rows.srcBpp];
        odd += in[(x + 1) * rows.srcBpp];
      } else {
        std::uint16_t a, b;
        std::memcpy(&a, in + x * rows.srcBpp, 2);
        std::memcpy(&b, in + (x + 1) * rows.srcBpp, 2);
        even += a;
        odd += b;
      }
    }
    if (x < rows.width) {
      std::uint16_t last = in[x * rows.srcBpp];
      if (SampleBytes == 2) std::memcpy(&last, in + x * rows.srcBpp, 2);
      even += last;
    }
    const std::uint64_t oddCount = static_cast<std::uint64_t>(rows.width / 2);
    const std::uint64_t evenCount = static_cast<std::uint64_t>(rows.width) - oddCount;
    addRow(sums, bayer::rowFlag(block.bayerMode, rows.srcTop + i),
           bayer::columnFlag(block.bayerMode, rows.srcLeft), even, evenCount, odd, oddCount);
  }
  storeMeasured(sums, block);
  return 1;
}

template <int SampleBytes>
int measurePlainly(KERNEL_ARGS) {
  (void)dst, (void)dstX, (void)dstRow, (void)dstBpp, (void)dstStride, (void)extra;
  DemosaicBlock &block = kernelBlock<DemosaicBlock>(params);
  BayerClassSums sums;
  for (int y = rect->top; y < rect->bottom; ++y) {
    for (int x = rect->left; x < rect->right; ++x) {
      const std::uint8_t *p = src + y * srcStride + x * srcBpp;
      std::uint16_t v = p[0];
      if (SampleBytes == 2) std::memcpy(&v, p, 2);
      addSample(sums, bayer::rowFlag(block.bayerMode, y), bayer::columnFlag(block.bayerMode, x), v);
    }
  }
  storeMeasured(sums, block);
  return 1;
}

}  // namespace

bool measuredGains(const BayerClassSums &sums, MeasuredGains &gains) {
  if (sums.greenCount == 0 || sums.blueCount == 0 || sums.redCount == 0) return false;
  if (sums.green == 0 || sums.blue == 0 || sums.red == 0) return false;
  const double g = static_cast<double>(sums.green) / static_cast<double>(sums.greenCount);
  const double b = static_cast<double>(sums.blue) / static_cast<double>(sums.blueCount);
  const double r = static_cast<double>(sums.red) / static_cast<double>(sums.redCount);
  const double s = g + b + r;
  gains.blue = gainOf(((s / b) / 3.0 * 100.0) / ((s / g) / 3.0));
  gains.red = gainOf(((s / r) / 3.0 * 100.0) / ((s / g) / 3.0));
  return true;
}

namespace kernels {
int whiteBalance8(KERNEL_ARGS) {
  return measure<1>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params,
                    extra);
}
int whiteBalance16(KERNEL_ARGS) {
  return measure<2>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params,
                    extra);
}
}  // namespace kernels

namespace reference {
int whiteBalance8(KERNEL_ARGS) {
  return measurePlainly<1>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride,
                           params, extra);
}
int whiteBalance16(KERNEL_ARGS) {
  return measurePlainly<2>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride,
                           params, extra);
}
}  // namespace reference

}  // namespace pelnik
