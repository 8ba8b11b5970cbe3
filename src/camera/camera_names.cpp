#include "camera/camera_names.h"

#include <algorithm>
#include <cstdio>

namespace pelnik {

namespace {

constexpr const char *kModelName = "PelnikR5M-LX";

template <class Char>
bool writeBounded(const std::basic_string<Char> &name, Char *text, int length) {
  if (!text || length < 0 || name.size() + 1 > static_cast<std::size_t>(length)) return false;
  std::copy(name.begin(), name.end(), text);
  text[name.size()] = Char{0};
  return true;
}

}  // namespace

std::string cameraDisplayName(int displayNumber) {
  char name[32];
  std::snprintf(name, sizeof name, "%s_%02d", kModelName, displayNumber);
  return name;
}

bool writeBoundedName(const std::string &name, char *text, int length) {
  return writeBounded(name, text, length);
}

bool writeBoundedName(const std::u16string &name, char16_t *text, int length) {
  return writeBounded(name, text, length);
}

}  // namespace pelnik
