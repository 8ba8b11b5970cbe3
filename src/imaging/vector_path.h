#pragma once
// Which vector path the pixel kernels run: asked once per row or call by
// every kernel family (conversions, demosaic, filters, measurements), so that
// one switch turns them all to narrower forms for tests and benchmarks.
namespace pelnik::vector_path {

enum class Path { kScalar, kAvx2 };

// The widest forms the kernels may take. Narrowing it lets a processor with
// the 512-bit byte permutes also run (and test) the forms every AVX2
// processor takes, and the scalar references.
enum class Widest { kScalar, kAvx2, kAvx512Vbmi };

// The path the kernels take now: AVX2 when the processor runs it and the
// scalar forms are not forced.
Path active();
inline bool avx2() { return active() == Path::kAvx2; }
// The 512-bit byte-permute forms some AVX2 kernels take on top, where the
// processor runs them and the limit allows them.
bool avx512Vbmi();

// What the processor offers, whatever is forced (checked once).
Path available();

// Tests and benchmarks narrow the forms to compare them; process wide, so
// only while no other thread runs kernels.
void limitTo(Widest widest);
Widest limit();
// forceScalar(true) is limitTo(kScalar); false lifts the limit.
void forceScalar(bool scalarOnly);

// Narrows the forms for its lifetime and puts the earlier limit back.
class LimitScope {
 public:
  explicit LimitScope(Widest widest);
  ~LimitScope();
  LimitScope(const LimitScope &) = delete;
  LimitScope &operator=(const LimitScope &) = delete;

 private:
  Widest before_;
};

// Forces the scalar forms for its lifetime when `scalarOnly` is true.
class ScalarScope : public LimitScope {
 public:
  explicit ScalarScope(bool scalarOnly)
      : LimitScope(scalarOnly ? Widest::kScalar : Widest::kAvx512Vbmi) {}
};

const char *nameOf(Path path);
const char *nameOf(Widest widest);

}  // namespace pelnik::vector_path
