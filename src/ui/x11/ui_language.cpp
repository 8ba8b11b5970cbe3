#include "ui/ui_language.h"

#include <cstdlib>
#include <string_view>

namespace pelnik::platform {

UiLanguage languageFrom(const char *lcAll, const char *lcMessages, const char *lang) {
  for (const char *value : {lcAll, lcMessages, lang}) {
    if (!value || !*value) continue;
    const std::string_view name(value);
    const bool japanese =
        name.substr(0, 2) == "ja" &&
        (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@' || name[2] == '-');
    return japanese ? UiLanguage::Japanese : UiLanguage::English;
  }
  return UiLanguage::English;
}

UiLanguage sessionLanguage() {
  return languageFrom(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace pelnik::platform
