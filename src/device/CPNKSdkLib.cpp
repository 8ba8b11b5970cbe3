#include "device/CPNKSdkLib.h"

#include "device/device_status.h"
#include "platform/register_map.h"

namespace pelnik::device {

namespace {

constexpr int kSromReadSettleMs = 6;
constexpr int kSromWriteSettleMs = 10;
constexpr int kSensorWriteSettleMs = 5;

std::uint8_t highByte(unsigned value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t lowByte(unsigned value) { return static_cast<std::uint8_t>(value); }

}  // namespace

CPNKSdkLib::CPNKSdkLib(platform::DeviceTransport &transport, DeviceClock &clock)
    : link_(transport), clock_(clock), streamer_(transport), reader_(transport) {}

CPNKSdkLib::~CPNKSdkLib() {
  // The camera layer stops acquisition first; a run left going would write
  // into the buffers freed below.
  streamer_.stop();
  FreeFrameBuffers();
  reader_.close();
}

int CPNKSdkLib::CopyWindow(std::uint8_t *destination, std::size_t destinationBytes,
                           const std::uint8_t *source, std::size_t sourceBytes) {
  return copyImageWindow(geometry_, SampleBytes(), destination, destinationBytes, source,
                         sourceBytes);
}

int CPNKSdkLib::ConvertLumaChromaRect(std::uint8_t *, const std::uint8_t *, int, int, int, int) {
  return 0;
}
int CPNKSdkLib::ConvertLumaChromaWindow(std::uint8_t *, const std::uint8_t *) { return 0; }
int CPNKSdkLib::CopyInterlacedFields(std::uint8_t *, const std::uint8_t *) { return 0; }

int CPNKSdkLib::SetSensorVariant(int value) {
  variantSelector_ = (value >= 0 && value <= 2) ? value : 1;
  return 1;
}

int CPNKSdkLib::SetPixelWidth(int wide) {
  pixelWidth_ = wide;
  return 1;
}

// ---- presence and selection ----

std::string CPNKSdkLib::composeDevicePath(const std::string &baseName, int n) {
  std::string path = "\\\\.\\" + baseName + "-" + kUnitCharacters[n];
  if (path.size() > kMaxDevicePathLength) path.resize(kMaxDevicePathLength);
  return path;
}

void CPNKSdkLib::ProbeDevices() {
  for (int n = 0; n < kMaxDevices; ++n) {
    ScopedDeviceHandle handle(link_.transport(), composeDevicePath(deviceBaseName_, n));
    present_[static_cast<std::size_t>(n)] = handle.opened();
  }
  // The selected number and its path stay as they are: a probe while a
  // camera is acquiring must not redirect that acquisition's transfers or
  // the release of its claim.
}

int CPNKSdkLib::IsDevicePresent(int n) const {
  return n >= 0 && n < kMaxDevices && present_[static_cast<std::size_t>(n)] ? 1 : 0;
}

void CPNKSdkLib::ResetDefaults() {
  subsampling_ = 0;
  variantSelector_ = 0;
  pixelWidth_ = 0;
  geometry_ = FrameGeometry{1339, 50, 1280, 1040, 10, 1028};
  reader_.close();
}

int CPNKSdkLib::SetDevicePath(int n) {
  if (static_cast<unsigned>(n) > static_cast<unsigned>(kMaxDevices)) return kStatusBadCameraNumber;
  deviceNumber_ = n;
  devicePath_ = composeDevicePath(deviceBaseName_, n);
  return kStatusOk;
}

// ---- SROM ----

bool CPNKSdkLib::exchange(const CommandBlock &request, CommandBlock &reply, RequestCheck check,
                          int settleMs) {
  ScopedDeviceHandle handle(link_.transport(), devicePath_);
  const bool sent = link_.sendCommand(handle.get(), request);
  if (!sent && check == RequestCheck::MustSucceed) return false;
  wait(settleMs);
  link_.readReply(handle.get(), reply);
  const bool ok = link_.readReply(handle.get(), reply);
  wait(settleMs);
  return ok;
}

int CPNKSdkLib::ReadSromByte(std::uint16_t address, std::uint8_t &value) {
  if (address < platform::srom::kIdentityBase) return 0;
  CommandBlock block{cmd::kSromRead,      cmd::kSromSelect,  cmd::kSromReadMode,
                     cmd::kSromReadCount, highByte(address), lowByte(address)};
  // The send and the first reply are not checked; the second reply decides.
  if (!exchange(block, block, RequestCheck::Ignored, kSromReadSettleMs)) return 0;
  value = block.bytes[0];
  return 1;
}

int CPNKSdkLib::ReadSromID(std::uint8_t id, std::uint8_t &value) {
  return ReadSromByte(static_cast<std::uint16_t>(platform::srom::kIdentityBase + id), value);
}

int CPNKSdkLib::WriteSromID(std::uint8_t id, std::uint8_t value) {
  ScopedDeviceHandle handle(link_.transport(), devicePath_);
  const bool sent = link_.sendCommand(
      handle.get(), CommandBlock{cmd::kSromWrite, cmd::kSromSelect, cmd::kSromWriteMode,
                                 highByte(platform::srom::kIdentityBase), id, value});
  wait(kSromWriteSettleMs);
  return sent ? 1 : 0;
}

// ---- registers ----

int CPNKSdkLib::WriteSensorRegister(std::uint16_t reg, int value) {
  const auto word = static_cast<unsigned>(value);
  if (!sendCommand(CommandBlock{cmd::kSensorRegister, cmd::kSensorRegisterSelect,
                                static_cast<std::uint8_t>(lowByte(reg) + cmd::kSensorWrite),
                                highByte(word), lowByte(word)}))
    return 0;
  wait(kSensorWriteSettleMs);
  return 1;
}

int CPNKSdkLib::RequestSensorRegister(std::uint8_t reg) {
  sendCommand(CommandBlock{cmd::kSensorRegister, cmd::kSensorRegisterSelect,
                           static_cast<std::uint8_t>(reg & 0x7F), 0x00, 0x00});
  return 1;
}

int CPNKSdkLib::ReadSensorRegister(std::uint8_t reg, std::uint16_t &value) {
  CommandBlock reply;
  if (!exchange(CommandBlock{cmd::kSensorRegister, cmd::kSensorRegisterSelect,
                             static_cast<std::uint8_t>(reg & 0x7F)},
                reply, RequestCheck::MustSucceed, 0))
    return 0;
  value = static_cast<std::uint16_t>(reply.bytes[0] << 8 | reply.bytes[1]);
  return 1;
}

int CPNKSdkLib::ReadFpgaRegister(std::uint8_t reg, std::uint8_t &value) {
  CommandBlock reply;
  value = 0;
  if (!exchange(CommandBlock{cmd::kFpgaRead, reg}, reply, RequestCheck::MustSucceed, 0)) return 0;
  value = reply.bytes[0];
  return 1;
}

int CPNKSdkLib::WriteFpgaRegister(std::uint8_t reg, std::uint8_t value) {
  return sendCommand(CommandBlock{cmd::kFpgaWrite, reg, value}) ? 1 : 0;
}

// ---- frame transfer ----

int CPNKSdkLib::SetFrameGeometry(int pitch, int xOffset, int imageWidth, int rowsPerFrame,
                                 int firstImageRow, int imageHeight, int bufferCount) {
  const FrameGeometry geometry{pitch,        xOffset,       imageWidth,
                               rowsPerFrame, firstImageRow, imageHeight};
  if (const int status = geometry.check(); status != kStatusOk) return status;
  if (bufferCount < 2) return kStatusTooFewBuffers;
  // The ring is never replaced under a running streaming thread.
  if (streamer_.threadLive()) return kStatusStreaming;
  FreeFrameBuffers();
  ringBufferCount_ = bufferCount;
  geometry_ = geometry;
  transferLength_ = geometry.transferLength();
  if (!buffers_.allocate(transferLength_, bufferCount)) return kStatusNoMemory;
  SendTransferLength();
  return kStatusOk;
}

void CPNKSdkLib::FreeFrameBuffers() { buffers_.release(); }

void CPNKSdkLib::SendTransferLength() {
  const std::uint32_t length = transferLength_;
  sendCommand(CommandBlock{cmd::kTransferLength, lowByte(length), highByte(length),
                           static_cast<std::uint8_t>(length >> 16),
                           static_cast<std::uint8_t>(length >> 24)});
}

std::uint32_t CPNKSdkLib::TransferBytes() const {
  return pixelWidth_ ? 2 * transferLength_ : transferLength_;
}

int CPNKSdkLib::ReadSingleFrame() {
  return reader_.read(devicePath_, buffers_.singleFrame(), TransferBytes());
}

int CPNKSdkLib::FetchSingleFrame(std::uint8_t *destination, std::size_t destinationBytes) {
  if (!destination) return kStatusNoDestination;
  return CopyWindow(destination, destinationBytes, buffers_.singleFrame(), buffers_.bufferBytes());
}

void CPNKSdkLib::CloseFrameReader() { reader_.close(); }

void CPNKSdkLib::ResetTransfer() { sendCommand(CommandBlock{cmd::kTransferReset}); }

int CPNKSdkLib::StartStreaming() {
  if (streamer_.running()) return kStatusStreaming;
  ResetTransfer();
  return streamer_.start(devicePath_, buffers_.ringTable(), TransferBytes());
}

int CPNKSdkLib::WaitFrame() { return streamer_.waitFrame(kFrameWaitLimitMs); }

int CPNKSdkLib::FetchFrame(std::uint8_t *destination, std::size_t destinationBytes) {
  if (!destination) return kStatusNoDestination;
  const int status =
      CopyWindow(destination, destinationBytes, streamer_.heldFrame(), buffers_.bufferBytes());
  streamer_.releaseHeld();
  return status;
}

int CPNKSdkLib::StopStreaming() { return streamer_.stop(); }

void CPNKSdkLib::SetTransferTimeout(int value) {
  ScopedDeviceHandle handle(link_.transport(), devicePath_);
  link_.setImageTimeout(handle.get(), value);
}

}  // namespace pelnik::device
