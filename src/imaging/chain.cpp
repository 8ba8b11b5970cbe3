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
  auto hold = [&](int slot, int low, int high) {
    s.filter[static_cast<std::size_t>(slot)] = std::clamp(s.slot(slot), low, high);
  };
  hold(filter_slot::kBrightness, -255, 255);
  hold(filter_slot::kContrast, -127, 127);
  hold(filter_slot::kHue, -360, 360);
  hold(filter_slot::kSaturation, -255, 255);
  hold(filter_slot::kSharpness, 0, 30);
  hold(filter_slot::kBayerGainRed, 0, 400);
  hold(filter_slot::kBayerGainGreen, 0, 400);
  hold(filter_slot::kBayerGainBlue, 0, 400);
  hold(filter_slot::kGamma, 0, 200);
  hold(filter_slot::kBayerMode, 0, 3);
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

// Gamma then contrast as one table per sample layout; a stage left at its
// neutral value is the identity.
struct SampleTables {
  static constexpr int kTenBits = 1 << kSixteenBitDepth;
  std::array<std::uint8_t, 256> eight;
  std::array<std::uint16_t, kTenBits> sixteen;

  SampleTableBlock of(const ChainSettings &s, Layout layout) {
    const int gamma = s.slot(filter_slot::kGamma);
    const int contrast = s.slot(filter_slot::kContrast);
    SampleTableBlock block{};
    if (layout == kGray8 || layout == kColour8) {
      std::array<std::uint8_t, 256> gammaTable, contrastTable;
      double exponent = gammaExponent(gamma);
      if (layout == kColour8) exponent = limitGammaExponent(exponent);
      buildGammaTable8(exponent, gammaTable);
      buildContrastTable8(contrast, contrastTable);
      for (int i = 0; i < 256; ++i) {
        const int afterGamma = gamma != 100 ? gammaTable[i] : i;
        eight[i] =
            contrast != 0 ? contrastTable[afterGamma] : static_cast<std::uint8_t>(afterGamma);
      }
      block.table8 = eight.data();
      return block;
    }
    std::array<std::uint16_t, kTenBits> gammaTable, contrastTable;
    buildGammaTable16(gammaExponent(gamma), kSixteenBitDepth, gammaTable);
    buildContrastTable16(contrast, kSixteenBitDepth, contrastTable);
    for (int i = 0; i < kTenBits; ++i) {
      const int afterGamma = gamma != 100 ? gammaTable[i] : i;
      sixteen[i] =
          contrast != 0 ? contrastTable[afterGamma] : static_cast<std::uint16_t>(afterGamma);
    }
    block.table16 = sixteen.data();
    block.maximum = kTenBits - 1;
    // Gamma reads larger samples as full scale; contrast alone sends them to it.
    block.above = gamma != 100 ? sixteen[kTenBits - 1] : kTenBits - 1;
    return block;
  }
};

class FrameRun {
 public:
  FrameRun(const ChainSettings &settings, const ModeBuffers &mode, const ChainBuffers &buffers,
           ChainSettingsWriter &writer, ChainNotifier &notifier, ChainStepClock *clock)
      : s_(settings),
        mode_(mode),
        buffers_(buffers),
        writer_(writer),
        notifier_(notifier),
        clock_(clock) {}

  void ended(ChainStep step) {
    if (clock_) clock_->stepEnded(step);
  }

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
    const bool gamma = s_.slot(filter_slot::kGamma) != 100;
    const bool contrast = s_.slot(filter_slot::kContrast) != 0;
    if (k.hue && (hue != 0 || saturation != 0)) {
      HueBlock block{hue, 0, saturation, mode_.bitDepth};
      if (gamma || contrast) {
        // The tables go over each row as hue and saturation leave it.
        SampleTables tables;
        HueTableBlock both{block, tables.of(s_, mode_.layout)};
        applyWhole(out,
                   mode_.layout == kColour16 ? kernels::hueSaturationThenTable16
                                             : kernels::hueSaturationThenTable8,
                   out, &both);
        ended(ChainStep::kHue);
        ended(ChainStep::kTables);
        sharpenAndBrighten(k);
        return;
      }
      applyWhole(out, k.hue, out, &block);
    }
    ended(ChainStep::kHue);
    if (gamma && contrast) {
      gammaThenContrast();
    } else {
      valueStage(k.gamma, filter_slot::kGamma, 100);
      valueStage(k.contrast, filter_slot::kContrast, 0);
    }
    ended(ChainStep::kTables);
    sharpenAndBrighten(k);
  }

 private:
  void sharpenAndBrighten(const StageKernels &k) {
    const int sharpness = s_.slot(filter_slot::kSharpness);
    const int brightness = s_.slot(filter_slot::kBrightness);
    if (sharpness != 0 && brightness != 0 && !mode_.output->IsEmpty()) {
      // Each row is brightened as soon as it is sharpened.
      SharpenBrightenBlock both{{sharpness, mode_.bitDepth}, {brightness, mode_.bitDepth}};
      const bool eight = mode_.layout == kGray8 || mode_.layout == kColour8;
      applyWhole(*mode_.output,
                 eight ? kernels::sharpnessThenBrightness8 : kernels::sharpnessThenBrightness16,
                 *mode_.output, &both);
      ended(ChainStep::kSharpness);
      ended(ChainStep::kBrightness);
      return;
    }
    if (sharpness != 0) sharpen(k.sharpness);
    ended(ChainStep::kSharpness);
    valueStage(k.brightness, filter_slot::kBrightness, 0);
    ended(ChainStep::kBrightness);
  }

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
    SampleTables tables;
    SampleTableBlock block = tables.of(s_, mode_.layout);
    const bool eight = mode_.layout == kGray8 || mode_.layout == kColour8;
    applyWhole(*mode_.output, eight ? kernels::sampleTable8 : kernels::sampleTable16, *mode_.output,
               &block);
  }

  void valueStage(Kernel kernel, int slot, int neutral) {
    const int value = s_.slot(slot);
    if (value == neutral) return;
    ValueBlock block{value, mode_.bitDepth};
    applyWhole(*mode_.output, kernel, *mode_.output, &block);
  }

  // The sharpness kernels keep the few source rows they still need, so the
  // picture is sharpened in place: the same samples as from a whole copy.
  void sharpen(Kernel kernel) {
    CImageBuffer &out = *mode_.output;
    if (out.IsEmpty()) return;
    ValueBlock block{s_.slot(filter_slot::kSharpness), mode_.bitDepth};
    applyWhole(out, kernel, out, &block);
  }

  const ChainSettings &s_;
  const ModeBuffers &mode_;
  const ChainBuffers &buffers_;
  ChainSettingsWriter &writer_;
  ChainNotifier &notifier_;
  ChainStepClock *clock_;
};

}  // namespace

void FilterChain::run(const ChainSettings &given, const ChainBuffers &buffers) {
  const ChainSettings settings = normalised(given);
  ModeBuffers mode{};
  if (!modeBuffers(settings.colourMode, buffers, mode)) return;
  FrameRun frame(settings, mode, buffers, settings_, notifier_, clock_);
  autoIrisStep(settings.autoIrisMode, mode.raw, device_, settings_, notifier_);
  frame.ended(ChainStep::kAutoIris);
  if (mode.layout == kGray8 || mode.layout == kGray16) {
    frame.grayStage();
  } else {
    frame.colourStage();
  }
  frame.ended(ChainStep::kGrayOrDemosaic);
  frame.filterStages();
}

}  // namespace pelnik
