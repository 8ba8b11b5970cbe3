#pragma once
// The hue circle of the hue-and-saturation stage: 1530 steps, 6 sectors of
// 255 (magenta 0, red 255, yellow 510, green 765, cyan 1020, blue 1275).
//
// The grey and reciprocal tables never change and are built at compile
// time. The saturation scale and its limit are a small value object that
// each call builds for its own saturation, so cameras with different
// saturations never share a mutable table.
#include <array>
#include <cstdint>

namespace pelnik {

// recip[i] = 0xFF0000 / i, recip[0] = 0.
inline constexpr std::array<std::int32_t, 256> kHueReciprocal = [] {
  std::array<std::int32_t, 256> table{};
  for (int i = 1; i < 256; ++i) table[i] = 0xFF0000 / i;
  return table;
}();

// A grey value packed into the three bytes of a pixel word (blue bits 0-7,
// green 8-15, red 16-23).
inline constexpr std::int32_t hueGrey(int value) { return value * 0x010101; }

// Channels held at the full span, and the channel that moves with the
// fraction, per sector (index mod 6).
inline constexpr std::array<std::int32_t, 6> kHueSectorMask = {0xFF00FF, 0xFF0000, 0xFFFF00,
                                                               0x00FF00, 0x00FFFF, 0x0000FF};
inline constexpr std::array<std::int32_t, 6> kHueSectorStep = {-1, 256, -65536, 1, -256, 65536};

// Position on the 1530-step circle of a hue setting in degrees.
int hueShift(int hueDegrees);

// scale[c] = (c x (saturation + 256) x 256 + 0x8000) >> 16 and, with
// lightness 0, lim[L] = L up to 255 and 511 - L above.
class SaturationScale {
 public:
  explicit SaturationScale(int saturation);

  int scale(int chroma) const { return scale_[chroma]; }
  int limit(int lightness) const { return limit_[lightness]; }
  int saturation() const { return saturation_; }

 private:
  int saturation_;
  std::array<std::int32_t, 256> scale_{};
  std::array<std::int32_t, 512> limit_{};
};

// One pixel through the stage (8-bit channel values 0..255), in place.
inline void hueSaturatePixel(int &red, int &green, int &blue, const SaturationScale &scale,
                             int shift) {
  int code, d, maximum, minimum;
  if (red >= green && red >= blue) {
    code = 1;
    d = green - blue;
    maximum = red;
    minimum = green < blue ? green : blue;
  } else if (green >= blue) {
    code = 3;
    d = blue - red;
    maximum = green;
    minimum = red < blue ? red : blue;
  } else {
    code = 5;
    d = red - green;
    maximum = blue;
    minimum = red < green ? red : green;
  }
  const int chroma = maximum - minimum;
  const int lightness = maximum + minimum;
  const int scaled = scale.scale(chroma);
  const int limited = scale.limit(lightness);
  const int newChroma = scaled < limited ? scaled : limited;
  const int low = (lightness - newChroma) >> 1;
  const int span = ((newChroma + lightness) >> 1) - low;
  std::int32_t word = hueGrey(low);
  if (chroma != 0) {
    const int negative = d < 0 ? 1 : 0;
    int index = code - negative + shift / 255;
    int frac =
        ((kHueReciprocal[chroma] * (d + (negative ? chroma : 0)) + 0x8000) >> 16) + shift % 255;
    if (frac > 254) {
      frac -= 255;
      ++index;
    }
    const int sector = index % 6;
    word += (hueGrey(span) & kHueSectorMask[sector]) +
            ((span * frac + 128) >> 8) * kHueSectorStep[sector];
  }
  red = (word >> 16) & 0xFF;
  green = (word >> 8) & 0xFF;
  blue = word & 0xFF;
}

}  // namespace pelnik
