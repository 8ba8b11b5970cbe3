#pragma once
// The registry export text format that the settings file is kept in: a
// header line ("REGEDIT4" or "Windows Registry Editor Version 5.00"), then
// "[HKEY_...\Path]" sections holding "name"=data lines. Read in UTF-8 or in
// UTF-16LE with a byte-order mark, LF or CRLF; written as REGEDIT4 in UTF-8.
// Pure text handling: no file is touched here.
//
// Keys and values are found without regard to ASCII case, as the registry
// does. Everything not written through this class (other keys, string and
// binary values, comments inside sections) is kept as it was read.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelnik::settings {

// One line of a section, or one value continued over several lines.
struct RegEntry {
  bool isValue = true;             // false: a comment line
  std::string name;                // decoded value name; "" for the default value @
  std::string text;                // as written, continuation lines joined by '\n'
  std::vector<std::uint8_t> data;  // the value's bytes (a DWORD is 4, little-endian)
};

struct RegKey {
  std::string path;  // full path as first spelled, "HKEY_CURRENT_USER\..."
  std::vector<RegEntry> entries;
};

struct RegParseError {
  int line = 0;  // 1-based; 0 for the encoding as a whole
  std::string reason;
};

// Orders paths component by component, ignoring ASCII case, so that a key
// always sorts before its subkeys.
struct RegPathLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};

class RegDocument {
 public:
  static std::variant<RegDocument, RegParseError> parse(std::string_view bytes);

  // REGEDIT4, keys in path order. A key with no entries is written only when
  // it has no subkeys (a subkey's section implies its parents).
  std::string format() const;

  bool hasKey(std::string_view path) const;
  // Creates the key and every missing parent; null for an invalid path.
  RegKey *createKey(std::string_view path);
  const RegEntry *findValue(std::string_view keyPath, std::string_view name) const;
  // Removes a key with every subkey; the number of keys removed.
  int removeKeyTree(std::string_view path);
  // Writes a DWORD value, creating the key as needed. False for an invalid path.
  bool setDword(std::string_view keyPath, std::string_view name, std::uint32_t value);

  const std::map<std::string, RegKey, RegPathLess> &keys() const { return keys_; }

  // A path is one or more non-empty components of printable text, the
  // first naming a hive ("HKEY_...").
  static bool isValidPath(std::string_view path);

 private:
  RegKey &insertKey(std::string_view path);

  std::map<std::string, RegKey, RegPathLess> keys_;
};

}  // namespace pelnik::settings
