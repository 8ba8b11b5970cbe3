// Host program of the Windows build: writes the resource script of the
// settings dialogs' templates from the forms the dialog models build, in
// English and Japanese, so the templates hold exactly the ids, kinds and
// texts the models use.
//   write-dialog-templates OUTPUT.rc
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "dialogs/analog_dialog_model.h"
#include "dialogs/camera_dialog_model.h"
#include "dialogs/dialog_texts.h"
#include "dialogs/image_dialog_model.h"
#include "ui/win32/templates/dialog_rc_writer.h"

namespace {

using namespace pelnik;

// The models' hosts: any values will do, only the forms' layout is written.
class LayoutAnalogHost final : public settings::AnalogDialogHost {
 public:
  settings::AnalogValues analogRecord() const override { return record_; }
  void setAnalogRecord(const settings::AnalogValues &values) override { record_ = values; }
  void setAnalogField(settings::AnalogField, int) override {}
  int bayerMode() const override { return 0; }
  void setBayerMode(int) override {}
  int deviceGlobalGain() override { return 0; }
  int deviceExposure() override { return 1; }
  int deviceMirrorV() override { return 0; }
  int deviceMirrorH() override { return 0; }
  settings::IntRange gainRange() const override { return {0, 1}; }
  settings::IntRange exposureRange() const override { return {1, 2}; }
  void sendGlobalGain(int) override {}
  void sendExposure(int) override {}
  void sendMirrorV(int) override {}
  void sendMirrorH(int) override {}
  double exposureMilliseconds(int) const override { return 0.0; }

 private:
  settings::AnalogValues record_{};
};

// Monochrome, so that the grey page is part of the form.
class LayoutImageHost final : public settings::ImageDialogHost {
 public:
  int colourModeIndex() const override { return 0; }
  settings::FilterRecord filterRecord() const override { return {}; }
  void setFilterSlot(int, int) override {}
  void setFilterRecord(const settings::FilterRecord &) override {}
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

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::cerr << "usage: write-dialog-templates OUTPUT.rc\n";
    return 2;
  }
  std::ostringstream script;
  platform::win32_dialogs::writeScriptHead(script);
  for (platform::UiLanguage language : {platform::UiLanguage::Japanese, platform::UiLanguage::English}) {
    const settings::DialogTexts &texts = settings::dialogTexts(language);
    LayoutAnalogHost analogHost;
    LayoutImageHost imageHost;
    EmptyStore store;
    platform::win32_dialogs::writeTemplates(script,
                                            settings::AnalogDialogModel(analogHost, texts).form());
    platform::win32_dialogs::writeTemplates(script,
                                            settings::ImageDialogModel(imageHost, texts).form());
    platform::win32_dialogs::writeTemplates(script,
                                            settings::CameraDialogModel(store, 0, texts).form());
  }
  // Written only when it changes, so an unchanged script is not compiled again.
  {
    std::ifstream current(argv[1], std::ios::binary);
    std::ostringstream old;
    old << current.rdbuf();
    if (current && old.str() == script.str()) return 0;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << script.str();
  return out ? 0 : 1;
}
