// Fuzz target for the claim table under another process's scribbling: the
// input is a list of operations (random bytes over a record, a zeroed record,
// a record another live claimant holds, claims and releases by this
// process's cameras at any number). The table never trusts a record's fields
// to index memory, a claim succeeds exactly when no other live claimant
// holds the record, a zeroed record is claimable again, and a record held by
// a live process stays claimed.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "device/claim_table.h"
#include "platform/shared_memory.h"

using pelnik::device::ClaimRecord;
using pelnik::device::ClaimTable;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t kRecords =
    (pelnik::device::kClaimRegionBytes - pelnik::device::kClaimRecordsOffset) / sizeof(ClaimRecord);

struct Region {
  std::string path = (std::filesystem::temp_directory_path() /
                      ("pelnik-fuzz-claims-" + std::to_string(::getpid())))
                         .string();
  std::unique_ptr<ClaimTable> table = ClaimTable::openAt(path);
  // The same file mapped a second time: the other process's view.
  std::unique_ptr<pelnik::platform::SharedMemory> scribbler =
      pelnik::platform::SharedMemory::openOrCreate(path, pelnik::device::kClaimRegionBytes,
                                                   pelnik::device::kClaimRegionClearedBytes);
};

Region &region() {
  static Region shared;
  require(shared.table && shared.scribbler);
  return shared;
}

std::uint8_t *recordBytes(int n) {
  return reinterpret_cast<std::uint8_t *>(region().scribbler->data()) +
         pelnik::device::kClaimRecordsOffset + sizeof(ClaimRecord) * std::size_t(n);
}

// Camera numbers the operations use: the first records, the last ones, and
// numbers no record has.
int cameraNumber(std::uint8_t selector) {
  switch (selector % 8) {
    case 0:
      return -1 - (selector >> 3);
    case 1:
      return int(kRecords) + (selector >> 3);
    case 2:
      return int(kRecords) - 1 - (selector >> 3) % 4;
    default:
      return selector % 6;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  ClaimTable &table = *region().table;
  // Two cameras of this process.
  const std::int32_t cameras[2] = {ClaimTable::newClaimantIdentity(),
                                   ClaimTable::newClaimantIdentity()};
  std::size_t at = 0;
  while (at + 2 <= size) {
    const std::uint8_t op = data[at++];
    const int n = cameraNumber(data[at++]);
    const bool hasRecord = n >= 0 && std::size_t(n) < kRecords;
    const std::int32_t camera = cameras[op >> 7];
    switch (op % 5) {
      case 0: {  // random bytes over part of a record
        if (!hasRecord || at >= size) break;
        const std::size_t offset = data[at++] % sizeof(ClaimRecord);
        const std::size_t length = std::min(size - at, sizeof(ClaimRecord) - offset);
        std::memcpy(recordBytes(n) + offset, data + at, length);
        at += length;
        break;
      }
      case 1:  // the writer restores a zeroed record: claimable again
        if (!hasRecord) break;
        std::memset(recordBytes(n), 0, sizeof(ClaimRecord));
        require(!table.isClaimed(n));
        require(table.claim(n, camera) == 1 && !table.isClaimedByOther(n, camera));
        require(table.isClaimedByOther(n, cameras[1 - (op >> 7)]));
        break;
      case 2: {  // another claimant of this live process holds the record
        if (!hasRecord) break;
        ClaimRecord held{};
        held.owner = std::int32_t(0x7FFF0000 | data[at - 1]);
        held.module = ::getpid();
        std::memcpy(recordBytes(n), &held, sizeof held);
        require(table.isClaimed(n) && table.isClaimedByOther(n, camera));
        require(table.claim(n, camera) == 0 && table.release(n, camera) == 1);
        require(table.isClaimed(n));
        break;
      }
      case 3: {  // a claim succeeds exactly when nobody else holds the record
        const bool other = table.isClaimedByOther(n, camera);
        const int claimed = table.claim(n, camera);
        require(claimed == (hasRecord && !other ? 1 : 0));
        if (claimed) require(table.isClaimed(n) && !table.isClaimedByOther(n, camera));
        break;
      }
      default: {  // a release never takes a record from anybody else
        ClaimRecord before{}, after{};
        const bool readable = table.readRecord(n, before);
        require(readable == hasRecord);
        const bool ours =
            readable && before.owner == camera && before.module == ::getpid() && before.zero == 0;
        require(table.release(n, camera) == (hasRecord ? 1 : 0));
        if (readable) {
          table.readRecord(n, after);
          if (ours)
            require(after.owner == 0);
          else
            require(std::memcmp(&before, &after, sizeof before) == 0);
        }
        break;
      }
    }
  }
  // Leave the table as the next input expects it: nothing held.
  std::memset(reinterpret_cast<std::uint8_t *>(region().scribbler->data()) +
                  pelnik::device::kClaimRecordsOffset,
              0, kRecords * sizeof(ClaimRecord));
  return 0;
}
