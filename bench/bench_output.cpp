// Still-image save time per format for a full-sensor picture (1280 x 1024):
// a 24-bit colour one and a 16-bit monochrome one with 10 significant bits,
// camera-like content (gradients with sensor noise). Each iteration is one
// whole save into a file that already exists (it is replaced). Counter:
// megapixels per second. The PNG and JPEG settings are fixed; this measures
// their cost.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "imaging/image_buffer.h"
#include "output/still_image.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

// A scene of smooth gradients under noise of a few counts.
void fillScene(pelnik::CImageBuffer &picture) {
  std::mt19937 noise(12345);
  std::normal_distribution<double> grain(0.0, 2.0);
  const bool wide = picture.BitCount() == 16;
  const int channels = wide ? 1 : picture.BytesPerPixel();
  const double top = wide ? 1023.0 : 255.0;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t *row = picture.Pixels() + static_cast<std::size_t>(y) * picture.Stride();
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < channels; ++c) {
        const double level = top * (0.2 + 0.5 * x / kWidth + 0.2 * y / kHeight + 0.05 * c);
        const double value = std::clamp(level + grain(noise), 0.0, top);
        const auto sample = static_cast<unsigned>(value);
        if (wide) {
          row[x * 2] = static_cast<std::uint8_t>(sample);
          row[x * 2 + 1] = static_cast<std::uint8_t>(sample >> 8);
        } else {
          row[x * channels + c] = static_cast<std::uint8_t>(sample);
        }
      }
    }
  }
}

std::string benchDirectory() {
  static const std::string path = [] {
    char pattern[] = "/tmp/pelnik-bench-output-XXXXXX";
    const char *made = mkdtemp(pattern);
    return std::string(made ? made : "/tmp");
  }();
  return path;
}

void saveFullPicture(benchmark::State &state, int bitCount) {
  const int format = static_cast<int>(state.range(0));
  pelnik::CImageBuffer picture;
  if (!picture.Create(kWidth, kHeight, bitCount)) {
    state.SkipWithError("no image buffer");
    return;
  }
  fillScene(picture);
  const std::string path =
      benchDirectory() + "/picture" + std::to_string(bitCount) + "_" + std::to_string(format);
  for (auto _ : state) {
    if (pelnik::output::SaveStillImage(path.c_str(), &picture, format, 10) != 1) {
      state.SkipWithError("save failed");
      break;
    }
  }
  state.counters["Mpixel/s"] = benchmark::Counter(
      double(kWidth) * kHeight * 1e-6 * double(state.iterations()), benchmark::Counter::kIsRate);
  std::filesystem::remove(path);
}

void BM_SaveColour24(benchmark::State &state) { saveFullPicture(state, 24); }
void BM_SaveMono16(benchmark::State &state) { saveFullPicture(state, 16); }

// Format codes: 0 BMP, 1 raw, 2/3/4 JPEG quality 100/70/20, 5 PNG, 6 TIFF.
BENCHMARK(BM_SaveColour24)->DenseRange(0, 6)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveMono16)->DenseRange(0, 6)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
