#include "device/claim_table.h"

#include <atomic>
#include <cstring>

#include "platform/process_info.h"

namespace pelnik::device {

namespace {

constexpr std::size_t kRecordCount =
    (kClaimRegionBytes - kClaimRecordsOffset) / sizeof(ClaimRecord);

std::uint64_t recordedStartTime(const ClaimRecord &record) {
  std::uint64_t start = 0;
  std::memcpy(&start, record.text + kClaimStartTimeOffset, sizeof start);
  return start;
}

// Only this process's own start time is needed for claims, and it never
// changes.
std::uint64_t ownStartTime() {
  static const std::uint64_t start = platform::processStartTime(platform::currentProcessId());
  return start;
}

}  // namespace

std::unique_ptr<ClaimTable> ClaimTable::open() {
  auto memory = platform::SharedMemory::openNamed(kClaimRegionName, kClaimRegionBytes,
                                                  kClaimRegionClearedBytes);
  if (!memory) return nullptr;
  return std::unique_ptr<ClaimTable>(new ClaimTable(std::move(memory)));
}

std::unique_ptr<ClaimTable> ClaimTable::openAt(const std::string &path) {
  auto memory =
      platform::SharedMemory::openOrCreate(path, kClaimRegionBytes, kClaimRegionClearedBytes);
  if (!memory) return nullptr;
  return std::unique_ptr<ClaimTable>(new ClaimTable(std::move(memory)));
}

std::int32_t ClaimTable::newClaimantIdentity() {
  static std::atomic<std::int32_t> next{1};
  std::int32_t identity = next.fetch_add(1);
  // After 2^31 camera objects the count would wrap to 0, which reads as free.
  while (identity <= 0) {
    next = 1;
    identity = next.fetch_add(1);
  }
  return identity;
}

ClaimRecord *ClaimTable::record(int n) const {
  if (n < 0 || static_cast<std::size_t>(n) >= kRecordCount) return nullptr;
  return reinterpret_cast<ClaimRecord *>(memory_->data() + kClaimRecordsOffset +
                                         sizeof(ClaimRecord) * static_cast<std::size_t>(n));
}

bool ClaimTable::heldByLiveProcess(const ClaimRecord &record) const {
  if (record.owner == 0) return false;
  const std::uint64_t recorded = recordedStartTime(record);
  if (recorded == 0) return platform::processExists(record.module);
  return platform::processStartTime(record.module) == recorded;
}

bool ClaimTable::isClaimed(int n) const {
  ClaimRecord current{};
  return readRecord(n, current) && heldByLiveProcess(current);
}

bool ClaimTable::isClaimedByOther(int n, std::int32_t claimant) const {
  ClaimRecord current{};
  if (!readRecord(n, current) || !heldByLiveProcess(current)) return false;
  return current.owner != claimant || current.module != platform::currentProcessId();
}

int ClaimTable::claim(int n, std::int32_t claimant) {
  ClaimRecord *target = record(n);
  if (!target || claimant == 0) return 0;
  platform::SharedMemory::Lock lock(*memory_);
  const std::int32_t self = platform::currentProcessId();
  const bool ours = target->owner == claimant && target->module == self;
  if (!ours && heldByLiveProcess(*target)) return 0;
  // Owner last, so a reader without the lock never sees a half-made claim.
  target->owner = 0;
  target->module = self;
  target->zero = 0;
  std::memset(target->text, 0, sizeof target->text);
  std::memcpy(target->text, kClaimText, sizeof kClaimText);
  const std::uint64_t start = ownStartTime();
  std::memcpy(target->text + kClaimStartTimeOffset, &start, sizeof start);
  std::atomic_ref<std::int32_t>(target->owner).store(claimant, std::memory_order_release);
  return 1;
}

int ClaimTable::release(int n, std::int32_t claimant) {
  ClaimRecord *target = record(n);
  if (!target) return 0;
  platform::SharedMemory::Lock lock(*memory_);
  if (claimant == 0 || target->owner != claimant ||
      target->module != platform::currentProcessId() || target->zero != 0)
    return 1;
  std::atomic_ref<std::int32_t>(target->owner).store(0, std::memory_order_release);
  target->module = 0;
  target->zero = 0;
  std::memset(target->text, 0, sizeof target->text);
  return 1;
}

bool ClaimTable::readRecord(int n, ClaimRecord &out) const {
  const ClaimRecord *source = record(n);
  if (!source) return false;
  platform::SharedMemory::Lock lock(*memory_);
  std::memcpy(&out, source, sizeof out);
  return true;
}

}  // namespace pelnik::device
