#pragma once
// The demosaic stage of the chain, with the white-balance hook: measure the
// raw picture when automatic white balance is on, then demosaic it into the
// colour buffer with the Bayer gains as they then stand.
#include "imaging/chain.h"
#include "imaging/kernel.h"

namespace pelnik {

// Runs the white-balance measurement (when enabled) and the interior and
// border demosaic kernels of the raw picture's sample width. Returns 1.
int demosaicStage(const ChainSettings &settings, CImageBuffer &colour, CImageBuffer &raw,
                  ChainSettingsWriter &writer, ChainNotifier &notifier);

// Applies a kernel over the whole source with the block reached through the
// contract's extra indirection.
int applyWhole(CImageBuffer &dst, Kernel kernel, CImageBuffer &src, void *block);

}  // namespace pelnik
