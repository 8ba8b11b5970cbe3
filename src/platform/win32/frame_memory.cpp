#include "platform/frame_memory.h"

#include <windows.h>

#include <new>

namespace pelnik::platform {

std::unique_ptr<FrameBlock> FrameBlock::allocate(std::size_t bytes) {
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes ? bytes : 1);
  if (!memory) return nullptr;
  void *address = ::GlobalLock(memory);
  if (!address) {
    ::GlobalFree(memory);
    return nullptr;
  }
  auto *block = new (std::nothrow) FrameBlock(memory, static_cast<std::uint8_t *>(address));
  if (!block) {
    ::GlobalUnlock(memory);
    ::GlobalFree(memory);
  }
  return std::unique_ptr<FrameBlock>(block);
}

FrameBlock::~FrameBlock() {
  ::GlobalUnlock(static_cast<HGLOBAL>(handle_));
  ::GlobalFree(static_cast<HGLOBAL>(handle_));
}

}  // namespace pelnik::platform
