#pragma once
// Blocks of frame memory: zero-filled, fixed in place for their whole life.
// On Windows they are the system's global memory blocks, locked from
// allocation to release, as the camera's frame ring has always been.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace pelnik::platform {

class FrameBlock {
 public:
  // Null when memory runs out.
  static std::unique_ptr<FrameBlock> allocate(std::size_t bytes);
  ~FrameBlock();
  FrameBlock(const FrameBlock &) = delete;
  FrameBlock &operator=(const FrameBlock &) = delete;

  std::uint8_t *data() const { return data_; }
  // The system's handle of the block (the address itself where there is none).
  void *handle() const { return handle_; }

 private:
  FrameBlock(void *handle, std::uint8_t *data) : handle_(handle), data_(data) {}

  void *handle_;
  std::uint8_t *data_;
};

}  // namespace pelnik::platform
