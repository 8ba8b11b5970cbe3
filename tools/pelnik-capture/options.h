#pragma once
// Command line of pelnik-capture.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace capture {

enum class Command { Stream, List, Snapshot, Trigger, Record, SettingsShow, SettingsReset, Help };

struct Window {
  int x = 0, y = 0, width = 1280, height = 1024;
};

struct Options {
  Command command = Command::Stream;
  bool virtualCamera = false;
  bool demo = false;
  int camera = 0;
  std::optional<int> colorBits;  // 8, 16, 24, 32, 48, 64
  std::optional<Window> window;
  std::optional<int> subsample;
  std::optional<int> exposureLines;
  std::optional<int> exposureMicroseconds;
  std::optional<int> gain;
  std::optional<int> mirrorV, mirrorH;
  std::optional<int> autoIris;
  std::optional<int> waitTime;
  std::vector<std::pair<std::string, int>> filterValues;  // --set NAME=VALUE
  std::optional<int> frames;
  std::optional<double> seconds;
  int count = 1;  // snapshots or triggered pictures
  std::string outputDir;
  std::string saveFile;
  std::string recordFile;                // record FILE
  std::vector<std::string> saveFormats;  // bmp, raw, jpeg100, ..., tiff
  bool quiet = false;
};

// Parses argv; on error returns nullopt and fills `error`.
std::optional<Options> parseOptions(int argc, char **argv, std::string &error);
std::string usage();

// Format names of --format and their codes for Pelnik_SaveImage.
int formatCode(const std::string &name);  // -1 when unknown
std::string formatExtension(const std::string &name);
const std::vector<std::string> &allFormats();
// The format a file name's suffix asks for; empty when the suffix names none.
std::string formatForFile(const std::string &path);

}  // namespace capture
