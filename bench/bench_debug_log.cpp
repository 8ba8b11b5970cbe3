// What the diagnostic log costs: a driver command round trip through an
// in-process transport that answers at once (so the log's share is not
// hidden behind a socket), with the log off and with the device area on
// (lines to /dev/null), and one error raise off and on.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "camera/error_history.h"
#include "device/driver_link.h"
#include "platform/debug_log.h"

namespace {

using namespace pelnik;

class InstantTransport final : public platform::DeviceTransport {
 public:
  platform::DeviceHandle open(const std::string &) override { return 1; }
  bool control(platform::DeviceHandle, std::uint32_t, const void *, std::uint32_t, void *,
               std::uint32_t outputLength, std::uint32_t &returned) override {
    returned = outputLength;
    return true;
  }
  void close(platform::DeviceHandle) override {}
};

// Standard error goes to /dev/null while a benchmark writes lines.
class QuietStderr {
 public:
  QuietStderr() : saved_(::dup(STDERR_FILENO)) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
  ~QuietStderr() {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

void commandRoundTrip(benchmark::State &state, std::uint32_t areas) {
  QuietStderr quiet;
  platform::setDebugAreas(areas);
  InstantTransport transport;
  const device::DriverLink link(transport);
  const device::CommandBlock block{0x25, 0x0B, 0x01};
  for (auto _ : state) benchmark::DoNotOptimize(link.sendCommand(1, block));
  platform::setDebugAreas(0);
}

void BM_DriverCommandLogOff(benchmark::State &state) { commandRoundTrip(state, 0); }
void BM_DriverCommandLogOtherArea(benchmark::State &state) {
  commandRoundTrip(state, static_cast<std::uint32_t>(platform::DebugArea::Chain));
}
void BM_DriverCommandLogOn(benchmark::State &state) {
  commandRoundTrip(state, static_cast<std::uint32_t>(platform::DebugArea::Device));
}
BENCHMARK(BM_DriverCommandLogOff);
BENCHMARK(BM_DriverCommandLogOtherArea);
BENCHMARK(BM_DriverCommandLogOn);

void raiseErrors(benchmark::State &state, std::uint32_t areas) {
  QuietStderr quiet;
  platform::setDebugAreas(areas);
  ErrorHistory history;
  for (auto _ : state) benchmark::DoNotOptimize(history.raise(12));
  platform::setDebugAreas(0);
}
void BM_RaiseErrorLogOff(benchmark::State &state) { raiseErrors(state, 0); }
void BM_RaiseErrorLogOn(benchmark::State &state) {
  raiseErrors(state, static_cast<std::uint32_t>(platform::DebugArea::Errors));
}
BENCHMARK(BM_RaiseErrorLogOff);
BENCHMARK(BM_RaiseErrorLogOn);

}  // namespace

BENCHMARK_MAIN();
