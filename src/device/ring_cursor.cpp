#include "device/ring_cursor.h"

namespace pelnik::device {

void RingCursor::restart(int slotCount) {
  slotCount_ = slotCount < 2 ? 2 : slotCount;
  writeIndex_ = 0;
  readIndex_ = 0;
  newestIndex_ = -1;
  delivered_ = 0;
  taken_ = 0;
}

void RingCursor::delivered() {
  newestIndex_ = writeIndex_;
  ++delivered_;
  writeIndex_ = next(writeIndex_);
  if (writeIndex_ == readIndex_) writeIndex_ = next(writeIndex_);
}

bool RingCursor::takeNewest() {
  if (newestIndex_ < 0 || taken_ == delivered_) return false;
  // The newest slot is tracked, not derived from the write index: after the
  // thread stepped over the held slot, "write index - 1" is the held slot.
  readIndex_ = newestIndex_;
  taken_ = delivered_;
  return true;
}

void RingCursor::release() { readIndex_ = next(readIndex_); }

}  // namespace pelnik::device
