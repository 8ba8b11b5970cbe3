// Time of one settings group save (lock, re-read, apply, write, flush,
// rename) and of one group load, on a store holding eight cameras' groups.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "settings/reg_file_store.h"
#include "settings/setting_groups.h"

namespace {

using namespace pelnik::settings;

class StoreDirectory {
 public:
  StoreDirectory() {
    char pattern[] = "/tmp/pelnik-bench-XXXXXX";
    root_ = mkdtemp(pattern);
    store_ = std::make_unique<RegFileStore>(root_ + "/Tesmor/PelnikR5MLXSdk.reg");
    for (int camera = 0; camera < 8; ++camera) {
      SizePreset geometry;
      loadSizePreset(*store_, camera, geometry);
      saveAnalog(*store_, camera, AnalogValues{});
      saveFilter(*store_, camera, FilterRecord{});
      saveGray(*store_, camera, FilterRecord{});
      CameraDialogValues dialog;
      dialog.presetCount = 4;
      saveCameraDialog(*store_, camera, dialog);
    }
  }
  ~StoreDirectory() { std::filesystem::remove_all(root_); }
  RegFileStore &store() { return *store_; }

 private:
  std::string root_;
  std::unique_ptr<RegFileStore> store_;
};

void BM_SaveAnalogGroup(benchmark::State &state) {
  StoreDirectory directory;
  AnalogValues analog;
  for (auto _ : state) {
    ++analog.exposure;
    benchmark::DoNotOptimize(saveAnalog(directory.store(), 3, analog));
  }
}
BENCHMARK(BM_SaveAnalogGroup)->Unit(benchmark::kMillisecond);

void BM_LoadAnalogGroup(benchmark::State &state) {
  StoreDirectory directory;
  AnalogValues analog;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loadAnalog(directory.store(), 3, analog, {}));
  }
}
BENCHMARK(BM_LoadAnalogGroup)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
