#pragma once
// Shared by the camera export tests: message targets, an open camera on an
// embedded virtual camera, and waits for frame messages. The same on Linux
// and Windows: the camera and the message window come from each system's
// test support.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "embedded_cameras.h"
#include "support/message_target.h"
#include "support/process_environment.h"
#include "virtcam/camera_unit.h"

namespace pelnik::test {

inline constexpr unsigned kFrameMessage = PELNIK_WM_FRAME;
inline constexpr unsigned kErrorMessage = PELNIK_WM_ERROR;

// The record a frame message points at, copied field by field. The camera
// rewrites it with the next frame, possibly while the copy is made, so each
// field is read whole.
inline PelnikFrameInfo copyFrameRecord(const PelnikFrameInfo *record) {
  PelnikFrameInfo copy{};
  copy.size = __atomic_load_n(&record->size, __ATOMIC_RELAXED);
  copy.width = __atomic_load_n(&record->width, __ATOMIC_RELAXED);
  copy.height = __atomic_load_n(&record->height, __ATOMIC_RELAXED);
  copy.bitsPerPixel = __atomic_load_n(&record->bitsPerPixel, __ATOMIC_RELAXED);
  copy.frameRate10 = __atomic_load_n(&record->frameRate10, __ATOMIC_RELAXED);
  copy.buffer = __atomic_load_n(&record->buffer, __ATOMIC_RELAXED);
  return copy;
}

// Pops the whole error history, newest first.
inline std::vector<int> popErrors(int handle) {
  std::vector<int> codes;
  for (int code = Pelnik_GetLastError(handle); code != 0; code = Pelnik_GetLastError(handle))
    codes.push_back(code);
  return codes;
}

struct CameraSetup {
  std::vector<int> cameras{0};
  bool sensorTiming = false;  // frames as fast as they can be made
  double maxFrameRate = 0;
  std::shared_ptr<const virtcam::Scene> scene;
};

// One camera object opened against an embedded virtual camera, with an owner
// window; the history and messages of the open are cleared.
class CameraTest : public ::testing::Test {
 protected:
  CameraTest() { forgetStoredSettings(); }
  void startCameras(const CameraSetup &setup = {}) {
    virtcam::CameraOptions camera;
    camera.sensorTiming = setup.sensorTiming;
    camera.maxFrameRate = setup.maxFrameRate;
    camera.scene = setup.scene;
    virtual_ = std::make_unique<EmbeddedCameras>(setup.cameras, camera);
    ASSERT_TRUE(virtual_->ok()) << virtual_->error();
  }
  int openCamera() {
    const int handle = Pelnik_Initialize(owner_.window());
    EXPECT_NE(handle, 0);
    EXPECT_EQ(popErrors(handle), std::vector<int>{}) << "opening raised errors";
    owner_.drain();
    handles_.push_back(handle);
    return handle;
  }
  void SetUp() override {
    startCameras();
    handle_ = openCamera();
  }
  void TearDown() override {
    for (int handle : handles_) Pelnik_Release(handle);
  }
  virtcam::CameraUnit &unit(int camera = 0) { return *virtual_->camera(camera); }

  MessageTarget owner_;
  std::unique_ptr<EmbeddedCameras> virtual_;
  std::vector<int> handles_;
  int handle_ = 0;
};

}  // namespace pelnik::test
