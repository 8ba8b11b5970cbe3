#include "platform/text_convert.h"

namespace pelnik::platform {

// Linux file names and terminals are UTF-8 whatever the locale says.
std::optional<std::string> wideToSystemNarrow(const char16_t *text) { return utf16ToUtf8(text); }

}  // namespace pelnik::platform
