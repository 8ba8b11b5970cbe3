#include "settings/reg_file_store.h"

#include <cstring>
#include <variant>

#include "settings/reg_document.h"

namespace pelnik::settings {
namespace {

constexpr std::string_view kHive = "HKEY_CURRENT_USER";

using platform::SettingsFileSnapshot;
using platform::SettingsKey;

std::string hivePath(const SettingsKey &key) {
  std::string full(kHive);
  if (!key.path.empty()) {
    full += '\\';
    full += key.path;
  }
  return full;
}

std::optional<SettingsKey> childOf(const SettingsKey &parent, std::string_view subKey) {
  if (subKey.empty()) return parent;
  SettingsKey child{parent.path};
  if (!child.path.empty()) child.path += '\\';
  child.path += subKey;
  if (!RegDocument::isValidPath(hivePath(child))) return std::nullopt;
  return child;
}

// The document a snapshot holds; nullopt when the file is there but cannot
// be taken as a store (malformed, too large, unreadable).
std::optional<RegDocument> documentOf(const SettingsFileSnapshot &snapshot) {
  switch (snapshot.state) {
    case SettingsFileSnapshot::State::Missing:
      return RegDocument{};
    case SettingsFileSnapshot::State::Present: {
      auto parsed = RegDocument::parse(snapshot.bytes);
      if (auto *document = std::get_if<RegDocument>(&parsed)) return std::move(*document);
      return std::nullopt;
    }
    case SettingsFileSnapshot::State::TooLarge:
    case SettingsFileSnapshot::State::Unreadable:
      break;
  }
  return std::nullopt;
}

// Key and value access over one document, shared by both session kinds.
class DocumentSession : public platform::SettingsSession {
 public:
  explicit DocumentSession(RegDocument document) : document_(std::move(document)) {}

  std::optional<SettingsKey> openKey(const SettingsKey &parent, std::string_view subKey) override {
    auto child = childOf(parent, subKey);
    if (!child || !document_.hasKey(hivePath(*child))) return std::nullopt;
    return child;
  }

  bool readValue(const SettingsKey &key, std::string_view name, std::uint32_t &place) override {
    const RegEntry *entry = document_.findValue(hivePath(key), name);
    if (!entry || entry->data.size() > sizeof place) return false;
    // Over the place's low bytes, as a 4-byte little-endian read would land.
    for (std::size_t i = 0; i < entry->data.size(); ++i) {
      place &= ~(std::uint32_t{0xFF} << (8 * i));
      place |= std::uint32_t{entry->data[i]} << (8 * i);
    }
    return true;
  }

 protected:
  RegDocument document_;
};

class ReadSession final : public DocumentSession {
 public:
  using DocumentSession::DocumentSession;
  std::optional<SettingsKey> createKey(const SettingsKey &, std::string_view) override {
    return std::nullopt;
  }
  bool writeValue(const SettingsKey &, std::string_view, std::uint32_t) override { return false; }
  bool commit() override { return false; }
};

class WriteSession final : public DocumentSession {
 public:
  WriteSession(std::unique_ptr<platform::SettingsFileCommit> file, RegDocument document,
               bool setAsideFirst)
      : DocumentSession(std::move(document)),
        file_(std::move(file)),
        setAsideFirst_(setAsideFirst) {}

  std::optional<SettingsKey> createKey(const SettingsKey &parent,
                                       std::string_view subKey) override {
    auto child = childOf(parent, subKey);
    if (!child || !document_.createKey(hivePath(*child))) return std::nullopt;
    return child;
  }

  bool writeValue(const SettingsKey &key, std::string_view name, std::uint32_t value) override {
    if (!document_.hasKey(hivePath(key))) return false;
    return document_.setDword(hivePath(key), name, value);
  }

  bool commit() override {
    if (!file_) return false;
    // A file we could not read is never replaced without keeping it.
    if (setAsideFirst_ && !file_->setAsideCurrent()) return false;
    const bool stored = file_->replace(document_.format());
    file_.reset();  // releases the lock
    return stored;
  }

 private:
  std::unique_ptr<platform::SettingsFileCommit> file_;
  bool setAsideFirst_;
};

}  // namespace

std::string RegFileStore::path() const {
  return path_.empty() ? platform::SettingsFile::userStorePath() : path_;
}

std::unique_ptr<platform::SettingsSession> RegFileStore::beginRead() {
  auto document = documentOf(platform::SettingsFile(path()).read());
  return std::make_unique<ReadSession>(document ? std::move(*document) : RegDocument{});
}

std::unique_ptr<platform::SettingsSession> RegFileStore::beginWrite() {
  auto file = platform::SettingsFile(path()).beginCommit();
  if (!file) return nullptr;
  auto document = documentOf(file->current());
  const bool setAside = !document.has_value();
  return std::make_unique<WriteSession>(std::move(file),
                                        document ? std::move(*document) : RegDocument{}, setAside);
}

RegFileStore &userSettingsStore() {
  static RegFileStore store;
  return store;
}

}  // namespace pelnik::settings
