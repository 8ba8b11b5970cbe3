#include "platform/frame_memory.h"

#include <cstdlib>
#include <new>

namespace pelnik::platform {

std::unique_ptr<FrameBlock> FrameBlock::allocate(std::size_t bytes) {
  void *memory = std::calloc(bytes ? bytes : 1, 1);
  if (!memory) return nullptr;
  auto *block = new (std::nothrow) FrameBlock(memory, static_cast<std::uint8_t *>(memory));
  if (!block) std::free(memory);
  return std::unique_ptr<FrameBlock>(block);
}

FrameBlock::~FrameBlock() { std::free(handle_); }

}  // namespace pelnik::platform
