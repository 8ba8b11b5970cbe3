#pragma once
// Command line of pelnik-serve.
#include <map>
#include <string>
#include <vector>

namespace serve {

struct Options {
  std::vector<int> cameras{0};
  bool virtualCamera = false;
  std::string bindAddress = "127.0.0.1";
  int rtspPort = 8554;
  int httpPort = 8080;
  int colorMode = 0;   // bits; 0: the camera's stored mode
  std::string window;  // "x,y,width,height" or empty
  int subsample = -1;  // -1: the camera's stored value
  int bitrateKbps = 4000;
  std::map<std::string, int> filters;  // pelniksrc property name -> value
  std::string token;
  std::string tlsCert;
  std::string tlsKey;
  std::string outputDirectory = ".";
};

// Parses argv; false with `error` filled (or `help` set for --help).
bool parseOptions(int argc, char **argv, Options &options, std::string &error, bool &help);

// True when `address` is in 127.0.0.0/8 or is ::1 / localhost.
bool isLoopback(const std::string &address);

const char *usage();

}  // namespace serve
