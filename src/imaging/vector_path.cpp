#include "imaging/vector_path.h"

#include <atomic>

#include "imaging/cpu_identification.h"

namespace pelnik::vector_path {

namespace {

std::atomic<bool> scalarOnly_{false};

}  // namespace

Path available() {
  static const Path offered = processorRunsAvx2() ? Path::kAvx2 : Path::kScalar;
  return offered;
}

Path active() {
  if (scalarOnly_.load(std::memory_order_relaxed)) return Path::kScalar;
  return available();
}

bool avx512Vbmi() {
  static const bool offered = processorRunsAvx512Vbmi();
  return offered && avx2();
}

void forceScalar(bool scalarOnly) { scalarOnly_.store(scalarOnly, std::memory_order_relaxed); }

ScalarScope::ScalarScope(bool scalarOnly)
    : before_(scalarOnly_.exchange(scalarOnly, std::memory_order_relaxed)) {}

ScalarScope::~ScalarScope() { scalarOnly_.store(before_, std::memory_order_relaxed); }

const char *nameOf(Path path) { return path == Path::kAvx2 ? "avx2" : "scalar"; }

}  // namespace pelnik::vector_path
