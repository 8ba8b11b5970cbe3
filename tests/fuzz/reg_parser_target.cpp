// Fuzz target for the settings file parser: any input either is refused or
// parses into a document whose text reads back to the same document, and a
// value written into it survives another round.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "settings/reg_document.h"

using pelnik::settings::RegDocument;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::string reformatted(const std::string &text) {
  auto again = RegDocument::parse(text);
  require(std::holds_alternative<RegDocument>(again));
  return std::get<RegDocument>(again).format();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  auto parsed = RegDocument::parse(std::string_view(reinterpret_cast<const char *>(data), size));
  auto *document = std::get_if<RegDocument>(&parsed);
  if (!document) return 0;
  const std::string text = document->format();
  require(reformatted(text) == text);

  const std::string key = "HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00\\Gain";
  require(document->setDword(key, "Exposure", static_cast<std::uint32_t>(size)));
  const std::string written = document->format();
  require(reformatted(written) == written);
  auto back = RegDocument::parse(written);
  const auto *entry = std::get<RegDocument>(back).findValue(key, "exposure");
  require(entry && entry->data.size() == 4 &&
          (entry->data[0] | (entry->data[1] << 8)) == static_cast<int>(size & 0xFFFF));
  return 0;
}
