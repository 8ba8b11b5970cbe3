#pragma once
// Automatic exposure (auto iris): five measurement windows of the raw
// picture, one exposure factor per frame, and one step of the sensor's
// global gain or exposure lines when the factor leaves the dead band.
#include <array>

#include "imaging/chain_interfaces.h"
#include "imaging/kernel.h"

namespace pelnik {

class CImageBuffer;

inline constexpr int kAutoIrisOff = 0;
inline constexpr int kAutoIrisExposure = 1;
inline constexpr int kAutoIrisGain = 2;

// The five windows as kernel rectangles of a width x height picture: four
// corners and the centre, each bound the integer part of a double product.
std::array<KernelRect, 5> autoIrisWindows(int width, int height);

// Exposure factor from the five window means, accumulated in doubles one
// window at a time from 1.0.
double autoIrisFactor(const std::array<int, 5> &means);

// True when the factor lies inside the dead band (0.6, 1.2).
inline bool insideDeadBand(double factor) { return factor > 0.6 && factor < 1.2; }

// Next global gain: max(g, 4) x f truncated, held inside minimum..maximum.
int nextGlobalGain(int gain, double factor, int minimum, int maximum);
// Next exposure lines: e x f truncated and held inside the limits before it
// is used, at least 1.
int nextExposureLines(int lines, double factor, int minimum, int maximum);

// One step: 0 when the mode is off (anything but 1 or 2) or there is no
// picture, 1 otherwise (also inside the dead band, when nothing changes).
int autoIrisStep(int mode, CImageBuffer *picture, AutoIrisDevice &device,
                 ChainSettingsWriter &settings, ChainNotifier &notifier);

// Window means: the mean of the rectangle's samples (16-bit: of the low
// byte of sample >> 2); 0 for an empty rectangle.
namespace kernels {
int windowMean8(KERNEL_ARGS);
int windowMean16(KERNEL_ARGS);
}  // namespace kernels
namespace reference {
int windowMean8(KERNEL_ARGS);
int windowMean16(KERNEL_ARGS);
}  // namespace reference

}  // namespace pelnik
