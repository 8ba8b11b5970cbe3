// The one switch of the vector paths: what it reports, that forcing the
// scalar forms reaches the conversion and demosaic row loops, and that a
// scope puts the previous choice back.
#include "imaging/vector_path.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imaging/conversion_vector.h"
#include "imaging/demosaic_rows.h"

namespace pelnik {
namespace {

TEST(VectorPath, OffersAvx2ExactlyWhenTheProcessorRunsIt) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  const bool runs = __builtin_cpu_supports("avx2");
#else
  const bool runs = false;
#endif
  EXPECT_EQ(vector_path::available(), runs ? vector_path::Path::kAvx2 : vector_path::Path::kScalar);
  EXPECT_EQ(vector_path::active(), vector_path::available());
}

TEST(VectorPath, OffersTheBytePermutesExactlyWhenTheProcessorRunsThem) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  const bool runs = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                    __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
#else
  const bool runs = false;
#endif
  EXPECT_EQ(vector_path::avx512Vbmi(), runs);
  {
    // Limited to the forms every AVX2 processor takes: no byte permutes,
    // the 256-bit forms still on.
    const vector_path::LimitScope avx2(vector_path::Widest::kAvx2);
    EXPECT_FALSE(vector_path::avx512Vbmi());
    EXPECT_EQ(vector_path::active(), vector_path::available());
  }
  EXPECT_EQ(vector_path::avx512Vbmi(), runs);
  const vector_path::ScalarScope scalar(true);
  EXPECT_FALSE(vector_path::avx512Vbmi());
}

TEST(VectorPath, ForcingScalarReachesTheConversionAndDemosaicRows) {
  std::vector<std::uint8_t> bgr(64 * 3, 90), grey(64);
  std::vector<std::uint8_t> raw(4 * 70, 40), out(70 * 3);
  const demosaic_rows::RowJob job{{raw.data(), raw.data() + 70, raw.data() + 140, raw.data() + 210},
                                  out.data(),
                                  0,
                                  0,
                                  2,
                                  68,
                                  3,
                                  128,
                                  128};
  const bool vector = vector_path::available() == vector_path::Path::kAvx2;
  EXPECT_EQ(conversion_vector::luminanceRow(bgr.data(), grey.data(), 64) > 0, vector);
  EXPECT_EQ(demosaic_rows::runVector8(job) > job.xBegin, vector);
  // The same for 16-bit samples into 8-byte pixels.
  std::vector<std::uint8_t> raw16(4 * 70 * 2, 3), out64(70 * 8);
  demosaic_rows::RowJob wide = job;
  wide.rows = {raw16.data(), raw16.data() + 140, raw16.data() + 280, raw16.data() + 420};
  wide.out = out64.data();
  wide.dstBpp = 8;
  EXPECT_EQ(demosaic_rows::runVector16(wide) > wide.xBegin, vector);
  {
    const vector_path::ScalarScope scalar(true);
    EXPECT_EQ(vector_path::active(), vector_path::Path::kScalar);
    EXPECT_EQ(conversion_vector::luminanceRow(bgr.data(), grey.data(), 64), 0);
    EXPECT_EQ(demosaic_rows::runVector8(job), job.xBegin);
    EXPECT_EQ(demosaic_rows::runVector16(wide), wide.xBegin);
    {
      // Nested scopes restore what was before them, not the default.
      const vector_path::ScalarScope inner(false);
      EXPECT_EQ(vector_path::active(), vector_path::available());
    }
    EXPECT_EQ(vector_path::active(), vector_path::Path::kScalar);
  }
  EXPECT_EQ(vector_path::active(), vector_path::available());
}

}  // namespace
}  // namespace pelnik
