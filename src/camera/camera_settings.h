#pragma once
// The camera's settings as plain values: written by application threads,
// read by the acquisition thread per frame without a lock. Each value is a
// relaxed atomic, so a change lands whole and takes effect from the next
// frame, as with a plain aligned int, but without a data race.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace pelnik {

class AtomicInt {
 public:
  AtomicInt(int value = 0) : value_(value) {}
  AtomicInt(const AtomicInt &) = delete;
  AtomicInt &operator=(const AtomicInt &) = delete;
  AtomicInt &operator=(int value) {
    value_.store(value, std::memory_order_relaxed);
    return *this;
  }
  operator int() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> value_;
};

inline constexpr std::size_t kFilterSlots = 30;

// Slots of the filter settings record that the camera itself names.
namespace slot {
inline constexpr std::size_t kBayerGainRed = 5;
inline constexpr std::size_t kBayerGainGreen = 6;
inline constexpr std::size_t kBayerGainBlue = 7;
inline constexpr std::size_t kGamma = 8;
inline constexpr std::size_t kBayerMode = 9;
inline constexpr std::size_t kGrayMode = 11;
inline constexpr std::size_t kGrayGainFirst = 12;  // R, G1, G2, B
inline constexpr std::size_t kBayerGainAuto = 25;
inline constexpr std::size_t kCalibrationRequest = 29;
}  // namespace slot

// The 30-slot filter settings record.
class FilterSettings {
 public:
  using Plain = std::array<std::int32_t, kFilterSlots>;

  int get(std::size_t index) const { return slots_[index]; }
  void set(std::size_t index, int value) { slots_[index] = value; }

  Plain snapshot() const {
    Plain plain{};
    for (std::size_t i = 0; i < kFilterSlots; ++i) plain[i] = slots_[i];
    return plain;
  }
  void assign(const Plain &plain) {
    for (std::size_t i = 0; i < kFilterSlots; ++i) slots_[i] = plain[i];
  }

 private:
  std::array<AtomicInt, kFilterSlots> slots_{};
};

// The analog settings sent to the sensor.
struct AnalogSettings {
  AtomicInt globalGain;
  AtomicInt gainGreen1;
  AtomicInt gainRed;
  AtomicInt gainBlue;
  AtomicInt gainGreen2;
  AtomicInt exposureLines;
  AtomicInt mirrorV;
  AtomicInt mirrorH;
  AtomicInt autoIrisMode;  // 0 off, 1 exposure, 2 gain
  AtomicInt autoIrisState;
};

}  // namespace pelnik
