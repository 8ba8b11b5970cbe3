#pragma once
// The record of every request a virtual camera received, for tests that
// assert the exact traffic. Bounded: the oldest records go first.
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace pelnik::virtcam {

struct ProtocolRecord {
  std::uint64_t sequence = 0;       // per camera, in order of completion
  std::uint64_t connection = 0;     // which connection sent it
  std::uint32_t code = 0;           // control code
  int pipe = -1;                    // pipe word; -1 when the request has none
  std::vector<std::uint8_t> block;  // pipe-0 command block, or the time-out request
  std::uint32_t outputLength = 0;   // bytes the caller asked for
  bool succeeded = false;
  std::uint32_t returned = 0;  // byte count moved
  std::string protocolError;   // why the request was malformed; empty if well-formed
  std::string failure;         // why a well-formed request failed (fault, time-out, ...)
  std::chrono::steady_clock::time_point completedAt;

  bool isCommand() const { return pipe == 0 && !block.empty() && protocolError.empty(); }
  std::uint8_t commandCode() const { return block.empty() ? 0 : block[0]; }
};

class ProtocolLog {
 public:
  explicit ProtocolLog(std::size_t capacity) : capacity_(capacity) {}

  void append(ProtocolRecord record) {
    std::lock_guard lock(recordsLock_);
    record.sequence = ++lastSequence_;
    if (records_.size() >= capacity_) records_.pop_front();
    records_.push_back(std::move(record));
  }
  std::vector<ProtocolRecord> snapshot() const {
    std::lock_guard lock(recordsLock_);
    return {records_.begin(), records_.end()};
  }
  void clear() {
    std::lock_guard lock(recordsLock_);
    records_.clear();
  }

 private:
  const std::size_t capacity_;
  mutable std::mutex recordsLock_;  // guards records_ and lastSequence_
  std::deque<ProtocolRecord> records_;
  std::uint64_t lastSequence_ = 0;
};

}  // namespace pelnik::virtcam
