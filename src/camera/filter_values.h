#pragma once
// The store behind filter-value identifiers 1..28. The identifiers that
// reach a slot of the filter record follow imaging/filter_slots.h; the ones
// without a slot (the packed Bayer gains and the analog settings) follow the
// rules here.
#include "camera/camera_settings.h"
#include "camera/error_codes.h"
#include "camera/sensor_control.h"

namespace pelnik {

// Error code of a failed set or get (None = success); the camera raises it.
struct FilterResult {
  ErrorCode errorCode = ErrorCode::None;
  int value = 0;  // the value read, for a get
  bool ok() const { return errorCode == ErrorCode::None; }
};

class FilterValues {
 public:
  FilterValues(FilterSettings &filter, AnalogSettings &analog, SensorControl &sensor)
      : filter_(filter), analog_(analog), sensor_(sensor) {}

  FilterResult set(int id, int value);
  FilterResult get(int id) const;

 private:
  FilterSettings &filter_;
  AnalogSettings &analog_;
  SensorControl &sensor_;
};

}  // namespace pelnik
