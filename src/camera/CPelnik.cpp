#include "camera/CPelnik.h"

namespace pelnik {

namespace {

constexpr int kNoDevice = 1;
constexpr int kInvalidArgument = 9;
constexpr int kMemoryOrBuffer = 5;
constexpr int kDeviceIo = 6;

}  // namespace

CPelnik::CPelnik() : claimant_(device::ClaimTable::newClaimantIdentity()) {}

CPelnik::~CPelnik() { Teardown(); }

int CPelnik::Open(int ownerWindow) {
  claims_ = device::ClaimTable::open();
  if (!claims_) {
    // The owner window is not stored yet, so nothing is posted.
    RaiseError(kMemoryOrBuffer);
    return 0;
  }
  device_ = device::CPelnikR5MLXSdk::Create();
  errors_.setOwnerWindow(ownerWindow);
  if (!device_) {
    RaiseError(kMemoryOrBuffer);
    return 0;
  }
  return 1;
}

void CPelnik::Teardown() {
  if (device_) {
    device_->StopStreaming();
    device_->CloseFrameReader();
    ReleaseClaim(device_->GetDeviceNumber());
  }
  device_.reset();
  claims_.reset();
}

bool CPelnik::IsCameraClaimed(int n) const {
  return claims_ && claims_->isClaimedByOther(n, claimant_);
}

int CPelnik::ClaimCamera(int n) { return claims_ ? claims_->claim(n, claimant_) : 0; }

int CPelnik::ReleaseClaim(int n) { return claims_ ? claims_->release(n, claimant_) : 0; }

int CPelnik::ReadRegister(int reg, int *flag) {
  if (flag) *flag = 0;
  if (!device_) {
    RaiseError(kNoDevice);
    return 0;
  }
  std::uint16_t value = 0;
  if (!device_->ReadSensorRegister(static_cast<std::uint8_t>(reg), value)) {
    RaiseError(kDeviceIo);
    return 0;
  }
  if (flag) *flag = 1;
  return value;
}

int CPelnik::WriteRegister(int reg, int value) {
  if (!device_) {
    RaiseError(kNoDevice);
    return 0;
  }
  if (!device_->WriteSensorRegister(static_cast<std::uint8_t>(reg), value)) {
    RaiseError(kDeviceIo);
    return 0;
  }
  return 1;
}

int CPelnik::ReadSromID(int index, int *flag) {
  if (flag) *flag = 0;
  std::uint8_t value = 0;
  if (!device_ || !device_->ReadSromID(static_cast<std::uint8_t>(index), value)) {
    PostNotice(kNoDevice);
    return 0;
  }
  if (flag) *flag = 1;
  return value;
}

int CPelnik::WriteSromID(int index, int value) {
  if (!device_ ||
      !device_->WriteSromID(static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(value))) {
    PostNotice(kNoDevice);
    return 0;
  }
  return 1;
}

int CPelnik::GetIOPort(unsigned char *value) {
  if (!value) {
    PostNotice(kInvalidArgument);
    return 0;
  }
  if (!device_) {
    PostNotice(kNoDevice);
    return 0;
  }
  std::uint8_t port = 0;
  // A failed read leaves the caller's byte as it was.
  if (!device_->ReadFpgaRegister(device::reg::kFpgaIoPort, port)) return 0;
  *value = port;
  return 1;
}

int CPelnik::SetIOPort(int value) {
  if (!device_) {
    PostNotice(kNoDevice);
    return 0;
  }
  return device_->WriteFpgaRegister(device::reg::kFpgaIoPort, static_cast<std::uint8_t>(value));
}

}  // namespace pelnik
