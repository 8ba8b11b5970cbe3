#include "imaging/vector_path.h"

#include <atomic>

#include "imaging/cpu_identification.h"

namespace pelnik::vector_path {

namespace {

std::atomic<Widest> limit_{Widest::kAvx512Vbmi};

}  // namespace

Path available() {
  static const Path offered = processorRunsAvx2() ? Path::kAvx2 : Path::kScalar;
  return offered;
}

Path active() {
  if (limit_.load(std::memory_order_relaxed) == Widest::kScalar) return Path::kScalar;
  return available();
}

bool avx512Vbmi() {
  static const bool offered = processorRunsAvx512Vbmi();
  return offered && limit_.load(std::memory_order_relaxed) == Widest::kAvx512Vbmi && avx2();
}

void limitTo(Widest widest) { limit_.store(widest, std::memory_order_relaxed); }

Widest limit() { return limit_.load(std::memory_order_relaxed); }

void forceScalar(bool scalarOnly) { limitTo(scalarOnly ? Widest::kScalar : Widest::kAvx512Vbmi); }

LimitScope::LimitScope(Widest widest)
    : before_(limit_.exchange(widest, std::memory_order_relaxed)) {}

LimitScope::~LimitScope() { limit_.store(before_, std::memory_order_relaxed); }

const char *nameOf(Path path) { return path == Path::kAvx2 ? "avx2" : "scalar"; }

const char *nameOf(Widest widest) {
  switch (widest) {
    case Widest::kScalar:
      return "scalar";
    case Widest::kAvx2:
      return "avx2";
    case Widest::kAvx512Vbmi:
      return "avx512vbmi";
  }
  return "?";
}

}  // namespace pelnik::vector_path
