#pragma once
// Little-endian fields of file headers, whatever the machine's byte order.
#include <cstdint>

namespace pelnik::output {

inline std::uint8_t *putU16(std::uint8_t *out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  return out + 2;
}

inline std::uint8_t *putU32(std::uint8_t *out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return out + 4;
}

}  // namespace pelnik::output
