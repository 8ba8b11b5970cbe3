#include "ui/ui_language.h"

#include <windows.h>

namespace pelnik::platform {

// The dialogs follow the system's default language: Japanese for 1041.
UiLanguage sessionLanguage() {
  return ::GetSystemDefaultLangID() == 0x0411 ? UiLanguage::Japanese : UiLanguage::English;
}

}  // namespace pelnik::platform
