#pragma once
// The frame memory of one geometry: the single-frame buffer and the ring of
// streaming buffers, each 2 x transfer length bytes (room for 16-bit pixels
// whatever the pixel width), zero-filled frame blocks, allocated once per
// geometry.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/frame_memory.h"

namespace pelnik::device {

class FrameBuffers {
 public:
  // Replaces the buffers with `ringCount` ring buffers and a single-frame
  // buffer for `transferLength` pixels. False when memory runs out; the
  // buffers allocated up to then stay, the others are missing.
  bool allocate(std::uint32_t transferLength, int ringCount);
  void release();

  std::size_t bufferBytes() const { return bufferBytes_; }
  std::uint8_t *singleFrame() const { return singleFrame_ ? singleFrame_->data() : nullptr; }
  int ringCount() const { return static_cast<int>(ring_.size()); }
  // Ring buffer `slot`; null when it failed to allocate.
  std::uint8_t *ringBuffer(int slot) const {
    const auto &block = ring_[static_cast<std::size_t>(slot)];
    return block ? block->data() : nullptr;
  }
  // The ring's buffer addresses, for the streaming thread's copy.
  std::vector<std::uint8_t *> ringTable() const;

 private:
  std::size_t bufferBytes_ = 0;
  std::unique_ptr<platform::FrameBlock> singleFrame_;
  std::vector<std::unique_ptr<platform::FrameBlock>> ring_;
};

}  // namespace pelnik::device
