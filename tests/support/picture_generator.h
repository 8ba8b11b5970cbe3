#pragma once
// Synthetic pictures for the image tests: random content, constant frames
// and Bayer mosaics, written straight into any buffer that exposes
// Pixels(), Width(), Height(), Stride() and BytesPerPixel().
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>

namespace pelnik::test {

// Random bytes over the whole pixel memory, row padding included, so that
// a kernel that writes what it should not, or skips what it should write,
// shows up when two results are compared byte for byte.
template <class Buffer>
void fillRandomBytes(Buffer &buffer, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uint8_t *p = buffer.Pixels();
  const std::size_t bytes = static_cast<std::size_t>(buffer.Height()) * buffer.Stride();
  for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(random());
}

// Writes sample(x, y, channel) into every sample of every pixel; samples are
// bytes for 8, 24 and 32-bit buffers and 16-bit values for 16, 48 and 64.
template <class Buffer>
void fillSamples(Buffer &buffer, const std::function<int(int x, int y, int channel)> &sample) {
  const int bpp = buffer.BytesPerPixel();
  const bool wide = bpp == 2 || bpp == 6 || bpp == 8;
  const int sampleBytes = wide ? 2 : 1;
  const int channels = bpp / sampleBytes;
  for (int y = 0; y < buffer.Height(); ++y) {
    std::uint8_t *row = buffer.Pixels() + static_cast<std::ptrdiff_t>(y) * buffer.Stride();
    for (int x = 0; x < buffer.Width(); ++x) {
      for (int c = 0; c < channels; ++c) {
        const int value = sample(x, y, c);
        std::uint8_t *at = row + x * bpp + c * sampleBytes;
        if (wide) {
          const auto v = static_cast<std::uint16_t>(value);
          std::memcpy(at, &v, 2);
        } else {
          *at = static_cast<std::uint8_t>(value);
        }
      }
    }
  }
}

// Random samples in 0..maximum.
template <class Buffer>
void fillRandomSamples(Buffer &buffer, std::uint32_t seed, int maximum) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(0, maximum);
  fillSamples(buffer, [&](int, int, int) { return value(random); });
}

// Reads sample `channel` of pixel (x, y) the way fillSamples writes it.
template <class Buffer>
int sampleAt(const Buffer &buffer, int x, int y, int channel) {
  const int bpp = buffer.BytesPerPixel();
  const bool wide = bpp == 2 || bpp == 6 || bpp == 8;
  const std::uint8_t *at = buffer.Pixels() + static_cast<std::ptrdiff_t>(y) * buffer.Stride() +
                           x * bpp + channel * (wide ? 2 : 1);
  if (!wide) return *at;
  std::uint16_t v;
  std::memcpy(&v, at, 2);
  return v;
}

// The colour a sample at (x, y) has under an effective Bayer mode, written
// from the first two rows of each mode: 0 = G B / R G, 1 = R G / G B,
// 2 = B G / G R, 3 = G R / B G.
enum class MosaicColour { red, green, blue };
inline MosaicColour mosaicColour(int mode, int x, int y) {
  static const MosaicColour layout[4][2][2] = {
      {{MosaicColour::green, MosaicColour::blue}, {MosaicColour::red, MosaicColour::green}},
      {{MosaicColour::red, MosaicColour::green}, {MosaicColour::green, MosaicColour::blue}},
      {{MosaicColour::blue, MosaicColour::green}, {MosaicColour::green, MosaicColour::red}},
      {{MosaicColour::green, MosaicColour::red}, {MosaicColour::blue, MosaicColour::green}},
  };
  return layout[mode & 3][y & 1][x & 1];
}

// A raw mosaic whose red, green and blue sites carry the given functions.
template <class Buffer>
void fillMosaic(Buffer &buffer, int mode, const std::function<int(int x, int y)> &red,
                const std::function<int(int x, int y)> &green,
                const std::function<int(int x, int y)> &blue) {
  fillSamples(buffer, [&](int x, int y, int) {
    switch (mosaicColour(mode, x, y)) {
      case MosaicColour::red:
        return red(x, y);
      case MosaicColour::green:
        return green(x, y);
      default:
        return blue(x, y);
    }
  });
}

}  // namespace pelnik::test
