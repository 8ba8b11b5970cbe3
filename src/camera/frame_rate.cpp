#include "camera/frame_rate.h"

namespace pelnik {

int FrameRateMeter::countFrame(std::uint32_t nowMs) {
  ++counter_;
  const std::uint32_t elapsed = nowMs - timerMs_;  // wraps like the clock
  if (elapsed > 1000) {
    rate10_ = static_cast<int>(counter_ * 10000 / static_cast<std::int64_t>(elapsed));
    counter_ = 0;
    timerMs_ = nowMs;
  }
  return rate10_;
}

}  // namespace pelnik
