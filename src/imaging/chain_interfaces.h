#pragma once
// What the image filter chain needs from the camera that runs it, besides
// the per-frame settings and buffers (chain.h): the sensor operations of the
// auto iris, the writes of settings the chain itself changes, and the
// listeners told about those changes.
//
// The camera implements AutoIrisDevice over its device layer and
// ChainSettingsWriter over its settings records; tests fake both. All calls
// come from the thread that runs the chain (the acquisition thread, with
// the frame lock held).
#include <mutex>

namespace pelnik {

// Sensor operations of the auto iris. The setters' results are not
// checked: the camera's stored value follows the new value even when the
// sensor write failed.
class AutoIrisDevice {
 public:
  virtual ~AutoIrisDevice() = default;
  virtual int currentGlobalGain() = 0;
  virtual int globalGainMinimum() = 0;
  virtual int globalGainMaximum() = 0;
  virtual int currentExposureLines() = 0;
  virtual int exposureLinesMinimum() = 0;
  virtual int exposureLinesMaximum() = 0;
  virtual void setGlobalGain(int gain) = 0;
  virtual void setExposureLines(int lines) = 0;
};

// Settings the chain writes back into the camera.
class ChainSettingsWriter {
 public:
  virtual ~ChainSettingsWriter() = default;
  // Gray gain calibration: the four new gains (filter slots 12..15).
  virtual void storeGrayGains(int red, int green1, int green2, int blue) = 0;
  // A one-shot calibration request (slot 29 = 1) has been served.
  virtual void clearGrayCalibrationRequest() = 0;
  // White balance: the Bayer gains (slots 5..7).
  virtual void storeBayerGains(int red, int green, int blue) = 0;
  // A Once white-balance request has been served: clear the enable flag
  // (slot 25) and both once markers (slots 26, 27).
  virtual void clearWhiteBalanceRequest() = 0;
  // Auto iris, gain mode: the global gain and all four colour gains.
  virtual void storeGlobalGain(int gain) = 0;
  // Auto iris, exposure mode: the exposure lines.
  virtual void storeExposureLines(int lines) = 0;
};

// Listeners of the changes the chain makes (the settings dialogs). Calls
// come from the chain's thread while the camera's frame lock is held: a
// listener must queue its work to its own thread and return, never wait
// for that thread.
class ChainObserver {
 public:
  virtual ~ChainObserver() = default;
  // After a gray gain calibration or a white-balance measurement: reload
  // the image settings from the camera.
  virtual void imageSettingsChanged() {}
  // After an auto-iris step in gain or exposure mode.
  virtual void globalGainChanged(int /*gain*/) {}
  virtual void exposureLinesChanged(int /*lines*/) {}
};

// Holds the current observer; any thread may attach or detach it. Once
// attach(nullptr) has returned no call reaches the old observer.
class ChainNotifier {
 public:
  void attach(ChainObserver *observer) {
    std::lock_guard<std::mutex> guard(observerLock_);
    observer_ = observer;
  }
  void imageSettingsChanged() {
    std::lock_guard<std::mutex> guard(observerLock_);
    if (observer_) observer_->imageSettingsChanged();
  }
  void globalGainChanged(int gain) {
    std::lock_guard<std::mutex> guard(observerLock_);
    if (observer_) observer_->globalGainChanged(gain);
  }
  void exposureLinesChanged(int lines) {
    std::lock_guard<std::mutex> guard(observerLock_);
    if (observer_) observer_->exposureLinesChanged(lines);
  }

 private:
  std::mutex observerLock_;  // guards observer_ and every call through it
  ChainObserver *observer_ = nullptr;
};

}  // namespace pelnik
