#include "camera/filter_values.h"

#include "imaging/filter_slots.h"

namespace pelnik {

namespace {

// Identifiers without a slot of their own.
constexpr int kPackedBayerGainsId = 6;  // the three Bayer gains, one byte each
constexpr int kGlobalGainId = 13;       // written to the sensor at once
constexpr int kColourGainRedId = 14;    // 14-17: per-channel gains this model keeps at 0
constexpr int kColourGainGreen1Id = 15;
constexpr int kColourGainGreen2Id = 16;
constexpr int kColourGainBlueId = 17;
constexpr int kExposureId = 18;  // exposure lines, written to the sensor at once

AtomicInt &channelGain(AnalogSettings &analog, int id) {
  switch (id) {
    case kColourGainRedId:
      return analog.gainRed;
    case kColourGainGreen1Id:
      return analog.gainGreen1;
    case kColourGainGreen2Id:
      return analog.gainGreen2;
    default:
      return analog.gainBlue;
  }
}

bool isColourGainId(int id) { return id >= kColourGainRedId && id <= kColourGainBlueId; }

FilterResult failure(ErrorCode code) { return {code, 0}; }
FilterResult success(int value = 0) { return {ErrorCode::None, value}; }

}  // namespace

FilterResult FilterValues::set(int id, int value) {
  if (const FilterSlotInfo *info = filterSlotOfId(id)) {
    switch (info->setter) {
      case SlotSetter::Range:
        if (!info->setterRange.contains(value)) return failure(ErrorCode::InvalidArgument);
        filter_.set(info->slot, value);
        return success();
      case SlotSetter::Boolean:
        filter_.set(info->slot, value != 0 ? 1 : 0);
        return success();
      case SlotSetter::None:
        break;
    }
    return failure(ErrorCode::InvalidArgument);
  }
  if (id == kPackedBayerGainsId) {
    filter_.set(filter_slot::kBayerGainRed, value & 0xFF);
    filter_.set(filter_slot::kBayerGainGreen, (value >> 8) & 0xFF);
    filter_.set(filter_slot::kBayerGainBlue, (value >> 16) & 0xFF);
    return success();
  }
  if (id == kGlobalGainId) {
    if (!sensor_.gainRange().contains(value)) return failure(ErrorCode::InvalidArgument);
    analog_.globalGain = value;
    analog_.gainGreen1 = value;
    analog_.gainRed = value;
    analog_.gainBlue = value;
    analog_.gainGreen2 = value;
    return sensor_.writeGain(value) ? success() : failure(ErrorCode::DeviceIo);
  }
  if (isColourGainId(id)) {
    if (value != 0) return failure(ErrorCode::InvalidArgument);
    channelGain(analog_, id) = 0;
    return success();
  }
  if (id == kExposureId) {
    if (!sensor_.exposureRange().contains(value)) return failure(ErrorCode::InvalidArgument);
    analog_.exposureLines = value;
    return sensor_.writeExposureLines(value) ? success() : failure(ErrorCode::DeviceIo);
  }
  return failure(ErrorCode::InvalidArgument);
}

FilterResult FilterValues::get(int id) const {
  if (const FilterSlotInfo *info = filterSlotOfId(id)) return success(filter_.get(info->slot));
  if (id == kPackedBayerGainsId) {
    return success((filter_.get(filter_slot::kBayerGainRed) & 0xFF) |
                   (filter_.get(filter_slot::kBayerGainGreen) & 0xFF) << 8 |
                   (filter_.get(filter_slot::kBayerGainBlue) & 0xFF) << 16);
  }
  if (id == kGlobalGainId) return success(sensor_.currentGain());
  if (isColourGainId(id)) return success(0);
  if (id == kExposureId) return success(sensor_.currentExposureLines());
  return failure(ErrorCode::InvalidArgument);
}

}  // namespace pelnik
