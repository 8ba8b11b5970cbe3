#include "virtcam/frame_renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "virtcam/frame_stamp.h"

namespace pelnik::virtcam {

namespace {

constexpr int kRed = 0, kGreen = 1, kBlue = 2;
// Reflectance 1.0 at 512 lines and 1x gain gives this 10-bit value, so the
// chart's white (0.9) sits near 900: well exposed, not clipped.
constexpr double kValueAtReference = 1000.0;
constexpr double kReferenceLines = 512.0;
constexpr int kFullScale = 1023;

// Colour of output pixel (x, y) for the effective Bayer phase `m`: the row
// flag and column flag alternate from the phase's start.
int bayerColour(int m, int x, int y) {
  const int rowFlag = (m & 1) ^ (y & 1);
  const int columnFlag = ((m >> 1) & 1) ^ (x & 1);
  if (rowFlag == columnFlag) return kGreen;
  return rowFlag ? kRed : kBlue;
}

// Unmirrored the sensor starts red/green (phase 1); reading it backwards
// vertically starts on a green/blue row, horizontally on a green pixel.
int bayerPhase(const FrameLayout &layout) {
  int m = 1;
  if (layout.mirrorV) m ^= 1;
  if (layout.mirrorH) m ^= 2;
  return m;
}

// Sensor coordinate of output index i along one axis.
int sensorCoordinate(int i, int first, int count, int step, bool mirrored) {
  return mirrored ? first + count - 1 - i * step : first + i * step;
}

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Output indices [begin, end) whose sensor coordinate lies in [lo, hi).
std::pair<int, int> outputRange(int first, int count, int step, bool mirrored, int lo, int hi,
                                int outCount) {
  int begin, end;
  if (!mirrored) {
    begin = floorDiv(lo - first + step - 1, step);
    end = floorDiv(hi - first + step - 1, step);
  } else {
    const int last = first + count - 1;
    begin = floorDiv(last - hi, step) + 1;
    end = floorDiv(last - lo, step) + 1;
  }
  return {std::clamp(begin, 0, outCount), std::clamp(end, 0, outCount)};
}

using ValueTable = std::array<std::uint16_t, kFullReflectance + 1>;

ValueTable exposureTable(const CameraRegisters &registers) {
  ValueTable table;
  const double scale = registers.exposureLines() / kReferenceLines * registers.analogGain() *
                       kValueAtReference / kFullReflectance;
  for (int r = 0; r <= kFullReflectance; ++r)
    table[std::size_t(r)] =
        std::uint16_t(std::min<double>(kFullScale, std::floor(r * scale + 0.5)));
  return table;
}

// Per-frame seed (splitmix64 of the noise seed, camera and frame number).
std::uint64_t frameSeed(const FrameSettings &settings) {
  std::uint64_t z = std::uint64_t(settings.noise.seed) << 32 ^ std::uint64_t(settings.frameNumber) ^
                    std::uint64_t(settings.camera) << 56;
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Adds triangular noise of the given standard deviation (range +-sigma*sqrt 6).
// Eight independent xorshift32 generators, one per lane, so the loop has no
// long dependency chain and vectorises.
void addNoise(std::uint16_t *frame10, std::size_t pixels, const FrameSettings &settings) {
  const double sigma = std::min(settings.noise.sigma, kMaxNoiseSigma);
  const auto amplitude = std::int32_t(std::lround(sigma * std::sqrt(6.0) * 256));
  if (amplitude <= 0) return;
  constexpr int kLanes = 8;
  std::uint32_t state[kLanes];
  std::uint64_t seed = frameSeed(settings);
  for (int k = 0; k < kLanes; ++k) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    state[k] = std::uint32_t(seed >> 32) | 1u;
  }
  auto noisy = [amplitude](std::uint16_t value, std::uint32_t bits) {
    // Sum of two uniform 12-bit values: -4095 .. 4095, triangular; the
    // product stays within 32 bits for sigma up to kMaxNoiseSigma.
    const std::int32_t t = std::int32_t(bits & 0xFFF) + std::int32_t((bits >> 16) & 0xFFF) - 4095;
    const std::int32_t v = value + ((t * amplitude + (1 << 19)) >> 20);  // rounded, unbiased
    return std::uint16_t(v < 0 ? 0 : v > kFullScale ? kFullScale : v);
  };
  std::size_t i = 0;
  for (; i + kLanes <= pixels; i += kLanes)
    for (int k = 0; k < kLanes; ++k) {
      std::uint32_t x = state[k];
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      state[k] = x;
      frame10[i + std::size_t(k)] = noisy(frame10[i + std::size_t(k)], x);
    }
  for (int k = 0; i < pixels; ++i, ++k) {
    std::uint32_t x = state[k];
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    frame10[i] = noisy(frame10[i], x);
  }
}

}  // namespace

std::uint16_t exposedValue(int reflectance, const CameraRegisters &registers) {
  return exposureTable(registers)[std::size_t(std::clamp(reflectance, 0, kFullReflectance))];
}

FrameRenderer::FrameRenderer(std::shared_ptr<const Scene> scene) : scene_(std::move(scene)) {}

void FrameRenderer::prepareMosaic(const ScenePicture &picture, const FrameLayout &l) {
  const MosaicKey key{&picture, l.firstColumn, l.firstRow, l.columns,
                      l.rows,   l.step,        l.mirrorH,  l.mirrorV};
  if (key == mosaicKey_ && mosaic_.size() == std::size_t(l.width) * std::size_t(l.height)) return;
  mosaicKey_ = key;
  mosaic_.assign(std::size_t(l.width) * std::size_t(l.height), 0);
  const int m = bayerPhase(l);
  for (int y = 0; y < l.height; ++y) {
    const int sy = sensorCoordinate(y, l.firstRow, l.rows, l.step, l.mirrorV);
    if (sy < 0 || sy >= picture.height) continue;
    const std::uint16_t *even =
        picture.plane[bayerColour(m, 0, y)].data() + std::size_t(sy) * std::size_t(picture.width);
    const std::uint16_t *odd =
        picture.plane[bayerColour(m, 1, y)].data() + std::size_t(sy) * std::size_t(picture.width);
    std::uint16_t *row = mosaic_.data() + std::size_t(y) * std::size_t(l.width);
    for (int x = 0; x < l.width; ++x) {
      const int sx = sensorCoordinate(x, l.firstColumn, l.columns, l.step, l.mirrorH);
      if (sx >= 0 && sx < picture.width) row[x] = (x & 1) ? odd[sx] : even[sx];
    }
  }
}

void FrameRenderer::drawPatch(const ScenePatch &patch, const FrameLayout &l, std::uint16_t *frame10,
                              std::size_t pixels) const {
  // Patches hold reflectance; the caller converts the frame afterwards, so
  // they are written into the mosaic copy in frame10 before the table runs.
  const auto [y0, y1] = outputRange(l.firstRow, l.rows, l.step, l.mirrorV, patch.y,
                                    patch.y + patch.picture.height, l.height);
  const auto [x0, x1] = outputRange(l.firstColumn, l.columns, l.step, l.mirrorH, patch.x,
                                    patch.x + patch.picture.width, l.width);
  const int m = bayerPhase(l);
  for (int y = y0; y < y1; ++y) {
    const int py = sensorCoordinate(y, l.firstRow, l.rows, l.step, l.mirrorV) - patch.y;
    for (int x = x0; x < x1; ++x) {
      const std::size_t i = std::size_t(y) * std::size_t(l.width) + std::size_t(x);
      if (i >= pixels) return;
      const int px = sensorCoordinate(x, l.firstColumn, l.columns, l.step, l.mirrorH) - patch.x;
      frame10[i] = patch.picture.at(bayerColour(m, x, y), px, py);
    }
  }
}

void FrameRenderer::render(const FrameSettings &settings, std::span<std::uint8_t> out) {
  const FrameLayout l = settings.registers.layout();
  const int bytes = l.bytesPerSample;
  const std::size_t imagePixels =
      std::min({std::size_t(l.width) * std::size_t(l.height), out.size() / std::size_t(bytes),
                std::size_t(l.transferPixels)});
  const ScenePicture &picture = scene_->picture(settings.frameNumber);
  prepareMosaic(picture, l);

  // Reflectance of this frame (picture plus patches), then exposure, noise.
  frame10_.assign(mosaic_.begin(), mosaic_.begin() + std::ptrdiff_t(imagePixels));
  for (const ScenePatch &patch : scene_->patches(settings.frameNumber))
    drawPatch(patch, l, frame10_.data(), imagePixels);
  const ValueTable table = exposureTable(settings.registers);
  for (std::size_t i = 0; i < imagePixels; ++i) frame10_[i] = table[frame10_[i]];
  if (settings.noise.sigma > 0) addNoise(frame10_.data(), imagePixels, settings);

  std::uint8_t *dst = out.data();
  if (bytes == 2) {
    std::memcpy(dst, frame10_.data(), imagePixels * 2);  // little-endian host
  } else {
    for (std::size_t i = 0; i < imagePixels; ++i) dst[i] = std::uint8_t(frame10_[i] >> 2);
  }
  std::memset(dst + imagePixels * std::size_t(bytes), 0,
              out.size() - imagePixels * std::size_t(bytes));

  const FrameStamp stamp{settings.frameNumber, std::uint8_t(settings.camera)};
  const std::size_t rowPixels = std::size_t(l.width);
  if (rowPixels > 0 && l.height > 0) {
    const std::size_t lastRow = std::size_t(l.height - 1) * rowPixels;
    if (rowPixels <= imagePixels) writeFrameStamp(dst, l.width, bytes, stamp);
    if (lastRow + rowPixels <= imagePixels)
      writeFrameStamp(dst + lastRow * std::size_t(bytes), l.width, bytes, stamp);
  }
}

std::vector<std::uint8_t> FrameRenderer::render(const FrameSettings &settings) {
  std::vector<std::uint8_t> out(settings.registers.layout().transferBytes());
  render(settings, out);
  return out;
}

}  // namespace pelnik::virtcam
