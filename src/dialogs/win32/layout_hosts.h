#pragma once
// Hosts for dialog models built only for their layout (the template writer,
// and tests comparing a shown dialog with its form): any values will do.
#include <memory>

#include "dialogs/analog_dialog_model.h"
#include "dialogs/camera_dialog_model.h"
#include "dialogs/image_dialog_model.h"

namespace pelnik::settings::layout {

class LayoutAnalogHost final : public AnalogDialogHost {
 public:
  AnalogValues analogRecord() const override { return record_; }
  void setAnalogRecord(const AnalogValues &values) override { record_ = values; }
  void setAnalogField(AnalogField, int) override {}
  int bayerMode() const override { return 0; }
  void setBayerMode(int) override {}
  int deviceGlobalGain() override { return 0; }
  int deviceExposure() override { return 1; }
  int deviceMirrorV() override { return 0; }
  int deviceMirrorH() override { return 0; }
  IntRange gainRange() const override { return {0, 1}; }
  IntRange exposureRange() const override { return {1, 2}; }
  void sendGlobalGain(int) override {}
  void sendExposure(int) override {}
  void sendMirrorV(int) override {}
  void sendMirrorH(int) override {}
  double exposureMilliseconds(int) const override { return 0.0; }

 private:
  AnalogValues record_{};
};

// Monochrome, so that the grey page is part of the form.
class LayoutImageHost final : public ImageDialogHost {
 public:
  int colourModeIndex() const override { return 0; }
  FilterRecord filterRecord() const override { return {}; }
  void setFilterSlot(int, int) override {}
  void setFilterRecord(const FilterRecord &) override {}
};

// An empty store: the camera dialog shows its defaults.
class EmptySession final : public platform::SettingsSession {
 public:
  std::optional<platform::SettingsKey> openKey(const platform::SettingsKey &,
                                               std::string_view) override {
    return std::nullopt;
  }
  std::optional<platform::SettingsKey> createKey(const platform::SettingsKey &,
                                                 std::string_view) override {
    return std::nullopt;
  }
  bool readValue(const platform::SettingsKey &, std::string_view, std::uint32_t &) override {
    return false;
  }
  bool writeValue(const platform::SettingsKey &, std::string_view, std::uint32_t) override {
    return false;
  }
  bool commit() override { return false; }
};

class EmptyStore final : public platform::SettingsStore {
 public:
  std::unique_ptr<platform::SettingsSession> beginRead() override {
    return std::make_unique<EmptySession>();
  }
  std::unique_ptr<platform::SettingsSession> beginWrite() override { return nullptr; }
};

}  // namespace pelnik::settings::layout
