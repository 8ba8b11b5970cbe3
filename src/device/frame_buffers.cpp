#include "device/frame_buffers.h"

#include <new>

namespace pelnik::device {

bool FrameBuffers::allocate(std::uint32_t transferLength, int ringCount) {
  release();
  bufferBytes_ = 2 * static_cast<std::size_t>(transferLength);
  singleFrame_ = platform::FrameBlock::allocate(bufferBytes_);
  if (!singleFrame_) return false;
  try {
    ring_.resize(static_cast<std::size_t>(ringCount));
  } catch (const std::bad_alloc &) {
    return false;
  }
  bool complete = true;
  for (auto &buffer : ring_) {
    buffer = platform::FrameBlock::allocate(bufferBytes_);
    complete = complete && buffer != nullptr;
  }
  return complete;
}

void FrameBuffers::release() {
  singleFrame_.reset();
  ring_.clear();
  bufferBytes_ = 0;
}

std::vector<std::uint8_t *> FrameBuffers::ringTable() const {
  std::vector<std::uint8_t *> table;
  table.reserve(ring_.size());
  for (const auto &buffer : ring_) table.push_back(buffer ? buffer->data() : nullptr);
  return table;
}

}  // namespace pelnik::device
