#pragma once
// Runs a test suite once per width of the kernel forms: the scalar
// references, the forms every AVX2 processor takes, and the widest this
// processor offers. Where the processor lacks a width, that run repeats the
// next narrower one.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "imaging/vector_path.h"

namespace pelnik::vector_path {
inline void PrintTo(Widest widest, std::ostream *out) { *out << nameOf(widest); }
}  // namespace pelnik::vector_path

namespace pelnik::test {

class EveryVectorPath : public ::testing::TestWithParam<vector_path::Widest> {
 protected:
  void SetUp() override { vector_path::limitTo(GetParam()); }
  void TearDown() override { vector_path::limitTo(vector_path::Widest::kAvx512Vbmi); }
};

inline std::string vectorPathName(const ::testing::TestParamInfo<vector_path::Widest> &info) {
  switch (info.param) {
    case vector_path::Widest::kScalar:
      return "Scalar";
    case vector_path::Widest::kAvx2:
      return "Avx2";
    case vector_path::Widest::kAvx512Vbmi:
      break;
  }
  return "Fastest";
}

}  // namespace pelnik::test

#define PELNIK_ON_EVERY_VECTOR_PATH(Suite)                                               \
  INSTANTIATE_TEST_SUITE_P(RowLoops, Suite,                                              \
                           ::testing::Values(::pelnik::vector_path::Widest::kAvx512Vbmi, \
                                             ::pelnik::vector_path::Widest::kAvx2,       \
                                             ::pelnik::vector_path::Widest::kScalar),    \
                           ::pelnik::test::vectorPathName)
