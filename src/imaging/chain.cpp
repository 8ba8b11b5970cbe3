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

  // Hue and saturation (colour modes), gamma and contrast as one table,
  // sharpness and brightness: one pass over the picture, row by row, giving
  // the same samples as the stages in turn. A stage left at its neutral
  // value is skipped.
  void filterStages() {
    if (!mode_.output) return;
    const int hue = s_.slot(filter_slot::kHue);
    const int saturation = s_.slot(filter_slot::kSaturation);
    const bool colour = mode_.layout == kColour8 || mode_.layout == kColour16;
    const bool tables = s_.slot(filter_slot::kGamma) != 100 || s_.slot(filter_slot::kContrast) != 0;
    RowStagesBlock block{};
    block.hueOn = colour && (hue != 0 || saturation != 0) ? 1 : 0;
    block.hue = HueBlock{hue, 0, saturation, mode_.bitDepth};
    SampleTables storage;
    if (tables) block.table = storage.of(s_, mode_.layout);
    block.sharpness = ValueBlock{s_.slot(filter_slot::kSharpness), mode_.bitDepth};
    block.brightness = ValueBlock{s_.slot(filter_slot::kBrightness), mode_.bitDepth};
    if (block.hueOn || tables || block.sharpness.value != 0 || block.brightness.value != 0) {
      const bool eight = mode_.layout == kGray8 || mode_.layout == kColour8;
      applyWhole(*mode_.output, eight ? kernels::rowStages8 : kernels::rowStages16, *mode_.output,
                 &block);
    }
    ended(ChainStep::kFilters);
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
