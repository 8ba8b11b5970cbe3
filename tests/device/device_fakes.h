#pragma once
// A driver stand-in for the device layer's unit tests: it records every
// open and request, answers replies with a set block, and plays image reads
// from a script; and a clock that counts waits instead of sleeping.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/device_clock.h"
#include "platform/device_transport.h"
#include "platform/device_wire.h"

namespace pelnik::test {

class CountingClock final : public device::DeviceClock {
 public:
  void sleepMs(int milliseconds) override {
    std::lock_guard<std::mutex> guard(waitsLock_);
    waits_.push_back(milliseconds);
  }
  std::vector<int> waits() const {
    std::lock_guard<std::mutex> guard(waitsLock_);
    return waits_;
  }
  void clear() {
    std::lock_guard<std::mutex> guard(waitsLock_);
    waits_.clear();
  }

 private:
  mutable std::mutex waitsLock_;  // guards waits_
  std::vector<int> waits_;
};

struct FakeRequest {
  platform::DeviceHandle handle;
  std::uint32_t code;
  int pipe;                         // -1 for the time-out request
  std::vector<std::uint8_t> block;  // pipe-0 block, or the time-out request
  std::uint32_t outputLength;
};

// What one image read does.
enum class ImageRead { Full, Short, Fail, WaitForClose };

class FakeTransport final : public platform::DeviceTransport {
 public:
  // Cameras answer at the device paths of these unit characters.
  void present(std::set<char> units) {
    std::lock_guard<std::mutex> guard(stateLock_);
    units_ = std::move(units);
  }
  void failCommands(bool on) {
    std::lock_guard<std::mutex> guard(stateLock_);
    failCommands_ = on;
  }
  void setReply(std::vector<std::uint8_t> leading) {
    std::lock_guard<std::mutex> guard(stateLock_);
    reply_.fill(0);
    std::copy(leading.begin(), leading.end(), reply_.begin());
  }
  // Image reads play these in order; once they are used up reads are Full.
  void scriptImageReads(std::vector<ImageRead> steps) {
    std::lock_guard<std::mutex> guard(stateLock_);
    script_.assign(steps.begin(), steps.end());
  }
  // Image reads wait until fewer frames were served than this.
  void allowFrames(std::uint32_t count) {
    {
      std::lock_guard<std::mutex> guard(stateLock_);
      allowed_ = count;
    }
    changed_.notify_all();
  }

  std::vector<FakeRequest> requests() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return requests_;
  }
  // Pipe-0 blocks cut to their first `bytes` bytes, in order.
  std::vector<std::vector<std::uint8_t>> commands(std::size_t bytes = 6) const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto &r : requests())
      if (r.pipe == 0) out.emplace_back(r.block.begin(), r.block.begin() + bytes);
    return out;
  }
  std::vector<std::string> opens() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return opens_;
  }
  std::size_t openHandles() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return live_.size();
  }
  std::uint32_t framesServed() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return served_;
  }
  void clearLog() {
    std::lock_guard<std::mutex> guard(stateLock_);
    requests_.clear();
    opens_.clear();
  }

  platform::DeviceHandle open(const std::string &devicePath) override {
    std::lock_guard<std::mutex> guard(stateLock_);
    opens_.push_back(devicePath);
    if (devicePath.empty() || !units_.count(devicePath.back())) return platform::kNoDeviceHandle;
    const platform::DeviceHandle handle = nextHandle_++;  // never reused
    live_.insert(handle);
    return handle;
  }

  bool control(platform::DeviceHandle handle, std::uint32_t code, const void *input,
               std::uint32_t inputLength, void *output, std::uint32_t outputLength,
               std::uint32_t &returned) override {
    returned = 0;
    std::unique_lock<std::mutex> guard(stateLock_);
    FakeRequest request{handle, code, -1, {}, outputLength};
    const auto *in = static_cast<const std::uint8_t *>(input);
    if (code == platform::wire::kCodeTimeout) {
      request.block.assign(in, in + inputLength);
    } else {
      request.pipe = static_cast<int>(platform::wire::loadLe32(in));
      if (request.pipe == 0) {
        const auto *out = static_cast<const std::uint8_t *>(output);
        request.block.assign(out, out + outputLength);
      }
    }
    requests_.push_back(request);
    if (!live_.count(handle)) return false;
    if (request.pipe == 0 || request.pipe == 1) {
      if (failCommands_) return false;
      if (request.pipe == 1) std::memcpy(output, reply_.data(), outputLength);
      returned = outputLength;
      return true;
    }
    if (request.pipe != 2) return true;
    ImageRead step = ImageRead::Full;
    if (!script_.empty()) {
      step = script_.front();
      script_.pop_front();
    }
    // Every read waits its turn: a stalled camera answers nothing at all.
    if (step != ImageRead::WaitForClose)
      changed_.wait(guard, [&] { return served_ < allowed_ || !live_.count(handle); });
    if (!live_.count(handle)) return false;
    switch (step) {
      case ImageRead::Fail:
        return false;
      case ImageRead::Short:
        returned = outputLength / 2;
        return true;
      case ImageRead::WaitForClose:
        changed_.wait(guard, [&] { return !live_.count(handle); });
        return false;
      case ImageRead::Full:
        ++served_;
        // Every frame carries its number in its first four bytes.
        std::memset(output, 0, outputLength);
        std::memcpy(output, &served_, sizeof served_);
        returned = outputLength;
        return true;
    }
    return false;
  }

  void close(platform::DeviceHandle handle) override {
    {
      std::lock_guard<std::mutex> guard(stateLock_);
      live_.erase(handle);
    }
    changed_.notify_all();
  }

 private:
  mutable std::mutex stateLock_;  // guards every field below
  std::condition_variable changed_;
  std::set<char> units_;
  bool failCommands_ = false;
  std::array<std::uint8_t, 64> reply_{};
  std::deque<ImageRead> script_;
  std::uint32_t allowed_ = 0xFFFFFFFFu;
  std::uint32_t served_ = 0;
  std::vector<FakeRequest> requests_;
  std::vector<std::string> opens_;
  std::set<platform::DeviceHandle> live_;
  platform::DeviceHandle nextHandle_ = 1;
};

}  // namespace pelnik::test
