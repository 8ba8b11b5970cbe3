#pragma once
// The machine-readable stamp in the first and last image rows of every
// frame: eight samples carrying the bytes 'P', 'N', the frame number
// (32-bit little-endian), the camera number and a check byte. In 16-bit
// frames each byte sits in the top eight of the ten sample bits (byte << 2),
// so it survives the reduction to 8 bits. A picture whose first and last
// rows carry the same stamp comes from one camera frame.
#include <cstdint>
#include <cstring>
#include <optional>

namespace pelnik::virtcam {

inline constexpr int kStampSamples = 8;

struct FrameStamp {
  std::uint32_t frameNumber = 0;
  std::uint8_t camera = 0;
  bool operator==(const FrameStamp &) const = default;
};

namespace detail {
inline void stampBytes(const FrameStamp &stamp, std::uint8_t (&bytes)[kStampSamples]) {
  bytes[0] = 'P';
  bytes[1] = 'N';
  for (int i = 0; i < 4; ++i) bytes[2 + i] = std::uint8_t(stamp.frameNumber >> (8 * i));
  bytes[6] = stamp.camera;
  std::uint8_t check = 0xFF;
  for (int i = 0; i < 7; ++i) check ^= bytes[i];
  bytes[7] = check;
}
}  // namespace detail

// Writes the stamp at the start of a row of `width` samples; a row narrower
// than the stamp gets as much of it as fits.
inline void writeFrameStamp(std::uint8_t *row, int width, int bytesPerSample,
                            const FrameStamp &stamp) {
  std::uint8_t bytes[kStampSamples];
  detail::stampBytes(stamp, bytes);
  for (int i = 0; i < kStampSamples && i < width; ++i) {
    if (bytesPerSample == 2) {
      const std::uint16_t sample = std::uint16_t(bytes[i] << 2);
      std::memcpy(row + 2 * i, &sample, 2);
    } else {
      row[i] = bytes[i];
    }
  }
}

// The stamp at the start of a row, if one is there intact.
inline std::optional<FrameStamp> readFrameStamp(const std::uint8_t *row, int width,
                                                int bytesPerSample) {
  if (width < kStampSamples) return std::nullopt;
  std::uint8_t bytes[kStampSamples];
  for (int i = 0; i < kStampSamples; ++i) {
    if (bytesPerSample == 2) {
      std::uint16_t sample;
      std::memcpy(&sample, row + 2 * i, 2);
      if (sample & 0xFC03) return std::nullopt;
      bytes[i] = std::uint8_t(sample >> 2);
    } else {
      bytes[i] = row[i];
    }
  }
  FrameStamp stamp;
  for (int i = 0; i < 4; ++i) stamp.frameNumber |= std::uint32_t(bytes[2 + i]) << (8 * i);
  stamp.camera = bytes[6];
  std::uint8_t expected[kStampSamples];
  detail::stampBytes(stamp, expected);
  if (std::memcmp(bytes, expected, kStampSamples) != 0) return std::nullopt;
  return stamp;
}

}  // namespace pelnik::virtcam
