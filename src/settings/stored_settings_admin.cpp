#include "settings/stored_settings_admin.h"

#include <cstring>
#include <variant>

#include "platform/settings_store.h"
#include "settings/reg_document.h"
#include "settings/setting_groups.h"

namespace pelnik::settings {
namespace {

std::string cameraKeyPath(int cameraNumber) {
  return std::string("HKEY_CURRENT_USER\\") + kRootKey + "\\" + cameraKeyName(cameraNumber);
}

std::string describeValue(const RegEntry &entry) {
  if (entry.data.size() == 4) {
    std::uint32_t v = 0;
    std::memcpy(&v, entry.data.data(), 4);
    return std::to_string(static_cast<std::int32_t>(v));
  }
  return entry.text;
}

}  // namespace

StoredSettingsReport describeStoredSettings(int cameraNumber) {
  platform::SettingsFile file(platform::SettingsFile::userStorePath());
  StoredSettingsReport report;
  report.storePath = file.path();
  report.setAside = file.setAsideFiles();
  const auto snapshot = file.read();
  using State = platform::SettingsFileSnapshot::State;
  if (snapshot.state == State::Missing) return report;
  report.fileExists = true;
  if (snapshot.state != State::Present) {
    report.malformed = true;
    report.problem = snapshot.state == State::TooLarge ? "too large" : "unreadable";
    return report;
  }
  auto parsed = RegDocument::parse(snapshot.bytes);
  if (auto *error = std::get_if<RegParseError>(&parsed)) {
    report.malformed = true;
    report.problem = "line " + std::to_string(error->line) + ": " + error->reason;
    return report;
  }
  const auto &document = std::get<RegDocument>(parsed);
  const std::string prefix = cameraKeyPath(cameraNumber);
  const std::string rootPrefix = std::string("HKEY_CURRENT_USER\\") + kRootKey + "\\";
  for (const auto &[path, key] : document.keys()) {
    const bool inCamera = path.size() >= prefix.size() &&
                          !RegPathLess{}(path.substr(0, prefix.size()), prefix) &&
                          !RegPathLess{}(prefix, path.substr(0, prefix.size())) &&
                          (path.size() == prefix.size() || path[prefix.size()] == '\\');
    if (!inCamera) continue;
    for (const auto &entry : key.entries) {
      if (!entry.isValue) continue;
      report.lines.push_back(path.substr(rootPrefix.size()) + "  " + entry.name + " = " +
                             describeValue(entry));
    }
  }
  return report;
}

bool resetStoredSettings(int cameraNumber, std::string &error) {
  platform::SettingsFile file(platform::SettingsFile::userStorePath());
  auto commit = file.beginCommit();
  if (!commit) {
    error = "cannot lock " + file.path();
    return false;
  }
  using State = platform::SettingsFileSnapshot::State;
  const auto &current = commit->current();
  if (current.state == State::Missing) return true;  // nothing stored: defaults already
  RegDocument document;
  bool parsedOk = false;
  if (current.state == State::Present) {
    auto parsed = RegDocument::parse(current.bytes);
    if (auto *doc = std::get_if<RegDocument>(&parsed)) {
      document = std::move(*doc);
      parsedOk = true;
    }
  }
  if (!parsedOk && !commit->setAsideCurrent()) {
    error = "cannot keep the malformed " + file.path() + " before replacing it";
    return false;
  }
  document.removeKeyTree(cameraKeyPath(cameraNumber));
  if (!commit->replace(document.format())) {
    error = "cannot write " + file.path();
    return false;
  }
  return true;
}

}  // namespace pelnik::settings
