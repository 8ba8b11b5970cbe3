#pragma once
// The slot bookkeeping of the frame ring between the streaming thread and
// its consumer: the thread fills the slot at the write index and, when it
// advances, steps over the slot the consumer holds, so a copy out of the
// held slot never races a transfer into it. Not locked itself: its owner
// serialises the calls.
#include <cstdint>

namespace pelnik::device {

class RingCursor {
 public:
  // A new run over `slotCount` slots (at least 2): write and read index 0,
  // nothing delivered.
  void restart(int slotCount);

  // The slot the thread fills next.
  int writeIndex() const { return writeIndex_; }
  int readIndex() const { return readIndex_; }

  // The thread delivered the slot at the write index: it becomes the newest
  // frame and the write index advances, stepping over the read index.
  void delivered();

  // The consumer takes the newest delivered frame it has not yet taken: its
  // slot becomes the read index. False when there is none.
  bool takeNewest();

  // The consumer is done with the held slot: the read index moves on.
  void release();

  std::uint64_t deliveredCount() const { return delivered_; }

 private:
  int next(int index) const { return index + 1 == slotCount_ ? 0 : index + 1; }

  int slotCount_ = 2;
  int writeIndex_ = 0;
  int readIndex_ = 0;
  int newestIndex_ = -1;
  std::uint64_t delivered_ = 0;
  std::uint64_t taken_ = 0;  // deliveries up to the newest the consumer took
};

}  // namespace pelnik::device
