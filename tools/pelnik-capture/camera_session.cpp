#include "camera_session.h"

#include <strings.h>

#include <array>
#include <cstring>
#include <sstream>

#include "PelnikErrors.h"

namespace capture {
namespace {

struct FilterName {
  const char *name;
  int id;
};

constexpr FilterName kFilterNames[] = {
    {"Brightness", 1},       {"Contrast", 2},       {"Hue", 3},
    {"Saturation", 4},       {"Sharpness", 5},      {"BayerGainRGB", 6},
    {"BayerGainRed", 7},     {"BayerGainGreen", 8}, {"BayerGainBlue", 9},
    {"BayerGainAuto", 10},   {"Gamma", 11},         {"BayerMode", 12},
    {"GlobalGain", 13},      {"ColorGainRed", 14},  {"ColorGainGreen1", 15},
    {"ColorGainGreen2", 16}, {"ColorGainBlue", 17}, {"ExposureTime", 18},
    {"GrayMode", 19},        {"GrayGainR", 20},     {"GrayGainG1", 21},
    {"GrayGainG2", 22},      {"GrayGainB", 23},     {"GrayOffsetR", 24},
    {"GrayOffsetG1", 25},    {"GrayOffsetG2", 26},  {"GrayOffsetB", 27},
};

int outputBits(int colorMode) {
  switch (colorMode) {
    case 8:
      return 8;
    case 10:
      return 16;
    case 24:
      return 24;
    case 32:
      return 32;
    case 42:
      return 48;
    case 58:
      return 64;
    default:
      return 0;
  }
}

}  // namespace

int filterIdentifier(const std::string &name) {
  for (const auto &f : kFilterNames)
    if (strcasecmp(name.c_str(), f.name) == 0) return f.id;
  return 0;
}

std::string fileFailure(const std::string &path, const std::string &sdkErrors) {
  const std::string reason = unwritableReason(path);
  return "cannot write " + path + ": " + (reason.empty() ? sdkErrors : reason);
}

std::string errorText(int code) {
  char text[160];
  return PelnikErrorDescribe(code, text, sizeof text);
}

std::string ErrorTally::describe() const {
  if (byCode.empty()) return "none";
  std::ostringstream out;
  bool first = true;
  for (const auto &[code, count] : byCode) {
    out << (first ? "" : ", ") << count << " x " << errorText(code);
    first = false;
  }
  return out.str();
}

bool ErrorTally::cameraLost() const { return byCode.count(PELNIK_ERR_STOPPED) > 0; }

CameraSession::CameraSession() { handle_ = Pelnik_Initialize(owner_.handle()); }

CameraSession::~CameraSession() {
  if (handle_ != 0) {
    Pelnik_StopPreview(handle_);
    Pelnik_Release(handle_);
  }
}

std::string CameraSession::drainErrors() {
  // The newest code is the failure of the call just made; older ones are
  // its causes or earlier trouble, named after it.
  std::ostringstream out;
  bool first = true;
  for (int code; (code = Pelnik_GetLastError(handle_)) != 0;) {
    out << (first ? "" : "; after ") << errorText(code);
    first = false;
  }
  WindowMessage m;
  while (first && owner_.next(m, 0) == 1)
    if (m.message == PELNIK_WM_ERROR) {
      out << errorText(static_cast<int>(m.lParam));
      first = false;
    }
  return first ? errorText(PELNIK_ERR_NONE) : out.str();
}

bool CameraSession::present(int number) const {
  char name[32] = {};
  return Pelnik_GetDeviceName(handle_, number, name, sizeof name) != 0;
}

void CameraSession::collectNotifications(ErrorTally &tally) {
  WindowMessage m;
  while (owner_.next(m, 0) == 1)
    if (m.message == PELNIK_WM_ERROR) tally.add(static_cast<int>(m.lParam));
}

std::string CameraSession::cameraUnavailable(int number) {
  const std::string errors = drainErrors();
  if (!present(number))
    return "no camera " + std::to_string(number) + " is connected (error " +
           std::to_string(PELNIK_ERR_CAMERA_ABSENT) + ")";
  return "camera " + std::to_string(number) + " cannot be opened: " + errors;
}

namespace {
// Pelnik_GetCameraInfo's record: its size in bytes first, then width, height, ...
std::array<int, 9> cameraInfo(int handle) {
  std::array<int, 9> info{};
  info[0] = static_cast<int>(sizeof(int) * info.size());
  Pelnik_GetCameraInfo(handle, info.data());
  return info;
}
}  // namespace

int CameraSession::sensorWidth() const { return cameraInfo(handle_)[1]; }
int CameraSession::sensorHeight() const { return cameraInfo(handle_)[2]; }

int CameraSession::bitsPerPixel() const { return outputBits(Pelnik_GetColorMode(handle_)); }

int CameraSession::pictureBytes() const {
  const int stride = (Pelnik_Width(handle_) * bitsPerPixel() / 8 + 3) & ~3;
  return stride * Pelnik_Height(handle_);
}

bool CameraSession::configure(const Options &o, std::string &error) {
  auto check = [&](int ok, const std::string &what) {
    if (ok) return true;
    error = what + ": " + drainErrors();
    return false;
  };
  if (o.camera != 0 && !Pelnik_SetDeviceNumber(handle_, o.camera)) {
    error = cameraUnavailable(o.camera);
    return false;
  }
  if (o.colorBits && !check(Pelnik_SetColorMode(handle_, *o.colorBits), "--color")) return false;
  // The command-line tool streams without a preview window (pelnik-viewer shows one).
  Pelnik_SetPreviewWindow(handle_, 0, 0, 0, 0, 0);
  if (o.window) {
    const Window &w = *o.window;
    const int sensorW = sensorWidth(), sensorH = sensorHeight();
    if (!Pelnik_SetCaptureWindowEx(handle_, sensorW, w.x, w.width, sensorH, w.y, w.height)) {
      error = "--window " + std::to_string(w.x) + "," + std::to_string(w.y) + "," +
              std::to_string(w.width) + "," + std::to_string(w.height) +
              ": the region must lie on the " + std::to_string(sensorW) + " x " +
              std::to_string(sensorH) + " sensor (X + W <= " + std::to_string(sensorW) +
              ", Y + H <= " + std::to_string(sensorH) + ", W and H above 0): " + drainErrors();
      return false;
    }
  }
  if (o.subsample && !check(Pelnik_SetSubSample(handle_, *o.subsample), "--subsample"))
    return false;
  if (o.waitTime && !check(Pelnik_SetWaitTime(handle_, *o.waitTime), "--wait-time")) return false;
  if (o.gain && !check(Pelnik_SetGlobalGain(handle_, *o.gain), "--gain")) return false;
  if (o.exposureLines && !check(Pelnik_SetExposureTime(handle_, *o.exposureLines), "--exposure"))
    return false;
  if (o.exposureMicroseconds &&
      !check(Pelnik_SetRealExposureTime(handle_, *o.exposureMicroseconds), "--exposure-us"))
    return false;
  if (o.mirrorV && !check(Pelnik_SetMirrorV(handle_, *o.mirrorV), "--mirror-v")) return false;
  if (o.mirrorH && !check(Pelnik_SetMirrorH(handle_, *o.mirrorH), "--mirror-h")) return false;
  if (o.autoIris && !check(Pelnik_SetAutoIris(handle_, *o.autoIris), "--auto-iris")) return false;
  for (const auto &[name, value] : o.filterValues) {
    const int id = filterIdentifier(name);
    if (id == 0) {
      error = "--set: unknown filter value " + name;
      return false;
    }
    if (!check(Pelnik_SetFilterValue(handle_, id, value), "--set " + name)) return false;
  }
  return true;
}

}  // namespace capture
