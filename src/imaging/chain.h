#pragma once
// The image filter chain: one call per acquired frame turns the raw frame
// into the finished picture of the colour mode and applies the image
// settings, with the auto iris and the white balance hooked in.
//
// Its input is narrow so that the camera can supply it and tests can fake
// it: a snapshot of the settings it reads (ChainSettings), the buffers it
// reads and writes (ChainBuffers), and the host interfaces of
// chain_interfaces.h for what it changes.
#include <array>
#include <cstdint>

#include "imaging/chain_interfaces.h"
#include "imaging/filter_slots.h"

namespace pelnik {

class CImageBuffer;

// What one frame reads, copied by the camera before the call so that the
// frame sees each setting either before or after a concurrent change.
struct ChainSettings {
  std::array<std::int32_t, kFilterRecordSlots> filter{};
  int colourMode = 0;  // index 0..5: depth codes 8, 10, 24, 32, 42, 58
  int mirrorV = 0;
  int mirrorH = 0;
  int autoIrisMode = 0;  // 0 off, 1 exposure, 2 gain

  int slot(int index) const { return filter[static_cast<std::size_t>(index)]; }
};

// The camera's image buffers the chain uses (any may be null: a stage that
// needs a missing buffer does nothing). The raw buffer of the colour mode
// holds the re-strided frame; the output buffer gets the picture.
struct ChainBuffers {
  CImageBuffer *raw8 = nullptr;
  CImageBuffer *raw16 = nullptr;
  CImageBuffer *colour24 = nullptr;
  CImageBuffer *colour32 = nullptr;
  CImageBuffer *colour48 = nullptr;
  CImageBuffer *colour64 = nullptr;
};

// The steps of one frame, in the order they run; a clock attached to the
// chain hears the end of each (benchmarks break a frame down by them).
enum class ChainStep { kAutoIris, kGrayOrDemosaic, kFilters, kCount };

class ChainStepClock {
 public:
  virtual ~ChainStepClock() = default;
  virtual void stepEnded(ChainStep step) = 0;
};

class FilterChain {
 public:
  FilterChain(AutoIrisDevice &device, ChainSettingsWriter &settings)
      : device_(device), settings_(settings) {}

  // Runs every stage for one frame. Settings outside the ranges their
  // setters accept are first brought to the nearest accepted value.
  void run(const ChainSettings &settings, const ChainBuffers &buffers);

  // The refresh and analog notifications go to this observer (null: none).
  void attachObserver(ChainObserver *observer) { notifier_.attach(observer); }
  // Only while no frame runs (null: none).
  void attachStepClock(ChainStepClock *clock) { clock_ = clock; }

 private:
  AutoIrisDevice &device_;
  ChainSettingsWriter &settings_;
  ChainNotifier notifier_;
  ChainStepClock *clock_ = nullptr;
};

}  // namespace pelnik
