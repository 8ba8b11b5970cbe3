// Second process for the settings tests. Every group value it writes for a
// camera is one number `v`, so a reader can tell whole groups from torn ones.
//   settings_writer save CAMERA V      save the analog, filter and grey groups as V
//   settings_writer expect CAMERA V    exit 0 when the three groups load as V
//   settings_writer loop CAMERA        save V = 1, 2, 3, ... until killed
//   settings_writer count CAMERA N     save V = 1 .. N, then exit
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/reg_file_store.h"
#include "settings/setting_groups.h"

namespace {

using namespace pelnik::settings;

constexpr int kFilterSlots[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
constexpr int kGraySlots[] = {11, 12, 13, 14, 15, 16, 17, 18, 19};

AnalogValues analogOf(int v) { return {v, v, v, v, v, v, v, v, v}; }

FilterRecord filterOf(int v) {
  FilterRecord filter{};
  for (const int slot : kFilterSlots) filter[static_cast<std::size_t>(slot)] = v;
  for (const int slot : kGraySlots) filter[static_cast<std::size_t>(slot)] = v;
  return filter;
}

bool saveAll(int camera, int v) {
  auto &store = userSettingsStore();
  const FilterRecord filter = filterOf(v);
  return saveAnalog(store, camera, analogOf(v)) == 1 && saveFilter(store, camera, filter) == 1 &&
         saveGray(store, camera, filter) == 1;
}

bool loadsAs(int camera, int v) {
  auto &store = userSettingsStore();
  AnalogValues analog;
  FilterRecord filter{};
  if (loadAnalog(store, camera, analog, {}) != 1 || !(analog == analogOf(v))) return false;
  if (loadFilter(store, camera, filter) != 1 || loadGray(store, camera, filter) != 1) return false;
  const FilterRecord expected = filterOf(v);
  for (const int slot : kFilterSlots) {
    if (filter[static_cast<std::size_t>(slot)] != expected[static_cast<std::size_t>(slot)])
      return false;
  }
  for (const int slot : kGraySlots) {
    if (filter[static_cast<std::size_t>(slot)] != expected[static_cast<std::size_t>(slot)])
      return false;
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: settings_writer save|expect|loop|count CAMERA [V]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const int camera = std::atoi(argv[2]);
  const int value = argc > 3 ? std::atoi(argv[3]) : 0;
  if (mode == "save") return saveAll(camera, value) ? 0 : 1;
  if (mode == "expect") return loadsAs(camera, value) ? 0 : 1;
  if (mode == "loop") {
    for (int v = 1;; ++v) saveAll(camera, v);
  }
  if (mode == "count") {
    for (int v = 1; v <= value; ++v) {
      if (!saveAll(camera, v)) return 1;
    }
    return 0;
  }
  return 2;
}
