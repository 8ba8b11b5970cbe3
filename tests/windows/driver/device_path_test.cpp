// The SDK's device path under Wine: pelnik_virtdrv.sys, installed as a kernel
// service in the lane's prefix and hosted by winedevice, creates the camera
// device \\.\PNikR5MLX-0 and forwards its requests to a virtual camera that
// serves only the driver's back-end pipe. The SDK's own fallback pipe does not
// exist, so every frame seen here went through CreateFileA / DeviceIoControl
// and the driver.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>.
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "platform/device_wire.h"
#include "platform/win32/driver_transport.h"
#include "support/win32/message_window.h"
#include "virtcam/win32/pipe_server.h"
#include "virtdrv_control.h"

namespace {

namespace wire = pelnik::platform::wire;
using pelnik::platform::kNoDeviceHandle;
using pelnik::platform::win32::DriverTransport;
using pelnik::platform::win32::systemDriverCalls;

constexpr const char *kDevicePath = "\\\\.\\PNikR5MLX-0";

// How long the service manager gets to start or stop the driver.
constexpr DWORD kServiceWaitMs = 20000;

// The driver as a demand-start kernel service, from the .sys beside this
// program, with devices for the cameras in `cameras` (a bit per number; the
// driver's own choice when 0); stopped and deleted again when the test ends.
class DriverService {
 public:
  explicit DriverService(DWORD cameras = 0) {
    manager_ = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager_) {
      error_ = "OpenSCManager " + std::to_string(::GetLastError());
      return;
    }
    remove();  // a run that died before its teardown
    char program[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string path(program, length);
    path = path.substr(0, path.find_last_of('\\') + 1) + "pelnik_virtdrv.sys";
    service_ = ::CreateServiceA(manager_, PELNIK_VIRTDRV_SERVICE, PELNIK_VIRTDRV_SERVICE,
                                SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr,
                                nullptr, nullptr);
    if (!service_) {
      error_ = "CreateService " + path + ": " + std::to_string(::GetLastError());
      return;
    }
    if (cameras) {
      const std::string key =
          std::string("SYSTEM\\CurrentControlSet\\Services\\") + PELNIK_VIRTDRV_SERVICE;
      const LSTATUS set =
          ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), PELNIK_VIRTDRV_CAMERAS_VALUE,
                            REG_DWORD, &cameras, sizeof cameras);
      if (set != ERROR_SUCCESS) {
        error_ = "RegSetKeyValue " + std::to_string(set);
        return;
      }
    }
    if (!::StartServiceA(service_, 0, nullptr) || !waitForState(service_, SERVICE_RUNNING))
      error_ = "StartService " + std::to_string(::GetLastError());
  }
  ~DriverService() {
    if (manager_) {
      remove();
      ::CloseServiceHandle(manager_);
    }
  }
  const std::string &error() const { return error_; }

 private:
  static bool waitForState(SC_HANDLE service, DWORD state) {
    for (DWORD waited = 0; waited < kServiceWaitMs; waited += 10) {
      SERVICE_STATUS status{};
      if (!::QueryServiceStatus(service, &status)) return false;
      if (status.dwCurrentState == state) return true;
      ::Sleep(10);
    }
    return false;
  }
  void remove() {
    SC_HANDLE service =
        service_ ? service_ : ::OpenServiceA(manager_, PELNIK_VIRTDRV_SERVICE, SERVICE_ALL_ACCESS);
    service_ = nullptr;
    if (!service) return;
    SERVICE_STATUS status{};
    if (::ControlService(service, SERVICE_CONTROL_STOP, &status))
      waitForState(service, SERVICE_STOPPED);
    ::DeleteService(service);
    ::CloseServiceHandle(service);
  }

  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
  std::string error_;
};

pelnik::virtcam::CameraOptions testCamera() {
  pelnik::virtcam::CameraOptions options;
  options.sensorTiming = false;
  options.maxFrameRate = 100;
  options.triggerPeriodMs = 40;
  return options;
}

// How many requests the driver has forwarded so far.
std::uint32_t forwardedCount() {
  HANDLE device = ::CreateFileA(kDevicePath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) return 0;
  std::uint32_t count = 0;
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(device, PELNIK_VIRTDRV_COUNT_CODE, nullptr, 0, &count,
                                    sizeof count, &returned, nullptr);
  ::CloseHandle(device);
  return ok && returned == sizeof count ? count : 0;
}

// Threads of this process now (the in-process virtual camera serves each
// pipe connection on a thread of its own).
std::size_t threadCount() {
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  std::size_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
  ::CloseHandle(snapshot);
  return count;
}

bool anyLight(const std::vector<unsigned char> &picture) {
  for (unsigned char v : picture)
    if (v) return true;
  return false;
}

class DriverHostedCamera : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ok()) << server_.error();
    ASSERT_EQ(driver_.error(), "");
  }

  // Served only under the driver's back-end name.
  pelnik::virtcam::win32::PipeServer server_{{0}, testCamera(), PELNIK_VIRTDRV_BACKEND_BASE};
  DriverService driver_;
};

TEST_F(DriverHostedCamera, TheSdkStreamsThroughTheDeviceNotThePipe) {
  // Nothing serves the SDK's fallback pipe: only the device can answer.
  const std::string fallback = pelnik::platform::win32::pipePathOfDevicePath(kDevicePath);
  EXPECT_EQ(::CreateFileA(fallback.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          0, nullptr),
            INVALID_HANDLE_VALUE);
  {
    DriverTransport transport(systemDriverCalls());
    const auto handle = transport.open(kDevicePath);
    ASSERT_NE(handle, kNoDeviceHandle);
    EXPECT_FALSE(transport.isPipe(handle));
    transport.close(handle);
  }
  const std::uint32_t before = forwardedCount();

  pelnik::test::MessageWindow window;
  const int camera = Pelnik_Initialize(window.window());
  ASSERT_NE(camera, 0);
  ASSERT_EQ(Pelnik_SetColorMode(camera, 8), 1) << Pelnik_GetLastError(camera);
  std::vector<unsigned char> picture(std::size_t((Pelnik_Width(camera) + 3) & ~3) *
                                     Pelnik_Height(camera));
  ASSERT_FALSE(picture.empty());
  ASSERT_EQ(Pelnik_SetPreviewWindow(camera, nullptr, 0, 0, 0, 0), 1);

  ASSERT_EQ(Pelnik_CallBackPreview(camera, window.window(), picture.data(), int(picture.size()), 1),
            1)
      << Pelnik_GetLastError(camera);
  const auto continuous = window.waitFor(PELNIK_WM_FRAME, 3);
  Pelnik_StopPreview(camera);
  ASSERT_GE(continuous.size(), 3u);
  for (const MSG &m : continuous) EXPECT_NE(m.wParam, 0u) << "error " << m.lParam;
  EXPECT_TRUE(anyLight(picture));

  window.clear();
  ASSERT_EQ(Pelnik_Trigger(camera, window.window(), picture.data(), int(picture.size()), 1), 1)
      << Pelnik_GetLastError(camera);
  const auto triggered = window.waitFor(PELNIK_WM_FRAME, 1);
  Pelnik_StopPreview(camera);
  ASSERT_GE(triggered.size(), 1u);
  EXPECT_NE(triggered[0].wParam, 0u) << "error " << triggered[0].lParam;

  std::fill(picture.begin(), picture.end(), 0);
  ASSERT_EQ(Pelnik_SnapShot(camera, picture.data(), int(picture.size()), 1), 1)
      << Pelnik_GetLastError(camera);
  EXPECT_TRUE(anyLight(picture));
  Pelnik_Release(camera);

  // Each frame is at least a frame request and an image read.
  EXPECT_GE(forwardedCount() - before, 2u * (continuous.size() + 2));
}

TEST_F(DriverHostedCamera, AnImageReadWithoutAFrameFailsAfterTheTimeOut) {
  server_.camera(0)->setFault(pelnik::virtcam::Fault::Stall, true);
  DriverTransport transport(systemDriverCalls());
  const auto handle = transport.open(kDevicePath);
  ASSERT_NE(handle, kNoDeviceHandle);
  ASSERT_FALSE(transport.isPipe(handle));
  // The buffered time-out request: word 1, then the time-out in ms.
  unsigned char timeout[wire::kTimeoutRequestBytes] = {};
  wire::storeLe32(timeout, 1);
  wire::storeLe32(timeout + 4, 200);
  std::uint32_t returned = 1;
  ASSERT_TRUE(
      transport.control(handle, wire::kCodeTimeout, timeout, sizeof timeout, nullptr, 0, returned));
  // The camera delivers nothing: the read ends, failed, with nothing returned.
  std::uint32_t pipe = wire::kPipeImage;
  std::vector<unsigned char> image(1 << 20);
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(transport.control(handle, wire::kCodePipeIn, &pipe, 4, image.data(),
                                 std::uint32_t(image.size()), returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_GE(::GetTickCount() - start, 150u);
  // The handle still works: a short frame comes back as what it is, and a
  // reply read after an FPGA read command.
  server_.camera(0)->heal();
  server_.camera(0)->setFault(pelnik::virtcam::Fault::ShortNextRead, true);
  pipe = wire::kPipeImage;
  ASSERT_TRUE(transport.control(handle, wire::kCodePipeIn, &pipe, 4, image.data(),
                                std::uint32_t(image.size()), returned));
  EXPECT_GT(returned, 0u);
  EXPECT_LT(returned, image.size());
  pipe = wire::kPipeCommand;
  unsigned char block[wire::kBlockBytes] = {wire::command::kFpgaRead, 0};
  ASSERT_TRUE(
      transport.control(handle, wire::kCodePipeIn, &pipe, 4, block, sizeof block, returned));
  EXPECT_EQ(returned, wire::kBlockBytes);
  pipe = wire::kPipeReply;
  ASSERT_TRUE(
      transport.control(handle, wire::kCodePipeOut, &pipe, 4, block, sizeof block, returned));
  EXPECT_EQ(returned, wire::kBlockBytes);
  transport.close(handle);
}

// Every operation opens the device and closes it again: each closed handle
// must end its connection to the camera, or a long session piles them up.
TEST_F(DriverHostedCamera, ClosedHandlesLeaveNoConnectionBehind) {
  DriverTransport transport(systemDriverCalls());
  const auto probe = [&] {
    const auto handle = transport.open(kDevicePath);
    std::uint32_t pipe = wire::kPipeCommand;
    unsigned char block[wire::kBlockBytes] = {wire::command::kTransferReset};
    std::uint32_t returned = 0;
    const bool ok =
        transport.control(handle, wire::kCodePipeIn, &pipe, 4, block, sizeof block, returned);
    transport.close(handle);
    return ok;
  };
  ASSERT_TRUE(probe());
  ::Sleep(200);
  const std::size_t before = threadCount();
  ASSERT_GT(before, 0u);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(probe()) << i;
  ::Sleep(200);
  EXPECT_LT(threadCount(), before + 10);
}

// The camera stalls; its time-out (3 s) is far beyond what either step below
// may take if the driver does its part.
TEST_F(DriverHostedCamera, AWaitingReadHoldsUpNoOtherHandleAndEndsWhenItsHandleCloses) {
  server_.camera(0)->setFault(pelnik::virtcam::Fault::Stall, true);
  DriverTransport transport(systemDriverCalls());
  const auto waiting = transport.open(kDevicePath);
  ASSERT_NE(waiting, kNoDeviceHandle);
  unsigned char timeout[wire::kTimeoutRequestBytes] = {};
  wire::storeLe32(timeout, 1);
  wire::storeLe32(timeout + 4, 3000);
  std::uint32_t returned = 0;
  ASSERT_TRUE(transport.control(waiting, wire::kCodeTimeout, timeout, sizeof timeout, nullptr, 0,
                                returned));
  std::atomic<bool> readEnded{false};
  std::atomic<bool> readSucceeded{false};
  std::thread reader([&] {
    std::uint32_t pipe = wire::kPipeImage;
    std::vector<unsigned char> image(1 << 20);
    std::uint32_t got = 0;
    readSucceeded = transport.control(waiting, wire::kCodePipeIn, &pipe, 4, image.data(),
                                      std::uint32_t(image.size()), got);
    readEnded = true;
  });
  ::Sleep(100);  // the read is in the driver, waiting for a frame
  const auto other = transport.open(kDevicePath);
  EXPECT_NE(other, kNoDeviceHandle);
  std::uint32_t pipe = wire::kPipeCommand;
  unsigned char block[wire::kBlockBytes] = {wire::command::kTransferReset};
  EXPECT_TRUE(transport.control(other, wire::kCodePipeIn, &pipe, 4, block, sizeof block, returned));
  EXPECT_FALSE(readEnded.load());
  transport.close(other);

  // Closing the waiting handle cancels its read (CancelIoEx) long before the
  // camera would have given up.
  const DWORD closing = ::GetTickCount();
  transport.close(waiting);
  reader.join();
  EXPECT_LT(::GetTickCount() - closing, 1500u);
  EXPECT_FALSE(readSucceeded.load());
}

TEST_F(DriverHostedCamera, StoppingAStalledStreamDoesNotWaitForTheCamerasTimeOut) {
  pelnik::test::MessageWindow window;
  const int camera = Pelnik_Initialize(window.window());
  ASSERT_NE(camera, 0);
  ASSERT_EQ(Pelnik_SetColorMode(camera, 8), 1);
  ASSERT_EQ(Pelnik_SetPreviewWindow(camera, nullptr, 0, 0, 0, 0), 1);
  std::vector<unsigned char> picture(std::size_t((Pelnik_Width(camera) + 3) & ~3) *
                                     Pelnik_Height(camera));
  ASSERT_EQ(Pelnik_CallBackPreview(camera, window.window(), picture.data(), int(picture.size()), 1),
            1)
      << Pelnik_GetLastError(camera);
  ASSERT_GE(window.waitFor(PELNIK_WM_FRAME, 1).size(), 1u);
  server_.camera(0)->setFault(pelnik::virtcam::Fault::Stall, true);
  ::Sleep(200);  // the streaming thread's read now waits in the driver
  const DWORD stopping = ::GetTickCount();
  Pelnik_StopPreview(camera);
  EXPECT_LT(::GetTickCount() - stopping, 1500u);
  Pelnik_Release(camera);
}

TEST(DriverHostedCameras, EachCameraHasItsOwnDevice) {
  pelnik::virtcam::win32::PipeServer server{{0, 2}, testCamera(), PELNIK_VIRTDRV_BACKEND_BASE};
  ASSERT_TRUE(server.ok()) << server.error();
  DriverService driver(0b101);
  ASSERT_EQ(driver.error(), "");
  DriverTransport transport(systemDriverCalls());
  EXPECT_EQ(transport.open("\\\\.\\PNikR5MLX-1"), kNoDeviceHandle);

  pelnik::test::MessageWindow window;
  const int camera = Pelnik_Initialize(window.window());
  ASSERT_NE(camera, 0);
  EXPECT_EQ(Pelnik_SetDeviceNumber(camera, 1), 0);
  ASSERT_EQ(Pelnik_SetDeviceNumber(camera, 2), 1) << Pelnik_GetLastError(camera);
  ASSERT_EQ(Pelnik_SetColorMode(camera, 8), 1);
  std::vector<unsigned char> picture(std::size_t((Pelnik_Width(camera) + 3) & ~3) *
                                     Pelnik_Height(camera));
  ASSERT_EQ(Pelnik_SnapShot(camera, picture.data(), int(picture.size()), 1), 1)
      << Pelnik_GetLastError(camera);
  Pelnik_Release(camera);
  EXPECT_GE(server.camera(2)->framesDelivered(), 1u);
  EXPECT_EQ(server.camera(0)->framesDelivered(), 0u);
}

// A device that exists but whose camera is gone: the SDK must not go round it
// to a virtual camera's pipe of the same name. (Wine hands out the handle
// before the driver answers the open, so there the refusal comes with the
// first transfer; Windows fails the open itself, with an error other than
// "not found".)
TEST(DriverWithoutCamera, ADeviceThatRefusesIsNeverBypassed) {
  DriverService driver;
  ASSERT_EQ(driver.error(), "");
  pelnik::virtcam::win32::PipeServer sdkPipe{{0}, testCamera()};
  ASSERT_TRUE(sdkPipe.ok()) << sdkPipe.error();
  DriverTransport transport(systemDriverCalls());
  const auto handle = transport.open(kDevicePath);
  if (handle != kNoDeviceHandle) {
    EXPECT_FALSE(transport.isPipe(handle));
    std::uint32_t pipe = wire::kPipeCommand;
    unsigned char block[wire::kBlockBytes] = {wire::command::kTransferReset};
    std::uint32_t returned = 0;
    EXPECT_FALSE(
        transport.control(handle, wire::kCodePipeIn, &pipe, 4, block, sizeof block, returned));
    transport.close(handle);
  }
  // The SDK still finds no camera 0, and nothing reached the pipe.
  pelnik::test::MessageWindow window;
  const int camera = Pelnik_Initialize(window.window());
  if (camera) {
    std::vector<unsigned char> picture(std::size_t((Pelnik_Width(camera) + 3) & ~3) *
                                       Pelnik_Height(camera) * 8);
    EXPECT_EQ(Pelnik_SnapShot(camera, picture.data(), int(picture.size()), 1), 0);
    Pelnik_Release(camera);
  }
  EXPECT_TRUE(sdkPipe.camera(0)->protocolLog().empty());
}

}  // namespace
