#pragma once
// The per-camera object: everything one camera handle drives.
#include <cstdint>
#include <memory>
#include <mutex>

#include "camera/acquisition.h"
#include "camera/camera_pipeline.h"
#include "camera/camera_recorder.h"
#include "camera/camera_settings.h"
#include "camera/device_adapters.h"
#include "camera/error_codes.h"
#include "camera/error_history.h"
#include "camera/failure.h"
#include "camera/filter_values.h"
#include "camera/real_exposure.h"
#include "camera/video_format.h"
#include "device/CPelnikR5MLXSdk.h"
#include "device/claim_table.h"
#include "device/config_file.h"
#include "preview/preview_surface.h"

namespace pelnik::platform {
class SettingsStore;
}

namespace pelnik {

class CPelnik : private AcquisitionHost {
 public:
  CPelnik();
  virtual ~CPelnik();
  CPelnik(const CPelnik &) = delete;
  CPelnik &operator=(const CPelnik &) = delete;

  // The open sequence run by Pelnik_Initialize; its result is ignored there.
  int Open(int ownerWindow);

  // Error reporting: the one way to record a failure (history and owner
  // window), and the one way to only announce it (owner window, even null).
  // An operation that fails leaves through fail(*this, code) (failure.h).
  int raiseError(ErrorCode code) override { return errors_.raise(codeValue(code)); }
  void PostNotice(ErrorCode code) const { errors_.notice(codeValue(code)); }
  int GetLastError() { return errors_.pop(); }

  // The device object; null when the open sequence did not create one.
  device::CPelnikR5MLXSdk *Device() const { return device_.get(); }

  // Claim table. Claims are made with this object's own identity (never 0,
  // unlike an owner window that may be), so only this object releases them.
  bool IsCameraClaimed(int n) const;  // by anyone else
  int ClaimCamera(int n);
  int ReleaseClaim(int n);

  // Sensor and device access behind the register, identity and IO port
  // exports; each reports its failures as those exports do.
  int ReadRegister(int reg, int *flag);
  int WriteRegister(int reg, int value);
  int ReadSromID(int index, int *flag);
  int WriteSromID(int index, int value);
  int GetIOPort(unsigned char *value);
  int SetIOPort(int value);

  // Camera selection and information.
  int EnumDevice(char *names);
  int EnumDeviceW(char16_t *names);
  int GetDeviceName(int number, char *text, int length);
  int GetDeviceNameW(int number, char16_t *text, int length);
  int SetDeviceNumber(int number);
  int GetCameraInfo(int *info);
  int CameraNumber() const { return cameraNumber_; }

  // Video format.
  int SetCaptureWindow(int width, int height);
  int SetCaptureWindowEx(int hTotal, int hStart, int hEffective, int vTotal, int vStart,
                         int vEffective);
  int GetCaptureWindowEx(int *hTotal, int *hStart, int *hEffective, int *vTotal, int *vStart,
                         int *vEffective);
  int Width();
  int Height();
  int SetColorMode(int bits);
  int GetColorMode() const { return reportedColourBits(colourMode_); }
  int SetSubSample(int value);
  int GetSubSample();
  int SetWaitTime(int milliseconds);
  int GetWaitTime() const { return waitTime_; }

  // Mirrors, automatic iris, exposure in microseconds, filter values.
  int SetMirrorV(int on);
  int GetMirrorV();
  int SetMirrorH(int on);
  int GetMirrorH();
  int SetAutoIris(int mode);
  int GetAutoIris(int *flag);
  int SetRealExposureTime(int microseconds);
  int GetRealExposureTime(int *flag);
  int SetFilterValue(int id, int value);
  int GetFilterValue(int id, int *flag);

  // Acquisition.
  int SetPreviewWindow(int parentWindow, int left, int top, int right, int bottom);
  int Preview() { return acquisition_.Preview(); }
  int CallBackPreview(int callbackWindow, void *buffer, int size, int rowOrder) {
    return acquisition_.CallBackPreview(callbackWindow, buffer, size, rowOrder);
  }
  int StartPreview() { return acquisition_.StartPreview(); }
  int StopPreview() { return acquisition_.StopPreview(); }
  int Close() { return acquisition_.Close(); }
  int Capture() { return acquisition_.Capture(); }
  int SnapShot(void *buffer, int size, int rowOrder) {
    return acquisition_.SnapShot(buffer, size, rowOrder);
  }
  int Trigger(int callbackWindow, void *buffer, int size, int rowOrder) {
    return acquisition_.Trigger(callbackWindow, buffer, size, rowOrder);
  }
  int GetImage(void *buffer, int size, int rowOrder) {
    return acquisition_.GetImage(buffer, size, rowOrder);
  }

  // Settings dialogs, modal on the calling thread.
  int SetAnalogDlg(int ownerWindow);
  int SetImageDlg(int ownerWindow);
  int SetCameraDlg(int ownerWindow);

  // Configuration files: the records of the last file loaded are kept.
  int LoadConfigFile(const char *path);
  int LoadConfigFileW(const char16_t *path);

  // Still images of the current picture.
  int SaveImage(const char *fileName, int format);
  int SaveImageW(const char16_t *fileName, int format);

  // AVI recording of the processed pictures (recording.h, camera_recorder.h).
  int Record(const char *fileName, int duration, int showWindow);
  int RecordW(const char16_t *fileName, int duration, int showWindow);
  CameraRecorder &Recorder() { return recorder_; }

  // The acquisition, for a benchmark that waits on finished pictures.
  Acquisition &Frames() { return acquisition_; }

 private:
  // AcquisitionHost.
  bool hasDevice() const override { return device_ != nullptr; }
  std::recursive_mutex &deviceSetupLock() override { return deviceSetupLock_; }
  bool prepare() override;
  FrameSource &frames() override { return *frameSource_; }
  FramePipeline &pipeline() override { return pipeline_; }
  void claimCamera() override;
  void releaseCamera() override;
  int waitTimeMs() const override { return waitTime_; }
  PreviewPlacement previewPlacement() const override;
  PreviewImageSize previewImageSize() const override;
  void stopRecording() override { recorder_.Stop(); }

  // Teardown in reverse order of the open sequence.
  void Teardown();

  int noDevice() { return fail(*this, ErrorCode::NoDevice); }
  using SetupGuard = std::lock_guard<std::recursive_mutex>;
  using SensorSettingsGuard = std::lock_guard<std::recursive_mutex>;
  // Sends the region and subsample; false when the sensor refused the
  // window or the frames it would deliver do not have the image size.
  bool applyRegion(const VideoFormat &format);
  // Validates, applies and, when either fails, raises "invalid format".
  bool applyFormat(const VideoFormat &format);
  void sendAnalogSettings();
  void loadCameraSettings(int cameraNumber);
  void saveCameraSettings(int cameraNumber);
  VideoFormat format() const;
  // The open sequence's loads of the stored size preset (validated and sent
  // to the device, full frame when invalid) and of the format values; the
  // camera dialog runs them again after OK.
  VideoFormat loadStoredGeometry(int number);
  void loadStoredFormatValues(int number);
  // Saves the finished picture of the current colour mode under the frame
  // lock; `requireFrame` refuses before the first processed frame.
  int saveCurrentPicture(const char *fileName, int format, bool requireFrame);

  platform::SettingsStore &store_;
  ErrorHistory errors_;
  std::unique_ptr<device::ClaimTable> claims_;
  const std::int32_t claimant_;
  std::unique_ptr<device::CPelnikR5MLXSdk> device_;
  // Guards the device object's set-up (selected camera and path, presence
  // table, window, frame geometry and buffers, sample width) against
  // application threads reconfiguring it at once, and against a
  // reconfiguration under a single-frame read or a starting or stopping
  // acquisition (see AcquisitionHost). Order: acquisition control lock, this,
  // sensor settings lock, frame lock; never taken under the frame lock or by
  // the acquisition thread.
  std::recursive_mutex deviceSetupLock_;
  // Guards the analog record and the sensor settings sent from it (gain,
  // exposure, mirrors), which change nothing a frame read depends on: the
  // settings calls take only this, so they never queue behind a snapshot's
  // read or a stop that hold the set-up lock. Taken after the set-up lock,
  // never under the frame lock or by the acquisition thread.
  std::recursive_mutex sensorSettingsLock_;
  std::unique_ptr<DeviceSensorControl> sensor_;
  std::unique_ptr<DeviceFrameSource> frameSource_;
  CameraPipeline pipeline_;

  mutable std::mutex formatLock_;  // guards format_
  VideoFormat format_;
  FilterSettings filter_;
  AnalogSettings analog_;
  mutable std::mutex exposureModelLock_;  // guards exposure_
  ExposureModel exposure_;
  AtomicInt colourMode_{0};
  AtomicInt waitTime_{10};
  AtomicInt clock_{0};
  AtomicInt cameraNumber_{0};

  device::ConfigurationList configuration_;

  mutable std::mutex placementLock_;  // guards placement_
  PreviewPlacement placement_{0, 0, 0, kSensorWidth, kSensorHeight};
  std::unique_ptr<PreviewSurface> preview_;

  // Last: its thread is stopped before anything it uses goes away.
  Acquisition acquisition_;
  // After the acquisition it reads pictures from, so it goes first.
  CameraRecorder recorder_{acquisition_, pipeline_, errors_};
};

}  // namespace pelnik
