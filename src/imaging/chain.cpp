#include "imaging/chain.h"

#include <algorithm>
#include <cstring>

#include "imaging/auto_iris.h"
#include "imaging/chain_demosaic.h"
#include "imaging/conversion_kernels.h"
#include "imaging/filter_kernels.h"
#include "imaging/filter_params.h"
#include "imaging/filter_tables.h"
#include "imaging/image_buffer.h"

namespace pelnik {

namespace {

enum Layout { kGray8, kGray16, kColour8, kColour16 };

// The significant bits of the camera's 16-bit samples.
constexpr int kSixteenBitDepth = 10;

// One kernel per stage and sample layout.
struct StageKernels {
  Kernel hue;
  Kernel gamma;
  Kernel contrast;
  Kernel sharpness;
  Kernel brightness;
};

constexpr StageKernels kStageKernels[] = {
    {nullptr, kernels::gammaGray8, kernels::contrast8, kernels::sharpness8, kernels::brightness8},
    {nullptr, kernels::gamma16, kernels::contrast16, kernels::sharpness16, kernels::brightness16},
    {kernels::hueSaturation8, kernels::gammaColour8, kernels::contrast8, kernels::sharpness8,
     kernels::brightness8},
    {kernels::hueSaturation16, kernels::gamma16, kernels::contrast16, kernels::sharpness16,
     kernels::brightness16},
};

// The working raw picture and the output buffer of a colour mode.
struct ModeBuffers {
  CImageBuffer *raw;
  CImageBuffer *output;
  Layout layout;
  int bitDepth;  // significant bits of a sample
};

bool modeBuffers(int colourMode, const ChainBuffers &b, ModeBuffers &mode) {
  switch (colourMode) {
    case 0:
      mode = {b.raw8, b.raw8, kGray8, 8};
      return true;
    case 1:
      mode = {b.raw16, b.raw16, kGray16, kSixteenBitDepth};
      return true;
    case 2:
      mode = {b.raw8, b.colour24, kColour8, 8};
      return true;
    case 3:
      mode = {b.raw8, b.colour32, kColour8, 8};
      return true;
    case 4:
      mode = {b.raw16, b.colour48, kColour16, kSixteenBitDepth};
      return true;
    case 5:
      mode = {b.raw16, b.colour64, kColour16, kSixteenBitDepth};
      return true;
    default:
      return false;
  }
}

// Settings from a hand-edited store can lie outside what the setters
// accept; the stages' arithmetic is defined only inside those ranges.
ChainSettings normalised(const ChainSettings &given) {
  ChainSettings s = given;
  for (const FilterSlotInfo &info : filterSlotTable()) {
    if (!info.chainHolds) continue;
    auto &value = s.filter[static_cast<std::size_t>(info.slot)];
    value = info.setterRange.clamp(value);
  }
  return s;
}

GrayBlock grayBlockOf(const ChainSettings &s, int bitDepth) {
  GrayBlock b;
  b.bayerMode =
      bayer::effectiveMode(s.slot(filter_slot::kBayerMode), s.mirrorV != 0, s.mirrorH != 0);
  b.gainR = s.slot(filter_slot::kGrayGainR);
  b.gainG1 = s.slot(filter_slot::kGrayGainR + 1);
  b.gainG2 = s.slot(filter_slot::kGrayGainR + 2);
  b.gainB = s.slot(filter_slot::kGrayGainR + 3);
  b.offsetR = s.slot(filter_slot::kGrayOffsetR);
  b.offsetG1 = s.slot(filter_slot::kGrayOffsetR + 1);
  b.offsetG2 = s.slot(filter_slot::kGrayOffsetR + 2);
  b.offsetB = s.slot(filter_slot::kGrayOffsetR + 3);
  b.bitDepth = bitDepth;
  return b;
}

bool sameGeometry(const CImageBuffer &a, const CImageBuffer &b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.BitCount() == b.BitCount();
}

class FrameRun {
 public:
  FrameRun(const ChainSettings &settings, const ModeBuffers &mode, const ChainBuffers &buffers,
           ChainSettingsWriter &writer, ChainNotifier &notifier)
      : s_(settings), mode_(mode), buffers_(buffers), writer_(writer), notifier_(notifier) {}

  void grayStage() {
    switch (s_.slot(filter_slot::kGrayMode)) {
      case 1:
        grayGains();
        break;
      case 2:
        grayThroughColour();
        break;
      default:
        break;
    }
  }

  void colourStage() {
    if (mode_.raw && mode_.output) {
      demosaicStage(s_, *mode_.output, *mode_.raw, writer_, notifier_);
    }
  }

  void filterStages() {
    if (!mode_.output) return;
    CImageBuffer &out = *mode_.output;
    const StageKernels &k = kStageKernels[mode_.layout];
    const int hue = s_.slot(filter_slot::kHue);
    const int saturation = s_.slot(filter_slot::kSaturation);
    if (k.hue && (hue != 0 || saturation != 0)) {
      HueBlock block{hue, 0, saturation, mode_.bitDepth};
      applyWhole(out, k.hue, out, &block);
    }
    const bool gamma = s_.slot(filter_slot::kGamma) != 100;
    const bool contrast = s_.slot(filter_slot::kContrast) != 0;
    if (gamma && contrast) {
      gammaThenContrast();
    } else {
      valueStage(k.gamma, filter_slot::kGamma, 100);
      valueStage(k.contrast, filter_slot::kContrast, 0);
    }
    if (s_.slot(filter_slot::kSharpness) != 0) sharpen(k.sharpness);
    valueStage(k.brightness, filter_slot::kBrightness, 0);
  }

 private:
  void grayGains() {
    if (!mode_.raw) return;
    CImageBuffer &raw = *mode_.raw;
    GrayBlock block = grayBlockOf(s_, mode_.bitDepth);
    const int request = s_.slot(filter_slot::kGrayCalibration);
    if (request != 0) {
      applyWhole(raw, kernels::grayCalibration, raw, &block);
      writer_.storeGrayGains(block.gainR, block.gainG1, block.gainG2, block.gainB);
      notifier_.imageSettingsChanged();
      if (request > 0) writer_.clearGrayCalibrationRequest();
    }
    const bool neutral =
        block.gainR == 128 && block.gainG1 == 128 && block.gainG2 == 128 && block.gainB == 128;
    if (!neutral) {
      applyWhole(raw, mode_.layout == kGray8 ? kernels::grayGain8 : kernels::grayGain16, raw,
                 &block);
    }
  }

  // Gray mode 2 turns the mosaic into luminance through the 24-bit colour
  // buffer. Only 8-bit samples have that path; a 16-bit frame is left as
  // delivered.
  void grayThroughColour() {
    if (mode_.layout != kGray8 || !buffers_.raw8 || !buffers_.colour24) return;
    demosaicStage(s_, *buffers_.colour24, *buffers_.raw8, writer_, notifier_);
    buffers_.raw8->ApplyKernel(kernels::luminance, *buffers_.colour24, nullptr, 0, 0);
  }

  // Gamma and contrast are both per-sample tables: one pass through their
  // composition gives the same samples as the two stages in turn.
  void gammaThenContrast() {
    const int gamma = s_.slot(filter_slot::kGamma);
    const int contrast = s_.slot(filter_slot::kContrast);
    SampleTableBlock block{};
    if (mode_.layout == kGray8 || mode_.layout == kColour8) {
      double exponent = gammaExponent(gamma);
      if (mode_.layout == kColour8) exponent = limitGammaExponent(exponent);
      std::array<std::uint8_t, 256> gammaTable, contrastTable, composed;
      buildGammaTable8(exponent, gammaTable);
      buildContrastTable8(contrast, contrastTable);
      for (int i = 0; i < 256; ++i) composed[i] = contrastTable[gammaTable[i]];
      block.table8 = composed.data();
      applyWhole(*mode_.output, kernels::sampleTable8, *mode_.output, &block);
      return;
    }
    constexpr int kTenBits = 1 << kSixteenBitDepth;
    std::array<std::uint16_t, kTenBits> gammaTable, contrastTable, composed;
    buildGammaTable16(gammaExponent(gamma), kSixteenBitDepth, gammaTable);
    buildContrastTable16(contrast, kSixteenBitDepth, contrastTable);
    for (int i = 0; i < kTenBits; ++i) composed[i] = contrastTable[gammaTable[i]];
    block.table16 = composed.data();
    block.maximum = kTenBits - 1;
    block.above = composed[kTenBits - 1];  // gamma reads larger samples as full scale
    applyWhole(*mode_.output, kernels::sampleTable16, *mode_.output, &block);
  }

  void valueStage(Kernel kernel, int slot, int neutral) {
    const int value = s_.slot(slot);
    if (value == neutral) return;
    ValueBlock block{value, mode_.bitDepth};
    applyWhole(*mode_.output, kernel, *mode_.output, &block);
  }

  void sharpen(Kernel kernel) {
    CImageBuffer &out = *mode_.output;
    CImageBuffer *scratch = buffers_.scratch;
    if (!scratch || out.IsEmpty()) return;
    if (!sameGeometry(*scratch, out) || scratch->IsEmpty()) {
      if (!scratch->CreateLike(&out)) return;
    }
    std::memcpy(scratch->Pixels(), out.Pixels(), out.ByteSize());
    ValueBlock block{s_.slot(filter_slot::kSharpness), mode_.bitDepth};
    applyWhole(out, kernel, *scratch, &block);
  }

  const ChainSettings &s_;
  const ModeBuffers &mode_;
  const ChainBuffers &buffers_;
  ChainSettingsWriter &writer_;
  ChainNotifier &notifier_;
};

}  // namespace

void FilterChain::run(const ChainSettings &given, const ChainBuffers &buffers) {
  const ChainSettings settings = normalised(given);
  ModeBuffers mode{};
  if (!modeBuffers(settings.colourMode, buffers, mode)) return;
  autoIrisStep(settings.autoIrisMode, mode.raw, device_, settings_, notifier_);
  FrameRun frame(settings, mode, buffers, settings_, notifier_);
  if (mode.layout == kGray8 || mode.layout == kGray16) {
    frame.grayStage();
  } else {
    frame.colourStage();
  }
  frame.filterStages();
}

}  // namespace pelnik
