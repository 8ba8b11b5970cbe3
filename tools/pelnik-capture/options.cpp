#include "options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace capture {
namespace {

struct FormatName {
  const char *name;
  int code;
  const char *extension;
};

constexpr FormatName kFormats[] = {
    {"bmp", 0, "bmp"},    {"raw", 1, "raw"}, {"jpeg100", 2, "jpg"}, {"jpeg70", 3, "jpg"},
    {"jpeg20", 4, "jpg"}, {"png", 5, "png"}, {"tiff", 6, "tif"},
};

bool parseInt(const std::string &text, int &out) {
  if (text.empty()) return false;
  char *end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (*end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int>(value);
  return true;
}

bool parseWindow(const std::string &text, Window &out) {
  std::stringstream in(text);
  std::string part;
  int values[4];
  for (int i = 0; i < 4; ++i) {
    if (!std::getline(in, part, ',') || !parseInt(part, values[i])) return false;
  }
  if (std::getline(in, part, ',')) return false;
  out = {values[0], values[1], values[2], values[3]};
  return true;
}

}  // namespace

int formatCode(const std::string &name) {
  for (const auto &f : kFormats)
    if (name == f.name) return f.code;
  return -1;
}

std::string formatExtension(const std::string &name) {
  for (const auto &f : kFormats)
    if (name == f.name) return f.extension;
  return "bin";
}

std::string formatForFile(const std::string &path) {
  static const struct {
    const char *suffix;
    const char *format;
  } kSuffixes[] = {{".bmp", "bmp"}, {".raw", "raw"},  {".jpg", "jpeg100"}, {".jpeg", "jpeg100"},
                   {".png", "png"}, {".tif", "tiff"}, {".tiff", "tiff"}};
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return "";
  std::string suffix = path.substr(dot);
  for (auto &c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto &s : kSuffixes)
    if (suffix == s.suffix) return s.format;
  return "";
}

const std::vector<std::string> &allFormats() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const auto &f : kFormats) v.push_back(f.name);
    return v;
  }();
  return names;
}

std::string usage() {
  return "usage: pelnik-capture [COMMAND] [OPTIONS]\n"
         "\n"
         "commands:\n"
         "  stream            continuous capture with a frame message per picture (default)\n"
         "  list              list the cameras present\n"
         "  snapshot          take --count single pictures\n"
         "  trigger           triggered acquisition: --count pictures, one per trigger\n"
         "  record FILE       record an AVI movie for --seconds (default 3); a recording\n"
         "                    longer than one file holds goes on in FILE-001.avi, ...\n"
         "  settings show     print the stored settings of --camera\n"
         "  settings reset    reset the stored settings of --camera to their defaults\n"
         "\n"
         "options:\n"
         "  --virtual             start an embedded virtual camera 0 in this process\n"
         "  --camera N            camera number (default 0)\n"
         "  --color BITS          colour mode: 8, 16, 24, 32, 48 or 64\n"
         "  --window X,Y,W,H      region of interest\n"
         "  --subsample 0|1       halve width and height\n"
         "  --exposure LINES      exposure in sensor lines (alias --exposure-lines)\n"
         "  --exposure-us US      exposure in microseconds\n"
         "  --gain N              global analog gain\n"
         "  --mirror-v 0|1, --mirror-h 0|1\n"
         "  --auto-iris 0|1|2     automatic exposure: 0 off, 1 by exposure time, 2 by gain\n"
         "  --wait-time MS        pause between frames of the preview loop\n"
         "  --set NAME=VALUE      any filter value by name (Gamma=120, Brightness=-20, ...)\n"
         "  --frames N            stop streaming after N frames\n"
         "  --seconds S           stop streaming after S seconds (default 3)\n"
         "  --count N             pictures to take in snapshot and trigger mode (default 1)\n"
         "  --output DIR          write the last picture into DIR as received (a raw buffer\n"
         "                        with its geometry in a .txt); snapshots also as .bmp\n"
         "  --save FILE           save the last picture to FILE through Pelnik_SaveImage, in\n"
         "                        the format of its suffix (.bmp .raw .jpg .png .tif)\n"
         "  --format F            bmp, raw, jpeg100, jpeg70, jpeg20, png, tiff or all\n"
         "                        (may be repeated; overrides the suffix)\n"
         "  --demo                the demo: virtual camera, colour 24, 3 seconds, every format\n"
         "  --quiet               no live status line\n"
         "  --help\n"
         "\n"
         "exit status: 0 success, 1 failure, 2 bad usage, 3 the camera was lost or stalled\n";
}

std::optional<Options> parseOptions(int argc, char **argv, std::string &error) {
  Options o;
  int i = 1;
  auto needValue = [&](const char *flag, std::string &value) {
    if (i + 1 >= argc) {
      error = std::string(flag) + " needs a value";
      return false;
    }
    value = argv[++i];
    return true;
  };
  auto intValue = [&](const char *flag, std::optional<int> &slot) {
    std::string text;
    int v = 0;
    if (!needValue(flag, text)) return false;
    if (!parseInt(text, v)) {
      error = std::string(flag) + ": not a number: " + text;
      return false;
    }
    slot = v;
    return true;
  };
  bool commandSeen = false;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    std::optional<int> tmp;
    std::string text;
    if (!commandSeen && arg.rfind("--", 0) != 0) {
      commandSeen = true;
      if (arg == "stream")
        o.command = Command::Stream;
      else if (arg == "list")
        o.command = Command::List;
      else if (arg == "snapshot")
        o.command = Command::Snapshot;
      else if (arg == "trigger")
        o.command = Command::Trigger;
      else if (arg == "record")
        o.command = Command::Record;
      else if (arg == "settings") {
        if (i + 1 >= argc) {
          error = "settings needs show or reset";
          return std::nullopt;
        }
        const std::string what = argv[++i];
        if (what == "show")
          o.command = Command::SettingsShow;
        else if (what == "reset")
          o.command = Command::SettingsReset;
        else {
          error = "settings needs show or reset, not " + what;
          return std::nullopt;
        }
      } else {
        error = "unknown command: " + arg;
        return std::nullopt;
      }
      continue;
    }
    if (o.command == Command::Record && o.recordFile.empty() && arg.rfind("--", 0) != 0) {
      o.recordFile = arg;
    } else if (arg == "--help" || arg == "-h") {
      o.command = Command::Help;
    } else if (arg == "--virtual") {
      o.virtualCamera = true;
    } else if (arg == "--demo") {
      o.demo = true;
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--camera") {
      if (!intValue("--camera", tmp)) return std::nullopt;
      o.camera = *tmp;
    } else if (arg == "--color") {
      if (!intValue("--color", o.colorBits)) return std::nullopt;
    } else if (arg == "--window") {
      Window w;
      if (!needValue("--window", text)) return std::nullopt;
      if (!parseWindow(text, w)) {
        error = "--window needs X,Y,W,H";
        return std::nullopt;
      }
      o.window = w;
    } else if (arg == "--subsample") {
      if (!intValue("--subsample", o.subsample)) return std::nullopt;
    } else if (arg == "--exposure" || arg == "--exposure-lines") {
      if (!intValue("--exposure", o.exposureLines)) return std::nullopt;
    } else if (arg == "--exposure-us") {
      if (!intValue("--exposure-us", o.exposureMicroseconds)) return std::nullopt;
    } else if (arg == "--gain") {
      if (!intValue("--gain", o.gain)) return std::nullopt;
    } else if (arg == "--mirror-v") {
      if (!intValue("--mirror-v", o.mirrorV)) return std::nullopt;
    } else if (arg == "--mirror-h") {
      if (!intValue("--mirror-h", o.mirrorH)) return std::nullopt;
    } else if (arg == "--auto-iris") {
      if (!intValue("--auto-iris", o.autoIris)) return std::nullopt;
    } else if (arg == "--wait-time") {
      if (!intValue("--wait-time", o.waitTime)) return std::nullopt;
    } else if (arg == "--frames") {
      if (!intValue("--frames", o.frames)) return std::nullopt;
    } else if (arg == "--count") {
      if (!intValue("--count", tmp)) return std::nullopt;
      o.count = *tmp;
    } else if (arg == "--seconds") {
      if (!needValue("--seconds", text)) return std::nullopt;
      char *end = nullptr;
      const double s = std::strtod(text.c_str(), &end);
      if (*end != '\0' || !(s > 0)) {
        error = "--seconds needs a positive number";
        return std::nullopt;
      }
      o.seconds = s;
    } else if (arg == "--set") {
      if (!needValue("--set", text)) return std::nullopt;
      const auto eq = text.find('=');
      int v = 0;
      if (eq == std::string::npos || !parseInt(text.substr(eq + 1), v)) {
        error = "--set needs NAME=VALUE";
        return std::nullopt;
      }
      o.filterValues.emplace_back(text.substr(0, eq), v);
    } else if (arg == "--output") {
      if (!needValue("--output", o.outputDir)) return std::nullopt;
    } else if (arg == "--save") {
      if (!needValue("--save", o.saveFile)) return std::nullopt;
    } else if (arg == "--format") {
      if (!needValue("--format", text)) return std::nullopt;
      if (text == "all") {
        o.saveFormats = allFormats();
      } else if (formatCode(text) < 0) {
        error = "unknown format: " + text;
        return std::nullopt;
      } else {
        o.saveFormats.push_back(text);
      }
    } else {
      error = "unknown option: " + arg;
      return std::nullopt;
    }
  }
  if (o.demo) {
    o.virtualCamera = true;
    if (!o.colorBits) o.colorBits = 24;
    if (!o.seconds && !o.frames) o.seconds = 3.0;
    if (o.outputDir.empty()) o.outputDir = "demo-output";
    if (o.saveFormats.empty()) o.saveFormats = allFormats();
  }
  if (o.command == Command::Record && o.recordFile.empty()) {
    error = "record needs a file name";
    return std::nullopt;
  }
  if (!o.saveFile.empty() && o.saveFormats.empty() && formatForFile(o.saveFile).empty()) {
    error = "--save " + o.saveFile +
            ": no format for this suffix (.bmp .raw .jpg .jpeg .png .tif .tiff); give --format";
    return std::nullopt;
  }
  if (o.count < 1) {
    error = "--count must be at least 1";
    return std::nullopt;
  }
  return o;
}

}  // namespace capture
