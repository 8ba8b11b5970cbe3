#include "camera/real_exposure.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pelnik {

int ExposureModel::microsecondsFor(int lines) {
  clocksPerLine_ = kClocksPerLine;
  extraClocks_ = 0;
  msPerClock_ = kMsPerClock;
  exposureLines_ = lines;
  const double us =
      (exposureLines_ * static_cast<double>(clocksPerLine_) + extraClocks_) * msPerClock_ * 1000.0;
  // Lines come from the settings store too, so keep an absurd value in range.
  const double clamped = std::clamp(std::trunc(us), double(std::numeric_limits<int>::min()),
                                    double(std::numeric_limits<int>::max()));
  realExposureUs_ = static_cast<int>(clamped);
  return realExposureUs_;
}

std::optional<int> ExposureModel::linesFor(int microseconds) {
  const double lines = std::trunc(microseconds / 1000.0 / kMsPerLine);
  if (lines < std::numeric_limits<int>::min() || lines > std::numeric_limits<int>::max())
    return std::nullopt;
  return static_cast<int>(lines);
}

}  // namespace pelnik
