#include "camera/camera_pipeline.h"

#include "device/CPelnikR5MLXSdk.h"
#include "device/device_status.h"
#include "imaging/conversion_kernels.h"
#include "platform/debug_log.h"

namespace pelnik {

namespace {

// The buffers each colour mode uses, output buffer last.
struct ModeBuffers {
  CameraPipeline::Buffer raw;
  CameraPipeline::Buffer colour[2];
  int colourCount;
  CameraPipeline::Buffer output;
};

ModeBuffers buffersOf(const ColourMode &mode) {
  using P = CameraPipeline;
  switch (mode.reportedBits) {
    case 8:
      return {P::kRaw8, {P::kColour24}, 1, P::kRaw8};
    case 10:
      return {P::kRaw16, {P::kRaw8}, 1, P::kRaw16};
    case 24:
      return {P::kRaw8, {P::kColour24}, 1, P::kColour24};
    case 32:
      return {P::kRaw8, {P::kColour24, P::kColour32}, 2, P::kColour32};
    case 42:
      return {P::kRaw16, {P::kColour24, P::kColour48}, 2, P::kColour48};
    default:
      return {P::kRaw16, {P::kColour24, P::kColour64}, 2, P::kColour64};
  }
}

int bitCountOf(CameraPipeline::Buffer buffer) {
  switch (buffer) {
    case CameraPipeline::kRaw8:
      return 8;
    case CameraPipeline::kRaw16:
      return 16;
    case CameraPipeline::kColour24:
      return 24;
    case CameraPipeline::kColour32:
      return 32;
    case CameraPipeline::kColour48:
      return 48;
    default:
      return 64;
  }
}

}  // namespace

CameraPipeline::CameraPipeline(FilterSettings &filter, AnalogSettings &analog)
    : filter_(filter), analog_(analog) {}

CameraPipeline::~CameraPipeline() = default;

void CameraPipeline::attach(device::CPelnikR5MLXSdk &device, SensorControl &sensor) {
  device_ = &device;
  chainHost_ = std::make_unique<CameraChainHost>(filter_, analog_, sensor);
  chain_ = std::make_unique<FilterChain>(*chainHost_, *chainHost_);
}

void CameraPipeline::detach() {
  chain_.reset();
  chainHost_.reset();
  device_ = nullptr;
  for (CImageBuffer &buffer : buffers_) buffer.Release();
  mode_.reset();
}

bool CameraPipeline::prepare(const ColourMode &mode, ImageSize size) {
  const ModeBuffers used = buffersOf(mode);
  mode_.reset();
  auto create = [&](Buffer which) {
    return buffers_[which].Create(size.width, size.height, bitCountOf(which)) != 0;
  };
  if (!create(used.raw)) return false;
  for (int i = 0; i < used.colourCount; ++i)
    if (!create(used.colour[i])) return false;
  mode_ = mode;
  return true;
}

CImageBuffer *CameraPipeline::rawBuffer() {
  if (!mode_) return nullptr;
  return &buffers_[buffersOf(*mode_).raw];
}

const CImageBuffer *CameraPipeline::rawBuffer() const {
  if (!mode_) return nullptr;
  return &buffers_[buffersOf(*mode_).raw];
}

CImageBuffer *CameraPipeline::outputBuffer() {
  if (!mode_) return nullptr;
  return &buffers_[buffersOf(*mode_).output];
}

const CImageBuffer &CameraPipeline::outputOf(const ColourMode &mode) const {
  return buffers_[buffersOf(mode).output];
}

const CImageBuffer *CameraPipeline::output() const {
  if (!mode_) return nullptr;
  return &buffers_[buffersOf(*mode_).output];
}

bool CameraPipeline::deviceMatchesRaw() const {
  const CImageBuffer *raw = rawBuffer();
  if (!device_ || !raw || raw->IsEmpty()) return false;
  const device::FrameGeometry &geometry = device_->Geometry();
  return geometry.imageWidth == raw->Width() && geometry.imageHeight == raw->Height() &&
         device_->SampleBytes() == raw->BytesPerPixel() &&
         device_->PackedWindowBytes() <= raw->ByteSize();
}

void CameraPipeline::restrideRaw() {
  CImageBuffer &raw = *rawBuffer();
  if (raw.Stride() == raw.Width() * raw.BytesPerPixel()) return;
  raw.ApplyKernel(raw.BitCount() == 8 ? kernels::restride8 : kernels::restride16, raw, nullptr, 0,
                  0);
}

bool CameraPipeline::receiveContinuousFrame() {
  if (!deviceMatchesRaw()) return false;
  CImageBuffer &raw = *rawBuffer();
  if (device_->FetchFrame(raw.Pixels(), raw.ByteSize()) != device::kStatusOk) return false;
  restrideRaw();
  return true;
}

bool CameraPipeline::receiveSingleFrame() {
  if (!deviceMatchesRaw()) return false;
  CImageBuffer &raw = *rawBuffer();
  if (device_->FetchSingleFrame(raw.Pixels(), raw.ByteSize()) != device::kStatusOk) return false;
  restrideRaw();
  return true;
}

void CameraPipeline::process() {
  if (!chain_ || !mode_) {
    PELNIK_DEBUG_LOG(platform::DebugArea::Chain, "chain: no chain or colour mode; frame left raw");
    return;
  }
  // One snapshot per frame: each setting is seen before or after a
  // concurrent change, never half-way.
  ChainSettings settings;
  settings.filter = filter_.snapshot();
  settings.colourMode = mode_->index;
  settings.mirrorV = analog_.mirrorV;
  settings.mirrorH = analog_.mirrorH;
  settings.autoIrisMode = analog_.autoIrisMode;
  ChainBuffers buffers;
  buffers.raw8 = &buffers_[kRaw8];
  buffers.raw16 = &buffers_[kRaw16];
  buffers.colour24 = &buffers_[kColour24];
  buffers.colour32 = &buffers_[kColour32];
  buffers.colour48 = &buffers_[kColour48];
  buffers.colour64 = &buffers_[kColour64];
  PELNIK_DEBUG_LOG(platform::DebugArea::Chain,
                   "chain: frame %dx%d in colour mode %d, auto iris mode %d", rawWidth(),
                   rawHeight(), static_cast<int>(settings.colourMode),
                   static_cast<int>(settings.autoIrisMode));
  chain_->run(settings, buffers);
}

int CameraPipeline::rawWidth() const {
  const CImageBuffer *raw = rawBuffer();
  return raw ? raw->Width() : 0;
}

int CameraPipeline::rawHeight() const {
  const CImageBuffer *raw = rawBuffer();
  return raw ? raw->Height() : 0;
}

int CameraPipeline::outputBits() const { return mode_ ? mode_->outputBits : 0; }

PictureRows CameraPipeline::outputRows() const {
  const CImageBuffer *picture = output();
  if (!picture || picture->IsEmpty()) return {};
  return {picture->Pixels(), picture->Stride(), picture->Height()};
}

}  // namespace pelnik
