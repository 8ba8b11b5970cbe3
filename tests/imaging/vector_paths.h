#pragma once
// Runs a test suite twice: once on the path the processor offers and once
// with every kernel family forced onto its scalar form. On a processor
// without AVX2 both runs take the scalar forms.
#include <gtest/gtest.h>

#include "imaging/vector_path.h"

namespace pelnik::test {

class BothVectorPaths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { vector_path::forceScalar(GetParam()); }
  void TearDown() override { vector_path::forceScalar(false); }
};

inline std::string vectorPathName(const ::testing::TestParamInfo<bool> &info) {
  return info.param ? "Scalar" : "Fastest";
}

}  // namespace pelnik::test

#define PELNIK_ON_BOTH_VECTOR_PATHS(Suite)                                  \
  INSTANTIATE_TEST_SUITE_P(RowLoops, Suite, ::testing::Values(false, true), \
                           ::pelnik::test::vectorPathName)
