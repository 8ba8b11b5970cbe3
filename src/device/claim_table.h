#pragma once
// The claim table shared by every process of the user's session: one claim
// record per camera number in the region "TESMOR_USBCAMERA", through which a
// camera that one camera object is acquiring from is refused to every other.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/shared_memory.h"

namespace pelnik::device {

inline constexpr std::size_t kClaimRegionBytes = 0x460000;
inline constexpr std::size_t kClaimRegionClearedBytes = 32768;
inline constexpr std::size_t kClaimRecordsOffset = 0x1D6500;
inline constexpr char kClaimRegionName[] = "TESMOR_USBCAMERA";
inline constexpr char kClaimText[] = "PelnikSdk_R5M_LX.dll";

// One claim record, 140 bytes, little-endian.
struct ClaimRecord {
  std::int32_t owner;   // the claiming camera object's identity; 0 = free
  std::int32_t module;  // the claiming process's id
  std::int32_t zero;    // written 0; a release only happens while it is 0
  char text[128];       // kClaimText while claimed, empty when released
};
static_assert(sizeof(ClaimRecord) == 140);

// Behind the text's terminator the claimant's start time is kept, so that a
// later process given the same id is not taken for the claimant.
inline constexpr std::size_t kClaimStartTimeOffset = 24;
static_assert(sizeof kClaimText <= kClaimStartTimeOffset);

class ClaimTable {
 public:
  // The table of this session (the file of that name in the runtime
  // directory); null when it cannot be mapped.
  static std::unique_ptr<ClaimTable> open();
  // The table in the file at `path`.
  static std::unique_ptr<ClaimTable> openAt(const std::string &path);

  // A non-zero identity for a camera object of this process, never handed
  // out twice in the process.
  static std::int32_t newClaimantIdentity();

  // Record n is held by a live process. A record whose process has ended
  // counts as free.
  bool isClaimed(int n) const;
  // Record n is held by a live claimant other than this process's `claimant`.
  bool isClaimedByOther(int n, std::int32_t claimant) const;
  // Claims n for `claimant`: 1, or 0 when n has no record or another live
  // claimant holds it. A stale claim is overwritten.
  int claim(int n, std::int32_t claimant);
  // Releases n when this process's `claimant` holds it; 1, or 0 when n has
  // no record. Anyone else's claim is left alone.
  int release(int n, std::int32_t claimant);

  // The record of n as it stands (for tests and diagnostics).
  bool readRecord(int n, ClaimRecord &record) const;

 private:
  explicit ClaimTable(std::unique_ptr<platform::SharedMemory> memory)
      : memory_(std::move(memory)) {}
  ClaimRecord *record(int n) const;
  bool heldByLiveProcess(const ClaimRecord &record) const;

  std::unique_ptr<platform::SharedMemory> memory_;
};

}  // namespace pelnik::device
