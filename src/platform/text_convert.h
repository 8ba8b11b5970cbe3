#pragma once
// Conversions between the UTF-16 text of the W exports and the UTF-8 narrow
// text the library uses everywhere else. Text that cannot be converted (an
// unpaired surrogate, a malformed UTF-8 sequence) fails as a whole.
#include <optional>
#include <string>
#include <string_view>

namespace pelnik::platform {

std::optional<std::string> utf16ToUtf8(std::u16string_view text);

// A null-terminated UTF-16 string; a null pointer fails.
std::optional<std::string> utf16ToUtf8(const char16_t *text);

// Overlong forms, surrogates encoded in UTF-8 and code points above U+10FFFF fail.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);

// A W export's UTF-16 text in the system's narrow text: UTF-8 on Linux; on
// Windows the calling thread's ANSI code page, where a character that code
// page cannot hold exactly fails the whole conversion. A null pointer fails.
std::optional<std::string> wideToSystemNarrow(const char16_t *text);

}  // namespace pelnik::platform
