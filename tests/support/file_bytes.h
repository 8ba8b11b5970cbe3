#pragma once
// Reading back files the library wrote: the whole file and its
// little-endian fields.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pelnik::test {

inline std::vector<std::uint8_t> readFileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::uint32_t littleU32(const std::vector<std::uint8_t> &f, std::size_t at) {
  return std::uint32_t(f.at(at)) | std::uint32_t(f.at(at + 1)) << 8 |
         std::uint32_t(f.at(at + 2)) << 16 | std::uint32_t(f.at(at + 3)) << 24;
}

}  // namespace pelnik::test
