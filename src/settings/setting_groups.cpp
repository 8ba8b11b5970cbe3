#include "settings/setting_groups.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace pelnik::settings {
namespace {

using platform::SettingsKey;
using platform::SettingsSession;
using platform::SettingsStore;

template <class Record>
struct Field {
  const char *name;
  std::int32_t Record::*member;
};

constexpr Field<SizePreset> kPresetFields[] = {
    {"TH", &SizePreset::TH},   {"TV", &SizePreset::TV},   {"EH", &SizePreset::EH},
    {"EV", &SizePreset::EV},   {"EHS", &SizePreset::EHS}, {"EVS", &SizePreset::EVS},
    {"Buf", &SizePreset::Buf},
};

constexpr Field<FormatValues> kFormatFields[] = {
    {"Color", &FormatValues::colorMode},
    {"SubSample", &FormatValues::subSample},
    {"WaitTime", &FormatValues::waitTime},
    {"Clock", &FormatValues::clock},
};

constexpr Field<AnalogValues> kAnalogFields[] = {
    {"Global", &AnalogValues::globalGain}, {"ColorG1", &AnalogValues::gainG1},
    {"ColorR", &AnalogValues::gainR},      {"ColorB", &AnalogValues::gainB},
    {"ColorG2", &AnalogValues::gainG2},    {"Exposure", &AnalogValues::exposure},
    {"V_Mirror", &AnalogValues::mirrorV},  {"H_Mirror", &AnalogValues::mirrorH},
    {"AutoIris", &AnalogValues::autoIris},
};

constexpr const char *kSizeValue = "Size";

// Reads a value straight into a field: the field is the 4-byte place, so a
// missing value leaves it as it was.
bool readInto(SettingsSession &session, const SettingsKey &key, const char *name,
              std::int32_t &field) {
  auto place = static_cast<std::uint32_t>(field);
  if (!session.readValue(key, name, place)) return false;
  field = static_cast<std::int32_t>(place);
  return true;
}

template <class Record, std::size_t N>
void readFields(SettingsSession &session, const SettingsKey &key, const Field<Record> (&fields)[N],
                Record &record) {
  for (const auto &field : fields) readInto(session, key, field.name, record.*field.member);
}

template <class Record, std::size_t N>
bool writeFields(SettingsSession &session, const SettingsKey &key, const Field<Record> (&fields)[N],
                 const Record &record) {
  for (const auto &field : fields) {
    if (!session.writeValue(key, field.name, static_cast<std::uint32_t>(record.*field.member))) {
      return false;
    }
  }
  return true;
}

std::optional<SettingsKey> openCameraKey(SettingsSession &session, int cameraNumber) {
  auto root = session.openKey(SettingsSession::currentUser(), kRootKey);
  if (!root) return std::nullopt;
  return session.openKey(*root, cameraKeyName(cameraNumber));
}

std::optional<SettingsKey> createCameraKey(SettingsSession &session, int cameraNumber) {
  auto root = session.createKey(SettingsSession::currentUser(), kRootKey);
  if (!root) return std::nullopt;
  return session.createKey(*root, cameraKeyName(cameraNumber));
}

// The group key under the camera key, for reading.
std::optional<SettingsKey> openGroupKey(SettingsSession &session, int cameraNumber,
                                        const char *group) {
  auto camera = openCameraKey(session, cameraNumber);
  if (!camera) return std::nullopt;
  return session.openKey(*camera, group);
}

// The group's slots take their defaults, also those it does not store.
void applySlotDefaults(SlotGroup group, FilterRecord &filter) {
  for (const FilterSlotInfo &slot : filterSlotTable()) {
    if (slot.group == group) filter[static_cast<std::size_t>(slot.slot)] = slot.defaultValue;
  }
}

bool storedIn(const FilterSlotInfo &slot, SlotGroup group) {
  return slot.group == group && slot.storedName != nullptr;
}

int loadSlots(SettingsStore &store, int cameraNumber, SlotGroup group, FilterRecord &filter) {
  auto session = store.beginRead();
  auto key = openGroupKey(*session, cameraNumber, slotGroupKey(group));
  if (!key) return 0;
  for (const FilterSlotInfo &slot : filterSlotTable()) {
    if (!storedIn(slot, group)) continue;
    readInto(*session, *key, slot.storedName, filter[static_cast<std::size_t>(slot.slot)]);
  }
  return 1;
}

bool writeSlots(SettingsSession &session, const SettingsKey &key, SlotGroup group,
                const FilterRecord &filter) {
  for (const FilterSlotInfo &slot : filterSlotTable()) {
    if (!storedIn(slot, group)) continue;
    const auto value = static_cast<std::uint32_t>(filter[static_cast<std::size_t>(slot.slot)]);
    if (!session.writeValue(key, slot.storedName, value)) return false;
  }
  return true;
}

// First open on a store without our root: this camera's key with Size_00 and
// the format defaults. Checked again under the write lock, so two programs
// opening at once cannot overwrite what the first one stored.
void writeFirstOpenDefaults(SettingsStore &store, int cameraNumber) {
  auto session = store.beginWrite();
  if (!session) return;
  if (session->openKey(SettingsSession::currentUser(), kRootKey)) return;
  auto camera = createCameraKey(*session, cameraNumber);
  if (!camera) return;
  if (!session->writeValue(*camera, kSizeValue, 0)) return;
  if (!writeFields(*session, *camera, kFormatFields, FormatValues{})) return;
  auto preset = session->createKey(*camera, presetKeyName(0));
  if (!preset || !writeFields(*session, *preset, kPresetFields, SizePreset{})) return;
  session->commit();
}

}  // namespace

std::string cameraKeyName(int cameraNumber) {
  char name[32];
  std::snprintf(name, sizeof name, "Camera_%02d", cameraNumber);
  return name;
}

std::string presetKeyName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "Size_%02d", index);
  return name;
}

int loadSizePreset(SettingsStore &store, int cameraNumber, SizePreset &geometry) {
  auto session = store.beginRead();
  if (!session->openKey(SettingsSession::currentUser(), kRootKey)) {
    session.reset();
    writeFirstOpenDefaults(store, cameraNumber);
    return 0;
  }
  auto camera = openCameraKey(*session, cameraNumber);
  if (!camera) return 0;
  std::int32_t selected = 0;
  if (!readInto(*session, *camera, kSizeValue, selected)) return 0;
  auto preset = session->openKey(*camera, presetKeyName(selected));
  if (!preset) return 0;
  readFields(*session, *preset, kPresetFields, geometry);
  return 1;
}

int loadFormatValues(SettingsStore &store, int cameraNumber, FormatValues &format) {
  auto session = store.beginRead();
  auto camera = openCameraKey(*session, cameraNumber);
  if (!camera) return 0;
  readFields(*session, *camera, kFormatFields, format);
  return 1;
}

int loadAnalog(SettingsStore &store, int cameraNumber, AnalogValues &analog,
               MirrorState deviceMirrors) {
  AnalogValues defaults;
  defaults.mirrorV = deviceMirrors.vertical;
  defaults.mirrorH = deviceMirrors.horizontal;
  auto session = store.beginRead();
  auto key = openGroupKey(*session, cameraNumber, "Gain");
  if (!key) {
    analog = defaults;
    return 1;
  }
  // Each value has a place of its own: a missing one takes its default, never
  // the number read before it.
  for (const auto &field : kAnalogFields) {
    std::int32_t value = 0;
    analog.*field.member =
        readInto(*session, *key, field.name, value) ? value : defaults.*field.member;
  }
  return 1;
}

int saveAnalog(SettingsStore &store, int cameraNumber, const AnalogValues &analog) {
  auto session = store.beginWrite();
  if (!session) return 0;
  auto camera = createCameraKey(*session, cameraNumber);
  if (!camera) return 0;
  auto gain = session->createKey(*camera, "Gain");
  if (!gain || !writeFields(*session, *gain, kAnalogFields, analog)) return 0;
  return session->commit() ? 1 : 0;
}

int loadFilter(SettingsStore &store, int cameraNumber, FilterRecord &filter) {
  if (loadSlots(store, cameraNumber, SlotGroup::Filter, filter)) return 1;
  applySlotDefaults(SlotGroup::Filter, filter);
  return 0;
}

int saveFilter(SettingsStore &store, int cameraNumber, const FilterRecord &filter) {
  auto session = store.beginWrite();
  if (!session) return 0;
  auto camera = createCameraKey(*session, cameraNumber);
  if (!camera) return 0;
  // The camera key counts as reached even when "Filter" itself fails.
  if (auto key = session->createKey(*camera, slotGroupKey(SlotGroup::Filter))) {
    writeSlots(*session, *key, SlotGroup::Filter, filter);
  }
  return session->commit() ? 1 : 0;
}

int loadGray(SettingsStore &store, int cameraNumber, FilterRecord &filter) {
  if (loadSlots(store, cameraNumber, SlotGroup::Gray, filter)) return 1;
  applySlotDefaults(SlotGroup::Gray, filter);
  return 0;
}

int saveGray(SettingsStore &store, int cameraNumber, const FilterRecord &filter) {
  auto session = store.beginWrite();
  if (!session) return 0;
  auto root = session->createKey(SettingsSession::currentUser(), kRootKey);
  if (!root) return 0;
  // Only an existing camera key: the analog and filter saves create it.
  auto camera = session->openKey(*root, cameraKeyName(cameraNumber));
  if (!camera) return 0;
  auto key = session->createKey(*camera, slotGroupKey(SlotGroup::Gray));
  if (!key || !writeSlots(*session, *key, SlotGroup::Gray, filter)) return 0;
  return session->commit() ? 1 : 0;
}

int loadCameraDialog(SettingsStore &store, int cameraNumber, CameraDialogValues &values) {
  auto session = store.beginRead();
  auto camera = openCameraKey(*session, cameraNumber);
  if (!camera) return 0;
  int count = 0;
  for (; count < kMaxPresets; ++count) {
    auto preset = session->openKey(*camera, presetKeyName(count));
    if (!preset) break;
    readFields(*session, *preset, kPresetFields, values.presets[static_cast<std::size_t>(count)]);
  }
  values.presetCount = count;
  readInto(*session, *camera, kSizeValue, values.size);
  readFields(*session, *camera, kFormatFields, values.format);
  return 1;
}

int saveCameraDialog(SettingsStore &store, int cameraNumber, const CameraDialogValues &values) {
  auto session = store.beginWrite();
  if (!session) return 0;
  auto camera = createCameraKey(*session, cameraNumber);
  if (!camera) return 0;
  const int count = std::clamp(values.presetCount, 0, kMaxPresets);
  for (int i = 0; i < count; ++i) {
    auto preset = session->createKey(*camera, presetKeyName(i));
    if (!preset) break;
    writeFields(*session, *preset, kPresetFields, values.presets[static_cast<std::size_t>(i)]);
  }
  FormatValues format = values.format;
  format.subSample = format.subSample == 1 ? 1 : 0;
  session->writeValue(*camera, kSizeValue, static_cast<std::uint32_t>(values.size));
  writeFields(*session, *camera, kFormatFields, format);
  return session->commit() ? 1 : 0;
}

PresetLookup findPresetBySize(SettingsStore &store, int cameraNumber, int width, int height,
                              SizePreset &geometry) {
  auto session = store.beginRead();
  auto camera = openCameraKey(*session, cameraNumber);
  if (!camera) return PresetLookup::NoKey;
  for (int i = 0; i < kMaxPresets; ++i) {
    auto key = session->openKey(*camera, presetKeyName(i));
    if (!key) break;
    SizePreset candidate = geometry;
    readFields(*session, *key, kPresetFields, candidate);
    if (candidate.EH == width && candidate.EV == height) {
      geometry = candidate;
      return PresetLookup::Found;
    }
  }
  return PresetLookup::NotFound;
}

}  // namespace pelnik::settings
