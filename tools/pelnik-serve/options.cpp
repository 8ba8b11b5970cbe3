#include "options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace serve {
namespace {

bool toInt(const std::string &text, int low, int high, int &out) {
  if (text.empty()) return false;
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno || *end || v < low || v > high) return false;
  out = int(v);
  return true;
}

bool readTokenFile(const std::string &path, std::string &token, std::string &error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the token file " + path;
    return false;
  }
  std::getline(in, token);
  while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) token.pop_back();
  if (token.empty()) {
    error = "the token file " + path + " is empty";
    return false;
  }
  return true;
}

}  // namespace

const char *usage() {
  return "usage: pelnik-serve [--cameras 0,1] [--virtual] [--bind ADDRESS] [--rtsp-port N]\n"
         "                    [--http-port N] [--color-mode BITS] [--window x,y,w,h]\n"
         "                    [--subsample N] [--bitrate KBPS] [--filter NAME=VALUE]...\n"
         "                    [--token TOKEN | --token-file FILE] [--tls-cert PEM --tls-key PEM]\n"
         "                    [--output DIR]\n";
}

bool isLoopback(const std::string &address) {
  return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

bool parseOptions(int argc, char **argv, Options &o, std::string &error, bool &help) {
  help = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string &out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](int low, int high, int &out) {
      std::string text;
      if (!value(text)) return false;
      if (!toInt(text, low, high, out)) {
        error = arg + ": not a number in " + std::to_string(low) + ".." + std::to_string(high) +
                ": " + text;
        return false;
      }
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      help = true;
      return false;
    } else if (arg == "--cameras") {
      if (!value(text)) return false;
      o.cameras.clear();
      std::stringstream list(text);
      std::string item;
      while (std::getline(list, item, ',')) {
        int n;
        if (!toInt(item, 0, 31, n)) {
          error = "--cameras: camera numbers are 0..31: " + text;
          return false;
        }
        for (int seen : o.cameras)
          if (seen == n) {
            error = "--cameras: camera " + item + " named twice";
            return false;
          }
        o.cameras.push_back(n);
      }
      if (o.cameras.empty()) {
        error = "--cameras: no camera named";
        return false;
      }
    } else if (arg == "--virtual") {
      o.virtualCamera = true;
    } else if (arg == "--bind") {
      if (!value(o.bindAddress)) return false;
    } else if (arg == "--rtsp-port") {
      if (!number(1, 65535, o.rtspPort)) return false;
    } else if (arg == "--http-port") {
      if (!number(1, 65535, o.httpPort)) return false;
    } else if (arg == "--color-mode") {
      if (!number(8, 64, o.colorMode)) return false;
      if (o.colorMode % 8 || o.colorMode == 40 || o.colorMode == 56) {
        error = "--color-mode is 8, 16, 24, 32, 48 or 64";
        return false;
      }
    } else if (arg == "--window") {
      if (!value(o.window)) return false;
    } else if (arg == "--subsample") {
      if (!number(0, 1, o.subsample)) return false;
    } else if (arg == "--bitrate") {
      if (!number(64, 100000, o.bitrateKbps)) return false;
    } else if (arg == "--filter") {
      if (!value(text)) return false;
      const auto eq = text.find('=');
      int v;
      if (eq == std::string::npos || eq == 0 ||
          !toInt(text.substr(eq + 1), INT_MIN + 1, INT_MAX, v)) {
        error = "--filter takes NAME=VALUE: " + text;
        return false;
      }
      o.filters[text.substr(0, eq)] = v;
    } else if (arg == "--token") {
      if (!value(o.token)) return false;
    } else if (arg == "--token-file") {
      if (!value(text) || !readTokenFile(text, o.token, error)) return false;
    } else if (arg == "--tls-cert") {
      if (!value(o.tlsCert)) return false;
    } else if (arg == "--tls-key") {
      if (!value(o.tlsKey)) return false;
    } else if (arg == "--output") {
      if (!value(o.outputDirectory)) return false;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (o.tlsCert.empty() != o.tlsKey.empty()) {
    error = "--tls-cert and --tls-key go together";
    return false;
  }
  // Anyone who reaches a non-loopback address could steer the camera.
  if (!isLoopback(o.bindAddress) && o.token.empty()) {
    error = "bound to " + o.bindAddress + ": --token or --token-file is required";
    return false;
  }
  if (o.httpPort == o.rtspPort) {
    error = "the HTTP and RTSP ports must differ";
    return false;
  }
  return true;
}

}  // namespace serve
