#include "camera/CPelnik.h"

#include <vector>

#include "camera/camera_names.h"
#include "camera/colour_modes.h"
#include "camera/stored_records.h"
#include "output/still_image.h"
#include "platform/clock.h"
#include "platform/debug_log.h"
#include "platform/register_map.h"
#include "platform/text_convert.h"
#include "settings/setting_groups.h"
#include "settings/user_store.h"

namespace pelnik {

namespace {

constexpr int kCameraInfoBytes = 36;
constexpr int kClockChangeSettleMs = 100;

template <class T>
void writeIfSet(T *place, T value) {
  if (place) *place = value;
}

}  // namespace

CPelnik::CPelnik()
    : store_(settings::userStore()),
      claimant_(device::ClaimTable::newClaimantIdentity()),
      pipeline_(filter_, analog_),
      preview_(makeWindowPreview(this)),
      acquisition_(*this, *preview_) {}

CPelnik::~CPelnik() { Teardown(); }

int CPelnik::Open(int ownerWindow) {
  claims_ = device::ClaimTable::open();
  if (!claims_) {
    // The owner window is not stored yet, so nothing is posted.
    return fail(*this, ErrorCode::MemoryOrBuffer);
  }
  device_ = device::CPelnikR5MLXSdk::Create();
  errors_.setOwnerWindow(ownerWindow);
  if (!device_) return fail(*this, ErrorCode::MemoryOrBuffer);
  sensor_ = std::make_unique<DeviceSensorControl>(*device_);
  frameSource_ = std::make_unique<DeviceFrameSource>(*device_);
  pipeline_.attach(*device_, *sensor_);

  const int number = cameraNumber_;
  const VideoFormat opened = loadStoredGeometry(number);
  {
    std::lock_guard<std::mutex> guard(placementLock_);
    placement_ = {0, 0, 0, opened.EH, opened.EV};
  }

  loadCameraSettings(number);
  sendAnalogSettings();
  loadStoredFormatValues(number);
  return 1;
}

VideoFormat CPelnik::loadStoredGeometry(int number) {
  VideoFormat loaded = format();
  settings::SizePreset preset = sizePresetOf(loaded);
  settings::loadSizePreset(store_, number, preset);
  assignSizePreset(loaded, preset);
  if (!applyFormat(loaded)) {
    loaded.resetToFullFrame();
    applyRegion(loaded);
  }
  std::lock_guard<std::mutex> guard(formatLock_);
  format_ = loaded;
  return loaded;
}

void CPelnik::loadStoredFormatValues(int number) {
  settings::FormatValues values{colourMode_, GetSubSample(), waitTime_, clock_};
  settings::loadFormatValues(store_, number, values);
  colourMode_ = values.colorMode;
  waitTime_ = values.waitTime;
  clock_ = values.clock;
  std::lock_guard<std::mutex> guard(formatLock_);
  format_.subSample = values.subSample;
}

void CPelnik::Teardown() {
  if (device_) saveCameraSettings(cameraNumber_);
  acquisition_.Close();
  if (device_) ReleaseClaim(device_->GetDeviceNumber());
  pipeline_.detach();
  frameSource_.reset();
  sensor_.reset();
  device_.reset();
  claims_.reset();
}

// ---- settings groups ----

void CPelnik::loadCameraSettings(int cameraNumber) {
  settings::FilterRecord record = filter_.snapshot();
  settings::loadFilter(store_, cameraNumber, record);
  settings::loadGray(store_, cameraNumber, record);
  filter_.assign(record);
  settings::AnalogValues analog = analogValuesOf(analog_);
  const settings::MirrorState mirrors{device_->MirrorV(), device_->MirrorH()};
  settings::loadAnalog(store_, cameraNumber, analog, mirrors);
  assignAnalogValues(analog_, analog);
}

void CPelnik::saveCameraSettings(int cameraNumber) {
  settings::saveAnalog(store_, cameraNumber, analogValuesOf(analog_));
  const settings::FilterRecord record = filter_.snapshot();
  settings::saveFilter(store_, cameraNumber, record);
  settings::saveGray(store_, cameraNumber, record);
}

void CPelnik::sendAnalogSettings() {
  device_->SetGlobalGain(static_cast<std::uint16_t>(static_cast<int>(analog_.globalGain)));
  device_->SetExposureLines(static_cast<std::uint16_t>(static_cast<int>(analog_.exposureLines)));
  device_->SetMirrorV(analog_.mirrorV);
  device_->SetMirrorH(analog_.mirrorH);
}

// ---- claim table ----

bool CPelnik::IsCameraClaimed(int n) const {
  return claims_ && claims_->isClaimedByOther(n, claimant_);
}

int CPelnik::ClaimCamera(int n) { return claims_ ? claims_->claim(n, claimant_) : 0; }

int CPelnik::ReleaseClaim(int n) { return claims_ ? claims_->release(n, claimant_) : 0; }

void CPelnik::claimCamera() {
  if (device_) ClaimCamera(device_->GetDeviceNumber());
}

void CPelnik::releaseCamera() {
  if (device_) ReleaseClaim(device_->GetDeviceNumber());
}

// ---- sensor and device access ----

int CPelnik::ReadRegister(int reg, int *flag) {
  SetupGuard setup(deviceSetupLock_);
  if (flag) *flag = 0;
  if (!device_) return fail(*this, ErrorCode::NoDevice);
  std::uint16_t value = 0;
  if (!device_->ReadSensorRegister(static_cast<std::uint8_t>(reg), value))
    return fail(*this, ErrorCode::DeviceIo);
  if (flag) *flag = 1;
  return value;
}

int CPelnik::WriteRegister(int reg, int value) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return fail(*this, ErrorCode::NoDevice);
  if (!device_->WriteSensorRegister(static_cast<std::uint8_t>(reg), value))
    return fail(*this, ErrorCode::DeviceIo);
  return 1;
}

// The identity and IO port calls below only announce their failures: a
// notice to the owner window, never a recorded error.
int CPelnik::ReadSromID(int index, int *flag) {
  SetupGuard setup(deviceSetupLock_);
  if (flag) *flag = 0;
  std::uint8_t value = 0;
  if (!device_ || !device_->ReadSromID(static_cast<std::uint8_t>(index), value)) {
    PostNotice(ErrorCode::NoDevice);
    return 0;
  }
  if (flag) *flag = 1;
  return value;
}

int CPelnik::WriteSromID(int index, int value) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_ ||
      !device_->WriteSromID(static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(value))) {
    PostNotice(ErrorCode::NoDevice);
    return 0;
  }
  return 1;
}

int CPelnik::GetIOPort(unsigned char *value) {
  SetupGuard setup(deviceSetupLock_);
  if (!value) {
    PostNotice(ErrorCode::InvalidArgument);
    return 0;
  }
  if (!device_) {
    PostNotice(ErrorCode::NoDevice);
    return 0;
  }
  std::uint8_t port = 0;
  // A failed read leaves the caller's byte as it was.
  if (!device_->ReadFpgaRegister(platform::fpga_reg::kIoPort, port)) return 0;
  *value = port;
  return 1;
}

int CPelnik::SetIOPort(int value) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) {
    PostNotice(ErrorCode::NoDevice);
    return 0;
  }
  return device_->WriteFpgaRegister(platform::fpga_reg::kIoPort, static_cast<std::uint8_t>(value));
}

// ---- camera selection and information ----

namespace {

// Writes the names of the present cameras into 256-character slots and
// empties the slots up to ten; the number of cameras present.
template <class Char, class Convert>
int writeEnumeration(const device::CPelnikR5MLXSdk &device, Char *names, Convert convert) {
  int present = 0;
  for (int n = 0; n < device.GetMaxDevices(); ++n) {
    if (!device.IsDevicePresent(n)) continue;
    ++present;
    Char *slot = names + static_cast<std::size_t>(present - 1) * kNameSlotCharacters;
    writeBoundedName(convert(cameraDisplayName(present)), slot, kNameSlotCharacters);
  }
  for (int k = present; k < kMinimumEnumerationSlots; ++k)
    names[static_cast<std::size_t>(k) * kNameSlotCharacters] = Char{0};
  return present;
}

std::u16string toUtf16(const std::string &name) {
  // The names are ASCII, so the conversion cannot fail.
  return platform::utf8ToUtf16(name).value_or(std::u16string{});
}

}  // namespace

int CPelnik::EnumDevice(char *names) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return noDevice();
  if (!names) return fail(*this, ErrorCode::InvalidArgument);
  // The probe leaves the selection, which a running acquisition uses, alone.
  device_->ProbeDevices();
  return writeEnumeration(*device_, names, [](const std::string &name) { return name; });
}

int CPelnik::EnumDeviceW(char16_t *names) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return noDevice();
  if (!names) return fail(*this, ErrorCode::InvalidArgument);
  return writeEnumeration(*device_, names, toUtf16);
}

namespace {

// The checks both name functions make, in their order; None when the name
// of `number` may be written.
ErrorCode deviceNameRefusal(const device::CPelnikR5MLXSdk &device, int number, bool textMissing,
                            int length) {
  // The name needs its terminator too: a length of 15 cannot hold
  // "PelnikR5M-LX_01". Every number in range has a two-digit name.
  const std::string shortest = cameraDisplayName(1);
  if (textMissing || length < static_cast<int>(shortest.size()) + 1)
    return ErrorCode::InvalidArgument;
  if (number < 0 || number >= device.GetMaxDevices()) return ErrorCode::InvalidArgument;
  if (!device.IsDevicePresent(number)) return ErrorCode::CameraAbsent;
  return ErrorCode::None;
}

}  // namespace

int CPelnik::GetDeviceName(int number, char *text, int length) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return noDevice();
  if (const ErrorCode refusal = deviceNameRefusal(*device_, number, !text, length);
      refusal != ErrorCode::None)
    return fail(*this, refusal);
  return writeBoundedName(cameraDisplayName(number + 1), text, length) ? 1 : 0;
}

int CPelnik::GetDeviceNameW(int number, char16_t *text, int length) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return noDevice();
  if (const ErrorCode refusal = deviceNameRefusal(*device_, number, !text, length);
      refusal != ErrorCode::None)
    return fail(*this, refusal);
  return writeBoundedName(toUtf16(cameraDisplayName(number + 1)), text, length) ? 1 : 0;
}

int CPelnik::SetDeviceNumber(int number) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return noDevice();
  // Selecting replaces the device's frame buffers and handles, which a
  // running acquisition is using; the set-up lock keeps starts, snapshots
  // and other switches out until this one is complete.
  if (acquisition_.isAcquiring()) return fail(*this, ErrorCode::NoDevice);
  SensorSettingsGuard settings(sensorSettingsLock_);
  saveCameraSettings(cameraNumber_);
  if (!device_->IsDevicePresent(number) || device_->SelectDevice(number) != 0)
    return fail(*this, ErrorCode::CameraAbsent);
  loadCameraSettings(number);
  sendAnalogSettings();
  std::uint8_t variant = 0;
  if (device_->ReadSromByte(platform::srom::kSensorVariant, variant)) {
    if (variant == 1) device_->SetSensorVariant(0);
    if (variant == 2) device_->SetSensorVariant(1);
  }
  cameraNumber_ = number;
  return 1;
}

int CPelnik::GetCameraInfo(int *info) {
  if (!device_) return noDevice();
  if (!info) return fail(*this, ErrorCode::InvalidArgument);
  if (info[0] < kCameraInfoBytes) return fail(*this, ErrorCode::MemoryOrBuffer);
  const ValueRange gain = sensor_->gainRange();
  const ValueRange exposure = sensor_->exposureRange();
  const int fields[] = {kSensorWidth,     kSensorHeight,   gain.minimum, gain.maximum, 0, 0,
                        exposure.minimum, exposure.maximum};
  for (std::size_t i = 0; i < std::size(fields); ++i) info[i + 1] = fields[i];
  return 1;
}

// ---- video format ----

VideoFormat CPelnik::format() const {
  std::lock_guard<std::mutex> guard(formatLock_);
  return format_;
}

bool CPelnik::applyRegion(const VideoFormat &format) {
  if (device_->SetWindow(format.EHS, format.EVS, format.EH, format.EV, format.subSample) != 0)
    return false;
  const ImageSize size = format.imageSize();
  const device::FrameGeometry &geometry = device_->Geometry();
  return geometry.imageWidth == size.width && geometry.imageHeight == size.height;
}

bool CPelnik::applyFormat(const VideoFormat &format) {
  if (format.isValid() && applyRegion(format)) return true;
  return fail(*this, ErrorCode::InvalidFormat, false);
}

int CPelnik::SetCaptureWindow(int width, int height) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return noDevice();
  if (acquisition_.isAcquiring()) return fail(*this, ErrorCode::NoDevice);
  VideoFormat changed = format();
  settings::SizePreset preset = sizePresetOf(changed);
  if (settings::findPresetBySize(store_, cameraNumber_, width, height, preset) !=
      settings::PresetLookup::Found)
    return fail(*this, ErrorCode::WindowOrPreset);
  assignSizePreset(changed, preset);
  if (!applyFormat(changed)) {
    changed.resetToFullFrame();
    applyRegion(changed);
  }
  std::lock_guard<std::mutex> guard(formatLock_);
  format_ = changed;
  return 1;
}

int CPelnik::SetCaptureWindowEx(int hTotal, int hStart, int hEffective, int vTotal, int vStart,
                                int vEffective) {
  SetupGuard setup(deviceSetupLock_);
  if (!device_) return noDevice();
  // The frame ring must never be replaced under a running acquisition.
  if (acquisition_.isAcquiring()) return fail(*this, ErrorCode::NoDevice);
  VideoFormat changed = format();
  changed.TH = hTotal;
  changed.TV = vTotal;
  changed.EHS = hStart;
  changed.EH = hEffective;
  changed.EVS = vStart;
  changed.EV = vEffective;
  {
    // Kept even when refused: the next acquisition fails the same way until
    // a valid format is set.
    std::lock_guard<std::mutex> guard(formatLock_);
    format_ = changed;
  }
  return applyFormat(changed) ? 1 : 0;
}

int CPelnik::GetCaptureWindowEx(int *hTotal, int *hStart, int *hEffective, int *vTotal, int *vStart,
                                int *vEffective) {
  const VideoFormat current = format();
  writeIfSet(hTotal, current.TH);
  writeIfSet(hStart, current.EHS);
  writeIfSet(hEffective, current.EH);
  writeIfSet(vTotal, current.TV);
  writeIfSet(vStart, current.EVS);
  writeIfSet(vEffective, current.EV);
  return 1;
}

int CPelnik::Width() { return format().EH; }

int CPelnik::Height() { return format().EV; }

int CPelnik::SetColorMode(int bits) {
  const auto mode = colourModeForBits(bits);
  if (!mode) return fail(*this, ErrorCode::InvalidArgument);
  colourMode_ = mode->index;  // applies at the next prepare
  return 1;
}

int CPelnik::SetSubSample(int value) {
  if (value != 0 && value != 1) return 0;
  std::lock_guard<std::mutex> guard(formatLock_);
  format_.subSample = value;  // applies at the next prepare
  return 1;
}

int CPelnik::GetSubSample() { return format().subSample; }

int CPelnik::SetWaitTime(int milliseconds) {
  if (milliseconds < 0) return 0;
  waitTime_ = milliseconds;
  return 1;
}

// ---- mirrors, automatic iris, exposure ----

int CPelnik::SetMirrorV(int on) {
  SensorSettingsGuard settings(sensorSettingsLock_);
  // Deliberately unlike the horizontal pair: the vertical mirror calls only
  // announce a missing device (a notice), they do not record it.
  if (!device_) return PostNotice(ErrorCode::NoDevice), 0;
  analog_.mirrorV = on != 0 ? 1 : 0;
  if (!device_->SetMirrorV(on != 0)) return fail(*this, ErrorCode::DeviceIo);
  return 1;
}

int CPelnik::GetMirrorV() {
  if (!device_) return PostNotice(ErrorCode::NoDevice), 0;
  return analog_.mirrorV;
}

int CPelnik::SetMirrorH(int on) {
  SensorSettingsGuard settings(sensorSettingsLock_);
  if (!device_) return noDevice();
  analog_.mirrorH = on != 0 ? 1 : 0;
  if (!device_->SetMirrorH(on != 0)) return fail(*this, ErrorCode::DeviceIo);
  return 1;
}

int CPelnik::GetMirrorH() {
  if (!device_) return noDevice();
  return analog_.mirrorH;
}

int CPelnik::SetAutoIris(int mode) {
  // A bad mode is announced, not recorded.
  if (mode < 0 || mode > 2) return PostNotice(ErrorCode::InvalidArgument), 0;
  analog_.autoIrisMode = mode;
  return 1;
}

int CPelnik::GetAutoIris(int *flag) {
  writeIfSet(flag, 1);
  return analog_.autoIrisMode;
}

int CPelnik::GetRealExposureTime(int *flag) {
  writeIfSet(flag, 0);
  if (!device_) return noDevice();
  std::lock_guard<std::mutex> guard(exposureModelLock_);
  const int us = exposure_.microsecondsFor(analog_.exposureLines);
  writeIfSet(flag, 1);
  return us;
}

int CPelnik::SetRealExposureTime(int microseconds) {
  SensorSettingsGuard settings(sensorSettingsLock_);
  if (!device_) return noDevice();
  const auto lines = ExposureModel::linesFor(microseconds);
  if (!lines || !sensor_->exposureRange().contains(*lines))
    return fail(*this, ErrorCode::InvalidArgument);
  analog_.exposureLines = *lines;
  if (!sensor_->writeExposureLines(*lines)) return fail(*this, ErrorCode::DeviceIo);
  return 1;
}

int CPelnik::SetFilterValue(int id, int value) {
  SensorSettingsGuard settings(sensorSettingsLock_);
  if (!device_) return noDevice();
  const FilterResult result = FilterValues(filter_, analog_, *sensor_).set(id, value);
  if (!result.ok()) return fail(*this, result.errorCode);
  return 1;
}

int CPelnik::GetFilterValue(int id, int *flag) {
  SensorSettingsGuard settings(sensorSettingsLock_);
  writeIfSet(flag, 0);
  if (!device_) return noDevice();
  const FilterResult result = FilterValues(filter_, analog_, *sensor_).get(id);
  if (!result.ok()) return fail(*this, result.errorCode);
  writeIfSet(flag, 1);
  return result.value;
}

// ---- acquisition ----

int CPelnik::SetPreviewWindow(int parentWindow, int left, int top, int right, int bottom) {
  if (!device_) return noDevice();
  std::lock_guard<std::mutex> guard(placementLock_);
  placement_ = {parentWindow, left, top, right, bottom};
  return 1;
}

PreviewPlacement CPelnik::previewPlacement() const {
  std::lock_guard<std::mutex> guard(placementLock_);
  return placement_;
}

PreviewImageSize CPelnik::previewImageSize() const {
  const ImageSize size = format().imageSize();
  return {size.width, size.height};
}

bool CPelnik::prepare() {
  const int number = device_->GetDeviceNumber();
  if (!device_->IsDevicePresent(number) || IsCameraClaimed(number))
    return fail(*this, ErrorCode::CameraAbsent, false);
  const VideoFormat current = format();
  if (!current.isValid()) return fail(*this, ErrorCode::InvalidFormat, false);
  const auto mode = colourModeAt(colourMode_);
  if (!mode) return fail(*this, ErrorCode::InvalidFormat, false);
  {
    // Readers of the picture (GetImage, saving) hold the frame lock too.
    platform::RecursiveGuard frame(acquisition_.frameLock());
    if (!pipeline_.prepare(*mode, current.imageSize()))
      return fail(*this, ErrorCode::MemoryOrBuffer, false);
  }

  device_->SetPixelWidth(mode->raw == RawDepth::Bits16 ? 1 : 0);
  std::uint8_t deviceClock = 0;
  const auto wantedClock = static_cast<std::uint8_t>(static_cast<int>(clock_) & 0xFF);
  if (device_->ReadClockMode(deviceClock) && deviceClock != wantedClock) {
    device_->WriteClockMode(wantedClock);
    platform::sleepMs(kClockChangeSettleMs);
  }
  // A window the sensor refuses would leave it delivering frames of the old
  // geometry into buffers sized for the new one.
  if (!applyRegion(current)) return fail(*this, ErrorCode::InvalidFormat, false);
  device_->SetTriggerMode(0);
  SensorSettingsGuard settings(sensorSettingsLock_);
  device_->SetMirrorV(analog_.mirrorV);
  device_->SetMirrorH(analog_.mirrorH);
  device_->SetGlobalGain(static_cast<std::uint16_t>(static_cast<int>(analog_.globalGain)));
  device_->SetExposureLines(static_cast<std::uint16_t>(static_cast<int>(analog_.exposureLines)));
  {
    std::lock_guard<std::mutex> guard(exposureModelLock_);
    exposure_.microsecondsFor(analog_.exposureLines);
  }
  return true;
}

// ---- configuration files ----

int CPelnik::LoadConfigFile(const char *path) {
  if (!path || !*path) return fail(*this, ErrorCode::InvalidArgument);
  return device::configLoadExportResult(configuration_.load(path));
}

int CPelnik::LoadConfigFileW(const char16_t *path) {
  if (!path || !*path) return fail(*this, ErrorCode::InvalidArgument);
  const device::ConfigLoadResult result = configuration_.loadWide(path);
  if (result == device::ConfigLoadResult::PathFailed) raiseError(ErrorCode::FileError);
  return device::configLoadExportResult(result);
}

// ---- still images ----

int CPelnik::saveCurrentPicture(const char *fileName, int format, bool requireFrame) {
  if (requireFrame && !acquisition_.imageAvailable()) return noDevice();
  // The stream waits only for one copy of the picture: the encoder, which
  // can take a second for a PNG, works on the copy outside the frame lock.
  CImageBuffer copy;
  {
    platform::RecursiveGuard frame(acquisition_.frameLock());
    const auto mode = colourModeAt(colourMode_);
    if (!mode) return noDevice();
    const CImageBuffer &picture = pipeline_.outputOf(*mode);
    if (picture.IsEmpty()) return noDevice();
    if (!copy.CopyFrom(picture)) return 0;
  }
  const int saved = output::SaveStillImage(fileName, &copy, format, 10);
  PELNIK_DEBUG_LOG(platform::DebugArea::Output, "still image %s (format %d): %s", fileName, format,
                   saved ? "saved" : "not saved");
  return saved;
}

int CPelnik::SaveImage(const char *fileName, int format) {
  if (!device_) return noDevice();
  if (!fileName || !*fileName) return fail(*this, ErrorCode::InvalidArgument);
  return saveCurrentPicture(fileName, format, true);
}

int CPelnik::SaveImageW(const char16_t *fileName, int format) {
  if (!device_) return noDevice();
  if (!fileName || !*fileName) return fail(*this, ErrorCode::InvalidArgument);
  const auto name = output::stillImageNameFromUtf16(fileName);
  if (!name) return noDevice();
  return saveCurrentPicture(name->c_str(), format, false);
}

}  // namespace pelnik
