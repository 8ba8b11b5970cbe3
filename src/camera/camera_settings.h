#pragma once
// The camera's settings as plain values: written by application threads,
// read by the acquisition thread per frame without a lock. Each value is a
// relaxed atomic, so a change lands whole and takes effect from the next
// frame, as with a plain aligned int, but without a data race.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "imaging/filter_slots.h"

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

// The 30-slot filter settings record; imaging/filter_slots.h describes each
// slot.
class FilterSettings {
 public:
  using Plain = std::array<std::int32_t, kFilterRecordSlots>;

  int get(int slot) const { return slots_[static_cast<std::size_t>(slot)]; }
  void set(int slot, int value) { slots_[static_cast<std::size_t>(slot)] = value; }

  Plain snapshot() const {
    Plain plain{};
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = slots_[i];
    return plain;
  }
  void assign(const Plain &plain) {
    for (std::size_t i = 0; i < plain.size(); ++i) slots_[i] = plain[i];
  }

 private:
  std::array<AtomicInt, kFilterRecordSlots> slots_{};
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
