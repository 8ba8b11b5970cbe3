#pragma once
// The camera's nine image buffers and the road of one frame through them:
// the raw buffer of the colour mode fixed by the last prepare, the filter
// chain, and the output buffer that holds the finished picture.
#include <array>
#include <cstddef>
#include <memory>

#include "camera/acquisition.h"
#include "camera/camera_chain_host.h"
#include "camera/camera_settings.h"
#include "camera/colour_modes.h"
#include "camera/sensor_control.h"
#include "camera/video_format.h"
#include "imaging/chain.h"
#include "imaging/image_buffer.h"

namespace pelnik::device {
class CPelnikR5MLXSdk;
}

namespace pelnik {

class CameraPipeline final : public FramePipeline {
 public:
  enum Buffer : std::size_t {
    kRaw8,
    kRaw16,
    kColour24,
    kColour32,
    kColour48,
    kColour64,
    kBufferCount
  };

  CameraPipeline(FilterSettings &filter, AnalogSettings &analog);
  ~CameraPipeline() override;

  // The device the frames come from and the sensor the automatic iris
  // drives; detach before they go away.
  void attach(device::CPelnikR5MLXSdk &device, SensorControl &sensor);
  void detach();
  // The listener of what the chain changes by itself (an open settings
  // dialog); null detaches. Once it returns the old listener gets no call.
  void attachObserver(ChainObserver *observer) {
    if (chain_) chain_->attachObserver(observer);
  }

  // Creates the buffers the mode needs at the image size and fixes the mode
  // until the next prepare. False when a buffer cannot be created.
  bool prepare(const ColourMode &mode, ImageSize size);

  // FramePipeline.
  bool receiveContinuousFrame() override;
  bool receiveSingleFrame() override;
  void process() override;
  int rawWidth() const override;
  int rawHeight() const override;
  int outputBits() const override;
  PictureRows outputRows() const override;

  // The colour mode fixed by the last prepare (none before the first).
  const std::optional<ColourMode> &preparedMode() const { return mode_; }
  // The finished picture of the prepared mode (null before the first prepare).
  const CImageBuffer *output() const;
  const CImageBuffer &buffer(Buffer which) const { return buffers_[which]; }
  // The buffer that holds the finished picture of a colour mode.
  const CImageBuffer &outputOf(const ColourMode &mode) const;

 private:
  CImageBuffer *rawBuffer();
  const CImageBuffer *rawBuffer() const;
  CImageBuffer *outputBuffer();
  // Whether the device's frames are the raw buffer's size and sample width.
  bool deviceMatchesRaw() const;
  // The packed window just written into the raw buffer, moved to its stride.
  void restrideRaw();

  FilterSettings &filter_;
  AnalogSettings &analog_;
  device::CPelnikR5MLXSdk *device_ = nullptr;
  std::unique_ptr<CameraChainHost> chainHost_;
  std::unique_ptr<FilterChain> chain_;
  std::array<CImageBuffer, kBufferCount> buffers_;
  std::optional<ColourMode> mode_;
};

}  // namespace pelnik
