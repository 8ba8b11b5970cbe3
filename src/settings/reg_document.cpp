#include "settings/reg_document.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "platform/text_convert.h"

namespace pelnik::settings {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

// Stray carriage returns count as blanks, so that a line reads the same
// after it has been written back with LF line ends.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Turns the file's bytes into UTF-8 text, or says why it cannot.
std::optional<std::string> decodeText(std::string_view bytes, std::string &reason) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    bytes.remove_prefix(2);
    if (bytes.size() % 2 != 0) {
      reason = "UTF-16 text of odd length";
      return std::nullopt;
    }
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    auto narrow = platform::utf16ToUtf8(wide);
    if (!narrow) reason = "UTF-16 text with an unpaired surrogate";
    return narrow;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return std::string(bytes);
}

// A quoted string starting at text[0] == '"'; `rest` receives what follows
// the closing quote.
std::optional<std::string> parseQuoted(std::string_view text, std::string_view &rest) {
  std::string out;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      if (++i >= text.size()) return std::nullopt;
      out.push_back(text[i]);
    } else if (c == '"') {
      rest = text.substr(i + 1);
      return out;
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  text = trim(text);
  if (text.empty()) return bytes;
  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i + 2 > text.size()) return std::nullopt;
    const int high = hexDigit(text[i]);
    const int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    i += 2;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == text.size()) return bytes;
    if (text[i] != ',') return std::nullopt;
    ++i;
  }
}

// The data after '=': a string, dword:, hex: or hex(N):. Deletion marks
// ("-") have no place in a stored state and are refused.
std::optional<std::vector<std::uint8_t>> parseData(std::string_view data) {
  data = trim(data);
  if (!data.empty() && data.front() == '"') {
    std::string_view rest;
    auto text = parseQuoted(data, rest);
    if (!text || !trim(rest).empty()) return std::nullopt;
    std::vector<std::uint8_t> bytes(text->begin(), text->end());
    bytes.push_back(0);
    return bytes;
  }
  constexpr std::string_view kDword = "dword:";
  if (data.size() > kDword.size() && equalsIgnoringCase(data.substr(0, kDword.size()), kDword)) {
    const std::string_view digits = data.substr(kDword.size());
    if (digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
      const int digit = hexDigit(c);
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return std::vector<std::uint8_t>{
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  }
  if (data.size() >= 4 && equalsIgnoringCase(data.substr(0, 3), "hex")) {
    std::string_view rest = data.substr(3);
    if (rest.front() == '(') {
      const auto close = rest.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) return std::nullopt;
      for (const char c : rest.substr(1, close - 1)) {
        if (hexDigit(c) < 0) return std::nullopt;
      }
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != ':') return std::nullopt;
    return parseHexBytes(rest.substr(1));
  }
  return std::nullopt;
}

std::string quoteName(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view parentOf(std::string_view path) {
  const auto slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
}

class Parser {
 public:
  explicit Parser(std::vector<std::string_view> lines) : lines_(std::move(lines)) {}

  std::variant<RegDocument, RegParseError> run() {
    std::size_t i = 0;
    while (i < lines_.size() && trim(lines_[i]).empty()) ++i;
    if (i == lines_.size()) return RegDocument{};  // an empty file holds no keys
    const std::string_view header = trim(lines_[i]);
    if (header != kHeader4 && header != kHeader5) return fail(i, "no registry export header");
    for (++i; i < lines_.size(); ++i) {
      const std::string_view line = trim(lines_[i]);
      if (line.empty()) continue;
      if (line.front() == ';') {
        if (currentKey_) currentKey_->entries.push_back({false, {}, std::string(line), {}});
        continue;
      }
      if (line.front() == '[') {
        if (line.back() != ']' || line.size() < 3) return fail(i, "unclosed key line");
        const std::string_view path = line.substr(1, line.size() - 2);
        if (!RegDocument::isValidPath(path)) return fail(i, "invalid key path");
        currentKey_ = document_.createKey(path);
        continue;
      }
      if (line.front() == '"' || line.front() == '@') {
        if (!currentKey_) return fail(i, "value outside a key");
        if (!parseValue(i)) return fail(i, "invalid value line");
        continue;
      }
      return fail(i, "unrecognised line");
    }
    return std::move(document_);
  }

 private:
  // Parses the value starting at line `i`, advancing `i` over continuation
  // lines (those ending in a backslash).
  bool parseValue(std::size_t &i) {
    std::string text(trim(lines_[i]));
    std::string joined = text;
    while (!joined.empty() && joined.back() == '\\') {
      if (++i >= lines_.size()) return false;
      joined.pop_back();
      // Trailing blanks go from the kept text too, a stray carriage return
      // among them, or the rewritten line would read back without it.
      std::string_view next = lines_[i];
      while (!next.empty() && isBlank(next.back())) next.remove_suffix(1);
      text += '\n';
      text += next;
      joined += trim(next);
    }
    std::string name;
    std::string_view rest;
    if (joined.front() == '@') {
      rest = std::string_view(joined).substr(1);
    } else {
      auto quoted = parseQuoted(joined, rest);
      if (!quoted) return false;
      name = std::move(*quoted);
    }
    rest = trim(rest);
    if (rest.empty() || rest.front() != '=') return false;
    auto data = parseData(rest.substr(1));
    if (!data) return false;
    for (auto &entry : currentKey_->entries) {
      if (entry.isValue && equalsIgnoringCase(entry.name, name)) {
        entry.text = std::move(text);
        entry.data = std::move(*data);
        return true;
      }
    }
    currentKey_->entries.push_back({true, std::move(name), std::move(text), std::move(*data)});
    return true;
  }

  RegParseError fail(std::size_t index, const char *reason) const {
    return RegParseError{static_cast<int>(index + 1), reason};
  }

  std::vector<std::string_view> lines_;
  RegDocument document_;
  RegKey *currentKey_ = nullptr;
};

}  // namespace

bool RegPathLess::operator()(std::string_view a, std::string_view b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    // The separator sorts before every other character, so "A\B" precedes "A B".
    const unsigned char ca = a[i] == '\\' ? 0 : static_cast<unsigned char>(lowerAscii(a[i]));
    const unsigned char cb = b[i] == '\\' ? 0 : static_cast<unsigned char>(lowerAscii(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

std::variant<RegDocument, RegParseError> RegDocument::parse(std::string_view bytes) {
  std::string reason;
  const auto text = decodeText(bytes, reason);
  if (!text) return RegParseError{0, reason};
  if (text->find('\0') != std::string::npos) return RegParseError{0, "binary data"};
  return Parser(splitLines(*text)).run();
}

std::string RegDocument::format() const {
  std::string out(kHeader4);
  out += "\n\n";
  for (auto it = keys_.begin(); it != keys_.end(); ++it) {
    const RegKey &key = it->second;
    if (key.entries.empty()) {
      const auto next = std::next(it);
      const bool hasSubkey = next != keys_.end() && next->first.size() > it->first.size() &&
                             next->first[it->first.size()] == '\\' &&
                             equalsIgnoringCase(next->first.substr(0, it->first.size()), it->first);
      if (hasSubkey) continue;
    }
    out += '[';
    out += key.path;
    out += "]\n";
    for (const auto &entry : key.entries) {
      out += entry.text;
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

bool RegDocument::isValidPath(std::string_view path) {
  if (path.size() < 5 || !equalsIgnoringCase(path.substr(0, 5), "HKEY_")) return false;
  std::size_t componentLength = 0;
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    if (c == '\\') {
      if (componentLength == 0) return false;
      componentLength = 0;
    } else {
      ++componentLength;
    }
  }
  // A trailing ']' would end the section line early when read back.
  return componentLength != 0 && path.back() != ']';
}

bool RegDocument::hasKey(std::string_view path) const { return keys_.find(path) != keys_.end(); }

RegKey &RegDocument::insertKey(std::string_view path) {
  auto found = keys_.find(path);
  if (found != keys_.end()) return found->second;
  return keys_.emplace(std::string(path), RegKey{std::string(path), {}}).first->second;
}

int RegDocument::removeKeyTree(std::string_view path) {
  int removed = 0;
  for (auto it = keys_.lower_bound(path); it != keys_.end();) {
    const std::string_view key = it->first;
    const bool same = key.size() == path.size();
    // The ordering puts a key's subkeys right after it, ahead of its siblings.
    if (RegPathLess{}(path, key.substr(0, path.size())) ||
        RegPathLess{}(key.substr(0, path.size()), path) || (!same && key[path.size()] != '\\'))
      break;
    it = keys_.erase(it);
    ++removed;
  }
  return removed;
}

RegKey *RegDocument::createKey(std::string_view path) {
  if (!isValidPath(path)) return nullptr;
  for (std::string_view p = parentOf(path); !p.empty() && !hasKey(p); p = parentOf(p)) {
    insertKey(p);
  }
  return &insertKey(path);
}

const RegEntry *RegDocument::findValue(std::string_view keyPath, std::string_view name) const {
  const auto key = keys_.find(keyPath);
  if (key == keys_.end()) return nullptr;
  for (const auto &entry : key->second.entries) {
    if (entry.isValue && equalsIgnoringCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

bool RegDocument::setDword(std::string_view keyPath, std::string_view name, std::uint32_t value) {
  RegKey *key = createKey(keyPath);
  if (!key) return false;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(value));
  RegEntry written{
      true,
      std::string(name),
      quoteName(name) + "=dword:" + hex,
      {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
       static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
  for (auto &entry : key->entries) {
    if (entry.isValue && equalsIgnoringCase(entry.name, name)) {
      entry = std::move(written);
      return true;
    }
  }
  key->entries.push_back(std::move(written));
  return true;
}

}  // namespace pelnik::settings
