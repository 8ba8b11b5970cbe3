#include "camera/filter_values.h"

#include <array>
#include <optional>

namespace pelnik {

namespace {

enum class Rule {
  Plain,           // stored in its slot when inside the range
  PackedGains,     // id 6: the three Bayer gains, one byte each
  Boolean,         // id 10: stored as 0/1
  SensorGain,      // id 13: global gain, written to the sensor at once
  ZeroOnly,        // ids 14-17: per-channel gains this model keeps at 0
  SensorExposure,  // id 18: exposure lines, written to the sensor at once
};

struct FilterEntry {
  Rule rule;
  std::size_t slot;
  int minimum;
  int maximum;
};

constexpr FilterEntry plain(std::size_t slotIndex, int minimum, int maximum) {
  return {Rule::Plain, slotIndex, minimum, maximum};
}
constexpr FilterEntry special(Rule rule, std::size_t slotIndex = 0) {
  return {rule, slotIndex, 0, 0};
}

// Indexed by id - 1.
constexpr std::array<FilterEntry, kLastFilterId> kEntries{{
    plain(0, -255, 255),                           // 1 brightness
    plain(1, -127, 127),                           // 2 contrast
    plain(2, -360, 360),                           // 3 hue
    plain(3, -255, 255),                           // 4 saturation
    plain(4, 0, 30),                               // 5 sharpness
    special(Rule::PackedGains),                    // 6 Bayer gains packed
    plain(slot::kBayerGainRed, 0, 400),            // 7
    plain(slot::kBayerGainGreen, 0, 400),          // 8
    plain(slot::kBayerGainBlue, 0, 400),           // 9
    special(Rule::Boolean, slot::kBayerGainAuto),  // 10 white balance on/off
    plain(slot::kGamma, 0, 200),                   // 11
    plain(slot::kBayerMode, 0, 3),                 // 12
    special(Rule::SensorGain),                     // 13
    special(Rule::ZeroOnly),                       // 14 red
    special(Rule::ZeroOnly),                       // 15 green 1
    special(Rule::ZeroOnly),                       // 16 green 2
    special(Rule::ZeroOnly),                       // 17 blue
    special(Rule::SensorExposure),                 // 18
    plain(slot::kGrayMode, 0, 2),                  // 19
    plain(12, 0, 255),                             // 20 gray gain R
    plain(13, 0, 255),                             // 21 G1
    plain(14, 0, 255),                             // 22 G2
    plain(15, 0, 255),                             // 23 B
    plain(16, -255, 255),                          // 24 gray offset R
    plain(17, -255, 255),                          // 25 G1
    plain(18, -255, 255),                          // 26 G2
    plain(19, -255, 255),                          // 27 B
    plain(slot::kCalibrationRequest, 0, 1),        // 28 gray gain calibration request
}};

std::optional<FilterEntry> entryOf(int id) {
  if (id < kFirstFilterId || id > kLastFilterId) return std::nullopt;
  return kEntries[static_cast<std::size_t>(id - 1)];
}

AtomicInt &channelGain(AnalogSettings &analog, int id) {
  switch (id) {
    case 14:
      return analog.gainRed;
    case 15:
      return analog.gainGreen1;
    case 16:
      return analog.gainGreen2;
    default:
      return analog.gainBlue;
  }
}

FilterResult failure(ErrorCode code) { return {code, 0}; }
FilterResult success(int value = 0) { return {ErrorCode::None, value}; }

}  // namespace

FilterResult FilterValues::set(int id, int value) {
  const auto entry = entryOf(id);
  if (!entry) return failure(ErrorCode::InvalidArgument);
  switch (entry->rule) {
    case Rule::Plain:
      if (value < entry->minimum || value > entry->maximum) return failure(ErrorCode::InvalidArgument);
      filter_.set(entry->slot, value);
      return success();
    case Rule::PackedGains:
      filter_.set(slot::kBayerGainRed, value & 0xFF);
      filter_.set(slot::kBayerGainGreen, (value >> 8) & 0xFF);
      filter_.set(slot::kBayerGainBlue, (value >> 16) & 0xFF);
      return success();
    case Rule::Boolean:
      filter_.set(entry->slot, value != 0 ? 1 : 0);
      return success();
    case Rule::SensorGain:
      if (!sensor_.gainRange().contains(value)) return failure(ErrorCode::InvalidArgument);
      analog_.globalGain = value;
      analog_.gainGreen1 = value;
      analog_.gainRed = value;
      analog_.gainBlue = value;
      analog_.gainGreen2 = value;
      return sensor_.writeGain(value) ? success() : failure(ErrorCode::DeviceIo);
    case Rule::ZeroOnly:
      if (value != 0) return failure(ErrorCode::InvalidArgument);
      channelGain(analog_, id) = 0;
      return success();
    case Rule::SensorExposure:
      if (!sensor_.exposureRange().contains(value)) return failure(ErrorCode::InvalidArgument);
      analog_.exposureLines = value;
      return sensor_.writeExposureLines(value) ? success() : failure(ErrorCode::DeviceIo);
  }
  return failure(ErrorCode::InvalidArgument);
}

FilterResult FilterValues::get(int id) const {
  const auto entry = entryOf(id);
  if (!entry) return failure(ErrorCode::InvalidArgument);
  switch (entry->rule) {
    case Rule::Plain:
    case Rule::Boolean:
      return success(filter_.get(entry->slot));
    case Rule::PackedGains:
      return success((filter_.get(slot::kBayerGainRed) & 0xFF) |
                     (filter_.get(slot::kBayerGainGreen) & 0xFF) << 8 |
                     (filter_.get(slot::kBayerGainBlue) & 0xFF) << 16);
    case Rule::SensorGain:
      return success(sensor_.currentGain());
    case Rule::ZeroOnly:
      return success(0);
    case Rule::SensorExposure:
      return success(sensor_.currentExposureLines());
  }
  return failure(ErrorCode::InvalidArgument);
}

}  // namespace pelnik
