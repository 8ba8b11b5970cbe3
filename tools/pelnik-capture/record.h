#pragma once
// The record command: Pelnik_Record into one or more numbered AVI files with
// a progress bar on a terminal.
#include <cstdint>
#include <string>

#include "camera_session.h"
#include "options.h"

namespace capture {

// FILE for part 0, then FILE-001.avi, FILE-002.avi, ... (the extension kept).
std::string recordingPartName(const std::string &file, int part);

// What a finished movie's header says.
struct MovieSummary {
  bool valid = false;
  std::uint32_t frames = 0;
  double framesPerSecond = 0;
  std::uint64_t bytes = 0;
};
MovieSummary readMovieSummary(const std::string &path);

int record(CameraSession &camera, const Options &options);

}  // namespace capture
