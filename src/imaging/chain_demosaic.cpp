#include "imaging/chain_demosaic.h"

#include <algorithm>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "imaging/white_balance.h"

namespace pelnik {

namespace {

constexpr int kBayerGainLimit = 400;

bool onceRequested(const ChainSettings &s) {
  return s.slot(filter_slot::kWhiteBalanceEnable) != 0 &&
         s.slot(filter_slot::kWhiteBalanceOnceFirst) != 0 &&
         s.slot(filter_slot::kWhiteBalanceOnceSecond) != 0;
}

}  // namespace

int applyWhole(CImageBuffer &dst, Kernel kernel, CImageBuffer &src, void *block) {
  void *indirection = block;
  return dst.ApplyKernel(kernel, src, nullptr, 0, 0, &indirection);
}

int demosaicStage(const ChainSettings &settings, CImageBuffer &colour, CImageBuffer &raw,
                  ChainSettingsWriter &writer, ChainNotifier &notifier) {
  const bool sixteen = raw.BitCount() == 16;
  DemosaicBlock block;
  block.bayerMode = bayer::effectiveMode(settings.slot(filter_slot::kBayerMode),
                                         settings.mirrorV != 0, settings.mirrorH != 0);
  block.redGain = settings.slot(filter_slot::kBayerGainRed);
  block.greenGain = settings.slot(filter_slot::kBayerGainGreen);
  block.blueGain = settings.slot(filter_slot::kBayerGainBlue);

  if (settings.slot(filter_slot::kWhiteBalanceEnable) != 0) {
    DemosaicBlock measured = block;
    measured.greenGain = -1;  // stays -1 unless the measurement is valid
    applyWhole(raw, sixteen ? kernels::whiteBalance16 : kernels::whiteBalance8, raw, &measured);
    // A black or one-coloured frame measures nothing: the gains stay, and a
    // Once request waits for a frame that can be measured.
    if (measured.greenGain != -1) {
      block.redGain = std::min(measured.redGain, kBayerGainLimit);
      block.greenGain = std::min(100, kBayerGainLimit);
      block.blueGain = std::min(measured.blueGain, kBayerGainLimit);
      writer.storeBayerGains(block.redGain, block.greenGain, block.blueGain);
      notifier.imageSettingsChanged();
      if (onceRequested(settings)) writer.clearWhiteBalanceRequest();
    }
  }

  applyWhole(colour, sixteen ? kernels::demosaic16Interior : kernels::demosaic8Interior, raw,
             &block);
  applyWhole(colour, sixteen ? kernels::demosaic16Border : kernels::demosaic8Border, raw, &block);
  return 1;
}

}  // namespace pelnik
