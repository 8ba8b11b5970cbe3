#include "virtcam/camera_unit.h"

#include <algorithm>
#include <cstdio>

#include "platform/device_wire.h"

namespace pelnik::virtcam {

namespace wire = platform::wire;

namespace {

// How often a waiting read looks whether its client has gone.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

std::vector<std::uint8_t> seededSrom(int cameraNumber) {
  std::vector<std::uint8_t> srom(0x10000, 0xFF);
  // A serial-number-like identity: model letters, the camera number, then
  // bytes of a per-camera sequence.
  const char model[] = "PNK5M";
  for (int i = 0; i < 5; ++i) srom[platform::srom::kIdentityBase + i] = std::uint8_t(model[i]);
  srom[platform::srom::kIdentityBase + 5] = std::uint8_t(cameraNumber);
  std::uint32_t x = 0x9E3779B9u * std::uint32_t(cameraNumber + 1);
  for (int i = 6; i < 256; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    srom[platform::srom::kIdentityBase + i] = std::uint8_t(x);
  }
  srom[platform::srom::kSensorVariant] = std::uint8_t(1 + (cameraNumber & 1));
  return srom;
}

CameraUnit::CameraUnit(int cameraNumber, CameraOptions options)
    : number_(cameraNumber),
      options_(std::move(options)),
      scene_(options_.scene ? options_.scene : makeTestChart()),
      epoch_(Clock::now()),
      log_(options_.logCapacity),
      registers_(CameraRegisters::powerUp()),
      srom_(seededSrom(cameraNumber)) {}

CameraReply CameraUnit::handle(const CameraRequest &request, CameraConnection &connection) {
  ProtocolRecord record;
  record.connection = connection.id();
  record.code = request.code;
  record.outputLength = request.outputLength;
  const bool pipeTransfer = request.code == wire::kCodePipeIn || request.code == wire::kCodePipeOut;
  if (pipeTransfer && request.input.size() == 4)
    record.pipe = int(wire::loadLe32(request.input.data()));
  if (record.pipe == 0) record.block.assign(request.outbound.begin(), request.outbound.end());
  if (request.code == wire::kCodeTimeout)
    record.block.assign(request.input.begin(), request.input.end());

  Outcome outcome;
  try {
    outcome = dispatch(request, record.pipe, connection);
  } catch (const std::exception &e) {  // e.g. a frame buffer that cannot be had
    outcome = Outcome{};
    outcome.failure = std::string("internal: ") + e.what();
  }
  if (!outcome.succeeded) {
    outcome.returned = 0;
    outcome.payload = {};
  }
  record.succeeded = outcome.succeeded;
  record.returned = outcome.returned;
  record.protocolError = outcome.protocolError;
  record.failure = outcome.failure;
  record.completedAt = Clock::now();
  if (!record.protocolError.empty() && options_.reportProtocolError)
    options_.reportProtocolError("camera " + std::to_string(number_) +
                                 ": protocol error: " + record.protocolError);
  log_.append(std::move(record));
  return {outcome.succeeded, outcome.returned, outcome.payload};
}

CameraUnit::Outcome CameraUnit::dispatch(const CameraRequest &request, int pipe,
                                         CameraConnection &connection) {
  Outcome bad;
  if (request.code == wire::kCodeTimeout) {
    if (request.input.size() != wire::kTimeoutRequestBytes) {
      bad.protocolError =
          "time-out request of " + std::to_string(request.input.size()) + " bytes (44 expected)";
      return bad;
    }
    if (wire::loadLe32(request.input.data()) != 1) {
      bad.protocolError = "time-out request whose first word is not 1";
      return bad;
    }
    if (request.outputLength != 0) {
      bad.protocolError = "time-out request with an output buffer";
      return bad;
    }
    std::lock_guard lock(stateLock_);
    if (unplugged_) return Outcome{false, 0, {}, {}, "unplugged"};
    if (failCommands_) return Outcome{false, 0, {}, {}, "fault: failing command transfers"};
    timeoutRequestMs_ = std::int32_t(wire::loadLe32(request.input.data() + 4));
    return Outcome{true, 0, {}, {}, {}};
  }
  if (request.code != wire::kCodePipeIn && request.code != wire::kCodePipeOut) {
    bad.protocolError = "unknown control code " + hex(request.code);
    return bad;
  }
  if (request.input.size() != 4) {
    bad.protocolError = "pipe word of " + std::to_string(request.input.size()) + " bytes";
    return bad;
  }
  switch (pipe) {
    case 0:
      if (request.outbound.size() != wire::kBlockBytes ||
          request.outputLength != wire::kBlockBytes) {
        bad.protocolError = "command block of " + std::to_string(request.outputLength) + " bytes";
        return bad;
      }
      return executeCommand(request.outbound, connection);
    case 1: {
      if (request.code != wire::kCodePipeOut) {
        bad.protocolError = "reply pipe read with code " + hex(request.code);
        return bad;
      }
      if (request.outputLength != wire::kBlockBytes) {
        bad.protocolError = "reply read of " + std::to_string(request.outputLength) + " bytes";
        return bad;
      }
      std::lock_guard lock(stateLock_);
      if (unplugged_) return Outcome{false, 0, {}, {}, "unplugged"};
      if (failCommands_) return Outcome{false, 0, {}, {}, "fault: failing command transfers"};
      connection.reply_ = replyBlock_;
      return Outcome{true, wire::kBlockBytes, connection.reply_, {}, {}};
    }
    case 2:
      if (request.code != wire::kCodePipeIn) {
        bad.protocolError = "image pipe read with code " + hex(request.code);
        return bad;
      }
      if (request.outputLength == 0) {
        bad.protocolError = "image read of 0 bytes";
        return bad;
      }
      return readImage(request.outputLength, connection);
    default:
      bad.protocolError = "unknown pipe " + std::to_string(pipe);
      return bad;
  }
}

CameraUnit::Outcome CameraUnit::executeCommand(std::span<const std::uint8_t> b,
                                               CameraConnection &) {
  namespace cmd = wire::command;
  Outcome bad;
  auto malformed = [&](const std::string &why) {
    bad.protocolError = "command " + hex(b[0]) + ": " + why;
    return bad;
  };
  // Validate first, so a malformed block changes nothing.
  switch (b[0]) {
    case cmd::kTransferReset:
    case cmd::kFrameRequest:
    case cmd::kTransferLength:
    case cmd::kFpgaWrite:
    case cmd::kFpgaRead:
      break;
    case cmd::kSensorRegister:
      if (b[1] != cmd::kSensorRegisterSelect)
        return malformed("second byte is not " + hex(cmd::kSensorRegisterSelect));
      break;
    case cmd::kPixelWidthSetup:
      if (b[1] != cmd::kPixelWidthSetupArgument)
        return malformed("second byte is not " + hex(cmd::kPixelWidthSetupArgument));
      break;
    case cmd::kSromWrite:
      if (b[1] != cmd::kSromSelect || b[2] != cmd::kSromWriteMode)
        return malformed("not followed by " + hex(cmd::kSromSelect) + ", " +
                         hex(cmd::kSromWriteMode));
      break;
    case cmd::kSromRead:
      if (b[1] != cmd::kSromSelect || b[2] != cmd::kSromReadMode || b[3] != cmd::kSromReadCount)
        return malformed("not followed by " + hex(cmd::kSromSelect) + ", " +
                         hex(cmd::kSromReadMode) + ", " + hex(cmd::kSromReadCount));
      break;
    default:
      return malformed("unknown command");
  }

  std::lock_guard lock(stateLock_);
  if (unplugged_) return Outcome{false, 0, {}, {}, "unplugged"};
  if (failCommands_) return Outcome{false, 0, {}, {}, "fault: failing command transfers"};
  switch (b[0]) {
    case cmd::kTransferReset:  // image transfer reset: forget a frame request not yet read
      pendingFrameRequest_.reset();
      break;
    case cmd::kFrameRequest:
      if (!pendingFrameRequest_) pendingFrameRequest_ = Clock::now();
      break;
    case cmd::kSensorRegister:
      if (b[2] & cmd::kSensorWrite) {
        registers_.sensor[b[2] & 0x7F] = std::uint16_t(b[3] << 8 | b[4]);
      } else {
        const std::uint16_t value = registers_.sensor[b[2] & 0x7F];
        replyBlock_.fill(0);
        replyBlock_[0] = std::uint8_t(value >> 8);
        replyBlock_[1] = std::uint8_t(value);
      }
      break;
    case cmd::kTransferLength:
      frameLengthCommand_ = wire::loadLe32(b.data() + 1);
      break;
    case cmd::kPixelWidthSetup:
      break;  // transfer set-up for the pixel width: nothing to keep
    case cmd::kFpgaWrite:
      registers_.fpga[b[1]] = b[2];
      break;
    case cmd::kFpgaRead:
      replyBlock_.fill(0);
      replyBlock_[0] = registers_.fpga[b[1]];
      break;
    case cmd::kSromWrite:
      srom_[std::size_t(b[3]) << 8 | b[4]] = b[5];
      break;
    case cmd::kSromRead:
      replyBlock_.fill(0);
      replyBlock_[0] = srom_[std::size_t(b[4]) << 8 | b[5]];
      break;
  }
  stateChanged_.notify_all();
  return Outcome{true, wire::kBlockBytes, {}, {}, {}};
}

Clock::duration CameraUnit::framePeriod() const {
  if (!options_.sensorTiming) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(registers_.framePeriodMs()));
}

// When the frame a read waits for is complete, if it is under way. Free
// running, the sensor turns out a frame every period; a read gets the first
// one that ends after its frame request, so back-to-back requests stream at
// the sensor's rate. In trigger mode the frame is exposed and read out after
// a latched software trigger or the next periodic one.
std::optional<Clock::time_point> CameraUnit::frameReadyAt(Clock::time_point readStart,
                                                          Clock::time_point requested,
                                                          Clock::time_point now) {
  const Clock::duration period = framePeriod();
  if (!registers_.triggerMode()) {
    if (period == Clock::duration::zero()) return std::max(requested, lastFrameReady_);
    const auto since = requested - lastFrameReady_;
    const auto frames =
        since <= Clock::duration::zero() ? 1 : (since + period - Clock::duration(1)) / period;
    return lastFrameReady_ + std::max<decltype(frames)>(frames, 1) * period;
  }
  if (pendingTrigger_) {
    const auto at = *pendingTrigger_;
    pendingTrigger_.reset();
    return std::max(at, lastFrameReady_) + period;
  }
  if (options_.triggerPeriodMs > 0) {
    const auto every = std::chrono::milliseconds(options_.triggerPeriodMs);
    const auto ticks = (readStart - epoch_ + every - Clock::duration(1)) / every;
    const auto tick = epoch_ + ticks * every;
    if (now >= tick) return std::max(tick, lastFrameReady_) + period;
  }
  return std::nullopt;
}

CameraUnit::Outcome CameraUnit::readImage(std::uint32_t length, CameraConnection &connection) {
  const auto readStart = Clock::now();
  std::unique_lock lock(stateLock_);
  const auto timeout = std::chrono::milliseconds(readTimeoutLockedMs());
  const auto deadline = readStart + timeout;
  const auto requested = pendingFrameRequest_.value_or(readStart);
  pendingFrameRequest_.reset();
  std::optional<Clock::time_point> readyAt;
  for (;;) {
    if (stopping_ || unplugged_) return Outcome{false, 0, {}, {}, "unplugged"};
    const auto now = Clock::now();
    if (!stalled_) {
      if (!readyAt) {
        if ((readyAt = frameReadyAt(readStart, requested, now))) {
          if (options_.maxFrameRate > 0)
            readyAt = std::max(
                *readyAt,
                lastDelivery_ + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(1.0 / options_.maxFrameRate)));
        }
      }
      if (readyAt && now >= *readyAt) break;
    }
    // A frame under way is finished; only a read still without one times out.
    const bool waitingForStart = stalled_ || !readyAt;
    if (waitingForStart && now >= deadline) return Outcome{false, 0, {}, {}, "time-out"};
    lock.unlock();
    const bool gone = connection.clientGone();
    lock.lock();
    if (gone) return Outcome{false, 0, {}, {}, "connection closed"};
    auto wake = now + kWaitSlice;
    if (waitingForStart)
      wake = std::min(wake, deadline);
    else
      wake = std::min(wake, *readyAt);
    stateChanged_.wait_until(lock, wake);
  }

  const auto transferBytes = registers_.layout().transferBytes();
  std::uint32_t bytes = std::uint32_t(std::min<std::uint64_t>(length, transferBytes));
  if (shortNextRead_ || shortReads_) {
    shortNextRead_ = false;
    bytes /= 2;
  }
  lastFrameReady_ = *readyAt;
  lastDelivery_ = Clock::now();
  FrameSettings settings;
  settings.registers = registers_;
  settings.frameNumber = std::uint32_t(++framesDelivered_);
  settings.camera = number_;
  settings.noise = options_.noise;
  lock.unlock();

  // Rendering needs no camera state, so other requests go on meanwhile.
  connection.frame_.resize(bytes);
  connection.renderer_.render(settings, connection.frame_);
  return Outcome{true, bytes, connection.frame_, {}, {}};
}

void CameraUnit::recordStreamError(std::uint64_t connection, const std::string &what) {
  ProtocolRecord record;
  record.connection = connection;
  record.protocolError = what;
  record.completedAt = Clock::now();
  if (options_.reportProtocolError)
    options_.reportProtocolError("camera " + std::to_string(number_) + ": protocol error: " + what);
  log_.append(std::move(record));
}

void CameraUnit::setUnplugged(bool unplugged) {
  std::lock_guard lock(stateLock_);
  unplugged_ = unplugged;
  stateChanged_.notify_all();
}

bool CameraUnit::unplugged() const {
  std::lock_guard lock(stateLock_);
  return unplugged_;
}

void CameraUnit::setFault(Fault fault, bool on) {
  std::lock_guard lock(stateLock_);
  switch (fault) {
    case Fault::Stall:
      stalled_ = on;
      break;
    case Fault::ShortNextRead:
      shortNextRead_ = on;
      break;
    case Fault::ShortReads:
      shortReads_ = on;
      break;
    case Fault::FailCommands:
      failCommands_ = on;
      break;
  }
  stateChanged_.notify_all();
}

void CameraUnit::heal() {
  std::lock_guard lock(stateLock_);
  stalled_ = shortNextRead_ = shortReads_ = failCommands_ = false;
  stateChanged_.notify_all();
}

void CameraUnit::apply(ControlAction action) {
  switch (action) {
    case ControlAction::Stall:
    case ControlAction::Resume:
      setFault(Fault::Stall, action == ControlAction::Stall);
      break;
    case ControlAction::Trigger:
      trigger();
      break;
    case ControlAction::ShortRead:
      setFault(Fault::ShortNextRead, true);
      break;
    case ControlAction::ShortReads:
      setFault(Fault::ShortReads, true);
      break;
    case ControlAction::FailCommands:
      setFault(Fault::FailCommands, true);
      break;
    case ControlAction::Heal:
      heal();
      break;
    case ControlAction::Unplug:
    case ControlAction::Plug:
      break;
  }
}

void CameraUnit::trigger() {
  std::lock_guard lock(stateLock_);
  // One trigger is latched; more before it is used are the same trigger.
  if (!pendingTrigger_) pendingTrigger_ = Clock::now();
  stateChanged_.notify_all();
}

void CameraUnit::shutDown() {
  std::lock_guard lock(stateLock_);
  stopping_ = true;
  stateChanged_.notify_all();
}

CameraRegisters CameraUnit::registers() const {
  std::lock_guard lock(stateLock_);
  return registers_;
}

void CameraUnit::setSensorRegister(int reg, std::uint16_t value) {
  std::lock_guard lock(stateLock_);
  registers_.sensor[std::size_t(reg) & 0x7F] = value;
}

void CameraUnit::setFpgaRegister(int reg, std::uint8_t value) {
  std::lock_guard lock(stateLock_);
  registers_.fpga[std::size_t(reg) & 0xFF] = value;
}

std::uint8_t CameraUnit::sromByte(std::uint16_t address) const {
  std::lock_guard lock(stateLock_);
  return srom_[address];
}

std::uint64_t CameraUnit::framesDelivered() const {
  std::lock_guard lock(stateLock_);
  return framesDelivered_;
}

int CameraUnit::readTimeoutMs() const {
  std::lock_guard lock(stateLock_);
  return readTimeoutLockedMs();
}

int CameraUnit::readTimeoutLockedMs() const {
  return timeoutRequestMs_ > 0 ? timeoutRequestMs_ : options_.defaultReadTimeoutMs;
}

FrameSettings CameraUnit::frameSettings(std::uint32_t frameNumber) const {
  std::lock_guard lock(stateLock_);
  FrameSettings settings;
  settings.registers = registers_;
  settings.frameNumber = frameNumber;
  settings.camera = number_;
  settings.noise = options_.noise;
  return settings;
}

}  // namespace pelnik::virtcam
