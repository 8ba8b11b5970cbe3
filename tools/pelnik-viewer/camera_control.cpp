#include "camera_control.h"

#include <cctype>
#include <cstdlib>

#include "PelnikErrors.h"

namespace viewer {

namespace {

constexpr int kNameSlots = 10;
constexpr int kNameSlotBytes = 256;
// Records until stopped.
constexpr int kRecordUntilStopped = -1;

}  // namespace

CameraControl::CameraControl() : messages_(PelnikMsg_CreateWindow()) {
  handle_ = Pelnik_Initialize(messages_);
}

CameraControl::~CameraControl() {
  if (handle_ != 0) {
    Pelnik_Close(handle_);
    Pelnik_Release(handle_);
  }
  PelnikMsg_DestroyWindow(messages_);
}

std::vector<CameraEntry> CameraControl::cameras() {
  std::vector<char> names(kNameSlots * kNameSlotBytes, '\0');
  std::vector<CameraEntry> found;
  if (Pelnik_EnumDevice(handle_, names.data()) <= 0) return found;
  for (int slot = 0; slot < kNameSlots; ++slot) {
    const char *name = names.data() + slot * kNameSlotBytes;
    if (!*name) continue;
    // Names end in the camera's number counted from 1.
    std::string text(name);
    std::size_t digits = text.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(text[digits - 1]))) --digits;
    const int number =
        digits < text.size() ? std::atoi(text.c_str() + digits) - 1 : static_cast<int>(slot);
    found.push_back({number, text});
  }
  return found;
}

bool CameraControl::start(const PreviewArea &area) {
  area_ = area;
  if (Pelnik_SetPreviewWindow(handle_, static_cast<int>(area.parent), area.x, area.y, area.width,
                              area.height) != 1)
    return false;
  running_ = Pelnik_CallBackPreview(handle_, messages_, nullptr, 0, 1) == 1;
  return running_;
}

void CameraControl::stop() {
  if (recording_) stopRecording();
  Pelnik_StopPreview(handle_);
  running_ = false;
}

bool CameraControl::whileStopped(bool (CameraControl::*change)(int), int value) {
  const bool wasRunning = running_;
  if (wasRunning) stop();
  const bool changed = (this->*change)(value);
  if (wasRunning) start(area_);
  return changed;
}

bool CameraControl::selectCamera(int number) {
  return whileStopped(&CameraControl::applyCamera, number);
}

bool CameraControl::setColourMode(int bits) {
  return whileStopped(&CameraControl::applyColourMode, bits);
}

bool CameraControl::setSubsample(int value) {
  return whileStopped(&CameraControl::applySubsample, value);
}

bool CameraControl::snapshot(const std::string &path) {
  return Pelnik_SaveImage(handle_, path.c_str(), PELNIK_FILE_PNG) == 1;
}

bool CameraControl::startRecording(const std::string &path) {
  if (recording_) return false;
  recording_ = Pelnik_Record(handle_, path.c_str(), kRecordUntilStopped, 0) == 1;
  return recording_;
}

void CameraControl::stopRecording() {
  if (!recording_) return;
  recording_ = false;
  Pelnik_StopPreview(handle_);
  if (running_) start(area_);
}

int CameraControl::takeMessages(std::vector<int> &errors) {
  int rate10 = -1;
  PelnikMsg m{};
  while (PelnikMsg_Get(messages_, &m, 0) == 1) {
    if (m.message == PELNIK_WM_FRAME && m.wParam != 0) {
      const auto *info = reinterpret_cast<const PelnikFrameInfo *>(m.wParam);
      rate10 = __atomic_load_n(&info->frameRate10, __ATOMIC_RELAXED);
    } else if (m.message == PELNIK_WM_FRAME || m.message == PELNIK_WM_ERROR) {
      errors.push_back(static_cast<int>(m.lParam));
    }
  }
  return rate10;
}

std::string errorWords(int code) {
  char text[160];
  return PelnikErrorDescribe(code, text, sizeof text);
}

std::string CameraControl::lastErrors() {
  // The newest code is the failure; older ones came before it.
  std::string text;
  for (int code = Pelnik_GetLastError(handle_); code != 0; code = Pelnik_GetLastError(handle_))
    text += (text.empty() ? "" : "; after ") + errorWords(code);
  return text.empty() ? errorWords(PELNIK_ERR_NONE) : text;
}

}  // namespace viewer
