#pragma once
// Little-endian 16-bit samples in byte memory. Through memcpy so that no
// alignment or aliasing rule is broken; compilers turn it into plain moves.
#include <cstdint>
#include <cstring>

namespace pelnik {

inline std::uint16_t load16(const std::uint8_t *p) {
  std::uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline void store16(std::uint8_t *p, std::uint32_t value) {
  const auto sample = static_cast<std::uint16_t>(value);
  std::memcpy(p, &sample, sizeof sample);
}

}  // namespace pelnik
