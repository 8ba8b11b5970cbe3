#pragma once
// The generic device object of the camera family: presence and selection of
// a camera, its SROM, register access and frame transfer. Everything that
// talks to the driver goes through here. Results follow the family's rules:
// device status codes where an operation reports a code, 1/0 otherwise.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/device_clock.h"
#include "device/driver_link.h"
#include "device/frame_buffers.h"
#include "device/frame_geometry.h"
#include "device/frame_streamer.h"
#include "device/single_frame_reader.h"

namespace pelnik::device {

// Camera number n is reached as "\\.\PNikR5MLX-" followed by character n.
inline constexpr char kUnitCharacters[] = "0123456789ABCDEFGHIJKLNMOPQRSTUVWXYZ";
inline constexpr int kMaxDevices = 32;
inline constexpr int kMaxDevicePathLength = 127;

// The applied sensor window of the last accepted SetWindow.
struct SensorWindow {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

class CPNKSdkLib {
 public:
  CPNKSdkLib(platform::DeviceTransport &transport, DeviceClock &clock);
  // Releases the frame buffers and the single-frame reader; a streaming run
  // still going is stopped first.
  virtual ~CPNKSdkLib();
  CPNKSdkLib(const CPNKSdkLib &) = delete;
  CPNKSdkLib &operator=(const CPNKSdkLib &) = delete;

  // Slot 0: the image window of a raw frame into `destination`, rows packed;
  // 0, or refused (see copyImageWindow) when either side does not hold it.
  virtual int CopyWindow(std::uint8_t *destination, std::size_t destinationBytes,
                         const std::uint8_t *source, std::size_t sourceBytes);
  // Slots 1 to 3 convert sensor output formats this family's models do not
  // produce (4:2:2 luma/chroma, two-field interlace). Nothing calls them;
  // they do nothing and return 0.
  virtual int ConvertLumaChromaRect(std::uint8_t *, const std::uint8_t *, int, int, int, int);
  virtual int ConvertLumaChromaWindow(std::uint8_t *, const std::uint8_t *);
  virtual int CopyInterlacedFields(std::uint8_t *, const std::uint8_t *);
  // Slot 4: stores 0, 1 or 2 (anything else as 1); returns 1.
  virtual int SetSensorVariant(int value);
  // Slot 5: selects 8-bit (0) or 16-bit raw pixels; returns 1.
  virtual int SetPixelWidth(int wide);

  // Presence and selection.
  // Fills the presence table; the selection is left alone.
  void ProbeDevices();
  int IsDevicePresent(int n) const;
  int GetMaxDevices() const { return kMaxDevices; }
  int GetDeviceNumber() const { return deviceNumber_; }
  const std::string &DevicePath() const { return devicePath_; }
  void ResetDefaults();
  // 0, or kStatusBadCameraNumber (path left alone) for n above 32.
  int SetDevicePath(int n);

  // SROM: the identity area starts at srom::kIdentityBase; lower addresses are refused
  // without a transfer.
  int ReadSromByte(std::uint16_t address, std::uint8_t &value);
  int ReadSromID(std::uint8_t id, std::uint8_t &value);
  int WriteSromID(std::uint8_t id, std::uint8_t value);

  // Register access.
  int WriteSensorRegister(std::uint16_t reg, int value);
  // Sends the read request of a sensor register; returns 1.
  int RequestSensorRegister(std::uint8_t reg);
  // Request plus the two reply reads: the value (high byte in reply byte 0,
  // low byte in reply byte 1) of the second. 1 or 0.
  int ReadSensorRegister(std::uint8_t reg, std::uint16_t &value);
  int ReadFpgaRegister(std::uint8_t reg, std::uint8_t &value);
  int WriteFpgaRegister(std::uint8_t reg, std::uint8_t value);

  // Frame transfer.
  int SetFrameGeometry(int pitch, int xOffset, int imageWidth, int rowsPerFrame, int firstImageRow,
                       int imageHeight, int bufferCount);
  void FreeFrameBuffers();
  void SendTransferLength();
  int ReadSingleFrame();
  int FetchSingleFrame(std::uint8_t *destination, std::size_t destinationBytes);
  void CloseFrameReader();
  void ResetTransfer();
  int StartStreaming();
  int WaitFrame();
  int FetchFrame(std::uint8_t *destination, std::size_t destinationBytes);
  int StopStreaming();
  void SetTransferTimeout(int value);

  // State the camera layer reads.
  const FrameGeometry &Geometry() const { return geometry_; }
  std::uint32_t TransferLength() const { return transferLength_; }
  // Bytes per frame transfer at the current pixel width.
  std::uint32_t TransferBytes() const;
  int SampleBytes() const { return pixelWidth_ ? 2 : 1; }
  // Bytes FetchFrame and FetchSingleFrame write.
  std::size_t PackedWindowBytes() const { return geometry_.packedWindowBytes(SampleBytes()); }
  int PixelWidth() const { return pixelWidth_; }
  int SensorVariant() const { return variantSelector_; }
  int RingBufferCount() const { return ringBufferCount_; }
  const SensorWindow &AppliedWindow() const { return appliedWindow_; }
  int Subsampling() const { return subsampling_; }
  // A streaming run started and not yet collected by StopStreaming.
  bool IsStreaming() const { return streamer_.active(); }
  // The streaming thread still runs (and may write into the ring).
  bool StreamingThreadLive() const { return streamer_.threadLive(); }
  std::uint64_t DeliveredFrames() const { return streamer_.deliveredFrames(); }
  bool FrameReaderOpen() const { return reader_.isOpen(); }

 protected:
  static std::string composeDevicePath(const std::string &baseName, int n);
  void wait(int milliseconds) { clock_.sleepMs(milliseconds); }
  // Opens the device path, sends `block` and closes; the send's result.
  bool sendCommand(const CommandBlock &block) { return link_.sendCommandOnce(devicePath_, block); }
  // A read: `request` on pipe 0, then two replies into one block, of which
  // only the second counts. `settleMs` is waited after the request and
  // after the replies.
  enum class RequestCheck { MustSucceed, Ignored };
  bool exchange(const CommandBlock &request, CommandBlock &reply, RequestCheck check, int settleMs);

  const DriverLink link_;
  DeviceClock &clock_;

  std::int32_t pixelWidth_ = 0;
  SensorWindow appliedWindow_{};
  FrameGeometry geometry_{};
  std::uint32_t transferLength_ = 0;
  FrameBuffers buffers_;
  std::int32_t ringBufferCount_ = 0;
  std::string deviceBaseName_;
  std::int32_t variantSelector_ = 0;
  std::int32_t subsampling_ = 0;
  std::int32_t mirrorH_ = 0;
  std::int32_t mirrorV_ = 0;
  std::array<bool, kMaxDevices> present_{};
  std::int32_t deviceNumber_ = 0;
  FrameStreamer streamer_;
  std::string devicePath_;
  SingleFrameReader reader_;
};

}  // namespace pelnik::device
