#include "imaging/auto_iris.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "imaging/filter_rows.h"
#include "imaging/image_buffer.h"

namespace pelnik {

namespace {

// The integer part of a double, held inside the int range.
int truncateToInt(double value) {
  constexpr double top = std::numeric_limits<int>::max();
  constexpr double bottom = std::numeric_limits<int>::min();
  if (value != value) return 0;
  if (value >= top) return std::numeric_limits<int>::max();
  if (value <= bottom) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

int bound(double fraction, int size) { return static_cast<int>(fraction * size); }

template <int SampleBytes>
int meanOf(const std::uint8_t *src, const KernelRect &r, int srcBpp, int srcStride) {
  const long long count = static_cast<long long>(r.width()) * r.height();
  if (r.empty()) return 0;
  std::uint64_t sum = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    const std::uint8_t *row = src + static_cast<std::ptrdiff_t>(y) * srcStride;
    for (int x = r.left; x < r.right; ++x) {
      if (SampleBytes == 1) {
        sum += row[x * srcBpp];
      } else {
        std::uint16_t v;
        std::memcpy(&v, row + x * srcBpp, 2);
        sum += static_cast<std::uint8_t>(v >> 2);
      }
    }
  }
  return static_cast<int>(sum / static_cast<std::uint64_t>(count));
}

// The production form walks each row once with a plain running sum.
template <int SampleBytes>
int meanFast(const KernelRows &rows) {
  if (rows.width <= 0 || rows.height <= 0) return 0;
  std::uint64_t sum = 0;
  for (int i = 0; i < rows.height; ++i) {
    const std::uint8_t *row = rows.srcRow(i);
    std::uint64_t rowSum = 0;
    if (SampleBytes == 1 && rows.srcBpp == 1) {
      for (int x = 0; x < rows.width; ++x) rowSum += row[x];
    } else {
      for (int x = 0; x < rows.width; ++x) {
        if (SampleBytes == 1) {
          rowSum += row[x * rows.srcBpp];
        } else {
          std::uint16_t v;
          std::memcpy(&v, row + x * rows.srcBpp, 2);
          rowSum += static_cast<std::uint8_t>(v >> 2);
        }
      }
    }
    sum += rowSum;
  }
  return static_cast<int>(sum / (static_cast<std::uint64_t>(rows.width) * rows.height));
}

}  // namespace

std::array<KernelRect, 5> autoIrisWindows(int width, int height) {
  auto window = [&](double left, double top, double right, double bottom) {
    KernelRect r;
    r.left = bound(left, width);
    r.top = bound(top, height);
    r.right = bound(right, width);
    r.bottom = bound(bottom, height);
    return r;
  };
  return {window(0.1, 0.1, 0.2, 0.2), window(0.1, 0.8, 0.2, 0.9), window(0.45, 0.45, 0.55, 0.55),
          window(0.8, 0.1, 0.9, 0.2), window(0.8, 0.8, 0.9, 0.9)};
}

double autoIrisFactor(const std::array<int, 5> &means) {
  double factor = 1.0;
  for (int m : means) {
    if (m > 200) {
      factor = factor - 0.15;
    } else if (m > 160) {
      factor = factor - 0.10;
    } else if (m < 50) {
      factor = factor + 0.10;
    } else if (m < 100) {
      factor = factor + 0.05;
    }
  }
  return factor;
}

int nextGlobalGain(int gain, double factor, int minimum, int maximum) {
  int next = truncateToInt(std::max(gain, 4) * factor);
  next = std::max(next, minimum);
  return std::min(next, maximum);
}

int nextExposureLines(int lines, double factor, int minimum, int maximum) {
  // Held at the limits before anything is cut: 60000 lines x 1.2 is the
  // maximum, never the low 16 bits of 72000.
  int next = truncateToInt(lines * factor);
  if (next < 1) next = 1;
  next = std::max(next, minimum);
  return std::min(next, maximum);
}

int autoIrisStep(int mode, CImageBuffer *picture, AutoIrisDevice &device,
                 ChainSettingsWriter &settings, ChainNotifier &notifier) {
  if ((mode != kAutoIrisExposure && mode != kAutoIrisGain) || picture == nullptr) return 0;
  if (picture->IsEmpty()) return 0;
  const Kernel mean = picture->BitCount() == 8    ? kernels::windowMean8
                      : picture->BitCount() == 16 ? kernels::windowMean16
                                                  : nullptr;
  std::array<int, 5> means{};
  const auto windows = autoIrisWindows(picture->Width(), picture->Height());
  for (std::size_t w = 0; w < windows.size(); ++w) {
    KernelRect window = windows[w];
    if (mean) means[w] = picture->ApplyKernel(mean, *picture, &window, window.left, window.top);
  }
  const double factor = autoIrisFactor(means);
  if (insideDeadBand(factor)) return 1;
  if (mode == kAutoIrisGain) {
    const int gain = nextGlobalGain(device.currentGlobalGain(), factor, device.globalGainMinimum(),
                                    device.globalGainMaximum());
    device.setGlobalGain(gain);
    settings.storeGlobalGain(gain);
    notifier.globalGainChanged(gain);
  } else {
    const int lines =
        nextExposureLines(device.currentExposureLines(), factor, device.exposureLinesMinimum(),
                          device.exposureLinesMaximum());
    device.setExposureLines(lines);
    settings.storeExposureLines(lines);
    notifier.exposureLinesChanged(lines);
  }
  return 1;
}

namespace kernels {
int windowMean8(KERNEL_ARGS) {
  (void)extra, (void)params;
  return meanFast<1>(
      kernelRows(dst, src, *rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride));
}
int windowMean16(KERNEL_ARGS) {
  (void)extra, (void)params;
  return meanFast<2>(
      kernelRows(dst, src, *rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride));
}
}  // namespace kernels

namespace reference {
int windowMean8(KERNEL_ARGS) {
  (void)dst, (void)dstX, (void)dstRow, (void)dstBpp, (void)dstStride, (void)params, (void)extra;
  return meanOf<1>(src, *rect, srcBpp, srcStride);
}
int windowMean16(KERNEL_ARGS) {
  (void)dst, (void)dstX, (void)dstRow, (void)dstBpp, (void)dstStride, (void)params, (void)extra;
  return meanOf<2>(src, *rect, srcBpp, srcStride);
}
}  // namespace reference

}  // namespace pelnik
