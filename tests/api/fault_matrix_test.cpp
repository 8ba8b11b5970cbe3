// The fault matrix for the C acquisition modes: each mode runs against a
// virtual camera that develops one fault, then heals. Whatever the fault,
// every call returns within the documented waits, only the documented codes
// are raised, nothing crashes, and once the camera heals the same camera
// object delivers pictures again in the same process. Each case prints one
// "fault-matrix |" row for the notes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "api/exports_camera_support.h"
#include "support/test_environment.h"

namespace pelnik::test {
namespace {

using Clock = std::chrono::steady_clock;
using virtcam::ControlAction;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
// The longest a call may block: the frame wait (6 s) or the trigger time
// limit (3 s) plus the camera's own read time-out (3 s), with room for a
// loaded machine.
constexpr auto kCallLimit = std::chrono::seconds(10);
// How long the fault is given to show itself before the camera heals.
constexpr int kFaultObservationMs = 2500;

enum class Mode { Callback, Preview, SnapshotSeries, Trigger, Recording };
enum class Fault { UnplugReplug, Stall, OneShortRead, EveryReadShort, FailingCommands };

const char *modeName(Mode m) {
  switch (m) {
    case Mode::Callback:
      return "callback";
    case Mode::Preview:
      return "preview";
    case Mode::SnapshotSeries:
      return "snapshot series";
    case Mode::Recording:
      return "recording";
    default:
      return "trigger";
  }
}

const char *faultName(Fault f) {
  switch (f) {
    case Fault::UnplugReplug:
      return "unplug+replug";
    case Fault::Stall:
      return "stall";
    case Fault::OneShortRead:
      return "one short read";
    case Fault::EveryReadShort:
      return "every read short";
    default:
      return "failing commands";
  }
}

struct Case {
  Mode mode;
  Fault fault;
};

std::string caseName(const ::testing::TestParamInfo<Case> &info) {
  std::string name = std::string(modeName(info.param.mode)) + "_" + faultName(info.param.fault);
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class FaultMatrix : public CameraTest, public ::testing::WithParamInterface<Case> {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
    // No preview window in any mode: pictures are counted, not shown.
    ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, PelnikWindow{}, 0, 0, 0, 0), 1);
    buffer_.assign(std::size_t(kWidth) * kHeight, 0);
  }

  // Times one call and keeps the longest.
  template <class Call>
  int timed(Call &&call) {
    const auto start = Clock::now();
    const int result = call();
    longest_ = std::max(longest_, Clock::now() - start);
    return result;
  }

  int size() const { return static_cast<int>(buffer_.size()); }

  bool start() {
    switch (GetParam().mode) {
      case Mode::Callback:
        return timed([&] {
                 return Pelnik_CallBackPreview(handle_, callback_.window(), buffer_.data(), size(),
                                               1);
               }) == 1;
      case Mode::Trigger:
        return timed([&] {
                 return Pelnik_Trigger(handle_, callback_.window(), buffer_.data(), size(), 1);
               }) == 1;
      case Mode::Preview:
        // No preview window: the pictures are read back with GetImage.
        return timed([&] { return Pelnik_Preview(handle_); }) == 1;
      case Mode::Recording: {
        // A new file for every start: until stopped, no preview window.
        moviePath_ = isolationRoot() + "/fault-matrix-" + std::to_string(++recordings_) + ".avi";
        recordedBytes_ = 0;
        return timed([&] { return Pelnik_Record(handle_, moviePath_.c_str(), -1, 0); }) == 1;
      }
      default:
        return true;
    }
  }

  // One picture through the mode within its waits.
  bool picture(int waitMs) {
    switch (GetParam().mode) {
      case Mode::SnapshotSeries:
        return timed([&] { return Pelnik_SnapShot(handle_, buffer_.data(), size(), 1); }) == 1;
      case Mode::Preview:
      case Mode::Recording:
        return grows(waitMs);
      case Mode::Trigger:
        unit().trigger();
        [[fallthrough]];
      default: {
        const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
        while (Clock::now() < until) {
          const auto m = callback_.next(100);
          if (!m) continue;
          if (m->message == kFrameMessage && m->wParam != 0) return true;
          if (m->message == kFrameMessage) frameErrors_.insert(long(m->lParam));
        }
        return false;
      }
    }
  }

  // Preview: the camera delivered a frame and GetImage reads a picture.
  // Recording: the movie grew by a frame.
  bool grows(int waitMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
    const std::uint64_t framesBefore = unit().framesDelivered();
    do {
      if (GetParam().mode == Mode::Recording) {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(moviePath_, error);
        if (!error && bytes > recordedBytes_ + std::uint64_t(kWidth) * kHeight) {
          recordedBytes_ = bytes;
          return true;
        }
      } else if (unit().framesDelivered() > framesBefore) {
        return timed([&] { return Pelnik_GetImage(handle_, buffer_.data(), size(), 1); }) == 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < until);
    return false;
  }

  void stop() {
    if (GetParam().mode != Mode::SnapshotSeries) timed([&] { return Pelnik_StopPreview(handle_); });
  }

  void inject() {
    switch (GetParam().fault) {
      case Fault::UnplugReplug:
        ASSERT_TRUE(virtual_->apply(ControlAction::Unplug, 0));
        break;
      case Fault::Stall:
        ASSERT_TRUE(virtual_->apply(ControlAction::Stall, 0));
        break;
      case Fault::OneShortRead:
        ASSERT_TRUE(virtual_->apply(ControlAction::ShortRead, 0));
        break;
      case Fault::EveryReadShort:
        ASSERT_TRUE(virtual_->apply(ControlAction::ShortReads, 0));
        break;
      case Fault::FailingCommands:
        ASSERT_TRUE(virtual_->apply(ControlAction::FailCommands, 0));
        break;
    }
  }

  void heal() { ASSERT_TRUE(virtual_->apply(ControlAction::Heal, 0)); }

  MessageTarget callback_;
  std::vector<unsigned char> buffer_;
  Clock::duration longest_{};
  std::set<long> frameErrors_;
  std::string moviePath_;
  std::uintmax_t recordedBytes_ = 0;
  int recordings_ = 0;
};

TEST_P(FaultMatrix, DocumentedCodesBoundedWaitsAndUsableAfterHealing) {
  ASSERT_TRUE(start());
  ASSERT_TRUE(picture(5000)) << "no picture before the fault";
  popErrors(handle_);

  inject();
  int delivered = 0;
  const auto faultEnds = Clock::now() + std::chrono::milliseconds(kFaultObservationMs);
  while (Clock::now() < faultEnds)
    if (picture(300)) ++delivered;
  const std::vector<int> faultCodes = popErrors(handle_);

  heal();
  // A mode that ended on the fault is started again, as an application
  // that saw the error would.
  stop();
  bool recovered = false;
  const auto healDeadline = Clock::now() + std::chrono::seconds(15);
  while (!recovered && Clock::now() < healDeadline) {
    if (!start()) continue;
    recovered = picture(3000);
    if (!recovered) stop();
  }
  stop();
  owner_.drain();

  std::string codes;
  for (int c : std::set<int>(faultCodes.begin(), faultCodes.end()))
    codes += (codes.empty() ? "" : ",") + std::to_string(c);
  for (long c : frameErrors_) codes += " msg" + std::to_string(c);
  std::printf(
      "fault-matrix | %-15s | %-16s | %3d pictures | codes %-12s | longest call %5lld ms "
      "| %s\n",
      modeName(GetParam().mode), faultName(GetParam().fault), delivered,
      codes.empty() ? "-" : codes.c_str(),
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(longest_).count()),
      recovered ? "recovered" : "NOT recovered");

  EXPECT_TRUE(recovered) << "the camera object did not deliver again after healing";
  EXPECT_LE(longest_, kCallLimit);
  // Acquisition failed, camera stopped, device input/output; wrong state (1)
  // only where a stopped loop is asked again.
  const std::set<int> documented{PELNIK_ERR_NO_DEVICE, PELNIK_ERR_IO, PELNIK_ERR_ACQUISITION,
                                 PELNIK_ERR_STOPPED};
  for (int code : faultCodes) EXPECT_TRUE(documented.count(code)) << "undocumented code " << code;
  for (long code : frameErrors_)
    EXPECT_TRUE(documented.count(int(code))) << "frame message " << code;
}

std::vector<Case> allCases() {
  std::vector<Case> cases;
  for (Mode m :
       {Mode::Callback, Mode::Preview, Mode::SnapshotSeries, Mode::Trigger, Mode::Recording})
    for (Fault f : {Fault::UnplugReplug, Fault::Stall, Fault::OneShortRead, Fault::EveryReadShort,
                    Fault::FailingCommands})
      cases.push_back({m, f});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(CModes, FaultMatrix, ::testing::ValuesIn(allCases()), caseName);

}  // namespace
}  // namespace pelnik::test
