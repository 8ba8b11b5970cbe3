#pragma once
// What the camera's settings need of the sensor: its limits, its current
// gain and exposure, and the two writes that act at once. The camera
// implements it over its device object; tests can fake it.
namespace pelnik {

struct ValueRange {
  int minimum;
  int maximum;
  bool contains(int value) const { return value >= minimum && value <= maximum; }
};

class SensorControl {
 public:
  virtual ~SensorControl() = default;
  virtual ValueRange gainRange() const = 0;
  virtual ValueRange exposureRange() const = 0;
  virtual int currentGain() const = 0;
  virtual int currentExposureLines() const = 0;
  // False when the register write failed.
  virtual bool writeGain(int gain) = 0;
  virtual bool writeExposureLines(int lines) = 0;
};

}  // namespace pelnik
