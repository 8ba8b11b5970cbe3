#pragma once
// Frames per second times ten, measured over intervals of just over one
// second: the rate is recomputed on the first frame after more than 1000 ms
// have passed since the last computation, and held in between.
#include <cstdint>

namespace pelnik {

class FrameRateMeter {
 public:
  explicit FrameRateMeter(std::uint32_t startMs) : timerMs_(startMs) {}

  // Counts one frame at `nowMs` (a wrapping millisecond clock) and returns
  // the current rate times ten.
  int countFrame(std::uint32_t nowMs);
  int rate10() const { return rate10_; }

 private:
  std::uint32_t timerMs_;
  std::int64_t counter_ = 0;
  int rate10_ = 0;
};

}  // namespace pelnik
