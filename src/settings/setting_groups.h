#pragma once
// The setting groups kept per camera number in the settings store, as plain
// records the camera object and the camera dialog hold, with their loads and
// saves. Layout under the current user's hive:
//
//   Software\Tesmor\PelnikR5MLXSdk\Camera_NN          Size Color SubSample WaitTime Clock
//     Size_00, Size_01, ...                          TH TV EH EV EHS EVS Buf
//     Gain                                           the nine analog values
//     Filter                                         filter slots 0-9
//     Gray                                           filter slots 11-19
//
// Every load and save returns 1 when the group was read or written and 0
// otherwise, records no error, and is one store session: a save lands whole
// or not at all.
#include <array>
#include <cstdint>
#include <string>

#include "imaging/filter_slots.h"
#include "platform/register_map.h"
#include "platform/settings_store.h"

namespace pelnik::settings {

inline constexpr const char *kRootKey = "Software\\Tesmor\\PelnikR5MLXSdk";
inline constexpr int kMaxPresets = 100;

// "Camera_07", "Camera_123".
std::string cameraKeyName(int cameraNumber);
// "Size_00" .. "Size_99".
std::string presetKeyName(int index);

// The geometry part of a video format: one size preset.
struct SizePreset {
  std::int32_t TH = platform::kSensorWidth;
  std::int32_t TV = platform::kSensorHeight;
  std::int32_t EH = platform::kSensorWidth;
  std::int32_t EV = platform::kSensorHeight;
  std::int32_t EHS = 0;
  std::int32_t EVS = 0;
  std::int32_t Buf = 4;
  bool operator==(const SizePreset &) const = default;
};

// The camera's stored format values; the defaults are those written on
// first open (a fresh camera object holds its own until they are loaded).
struct FormatValues {
  std::int32_t colorMode = 2;  // "Color": colour mode index 0..5
  std::int32_t subSample = 0;  // "SubSample"
  std::int32_t waitTime = 1;   // "WaitTime", milliseconds
  std::int32_t clock = 2;      // "Clock"
  bool operator==(const FormatValues &) const = default;
};

// The first nine ints of the camera's analog settings, in stored order.
struct AnalogValues {
  std::int32_t globalGain = 0;  // "Global"
  std::int32_t gainG1 = 0;      // "ColorG1"
  std::int32_t gainR = 0;       // "ColorR"
  std::int32_t gainB = 0;       // "ColorB"
  std::int32_t gainG2 = 0;      // "ColorG2"
  std::int32_t exposure = 512;  // "Exposure", lines
  std::int32_t mirrorV = 0;     // "V_Mirror"
  std::int32_t mirrorH = 0;     // "H_Mirror"
  std::int32_t autoIris = 0;    // "AutoIris"
  bool operator==(const AnalogValues &) const = default;
};

// The device's current mirror state: the defaults of the two mirror values.
struct MirrorState {
  std::int32_t vertical = 0;
  std::int32_t horizontal = 0;
};

// The camera's filter settings record; imaging/filter_slots.h says which
// slot belongs to which group, under what name and with what default.
using FilterRecord = std::array<std::int32_t, kFilterRecordSlots>;

// What the camera dialog edits: the preset table and the format values.
struct CameraDialogValues {
  std::array<SizePreset, kMaxPresets> presets{};
  std::int32_t presetCount = 0;
  std::int32_t size = 0;  // "Size": index of the selected preset
  FormatValues format{};  // subSample holds the list choice: 1 is "1/2 Skip"
};

// Camera side, at open: the selected preset into `geometry`. With no root key
// at all, writes the first-open defaults (Size_00 and the five format values
// of this camera) and leaves `geometry` as it is, result 0. A missing "Size",
// preset key or value leaves the geometry (or that field) unchanged.
int loadSizePreset(platform::SettingsStore &store, int cameraNumber, SizePreset &geometry);

// Camera side: "Color", "SubSample", "WaitTime", "Clock" into `format`; a
// missing value leaves its field unchanged.
int loadFormatValues(platform::SettingsStore &store, int cameraNumber, FormatValues &format);

// "Gain" into `analog`. Every value missing from the store, and the whole
// group when a key is missing (still result 1), takes its default: 0 for the
// gains and auto iris, 512 for exposure, the device's state for the mirrors.
int loadAnalog(platform::SettingsStore &store, int cameraNumber, AnalogValues &analog,
               MirrorState deviceMirrors);
int saveAnalog(platform::SettingsStore &store, int cameraNumber, const AnalogValues &analog);

// "Filter" into slots 0-9 (a missing value leaves its slot). With a key
// missing, slots 0-9 and 20-28 take their defaults, result 0.
int loadFilter(platform::SettingsStore &store, int cameraNumber, FilterRecord &filter);
// Result 1 once the camera key was reached.
int saveFilter(platform::SettingsStore &store, int cameraNumber, const FilterRecord &filter);

// "Gray" into slots 11-19; with a key missing, those slots take their defaults.
int loadGray(platform::SettingsStore &store, int cameraNumber, FilterRecord &filter);
// Writes nothing, result 0, when the camera key does not exist yet.
int saveGray(platform::SettingsStore &store, int cameraNumber, const FilterRecord &filter);

// Dialog side: presets Size_00 upwards to the first missing one (their count
// in presetCount), then the format values; missing values keep what the
// record holds. Without the root or camera key the record is left alone.
int loadCameraDialog(platform::SettingsStore &store, int cameraNumber, CameraDialogValues &values);
// Writes presets 0..presetCount-1 and the format values. Presets beyond the
// count are left in the store.
int saveCameraDialog(platform::SettingsStore &store, int cameraNumber,
                     const CameraDialogValues &values);

// For choosing a capture window by size: the first preset of the camera's
// own key whose EH and EV match. `geometry` comes in as the camera's current
// geometry; a found preset's values are read over it.
enum class PresetLookup { Found, NoKey, NotFound };
PresetLookup findPresetBySize(platform::SettingsStore &store, int cameraNumber, int width,
                              int height, SizePreset &geometry);

}  // namespace pelnik::settings
