#include "record.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

namespace capture {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMovieHeaderBytes = 232;

const char *endText(int how) {
  switch (how) {
    case PELNIK_RECORD_END_DURATION:
      return "duration reached";
    case PELNIK_RECORD_END_STOPPED:
      return "stopped";
    case PELNIK_RECORD_END_WRITE_FAILED:
      return "write failed";
    case PELNIK_RECORD_END_SIZE_LIMIT:
      return "file size limit";
    case PELNIK_RECORD_END_CAMERA_LOST:
      return "camera lost";
    case PELNIK_RECORD_END_PICTURE_CHANGED:
      return "picture size changed";
    default:
      return "unknown";
  }
}

std::uint32_t readU32(const std::vector<unsigned char> &bytes, std::size_t offset) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[offset + static_cast<std::size_t>(i)];
  return v;
}

struct Progress {
  double totalSeconds = 0;
  std::uint64_t frameChunkBytes = 0;  // one frame with its chunk header
  std::uint32_t framesBefore = 0;     // in the parts already finished
  std::uint64_t bytesBefore = 0;
};

void drawProgress(const Progress &p, double elapsed, const std::string &current) {
  const std::uint64_t bytes = fileBytes(current);
  const std::uint64_t frames =
      bytes > kMovieHeaderBytes ? (bytes - kMovieHeaderBytes) / p.frameChunkBytes : 0;
  constexpr int kBarWidth = 30;
  const double share = p.totalSeconds > 0 ? std::min(1.0, elapsed / p.totalSeconds) : 0;
  const int filled = static_cast<int>(share * kBarWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kBarWidth, '-');
  std::printf("\r[%s] %6.1f / %.1f s  frames %6llu  %8.1f MB ", bar.c_str(), elapsed,
              p.totalSeconds, static_cast<unsigned long long>(p.framesBefore + frames),
              double(p.bytesBefore + bytes) / 1e6);
  std::fflush(stdout);
}

}  // namespace

std::string recordingPartName(const std::string &file, int part) {
  if (part == 0) return file;
  std::string stem = file, extension;
  const auto slash = file.find_last_of('/');
  const auto dot = file.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    stem = file.substr(0, dot);
    extension = file.substr(dot);
  }
  char number[16];
  std::snprintf(number, sizeof number, "-%03d", part);
  return stem + number + extension;
}

MovieSummary readMovieSummary(const std::string &path) {
  MovieSummary summary;
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> header(kMovieHeaderBytes);
  if (!in.read(reinterpret_cast<char *>(header.data()), std::streamsize(header.size())))
    return summary;
  const std::uint32_t scale = readU32(header, 128);
  const std::uint32_t rate = readU32(header, 132);
  summary.valid = std::equal(header.begin(), header.begin() + 4, "RIFF") && scale != 0;
  summary.frames = readU32(header, 48);
  summary.framesPerSecond = scale ? double(rate) / double(scale) : 0;
  summary.bytes = fileBytes(path);
  return summary;
}

int record(CameraSession &camera, const Options &o) {
  const double seconds = o.seconds.value_or(3.0);
  const auto totalMs = static_cast<std::uint64_t>(seconds * 1000.0 + 0.5);
  const bool live = !o.quiet && stdoutIsTerminal();
  const std::uint64_t frameBytes = std::uint64_t((Pelnik_Width(camera.handle()) * 3 + 3) & ~3) *
                                   std::uint64_t(Pelnik_Height(camera.handle()));
  Progress progress{seconds, frameBytes + 8, 0, 0};
  std::vector<std::string> parts;
  const auto start = Clock::now();
  int result = 0;
  for (int part = 0;; ++part) {
    const auto elapsedMs = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    const std::uint64_t leftMs = totalMs > elapsedMs ? totalMs - elapsedMs : 0;
    const std::string path = recordingPartName(o.recordFile, part);
    if (!Pelnik_Record(camera.handle(), path.c_str(), static_cast<int>(leftMs), 0)) {
      std::fprintf(stderr, "\npelnik-capture: %s\n",
                   fileFailure(path, camera.drainErrors()).c_str());
      result = kExitFailure;
      break;
    }
    parts.push_back(path);
    // The recording times itself; wait for its end message, well past the
    // time it should take.
    const auto giveUp = Clock::now() + std::chrono::milliseconds(leftMs) + std::chrono::seconds(20);
    int how = 0;
    std::uint32_t frames = 0;
    while (how == 0 && Clock::now() < giveUp) {
      WindowMessage m;
      if (camera.ownerMessages().next(m, 100) == 1 && m.message == PELNIK_WM_RECORD_END) {
        how = static_cast<int>(m.wParam);
        frames = static_cast<std::uint32_t>(m.lParam);
      }
      if (live)
        drawProgress(progress, std::chrono::duration<double>(Clock::now() - start).count(), path);
    }
    if (how == 0) {
      Pelnik_StopPreview(camera.handle());
      std::fprintf(stderr, "\npelnik-capture: the recording did not end in time\n");
      result = kExitCameraLost;
      break;
    }
    progress.framesBefore += frames;
    progress.bytesBefore += fileBytes(path);
    if (how == PELNIK_RECORD_END_SIZE_LIMIT) continue;  // on into the next file
    if (how != PELNIK_RECORD_END_DURATION) {
      std::fprintf(stderr, "\npelnik-capture: recording ended: %s: %s\n", endText(how),
                   how == PELNIK_RECORD_END_WRITE_FAILED
                       ? fileFailure(path, camera.drainErrors()).c_str()
                       : camera.drainErrors().c_str());
      result = how == PELNIK_RECORD_END_CAMERA_LOST ? kExitCameraLost : kExitFailure;
    }
    break;
  }
  Pelnik_StopPreview(camera.handle());
  if (live) std::printf("\n");
  for (const auto &path : parts) {
    const MovieSummary s = readMovieSummary(path);
    if (!s.valid) {
      std::printf("%s: not a finished movie\n", path.c_str());
      result = 1;
      continue;
    }
    std::printf("wrote %s: %u frames, %.2f fps measured, %.1f MB\n", path.c_str(), s.frames,
                s.framesPerSecond, double(s.bytes) / 1e6);
  }
  return result;
}

}  // namespace capture
