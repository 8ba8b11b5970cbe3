#pragma once
// Exposure in microseconds from and to sensor lines: one line is 896 clocks
// of the 28.5 MHz pixel clock. The clock period is the single-precision
// value of 1/28500 ms held as a double, so results match the camera's own
// tools to the microsecond.
#include <optional>

namespace pelnik {

inline constexpr int kClocksPerLine = 896;
inline constexpr double kMsPerClock = 3.508771987981163e-05;
inline constexpr double kMsPerLine = 0.03143859701231122;

class ExposureModel {
 public:
  // Loads the line model, takes the lines and returns (and keeps) the
  // exposure in whole microseconds, truncated.
  int microsecondsFor(int lines);

  // Lines for an exposure, truncated; none when the result does not fit an int.
  static std::optional<int> linesFor(int microseconds);

  int realExposureUs() const { return realExposureUs_; }

  // Milliseconds of an exposure of `lines` by the model as it stands (0 until
  // the model has been loaded).
  double millisecondsFor(int lines) const {
    return (lines * static_cast<double>(clocksPerLine_) + extraClocks_) * msPerClock_;
  }

 private:
  int clocksPerLine_ = 0;
  int extraClocks_ = 0;
  int exposureLines_ = 1;
  double msPerClock_ = 1.0;
  int realExposureUs_ = 0;
};

}  // namespace pelnik
