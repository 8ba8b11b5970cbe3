// The three settings dialogs of a camera: the models of src/settings run
// in the platform's dialog view, over the camera's own records and device.
#include "camera/CPelnik.h"
#include "camera/stored_records.h"
#include "dialogs/analog_dialog_model.h"
#include "dialogs/camera_dialog_model.h"
#include "dialogs/image_dialog_model.h"
#include "ui/dialog_view.h"
#include "ui/ui_language.h"

namespace pelnik {

namespace {

const settings::DialogTexts &sessionTexts() {
  return settings::dialogTexts(platform::sessionLanguage());
}

class AnalogHost final : public settings::AnalogDialogHost {
 public:
  AnalogHost(AnalogSettings &analog, FilterSettings &filter, device::CPelnikR5MLXSdk &device,
             std::recursive_mutex &sensorSettingsLock, SensorControl &sensor,
             std::mutex &exposureModelLock, const ExposureModel &exposure)
      : analog_(analog),
        filter_(filter),
        device_(device),
        sensorSettingsLock_(sensorSettingsLock),
        sensor_(sensor),
        exposureModelLock_(exposureModelLock),
        exposure_(exposure) {}

  settings::AnalogValues analogRecord() const override { return analogValuesOf(analog_); }
  void setAnalogRecord(const settings::AnalogValues &values) override {
    assignAnalogValues(analog_, values);
  }
  void setAnalogField(settings::AnalogField field, int value) override {
    using F = settings::AnalogField;
    switch (field) {
      case F::Global:
        analog_.globalGain = value;
        break;
      case F::ColorG1:
        analog_.gainGreen1 = value;
        break;
      case F::ColorR:
        analog_.gainRed = value;
        break;
      case F::ColorB:
        analog_.gainBlue = value;
        break;
      case F::ColorG2:
        analog_.gainGreen2 = value;
        break;
      case F::Exposure:
        analog_.exposureLines = value;
        break;
      case F::MirrorV:
        analog_.mirrorV = value;
        break;
      case F::MirrorH:
        analog_.mirrorH = value;
        break;
      case F::AutoIris:
        analog_.autoIrisMode = value;
        break;
    }
  }
  int bayerMode() const override { return filter_.get(filter_slot::kBayerMode); }
  void setBayerMode(int mode) override { filter_.set(filter_slot::kBayerMode, mode); }
  int deviceGlobalGain() override { return sensor_.currentGain(); }
  int deviceExposure() override { return sensor_.currentExposureLines(); }
  int deviceMirrorV() override {
    Settings settings(sensorSettingsLock_);
    return device_.MirrorV();
  }
  int deviceMirrorH() override {
    Settings settings(sensorSettingsLock_);
    return device_.MirrorH();
  }
  settings::IntRange gainRange() const override {
    const ValueRange r = sensor_.gainRange();
    return {r.minimum, r.maximum};
  }
  settings::IntRange exposureRange() const override {
    const ValueRange r = sensor_.exposureRange();
    return {r.minimum, r.maximum};
  }
  void sendGlobalGain(int gain) override {
    Settings settings(sensorSettingsLock_);
    sensor_.writeGain(gain);
  }
  void sendExposure(int lines) override {
    Settings settings(sensorSettingsLock_);
    sensor_.writeExposureLines(lines);
  }
  // The mirrors and sensor values are changed by one application thread at
  // a time, never waiting for a frame read.
  void sendMirrorV(int on) override {
    Settings settings(sensorSettingsLock_);
    device_.SetMirrorV(on);
  }
  void sendMirrorH(int on) override {
    Settings settings(sensorSettingsLock_);
    device_.SetMirrorH(on);
  }
  double exposureMilliseconds(int lines) const override {
    std::lock_guard<std::mutex> guard(exposureModelLock_);
    return exposure_.millisecondsFor(lines);
  }

 private:
  using Settings = std::lock_guard<std::recursive_mutex>;
  AnalogSettings &analog_;
  FilterSettings &filter_;
  device::CPelnikR5MLXSdk &device_;
  std::recursive_mutex &sensorSettingsLock_;
  SensorControl &sensor_;
  std::mutex &exposureModelLock_;
  const ExposureModel &exposure_;
};

class ImageHost final : public settings::ImageDialogHost {
 public:
  ImageHost(FilterSettings &filter, const AtomicInt &colourMode)
      : filter_(filter), colourMode_(colourMode) {}
  int colourModeIndex() const override { return colourMode_; }
  settings::FilterRecord filterRecord() const override { return filter_.snapshot(); }
  void setFilterSlot(int slot, int value) override {
    filter_.set(static_cast<std::size_t>(slot), value);
  }
  void setFilterRecord(const settings::FilterRecord &record) override { filter_.assign(record); }

 private:
  FilterSettings &filter_;
  const AtomicInt &colourMode_;
};

// Called by the chain on the acquisition thread under the frame lock: the
// updates are only queued for the dialog's thread, never waited for.
class AnalogDialogObserver final : public ChainObserver {
 public:
  explicit AnalogDialogObserver(settings::AnalogDialogModel &model) : model_(model) {}
  void globalGainChanged(int gain) override {
    model_.inbox().post([this, gain] { model_.showAutoGlobalGain(gain); });
  }
  void exposureLinesChanged(int lines) override {
    model_.inbox().post([this, lines] { model_.showAutoExposure(lines); });
  }

 private:
  settings::AnalogDialogModel &model_;
};

class ImageDialogObserver final : public ChainObserver {
 public:
  explicit ImageDialogObserver(settings::ImageDialogModel &model) : model_(model) {}
  void imageSettingsChanged() override {
    model_.inbox().post([this] { model_.reloadFromCamera(); });
  }

 private:
  settings::ImageDialogModel &model_;
};

// Attaches a dialog to the chain for the dialog's lifetime; detached (and
// its inbox closed) before the dialog goes away.
class ObserverAttachment {
 public:
  ObserverAttachment(CameraPipeline &pipeline, ChainObserver &observer,
                     platform::DialogInbox &inbox)
      : pipeline_(pipeline), inbox_(inbox) {
    pipeline_.attachObserver(&observer);
  }
  ~ObserverAttachment() {
    pipeline_.attachObserver(nullptr);
    inbox_.close();
  }
  ObserverAttachment(const ObserverAttachment &) = delete;
  ObserverAttachment &operator=(const ObserverAttachment &) = delete;

 private:
  CameraPipeline &pipeline_;
  platform::DialogInbox &inbox_;
};

}  // namespace

int CPelnik::SetAnalogDlg(int ownerWindow) {
  if (!device_) return noDevice();
  // Waits for a dialog another thread shows; the record is refreshed and
  // kept only once this dialog's turn has come.
  platform::DialogTurn turn;
  AnalogHost host(analog_, filter_, *device_, sensorSettingsLock_, *sensor_, exposureModelLock_,
                  exposure_);
  settings::AnalogDialogModel model(host, sessionTexts());
  platform::DialogRunResult run;
  {
    AnalogDialogObserver observer(model);
    ObserverAttachment attached(pipeline_, observer, model.inbox());
    run = platform::runModalDialog(model, ownerWindow);
  }
  model.conclude();
  if (run == platform::DialogRunResult::NoDisplay) PostNotice(ErrorCode::WindowOrPreset);
  return 1;
}

int CPelnik::SetImageDlg(int ownerWindow) {
  if (!device_) return noDevice();
  platform::DialogTurn turn;
  ImageHost host(filter_, colourMode_);
  settings::ImageDialogModel model(host, sessionTexts());
  platform::DialogRunResult run;
  {
    ImageDialogObserver observer(model);
    ObserverAttachment attached(pipeline_, observer, model.inbox());
    run = platform::runModalDialog(model, ownerWindow);
  }
  model.conclude();
  if (run == platform::DialogRunResult::NoDisplay) PostNotice(ErrorCode::WindowOrPreset);
  return 1;
}

int CPelnik::SetCameraDlg(int ownerWindow) {
  if (!device_) return noDevice();
  platform::DialogTurn turn;
  const Acquisition::Suspended suspended = acquisition_.suspend();
  const int number = cameraNumber_;
  settings::CameraDialogModel model(store_, number, sessionTexts());
  const platform::DialogRunResult run = platform::runModalDialog(model, ownerWindow);
  model.inbox().close();
  if (run == platform::DialogRunResult::NoDisplay) PostNotice(ErrorCode::WindowOrPreset);
  // Held until the resume, so no other thread starts in between.
  auto control = acquisition_.lockControl();
  // An acquisition another thread started while the dialog was open is the
  // newer one: its window is not changed under its reads, and the stopped
  // one is not resumed over it (that would point it at the old buffer). The
  // values kept by OK apply at the camera's next selection or dialog.
  if (acquisition_.isAcquiring()) return 1;
  if (model.outcome() == settings::DialogOutcome::Ok) {
    SetupGuard setup(deviceSetupLock_);
    loadStoredGeometry(number);
    loadStoredFormatValues(number);
  }
  acquisition_.resume(suspended);
  return 1;
}

}  // namespace pelnik
