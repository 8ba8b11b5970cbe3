#pragma once
// The language of the user's session, for the settings dialogs: Japanese
// when the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty
// names it ("ja", "ja_JP.UTF-8", "ja_JP.eucJP@..."), English otherwise. No
// locale has to be generated for it; setlocale is never called.
namespace pelnik::platform {

enum class UiLanguage { English, Japanese };

UiLanguage sessionLanguage();

// The same rule over given values (null or empty: not set).
UiLanguage languageFrom(const char *lcAll, const char *lcMessages, const char *lang);

}  // namespace pelnik::platform
