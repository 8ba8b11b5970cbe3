#pragma once
// Which vector path the pixel kernels run: asked once per row or call by
// every kernel family (conversions, demosaic, filters, measurements), so that
// one switch turns them all to their scalar forms for tests and benchmarks.
namespace pelnik::vector_path {

enum class Path { kScalar, kAvx2 };

// The path the kernels take now: AVX2 when the processor runs it and the
// scalar forms are not forced.
Path active();
inline bool avx2() { return active() == Path::kAvx2; }
// The 512-bit byte-permute forms some AVX2 kernels take on top, where the
// processor runs them; forcing the scalar forms turns them off too.
bool avx512Vbmi();

// What the processor offers, whatever is forced (checked once).
Path available();

// Tests and benchmarks force the scalar forms to compare the two; process
// wide, so only while no other thread runs kernels.
void forceScalar(bool scalarOnly);

// Forces the scalar forms for its lifetime when `scalarOnly` is true.
class ScalarScope {
 public:
  explicit ScalarScope(bool scalarOnly);
  ~ScalarScope();
  ScalarScope(const ScalarScope &) = delete;
  ScalarScope &operator=(const ScalarScope &) = delete;

 private:
  bool before_;
};

const char *nameOf(Path path);

}  // namespace pelnik::vector_path
